#include "testregistry.h"

#ifdef FX_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <QByteArrayList>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaMethod>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>

namespace {
struct Registered {
    const char *name;
    const QMetaObject *meta;
    TestRegistry::Factory factory;
};

std::vector<Registered> &registry()
{
    static std::vector<Registered> tests;
    return tests;
}

// Names one class to run alone. Qt Test ends the process once it has printed -functions or
// -datatags, so the runner lists a program of several classes by starting itself once per
// class with this set; it works the same when set by hand.
const char classVariable[] = "FX_TEST_CLASS";

// Qt Test's options whose value is the next argument, and QGuiApplication's -platform.
const QByteArrayList valueOptions = { "-o", "-eventdelay", "-keydelay", "-mousedelay", "-maxwarnings", "-perfcounter",
    "-minimumvalue", "-minimumtotal", "-iterations", "-median", "-platform" };

QByteArray g_program;

int fail(const QByteArray &message)
{
    fprintf(stderr, "%s: %s\n", g_program.constData(), message.constData());
    return 1;
}

// What Qt Test runs as a test function: a private slot without parameters that returns
// nothing, other than the data tables and the four fixtures.
QByteArrayList testFunctions(const QMetaObject *meta)
{
    static const QByteArrayList fixtures = { "initTestCase", "cleanupTestCase", "init", "cleanup" };
    QByteArrayList names;
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.methodType() == QMetaMethod::Slot && m.access() == QMetaMethod::Private && m.parameterCount() == 0
            && m.returnType() == QMetaType::Void && !m.name().endsWith("_data") && !fixtures.contains(m.name()))
            names << m.name();
    }
    return names;
}

// This program again for one class with the given arguments, its output passed on or, with
// output given, collected there. Its exit code, -1 when it did not run to the end.
int runAlone(const Registered &test, const QByteArrayList &arguments, QByteArray *output = nullptr)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(classVariable, test.name);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(output ? QProcess::ForwardedErrorChannel : QProcess::ForwardedChannels);
    QStringList list;
    for (const QByteArray &argument : arguments)
        list << QString::fromLocal8Bit(argument);
    fflush(stdout);
    child.start(QCoreApplication::applicationFilePath(), list);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = child.readAllStandardOutput();
    return child.exitCode();
}
}

int TestRegistry::add(const char *name, const QMetaObject *meta, Factory factory)
{
    registry().push_back({ name, meta, std::move(factory) });
    return int(registry().size());
}

int TestRegistry::runAll(int argc, char **argv)
{
    g_program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit();
    // A function name on the command line must say which class to run.
    std::map<QByteArray, const Registered *> owner;
    for (const Registered &test : registry()) {
        for (const QByteArray &name : testFunctions(test.meta)) {
            const auto [at, added] = owner.emplace(name, &test);
            if (!added)
                return fail("test function " + name + "() is declared by both " + at->second->name + " and " + test.name
                    + "; one of them needs another name");
        }
    }
    std::vector<const Registered *> classes;
    const QByteArray only = qgetenv(classVariable);
    for (const Registered &test : registry()) {
        if (only.isEmpty() || only == test.name)
            classes.push_back(&test);
    }
    if (classes.empty())
        return fail("no test class " + only + " (named by " + classVariable + ")");

    QByteArrayList options, unknown;
    std::vector<std::pair<const Registered *, QByteArrayList>> runs; // classes in the order first named
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument = argv[i];
        if (argument == "-platform") {
            // Qt Test rejects it, and the tests make no GUI application; one made later
            // still gets the platform asked for.
            if (i + 1 < argc)
                qputenv("QT_QPA_PLATFORM", argv[++i]);
        } else if (argument.startsWith('-')) {
            options << argument;
            if (valueOptions.contains(argument) && i + 1 < argc)
                options << argv[++i];
            listing = listing || argument == "-functions" || argument == "-datatags";
        } else {
            const int colon = argument.indexOf(':');
            QByteArray name = colon < 0 ? argument : argument.left(colon);
            if (name.endsWith("()")) // as -functions prints it
                name.chop(2);
            const auto at = owner.find(name);
            if (at == owner.end() || std::find(classes.begin(), classes.end(), at->second) == classes.end()) {
                unknown << name;
                continue;
            }
            auto run = std::find_if(runs.begin(), runs.end(), [&](const auto &r) { return r.first == at->second; });
            if (run == runs.end())
                run = runs.insert(runs.end(), { at->second, {} });
            run->second << name + (colon < 0 ? QByteArray() : argument.mid(colon));
        }
    }
    if (listing) { // function names are ignored, as Qt Test does
        if (classes.size() > 1) {
            int failed = 0;
            for (const Registered *test : classes)
                failed += runAlone(*test, options) != 0;
            return failed;
        }
        runs = { { classes.front(), {} } };
    } else {
        for (const QByteArray &name : unknown)
            fail("unknown test function '" + name + "' (" + g_program + " -functions lists them)");
        if (!unknown.isEmpty())
            return 1;
        // Qt Test runs nothing for a data tag that its function lacks, yet passes: check the tags.
        for (const auto &[test, functions] : runs) {
            QByteArray tags;
            for (const QByteArray &function : functions) {
                const int colon = function.indexOf(':');
                if (colon < 0)
                    continue;
                if (tags.isNull() && runAlone(*test, { "-datatags" }, &tags) != 0)
                    return fail("could not list the data tags of " + QByteArray(test->name));
                const QByteArray name = function.left(colon), tag = function.mid(colon + 1);
                if (!tags.split('\n').contains(test->name + (' ' + name) + ' ' + tag))
                    return fail("test function " + name + "() has no data tag '" + tag + "' (" + g_program
                        + " -datatags lists them)");
            }
        }
        if (runs.empty()) {
            for (const Registered *test : classes)
                runs.push_back({ test, {} });
        }
    }

    // Qt Test prints debug output itself; -silent keeps engine trace lines out of the log
    // unless they are asked for. Failures are still reported in full.
    const bool silent = argc == 1 && !qEnvironmentVariableIsSet("FX_TEST_VERBOSE");
    int failures = 0;
    for (auto &[test, functions] : runs) {
        QByteArrayList arguments = QByteArrayList { argv[0] } + options + functions;
        if (silent)
            arguments << "-silent";
        std::vector<char *> pointers;
        for (QByteArray &argument : arguments)
            pointers.push_back(argument.data());
        std::unique_ptr<QObject> object(test->factory());
        failures += QTest::qExec(object.get(), int(pointers.size()), pointers.data());
    }
    return failures;
}

namespace {
// Keeps test output readable: engine trace lines are only shown with FX_TEST_VERBOSE set.
// Tests that need to see them install their own handler (TraceCapture).
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const bool verbose = qEnvironmentVariableIsSet("FX_TEST_VERBOSE");
    if (type == QtDebugMsg && !verbose)
        return;
    fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietHandler);
    // A core application is enough for images and plug-ins, and a GUI one would keep
    // platform objects alive past the end of main, which the leak checker reports; only the
    // tests of widgets get one.
    TestApplication app(argc, argv);
    // Tests that read the photos and profiles beside the project skip themselves when those
    // are missing (testdata.h); everything else runs.
    return TestRegistry::runAll(argc, argv) == 0 ? 0 : 1;
}
