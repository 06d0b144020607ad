// The plug-in factory: registries and creation on the fixtures' own plug-in directory
// (tests/appdir/bin/filters); and where it looks and which files it takes, seen from a probe
// program run from a directory layout made for each case, since those rules depend on where
// the application lives.

#include "quietstdout.h"
#include "testregistry.h"
#include "tpluginfactory.h"
#include "tracecapture.h"
#include "trecordingfx.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {
// A factory on the fixtures' plug-in directory; what it writes to standard output is dropped.
TPluginFactory *newFactory(QObject *parent = nullptr)
{
    QuietStdout quiet;
    return new TPluginFactory(parent);
}
}

class tst_PluginFactory : public QObject {
    Q_OBJECT
private slots:
    void registriesAndCreation()
    {
        const std::unique_ptr<TPluginFactory> factory(newFactory());
        // Keys ascending and each once, though two plug-ins offer "Shared"; the effect side of
        // the plug-in answering both interfaces is not taken; plug-in filters before scripts.
        QCOMPARE(factory->tfxs(), QStringList({ "RecA", "RecParams", "Shared" }));
        // The script keys are those of the fixture scripts (the script filter's tests add theirs).
        QStringList scripts;
        for (const QString &file : QDir(QCoreApplication::applicationDirPath() + "/filters").entryList(QDir::Files)) {
            if (file.endsWith(".js", Qt::CaseInsensitive))
                scripts << file.chopped(3);
        }
        scripts.sort();
        QVERIFY(scripts.contains("Alpha") && scripts.contains("Blur"));
        QCOMPARE(factory->filters(), QStringList({ "Blur", "Zoom" }) + scripts);
        QObject parent;
        const TFx *fx = factory->createTFx("RecParams", "my effect", &parent);
        QVERIFY(fx);
        QCOMPARE(fx->objectName(), QString("my effect"));
        QCOMPARE(fx->parent(), &parent);
        QCOMPARE(fx->numParams(), 4);
        QVERIFY(factory->createTFx("Shared", "s", &parent));
        // Effects come only from effect plug-ins, by exact key.
        for (const char *key : { "Alpha", "Zoom", "BothFx", "reca", "" })
            QVERIFY2(!factory->createTFx(key, "n", &parent), key);
        QCOMPARE(parent.children().size(), 2);
        // A filter plug-in is asked for its keys, also for one a script has as well. The script
        // filter for "Alpha" throws, as every filter does without a filter context above its
        // parent; the factory turns that into null and a trace line.
        TRecordingFx::calls.clear();
        TraceCapture trace;
        for (const char *key : { "Blur", "Zoom", "Alpha", "RecA" })
            QVERIFY(!factory->createTFilter(key, "n", &parent));
        QCOMPARE(TRecordingFx::calls, QStringList({ "Blur.createFilter", "Zoom.createFilter" }));
        QCOMPARE(trace.count("TFilter::TFilter - !m_context_p"), 1);
    }

    void findFactoryWalksUpParents()
    {
        const std::unique_ptr<TPluginFactory> outer(newFactory());
        QObject child(outer.get()), loner;
        TPluginFactory *inner = newFactory(&child);
        QObject leaf(inner);
        QCOMPARE(TPluginFactory::findFactory(nullptr), nullptr);
        QCOMPARE(TPluginFactory::findFactory(&loner), nullptr);
        QCOMPARE(TPluginFactory::findFactory(outer.get()), outer.get());
        QCOMPARE(TPluginFactory::findFactory(&child), outer.get());
        QCOMPARE(TPluginFactory::findFactory(&leaf), inner); // The nearest one.
    }

    void directoryAndFileRules_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("tfxs");
        QTest::addColumn<QString>("filters");
        QTest::addColumn<QString>("errors");
        // Files: "<path>=<fixture>"; errors: the files reported as load errors.
        const char *rec = "RecA RecParams Shared";
        const char *rows[][6] = {
            { "Release: one level up", "X/Release", "X/filters/a.so=rec X/Release/filters/b.so=both", rec, "", "" },
            { "dEbUg: one level up", "X/dEbUg", "X/filters/a.so=rec X/dEbUg/filters/b.so=both", rec, "", "" },
            { "MyDebug: not", "X/MyDebug", "X/MyDebug/filters/a.so=rec X/filters/b.so=both", rec, "", "" },
            { "no filters folder: the app dir, not its sub-dirs", "app", "app/a.so=rec app/sub/b.so=both", rec, "",
                "" },
            { ".SO", "bin", "bin/filters/a.SO=rec", rec, "", "" },
            { ".Dll", "bin", "bin/filters/a.Dll=rec", rec, "", "" },
            { ".dylib", "bin", "bin/filters/a.dylib=rec", rec, "", "" },
            { "other suffixes", "bin", "bin/filters/a.so.1=rec bin/filters/b.sox=rec bin/filters/c.txt=rec", "", "",
                "" },
            { "scripts in any case, after plug-in keys", "bin",
                "bin/filters/lower.js=script bin/filters/Mixed.Js=script bin/filters/n.json=script "
                "bin/filters/b.so=both",
                "", "Blur Zoom Mixed lower", "" },
            { "bad files", "bin",
                "bin/filters/x.Dll=text bin/filters/y.DYLIB=text bin/filters/m.so=missing bin/filters/e.so=empty "
                "bin/filters/w.so=wrong bin/filters/d.so=dir bin/filters/r.so=rec",
                rec, "", "x.Dll y.DYLIB m.so e.so" },
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]) << QString(row[4])
                                  << QString(row[5]);
    }
    void directoryAndFileRules()
    {
        QFETCH(QString, appDir);
        QFETCH(QString, files);
        QFETCH(QString, tfxs);
        QFETCH(QString, filters);
        QFETCH(QString, errors);
        const QString fixtures = QCoreApplication::applicationDirPath();
        QTemporaryDir dir;
        const QString app = dir.path() + '/' + appDir;
        QVERIFY(QDir().mkpath(app));
        QVERIFY(QFile::copy(fixtures + "/fxfactoryprobe", app + "/probe"));
        const QMap<QString, QString> sources { { "rec", "libfxrecording.so" }, { "both", "libfxboth.so" },
            { "missing", "libfxmissingsymbol.so" }, { "wrong", "libfxwronginterface.so" }, { "text", "notalibrary.so" },
            { "script", "Alpha.js" } };
        for (const QString &file : files.split(' ')) {
            const QString path = dir.path() + '/' + file.section('=', 0, 0), source = file.section('=', 1);
            QVERIFY(QDir().mkpath(source == "dir" ? path : QFileInfo(path).path()));
            if (source == "empty")
                QVERIFY(QFile(path).open(QIODevice::WriteOnly));
            else if (source != "dir")
                QVERIFY(QFile::copy(fixtures + "/filters/" + sources.value(source), path));
        }
        QProcess probe;
        probe.start(app + "/probe", QStringList());
        QVERIFY(probe.waitForFinished(60000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QVERIFY2(probe.exitCode() == 0,
            qPrintable(QString("exit code %1: %2").arg(probe.exitCode()).arg(QString(probe.readAllStandardError()))));
        QStringList found[2], messages;
        int metatype = 0;
        for (const QString &line :
            QString::fromLocal8Bit(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith("metatype "))
                metatype = line.mid(9).toInt();
            else if (line.startsWith("tfx ") || line.startsWith("filter "))
                found[line.startsWith("filter ")] << line.section(' ', 1);
            else
                messages << line;
        }
        // Registered by the library when it was loaded.
        QVERIFY2(metatype >= QMetaType::User, qPrintable(QString("metatype %1").arg(metatype)));
        QCOMPARE(found[0].join(' '), tfxs);
        QCOMPARE(found[1].join(' '), filters);
        // "plugins dir", then for every file that fails to load a line naming it and a "0".
        const QStringList bad = errors.split(' ', Qt::SkipEmptyParts);
        QCOMPARE(messages.value(0), "plugins dir");
        QCOMPARE(messages.size(), 1 + 2 * bad.size());
        for (const QString &name : bad) {
            const QString path = QRegularExpression::escape(QFileInfo(app + "/filters/" + name).filePath());
            const int at = messages.indexOf(QRegularExpression(".*" + path + "(?![\\w.]).*"));
            QVERIFY2(at > 0 && messages.value(at + 1) == "0", qPrintable(name + " in: " + messages.join(" | ")));
        }
    }
};

FX_REGISTER_TEST(tst_PluginFactory)
#include "tst_pluginfactory.moc"
