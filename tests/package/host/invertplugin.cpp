// An effect plug-in that inverts luminance at full resolution, written against the installed
// headers only.
#include <QObject>
#include <tfxfullproc.h>
#include <tfxpluginif.h>
#include <tpimage.h>

class InvertFx : public TFxFullProc {
public:
    using TFxFullProc::TFxFullProc;
    void setTPImageDepends(TIm::CImId, const TPImage &in, TPImage &eff) override
    {
        eff.m_depends.addDepedentUid(in.uid());
    }
    bool procPreparedTPImage(TIm::CImId, const TPImage &work, TPImage &eff) override
    {
        eff.m_lum = cv::Scalar(65535) - work.m_lum;
        eff.m_c1 = work.m_c1;
        eff.m_c2 = work.m_c2;
        eff.uid()->update();
        return true;
    }
};

class InvertPlugin : public QObject, public TFxPluginIF {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TFxPluginIF_iid)
    Q_INTERFACES(TFxPluginIF)
public:
    QStringList keys() const override { return { "PkgInvert" }; }
    TFx *create(const QString &key, const QString &name, QObject *parent) override
    {
        if (key != "PkgInvert")
            return nullptr;
        auto *fx = new InvertFx(key, parent);
        if (!name.isEmpty())
            fx->setObjectName(name);
        return fx;
    }
};

#include "invertplugin.moc"
