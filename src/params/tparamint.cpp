#include "tparamint.h"

#include "presetlist.h"
#include "tuid.h"

#include <algorithm>

TParamInt::TParamInt(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type,
    int value, int vmin, int vmax)
    : TParam(parent, key, name, desc, type)
    , m_value(value)
    , m_vmin(vmin)
    , m_vmax(vmax)
    , m_presets({ value })
{
}

void TParamInt::setValue(int v)
{
    const int clamped = std::min(m_vmax, std::max(v, m_vmin));
    if (clamped == m_value)
        return;
    m_value = clamped;
    uid()->update();
    emit valueChanged(m_value);
}

int TParamInt::numPresets() const { return m_presets.size(); }

void TParamInt::applyPreset(int i) { PresetList::apply(*this, m_presets, i); }

bool TParamInt::bDefault() const
{
    return PresetList::bAtDefault(
        "TParamInt::bDefault", key(), m_value, m_presets, [](int a, int b) { return a == b; });
}
