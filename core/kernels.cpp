#include "kernels.h"

#include "coretrace.h"
#include "planepool.h"
#include "qximproca.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
using CoreTrace::fail;

bool bPlaneType(int type) { return type == CV_8UC1 || type == CV_16UC1; }

// Keeps a destination of the right size and type as it is (shared or not: the kernels
// write in place); anything else gets a fresh pooled buffer. False when that cannot be had.
bool ensureSize(cv::Mat &dst, int rows, int cols, int type)
{
    if (dst.dims == 2 && dst.rows == rows && dst.cols == cols && dst.type() == type)
        return true;
    dst.release();
    dst.allocator = PlanePool::allocator();
    try {
        dst.create(rows, cols, type);
    } catch (const cv::Exception &) {
        return false;
    }
    return true;
}

// True when the pixels of a and b overlap in memory, so that writing one changes the other.
bool bOverlap(const cv::Mat &a, const cv::Mat &b)
{
    if (a.empty() || b.empty())
        return false;
    return a.datastart < b.dataend && b.datastart < a.dataend;
}

// One row of 2x2 averages. An odd last column and an odd last row pass the same sample
// twice, which gives exactly the rounded average of the samples that exist:
// (2a + 2b + 2) >> 2 == (a + b + 1) >> 1.
template <typename T> void downRow(const T *s0, const T *s1, T *__restrict d, int srcCols)
{
    const int pairs = srcCols / 2;
    for (int x = 0; x < pairs; ++x) {
        const unsigned sum = unsigned(s0[2 * x]) + s0[2 * x + 1] + s1[2 * x] + s1[2 * x + 1];
        d[x] = T((sum + 2) >> 2);
    }
    if (srcCols & 1) {
        const int last = srcCols - 1;
        d[pairs] = T((2u * s0[last] + 2u * s1[last] + 2) >> 2);
    }
}

template <typename T> void downPlane(const cv::Mat &src, cv::Mat &dst)
{
    for (int y = 0; y < dst.rows; ++y) {
        const T *s0 = src.ptr<T>(2 * y);
        const T *s1 = src.ptr<T>(std::min(2 * y + 1, src.rows - 1));
        downRow(s0, s1, dst.ptr<T>(y), src.cols);
    }
}

// Vertical step of the centre-aligned enlargement: near is the source row the output row
// lies in, far the neighbour it leans toward. The result is four times the interpolated
// value, padded with one repeated sample at each end so the horizontal step needs no tests.
template <typename T> void upVertical(const T *near, const T *far, unsigned *__restrict padded, int cols)
{
    unsigned *v = padded + 1;
    for (int x = 0; x < cols; ++x)
        v[x] = 3u * near[x] + far[x];
    padded[0] = v[0];
    v[cols] = v[cols - 1];
}

// Horizontal step: output 2x leans left, 2x+1 right, weights 3/4 and 1/4 in each
// direction, so the sum is sixteen times the value and rounds exactly with + 8 >> 4.
template <typename T> void upHorizontal(const unsigned *padded, T *__restrict d, int dstCols)
{
    const unsigned *v = padded + 1;
    const int pairs = dstCols / 2;
    for (int x = 0; x < pairs; ++x) {
        d[2 * x] = T((3u * v[x] + v[x - 1] + 8) >> 4);
        d[2 * x + 1] = T((3u * v[x] + v[x + 1] + 8) >> 4);
    }
    if (dstCols & 1)
        d[dstCols - 1] = T((3u * v[pairs] + v[pairs - 1] + 8) >> 4);
}

template <typename T> void upBilinear(const cv::Mat &src, cv::Mat &dst)
{
    std::vector<unsigned> padded(std::size_t(src.cols) + 2);
    for (int y = 0; y < dst.rows; ++y) {
        const int near = y / 2;
        const int far = std::clamp(y & 1 ? near + 1 : near - 1, 0, src.rows - 1);
        upVertical(src.ptr<T>(near), src.ptr<T>(far), padded.data(), src.cols);
        upHorizontal(padded.data(), dst.ptr<T>(y), dst.cols);
    }
}

// Output (x, y) sits at (x / 2 - 0.25, y / 2 - 0.25) in the source; the nearest sample
// is (x / 2, y / 2).
template <typename T> void upNearest(const cv::Mat &src, cv::Mat &dst)
{
    for (int y = 0; y < dst.rows; ++y) {
        const T *s = src.ptr<T>(y / 2);
        T *d = dst.ptr<T>(y);
        for (int x = 0; x < dst.cols; ++x)
            d[x] = s[x / 2];
    }
}

// The weight opacity * mask / 255 in float: exact for 0 and for a full weight, so that
// those give mix and effect unchanged; in between the rounded result can differ from the
// exactly rounded value by one, and only when that value lies within float precision
// (about 1/100 of a level at 65535) of a half. The loops read each sample before writing
// the same index, which is why dst may be mix or effect itself; ivdep keeps the compiler
// from falling back to scalar code when it sees them overlap.
// Blending is the hot loop of every masked edit; with AVX2 it runs twice as wide. Both versions
// do the same float operations in the same order (AVX2 brings no fused multiply-add), so they
// give identical results. Not under the thread sanitizer, whose runtime is not ready when the
// version is picked.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define FX_BLEND_WIDE __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define FX_BLEND_WIDE
#endif

template <typename T>
FX_BLEND_WIDE void blendRow(const T *mix, const T *effect, const unsigned char *mask, T *d, int cols, float opacity)
{
    if (mask) {
        const float scale = opacity / 255.0f;
#pragma GCC ivdep
        for (int x = 0; x < cols; ++x) {
            const float m = float(mix[x]);
            d[x] = T(int(m + (float(effect[x]) - m) * (float(mask[x]) * scale) + 0.5f));
        }
    } else {
#pragma GCC ivdep
        for (int x = 0; x < cols; ++x) {
            const float m = float(mix[x]);
            d[x] = T(int(m + (float(effect[x]) - m) * opacity + 0.5f));
        }
    }
}

template <typename T>
void blendPlane(const cv::Mat &mix, const cv::Mat &effect, const cv::Mat &mask, cv::Mat &dst, float opacity)
{
    for (int y = 0; y < dst.rows; ++y) {
        const unsigned char *m = mask.empty() ? nullptr : mask.ptr<unsigned char>(y);
        blendRow(mix.ptr<T>(y), effect.ptr<T>(y), m, dst.ptr<T>(y), dst.cols, opacity);
    }
}

}

bool downSize2X(const cv::Mat &src, cv::Mat &dst, int mode)
{
    if (mode != 4)
        return fail("downSize2X", __LINE__, "unknown mode");
    if (src.dims != 2 || !bPlaneType(src.type()))
        return fail("downSize2X", __LINE__, "source must be one 8- or 16-bit channel");
    if (src.empty())
        return fail("downSize2X", __LINE__, "empty source");
    // A header of our own keeps the source alive when dst is the same matrix; a copy keeps
    // it intact when dst overlaps it and is written in place.
    cv::Mat source = bOverlap(src, dst) ? src.clone() : src;
    if (!ensureSize(dst, (source.rows + 1) / 2, (source.cols + 1) / 2, source.type()))
        return fail("downSize2X", __LINE__, "cannot allocate the destination");
    if (source.depth() == CV_8U)
        downPlane<unsigned char>(source, dst);
    else
        downPlane<unsigned short>(source, dst);
    return true;
}

bool upSize2X(const cv::Mat &src, cv::Mat &dst, int mode)
{
    if (mode != 1 && mode != 2)
        return fail("upSize2X", __LINE__, "unknown mode");
    if (src.dims != 2 || !bPlaneType(src.type()))
        return fail("upSize2X", __LINE__, "source must be one 8- or 16-bit channel");
    if (src.empty())
        return fail("upSize2X", __LINE__, "empty source");
    cv::Mat source = bOverlap(src, dst) ? src.clone() : src;
    const bool keepRows = dst.rows == 2 * source.rows || dst.rows == 2 * source.rows - 1;
    const bool keepCols = dst.cols == 2 * source.cols || dst.cols == 2 * source.cols - 1;
    if (!(dst.dims == 2 && dst.type() == source.type() && keepRows && keepCols)
        && !ensureSize(dst, 2 * source.rows, 2 * source.cols, source.type()))
        return fail("upSize2X", __LINE__, "cannot allocate the destination");
    const bool bit8 = source.depth() == CV_8U;
    if (mode == 1) {
        if (bit8)
            upNearest<unsigned char>(source, dst);
        else
            upNearest<unsigned short>(source, dst);
    } else {
        if (bit8)
            upBilinear<unsigned char>(source, dst);
        else
            upBilinear<unsigned short>(source, dst);
    }
    return true;
}

bool blendAlpha(const cv::Mat &mix, const cv::Mat &effect, const cv::Mat &mask, cv::Mat &dst, float opacity, int mode)
{
    if (mode != 0)
        return fail("blendAlpha", __LINE__, "unknown mode");
    if (mix.dims != 2 || !bPlaneType(mix.type()) || effect.type() != mix.type())
        return fail("blendAlpha", __LINE__, "mix and effect must be one 8- or 16-bit channel of one depth");
    if (mix.empty() || mix.size != effect.size)
        return fail("blendAlpha", __LINE__, "mix and effect must be non-empty and of one size");
    if (!mask.empty() && (mask.type() != CV_8UC1 || mask.size != mix.size))
        return fail("blendAlpha", __LINE__, "mask must be empty or 8-bit of the size of mix");
    if (std::isnan(opacity))
        return fail("blendAlpha", __LINE__, "opacity is not a number");
    opacity = std::clamp(opacity, 0.0f, 1.0f);
    // Headers of our own keep the inputs alive if dst is one of them and gets a new buffer.
    const cv::Mat mixIn = mix;
    const cv::Mat effectIn = effect;
    const cv::Mat maskIn = mask;
    if (!ensureSize(dst, mixIn.rows, mixIn.cols, mixIn.type()))
        return fail("blendAlpha", __LINE__, "cannot allocate the destination");
    if (mixIn.depth() == CV_8U)
        blendPlane<unsigned char>(mixIn, effectIn, maskIn, dst, opacity);
    else
        blendPlane<unsigned short>(mixIn, effectIn, maskIn, dst, opacity);
    return true;
}

bool blendC(const unsigned char *src, int srcStep, unsigned char *dst, int dstStep, int w, int h, float value)
{
    if (!src || !dst)
        return fail("blendC", __LINE__, "null buffer");
    if (w < 0 || h < 0 || (h > 1 && (srcStep < w || dstStep < w)))
        return fail("blendC", __LINE__, "bad size or step");
    if (std::isnan(value))
        return fail("blendC", __LINE__, "value is not a number");
    // 256 possible inputs: a table gives the exactly rounded product at one load a sample.
    unsigned char table[256];
    table[0] = 0;
    for (int i = 1; i < 256; ++i) {
        const double product = std::floor(double(i) * double(value) + 0.5);
        table[i] = static_cast<unsigned char>(std::clamp(product, 0.0, 255.0));
    }
    for (int y = 0; y < h; ++y) {
        const unsigned char *s = src + std::ptrdiff_t(y) * srcStep;
        unsigned char *d = dst + std::ptrdiff_t(y) * dstStep;
        if (value == 1.0f) {
            std::memmove(d, s, std::size_t(w));
            continue;
        }
        for (int x = 0; x < w; ++x)
            d[x] = table[s[x]];
    }
    return true;
}
