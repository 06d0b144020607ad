#ifndef TFILTERPLUGINIF_H
#define TFILTERPLUGINIF_H

#include "fxengine_export.h"

#include <QObject>
#include <QStringList>
#include <QtPlugin>

class TFilter;

// What a filter plug-in library offers: the keys of the filters it can create, and their
// creation. The root object of the library answers this interface under its identifier.
// The caller owns what create() returns through the Qt parent it passes.
class FXENGINE_EXPORT TFilterPluginIF {
public:
    // The first virtual operation; the factory never calls it.
    virtual ~TFilterPluginIF() = default;
    virtual QStringList keys() const = 0;
    // A new filter for the key, with that object name and parent; null for an unknown key.
    virtual TFilter *create(const QString &key, const QString &name, QObject *parent) = 0;
};

#define TFilterPluginIF_iid "com.zentrovo.filterplugin.TFilterPluginIF/1.0"
Q_DECLARE_INTERFACE(TFilterPluginIF, TFilterPluginIF_iid)

#endif
