#ifndef FXTRACE_H
#define FXTRACE_H

#include "qximproca.h"

#include <QDebug>

// Starts a trace line of the engine: the core library's prefix (operation, source line,
// text) as unquoted text, after which callers stream the values that belong to the message.
#define FX_TRACE(where, text) qDebug() << QXimproca::traceMsg((where), __LINE__, (text)).c_str()

#endif
