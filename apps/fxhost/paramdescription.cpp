#include "paramdescription.h"

#include <QList>
#include <QMetaMethod>
#include <QMetaObject>
#include <QPointF>
#include <QSequentialIterable>
#include <QStringList>
#include <tfilter.h>
#include <tinport.h>
#include <toutport.h>
#include <tparam.h>

const char *const ParamDescription::commonGroup = "TFxCommon";

namespace {
// The container types the parameter kinds hand out through their slots. Qt only knows a
// container type once it is registered; without this, presets could not be read by name.
void registerValueTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<QList<float>>();
        qRegisterMetaType<QList<int>>();
        qRegisterMetaType<QList<bool>>();
        qRegisterMetaType<QList<QPointF>>();
        qRegisterMetaType<QList<QList<QPointF>>>();
        return true;
    }();
    Q_UNUSED(registered);
}

// The shortest decimal that reads back as the same float: 0.1, not 0.100000001490116.
double readable(float value)
{
    for (int digits = 6; digits < 9; ++digits) {
        const double shorter = QString::number(double(value), 'g', digits).toDouble();
        if (float(shorter) == value)
            return shorter;
    }
    return double(value);
}

bool isParam(const QObject *object) { return object->inherits("TParam"); }

QString text(const QObject *object, const char *slot) { return ParamDescription::callGetter(object, slot).toString(); }

// The port type's name as port type strings spell it (TPort::typeFromString's inverse).
QString portTypeName(TImage::IMTYPE type)
{
    for (const char *name : { "Y", "C", "M", "RGBA8U", "RGBA16U" }) {
        TImage::IMTYPE candidate;
        if (TPort::typeFromString(QLatin1String(name), candidate) && candidate == type)
            return QLatin1String(name);
    }
    return QString::number(int(type));
}

QJsonArray describeInports(const TFilter *filter)
{
    QJsonArray ports;
    for (const QString &name : filter->inports()) {
        const TInport *port = filter->inportPtr(name);
        if (port)
            ports.append(QJsonObject {
                { "name", name }, { "type", portTypeName(port->type()) }, { "optional", port->bOptional() } });
    }
    return ports;
}

QJsonArray describeOutports(const TFilter *filter)
{
    QJsonArray ports;
    for (const QString &name : filter->outports()) {
        const TOutport *port = filter->outportPtr(name);
        if (port)
            ports.append(QJsonObject { { "name", name }, { "type", portTypeName(port->type()) } });
    }
    return ports;
}

// Public slots the filter's classes add to TFilter's; what a host or a script can call by name.
QJsonArray describeSlots(const TFilter *filter)
{
    QJsonArray list;
    const QMetaObject *meta = filter->metaObject();
    const QMetaObject &base = TFilter::staticMetaObject;
    for (int i = base.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Public)
            continue;
        if (base.indexOfMethod(method.methodSignature().constData()) >= 0)
            continue;
        QJsonArray parameters;
        for (const QByteArray &type : method.parameterTypes())
            parameters.append(QString::fromLatin1(type));
        list.append(QJsonObject { { "name", QString::fromLatin1(method.name()) },
            { "signature", QString::fromLatin1(method.methodSignature()) }, { "parameters", parameters },
            { "returns", QString::fromLatin1(method.typeName()) } });
    }
    return list;
}
}

QVariant ParamDescription::callGetter(const QObject *object, const char *slot)
{
    registerValueTypes();
    const QMetaObject *meta = object->metaObject();
    const int index = meta->indexOfMethod(QByteArray(slot).append("()").constData());
    if (index < 0)
        return QVariant();
    const QMetaMethod method = meta->method(index);
    const int type = method.returnType();
    if (type == QMetaType::UnknownType || type == QMetaType::Void)
        return QVariant();
    QVariant result(type, nullptr);
    // Getters do not change the object; the meta-object only calls through non-const pointers.
    if (!method.invoke(const_cast<QObject *>(object), Qt::DirectConnection,
            QGenericReturnArgument(method.typeName(), result.data())))
        return QVariant();
    return result;
}

QJsonValue ParamDescription::toJson(const QVariant &value)
{
    switch (int(value.type())) {
    case QMetaType::Float:
        return readable(value.toFloat());
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::UChar:
    case QMetaType::LongLong:
        return value.toDouble();
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QPointF:
        return QJsonArray { readable(float(value.toPointF().x())), readable(float(value.toPointF().y())) };
    default:
        break;
    }
    if (value.canConvert<QVariantList>()) {
        QJsonArray list;
        for (const QVariant &item : value.value<QSequentialIterable>())
            list.append(toJson(item));
        return list;
    }
    return QJsonValue(QJsonValue::Null);
}

QJsonObject ParamDescription::describeParam(const QObject *param)
{
    QJsonObject description { { "key", text(param, "key") }, { "name", text(param, "name") },
        { "description", text(param, "desc") }, { "kind", text(param, "type") },
        { "class", QString::fromLatin1(param->metaObject()->className()) } };
    for (const char *bound : { "vmin", "vmax" }) {
        const QVariant value = callGetter(param, bound);
        if (value.isValid())
            description.insert(QLatin1String(bound), toJson(value));
    }
    const QVariant presets = callGetter(param, "presets");
    if (presets.canConvert<QVariantList>()) {
        const QSequentialIterable list = presets.value<QSequentialIterable>();
        if (list.size() > 0)
            description.insert(QStringLiteral("default"), toJson(list.at(0)));
    }
    const QVariant choices = param->property("choices");
    if (choices.isValid())
        description.insert(QStringLiteral("choices"), QJsonArray::fromStringList(choices.toStringList()));
    // A group holds no value of its own: its members are what a host sets.
    if (param->inherits("TParamGroup"))
        description.insert(QStringLiteral("params"), describeParams(param, true));
    return description;
}

QJsonArray ParamDescription::describeParams(const QObject *owner, bool withCommon)
{
    QJsonArray list;
    for (const QObject *child : owner->children()) {
        if (!isParam(child) || (!withCommon && child->objectName() == QLatin1String(commonGroup)))
            continue;
        list.append(describeParam(child));
    }
    return list;
}

QJsonObject ParamDescription::describeEffect(const QString &key, const QObject *fx)
{
    const QObject *common = fx->findChild<QObject *>(QLatin1String(commonGroup), Qt::FindDirectChildrenOnly);
    return QJsonObject { { "key", key }, { "class", QString::fromLatin1(fx->metaObject()->className()) },
        { "common", common != nullptr && isParam(common) }, { "params", describeParams(fx, false) } };
}

QJsonObject ParamDescription::describeFilter(const TFilter *filter)
{
    QJsonArray subFilters;
    for (const QString &name : filter->filters()) {
        if (const TFilter *sub = const_cast<TFilter *>(filter)->filterPtr(name)) {
            QJsonObject description = describeFilter(sub);
            description.insert(QStringLiteral("key"), name);
            subFilters.append(description);
        }
    }
    QJsonObject description { { "key", filter->objectName() },
        { "class", QString::fromLatin1(filter->metaObject()->className()) }, { "description", filter->description() },
        { "inports", describeInports(filter) }, { "outports", describeOutports(filter) },
        { "slots", describeSlots(filter) } };
    if (!subFilters.isEmpty())
        description.insert(QStringLiteral("filters"), subFilters);
    return description;
}
