#include "testregistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

#include <memory>
#include <utility>

namespace {
std::vector<std::pair<const char *, TestRegistry::Factory>> &registry()
{
    static std::vector<std::pair<const char *, TestRegistry::Factory>> tests;
    return tests;
}

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

int TestRegistry::add(const char *name, Factory factory)
{
    registry().emplace_back(name, std::move(factory));
    return int(registry().size());
}

int TestRegistry::runAll(int argc, char **argv)
{
    // Qt Test prints debug output itself; -silent keeps engine trace lines out of the log
    // unless they are asked for. Failures are still reported in full.
    std::vector<char *> args(argv, argv + argc);
    char silent[] = "-silent";
    if (argc == 1 && !qEnvironmentVariableIsSet("FX_TEST_VERBOSE"))
        args.push_back(silent);
    int failures = 0;
    for (auto &entry : registry()) {
        std::unique_ptr<QObject> test(entry.second());
        failures += QTest::qExec(test.get(), int(args.size()), args.data());
    }
    return failures;
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietHandler);
    // A core application is enough for images and plug-ins, and a GUI one would keep
    // platform objects alive past the end of main, which the leak checker reports.
    QCoreApplication app(argc, argv);
    // The photos and profiles live beside the project, not in it; without them the tests
    // would fail in confusing ways, so say what is missing instead.
    if (!QDir(QStringLiteral(FX_SHARED_DATA_DIR "/photos")).exists()) {
        fprintf(stderr, "shared test data not found: %s (the project expects it at ../shared/data)\n",
            FX_SHARED_DATA_DIR);
        return 1;
    }
    return TestRegistry::runAll(argc, argv) == 0 ? 0 : 1;
}
