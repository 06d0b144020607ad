#include "tpluginfactory.h"

#include "qximproca.h"
#include "scriptfilterhook.h"
#include "tfilterpluginif.h"
#include "tfxpluginif.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPluginLoader>
#include <QScriptProgram>
#include <atomic>
#include <iostream>

namespace {
// Constant-initialised, so the script filter can set it from its own static initialiser
// whatever order the library's initialisers run in.
std::atomic<ScriptFilterMaker> scriptFilterMaker { nullptr };

bool hasSuffix(const QString &fileName, const char *suffix)
{
    return fileName.endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
}

// ".dll" and ".dylib" are the plug-in libraries of the other platforms; here they are ".so".
bool isLibraryName(const QString &fileName)
{
    return hasSuffix(fileName, ".dll") || hasSuffix(fileName, ".dylib") || hasSuffix(fileName, ".so");
}

QDir pluginDirectory()
{
    QDir dir(QCoreApplication::applicationDirPath());
    const QString name = dir.dirName().toLower();
    if (name == QLatin1String("debug") || name == QLatin1String("release"))
        dir.cdUp();
    std::cout << "plugins dir" << std::endl;
    qDebug() << dir.absolutePath();
    // Without a "filters" folder the application's own directory is scanned instead.
    dir.cd(QStringLiteral("filters"));
    return dir;
}
}

void setScriptFilterMaker(ScriptFilterMaker maker) { scriptFilterMaker.store(maker); }

TPluginFactory::TPluginFactory(QObject *parent)
    : QObject(parent)
{
    scanDirectory();
    qDebug() << "TPluginFactory::TPluginFactory found: ";
    qDebug() << "    script: " << m_scriptRegistry;
    qDebug() << "    tfx: " << m_tfxRegistry;
    qDebug() << "    filter: " << m_filterRegistry;
}

TPluginFactory::~TPluginFactory() { qDeleteAll(m_scriptRegistry); }

void TPluginFactory::scanDirectory()
{
    const QDir dir = pluginDirectory();
    const QStringList files = dir.entryList(QDir::Files, QDir::Unsorted);
    for (const QString &fileName : files) {
        const QString path = dir.absoluteFilePath(fileName);
        if (hasSuffix(fileName, ".js"))
            addScript(path, fileName);
        else if (isLibraryName(fileName))
            addLibrary(path);
    }
}

void TPluginFactory::addScript(const QString &path, const QString &fileName)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString text = QString::fromUtf8(file.readAll());
    auto *program = new QScriptProgram(text, fileName, 1);
    if (program->isNull()) {
        delete program;
        return;
    }
    const QString key = fileName.left(fileName.size() - 3);
    // A later file with the same key wins; the program it replaces is ours to delete.
    delete m_scriptRegistry.value(key, nullptr);
    m_scriptRegistry.insert(key, program);
}

void TPluginFactory::addLibrary(const QString &path)
{
    QPluginLoader loader(path);
    // Resolve every symbol now, so that a library with a missing one fails here instead of
    // crashing later when the missing function is first called.
    loader.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    QObject *root = loader.instance();
    if (!root) {
        std::cout << loader.errorString().toStdString() << std::endl << static_cast<const void *>(root) << std::endl;
        return;
    }
    if (auto *filterPlugin = qobject_cast<TFilterPluginIF *>(root)) {
        const QStringList keys = filterPlugin->keys();
        for (const QString &key : keys) {
            m_filterRegistry.insert(key, filterPlugin);
            qDebug() << "  fitler - " << key;
        }
    } else if (auto *tfxPlugin = qobject_cast<TFxPluginIF *>(root)) {
        const QStringList keys = tfxPlugin->keys();
        for (const QString &key : keys) {
            m_tfxRegistry.insert(key, tfxPlugin);
            qDebug() << "  tfx - " << key;
        }
    }
}

QStringList TPluginFactory::filters() const { return m_filterRegistry.keys() + m_scriptRegistry.keys(); }

QStringList TPluginFactory::tfxs() const { return m_tfxRegistry.keys(); }

TFilter *TPluginFactory::createTFilter(const QString &key, const QString &name, QObject *parent)
{
    qDebug() << "TPluginFactory::createTFilter " << key << name << filters();
    // Filter constructors report programming errors (no filter context above the parent, for
    // one) by throwing a C string; a caller of the factory gets null instead.
    try {
        if (TFilterPluginIF *plugin = m_filterRegistry.value(key, nullptr))
            return plugin->create(key, name, parent);
        if (m_scriptRegistry.value(key, nullptr))
            return createScriptFilter(key, name, parent);
    } catch (const char *error) {
        qDebug() << QXimproca::traceMsg("TPluginFactory::createTFilter", __LINE__, "failed").c_str() << key << name
                 << error;
    }
    return nullptr;
}

TFilter *TPluginFactory::createScriptFilter(const QString &key, const QString &name, QObject *parent)
{
    if (const ScriptFilterMaker maker = scriptFilterMaker.load())
        return maker(m_scriptRegistry.value(key), name, parent);
    qDebug() << QXimproca::traceMsg("TPluginFactory::createTFilter", __LINE__, "no script filter support for").c_str()
             << key << name;
    return nullptr;
}

TFx *TPluginFactory::createTFx(const QString &key, const QString &name, QObject *parent)
{
    qDebug() << "TPluginFactory::createTFx " << key << name << tfxs();
    if (TFxPluginIF *plugin = m_tfxRegistry.value(key, nullptr))
        return plugin->create(key, name, parent);
    return nullptr;
}

TPluginFactory *TPluginFactory::findFactory(QObject *obj)
{
    for (QObject *o = obj; o; o = o->parent()) {
        if (auto *factory = qobject_cast<TPluginFactory *>(o))
            return factory;
    }
    return nullptr;
}
