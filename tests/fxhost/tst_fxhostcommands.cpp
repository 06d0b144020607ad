// fxhost's list, preview, graph and info commands, driven as a user runs them: the built binary
// in a process of its own, its exit code, its output and the files it writes, checked against
// objects made here through the plug-in factory and against reference computations.
#include "fxhostrun.h"
#include "quietstdout.h"
#include "testregistry.h"
#include "tsampleimage.h"

#include <QColorSpace>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <tfilter.h>
#include <tfiltercontext.h>
#include <tfx.h>
#include <thistdraw.h>
#include <tinport.h>
#include <toutport.h>
#include <tparamcurve.h>
#include <tparamfloat.h>
#include <tparamgroup.h>
#include <tpluginfactory.h>

using namespace FxhostRun;

namespace {

// The listing's entry with that key, or an empty object.
QJsonObject entry(const QJsonArray &list, const QString &key)
{
    for (const QJsonValue &item : list)
        if (item.toObject().value("key").toString() == key)
            return item.toObject();
    return QJsonObject();
}

bool sameFloat(const QJsonValue &listed, float live) { return listed.isDouble() && float(listed.toDouble()) == live; }

// What the listing says of one parameter, compared with the parameter itself; empty when
// they agree.
QString compareParam(const QJsonObject &listed, const TParam *param)
{
    if (listed.isEmpty())
        return QStringLiteral("missing");
    if (listed.value("class").toString() != QLatin1String(param->metaObject()->className())
        || listed.value("kind").toString() != param->type() || listed.value("name").toString() != param->name()
        || listed.value("description").toString() != param->desc())
        return QStringLiteral("class, kind, name or description differ");
    if (auto *p = qobject_cast<const TParamFloat *>(param)) {
        TParamFloat *writable = const_cast<TParamFloat *>(p);
        if (!sameFloat(listed.value("vmin"), p->vmin()) || !sameFloat(listed.value("vmax"), p->vmax())
            || !sameFloat(listed.value("default"), writable->presets().value(0)))
            return QStringLiteral("range or default differ");
    }
    if (auto *p = qobject_cast<const TParamCurve *>(param)) {
        const QList<QPointF> first = const_cast<TParamCurve *>(p)->presets().value(0);
        if (listed.value("default").toArray().size() != first.size())
            return QStringLiteral("default curve differs");
    }
    return QString();
}

// The plug-in directory's factory as this test process sees it.
struct Factory {
    Factory()
    {
        QuietStdout quiet;
        context = std::make_unique<TFilterContext>(nullptr);
    }
    TPluginFactory *operator->() const { return context->filterFactoryPtr(); }
    std::unique_ptr<TFilterContext> context;
};

QImage boxAverage(const QImage &source, const QRect &region, int dec)
{
    const QSize size((region.width() + dec - 1) / dec, (region.height() + dec - 1) / dec);
    QImage result(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            double sum[3] = { 0, 0, 0 };
            int n = 0;
            for (int sy = region.y() + y * dec; sy < std::min(region.bottom() + 1, region.y() + (y + 1) * dec); ++sy)
                for (int sx = region.x() + x * dec; sx < std::min(region.right() + 1, region.x() + (x + 1) * dec);
                     ++sx, ++n) {
                    const QRgb pixel = source.pixel(sx, sy);
                    sum[0] += qRed(pixel), sum[1] += qGreen(pixel), sum[2] += qBlue(pixel);
                }
            result.setPixel(x, y, qRgb(int(sum[0] / n + 0.5), int(sum[1] / n + 0.5), int(sum[2] / n + 0.5)));
        }
    return result;
}

// The spread between the 2nd and 98th percentile of the pixels' grey values.
int greySpread(const QImage &image)
{
    QVector<int> counts(256, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[qGray(image.pixel(x, y))];
    const auto level = [&counts, &image](double share) {
        int below = 0, value = 0;
        while (value < 255 && below + counts[value] < share * image.width() * image.height())
            below += counts[value++];
        return value;
    };
    return level(0.98) - level(0.02);
}

}

class tst_FxhostCommands : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // The plug-ins made here for comparison write trace lines; the log stays quiet.
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false")); }
    void cleanupTestCase() { QLoggingCategory::setFilterRules(QString()); }

    void commandsListMatchesLiveObjects()
    {
        const Run run = fxhost({ "list", "--json" });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        // Anything else on stdout (the factory's start-up line) would break the JSON.
        QJsonParseError error;
        const QJsonObject listing = QJsonDocument::fromJson(run.out, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        Factory factory;
        const QJsonArray effects = listing.value("effects").toArray();
        const QStringList keys = factory->tfxs();
        for (const char *bundled :
            { "Exposure", "Tone", "Curves", "Colour", "Clarity", "Sharpen", "Vignette", "BlackWhite" })
            QVERIFY2(keys.contains(QLatin1String(bundled)), bundled);
        QCOMPARE(effects.size(), keys.size());
        for (const QString &key : keys) {
            const QJsonObject listed = entry(effects, key);
            QVERIFY2(!listed.isEmpty(), qPrintable(key));
            std::unique_ptr<TFx> live(factory->createTFx(key, key, nullptr));
            QVERIFY(live);
            const QJsonArray params = listed.value("params").toArray();
            int own = 0;
            for (QObject *child : live->children()) {
                auto *param = qobject_cast<TParam *>(child);
                if (!param)
                    continue;
                if (param->key() == QLatin1String("TFxCommon")) {
                    QVERIFY2(listed.value("common").toBool(), qPrintable(key));
                    continue;
                }
                ++own;
                const QString problem = compareParam(entry(params, param->key()), param);
                QVERIFY2(problem.isEmpty(), qPrintable(key + "." + param->key() + ": " + problem));
            }
            QCOMPARE(params.size(), own);
        }
        // The common group is listed once, as the effects carry it.
        const QJsonObject common = listing.value("common").toObject();
        QCOMPARE(common.value("key").toString(), QStringLiteral("TFxCommon"));
        std::unique_ptr<TFx> first(factory->createTFx(keys.first(), keys.first(), nullptr));
        const auto *group = first->findChild<TParamGroup *>(QStringLiteral("TFxCommon"));
        QVERIFY(group);
        QCOMPARE(common.value("params").toArray().size(), group->numParams());
        for (int i = 0; i < group->numParams(); ++i) {
            const TParam *param = group->paramPtr(i);
            const QString problem = compareParam(entry(common.value("params").toArray(), param->key()), param);
            QVERIFY2(problem.isEmpty(), qPrintable(param->key() + ": " + problem));
        }
        QVERIFY(entry(common.value("params").toArray(), QStringLiteral("Opacity")).contains("vmax"));
        const QJsonArray filters = listing.value("filters").toArray();
        const QStringList filterKeys = factory->filters();
        for (const char *bundled : { "TFDrawMask", "TLayerModes", "TFBlur", "TFHistogram", "TFBrightnessContrast",
                 "TFGamma", "TFSaturation", "AutoTone", "SoftGlow" })
            QVERIFY2(filterKeys.contains(QLatin1String(bundled)), bundled);
        QCOMPARE(filters.size(), filterKeys.size());
        for (const QString &key : filterKeys) {
            const QJsonObject listed = entry(filters, key);
            std::unique_ptr<TFilter> live(factory->createTFilter(key, key, factory.context.get()));
            QVERIFY2(live && !listed.isEmpty(), qPrintable(key));
            QCOMPARE(listed.value("script").toBool(), live->inherits("TFilterScript"));
            // Each listed port is the filter's own, of the listed type; the counts are those of
            // the port kinds among its children.
            for (const bool input : { true, false }) {
                const QJsonArray ports = listed.value(input ? "inports" : "outports").toArray();
                QCOMPARE(ports.size(),
                    input ? live->findChildren<TInport *>(QString(), Qt::FindDirectChildrenOnly).size()
                          : live->findChildren<TOutport *>(QString(), Qt::FindDirectChildrenOnly).size());
                for (const QJsonValue &item : ports) {
                    const QString name = item.toObject().value("name").toString();
                    const TPort *port
                        = input ? static_cast<const TPort *>(live->inportPtr(name)) : live->outportPtr(name);
                    TImage::IMTYPE type;
                    QVERIFY2(port && TPort::typeFromString(item.toObject().value("type").toString(), type)
                            && type == port->type(),
                        qPrintable(key + " " + name));
                    if (input)
                        QCOMPARE(item.toObject().value("optional").toBool(),
                            static_cast<const TInport *>(port)->bOptional());
                }
            }
            // Every listed slot is the filter's own and callable by that signature.
            for (const QJsonValue &slot : listed.value("slots").toArray()) {
                const QByteArray signature = slot.toObject().value("signature").toString().toLatin1();
                QVERIFY2(live->metaObject()->indexOfSlot(signature) >= 0, signature.constData());
                QVERIFY2(TFilter::staticMetaObject.indexOfSlot(signature) < 0, signature.constData());
            }
        }
        const auto hasSlot = [](const QJsonObject &filter, const char *signature) {
            for (const QJsonValue &slot : filter.value("slots").toArray())
                if (slot.toObject().value("signature").toString() == QLatin1String(signature))
                    return true;
            return false;
        };
        QVERIFY(hasSlot(entry(filters, "TFGamma"), "setGamma(float)"));
        const QJsonObject blur = entry(entry(filters, "SoftGlow").value("filters").toArray(), "blur");
        QCOMPARE(blur.value("class").toString(), QStringLiteral("TFBlur"));
        QVERIFY(hasSlot(blur, "setRadius(float)"));
    }

    void commandsPreviewPicksTheDecimation_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<int>("dec");
        QTest::addColumn<QRect>("region");
        const QRect whole(QPoint(0, 0), sampleSize);
        QTest::newRow("fits exactly") << "1200x800" << 1 << whole;
        QTest::newRow("one pixel narrower") << "1199x800" << 2 << whole;
        QTest::newRow("larger than the picture") << "4000x3000" << 1 << whole;
        QTest::newRow("width decides") << "800x600" << 2 << whole;
        QTest::newRow("height decides") << "2000x300" << 3 << whole;
        QTest::newRow("odd result") << "400x400" << 3 << whole;
        QTest::newRow("thumbnail") << "100x50" << 16 << whole;
        QTest::newRow("origin") << "300x300+600+400" << 2 << QRect(600, 400, 600, 400);
        QTest::newRow("odd origin made even") << "500x500+601+401" << 2 << QRect(600, 400, 600, 400);
        QTest::newRow("origin near the corner") << "64x64+1100+700" << 2 << QRect(1100, 700, 100, 100);
    }

    void commandsPreviewPicksTheDecimation()
    {
        QFETCH(QString, view);
        QFETCH(int, dec);
        QFETCH(QRect, region);
        const QString output = m_dir.filePath(QStringLiteral("preview.png"));
        const Run run = fxhost({ "preview", "--view", view, "-o", output });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        QVERIFY2(run.out.contains(QStringLiteral("decimation %1 ").arg(dec).toLatin1()), run.out.constData());
        QVERIFY2(run.out.contains(" ms"), run.out.constData());
        const QImage result(output);
        const QSize screen(view.section('x', 0, 0).toInt(), view.section('x', 1).section('+', 0, 0).toInt());
        QCOMPARE(result.size(), QSize((region.width() + dec - 1) / dec, (region.height() + dec - 1) / dec));
        QVERIFY(result.width() <= screen.width() && result.height() <= screen.height());
        // The next finer decimation would not have fitted.
        if (dec > 1)
            QVERIFY((region.width() + dec - 2) / (dec - 1) > screen.width()
                || (region.height() + dec - 2) / (dec - 1) > screen.height());
        // The view shows that region, close to a plain block average of it.
        const QImage expected
            = boxAverage(TSampleImage::generate(sampleSize.width(), sampleSize.height()), region, dec);
        const double difference = meanAbsoluteDifference(result.convertToFormat(QImage::Format_ARGB32), expected);
        // At coarse decimations the sample's fine stripes average to different greys in the
        // engine's gamma than in sRGB's; a wrong region or decimation is tens of levels off.
        QVERIFY2(difference < 4.0, qPrintable(QString::number(difference)));
    }

    void commandsHelpNamesTheCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("option");
        for (const auto &[command, option] : { std::pair("list", "--json"), std::pair("preview", "--view"),
                 std::pair("graph", "--set"), std::pair("info", "--histogram") })
            QTest::newRow(command) << QString(command) << QString(option);
    }

    void commandsHelpNamesTheCommand()
    {
        QFETCH(QString, command);
        QFETCH(QString, option);
        const Run run = fxhost({ command, "--help" });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const QString help = QString::fromUtf8(run.out);
        QVERIFY2(help.startsWith("Usage: fxhost " + command + " [options]"), qPrintable(help));
        QVERIFY2(help.contains(option) && help.contains("--verbose") && help.contains("--quiet"), qPrintable(help));
    }

    void commandsMistakesExitWithOneLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        // "@" stands for the test's temporary folder.
        QTest::newRow("list with an argument") << QStringList { "list", "extra" } << 2 << "takes no arguments";
        QTest::newRow("list unknown option") << QStringList { "list", "--bogus" } << 2 << "bogus";
        QTest::newRow("preview without view") << QStringList { "preview", "-o", "@/x.png" } << 2 << "--view";
        QTest::newRow("preview empty view")
            << QStringList { "preview", "--view", "0x10", "-o", "@/x.png" } << 2 << "--view";
        QTest::newRow("preview origin outside")
            << QStringList { "preview", "--view", "10x10+1200+0", "-o", "@/x.png" } << 2 << "outside";
        QTest::newRow("preview view too small")
            << QStringList { "preview", "--view", "8x6", "-o", "@/x.png" } << 2 << "decimation";
        QTest::newRow("preview unknown effect")
            << QStringList { "preview", "--view", "80x60", "--fx", "Nope", "-o", "@/x.png" } << 2 << "Nope";
        QTest::newRow("preview malformed recipe") << QStringList { "preview", "--view", "80x60", "--recipe",
            "@/bad.json", "-o", "@/x.png" } << 2 << "bad.json";
        QTest::newRow("preview missing input")
            << QStringList { "preview", "@/none.png", "--view", "80x60", "-o", "@/x.png" } << 1 << "none.png";
        QTest::newRow("preview unwritable output")
            << QStringList { "preview", "--view", "80x60", "-o", "@/no/dir/x.png" } << 1 << "x.png";
        QTest::newRow("graph unknown filter")
            << QStringList { "graph", "--filter", "Nope", "-o", "@/x.png" } << 2 << "Nope";
        QTest::newRow("graph unknown slot") << QStringList { "graph", "--filter", "TFGamma", "--set", "setNothing=1",
            "-o", "@/x.png" } << 2 << "setNothing";
        QTest::newRow("graph bad value") << QStringList { "graph", "--filter", "TFGamma", "--set", "setGamma=bright",
            "-o", "@/x.png" } << 2 << "setGamma\\(float\\)";
        QTest::newRow("graph unknown sub-filter")
            << QStringList { "graph", "--filter", "SoftGlow", "--set", "glow.setRadius=3", "-o", "@/x.png" } << 2
            << "glow";
        QTest::newRow("graph top level of another filter")
            << QStringList { "graph", "--filter", "TFGamma", "--toplevel", "-o", "@/x.png" } << 2 << "TFDrawMask";
        QTest::newRow("graph filter that fails")
            << QStringList { "graph", "--filter", "TLayerModes", "-o", "@/x.png" } << 1 << "TLayerModes";
        QTest::newRow("info missing input") << QStringList { "info", "@/none.png" } << 1 << "none.png";
        QTest::newRow("info empty file") << QStringList { "info", "@/empty.png" } << 1 << "empty";
        QTest::newRow("info bad chart size") << QStringList { "info", "--chart-size", "8x8" } << 2 << "chart-size";
    }

    void commandsMistakesExitWithOneLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFile bad(m_dir.filePath(QStringLiteral("bad.json")));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("{\"version\": 1,\n") > 0);
        bad.close();
        QFile empty(m_dir.filePath(QStringLiteral("empty.png")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        for (QString &argument : arguments)
            argument.replace(QLatin1Char('@'), m_dir.path());
        const Run run = fxhost(arguments);
        QVERIFY2(run.exitCode == exitCode, qPrintable(describe(run)));
        const QString err = QString::fromUtf8(run.err).trimmed();
        QVERIFY2(!err.contains('\n') && err.contains(QRegularExpression(message)), qPrintable(err));
        QVERIFY2(run.out.isEmpty(), run.out.constData());
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("x.png"))));
    }

    void commandsGraphGammaMatchesReference_data()
    {
        QTest::addColumn<double>("gamma");
        QTest::newRow("identity") << 1.0;
        QTest::newRow("brightens") << 2.0;
        QTest::newRow("darkens") << 0.5;
    }

    // The graph splits a pixel into luminance (ProPhoto Y weights) at full resolution and colour
    // differences averaged over 2 x 2 blocks; the gamma filter bends the luminance only. Colour is
    // enlarged smoothly, so only pixels whose block has the colour of all its neighbours count.
    void commandsGraphGammaMatchesReference()
    {
        QFETCH(double, gamma);
        const QString output = m_dir.filePath(QStringLiteral("gamma.png"));
        const Run run = fxhost(
            { "graph", "--filter", "TFGamma", "--set", QStringLiteral("setGamma=%1").arg(gamma), "-o", output });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const QImage result = QImage(output).convertToFormat(QImage::Format_ARGB32);
        const QImage source = TSampleImage::generate(sampleSize.width(), sampleSize.height());
        QCOMPARE(result.size(), source.size());
        const auto luma = [](QRgb p) { return 0.288040 * qRed(p) + 0.711874 * qGreen(p) + 0.000086 * qBlue(p); };
        const int blocksX = source.width() / 2, blocksY = source.height() / 2;
        QVector<std::array<double, 3>> colour(blocksX * blocksY, { 0, 0, 0 });
        for (int by = 0; by < blocksY; ++by)
            for (int bx = 0; bx < blocksX; ++bx)
                for (int i = 0; i < 4; ++i) {
                    const QRgb p = source.pixel(2 * bx + i % 2, 2 * by + i / 2);
                    colour[by * blocksX + bx][0] += (qRed(p) - luma(p)) / 4;
                    colour[by * blocksX + bx][1] += (qGreen(p) - luma(p)) / 4;
                    colour[by * blocksX + bx][2] += (qBlue(p) - luma(p)) / 4;
                }
        const auto flat = [&](int bx, int by) {
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    for (int c = 0; c < 3; ++c)
                        if (std::abs(colour[std::clamp(by + dy, 0, blocksY - 1) * blocksX
                                         + std::clamp(bx + dx, 0, blocksX - 1)][c]
                                - colour[by * blocksX + bx][c])
                            > 1.0)
                            return false;
            return true;
        };
        double sum = 0, worst = 0;
        int compared = 0;
        for (int by = 0; by < blocksY; ++by)
            for (int bx = 0; bx < blocksX; ++bx) {
                if (!flat(bx, by))
                    continue;
                for (int i = 0; i < 4; ++i) {
                    const int x = 2 * bx + i % 2, y = 2 * by + i / 2;
                    const double bent = 255.0 * std::pow(luma(source.pixel(x, y)) / 255.0, 1.0 / gamma);
                    const QRgb got = result.pixel(x, y);
                    const int channels[3] = { qRed(got), qGreen(got), qBlue(got) };
                    for (int c = 0; c < 3; ++c) {
                        const double error
                            = std::abs(channels[c] - std::clamp(bent + colour[by * blocksX + bx][c], 0.0, 255.0));
                        sum += error;
                        worst = std::max(worst, error);
                    }
                    ++compared;
                }
            }
        const QString measured
            = QStringLiteral("%1 pixels, mean %2, worst %3").arg(compared).arg(sum / (3.0 * compared)).arg(worst);
        QVERIFY2(compared > source.width() * source.height() * 8 / 10, qPrintable(measured));
        // Colour differences travel halved in 8 bits; the luminance table interpolates 4096 samples.
        QVERIFY2(sum / (3.0 * compared) < 0.75 && worst <= 3.0, qPrintable(measured));
    }

    void commandsGraphRunsFiltersAndScripts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("changes");
        QTest::addColumn<bool>("stretches");
        QTest::newRow("brightness and contrast") << QStringList { "--filter", "TFBrightnessContrast", "--set",
            "setBrightness=0.3", "--set", "setContrast=0.5" }
                                                 << true << true;
        QTest::newRow("AutoTone script") << QStringList { "--filter", "AutoTone" } << true << true;
        QTest::newRow("SoftGlow script with its blur set")
            << QStringList { "--filter", "SoftGlow", "--set", "blur.setRadius=20" } << true << false;
        QTest::newRow("measuring filter passes the picture")
            << QStringList { "--filter", "TFHistogram" } << false << false;
        QTest::newRow("gamma 1 passes the picture")
            << QStringList { "--filter", "TFGamma", "--set", "setGamma=1" } << false << false;
    }

    // Over a dull (low-contrast) copy of the sample, so that tone filters have room to act.
    void commandsGraphRunsFiltersAndScripts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, changes);
        QFETCH(bool, stretches);
        QImage source = TSampleImage::generate(sampleSize.width() / 2, sampleSize.height() / 2);
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x) {
                const QRgb p = source.pixel(x, y);
                source.setPixel(x, y, qRgb(80 + qRed(p) / 3, 80 + qGreen(p) / 3, 80 + qBlue(p) / 3));
            }
        const QString input = m_dir.filePath(QStringLiteral("dull.png")), output = m_dir.filePath("graph.png");
        QVERIFY(source.save(input));
        const Run run = fxhost(QStringList { "graph", input } + arguments + QStringList { "-o", output });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const QImage result = QImage(output).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(result.size(), source.size());
        const double difference = meanAbsoluteDifference(result, source);
        // Splitting into luminance and half-resolution colour and back costs under a level.
        QVERIFY2(changes ? difference > 2.0 : difference < 1.0, qPrintable(QString::number(difference)));
        const int before = greySpread(source), after = greySpread(result);
        QVERIFY2(stretches ? after > before + 10 : after <= before + 2,
            qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
    }

    // The summary of pictures whose histogram is known, with and without an embedded profile
    // (black and white stay black and white in every RGB space).
    void commandsInfoSummarisesKnownPictures_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<int>("primaries");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("depth");
        QTest::addColumn<double>("mean");
        QTest::addColumn<QVector<int>>("percentiles");
        QImage grey(64, 48, QImage::Format_RGB32);
        grey.fill(qRgb(128, 128, 128));
        QTest::newRow("8-bit mid-grey") << grey << -1 << QString() << 8 << 128.0 << QVector<int> { 128, 128, 128 };
        QImage deep(63, 47, QImage::Format_Grayscale16);
        deep.fill(QColor::fromRgba64(128 * 257, 128 * 257, 128 * 257));
        QTest::newRow("16-bit mid-grey, odd size")
            << deep << -1 << QString() << 16 << 128.0 << QVector<int> { 128, 128, 128 };
        // A quarter black, three quarters white: the median and the 99th percentile are white.
        QImage split(64, 48, QImage::Format_RGB32);
        split.fill(Qt::white);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 16; ++x)
                split.setPixel(x, y, qRgb(0, 0, 0));
        const QVector<int> splitPercentiles { 0, 255, 255 };
        QTest::newRow("black and white") << split << -1 << QString() << 8 << 191.25 << splitPercentiles;
        QTest::newRow("sRGB") << split << int(QColorSpace::SRgb) << "sRGB" << 8 << 191.25 << splitPercentiles;
        QTest::newRow("Adobe RGB") << split << int(QColorSpace::AdobeRgb) << "Adobe RGB" << 8 << 191.25
                                   << splitPercentiles;
        QTest::newRow("ProPhoto RGB") << split << int(QColorSpace::ProPhotoRgb) << "ProPhoto RGB" << 8 << 191.25
                                      << splitPercentiles;
    }

    void commandsInfoSummarisesKnownPictures()
    {
        QFETCH(QImage, picture);
        QFETCH(int, primaries);
        QFETCH(QString, profile);
        QFETCH(int, depth);
        QFETCH(double, mean);
        QFETCH(QVector<int>, percentiles);
        if (primaries >= 0)
            picture.setColorSpace(QColorSpace(QColorSpace::NamedColorSpace(primaries)));
        const QString path = m_dir.filePath(QStringLiteral("known.png"));
        QVERIFY(picture.save(path));
        const Run run = fxhost({ "info", "--json", path });
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const QJsonObject info = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(info.value("file").toString(), path);
        QCOMPARE(info.value("format").toString(), QStringLiteral("png"));
        QCOMPARE(info.value("depth").toInt(), depth);
        QCOMPARE(info.value("width").toInt(), picture.width());
        QCOMPARE(info.value("height").toInt(), picture.height());
        if (profile.isEmpty()) {
            QVERIFY(info.value("profile").isNull());
        } else {
            const QJsonObject listed = info.value("profile").toObject();
            QCOMPARE(listed.value("primaries").toString(), profile);
            QCOMPARE(listed.value("bytes").toInt(), QImage(path).colorSpace().iccProfile().size());
            QVERIFY(listed.value("description").toString().contains(profile));
        }
        for (const char *channel : { "red", "green", "blue", "luminance" }) {
            const QJsonObject summary = info.value("histogram").toObject().value(QLatin1String(channel)).toObject();
            // Through the engine's colour space and back to sRGB a level may move by one.
            QVERIFY2(std::abs(summary.value("mean").toDouble() - mean) <= 1.0, channel);
            QVERIFY2(std::abs(summary.value("p1").toInt() - percentiles[0]) <= 1, channel);
            QVERIFY2(std::abs(summary.value("p50").toInt() - percentiles[1]) <= 1, channel);
            QVERIFY2(std::abs(summary.value("p99").toInt() - percentiles[2]) <= 1, channel);
        }
        const QJsonObject theme = info.value("theme").toObject();
        QVERIFY(theme.value("palette").toString().startsWith('#'));
        QVERIFY2(theme.value("tone").toString().contains("contrast"), qPrintable(theme.value("tone").toString()));
    }

    void commandsInfoWritesTheChart_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        QTest::newRow("default size") << QStringList() << QSize(THistDraw::defaultWidth, THistDraw::defaultHeight);
        QTest::newRow("chosen size") << QStringList { "--chart-size", "300x100" } << QSize(300, 100);
        QTest::newRow("smallest") << QStringList { "--chart-size", "16x16" } << QSize(16, 16);
    }

    void commandsInfoWritesTheChart()
    {
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        const QString chart = m_dir.filePath(QStringLiteral("chart.png"));
        QFile::remove(chart);
        const Run run = fxhost(QStringList { "info", "--histogram", chart } + options);
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        QVERIFY(run.out.contains("Palette:"));
        const QImage written(chart);
        QCOMPARE(written.size(), size);
        // A chart of a photo-like picture is more than its background and grid lines.
        QSet<QRgb> colours;
        for (int y = 0; y < written.height(); ++y)
            for (int x = 0; x < written.width(); ++x)
                colours.insert(written.pixel(x, y));
        QVERIFY2(colours.size() > 3, qPrintable(QString::number(colours.size())));
    }
};

FX_REGISTER_TEST(tst_FxhostCommands)
#include "tst_fxhostcommands.moc"
