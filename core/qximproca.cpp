#include "qximproca.h"

#include "coretrace.h"

void (*QXimproca::m_tDebug_p)(const char *) = nullptr;

std::string QXimproca::traceMsg(const char *where, int line, const char *text)
{
    std::string s(where ? where : "?");
    s += ':';
    s += std::to_string(line);
    s += ": ";
    if (text)
        s += text;
    return s;
}

std::string QXimproca::traceMsg(const std::string &where, int line, const std::string &text)
{
    return traceMsg(where.c_str(), line, text.c_str());
}

void QXimproca::debug(const std::string &text)
{
    if (m_tDebug_p)
        m_tDebug_p(text.c_str());
}

namespace CoreTrace {
bool fail(const char *where, int line, const char *text)
{
    QXimproca::debug(QXimproca::traceMsg(where, line, text));
    return false;
}
}
