#include "tparam.h"

#include "paramsearch.h"
#include "tuid.h"

#include <QList>
#include <QMetaType>
#include <QPointF>

namespace {
// Hosts and scripts read preset lists and curves by name (invokeMethod, queued signals);
// that needs the list types known to the meta-type system by these exact names.
const int listTypesRegistered = [] {
    qRegisterMetaType<QList<bool>>("QList<bool>");
    qRegisterMetaType<QList<int>>("QList<int>");
    qRegisterMetaType<QList<float>>("QList<float>");
    qRegisterMetaType<QList<QPointF>>("QList<QPointF>");
    qRegisterMetaType<QList<QList<QPointF>>>("QList<QList<QPointF>>");
    return 1;
}();
}

TParam::TParam(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type)
    : QObject(parent)
    , m_uid_p(new TUid(this))
    , m_name(name)
    , m_desc(desc)
    , m_type(type)
{
    Q_UNUSED(listTypesRegistered);
    setObjectName(key);
}

TParam::~TParam() = default;

void TParam::reset() { applyPreset(0); }

QString TParam::key() const { return objectName(); }

TParam *findParamByKey(const QObject *parent, const QString &key)
{
    for (QObject *child : parent->children()) {
        auto *param = qobject_cast<TParam *>(child);
        if (!param)
            continue;
        if (param->key() == key)
            return param;
        if (TParam *found = findParamByKey(param, key))
            return found;
    }
    return nullptr;
}
