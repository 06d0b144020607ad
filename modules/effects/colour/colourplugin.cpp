// The colour family: white balance and saturation, and the black-and-white mixer.
#include "blackwhitefx.h"
#include "colourfx.h"
#include "tcatalogueplugin.h"

class ColourPlugin : public TCataloguePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFxPluginIF_iid)
    Q_INTERFACES(TFxPluginIF)
public:
    ColourPlugin()
    {
        add<ColourFx>(QStringLiteral("Colour"));
        add<BlackWhiteFx>(QStringLiteral("BlackWhite"));
    }
};

#include "colourplugin.moc"
