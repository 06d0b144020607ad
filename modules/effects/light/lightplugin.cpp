// The light family: exposure, tone and curves.
#include "curvesfx.h"
#include "exposurefx.h"
#include "tcatalogueplugin.h"

class LightPlugin : public TCataloguePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFxPluginIF_iid)
    Q_INTERFACES(TFxPluginIF)
public:
    LightPlugin()
    {
        add<ExposureFx>(QStringLiteral("Exposure"));
        add<CurvesFx>(QStringLiteral("Curves"));
    }
};

#include "lightplugin.moc"
