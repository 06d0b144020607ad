#ifndef PARAMDESCRIPTION_H
#define PARAMDESCRIPTION_H

#include <QJsonArray>
#include <QJsonObject>
#include <QVariant>

class QObject;
class TFilter;

// Describes effects and filters as a host finds them, read from the live objects through
// their meta-objects alone (class names, slots called by name, properties), so that what is
// listed is what the plug-ins really offer, with nothing kept by hand beside them.
namespace ParamDescription {
// The key of the group every effect carries for its mask and opacity.
extern const char *const commonGroup;

// One parameter: key, name, description, kind (its type string), class, and where the kind
// has them vmin, vmax, default (the first preset) and choices. A group lists its members.
QJsonObject describeParam(const QObject *param);
// The parameters that are direct children of owner, in child order; the common group left
// out unless withCommon.
QJsonArray describeParams(const QObject *owner, bool withCommon);
// An effect made for key: key, class, whether it has the common group, its own parameters.
QJsonObject describeEffect(const QString &key, const QObject *fx);
// A filter: key, class, description, input and output ports with type and optional flag, the
// slots of its own class that can be called by name, and its sub-filters described alike.
QJsonObject describeFilter(const TFilter *filter);

// Calls a slot that takes no argument and returns a value, by name; an invalid QVariant when
// there is no such slot or its return type is not known to Qt's meta-type system.
QVariant callGetter(const QObject *object, const char *slot);
// A value as JSON: numbers (floats in their shortest exact form), booleans, text, points as
// [x, y] and lists of any of these.
QJsonValue toJson(const QVariant &value);
}

#endif
