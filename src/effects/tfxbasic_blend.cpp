// Mode 2 of TFxBasic::procOutput: the output level blended from the mix and effect levels
// through the mask region and the opacity.
#include "fxtrace.h"
#include "kernels.h"
#include "planepool.h"
#include "tfxbasic.h"
#include "tpimage.h"

namespace {

bool bSharesBuffer(const cv::Mat &a, const cv::Mat &b) { return a.u && a.u == b.u; }

// The output plane gets a buffer of its own with the effect plane's pixels when it is of
// another size or shares the effect plane's buffer (after a pass-through), so that blending
// into it never writes into the effect image.
void ownBuffer(cv::Mat &out, const cv::Mat &effect)
{
    if (out.size != effect.size || out.type() != effect.type() || bSharesBuffer(out, effect)
        || !PlanePool::bExclusive(out))
        out = PlanePool::clone(effect);
}

// A destination about to be overwritten whole: one that shares its buffer with anything (the
// effect image after a pass-through, say) is dropped, so the blend allocates its own.
void detach(cv::Mat &out)
{
    if (!out.empty() && !PlanePool::bExclusive(out))
        out.release();
}

// The mask region enlarged to the luminance plane's size.
cv::Mat fullMask(const cv::Mat &mask, const cv::Mat &luminance)
{
    cv::Mat full;
    full.allocator = PlanePool::allocator();
    full.create(luminance.rows, luminance.cols, CV_8UC1);
    upSize2X(mask, full, 2);
    return full;
}

void blendOrCopy(const cv::Mat &mix, const cv::Mat &effect, const cv::Mat &mask, cv::Mat &out, float opacity)
{
    // A level without this plane (an empty fourth plane, say) has nothing to blend.
    if (effect.empty()) {
        out = effect;
        return;
    }
    blendAlpha(mix, effect, mask, out, opacity, 0);
}
}

void TFxBasic::blendLevel(TIm::CImId cid, float opacity, const cv::Mat &mask)
{
    const TPImage &effect = *m_effIm.ptr(cid);
    const TPImage &mix = m_mixIm_p ? *m_mixIm_p->ptr(cid) : effect;
    TPImage &out = *m_outIm.ptr(cid);
    out.m_factor = effect.m_factor;
    out.m_dec = effect.m_dec;
    out.m_x = effect.m_x;
    out.m_y = effect.m_y;
    FX_TRACE("TFxBasic::procOutput", "output dec,x,y")
        << QString("%1,%2,%3").arg(out.m_dec).arg(out.m_x).arg(out.m_y).toUtf8().constData();
    const bool effectHalf = !effect.m_half.empty(), mixHalf = !mix.m_half.empty();
    if (!effectHalf && !mixHalf) {
        ownBuffer(out.m_lum, effect.m_lum);
        if (mask.empty()) {
            blendAlpha(mix.m_lum, effect.m_lum, mask, out.m_lum, opacity, 0);
        } else {
            FX_TRACE("TFxBasic::procOutput", "- blending 1...") << opacity;
            blendAlpha(mix.m_lum, effect.m_lum, fullMask(mask, effect.m_lum), out.m_lum, opacity, 0);
        }
        out.m_half.release();
    } else if (!effectHalf) {
        cv::Mat rebuilt;
        TPImage::reconstructFull(mix.m_lum, mix.m_half, rebuilt, mix.m_factor, 0.01f);
        detach(out.m_lum);
        if (mask.empty()) {
            blendAlpha(rebuilt, effect.m_lum, mask, out.m_lum, opacity, 0);
        } else {
            FX_TRACE("TFxBasic::procOutput", "- blending 2...") << opacity;
            blendAlpha(rebuilt, effect.m_lum, fullMask(mask, effect.m_lum), out.m_lum, opacity, 0);
        }
        out.m_half.release();
    } else if (!mixHalf) {
        cv::Mat halved;
        halved.allocator = PlanePool::allocator();
        halved.create(effect.m_half.rows, effect.m_half.cols, effect.m_half.type());
        downSize2X(mix.m_lum, halved, 4);
        ownBuffer(out.m_lum, effect.m_lum);
        detach(out.m_half);
        if (!mask.empty()) {
            FX_TRACE("TFxBasic::procOutput", "- blending 3...") << opacity;
            blendAlpha(mix.m_lum, effect.m_lum, fullMask(mask, effect.m_lum), out.m_lum, opacity, 0);
        }
        blendAlpha(halved, effect.m_half, mask, out.m_half, opacity, 0);
    } else {
        ownBuffer(out.m_half, effect.m_half);
        FX_TRACE("TFxBasic::procOutput", "- blending 4...") << opacity;
        blendAlpha(mix.m_half, effect.m_half, mask, out.m_half, opacity, 0);
    }
    ownBuffer(out.m_c1, effect.m_c1);
    FX_TRACE("TFxBasic::procOutput", "- blending 5...")
        << mix.m_c1.cols << mix.m_c1.rows << effect.m_c1.cols << effect.m_c1.rows;
    blendOrCopy(mix.m_c1, effect.m_c1, mask, out.m_c1, opacity);
    ownBuffer(out.m_c2, effect.m_c2);
    FX_TRACE("TFxBasic::procOutput", "- blending 6...") << opacity;
    blendOrCopy(mix.m_c2, effect.m_c2, mask, out.m_c2, opacity);
    ownBuffer(out.m_p4, effect.m_p4);
    FX_TRACE("TFxBasic::procOutput", "- blending 7...") << opacity;
    blendOrCopy(mix.m_p4, effect.m_p4, mask, out.m_p4, opacity);
}
