// The lens family: vignetting.
#include "tcatalogueplugin.h"
#include "vignettefx.h"

class LensPlugin : public TCataloguePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFxPluginIF_iid)
    Q_INTERFACES(TFxPluginIF)
public:
    LensPlugin() { add<VignetteFx>(QStringLiteral("Vignette")); }
};

#include "lensplugin.moc"
