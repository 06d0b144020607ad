// Script filters made by the factory from the test scripts in the fixtures' plug-in directory
// (tests/fixtures/scripts): what set-up and processing leave in the graph, what a script may
// do wrong without failing its filter, sub-graphs built and run by name from a script, and the
// two bounds on a run: the time limit and the nesting limit.

#include "../fixtures/quietstdout.h"
#include "filtertest.h"
#include "testregistry.h"
#include "tfiltercontext.h"
#include "tfilterscript.h"
#include "tinport.h"
#include "toutport.h"
#include "tpluginfactory.h"
#include "tracecapture.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>

using FilterTest::output;

namespace {
constexpr int defaultTimeLimit = 10000;
// A stopped run overshoots the limit by the time until the engine next looks whether to stop
// (tens of milliseconds) plus its clean-up; well under this anywhere, sanitizers included.
constexpr qint64 overshootBound = 3000;

// Sets the script time limit for one test and puts the default back afterwards.
class TimeLimit {
public:
    explicit TimeLimit(int milliseconds) { TFilterScript::setTimeLimit(milliseconds); }
    ~TimeLimit() { TFilterScript::setTimeLimit(defaultTimeLimit); }
    TimeLimit(const TimeLimit &) = delete;
    TimeLimit &operator=(const TimeLimit &) = delete;
};

QString stoppedText(int limit, const QString &name)
{
    return QString("script stopped after the time limit of %1 ms: %2").arg(limit).arg(name);
}
}

class tst_FilterScript : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TFilterContext> m_context;

    // A filter of the key made by the context's factory under parent (the context by default).
    std::unique_ptr<TFilter> make(const QString &key, const QString &name = "f", QObject *parent = nullptr)
    {
        return std::unique_ptr<TFilter>(
            m_context->filterFactoryPtr()->createTFilter(key, name, parent ? parent : m_context.get()));
    }

    static QStringList childNames(const QObject *object)
    {
        QStringList names;
        for (const QObject *child : object->children())
            names << child->objectName();
        return names;
    }

private slots:
    void initTestCase()
    {
        TraceCapture quiet;
        QuietStdout quietStdout;
        QCOMPARE(TFilterScript::timeLimit(), defaultTimeLimit);
        m_context.reset(new TFilterContext(nullptr));
    }

    void cleanupTestCase() { m_context.reset(); }

    // Each filter made from a script has ports of its own, made once by its set-up; the program
    // belongs to the factory and outlives a filter made from it.
    void scriptSetupDeclaresPorts()
    {
        TraceCapture trace;
        auto a = make("Ports", "a");
        const auto b = make("Ports", "b");
        QVERIFY(qobject_cast<TFilterScript *>(b.get()));
        QCOMPARE(b->inports(), QStringList({ "inY", "outY" }));
        QCOMPARE(b->inportPtr("inY")->type(), TImage::Y);
        QCOMPARE(b->inportPtr("inY")->parent(), b.get());
        QVERIFY(b->outportPtr("outY")->bOwnImage());
        QCOMPARE(b->outportPtr("outY")->type(), TImage::Y);
        QVERIFY(a->inportPtr("inY") != b->inportPtr("inY"));
        TImage y(TImage::Y, TSize(4, 2));
        QVERIFY(a->setInImage("inY", &y));
        QCOMPARE(b->inImagePtr("inY"), nullptr);
        a.reset();
        QCOMPARE(b->proc(), QString());
        QCOMPARE(b->inports(), QStringList({ "inY", "outY" }));
        QCOMPARE(make("Ports", "c")->inports(), QStringList({ "inY", "outY" }));
    }

    void scriptVariablesLastOneRun()
    {
        TraceCapture trace;
        const auto filter = make("Counter");
        QCOMPARE(filter->description(), QString());
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(filter->proc(), QString());
        // Not [11][12]: the counter neither keeps the set-up's value nor the last run's.
        QCOMPARE(filter->description(), QString("[1][1]"));
    }

    void scriptFaultsAreNotFilterFaults_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("children");
        QTest::addColumn<QString>("nameAfterProc");
        QTest::newRow("TFPROC throws an Error") << "Throws" << QStringList() << "ran";
        QTest::newRow("TFPROC throws a string") << "ThrowsValue" << QStringList() << "ran";
        QTest::newRow("TFPROC returns a text") << "ReturnsText" << QStringList() << "ran";
        QTest::newRow("missing function and slot") << "CallsMissing" << QStringList() << "ran";
        QTest::newRow("syntax error: nothing runs") << "SyntaxError" << QStringList() << "";
        QTest::newRow("no TFSETUP") << "Alpha" << QStringList() << "";
        QTest::newRow("TFSETUP and TFPROC fine") << "Ports" << QStringList({ "inY", "outY" }) << "";
    }
    void scriptFaultsAreNotFilterFaults()
    {
        QFETCH(QString, key);
        QFETCH(QStringList, children);
        QFETCH(QString, nameAfterProc);
        TraceCapture trace;
        const auto filter = make(key, "faulty");
        QVERIFY(filter);
        QCOMPARE(childNames(filter.get()), children);
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(filter->name(), nameAfterProc);
        QCOMPARE(filter->proc(), QString());
        // No message from the filter: only the factory's line, and the output port's when
        // the script makes one.
        const QStringList own = trace.lines().filter(QRegularExpression("^(?!TPluginFactory::createTFilter |"
                                                                        "TFilter::createOutport\\()"));
        QVERIFY2(own.isEmpty(), qPrintable(own.join(" | ")));
    }

    void scriptBuildsAndRunsSubGraph()
    {
        TraceCapture trace;
        const auto graph = make("Graph", "graph");
        QVERIFY(graph);
        QCOMPARE(childNames(graph.get()), QStringList({ "inY", "outY", "outC", "first", "second" }));
        QCOMPARE(graph->description(), QString("made true, followed true, mismatched false"));
        TFilter *first = graph->filterPtr("first");
        TFilter *second = graph->filterPtr("second");
        QVERIFY(qobject_cast<TFilterScript *>(first) && qobject_cast<TFilterScript *>(second));
        QCOMPARE(first->parent(), graph.get());
        QCOMPARE(second->description(), QString("connected true"));

        TImage y(TImage::Y, TSize(6, 4)), other(TImage::Y, TSize(2, 2));
        QVERIFY(graph->setInImage("inY", &y));
        // The first stage's input follows the graph's, and its output passes that through.
        QCOMPARE(first->inImagePtr("inY"), &y);
        QCOMPARE(output(first, "outY"), &y);
        QCOMPARE(graph->proc(), QString());
        QCOMPARE(graph->name(), QString("codes [][], fed true, shown true"));
        QCOMPARE(second->inImagePtr("inY"), &y);
        QCOMPARE(output(graph.get(), "outY"), &y);
        QCOMPARE(first->description(), QString("connected true, ran"));
        QCOMPARE(second->description(), QString("connected true, ran"));

        // A new input reaches the output on the next run, through both stages.
        QVERIFY(graph->setInImage("inY", &other));
        QCOMPARE(output(graph.get(), "outY"), &y);
        QCOMPARE(graph->proc(), QString());
        QCOMPARE(output(graph.get(), "outY"), &other);
        QCOMPARE(second->description(), QString("connected true, ran, ran"));
    }

    void scriptFactoryMakesScriptFilters_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("parentKind");
        QTest::addColumn<bool>("made");
        QTest::newRow("under the context") << QString("Ports") << QString("context") << true;
        QTest::newRow("under a filter") << QString("Ports") << QString("filter") << true;
        QTest::newRow("no context above the parent") << QString("Ports") << QString("plain") << false;
        QTest::newRow("unknown key") << QString("ports") << QString("context") << false;
    }
    void scriptFactoryMakesScriptFilters()
    {
        QFETCH(QString, key);
        QFETCH(QString, parentKind);
        QFETCH(bool, made);
        TraceCapture trace;
        QObject plain;
        const auto owner = make("Alpha", "owner");
        QObject *parent = parentKind == "plain" ? &plain
            : parentKind == "filter"            ? static_cast<QObject *>(owner.get())
                                                : m_context.get();
        const int childrenBefore = parent->children().size();
        TFilter *filter = m_context->filterFactoryPtr()->createTFilter(key, "my filter", parent);
        const std::unique_ptr<TFilter> owned(filter);
        QCOMPARE(filter != nullptr, made);
        QCOMPARE(parent->children().size(), childrenBefore + (made ? 1 : 0));
        if (made) {
            QVERIFY(qobject_cast<TFilterScript *>(filter));
            QCOMPARE(filter->parent(), parent);
            QCOMPARE(filter->objectName(), QString("my filter"));
            QCOMPARE(filter->context(), m_context.get());
        }
        // The constructor's exception becomes a trace line.
        const QStringList failed = trace.matching("TPluginFactory::createTFilter");
        QCOMPARE(failed.filter("TFilter::TFilter - !m_context_p").size(), parentKind == "plain" ? 1 : 0);
    }

    void scriptEndlessRunIsStopped_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("nameAfterProc");
        QTest::newRow("TFPROC loops") << QString("LoopProc") << QString("looping");
        QTest::newRow("TFPROC loops and catches") << QString("LoopCatching") << QString("looping");
        QTest::newRow("TFPROC loops over slot calls") << QString("LoopCalls") << QString("looping");
        QTest::newRow("top-level code loops") << QString("LoopTopLevel") << QString();
    }
    void scriptEndlessRunIsStopped()
    {
        QFETCH(QString, key);
        QFETCH(QString, nameAfterProc);
        const int limit = 200;
        const TimeLimit timeLimit(limit);
        TraceCapture trace;
        const auto filter = make(key, "endless");
        QVERIFY(filter);
        const auto counter = make("Counter");
        for (int run = 0; run < 2; ++run) {
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(filter->proc(), stoppedText(limit, "endless"));
            const qint64 elapsed = clock.elapsed();
            QVERIFY2(elapsed >= limit && elapsed < limit + overshootBound, qPrintable(QString::number(elapsed)));
            QCOMPARE(filter->name(), nameAfterProc);
            // Another script filter runs as before.
            QCOMPARE(counter->proc(), QString());
        }
        QCOMPARE(counter->description(), QString("[1][1]"));
    }

    void scriptEndlessSetupIsStopped()
    {
        const int limit = 200;
        const TimeLimit timeLimit(limit);
        TraceCapture trace;
        QElapsedTimer clock;
        clock.start();
        const auto filter = make("LoopSetup", "endless setup");
        const qint64 elapsed = clock.elapsed();
        QVERIFY(filter);
        QVERIFY2(elapsed >= limit && elapsed < limit + overshootBound, qPrintable(QString::number(elapsed)));
        const QStringList stopped = trace.matching("TFilterScript::TFilterScript");
        QCOMPARE(stopped.size(), 1);
        QVERIFY2(
            stopped[0].contains(QRegularExpression("set-up stopped after the time limit\"? 200 \"endless setup\"")),
            qPrintable(stopped[0]));
        // What the set-up built before the loop stays; the filter still works.
        QCOMPARE(childNames(filter.get()), QStringList({ "inY" }));
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(filter->name(), QString("proc ran"));
    }

    void scriptTimeLimitSetting_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("finishes");
        // BusyWait works for 300 ms.
        QTest::newRow("no limit (0)") << 0 << true;
        QTest::newRow("no limit (negative)") << -1 << true;
        QTest::newRow("above the run") << 5000 << true;
        QTest::newRow("below the run") << 100 << false;
    }
    void scriptTimeLimitSetting()
    {
        QFETCH(int, limit);
        QFETCH(bool, finishes);
        const TimeLimit timeLimit(limit);
        QCOMPARE(TFilterScript::timeLimit(), limit);
        TraceCapture trace;
        const auto filter = make("BusyWait", "busy");
        QCOMPARE(filter->proc(), finishes ? QString() : stoppedText(limit, "busy"));
        QCOMPARE(filter->name(), finishes ? QString("finished") : QString());
    }

    void scriptStopInSubFilterStopsCaller()
    {
        const int limit = 200;
        const TimeLimit timeLimit(limit);
        TraceCapture trace;
        const auto outer = make("CallsLoop", "outer");
        TFilter *loop = outer->filterPtr("loop");
        QVERIFY(loop);
        QElapsedTimer clock;
        clock.start();
        // The sub-filter's run is part of the caller's: both reach the limit together, so the
        // caller stops as soon as the sub-filter has, without waiting for a limit of its own.
        QCOMPARE(outer->proc(), stoppedText(limit, "outer"));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= limit && elapsed < limit + overshootBound, qPrintable(QString::number(elapsed)));
        QCOMPARE(loop->name(), QString("looping"));
        QCOMPARE(outer->name(), QString());
        QCOMPARE(loop->proc(), stoppedText(limit, "loop"));
    }

    void scriptNestingIsBounded()
    {
        TraceCapture trace;
        const auto filter = make("Nests", "nests");
        QCOMPARE(filter->proc(), QString());
        // Every run down to the limit noted itself; the one beyond was refused.
        QCOMPARE(filter->description(), QString(TFilterScript::nestingLimit, '+'));
        QCOMPARE(
            filter->name(), QString("script filters nested deeper than %1: nests").arg(TFilterScript::nestingLimit));

        const auto outer = make("NestsSetup", "outer");
        int depth = 0;
        for (TFilter *f = outer.get(); f; f = f->findChild<TFilter *>("inner", Qt::FindDirectChildrenOnly))
            ++depth;
        QCOMPARE(depth, TFilterScript::nestingLimit + 1);
        QCOMPARE(trace.count("set-up skipped, nested deeper than"), 1);
    }
};

FX_REGISTER_TEST(tst_FilterScript)
#include "tst_filterscript.moc"
