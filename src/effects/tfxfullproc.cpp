#include "tfxfullproc.h"

#include "fxtrace.h"
#include "planepool.h"
#include "tpimage.h"
#include "tprogress.h"

TFxFullProc::TFxFullProc(const QString &key, QObject *parent)
    : TFxCImIndProc(key, parent)
{
    setProperty("canDoHalfProc", true);
}

bool TFxFullProc::procTPImage(TIm::CImId cid, const TPImage &in, TPImage &eff)
{
    FX_TRACE("TFxFullProc::procTPImage", "->") << int(cid);
    m_progress_p->prog(0, 1000);
    eff.m_half = cv::Mat();
    eff.m_p4 = in.m_p4;
    eff.m_dec = in.m_dec;
    eff.m_x = in.m_x;
    eff.m_y = in.m_y;
    TPImage work(in);
    work.setUid(in.uid());
    if (!in.m_half.empty()) {
        // The copy shares the input's luminance; the rebuild gives the working plane a buffer
        // of its own rather than writing into the input.
        if (!PlanePool::bExclusive(work.m_lum))
            work.m_lum = cv::Mat();
        TPImage::reconstructFull(in.m_lum, in.m_half, work.m_lum, in.m_factor, 0.01f);
        eff.m_factor = 1.0f;
    } else {
        eff.m_factor = in.m_factor;
    }
    const bool result = procPreparedTPImage(cid, work, eff);
    m_progress_p->prog(1000, 1000);
    FX_TRACE("TFxFullProc::procTPImage", "<-") << int(cid) << eff.m_factor;
    return result;
}
