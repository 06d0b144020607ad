#include "tparambool.h"

#include "fxtrace.h"
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

void TParamBool::applyPreset(int i)
{
    if (i < 0 || i >= m_presets.size())
        return;
    setValue(m_presets.at(i));
}

bool TParamBool::bDefault() const
{
    if (m_presets.isEmpty()) {
        FX_TRACE("TParamBool::bDefault", "no presets") << key();
        return false;
    }
    return m_value == m_presets.first();
}
