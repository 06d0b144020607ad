// The local family: tone by regions and clarity.
#include "clarityfx.h"
#include "tcatalogueplugin.h"
#include "tonefx.h"

class LocalPlugin : public TCataloguePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFxPluginIF_iid)
    Q_INTERFACES(TFxPluginIF)
public:
    LocalPlugin()
    {
        add<ToneFx>(QStringLiteral("Tone"));
        add<ClarityFx>(QStringLiteral("Clarity"));
    }
};

#include "localplugin.moc"
