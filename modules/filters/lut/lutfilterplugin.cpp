// The bundled point filters, offered under the keys "TFBrightnessContrast", "TFGamma" and
// "TFSaturation".
#include "tfbrightnesscontrast.h"
#include "tfgamma.h"
#include "tfsaturation.h"

#include <QObject>
#include <tfilterpluginif.h>

class LutFilterPlugin : public QObject, public TFilterPluginIF {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFilterPluginIF_iid)
    Q_INTERFACES(TFilterPluginIF)
public:
    QStringList keys() const override
    {
        return { QStringLiteral("TFBrightnessContrast"), QStringLiteral("TFGamma"), QStringLiteral("TFSaturation") };
    }

    TFilter *create(const QString &key, const QString &name, QObject *parent) override
    {
        if (key == QLatin1String("TFBrightnessContrast"))
            return new TFBrightnessContrast(name, parent);
        if (key == QLatin1String("TFGamma"))
            return new TFGamma(name, parent);
        if (key == QLatin1String("TFSaturation"))
            return new TFSaturation(name, parent);
        return nullptr;
    }
};

#include "lutfilterplugin.moc"
