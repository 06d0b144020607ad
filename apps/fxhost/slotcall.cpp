#include "slotcall.h"

#include <QList>
#include <QMetaMethod>
#include <QPoint>
#include <QStringList>
#include <QVariant>
#include <cmath>

namespace {
bool readBool(const QString &text, bool &value)
{
    const QString t = text.trimmed().toLower();
    if (t == "true" || t == "1" || t == "yes" || t == "on")
        return value = true, true;
    if (t == "false" || t == "0" || t == "no" || t == "off")
        return value = false, true;
    return false;
}

// Reads one parameter of type name from tokens starting at next; false when they do not fit.
bool readArgument(const QByteArray &type, const QStringList &tokens, int &next, QVariant &value)
{
    if (next >= tokens.size())
        return false;
    const QString token = tokens.at(next++).trimmed();
    bool ok = false;
    if (type == "float" || type == "double") {
        const double v = token.toDouble(&ok);
        ok = ok && std::isfinite(v);
        value = type == "float" ? QVariant(float(v)) : QVariant(v);
    } else if (type == "int") {
        value = token.toInt(&ok);
    } else if (type == "uint") {
        value = token.toUInt(&ok);
    } else if (type == "uchar") {
        const uint v = token.toUInt(&ok);
        ok = ok && v <= 255;
        value = QVariant::fromValue(uchar(v));
    } else if (type == "bool") {
        bool v = false;
        ok = readBool(token, v);
        value = v;
    } else if (type == "QString") {
        value = tokens.at(next - 1);
        ok = true;
    } else if (type == "QPoint" && next < tokens.size()) {
        bool okY = false;
        const int x = token.toInt(&ok), y = tokens.at(next++).trimmed().toInt(&okY);
        ok = ok && okY;
        value = QPoint(x, y);
    }
    return ok;
}

// The arguments for method from text; false when the text does not fit its parameters.
bool readArguments(const QMetaMethod &method, const QString &text, QList<QVariant> &values)
{
    const QStringList tokens = text.isEmpty() ? QStringList() : text.split(QLatin1Char(','));
    int next = 0;
    for (const QByteArray &type : method.parameterTypes()) {
        QVariant value;
        if (!readArgument(type, tokens, next, value))
            return false;
        values.append(value);
    }
    return next == tokens.size();
}

bool invoke(QObject *object, const QMetaMethod &method, const QList<QVariant> &values)
{
    QGenericArgument arguments[10];
    const QList<QByteArray> types = method.parameterTypes();
    for (int i = 0; i < values.size() && i < 10; ++i)
        arguments[i] = QGenericArgument(types.at(i).constData(), values.at(i).constData());
    return method.invoke(object, Qt::DirectConnection, arguments[0], arguments[1], arguments[2], arguments[3],
        arguments[4], arguments[5], arguments[6], arguments[7], arguments[8], arguments[9]);
}
}

SlotCall::Result SlotCall::call(QObject *object, const QString &slot, const QString &arguments, QString &problem)
{
    const QMetaObject *meta = object->metaObject();
    QStringList signatures;
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Public
            || QString::fromLatin1(method.name()) != slot || signatures.contains(method.methodSignature()))
            continue;
        signatures << QString::fromLatin1(method.methodSignature());
        QList<QVariant> values;
        if (method.parameterCount() <= 10 && readArguments(method, arguments, values) && invoke(object, method, values))
            return Result::Called;
    }
    if (signatures.isEmpty()) {
        problem = QStringLiteral("%1 has no slot \"%2\"").arg(object->objectName(), slot);
        return Result::NoSuchSlot;
    }
    problem = QStringLiteral("\"%1\" does not fit %2").arg(arguments, signatures.join(QStringLiteral(" or ")));
    return Result::BadValue;
}
