#ifndef TFILTERSCRIPT_H
#define TFILTERSCRIPT_H

#include "fxengine_export.h"
#include "tfilter.h"

class QScriptProgram;

// A filter written in ECMAScript, made by the plug-in factory from a ".js" file of the plug-in
// directory. The script defines the global functions TFSETUP, run once when the filter is
// constructed, and TFPROC, run on every proc(); it sees the filter as the global object
// "TFILTER", with the filter's slots, its properties and its children (ports, sub-filters)
// as properties named after them. Each run takes a new script engine and evaluates the whole
// program first, so nothing the script keeps in variables survives from one run to the next:
// what lasts is what it built in the graph.
//
// The program belongs to the factory and is shared by every filter made from it; a filter
// must not outlive its factory. Whatever the script does (throwing, syntax errors, missing
// functions) is not an error of the filter: proc() returns "" and the constructor finishes.
//
// Two bounds keep a script from holding the host forever, and the filter stays usable after
// either:
// - Time: a run (the set-up or one proc()) that takes longer than timeLimit() is aborted.
//   proc() then returns "script stopped after the time limit of <N> ms: <object name>"; the
//   constructor writes a trace line and keeps what the set-up built until then. A sub-filter
//   run from a script counts towards its caller's time as well, so both stop together.
// - Nesting: script filter runs inside script filter runs (a script calling proc() or making
//   script filters, directly or through sub-filters) go at most nestingLimit deep. A deeper
//   run is refused: proc() returns "script filters nested deeper than <N>: <object name>",
//   the constructor writes a trace line and skips the set-up.
//
// The time limit is watched on the calling thread, without timers or threads: at statements
// and function calls, and, for loops with no statement inside to stop at, through Qt Script's
// event processing. While a run with a limit loops, the engine therefore processes the
// thread's pending events now and then (every twentieth of the limit, at most 50 ms apart), as
// QScriptEngine::setProcessEventsInterval does. A host that must not see events delivered
// there sets the limit to 0, which also makes statement-heavy scripts run about three times
// faster. A script blocked inside one long call of a slot is stopped when that call returns.
class FXENGINE_EXPORT TFilterScript : public TFilter {
    Q_OBJECT
public:
    // How many script filter runs may be under way inside one another.
    static constexpr int nestingLimit = 32;

    // Runs the set-up on the caller's thread. Throws the C string of TFilter's constructor
    // when no filter context is reachable from parent; the script is not run then.
    TFilterScript(QScriptProgram *program, const QString &name, QObject *parent);
    ~TFilterScript() override;

    // "" after the script ran (whatever it did), otherwise the text of an early stop.
    QString proc() override;

    // The longest time in milliseconds one run of a script (the set-up or one proc()) may take,
    // for every script filter of the process; 0 or less means no limit. The default is 10000.
    // A run uses the limit set when it starts.
    static void setTimeLimit(int milliseconds);
    static int timeLimit();

private:
    enum class RunResult { Finished, TimedOut, TooDeep };
    // Evaluates the program and then call on a new engine, stopped after limitMs (none if <= 0).
    RunResult run(const QString &call, int limitMs);

    QScriptProgram *m_program_p;
};

#endif
