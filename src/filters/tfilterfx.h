#ifndef TFILTERFX_H
#define TFILTERFX_H

#include "fxengine_export.h"
#include "tfilterycm.h"

// The base of effect-like filters: TFilterYCM's ports plus a layer-blend sub-filter
// "layerblend" made by the factory under the key "TLayerModes", through which a derived
// filter blends its result over its input. The sub-filter is null when no plug-in or script
// offers that key.
class FXENGINE_EXPORT TFilterFX : public TFilterYCM {
    Q_OBJECT
public:
    TFilterFX(const QString &name, QObject *parent);

protected:
    TFilter *m_layerBlend_p;
};

#endif
