#include "tfxhalfproc.h"

#include "fxtrace.h"
#include "kernels.h"
#include "planepool.h"
#include "tpimage.h"
#include "tprogress.h"

TFxHalfProc::TFxHalfProc(const QString &key, QObject *parent)
    : TFxCImIndProc(key, parent)
{
    setProperty("canDoHalfProc", true);
}

bool TFxHalfProc::procTPImage(TIm::CImId cid, const TPImage &in, TPImage &eff)
{
    FX_TRACE("TFxHalfProc::procTPImage", "->") << int(cid);
    m_progress_p->prog(0, 1000);
    eff.m_lum = in.m_lum;
    eff.m_factor = in.m_factor;
    eff.m_p4 = in.m_p4;
    eff.m_dec = in.m_dec;
    eff.m_x = in.m_x;
    eff.m_y = in.m_y;
    TPImage work(in);
    if (in.m_half.empty()) {
        FX_TRACE("TFxHalfProc::procTPImage", "Full image, convert to half Image");
        PlanePool::createOwned(work.m_half, (in.m_lum.rows + 1) / 2, (in.m_lum.cols + 1) / 2, CV_16UC1);
        downSize2X(in.m_lum, work.m_half, 4);
    }
    FX_TRACE("TFxHalfProc::procTPImage", " start half proc");
    const bool result = procPreparedTPImage(cid, work, eff);
    m_progress_p->prog(1000, 1000);
    FX_TRACE("TFxHalfProc::procTPImage", "<-") << int(cid) << eff.m_factor;
    return result;
}
