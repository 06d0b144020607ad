#include "tparamchoices.h"

#include "presetlist.h"

TParamChoices::TParamChoices(
    QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type)
    : TParam(parent, key, name, desc, type)
    , m_value(0)
    , m_presets({ 0 })
{
}

void TParamChoices::setValue(int v)
{
    int clamped = v < 0 ? 0 : v;
    if (clamped >= m_choices.size())
        clamped = m_choices.size() - 1;
    if (clamped == m_value)
        return;
    m_value = clamped;
    emit valueChanged(m_value);
}

int TParamChoices::numPresets() const { return m_presets.size(); }

void TParamChoices::applyPreset(int i) { PresetList::apply(*this, m_presets, i); }

bool TParamChoices::bDefault() const
{
    return PresetList::bAtDefault(
        "TParamChoices::bDefault", key(), m_value, m_presets, [](int a, int b) { return a == b; });
}
