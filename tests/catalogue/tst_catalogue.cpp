// The bookkeeping every bundled effect shares: defaults that change nothing, passes that
// recompute only what a change reaches, and the keys and parameters hosts rely on.
#include "catalogueharness.h"
#include "testregistry.h"
#include "tsampleimage.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>
#include <tfx.h>
#include <tparamfloat.h>
#include <tpimage.h>

namespace {
// Every bundled effect with one parameter moved off its default.
struct Setting {
    QString key;
    QString param;
    QVariant value;
};
const QList<Setting> &catalogue()
{
    static const QList<Setting> settings = {
        { "Exposure", "exposure", 0.6 },
        { "Tone", "shadows", 0.5 },
        { "Curves", "curve", QVariant::fromValue(QList<QPointF> { { 0.25, 0.08 }, { 0.75, -0.05 } }) },
        { "Colour", "vibrance", 0.5 },
        { "Clarity", "amount", 0.6 },
        { "Sharpen", "amount", 1.5 },
        { "Vignette", "amount", -0.6 },
        { "BlackWhite", "red", 0.5 },
    };
    return settings;
}
Setting settingOf(const QString &key)
{
    for (const Setting &s : catalogue())
        if (s.key == key)
            return s;
    return {};
}
int levelsComputed(const TFx *fx) { return fx->property("levelsComputed").toInt(); }

QString sortedLevels(const QSignalSpy &spy)
{
    QStringList list;
    for (const QList<QVariant> &arguments : spy)
        list.append(arguments.at(0).toString());
    list.sort();
    return list.join(',');
}
}

class tst_Catalogue : public QObject {
    Q_OBJECT
private slots:
    void defaultsChangeNothing_data();
    void defaultsChangeNothing();
    void passRecomputesOnlyWhatChanged_data();
    void passRecomputesOnlyWhatChanged();
    void curveChangeMakesLevelsDirty();
    void cancelledPassIsRedoneNextTime_data();
    void cancelledPassIsRedoneNextTime();
    void stackOfAllStartsNoThreads();
    void tinyPicturesAtExtremes_data();
    void tinyPicturesAtExtremes();
};

void tst_Catalogue::defaultsChangeNothing_data()
{
    QTest::addColumn<QString>("key");
    for (const Setting &s : catalogue())
        if (s.key != "BlackWhite")
            QTest::newRow(qPrintable(s.key)) << s.key;
}

// Each effect at its defaults leaves every level bit for bit as it came in, views included.
void tst_Catalogue::defaultsChangeNothing()
{
    QFETCH(QString, key);
    CatalogueHarness host;
    QVERIFY(host.load(TSampleImage::generate(301, 203)));
    host.setView(TIm::CImView1, TRoi(100, 60, 33, 21, 2));
    TFx *fx = host.add(key);
    QVERIFY2(fx, qPrintable("no plug-in offers " + key));
    QVERIFY(fx->bParamsDefault());
    QVERIFY(host.run({ TIm::CImFull, TIm::CImView1 }));
    for (TIm::CImId cid : { TIm::CImFull, TIm::CImView1 }) {
        QCOMPARE(levelDiff(*host.image().ptr(cid), *host.stack().outImagePtr()->ptr(cid)), 0.0);
        QCOMPARE(host.result(cid), host.source(cid));
    }
}

void tst_Catalogue::passRecomputesOnlyWhatChanged_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<int>("changed");
    QTest::addColumn<QString>("levels");
    const QStringList five = { "Exposure", "Tone", "Colour", "Clarity", "Vignette" };
    QTest::newRow("third of five, two views") << five << 2 << "1,2";
    QTest::newRow("third of five, full and a view") << five << 2 << "0,3";
    QTest::newRow("first of five") << five << 0 << "1";
    QTest::newRow("last of five") << five << 4 << "1,2";
    const QStringList other = { "Curves", "Sharpen", "BlackWhite", "Exposure", "Colour" };
    QTest::newRow("curve third, two views")
        << QStringList { "Exposure", "Colour", "Curves", "Sharpen", "Vignette" } << 2 << "1,2";
    QTest::newRow("mixer third") << other << 2 << "2";
}

// After a change to one effect, a pass computes no pixels in the effects before it, computes
// the requested levels in it and in every effect after it, and announces exactly the
// requested levels. A pass without a change computes and announces nothing.
void tst_Catalogue::passRecomputesOnlyWhatChanged()
{
    QFETCH(QStringList, keys);
    QFETCH(int, changed);
    QFETCH(QString, levels);
    QSet<TIm::CImId> cids;
    for (const QString &id : levels.split(','))
        cids.insert(TIm::CImId(id.toInt()));

    CatalogueHarness host;
    QVERIFY(host.load(TSampleImage::generate(480, 320)));
    host.setView(TIm::CImView1, TRoi(120, 80, 0, 0, 4));
    host.setView(TIm::CImView2, TRoi(100, 70, 150, 90, 2));
    host.setView(TIm::CImView3, TRoi(90, 60, 37, 41, 3));
    QList<TFx *> fxs;
    for (const QString &key : keys) {
        fxs.append(host.add(key));
        QVERIFY2(fxs.last(), qPrintable("no plug-in offers " + key));
        const Setting s = settingOf(key);
        QVERIFY(CatalogueHarness::set(fxs.last(), s.param, s.value));
    }
    QVERIFY(host.run(cids));
    QList<int> before;
    for (TFx *fx : fxs)
        before.append(levelsComputed(fx));

    QSignalSpy changedLevels(&host.stack(), &TFx::outputChanged);
    QVERIFY(host.run(cids));
    QCOMPARE(changedLevels.count(), 0);
    for (int i = 0; i < fxs.size(); ++i)
        QCOMPARE(levelsComputed(fxs[i]), before[i]);

    const Setting s = settingOf(keys[changed]);
    QVariant moved = s.value;
    if (moved.type() == QVariant::Double)
        moved = moved.toDouble() * 0.5;
    else
        moved = QVariant::fromValue(QList<QPointF> { { 0.3, 0.12 } });
    QVERIFY(CatalogueHarness::set(fxs[changed], s.param, moved));
    QVERIFY(host.run(cids));
    for (int i = 0; i < fxs.size(); ++i) {
        const int expected = before[i] + (i >= changed ? cids.size() : 0);
        QVERIFY2(levelsComputed(fxs[i]) == expected,
            qPrintable(QStringLiteral("%1 (effect %2) computed %3 levels, expected %4")
                           .arg(keys[i])
                           .arg(i)
                           .arg(levelsComputed(fxs[i]) - before[i])
                           .arg(expected - before[i])));
    }
    QCOMPARE(sortedLevels(changedLevels), levels);
}

// A curve announces its change by signal only; the effect still sees its levels as dirty.
void tst_Catalogue::curveChangeMakesLevelsDirty()
{
    CatalogueHarness host;
    QVERIFY(host.load(TSampleImage::generate(200, 120)));
    TFx *fx = host.add("Curves");
    QVERIFY(fx);
    QVERIFY(host.run({ TIm::CImFull }));
    const QImage flat = host.result(TIm::CImFull);
    QVERIFY(CatalogueHarness::set(fx, "curve", QVariant::fromValue(QList<QPointF> { { 0.5, 0.2 } })));
    QVERIFY(host.run({ TIm::CImFull }));
    const QImage raised = host.result(TIm::CImFull);
    QVERIFY(psnr(flat, raised) < 30.0);
    QVERIFY(CatalogueHarness::set(fx, "curve", QVariant::fromValue(QList<QPointF>())));
    QVERIFY(host.run({ TIm::CImFull }));
    QCOMPARE(host.result(TIm::CImFull), flat);
}

void tst_Catalogue::cancelledPassIsRedoneNextTime_data()
{
    QTest::addColumn<QString>("key");
    for (const Setting &s : catalogue())
        QTest::newRow(qPrintable(s.key)) << s.key;
}

// A host that cancels mid-pass gets an empty output (the stack's way of saying the pass did not
// finish) and the effect's levels stay dirty: the next pass computes them and gives what an
// uninterrupted pass gives.
void tst_Catalogue::cancelledPassIsRedoneNextTime()
{
    QFETCH(QString, key);
    const QImage picture = TSampleImage::generate(640, 480);
    const Setting s = settingOf(key);
    CatalogueHarness reference;
    QVERIFY(reference.load(picture));
    QVERIFY(CatalogueHarness::set(reference.add(key), s.param, s.value));
    QVERIFY(reference.run({ TIm::CImFull }));

    CatalogueHarness host;
    QVERIFY(host.load(picture));
    TFx *fx = host.add(key);
    QVERIFY(CatalogueHarness::set(fx, s.param, s.value));
    int reports = 0;
    // Cancel at the first report from inside the effect's own work (the ones after 0).
    const auto connection = QObject::connect(fx, &TFx::progress, fx, [&](int value) {
        if (value > 0 && value < 1000 && reports++ == 0)
            host.stack().cancelProc();
    });
    host.run({ TIm::CImFull });
    QVERIFY(reports > 0);
    QVERIFY(host.stack().outImagePtr()->bEmpty(TIm::CImFull));
    QObject::disconnect(connection);
    QVERIFY(host.run({ TIm::CImFull }));
    QCOMPARE(host.result(TIm::CImFull), reference.result(TIm::CImFull));
}

namespace {
int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}
}

// The bundled effects run on the caller's thread only: a pass of all of them over a picture
// large enough that any library call that parallelises would do so leaves the thread count.
void tst_Catalogue::stackOfAllStartsNoThreads()
{
    CatalogueHarness host;
    QVERIFY(host.load(TSampleImage::generate(2400, 1600)));
    host.setView(TIm::CImView1, TRoi(600, 400, 0, 0, 4));
    for (const Setting &s : catalogue())
        QVERIFY(CatalogueHarness::set(host.add(s.key), s.param, s.value));
    const int before = threadCount();
    QVERIFY(host.run({ TIm::CImFull, TIm::CImView1 }));
    QCOMPARE(threadCount(), before);
}

void tst_Catalogue::tinyPicturesAtExtremes_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QSize>("size");
    const QList<QPair<QString, Settings>> rows = {
        { "Exposure", { { "exposure", 5.0 } } },
        { "Exposure", { { "exposure", -5.0 } } },
        { "Curves", { { "curve", QVariant::fromValue(QList<QPointF> { { 0.0, 0.0 }, { 1.0, -1.0 } }) } } },
        { "Curves",
            { { "curve",
                QVariant::fromValue(QList<QPointF> { { -3.0, 2.0 }, { 0.5, 9.0 }, { 0.5, -9.0 }, { 7.0, -0.5 } }) } } },
        { "Colour", { { "saturation", 1.0 }, { "temperature", -1.0 }, { "tint", 1.0 } } },
        { "Colour", { { "vibrance", -1.0 }, { "saturation", -1.0 } } },
        { "BlackWhite", { { "red", -2.0 }, { "tint", 1.0 } } },
        { "Tone",
            { { "contrast", 1.0 }, { "highlights", 1.0 }, { "shadows", -1.0 }, { "whites", 1.0 },
                { "blacks", -1.0 } } },
        { "Clarity", { { "amount", -1.0 }, { "radius", 200.0 } } },
        { "Sharpen", { { "amount", 3.0 }, { "radius", 5.0 } } },
        { "Vignette", { { "amount", -1.0 }, { "roundness", 1.0 } } },
    };
    for (int i = 0; i < rows.size(); ++i)
        for (const QSize size : { QSize(1, 1), QSize(2, 1), QSize(1, 3), QSize(3, 5), QSize(17, 2) })
            QTest::addRow("%s %d, %dx%d", qPrintable(rows[i].first), i, size.width(), size.height())
                << rows[i].first << rows[i].second << size;
}

// Pictures of a pixel or a few, with settings at the ends of their ranges, give a result of the
// picture's size, and a view at dec 2 as well.
void tst_Catalogue::tinyPicturesAtExtremes()
{
    QFETCH(QString, key);
    QFETCH(Settings, settings);
    QFETCH(QSize, size);
    CatalogueHarness host;
    QVERIFY(host.load(makePicture(
        size.width(), size.height(), [](int x, int y) { return qRgb(230, 30 + 100 * ((x + 2 * y) % 3), 20); })));
    TFx *fx = host.add(key);
    for (const auto &setting : settings)
        QVERIFY(CatalogueHarness::set(fx, setting.first, setting.second));
    host.setView(TIm::CImView1, TRoi(std::max(1, size.width() / 2), std::max(1, size.height() / 2), 0, 0, 2));
    QVERIFY(host.run({ TIm::CImFull, TIm::CImView1 }));
    QCOMPARE(host.result(TIm::CImFull).size(), size);
    QVERIFY(!host.result(TIm::CImView1).isNull());
}

FX_REGISTER_TEST(tst_Catalogue)
#include "tst_catalogue.moc"
