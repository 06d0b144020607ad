#include "tprogress.h"

#include <algorithm>
#include <cmath>

TProgress::TProgress(Callback callback, void *context)
    : m_callback_p(callback)
    , m_context_p(context)
{
    m_ranges.push_back({ 0.0, 1000.0 });
}

void TProgress::start(float share)
{
    const Range &parent = m_ranges.back();
    const double parentEnd = parent.base + parent.span;
    const double wanted = parent.span * std::clamp(double(share), 0.0, 1.0);
    const double base = std::clamp(m_position, parent.base, parentEnd);
    m_ranges.push_back({ base, std::min(wanted, parentEnd - base) });
}

bool TProgress::prog(int done, int total)
{
    const bool newRun = m_ranges.size() == 1 && done <= 0;
    if (newRun) {
        m_lastReported = -1;
        m_stopped = false;
    }
    const Range &range = m_ranges.back();
    const double fraction = total > 0 ? std::clamp(double(done) / double(total), 0.0, 1.0) : 1.0;
    m_position = std::max(m_position * (newRun ? 0.0 : 1.0), range.base + range.span * fraction);
    const int value = std::max(m_lastReported, int(std::lround(std::min(m_position, 1000.0))));
    m_lastReported = value;
    if (m_callback_p && !m_callback_p(value, m_context_p))
        m_stopped = true;
    return !m_stopped;
}

void TProgress::end()
{
    if (m_ranges.size() < 2)
        return;
    const Range closed = m_ranges.back();
    m_ranges.pop_back();
    m_position = std::max(m_position, closed.base + closed.span);
}
