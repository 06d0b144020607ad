// fxhost: the command-line host. Loads a picture (or makes the built-in sample), takes it
// through the engine's colour management into the shared source image, derives a view, and
// writes full resolution and view back as device images.

#include "tcms.h"
#include "tfxcommondata.h"
#include "tim.h"
#include "tpimage.h"
#include "troi.h"
#include "tsampleimage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTextStream>

namespace {

struct Options {
    QString input;
    QSize sampleSize { 1800, 1200 };
    QString outDir { QStringLiteral("out") };
    QString iccPath;
    int viewDec = 2;
};

bool parseSize(const QString &text, QSize &size)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return false;
    bool okW = false, okH = false;
    const int w = parts[0].toInt(&okW);
    const int h = parts[1].toInt(&okH);
    if (!okW || !okH || w < 1 || h < 1 || qint64(w) * h > 200000000)
        return false;
    size = QSize(w, h);
    return true;
}

bool parseOptions(const QCoreApplication &app, Options &options, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Takes a picture through the fxengine image model and back."));
    parser.addHelpOption();
    const QCommandLineOption input(
        QStringLiteral("input"), QStringLiteral("Picture to load instead of the sample."), QStringLiteral("file"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Size of the built-in sample (WxH)."),
        QStringLiteral("WxH"), QStringLiteral("1800x1200"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Directory for the results."),
        QStringLiteral("dir"), QStringLiteral("out"));
    const QCommandLineOption icc(
        QStringLiteral("icc"), QStringLiteral("ICC profile of the device colour space."), QStringLiteral("file"));
    const QCommandLineOption dec(QStringLiteral("dec"), QStringLiteral("Decimation of the view (1 to 32)."),
        QStringLiteral("n"), QStringLiteral("2"));
    parser.addOptions({ input, size, out, icc, dec });
    parser.process(app);

    options.input = parser.value(input);
    options.outDir = parser.value(out);
    options.iccPath = parser.value(icc);
    if (!parseSize(parser.value(size), options.sampleSize)) {
        err << "fxhost: bad --size, expected WxH\n";
        return false;
    }
    bool ok = false;
    options.viewDec = parser.value(dec).toInt(&ok);
    if (!ok || options.viewDec < 1 || options.viewDec > 32) {
        err << "fxhost: bad --dec, expected 1 to 32\n";
        return false;
    }
    return true;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    Options options;
    if (!parseOptions(app, options, err))
        return 2;

    QImage picture;
    if (options.input.isEmpty()) {
        picture = TSampleImage::generate(options.sampleSize.width(), options.sampleSize.height());
    } else if (!picture.load(options.input)) {
        err << "fxhost: cannot read " << options.input << "\n";
        return 1;
    }
    if (picture.isNull()) {
        err << "fxhost: no picture\n";
        return 1;
    }

    QByteArray icc;
    TCMS cms;
    if (!options.iccPath.isEmpty()) {
        QFile file(options.iccPath);
        if (!file.open(QIODevice::ReadOnly)) {
            err << "fxhost: cannot read " << options.iccPath << "\n";
            return 1;
        }
        icc = file.readAll();
        cms.setQImageICC(icc.constData(), icc.size());
    }

    QElapsedTimer timer;
    timer.start();
    TFxCommonData source;
    source.setup(picture, &cms);
    source.image().updateUid(TIm::CImFull);
    const qint64 setupMs = timer.restart();

    // A view of the middle of the picture, as a host would show it in a window.
    const int dec = options.viewDec;
    TRoi roi(picture.width() / 2 / dec, picture.height() / 2 / dec, picture.width() / 4, picture.height() / 4, dec);
    roi.makeInside(picture.width(), picture.height());
    source.image().updateCIms(TIm::CImView1, roi);
    const qint64 viewMs = timer.restart();

    QImage full, view;
    cms.convert(*source.image().ptr(TIm::CImFull), full);
    cms.convert(*source.image().ptr(TIm::CImView1), view);
    const qint64 convertMs = timer.restart();

    if (!QDir().mkpath(options.outDir)) {
        err << "fxhost: cannot create " << options.outDir << "\n";
        return 1;
    }
    const QString fullPath = QDir(options.outDir).filePath(QStringLiteral("demo.png"));
    const QString viewPath = QDir(options.outDir).filePath(QStringLiteral("demo-view.png"));
    if (!full.save(fullPath) || !view.save(viewPath)) {
        err << "fxhost: cannot write the results into " << options.outDir << "\n";
        return 1;
    }
    out << "picture " << picture.width() << "x" << picture.height() << ", view " << view.width() << "x" << view.height()
        << " at dec " << dec << "\n"
        << "setup " << setupMs << " ms, view " << viewMs << " ms, back to device " << convertMs << " ms\n"
        << "wrote " << fullPath << " and " << viewPath << "\n";
    return 0;
}
