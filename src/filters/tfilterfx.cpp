#include "tfilterfx.h"

TFilterFX::TFilterFX(const QString &name, QObject *parent)
    : TFilterYCM(name, parent)
{
    createFilter(QStringLiteral("layerblend"), QStringLiteral("TLayerModes"));
    m_layerBlend_p = filterPtr(QStringLiteral("layerblend"));
}
