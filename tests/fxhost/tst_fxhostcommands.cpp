// fxhost's list, preview, graph and info commands, driven as a user runs them: the built
// binary in a process of its own, its exit code, its output and the files it writes, checked
// against objects made here through the plug-in factory and against reference computations.
#include "fxhostrun.h"
#include "quietstdout.h"
#include "testdata.h"
#include "testregistry.h"
#include "tsampleimage.h"

#include <QColorSpace>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
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

}

class tst_FxhostCommands : public QObject {
    Q_OBJECT
private slots:
    // The plug-ins made here for comparison write trace lines; the log stays quiet.
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false")); }
    void cleanupTestCase() { QLoggingCategory::setFilterRules(QString()); }
    void commandsListEffectsMatchLiveObjects();
    void commandsListFiltersMatchLiveObjects();
    void commandsPreviewPicksTheDecimation_data();
    void commandsPreviewPicksTheDecimation();
    void commandsHelpNamesTheCommand_data();
    void commandsHelpNamesTheCommand();
    void commandsMistakesExitWithOneLine_data();
    void commandsMistakesExitWithOneLine();

private:
    QTemporaryDir m_dir;
};

void tst_FxhostCommands::commandsListEffectsMatchLiveObjects()
{
    const Run run = fxhost({ "list", "--json" });
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    // Anything else on stdout (the factory's start-up line) would break the JSON.
    QJsonParseError error;
    const QJsonObject listing = QJsonDocument::fromJson(run.out, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    const QJsonArray effects = listing.value("effects").toArray();
    Factory factory;
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
}

void tst_FxhostCommands::commandsListFiltersMatchLiveObjects()
{
    const Run run = fxhost({ "list", "--json" });
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QJsonArray filters = QJsonDocument::fromJson(run.out).object().value("filters").toArray();
    Factory factory;
    const QStringList keys = factory->filters();
    for (const char *bundled : { "TFDrawMask", "TLayerModes", "TFBlur", "TFHistogram", "TFBrightnessContrast",
             "TFGamma", "TFSaturation", "AutoTone", "SoftGlow" })
        QVERIFY2(keys.contains(QLatin1String(bundled)), bundled);
    QCOMPARE(filters.size(), keys.size());
    for (const QString &key : keys) {
        const QJsonObject listed = entry(filters, key);
        std::unique_ptr<TFilter> live(factory->createTFilter(key, key, factory.context.get()));
        QVERIFY2(live && !listed.isEmpty(), qPrintable(key));
        QCOMPARE(listed.value("script").toBool(), live->inherits("TFilterScript"));
        const QJsonArray inports = listed.value("inports").toArray(), outports = listed.value("outports").toArray();
        // The filter's own lookups name all its children; the ports are those of the port kinds.
        QCOMPARE(inports.size(), live->findChildren<TInport *>(QString(), Qt::FindDirectChildrenOnly).size());
        QCOMPARE(outports.size(), live->findChildren<TOutport *>(QString(), Qt::FindDirectChildrenOnly).size());
        for (const QJsonValue &item : inports) {
            const QJsonObject port = item.toObject();
            const TInport *in = live->inportPtr(port.value("name").toString());
            TImage::IMTYPE type;
            QVERIFY2(in && TPort::typeFromString(port.value("type").toString(), type) && type == in->type(),
                qPrintable(key + " " + port.value("name").toString()));
            QCOMPARE(port.value("optional").toBool(), in->bOptional());
        }
        for (const QJsonValue &item : outports) {
            const QJsonObject port = item.toObject();
            const TOutport *out = live->outportPtr(port.value("name").toString());
            TImage::IMTYPE type;
            QVERIFY2(out && TPort::typeFromString(port.value("type").toString(), type) && type == out->type(),
                qPrintable(key + " " + port.value("name").toString()));
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

void tst_FxhostCommands::commandsPreviewPicksTheDecimation_data()
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

void tst_FxhostCommands::commandsPreviewPicksTheDecimation()
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
    const QImage expected = boxAverage(TSampleImage::generate(sampleSize.width(), sampleSize.height()), region, dec);
    const double difference = meanAbsoluteDifference(result.convertToFormat(QImage::Format_ARGB32), expected);
    // At coarse decimations the sample's fine stripes average to different greys in the
    // engine's gamma than in sRGB's; a wrong region or decimation is tens of levels off.
    QVERIFY2(difference < 4.0, qPrintable(QString::number(difference)));
}

void tst_FxhostCommands::commandsHelpNamesTheCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("option");
    QTest::newRow("list") << "list"
                          << "--json";
    QTest::newRow("preview") << "preview"
                             << "--view";
    QTest::newRow("graph") << "graph"
                           << "--set";
    QTest::newRow("info") << "info"
                          << "--histogram";
}

void tst_FxhostCommands::commandsHelpNamesTheCommand()
{
    QFETCH(QString, command);
    QFETCH(QString, option);
    const Run run = fxhost({ command, "--help" });
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QString help = QString::fromUtf8(run.out);
    QVERIFY2(help.startsWith("Usage: fxhost " + command + " [options]"), qPrintable(help));
    QVERIFY2(help.contains(option) && help.contains("--verbose") && help.contains("--quiet"), qPrintable(help));
}

void tst_FxhostCommands::commandsMistakesExitWithOneLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    // "@" stands for the test's temporary folder.
    QTest::newRow("list with an argument") << QStringList { "list", "extra" } << 2 << "takes no arguments";
    QTest::newRow("list unknown option") << QStringList { "list", "--bogus" } << 2 << "bogus";
    QTest::newRow("preview without view") << QStringList { "preview", "-o", "@/x.png" } << 2 << "--view";
    QTest::newRow("preview empty view") << QStringList { "preview", "--view", "0x10", "-o", "@/x.png" } << 2
                                        << "--view";
    QTest::newRow("preview origin outside")
        << QStringList { "preview", "--view", "10x10+1200+0", "-o", "@/x.png" } << 2 << "outside";
    QTest::newRow("preview view too small")
        << QStringList { "preview", "--view", "8x6", "-o", "@/x.png" } << 2 << "decimation";
    QTest::newRow("preview unknown effect")
        << QStringList { "preview", "--view", "80x60", "--fx", "Nope", "-o", "@/x.png" } << 2 << "Nope";
    QTest::newRow("preview malformed recipe")
        << QStringList { "preview", "--view", "80x60", "--recipe", "@/bad.json", "-o", "@/x.png" } << 2 << "bad.json";
    QTest::newRow("preview missing input")
        << QStringList { "preview", "@/none.png", "--view", "80x60", "-o", "@/x.png" } << 1 << "none.png";
    QTest::newRow("preview unwritable output")
        << QStringList { "preview", "--view", "80x60", "-o", "@/no/dir/x.png" } << 1 << "x.png";
    QTest::newRow("graph unknown filter")
        << QStringList { "graph", "--filter", "Nope", "-o", "@/x.png" } << 2 << "Nope";
    QTest::newRow("graph unknown slot") << QStringList { "graph", "--filter", "TFGamma", "--set", "setNothing=1", "-o",
        "@/x.png" } << 2 << "setNothing";
    QTest::newRow("graph bad value") << QStringList { "graph", "--filter", "TFGamma", "--set", "setGamma=bright", "-o",
        "@/x.png" } << 2 << "setGamma\\(float\\)";
    QTest::newRow("graph unknown sub-filter")
        << QStringList { "graph", "--filter", "SoftGlow", "--set", "glow.setRadius=3", "-o", "@/x.png" } << 2 << "glow";
    QTest::newRow("graph top level of another filter")
        << QStringList { "graph", "--filter", "TFGamma", "--toplevel", "-o", "@/x.png" } << 2 << "TFDrawMask";
    QTest::newRow("graph filter that fails")
        << QStringList { "graph", "--filter", "TLayerModes", "-o", "@/x.png" } << 1 << "TLayerModes";
    QTest::newRow("info missing input") << QStringList { "info", "@/none.png" } << 1 << "none.png";
    QTest::newRow("info empty file") << QStringList { "info", "@/empty.png" } << 1 << "empty";
    QTest::newRow("info bad chart size") << QStringList { "info", "--chart-size", "8x8" } << 2 << "chart-size";
}

void tst_FxhostCommands::commandsMistakesExitWithOneLine()
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

FX_REGISTER_TEST(tst_FxhostCommands)
#include "tst_fxhostcommands.moc"
