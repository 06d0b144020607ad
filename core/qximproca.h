#ifndef QXIMPROCA_H
#define QXIMPROCA_H

#include "qximproca1_export.h"

#include <string>

// Diagnostics of the core image library.
//
// traceMsg() builds the one-line prefix that every diagnostic of the engine starts with:
// "<where>:<line>: <text>". m_tDebug_p, when set, receives the core library's own
// diagnostics (bad arguments to kernels, rejected colour transforms); it is null by
// default, and then those diagnostics are dropped.
class QXIMPROCA1_EXPORT QXimproca {
public:
    static std::string traceMsg(const char *where, int line, const char *text);
    static std::string traceMsg(const std::string &where, int line, const std::string &text);

    // Sends text to m_tDebug_p when it is set.
    static void debug(const std::string &text);

    static void (*m_tDebug_p)(const char *);
};

#endif
