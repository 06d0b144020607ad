#include "tfxcimindproc.h"

#include "fxtrace.h"
#include "tpimage.h"
#include "tprogress.h"

TFxCImIndProc::TFxCImIndProc(const QString &key, QObject *parent)
    : TFxBasic(key, parent)
{
    for (int port = 0; port < 2; ++port)
        for (int cid = 0; cid < TIm::numLevels; ++cid)
            m_depends[port][cid] = { TIm::CImId(cid) };
}

void TFxCImIndProc::setOutImageDepends()
{
    if (!m_inIm_p)
        return;
    TFxBasic::setOutImageDepends();
    for (int i = 0; i < TIm::numLevels; ++i) {
        const auto cid = TIm::CImId(i);
        m_effIm.ptr(cid)->m_depends.clear();
        setTPImageDepends(cid, *m_inIm_p->ptr(cid), *m_effIm.ptr(cid));
    }
}

bool TFxCImIndProc::procEffect(const QSet<TIm::CImId> &cids)
{
    FX_TRACE("TFxCImIndProc::procEffect", "->") << cids;
    m_progress_p->prog(0, 1000);
    const float share = 0.9f / float(cids.size());
    const QSet<TIm::CImId> levels = cids;
    for (TIm::CImId cid : levels) {
        // Only the stack calls this, with checked ids; a level that does not exist is passed over.
        if (cid < 0 || cid >= TIm::numLevels || !m_inIm_p)
            continue;
        m_progress_p->start(share);
        TPImage &eff = *m_effIm.ptr(cid);
        if (!procTPImage(cid, *m_inIm_p->ptr(cid), eff)) {
            m_progress_p->end();
            m_progress_p->prog(1000, 1000);
            return false;
        }
        FX_TRACE("TFxCImIndProc::procEffect", "successfully updated and output parameters after processing:")
            << QString("%1,%2,%3").arg(eff.m_dec).arg(eff.m_x).arg(eff.m_y).toUtf8().constData();
        m_progress_p->end();
    }
    m_progress_p->prog(1000, 1000);
    FX_TRACE("TFxCImIndProc::procEffect", "<-") << cids;
    return true;
}
