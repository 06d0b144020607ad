#include "tfilterc.h"

#include "tinport.h"
#include "toutport.h"

TFilterC::TFilterC(const QString &name, QObject *parent)
    : TFilter(name, parent)
    , m_inC_p(new TInport(this, QStringLiteral("inC"), TImage::C, false, nullptr))
    , m_outC_p(new TOutport(this, QStringLiteral("outC"), TImage::C, true))
{
}
