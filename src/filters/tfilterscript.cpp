#include "tfilterscript.h"

#include "qximproca.h"
#include "scriptfilterhook.h"
#include "tinport.h"
#include "toutport.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEvent>
#include <QMetaType>
#include <QScriptEngine>
#include <QScriptEngineAgent>
#include <QScriptProgram>
#include <atomic>
#include <memory>

namespace {
std::atomic<int> timeLimitMs { 10000 };
// Script filter runs under way on this thread, one inside the other. The graph runs on one
// thread, so a plain counter would do; thread_local keeps separate hosts' threads apart.
thread_local int nestedRuns = 0;

class NestedRun {
public:
    NestedRun() { ++nestedRuns; }
    ~NestedRun() { --nestedRuns; }
    NestedRun(const NestedRun &) = delete;
    NestedRun &operator=(const NestedRun &) = delete;
};

// Stops a run that has taken too long, from the calling thread itself. Two ways in, because
// neither covers every script alone:
// - as an agent the engine calls at every statement and function entry;
// - through the engine's event processing: between loop iterations the engine looks now and
//   then whether to stop, and when told to, also processes the thread's events; the event
//   this object keeps posted to itself then gets here. A loop with an empty body reaches no
//   statement, so only this way sees it.
// The engine honours an abort only at those looks, so their interval bounds the overshoot.
class TimeLimitWatch : public QObject, public QScriptEngineAgent {
public:
    TimeLimitWatch(QScriptEngine *engine, int limitMs)
        : QScriptEngineAgent(engine)
        , m_limitMs(limitMs)
    {
        m_clock.start();
        engine->setAgent(this);
        engine->setProcessEventsInterval(qBound(1, limitMs / 20, 50));
        QCoreApplication::postEvent(this, new QEvent(checkEvent()));
    }

    bool stopped() const { return m_stopped; }

    // Reading the clock costs as much as a simple statement, so statements look at it only
    // now and then; a function call (a slot, which may take long, among them) always does.
    void positionChange(qint64, int, int) override
    {
        if (++m_statements % statementsPerCheck == 0)
            check();
    }
    void functionEntry(qint64) override { check(); }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != checkEvent())
            return QObject::event(event);
        if (!check())
            QCoreApplication::postEvent(this, new QEvent(checkEvent()));
        return true;
    }

private:
    static QEvent::Type checkEvent()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    bool check()
    {
        // Once expired, keep asking: the request must hold until the evaluation has ended.
        if (m_stopped || m_clock.elapsed() >= m_limitMs) {
            m_stopped = true;
            engine()->abortEvaluation();
        }
        return m_stopped;
    }

    static constexpr unsigned statementsPerCheck = 32;
    QElapsedTimer m_clock;
    const qint64 m_limitMs;
    unsigned m_statements = 0;
    bool m_stopped = false;
};

TFilter *makeScriptFilter(QScriptProgram *program, const QString &name, QObject *parent)
{
    return new TFilterScript(program, name, parent);
}

// Scripts pass ports to slots (connectTo) and reach filters as properties: the pointer types
// of those parameters are registered under the names the slots' signatures use, so that the
// script engine and QVariant know them as types rather than only by class name.
bool registerScriptFilters()
{
    qRegisterMetaType<TFilter *>("TFilter*");
    qRegisterMetaType<TPort *>("TPort*");
    qRegisterMetaType<TInport *>("TInport*");
    qRegisterMetaType<TOutport *>("TOutport*");
    qRegisterMetaType<const TInport *>("const TInport*");
    qRegisterMetaType<const TOutport *>("const TOutport*");
    setScriptFilterMaker(&makeScriptFilter);
    return true;
}

const bool scriptFiltersRegistered = registerScriptFilters();

}

TFilterScript::TFilterScript(QScriptProgram *program, const QString &name, QObject *parent)
    : TFilter(name, parent)
    , m_program_p(program)
{
    Q_UNUSED(scriptFiltersRegistered)
    const int limit = timeLimit();
    switch (run(QStringLiteral("TFSETUP();"), limit)) {
    case RunResult::Finished:
        break;
    case RunResult::TimedOut:
        qDebug() << QXimproca::traceMsg("TFilterScript::TFilterScript", __LINE__, "set-up stopped after the time limit")
                        .c_str()
                 << limit << objectName();
        break;
    case RunResult::TooDeep:
        qDebug() << QXimproca::traceMsg("TFilterScript::TFilterScript", __LINE__, "set-up skipped, nested deeper than")
                        .c_str()
                 << nestingLimit << objectName();
        break;
    }
}

TFilterScript::~TFilterScript() = default;

QString TFilterScript::proc()
{
    const int limit = timeLimit();
    switch (run(QStringLiteral("TFPROC();"), limit)) {
    case RunResult::Finished:
        break;
    case RunResult::TimedOut:
        return QStringLiteral("script stopped after the time limit of %1 ms: %2").arg(limit).arg(objectName());
    case RunResult::TooDeep:
        return QStringLiteral("script filters nested deeper than %1: %2").arg(nestingLimit).arg(objectName());
    }
    return QString();
}

TFilterScript::RunResult TFilterScript::run(const QString &call, int limitMs)
{
    if (!m_program_p)
        return RunResult::Finished;
    if (nestedRuns >= nestingLimit)
        return RunResult::TooDeep;
    const NestedRun nested;
    QScriptEngine engine;
    // After the engine, so that it leaves the engine before the engine goes.
    std::unique_ptr<TimeLimitWatch> watch;
    if (limitMs > 0)
        watch = std::make_unique<TimeLimitWatch>(&engine, limitMs);
    const auto stopped = [&watch] { return watch && watch->stopped(); };
    // What the script does is its own affair: results and uncaught exceptions are not read.
    engine.evaluate(*m_program_p);
    if (stopped())
        return RunResult::TimedOut;
    const QScriptValue self = engine.newQObject(this, QScriptEngine::QtOwnership);
    engine.globalObject().setProperty(QStringLiteral("TFILTER"), self, QScriptValue::KeepExistingFlags);
    engine.evaluate(call, QString(), 1);
    return stopped() ? RunResult::TimedOut : RunResult::Finished;
}

void TFilterScript::setTimeLimit(int milliseconds) { timeLimitMs.store(milliseconds); }

int TFilterScript::timeLimit() { return timeLimitMs.load(); }
