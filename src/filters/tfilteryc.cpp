#include "tfilteryc.h"

#include "tinport.h"
#include "toutport.h"

TFilterYC::TFilterYC(const QString &name, QObject *parent)
    : TFilterY(name, parent)
    , m_inC_p(new TInport(this, QStringLiteral("inC"), TImage::C, true, nullptr))
    , m_outC_p(new TOutport(this, QStringLiteral("outC"), TImage::C, true))
{
}
