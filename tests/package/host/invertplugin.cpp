// An effect plug-in that inverts luminance, written against the installed headers only.
#include <QObject>
#include <tfx.h>
#include <tfxpluginif.h>
#include <tpimage.h>

class InvertFx : public TFx {
    Q_OBJECT
public:
    InvertFx(const QString &key, QObject *parent)
        : TFx(key, parent)
    {
        for (int i = 0; i < TIm::numLevels; ++i)
            m_same[i].insert(TIm::CImId(i));
    }

    const QSet<TIm::CImId> &depends(const TIm::CImId &cid, TFx::InportId) const override { return m_same[cid]; }
    void setOutImageDepends() override { }
    bool procOutput(const QSet<TIm::CImId> &cids) override
    {
        if (!m_inIm_p)
            return false;
        for (TIm::CImId cid : cids) {
            TPImage *out = m_outIm.ptr(cid);
            *out = m_inIm_p->ptr(cid)->clone();
            out->m_lum = cv::Scalar(65535) - out->m_lum;
            m_outIm.updateUid(cid);
            emit outputChanged(cid);
        }
        return true;
    }
    void cancelProc() override { }

private:
    QSet<TIm::CImId> m_same[TIm::numLevels];
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
