// The plug-in factory on the fixtures' own plug-in directory (tests/appdir/bin/filters):
// registries, creation by key, load errors on standard output, and findFactory.

#include "recordlog.h"
#include "stdoutcapture.h"
#include "testregistry.h"
#include "tfx.h"
#include "tpluginfactory.h"
#include "tracecapture.h"
#include "trecordingfx.h"

#include <QCoreApplication>
#include <QDir>
#include <QtTest>
#include <memory>

namespace {
std::unique_ptr<TPluginFactory> newFactory(QString *output = nullptr, QObject *parent = nullptr)
{
    StdoutCapture capture;
    auto factory = std::make_unique<TPluginFactory>(parent);
    if (output)
        *output = capture.text();
    return factory;
}

QString pluginDir() { return QCoreApplication::applicationDirPath() + QStringLiteral("/filters"); }

// The first line where the path appears as a whole (not as the start of a longer name).
int lineNaming(const QStringList &lines, const QString &path)
{
    const QRegularExpression pattern(QRegularExpression::escape(path) + QStringLiteral("(?![\\w.])"));
    for (int i = 0; i < lines.size(); ++i) {
        if (pattern.match(lines.at(i)).hasMatch())
            return i;
    }
    return -1;
}

// The fixtures that carry a library's name but cannot be loaded.
const QStringList &unloadable()
{
    static const QStringList names { "notalibrary.so", "x.Dll", "y.DYLIB", "libfxmissingsymbol.so" };
    return names;
}
}

class tst_PluginFactory : public QObject {
    Q_OBJECT
private slots:
    void init();

    void registriesInKeyOrder();
    void constructionLog();
    void loadErrorsOnStandardOutput();
    void createTFxMakesEffectWithNameAndParent();
    void createTFxOnlyFromEffectPlugins_data();
    void createTFxOnlyFromEffectPlugins();
    void createTFilterPrefersPlugins_data();
    void createTFilterPrefersPlugins();
    void duplicateKeyLaterFileWins();
    void findFactoryWalksUpParents();
};

void tst_PluginFactory::init() { RecordLog::clear(); }

void tst_PluginFactory::registriesInKeyOrder()
{
    const auto factory = newFactory();
    // Effect keys from the two effect plug-ins, ascending, each once; the effect side of the
    // plug-in that answers both interfaces is not among them.
    QCOMPARE(factory->tfxs(), QStringList({ "RecA", "RecB", "RecC", "RecParams", "Shared" }));
    // Plug-in filter keys first, then script keys, each part ascending; "Blur" is in both.
    QCOMPARE(factory->filters(), QStringList({ "Blur", "Zoom", "Alpha", "Blur" }));
    // Looking did not create anything.
    QCOMPARE(RecordLog::count(QStringLiteral("createTFx")), 0);
    QCOMPARE(RecordLog::count(QStringLiteral("createFilter")), 0);
}

void tst_PluginFactory::constructionLog()
{
    TraceCapture trace;
    const auto factory = newFactory();
    const QStringList &lines = trace.lines();
    // The directory the plug-in folder was looked for in, before "filters".
    QVERIFY(lines.contains(QLatin1Char('"') + QCoreApplication::applicationDirPath() + QLatin1Char('"')));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^  fitler -  \"(Zoom|Blur)\"$"))).size(), 2);
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^  tfx -  \""))).size(), 6);
    QCOMPARE(lines.count(QStringLiteral("  tfx -  \"Shared\"")), 2);
    const int found = lines.indexOf(QStringLiteral("TPluginFactory::TPluginFactory found: "));
    QVERIFY(found >= 0);
    QVERIFY(lines.value(found + 1).startsWith(QLatin1String("    script:  QMap((\"Alpha\", ")));
    QVERIFY(lines.value(found + 2).startsWith(QLatin1String("    tfx:  QMap((\"RecA\", ")));
    QVERIFY(lines.value(found + 3).startsWith(QLatin1String("    filter:  QMap((\"Blur\", ")));
}

void tst_PluginFactory::loadErrorsOnStandardOutput()
{
    QString output;
    const auto factory = newFactory(&output);
    QStringList lines = output.split(QLatin1Char('\n'));
    QCOMPARE(lines.takeLast(), QString());
    QCOMPARE(lines.value(0), QStringLiteral("plugins dir"));
    // One error line naming the file, then the null instance, for every unloadable file and
    // for nothing else (the text file, the scripts, the plug-in of a foreign interface).
    QCOMPARE(lines.size(), 1 + 2 * unloadable().size());
    for (const QString &name : unloadable()) {
        const QString path = pluginDir() + QLatin1Char('/') + name;
        const int at = lineNaming(lines, path);
        QVERIFY2(at > 0, qPrintable(name));
        QCOMPARE(lines.value(at + 1), QStringLiteral("0"));
    }
    const int missing = lineNaming(lines, pluginDir() + QStringLiteral("/libfxmissingsymbol.so"));
    QVERIFY2(
        lines.at(missing).contains(QLatin1String("fxFixtureSymbolThatNobodyDefines")), qPrintable(lines.at(missing)));
    // The good plug-ins were registered all the same.
    QVERIFY(factory->tfxs().contains(QStringLiteral("RecA")));
}

void tst_PluginFactory::createTFxMakesEffectWithNameAndParent()
{
    const auto factory = newFactory();
    QObject parent;
    TraceCapture trace;
    TFx *fx = factory->createTFx(QStringLiteral("RecParams"), QStringLiteral("my effect"), &parent);
    QVERIFY(fx);
    QVERIFY(qobject_cast<TRecordingFx *>(fx));
    QCOMPARE(fx->objectName(), QStringLiteral("my effect"));
    QCOMPARE(fx->parent(), &parent);
    QCOMPARE(fx->numParams(), 5);
    QCOMPARE(RecordLog::objects(QStringLiteral("createTFx")), QStringList(QStringLiteral("RecParams")));
    QCOMPARE(trace.lines(),
        QStringList(QStringLiteral("TPluginFactory::createTFx  \"RecParams\" \"my effect\" "
                                   "(\"RecA\", \"RecB\", \"RecC\", \"RecParams\", \"Shared\")")));
}

void tst_PluginFactory::createTFxOnlyFromEffectPlugins_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("script key") << "Alpha";
    QTest::newRow("filter plug-in key") << "Zoom";
    QTest::newRow("effect key of the plug-in answering both interfaces") << "BothFx";
    QTest::newRow("key in another case") << "reca";
    QTest::newRow("unknown key") << "Nothing";
    QTest::newRow("empty key") << "";
}

void tst_PluginFactory::createTFxOnlyFromEffectPlugins()
{
    QFETCH(QString, key);
    const auto factory = newFactory();
    QObject parent;
    TraceCapture trace;
    QVERIFY(!factory->createTFx(key, QStringLiteral("n"), &parent));
    QVERIFY(parent.children().isEmpty());
    QCOMPARE(RecordLog::count(QStringLiteral("createTFx")), 0);
    QCOMPARE(trace.count(QStringLiteral("TPluginFactory::createTFx ")), 1);
}

void tst_PluginFactory::createTFilterPrefersPlugins_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("fromPlugin");

    QTest::newRow("filter plug-in key") << "Zoom" << true;
    QTest::newRow("plug-in hides script of the same key") << "Blur" << true;
    QTest::newRow("script key") << "Alpha" << false;
    QTest::newRow("effect key") << "RecA" << false;
    QTest::newRow("unknown key") << "Nothing" << false;
}

void tst_PluginFactory::createTFilterPrefersPlugins()
{
    QFETCH(QString, key);
    QFETCH(bool, fromPlugin);
    const auto factory = newFactory();
    QObject parent;
    TraceCapture trace;
    // No filter class exists yet: the fixture's create and the script branch both give null,
    // so what shows is whether the plug-in was asked.
    QVERIFY(!factory->createTFilter(key, QStringLiteral("n"), &parent));
    QCOMPARE(RecordLog::objects(QStringLiteral("createFilter")),
        fromPlugin ? QStringList(key + QStringLiteral("/n")) : QStringList());
    QCOMPARE(RecordLog::count(QStringLiteral("createTFx")), 0);
    const QStringList lines = trace.matching(QStringLiteral("TPluginFactory::createTFilter "));
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(),
        QStringLiteral("TPluginFactory::createTFilter  \"%1\" \"n\" (\"Blur\", \"Zoom\", \"Alpha\", \"Blur\")")
            .arg(key));
}

void tst_PluginFactory::duplicateKeyLaterFileWins()
{
    // The factory reads the directory in the file system's order; the later of the two
    // plug-ins offering "Shared" in that order provides it.
    const QStringList files = QDir(pluginDir()).entryList(QDir::Files, QDir::Unsorted);
    const int recording = files.indexOf(QStringLiteral("libfxrecording.so"));
    const int duplicate = files.indexOf(QStringLiteral("libfxduplicate.so"));
    QVERIFY(recording >= 0 && duplicate >= 0);
    const QString winner = recording > duplicate ? QStringLiteral("fxrecording") : QStringLiteral("fxduplicate");

    const auto factory = newFactory();
    QCOMPARE(factory->tfxs().count(QStringLiteral("Shared")), 1);
    QObject parent;
    TFx *fx = factory->createTFx(QStringLiteral("Shared"), QStringLiteral("s"), &parent);
    QVERIFY(fx);
    QCOMPARE(fx->property("fixturePlugin").toString(), winner);
    QCOMPARE(fx->parent(), &parent);
    // The other keys of the losing plug-in are unaffected.
    QVERIFY(factory->createTFx(QStringLiteral("RecB"), QStringLiteral("b"), &parent));
}

void tst_PluginFactory::findFactoryWalksUpParents()
{
    QVERIFY(!TPluginFactory::findFactory(nullptr));
    const auto outer = newFactory();
    QCOMPARE(TPluginFactory::findFactory(outer.get()), outer.get());

    QObject child(outer.get());
    QObject grandchild(&child);
    QCOMPARE(TPluginFactory::findFactory(&grandchild), outer.get());

    // The nearest factory wins.
    QObject *inner = newFactory(nullptr, &child).release();
    QObject leaf(inner);
    QCOMPARE(TPluginFactory::findFactory(&leaf), inner);
    QCOMPARE(TPluginFactory::findFactory(&child), outer.get());

    QObject loner;
    QObject lonerChild(&loner);
    QVERIFY(!TPluginFactory::findFactory(&lonerChild));
    leaf.setParent(nullptr);
    delete inner;
}

FX_REGISTER_TEST(tst_PluginFactory)
#include "tst_pluginfactory.moc"
