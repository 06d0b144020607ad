#ifndef TCATALOGUEPLUGIN_H
#define TCATALOGUEPLUGIN_H

#include <QObject>
#include <QStringList>
#include <tfx.h>
#include <tfxpluginif.h>

// The keys a family plug-in offers and how to make each effect. A family's plug-in class
// (which needs its own Q_PLUGIN_METADATA) derives from this and lists its effects:
//
//   class LightPlugin : public TCataloguePlugin {
//       Q_OBJECT
//       Q_PLUGIN_METADATA(IID TFxPluginIF_iid)
//       Q_INTERFACES(TFxPluginIF)
//   public:
//       LightPlugin() { add<ExposureFx>("Exposure"); }
//   };
class TCataloguePlugin : public QObject, public TFxPluginIF {
public:
    QStringList keys() const override { return m_keys; }

    TFx *create(const QString &key, const QString &name, QObject *parent) override
    {
        const int index = m_keys.indexOf(key);
        if (index < 0)
            return nullptr;
        TFx *fx = m_makers.at(index)(key, parent);
        if (fx && !name.isEmpty())
            fx->setObjectName(name);
        return fx;
    }

protected:
    template <class Effect> void add(const QString &key)
    {
        m_keys.append(key);
        m_makers.append([](const QString &k, QObject *parent) -> TFx * { return new Effect(k, parent); });
    }

private:
    using Maker = TFx *(*)(const QString &, QObject *);
    QStringList m_keys;
    QList<Maker> m_makers;
};

#endif
