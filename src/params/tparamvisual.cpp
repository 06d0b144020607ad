#include "tparamvisual.h"

TParamVisual::TParamVisual(
    QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type)
    : TParam(parent, key, name, desc, type)
{
}

int TParamVisual::numPresets() const { return 1; }

void TParamVisual::applyPreset(int) { }

void TParamVisual::reset() { }
