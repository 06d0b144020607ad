#ifndef TPROGRESS_H
#define TPROGRESS_H

#include "qximproca1_export.h"

#include <vector>

// Progress of nested pieces of work mapped onto one range of 0 to 1000 for a callback.
//
// start(share) opens a sub-range that covers `share` of the current range from the
// current position; prog(done, total) moves within the innermost range; end() closes it
// and moves to its end. Values reported inside one run never go down. prog(0, total) at
// the outermost level begins a new run and clears an earlier stop request.
//
// The callback receives the value and the context given to the constructor on every
// prog() and answers true to go on, false to stop. prog() passes that on: it returns true
// while the work should go on and false once a stop was asked for. A stop is remembered:
// prog() keeps returning false and bStopped() true until the next run begins.
class QXIMPROCA1_EXPORT TProgress {
public:
    using Callback = bool (*)(int oneThousandth, void *context);

    TProgress(Callback callback, void *context);

    void start(float share);
    bool prog(int done, int total);
    void end();

    bool bStopped() const { return m_stopped; }
    int lastValue() const { return m_lastReported; }
    int depth() const { return int(m_ranges.size()) - 1; }

private:
    struct Range {
        double base;
        double span;
    };

    Callback m_callback_p;
    void *m_context_p;
    std::vector<Range> m_ranges;
    double m_position = 0.0;
    int m_lastReported = -1;
    bool m_stopped = false;
};

#endif
