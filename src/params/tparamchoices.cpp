#include "tparamchoices.h"

#include "fxtrace.h"

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

void TParamChoices::applyPreset(int i)
{
    if (i < 0 || i >= m_presets.size())
        return;
    setValue(m_presets.at(i));
}

bool TParamChoices::bDefault() const
{
    if (m_presets.isEmpty()) {
        FX_TRACE("TParamChoices::bDefault", "no presets") << key();
        return false;
    }
    return m_value == m_presets.first();
}
