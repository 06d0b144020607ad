#include "tparamfloat.h"

#include "presetlist.h"
#include "tuid.h"

#include <algorithm>
#include <cmath>

TParamFloat::TParamFloat(QObject *parent, const QString &key, const QString &name, const QString &desc,
    const QString &type, float value, float vmin, float vmax)
    : TParam(parent, key, name, desc, type)
    , m_value(value)
    , m_vmin(vmin)
    , m_vmax(vmax)
    , m_presets({ value })
{
}

bool TParamFloat::neq(float a, float b) const { return std::abs(a - b) > (m_vmax - m_vmin) * 0.001; }

void TParamFloat::setValue(float v)
{
    // vmin first: std::max keeps its first argument when the other is NaN, so a NaN from a
    // host lands on the lower bound instead of poisoning the value.
    const float clamped = std::min(std::max(m_vmin, v), m_vmax);
    if (!neq(clamped, m_value))
        return;
    m_value = clamped;
    uid()->update();
    emit valueChanged(m_value);
}

int TParamFloat::numPresets() const { return m_presets.size(); }

void TParamFloat::applyPreset(int i) { PresetList::apply(*this, m_presets, i); }

bool TParamFloat::bDefault() const
{
    return PresetList::bAtDefault(
        "TParamFloat::bDefault", key(), m_value, m_presets, [this](float a, float b) { return !neq(a, b); });
}
