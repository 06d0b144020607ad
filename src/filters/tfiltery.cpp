#include "tfiltery.h"

#include "tinport.h"
#include "toutport.h"

TFilterY::TFilterY(const QString &name, QObject *parent)
    : TFilter(name, parent)
    , m_inY_p(new TInport(this, QStringLiteral("inY"), TImage::Y, false, nullptr))
    , m_outY_p(new TOutport(this, QStringLiteral("outY"), TImage::Y, true))
{
}
