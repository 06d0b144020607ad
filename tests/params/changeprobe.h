#ifndef CHANGEPROBE_H
#define CHANGEPROBE_H

#include "tparam.h"
#include "tuid.h"

#include <QSignalSpy>
#include <cstdint>

// Remembers a parameter's stamp id and counts one of its signals from construction on, so a
// test can check exactly what one action changed.
struct ChangeProbe {
    ChangeProbe(TParam &param, const char *signal)
        : m_param(param)
        , m_spy(&param, signal)
        , m_idBefore(param.uid()->id())
    {
    }
    bool stampAdvanced() const { return m_param.uid()->id() != m_idBefore; }
    TParam &m_param;
    QSignalSpy m_spy;
    std::uint64_t m_idBefore;
};

#endif
