// The plug-in that offers "TLayerModes".
#include "tlayermodes.h"

#include <tfilterpluginif.h>

class LayerModesPlugin : public QObject, public TFilterPluginIF {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFilterPluginIF_iid)
    Q_INTERFACES(TFilterPluginIF)
public:
    QStringList keys() const override { return { QStringLiteral("TLayerModes") }; }
    // The filter's constructor throws the graph's C string when parent reaches no filter
    // context; that is passed on as for any filter.
    TFilter *create(const QString &key, const QString &name, QObject *parent) override
    {
        return key == QLatin1String("TLayerModes") ? new TLayerModes(name, parent) : nullptr;
    }
};

#include "layermodesplugin.moc"
