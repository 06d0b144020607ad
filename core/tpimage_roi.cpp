// View sampling (MatRoi) and the full-luminance rebuild of TPImage.
#include "blockaverage.h"
#include "coretrace.h"
#include "kernels.h"
#include "planepool.h"
#include "qximproca.h"
#include "tpimage.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
using CoreTrace::fail;

int clampInt(std::int64_t v, int lo, int hi) { return int(std::clamp<std::int64_t>(v, lo, hi)); }

std::int64_t floorHalf(int v) { return v >= 0 ? v / 2 : -((std::int64_t(-v) + 1) / 2); }

// A sampling job: the result is rows x cols; result sample (i, j) stands for the dec x dec
// block of the source starting at (x0 + j * dec, y0 + i * dec).
struct Sampling {
    std::int64_t x0;
    std::int64_t y0;
    int cols;
    int rows;
    int dec;
};

int sourceRow(const cv::Mat &src, const Sampling &s, int i, int offset)
{
    return clampInt(s.y0 + std::int64_t(i) * s.dec + offset, 0, src.rows - 1);
}

// dec 1: rows of the source, with the edge sample repeated where the region leaves it.
template <typename T> void copyClamped(const cv::Mat &src, cv::Mat &dst, const Sampling &s)
{
    const int n = s.cols;
    const int left = clampInt(-s.x0, 0, n);
    const int middleEnd = std::max(left, clampInt(src.cols - s.x0, 0, n));
    for (int i = 0; i < s.rows; ++i) {
        const T *row = src.ptr<T>(sourceRow(src, s, i, 0));
        T *out = dst.ptr<T>(i);
        std::fill(out, out + left, row[0]);
        if (middleEnd > left)
            std::memcpy(out + left, row + (s.x0 + left), sizeof(T) * std::size_t(middleEnd - left));
        std::fill(out + middleEnd, out + n, row[src.cols - 1]);
    }
}

template <typename T> void sample(const cv::Mat &src, cv::Mat &dst, const Sampling &s)
{
    if (s.dec == 1)
        copyClamped<T>(src, dst, s);
    else
        BlockAverage::average(src, dst, s.x0, s.y0, s.dec);
}

}

cv::Mat TPImage::MatRoi(const cv::Mat &mat, int x, int y, int w, int h, int dec, bool colourPlane, bool fast)
{
    cv::Mat result;
    MatRoi(mat, result, x, y, w, h, dec, colourPlane, fast);
    return result;
}

bool TPImage::MatRoi(const cv::Mat &mat, cv::Mat &dst, int x, int y, int w, int h, int dec, bool colourPlane, bool fast)
{
    // Every block is averaged whole on either path: sampling a few points of each block made
    // fine textures fold back as moire that the picture does not have.
    (void)fast;
    // Our own header: dst may be mat itself, and then must not take over its buffer.
    const cv::Mat source = mat;
    if (!source.empty() && (source.dims != 2 || (source.type() != CV_8UC1 && source.type() != CV_16UC1)))
        return fail("TPImage::MatRoi", __LINE__, "plane must be one 8- or 16-bit channel");
    if (w <= 0 || h <= 0) {
        dst.release();
        return true;
    }
    Sampling s;
    s.dec = std::clamp(dec, 1, 32);
    s.x0 = colourPlane ? floorHalf(x) : x;
    s.y0 = colourPlane ? floorHalf(y) : y;
    s.cols = colourPlane ? int((std::int64_t(w) + 1) / 2) : w;
    s.rows = colourPlane ? int((std::int64_t(h) + 1) / 2) : h;
    if (std::int64_t(s.cols) * s.rows > INT_MAX / 4)
        return fail("TPImage::MatRoi", __LINE__, "region too large");
    const int type = source.empty() ? CV_16UC1 : source.type();
    try {
        PlanePool::createOwned(dst, s.rows, s.cols, type);
    } catch (const cv::Exception &) {
        return fail("TPImage::MatRoi", __LINE__, "cannot allocate the result");
    }
    if (source.empty()) {
        dst.setTo(cv::Scalar::all(0));
        return true;
    }
    if (source.depth() == CV_8U)
        sample<unsigned char>(source, dst, s);
    else
        sample<unsigned short>(source, dst, s);
    return true;
}

namespace {

// One row of half - factor * down(full) at half resolution, padded with the edge value at
// both ends so that the enlargement needs no tests.
void differenceRow(const unsigned short *half, const unsigned short *down, float factor, float *padded, int cols)
{
    float *d = padded + 1;
    for (int x = 0; x < cols; ++x)
        d[x] = float(half[x]) - factor * float(down[x]);
    padded[0] = d[0];
    d[cols] = d[cols - 1];
}

// Rounds half up and clamps to 16 bits. Written as two selects on the value plus one half
// (not std::clamp of the value) so that the compiler turns the row loop into vector code.
inline unsigned short roundToSample(float valuePlusHalf)
{
    valuePlusHalf = valuePlusHalf < 0.0f ? 0.0f : valuePlusHalf;
    valuePlusHalf = valuePlusHalf > 65535.0f ? 65535.0f : valuePlusHalf;
    return static_cast<unsigned short>(int(valuePlusHalf));
}

// One full-resolution row: the centre-aligned bilinear enlargement of the difference rows
// (near the row the output lies in, far the neighbour it leans toward) plus factor * full.
void rebuildRow(const float *near, const float *far, const unsigned short *full, float factor,
    float *__restrict vertical, unsigned short *__restrict out, int halfCols, int cols)
{
    for (int x = 0; x < halfCols + 2; ++x)
        vertical[x] = 0.75f * near[x] + 0.25f * far[x];
    const float *v = vertical + 1;
    const int pairs = cols / 2;
    for (int x = 0; x < pairs; ++x) {
        const float centre = 0.75f * v[x] + 0.5f;
        out[2 * x] = roundToSample(centre + 0.25f * v[x - 1] + factor * float(full[2 * x]));
        out[2 * x + 1] = roundToSample(centre + 0.25f * v[x + 1] + factor * float(full[2 * x + 1]));
    }
    if (cols & 1)
        out[cols - 1] = roundToSample(0.75f * v[pairs] + 0.5f + 0.25f * v[pairs - 1] + factor * float(full[cols - 1]));
}

// out = up(half - factor * down(full)) + factor * full, band by band. The enlargement is
// linear, so this equals up(half) + factor * (full - up(down(full))), and it needs only three
// rows of the half-resolution difference (k - 1, k and k + 1, in a ring) instead of any
// full-size temporary.
void rebuildFromDifference(const cv::Mat &full, const cv::Mat &half, cv::Mat &out, float factor)
{
    const int halfCols = half.cols;
    const std::size_t paddedCols = std::size_t(halfCols) + 2;
    std::vector<float> scratch(4 * paddedCols);
    float *ring[3] = { scratch.data(), scratch.data() + paddedCols, scratch.data() + 2 * paddedCols };
    float *vertical = scratch.data() + 3 * paddedCols;
    // One row of down(full), sized here so that downSize2X only ever writes into it.
    cv::Mat down(1, halfCols, CV_16UC1);
    const auto computeDifference = [&](int k) {
        downSize2X(full.rowRange(2 * k, std::min(2 * k + 2, full.rows)), down, 4);
        differenceRow(half.ptr<unsigned short>(k), down.ptr<unsigned short>(0), factor, ring[k % 3], halfCols);
    };
    computeDifference(0);
    for (int k = 0; k < half.rows; ++k) {
        if (k + 1 < half.rows)
            computeDifference(k + 1);
        const float *previous = ring[std::max(k - 1, 0) % 3];
        const float *current = ring[k % 3];
        const float *next = ring[std::min(k + 1, half.rows - 1) % 3];
        for (int parity = 0; parity < 2 && 2 * k + parity < full.rows; ++parity) {
            const int row = 2 * k + parity;
            rebuildRow(current, parity ? next : previous, full.ptr<unsigned short>(row), factor, vertical,
                out.ptr<unsigned short>(row), halfCols, full.cols);
        }
    }
}

}

bool TPImage::reconstructFull(const cv::Mat &full, const cv::Mat &half, cv::Mat &out, float factor, float eps)
{
    if (full.type() != CV_16UC1 || half.type() != CV_16UC1 || full.dims != 2 || half.dims != 2 || full.empty())
        return fail("TPImage::reconstructFull", __LINE__, "planes must be non-empty 16-bit single channel");
    if (half.rows != (full.rows + 1) / 2 || half.cols != (full.cols + 1) / 2)
        return fail("TPImage::reconstructFull", __LINE__, "half must be the rounded-up half of full");
    if (!std::isfinite(factor))
        return fail("TPImage::reconstructFull", __LINE__, "factor is not finite");
    // Headers of our own: if out shares a buffer with full or half, createOwned then gives
    // it a new one instead of writing over the input being read.
    const cv::Mat fullIn = full;
    const cv::Mat halfIn = half;
    try {
        PlanePool::createOwned(out, fullIn.rows, fullIn.cols, CV_16UC1);
    } catch (const cv::Exception &) {
        return fail("TPImage::reconstructFull", __LINE__, "cannot allocate the result");
    }
    if (std::abs(factor) < eps)
        return upSize2X(halfIn, out, 2);

    rebuildFromDifference(fullIn, halfIn, out, factor);
    return true;
}
