#include "tparamgroup.h"

#include "fxtrace.h"
#include "paramsearch.h"
#include "tuid.h"

#include <QPointer>
#include <QVector>

TParamGroup::TParamGroup(QObject *parent, const QString &key, const QString &name, const QString &desc,
    const QString &type, bool enabled, bool expanded)
    : TParam(parent, key, name, desc, type)
    , m_enabled(enabled)
    , m_expanded(expanded)
    , m_presetNames({ tr("Default") })
{
}

int TParamGroup::numParams() const { return children().size(); }

TParam *TParamGroup::paramPtr(int i)
{
    return const_cast<TParam *>(static_cast<const TParamGroup *>(this)->paramPtr(i));
}

const TParam *TParamGroup::paramPtr(int i) const
{
    if (i < 0 || i >= children().size()) {
        FX_TRACE("TParamGroup::paramPtr", "index out of range") << key() << i;
        return nullptr;
    }
    const auto *param = qobject_cast<const TParam *>(children().at(i));
    if (!param)
        FX_TRACE("TParamGroup::paramPtr", "child is not a parameter") << key() << i;
    return param;
}

TParam *TParamGroup::paramPtr(const QString &key) { return findParamByKey(this, key); }

const TParam *TParamGroup::paramPtr(const QString &key) const { return findParamByKey(this, key); }

int TParamGroup::numPresets() const { return m_presetNames.size(); }

void TParamGroup::applyPreset(int i)
{
    if (i < 0 || i >= numPresets()) {
        FX_TRACE("TParamGroup::applyPreset", "no such preset") << key() << i;
        return;
    }
    // Guarded copies: a member's change signal may reach code that adds or deletes members.
    QVector<QPointer<TParam>> members;
    members.reserve(children().size());
    for (QObject *child : children()) {
        if (auto *param = qobject_cast<TParam *>(child))
            members.append(param);
    }
    for (const QPointer<TParam> &param : members) {
        if (param)
            param->applyPreset(i);
    }
    emit presetChanged(i);
}

bool TParamGroup::bDefault() const
{
    for (const QObject *child : children()) {
        const auto *param = qobject_cast<const TParam *>(child);
        if (param && !param->bDefault())
            return false;
    }
    return true;
}

void TParamGroup::setEnable(bool e)
{
    if (e == m_enabled)
        return;
    m_enabled = e;
    uid()->update();
    emit enableChanged(e);
}

void TParamGroup::setExpand(bool e)
{
    if (e == m_expanded)
        return;
    m_expanded = e;
    emit expandedChanged(e);
}
