#ifndef TPARAMVISUAL_H
#define TPARAMVISUAL_H

#include "fxengine_export.h"
#include "tparam.h"

// The base of parameters that exist only for display and hold no value: one preset that does
// nothing, a reset that does nothing. Concrete kinds (in plug-ins) decide what they show and
// when they count as default.
class FXENGINE_EXPORT TParamVisual : public TParam {
    Q_OBJECT
public:
    TParamVisual(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type);

public slots:
    int numPresets() const override;
    void applyPreset(int i) override;
    void reset() override;
};

#endif
