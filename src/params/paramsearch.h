#ifndef PARAMSEARCH_H
#define PARAMSEARCH_H

#include <QString>

class QObject;
class TParam;

// Internal to the engine: the parameter of that key among parent's children and, depth first
// in child order, inside the groups among them; null when there is none. A parameter inside an
// earlier group is found before a later direct child of the same key.
TParam *findParamByKey(const QObject *parent, const QString &key);

#endif
