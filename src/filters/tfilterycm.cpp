#include "tfilterycm.h"

#include "tinport.h"
#include "toutport.h"

TFilterYCM::TFilterYCM(const QString &name, QObject *parent)
    : TFilterYC(name, parent)
    , m_inM_p(new TInport(this, QStringLiteral("inM"), TImage::M, false, nullptr))
    , m_outM_p(new TOutport(this, QStringLiteral("outM"), TImage::M, true))
{
}
