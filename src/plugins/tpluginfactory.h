#ifndef TPLUGINFACTORY_H
#define TPLUGINFACTORY_H

#include "fxengine_export.h"

#include <QMap>
#include <QObject>
#include <QStringList>

class QScriptProgram;
class TFilter;
class TFilterPluginIF;
class TFx;
class TFxPluginIF;

// Finds, once in its constructor, the effects and filters that the installation offers in
// the plug-in directory, and creates them by key afterwards.
//
// The plug-in directory is "filters" beside the application's directory (one level up when
// that directory is called Debug or Release in any case). Files ending in ".js" are filter
// scripts; files ending in ".dll", ".dylib" or ".so" (any case) are plug-in libraries whose
// root object answers the filter or the effect plug-in interface. A library that fails to
// load is reported on standard output and skipped; construction never fails. Plug-in
// libraries stay loaded for the life of the process; script programs are owned here, so
// filters made from scripts must not outlive the factory.
class FXENGINE_EXPORT TPluginFactory : public QObject {
    Q_OBJECT
public:
    explicit TPluginFactory(QObject *parent = nullptr);
    ~TPluginFactory() override;

    // Filter plug-in keys, then script keys, each part in ascending order.
    QStringList filters() const;
    QStringList tfxs() const;

    // Null when no registry holds the key. A filter plug-in hides a script of the same key;
    // a script key gives a TFilterScript around the program kept here. Null as well, with a
    // trace line, when the filter's constructor throws (as it does without a filter context
    // among the parent and its ancestors).
    TFilter *createTFilter(const QString &key, const QString &name, QObject *parent);
    TFx *createTFx(const QString &key, const QString &name, QObject *parent);

    // The nearest factory among obj and its Qt ancestors; null if there is none.
    static TPluginFactory *findFactory(QObject *obj);

private:
    void scanDirectory();
    void addScript(const QString &path, const QString &fileName);
    void addLibrary(const QString &path);
    TFilter *createScriptFilter(const QString &key, const QString &name, QObject *parent);

    QMap<QString, TFxPluginIF *> m_tfxRegistry;
    QMap<QString, TFilterPluginIF *> m_filterRegistry;
    QMap<QString, QScriptProgram *> m_scriptRegistry;
};

#endif
