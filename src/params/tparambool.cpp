#include "tparambool.h"

#include "presetlist.h"
#include "tuid.h"

TParamBool::TParamBool(
    QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type, bool value)
    : TParam(parent, key, name, desc, type)
    , m_value(value)
    , m_presets({ value })
{
}

void TParamBool::setValue(bool v)
{
    if (v == m_value)
        return;
    m_value = v;
    uid()->update();
    emit valueChanged(m_value);
}

int TParamBool::numPresets() const { return m_presets.size(); }

void TParamBool::applyPreset(int i) { PresetList::apply(*this, m_presets, i); }

bool TParamBool::bDefault() const
{
    return PresetList::bAtDefault(
        "TParamBool::bDefault", key(), m_value, m_presets, [](bool a, bool b) { return a == b; });
}
