// fxhost info: what a picture is and what it looks like to the engine: size, depth, embedded
// profile, a histogram summary and the colour theme, and on request the histogram chart.
//
// The histogram is the engine's display histogram (THistDraw): the picture taken in through
// its profile and shown as sRGB, counted per channel red, green, blue and luminance on the
// 0..255 scale. Percentiles are the smallest level at or below which that share of the
// pixels lies.

#include "commands.h"
#include "commandsupport.h"

#include <QColorSpace>
#include <QCommandLineParser>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>
#include <fxanalysis.h>
#include <opencv2/core.hpp>
#include <string>
#include <tcms.h>
#include <tfxcommondata.h>
#include <thistdraw.h>
#include <tim.h>
#include <tpimage.h>

namespace {
struct Options {
    QString input, chartPath;
    QSize chartSize { THistDraw::defaultWidth, THistDraw::defaultHeight };
    bool json = false;
};

int readOptions(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Describes INPUT (the built-in sample without it): size, depth, "
                                                    "embedded profile, histogram summary and colour theme."));
    CommandSupport::addCommonOptions(parser);
    parser.addOption({ QStringLiteral("json"), QStringLiteral("Print the description as JSON.") });
    parser.addOption({ QStringLiteral("histogram"), QStringLiteral("Write the histogram chart to <file> (PNG)."),
        QStringLiteral("file") });
    parser.addOption({ QStringLiteral("chart-size"),
        QStringLiteral("The chart's size, each side %1 to %2 (default %3x%4).")
            .arg(THistDraw::minimumSize)
            .arg(THistDraw::maximumSize)
            .arg(THistDraw::defaultWidth)
            .arg(THistDraw::defaultHeight),
        QStringLiteral("WxH") });
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("The picture (optional)."), "[INPUT]");
    int exitCode = Commands::Success;
    if (!CommandSupport::parse(parser, arguments, "info", exitCode))
        return exitCode;
    if (parser.positionalArguments().size() > 1)
        return CommandSupport::fail("info", QStringLiteral("one INPUT at most"), Commands::UsageError);
    if (parser.isSet("chart-size")) {
        static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
        const QRegularExpressionMatch match = pattern.match(parser.value("chart-size"));
        options.chartSize = match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
        const auto inRange = [](int side) { return side >= THistDraw::minimumSize && side <= THistDraw::maximumSize; };
        if (!inRange(options.chartSize.width()) || !inRange(options.chartSize.height()))
            return CommandSupport::fail("info",
                QStringLiteral("--chart-size WxH takes sides of %1 to %2")
                    .arg(THistDraw::minimumSize)
                    .arg(THistDraw::maximumSize),
                Commands::UsageError);
    }
    options.input = parser.positionalArguments().value(0);
    options.chartPath = parser.value("histogram");
    options.json = parser.isSet("json");
    return -1;
}

QString primariesName(QColorSpace::Primaries primaries)
{
    switch (primaries) {
    case QColorSpace::Primaries::SRgb:
        return QStringLiteral("sRGB");
    case QColorSpace::Primaries::AdobeRgb:
        return QStringLiteral("Adobe RGB");
    case QColorSpace::Primaries::DciP3D65:
        return QStringLiteral("Display P3");
    case QColorSpace::Primaries::ProPhotoRgb:
        return QStringLiteral("ProPhoto RGB");
    default:
        return QStringLiteral("custom");
    }
}

QString transferName(const QColorSpace &space)
{
    switch (space.transferFunction()) {
    case QColorSpace::TransferFunction::Linear:
        return QStringLiteral("linear");
    case QColorSpace::TransferFunction::Gamma:
        return QStringLiteral("gamma %1").arg(double(space.gamma()), 0, 'g', 3);
    case QColorSpace::TransferFunction::SRgb:
        return QStringLiteral("sRGB");
    case QColorSpace::TransferFunction::ProPhotoRgb:
        return QStringLiteral("ProPhoto RGB");
    default:
        return QStringLiteral("custom");
    }
}

// The embedded profile as Qt reads it; null without one.
QJsonValue describeProfile(const QByteArray &icc)
{
    if (icc.isEmpty())
        return QJsonValue(QJsonValue::Null);
    const QColorSpace space = QColorSpace::fromIccProfile(icc);
    const QString description = space.isValid()
        ? QStringLiteral("%1 primaries, %2 transfer").arg(primariesName(space.primaries()), transferName(space))
        : QStringLiteral("not understood by Qt");
    return QJsonObject { { "description", description }, { "bytes", icc.size() },
        { "primaries", space.isValid() ? primariesName(space.primaries()) : QString() },
        { "transfer", space.isValid() ? transferName(space) : QString() } };
}

// Mean and percentiles of one channel of the display histogram.
QJsonObject summarise(const THistDraw &histogram, int channel)
{
    std::uint64_t total = 0;
    double sum = 0.0;
    for (int bin = 0; bin < 256; ++bin) {
        total += histogram.count(channel, bin);
        sum += double(bin) * double(histogram.count(channel, bin));
    }
    QJsonObject summary { { "mean", total ? sum / double(total) : 0.0 } };
    const std::pair<const char *, double> shares[] = { { "p1", 0.01 }, { "p50", 0.5 }, { "p99", 0.99 } };
    for (const auto &share : shares) {
        std::uint64_t below = 0;
        int bin = 0;
        while (bin < 255 && double(below + histogram.count(channel, bin)) < share.second * double(total))
            below += histogram.count(channel, bin++);
        summary.insert(QLatin1String(share.first), total ? bin : -1);
    }
    return summary;
}

QJsonObject describe(const LoadedPicture &picture, const TPImage &image)
{
    THistDraw histogram;
    cv::Mat chart;
    histogram.getHistMat(chart, image);
    QJsonObject channels;
    const char *names[] = { "red", "green", "blue", "luminance" };
    for (int channel = 0; channel < 4; ++channel)
        channels.insert(QLatin1String(names[channel]), summarise(histogram, channel));
    std::string palette, tone, colours;
    getColorTheme(image, palette, tone, colours);
    const bool sample = picture.path.isEmpty();
    return QJsonObject { { "file", sample ? QJsonValue(QJsonValue::Null) : QJsonValue(picture.path) },
        { "format", sample ? QStringLiteral("sample") : QString::fromLatin1(QImageReader::imageFormat(picture.path)) },
        { "width", picture.image.width() }, { "height", picture.image.height() }, { "depth", picture.deep ? 16 : 8 },
        { "grey", picture.image.isGrayscale() }, { "profile", describeProfile(picture.icc) }, { "histogram", channels },
        { "theme",
            QJsonObject { { "palette", QString::fromStdString(palette) }, { "tone", QString::fromStdString(tone) },
                { "colours", QString::fromStdString(colours) } } } };
}

void printText(QTextStream &out, const QJsonObject &info)
{
    out << "File:      "
        << (info.value("file").isNull() ? QStringLiteral("built-in sample") : info.value("file").toString()) << " ("
        << info.value("format").toString() << ")\n";
    out << "Size:      " << info.value("width").toInt() << " x " << info.value("height").toInt() << "\n";
    out << "Depth:     " << info.value("depth").toInt() << " bits per channel"
        << (info.value("grey").toBool() ? ", grey" : "") << "\n";
    const QJsonObject profile = info.value("profile").toObject();
    out << "Profile:   "
        << (profile.isEmpty() ? QStringLiteral("none")
                              : QStringLiteral("%1 (%2 bytes)")
                                    .arg(profile.value("description").toString())
                                    .arg(profile.value("bytes").toInt()))
        << "\n";
    out << "Histogram (as sRGB, 0..255):  mean    1%   50%   99%\n";
    const QJsonObject histogram = info.value("histogram").toObject();
    for (const char *channel : { "red", "green", "blue", "luminance" }) {
        const QJsonObject summary = histogram.value(QLatin1String(channel)).toObject();
        out << "  " << QString::fromLatin1(channel).leftJustified(27)
            << QString::number(summary.value("mean").toDouble(), 'f', 1).rightJustified(7)
            << QString::number(summary.value("p1").toInt()).rightJustified(6)
            << QString::number(summary.value("p50").toInt()).rightJustified(6)
            << QString::number(summary.value("p99").toInt()).rightJustified(6) << "\n";
    }
    const QJsonObject theme = info.value("theme").toObject();
    out << "Palette:   " << theme.value("palette").toString() << "\n";
    out << "Tone:      " << theme.value("tone").toString() << "\n";
    out << "Colours:   " << theme.value("colours").toString() << "\n";
}

int info(const QStringList &arguments)
{
    Options options;
    const int exitCode = readOptions(arguments, options);
    if (exitCode >= 0)
        return exitCode;
    LoadedPicture picture;
    QString error;
    if (!CommandSupport::loadInput(options.input, picture, error))
        return CommandSupport::fail("info", error, Commands::SomeFileFailed);
    TCMS cms;
    TFxCommonData source;
    if (!HostIo::setup(picture, source, cms, error))
        return CommandSupport::fail("info", error, Commands::SomeFileFailed);
    TPImage &image = *source.image().ptr(TIm::CImFull);
    if (!options.chartPath.isEmpty()) {
        const QImage chart = getHistogram(image, options.chartSize.width(), options.chartSize.height());
        if (!CommandSupport::writeImage(chart, options.chartPath, error))
            return CommandSupport::fail("info", error, Commands::SomeFileFailed);
    }
    const QJsonObject description = describe(picture, image);
    QTextStream out(stdout);
    if (options.json)
        out << QJsonDocument(description).toJson(QJsonDocument::Indented);
    else
        printText(out, description);
    return Commands::Success;
}
}

FXHOST_COMMAND("info", "Describes a picture: size, profile, histogram and colour theme.", info)
