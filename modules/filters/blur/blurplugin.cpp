// The plug-in that offers "TFBlur" and "TFHistogram".
#include "tfblur.h"
#include "tfhistogram.h"

#include <tfilterpluginif.h>

class BlurPlugin : public QObject, public TFilterPluginIF {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFilterPluginIF_iid)
    Q_INTERFACES(TFilterPluginIF)
public:
    QStringList keys() const override { return { QStringLiteral("TFBlur"), QStringLiteral("TFHistogram") }; }
    // The filters' constructors throw the graph's C string when parent reaches no filter
    // context; that is passed on as for any filter.
    TFilter *create(const QString &key, const QString &name, QObject *parent) override
    {
        if (key == QLatin1String("TFBlur"))
            return new TFBlur(name, parent);
        if (key == QLatin1String("TFHistogram"))
            return new TFHistogram(name, parent);
        return nullptr;
    }
};

#include "blurplugin.moc"
