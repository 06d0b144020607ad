#include "tracecapture.h"

#include <QtGlobal>

namespace {
QStringList g_lines;
QtMessageHandler g_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        g_lines.append(message);
        return;
    }
    if (g_previous)
        g_previous(type, context, message);
}
}

TraceCapture::TraceCapture()
{
    g_lines.clear();
    g_previous = qInstallMessageHandler(capture);
}

TraceCapture::~TraceCapture()
{
    qInstallMessageHandler(g_previous);
    g_previous = nullptr;
}

const QStringList &TraceCapture::lines() const { return g_lines; }

QStringList TraceCapture::matching(const QString &text) const { return g_lines.filter(text); }

void TraceCapture::clear() { g_lines.clear(); }
