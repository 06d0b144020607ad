#ifndef TFXPLUGINIF_H
#define TFXPLUGINIF_H

#include "fxengine_export.h"

#include <QObject>
#include <QStringList>
#include <QtPlugin>

class TFx;

// What an effect plug-in library offers: the keys of the effects it can create, and their
// creation. The root object of the library answers this interface under its identifier.
// The caller owns what create() returns through the Qt parent it passes.
class FXENGINE_EXPORT TFxPluginIF {
public:
    // The first virtual operation; the factory never calls it.
    virtual ~TFxPluginIF() = default;
    virtual QStringList keys() const = 0;
    // A new effect for the key, with that object name and parent; null for an unknown key.
    virtual TFx *create(const QString &key, const QString &name, QObject *parent) = 0;
};

#define TFxPluginIF_iid "com.zentrovo.filterplugin.TFxPluginIF/1.0"
Q_DECLARE_INTERFACE(TFxPluginIF, TFxPluginIF_iid)

#endif
