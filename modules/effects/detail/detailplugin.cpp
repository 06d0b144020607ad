// The detail family: sharpening.
#include "sharpenfx.h"
#include "tcatalogueplugin.h"

class DetailPlugin : public TCataloguePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFxPluginIF_iid)
    Q_INTERFACES(TFxPluginIF)
public:
    DetailPlugin() { add<SharpenFx>(QStringLiteral("Sharpen")); }
};

#include "detailplugin.moc"
