#include "hostlog.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cstdio>

namespace {
std::atomic<bool> showTrace { false };

void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if ((type == QtDebugMsg || type == QtInfoMsg) && !showTrace)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}
}

void HostLog::setup(bool verbose)
{
    showTrace = verbose;
    qInstallMessageHandler(handler);
}
