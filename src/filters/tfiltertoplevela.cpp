#include "tfiltertoplevela.h"

#include "qximproca.h"
#include "tfiltercontext.h"
#include "tfiltersink.h"
#include "tfiltersrc.h"
#include "tinport.h"
#include "toutport.h"
#include "tpluginfactory.h"

#include <QDebug>

namespace {
const char toplevelKey[] = "TFDrawMask";

QDebug trace(const char *where, int line, const char *text)
{
    return qDebug() << QXimproca::traceMsg(where, line, text).c_str();
}

// The input takes the output's image; missing ports leave it out.
void connectPort(TFilter *outFilter, const char *outName, TFilter *inFilter, const char *inName)
{
    TOutport *out = outFilter ? outFilter->outportPtr(QLatin1String(outName)) : nullptr;
    TInport *in = inFilter ? inFilter->inportPtr(QLatin1String(inName)) : nullptr;
    if (out && in)
        in->connectTo(out);
}
}

TFilterToplevelA::TFilterToplevelA(const QString &name, QObject *parent)
    : TFilter(name, parent)
    , m_src_p(new TFilterSrc(QStringLiteral("inputimage"), this))
    , m_sink_p(new TFilterSink(QStringLiteral("outputimage"), this))
{
    if (!filterPtr(QStringLiteral("toplevel"))) {
        if (TPluginFactory *factory = m_context_p->filterFactoryPtr())
            factory->createTFilter(QLatin1String(toplevelKey), QStringLiteral("toplevel"), this);
    }
    connectPorts(filterPtr(QStringLiteral("toplevel")));
}

void TFilterToplevelA::connectPorts(TFilter *toplevel)
{
    // The order matters: a top-level filter that passes its mask input through shows the
    // source's mask on "outM" only once its "inM" is connected.
    connectPort(m_src_p, "outY", toplevel, "inY");
    connectPort(m_src_p, "outC", toplevel, "inC");
    connectPort(m_src_p, "outM", toplevel, "inM");
    connectPort(m_src_p, "outY", m_sink_p, "inY");
    connectPort(m_src_p, "outC", m_sink_p, "inC");
    connectPort(toplevel, "outM", m_sink_p, "inM");
}

QString TFilterToplevelA::proc()
{
    trace("TFilterToplevelA::proc", 576, "enter");
    QString code;
    if (TFilter *toplevel = filterPtr(QStringLiteral("toplevel")))
        code += toplevel->proc();
    else
        code = QStringLiteral("no top-level filter: the plug-in directory offers no \"%1\"").arg(toplevelKey);
    trace("TFilterToplevelA::proc", 586, "return") << code;
    return code;
}

bool TFilterToplevelA::setImage(const QImage &qim) { return m_src_p->setImage(qim); }

const QImage &TFilterToplevelA::getImage()
{
    m_sink_p->proc();
    return m_sink_p->getImage();
}

TFilter *TFilterToplevelA::toplevelFilterPtr() { return filterPtr(QStringLiteral("toplevel")); }
