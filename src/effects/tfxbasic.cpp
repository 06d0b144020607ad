#include "tfxbasic.h"

#include "fxtrace.h"
#include "tdrawmask.h"
#include "tfxcommondata.h"
#include "tparamdrawmask.h"
#include "tparamfloat.h"
#include "tparamgroup.h"
#include "tpimage.h"
#include "tprogress.h"

TFxBasic::TFxBasic(const QString &key, QObject *parent)
    : TFx(key, parent)
    , m_progress_p(new TProgress(&TFxBasic::reportProgress, this))
    , m_drawMask_p(new TDrawMask)
{
    for (int port = 0; port < 2; ++port)
        for (int cid = 0; cid < TIm::numLevels; ++cid)
            m_depends[port][cid] = { TIm::CImId(cid) };
    m_common_p = new TParamGroup(this, "TFxCommon", tr("Masks"), tr("Mask is used to selectively apply the effects"),
        "EFFECTCOMMON", true, false);
    m_mask_p = new TParamDrawMask(m_common_p, "Mask", tr("Mask"), tr("brush"), QString(), m_drawMask_p);
    m_opacity_p
        = new TParamFloat(m_common_p, "Opacity", tr("Opacity"), tr("adjust opacity"), QString(), 1.0f, 0.0f, 1.0f);
}

TFxBasic::~TFxBasic()
{
    // The mask parameter is destroyed with the group, after this body; it must not reach the
    // engine then.
    delete m_mask_p;
    m_mask_p = nullptr;
    delete m_progress_p;
    delete m_drawMask_p;
}

const QSet<TIm::CImId> &TFxBasic::depends(const TIm::CImId &cid, TFx::InportId port) const
{
    if (cid < 0 || cid >= TIm::numLevels || (port != InportIn && port != InportMix))
        return m_noLevels;
    return m_depends[port == InportMix][cid];
}

void TFxBasic::setOutImageDepends()
{
    for (int i = 0; i < TIm::numLevels; ++i) {
        const auto cid = TIm::CImId(i);
        TUidDepends &record = m_outIm.ptr(cid)->m_depends;
        record.clear();
        record.addDepedentUid(m_effIm.ptr(cid)->uid());
        if (m_mixIm_p)
            record.addDepedentUid(m_mixIm_p->ptr(cid)->uid());
        record.addDepedentUid(m_common_p->uid());
        if (m_mask_p)
            record.addDepedentUid(m_mask_p->uid());
        record.addDepedentUid(m_opacity_p->uid());
    }
}

bool TFxBasic::emitProgress(int oneThousandth)
{
    emit progress(oneThousandth);
    return !m_cancel;
}

bool TFxBasic::reportProgress(int oneThousandth, void *context)
{
    return static_cast<TFxBasic *>(context)->emitProgress(oneThousandth);
}

void TFxBasic::cancelProc()
{
    FX_TRACE("TFxBasic::cancelProc", "cancel called");
    m_cancel = true;
}

bool TFxBasic::procOutput(const QSet<TIm::CImId> &cids)
{
    if (m_processing)
        return false;
    m_processing = true;
    m_cancel = false;
    FX_TRACE("TFxBasic::procOutput", "->") << cids;
    if (!procEffect(cids)) {
        m_processing = false;
        return false;
    }
    TFxCommonData *common = getCommonData();
    if (common)
        m_drawMask_p->setInImage(common->image().ptr(TIm::CImFull), false);
    if (!m_common_p->enabled()) {
        for (TIm::CImId cid : cids) {
            if (cid < 0 || cid >= TIm::numLevels)
                continue;
            *m_outIm.ptr(cid) = *m_effIm.ptr(cid);
            m_outIm.ptr(cid)->m_depends.clean(m_common_p->uid());
            emit outputChanged(cid);
        }
        FX_TRACE("TFxBasic::procOutput", "<- passthrough: mask disabled");
        m_processing = false;
        return true;
    }
    if (!m_drawMask_p->proc()) {
        m_processing = false;
        return false;
    }
    if (m_drawMask_p->m_changed) {
        m_mask_p->emitDrawChangedSignal();
        m_mask_p->uid()->update();
    }
    const QSet<TIm::CImId> levels = cids;
    for (TIm::CImId cid : levels) {
        if (cid >= 0 && cid < TIm::numLevels)
            composeLevel(cid);
    }
    m_processing = false;
    return true;
}

void TFxBasic::composeLevel(TIm::CImId cid)
{
    const TPImage &effect = *m_effIm.ptr(cid);
    TPImage &out = *m_outIm.ptr(cid);
    int mode = 3;
    float opacity = 1.0f;
    cv::Mat mask;
    if (out.m_depends.dirty(nullptr)) {
        opacity = m_opacity_p->value();
        out.m_depends.clean(nullptr);
        if (opacity < 0.01f) {
            mode = 1;
        } else {
            mask = m_drawMask_p->getMaskRoi(
                cv::Rect_<int>(effect.m_x, effect.m_y, effect.width(), effect.height()), effect.m_dec);
            mode = mask.empty() && opacity >= 0.99f ? 0 : 2;
        }
    }
    FX_TRACE("TFxBasic::procOutput", " blend mode: ") << mode;
    switch (mode) {
    case 0:
        out = effect.clone();
        emit outputChanged(cid);
        FX_TRACE("TFxBasic::procOutput", "<- copy in");
        break;
    case 1:
        out = m_mixIm_p ? m_mixIm_p->ptr(cid)->clone() : effect.clone();
        emit outputChanged(cid);
        FX_TRACE("TFxBasic::procOutput", "<- copy mix");
        break;
    case 2:
        blendLevel(cid, opacity, mask);
        out.uid()->update();
        emit outputChanged(cid);
        FX_TRACE("TFxBasic::procOutput", "<- blend done");
        break;
    default:
        FX_TRACE("TFxBasic::procOutput", "<- do nothing");
        break;
    }
}
