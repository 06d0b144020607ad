// The plug-in that offers "TFDrawMask".
#include "tfdrawmask.h"

#include <tfilterpluginif.h>

class DrawMaskPlugin : public QObject, public TFilterPluginIF {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFilterPluginIF_iid)
    Q_INTERFACES(TFilterPluginIF)
public:
    QStringList keys() const override { return { QStringLiteral("TFDrawMask") }; }
    // The filter's constructor throws the graph's C string when parent reaches no filter
    // context; that is passed on as for any filter.
    TFilter *create(const QString &key, const QString &name, QObject *parent) override
    {
        return key == QLatin1String("TFDrawMask") ? new TFDrawMask(name, parent) : nullptr;
    }
};

#include "drawmaskplugin.moc"
