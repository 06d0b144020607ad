// Where the plug-in factory looks and which files it takes, seen from a probe program run
// from directory layouts made for each case: the directory rules depend on where the
// application lives, which a test cannot change for itself.

#include "testregistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QStringList recordingKeys { "RecA", "RecB", "RecC", "RecParams", "Shared" };

struct ProbeResult {
    bool finished = false;
    int exitCode = -1;
    // The factory's own standard output: "plugins dir" and load errors.
    QStringList messages;
    QStringList tfxs;
    QStringList filters;
    QString debugLog;
};

bool copyFile(const QString &from, const QString &toDir, const QString &name)
{
    QDir().mkpath(toDir);
    const QString target = toDir + QLatin1Char('/') + name;
    QFile::remove(target);
    return QFile::copy(from, target);
}

// Copies the probe into appDir and runs it there.
ProbeResult runProbe(const QString &appDir)
{
    ProbeResult result;
    const QString probe = appDir + QStringLiteral("/fxfactoryprobe");
    if (!copyFile(QStringLiteral(FX_FACTORY_PROBE), appDir, QStringLiteral("fxfactoryprobe")))
        return result;
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess process;
    process.setWorkingDirectory(QDir::tempPath());
    process.start(probe, QStringList());
    result.finished = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.debugLog = QString::fromLocal8Bit(process.readAllStandardError());
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    bool ended = false;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("metatype ")) || line.isEmpty())
            continue;
        if (line == QLatin1String("end"))
            ended = true;
        else if (line.startsWith(QLatin1String("tfx ")))
            result.tfxs.append(line.mid(4));
        else if (line.startsWith(QLatin1String("filter ")))
            result.filters.append(line.mid(7));
        else
            result.messages.append(line);
    }
    result.finished = result.finished && ended;
    return result;
}

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

// A library file of the fixtures with the current file name, by its target's path.
QString fixture(const char *path) { return QString::fromLocal8Bit(path); }

QString quoted(const QString &path) { return QLatin1Char('"') + QDir::cleanPath(path) + QLatin1Char('"'); }
}

class tst_PluginDirectory : public QObject {
    Q_OBJECT
private slots:
    void pluginDirectoryFollowsAppDirectory_data();
    void pluginDirectoryFollowsAppDirectory();
    void withoutFiltersFolderAppDirectoryIsScanned();
    void librarySuffixRules_data();
    void librarySuffixRules();
    void scriptSuffixRules();
    void badFilesReportedNeverFatal();
};

void tst_PluginDirectory::pluginDirectoryFollowsAppDirectory_data()
{
    QTest::addColumn<QString>("appDirName");
    QTest::addColumn<bool>("oneLevelUp");

    QTest::newRow("Release") << "Release" << true;
    QTest::newRow("release") << "release" << true;
    QTest::newRow("RELEASE") << "RELEASE" << true;
    QTest::newRow("Debug") << "Debug" << true;
    QTest::newRow("DEBUG") << "DEBUG" << true;
    QTest::newRow("dEbUg") << "dEbUg" << true;
    QTest::newRow("bin") << "bin" << false;
    QTest::newRow("Releases") << "Releases" << false;
    QTest::newRow("MyDebug") << "MyDebug" << false;
}

void tst_PluginDirectory::pluginDirectoryFollowsAppDirectory()
{
    QFETCH(QString, appDirName);
    QFETCH(bool, oneLevelUp);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString top = root.path() + QStringLiteral("/X");
    const QString appDir = top + QLatin1Char('/') + appDirName;
    const QString base = oneLevelUp ? top : appDir;
    const QString decoy = oneLevelUp ? appDir : top;
    // The recording plug-in where the factory must look, the duplicate one where it must not.
    QVERIFY(copyFile(fixture(FX_RECORDING_PLUGIN), base + QStringLiteral("/filters"), QStringLiteral("libfxrec.so")));
    QVERIFY(copyFile(fixture(FX_BOTH_PLUGIN), decoy + QStringLiteral("/filters"), QStringLiteral("libfxboth.so")));

    const ProbeResult result = runProbe(appDir);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.tfxs, recordingKeys);
    QCOMPARE(result.filters, QStringList());
    QCOMPARE(result.messages, QStringList(QStringLiteral("plugins dir")));
    QVERIFY2(result.debugLog.contains(quoted(base)), qPrintable(result.debugLog));
}

void tst_PluginDirectory::withoutFiltersFolderAppDirectoryIsScanned()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString appDir = root.path() + QStringLiteral("/app");
    QVERIFY(copyFile(fixture(FX_RECORDING_PLUGIN), appDir, QStringLiteral("libfxrecording.so")));
    QVERIFY(copyFile(fixture(FX_MISSING_SYMBOL_PLUGIN), appDir, QStringLiteral("libfxmissing.so")));
    // Sub-directories are not searched.
    QVERIFY(copyFile(fixture(FX_BOTH_PLUGIN), appDir + QStringLiteral("/sub"), QStringLiteral("libfxboth.so")));

    const ProbeResult result = runProbe(appDir);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.tfxs, recordingKeys);
    QCOMPARE(result.filters, QStringList());
    // The probe itself, without a library suffix, is not a candidate; the broken library is,
    // and is reported without a message about the missing folder.
    QCOMPARE(result.messages.size(), 3);
    QCOMPARE(result.messages.at(0), QStringLiteral("plugins dir"));
    QVERIFY2(
        result.messages.at(1).contains(appDir + QStringLiteral("/libfxmissing.so")), qPrintable(result.messages.at(1)));
    QCOMPARE(result.messages.at(2), QStringLiteral("0"));
    QVERIFY(result.debugLog.contains(quoted(appDir)));
}

void tst_PluginDirectory::librarySuffixRules_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("loaded");

    QTest::newRow(".so") << "fx.so" << true;
    QTest::newRow(".SO") << "fx.SO" << true;
    QTest::newRow(".dll") << "fx.dll" << true;
    QTest::newRow(".Dll") << "fx.Dll" << true;
    QTest::newRow(".dylib") << "fx.dylib" << true;
    QTest::newRow(".DYLIB") << "fx.DYLIB" << true;
    QTest::newRow(".so with a version") << "fx.so.1" << false;
    QTest::newRow(".sox") << "fx.sox" << false;
    QTest::newRow("no dot before dll") << "fxdll" << false;
    QTest::newRow(".txt") << "fx.txt" << false;
    QTest::newRow("no suffix") << "fx" << false;
}

void tst_PluginDirectory::librarySuffixRules()
{
    QFETCH(QString, fileName);
    QFETCH(bool, loaded);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString appDir = root.path() + QStringLiteral("/bin");
    QVERIFY(copyFile(fixture(FX_RECORDING_PLUGIN), appDir + QStringLiteral("/filters"), fileName));
    const ProbeResult result = runProbe(appDir);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.tfxs, loaded ? recordingKeys : QStringList());
    // Files that are not candidates are passed over in silence.
    QCOMPARE(result.messages, QStringList(QStringLiteral("plugins dir")));
}

void tst_PluginDirectory::scriptSuffixRules()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString appDir = root.path() + QStringLiteral("/bin");
    const QString filters = appDir + QStringLiteral("/filters");
    const QString script = QStringLiteral(FX_FIXTURE_PLUGIN_DIR "/Alpha.js");
    for (const char *name : { "Blur.JS", "lower.js", "Mixed.Js", "notes.jsx", "old.js.bak", "data.json" })
        QVERIFY(copyFile(script, filters, QString::fromLatin1(name)));
    // A filter plug-in whose keys sort after every script key: plug-in keys still come first.
    QVERIFY(copyFile(fixture(FX_BOTH_PLUGIN), filters, QStringLiteral("libfxboth.so")));

    const ProbeResult result = runProbe(appDir);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.filters, QStringList({ "Blur", "Zoom", "Blur", "Mixed", "lower" }));
    QCOMPARE(result.tfxs, QStringList());
    QCOMPARE(result.messages, QStringList(QStringLiteral("plugins dir")));
}

void tst_PluginDirectory::badFilesReportedNeverFatal()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString appDir = root.path() + QStringLiteral("/bin");
    const QString filters = appDir + QStringLiteral("/filters");
    const QString fixtures = QStringLiteral(FX_FIXTURE_PLUGIN_DIR);
    QVERIFY(copyFile(fixtures + QStringLiteral("/notalibrary.so"), filters, QStringLiteral("notalibrary.so")));
    QVERIFY(copyFile(fixtures + QStringLiteral("/x.Dll"), filters, QStringLiteral("x.Dll")));
    QVERIFY(copyFile(fixtures + QStringLiteral("/y.DYLIB"), filters, QStringLiteral("y.DYLIB")));
    QVERIFY(copyFile(fixture(FX_MISSING_SYMBOL_PLUGIN), filters, QStringLiteral("libfxmissing.so")));
    QVERIFY(copyFile(fixture(FX_WRONG_INTERFACE_PLUGIN), filters, QStringLiteral("libfxwrong.so")));
    QVERIFY(copyFile(fixture(FX_RECORDING_PLUGIN), filters, QStringLiteral("libfxrecording.so")));
    // An empty file and the first kilobyte of a real plug-in.
    {
        QFile empty(filters + QStringLiteral("/empty.so"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        QFile source(fixture(FX_RECORDING_PLUGIN));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QFile truncated(filters + QStringLiteral("/truncated.so"));
        QVERIFY(truncated.open(QIODevice::WriteOnly));
        QCOMPARE(truncated.write(source.read(1024)), qint64(1024));
    }
    // A directory with a library's name is not a file.
    QVERIFY(QDir().mkpath(filters + QStringLiteral("/folder.so")));

    const ProbeResult result = runProbe(appDir);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.tfxs, recordingKeys);
    const QStringList bad { "notalibrary.so", "x.Dll", "y.DYLIB", "libfxmissing.so", "empty.so", "truncated.so" };
    QCOMPARE(result.messages.size(), 1 + 2 * bad.size());
    QCOMPARE(result.messages.at(0), QStringLiteral("plugins dir"));
    for (const QString &name : bad) {
        const int at = lineNaming(result.messages, filters + QLatin1Char('/') + name);
        QVERIFY2(at > 0 && at % 2 == 1, qPrintable(name));
        QCOMPARE(result.messages.value(at + 1), QStringLiteral("0"));
    }
}

FX_REGISTER_TEST(tst_PluginDirectory)
#include "tst_plugindirectory.moc"
