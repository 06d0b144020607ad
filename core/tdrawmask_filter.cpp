// Edge-aware feathering of the mask: a guided filter with the picture's luminance as guide.
//
// Within each window the filter fits the mask as a linear function of the luminance
// (q = a * I + b) and averages the fits of all windows that cover a pixel. Where the window
// holds a luminance edge, the fit follows the edge, so a mask painted roughly over an object
// snaps to the object's outline instead of being blurred across it, as a plain blur would.
// A contrast curve around one half then sharpens what the fit left undecided.
//
// Everything runs on this thread with running box sums: each box mean costs the same whatever
// the radius. The filter streams down the picture: the window sums of the first stage feed a
// ring of fitted rows just deep enough for the second stage's window, so no full-size float
// plane is ever needed.
#include "coretrace.h"
#include "planepool.h"
#include "tdrawmask_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using CoreTrace::fail;

namespace {

// Beyond this radius the ring of fitted rows would grow past what a feather is worth.
constexpr int maxRadius = 256;

// out[x] = the sum of col over [x - r, x + r], cut at the ends.
template <typename T> void windowSums(const T *col, T *out, int w, int r)
{
    T sum = 0;
    for (int x = 0; x < std::min(r, w); ++x)
        sum += col[x];
    for (int x = 0; x < w; ++x) {
        if (x + r < w)
            sum += col[x + r];
        if (x - r - 1 >= 0)
            sum -= col[x - r - 1];
        out[x] = sum;
    }
}

int windowCount(int at, int r, int n) { return std::min(n - 1, at + r) - std::max(0, at - r) + 1; }

struct Sums {
    explicit Sums(int w)
        : i(std::size_t(w))
        , p(std::size_t(w))
        , ii(std::size_t(w))
        , ip(std::size_t(w))
    {
    }
    std::vector<std::int64_t> i, p, ii, ip;
};

// Adds (sign 1) or removes (sign -1) one row of guide and mask from the column sums. Integer
// sums are exact, so adding and removing rows down the whole picture never drifts.
void addRow(Sums &s, const unsigned short *guide, const unsigned char *mask, int w, int sign)
{
    for (int x = 0; x < w; ++x) {
        const std::int64_t g = guide[x], m = mask[x];
        s.i[std::size_t(x)] += sign * g;
        s.p[std::size_t(x)] += sign * m;
        s.ii[std::size_t(x)] += sign * g * g;
        s.ip[std::size_t(x)] += sign * g * m;
    }
}

}

void TDrawMask::Private::postFilter(float radius, float eps, float contrast, float strength)
{
    if (!std::isfinite(radius) || !std::isfinite(eps) || !std::isfinite(contrast) || !std::isfinite(strength)) {
        fail("TDrawMask::cmdPostFilter", __LINE__, "arguments must be finite numbers");
        return;
    }
    // No mask means the effect applies everywhere: a constant that feathering leaves alone.
    strength = std::clamp(strength, 0.0f, 1.0f);
    if (mask.empty() || strength <= 0.0f || radius < 0.5f)
        return;
    const int w = width, h = height;
    const int r = std::min({ int(std::lround(std::min(radius, float(maxRadius)))), std::max(w, h) });
    const double epsilon = std::max(double(eps), 1e-8);
    const float gain = std::max(0.0f, 1.0f + contrast);

    // Rows of a and b alive at once: those of the second stage's window and one more.
    const int ringRows = std::min(2 * r + 2, h);
    try {
        PlanePool::createOwned(filtered, h, w, CV_8UC1);
        PlanePool::createOwned(filterRing, 2 * ringRows, w, CV_32FC1);
    } catch (const cv::Exception &) {
        fail("TDrawMask::cmdPostFilter", __LINE__, "cannot allocate the filter's buffers");
        return;
    }
    const auto ringA = [&](int y) { return filterRing.ptr<float>(y % ringRows); };
    const auto ringB = [&](int y) { return filterRing.ptr<float>(ringRows + y % ringRows); };

    Sums column(w), window(w);
    const std::size_t columns = std::size_t(w);
    std::vector<double> sumA(columns), sumB(columns), windowA(columns), windowB(columns);
    std::vector<float> invCountX(columns);
    for (int x = 0; x < w; ++x)
        invCountX[std::size_t(x)] = 1.0f / float(windowCount(x, r, w));
    for (int y = 0; y < std::min(r, h); ++y)
        addRow(column, lum.ptr<unsigned short>(y), mask.ptr(y), w, 1);

    const double scaleI = 1.0 / 65535.0, scaleP = 1.0 / 255.0;
    for (int y = 0; y < h + r; ++y) {
        if (y < h) {
            // First stage: the window statistics around row y and the fit (a, b) of each window.
            if (y + r < h)
                addRow(column, lum.ptr<unsigned short>(y + r), mask.ptr(y + r), w, 1);
            if (y - r - 1 >= 0)
                addRow(column, lum.ptr<unsigned short>(y - r - 1), mask.ptr(y - r - 1), w, -1);
            windowSums(column.i.data(), window.i.data(), w, r);
            windowSums(column.p.data(), window.p.data(), w, r);
            windowSums(column.ii.data(), window.ii.data(), w, r);
            windowSums(column.ip.data(), window.ip.data(), w, r);
            const double invCountY = 1.0 / windowCount(y, r, h);
            float *a = ringA(y), *b = ringB(y);
            for (int x = 0; x < w; ++x) {
                const double n = invCountY * invCountX[std::size_t(x)];
                const double mi = double(window.i[std::size_t(x)]) * n * scaleI;
                const double mp = double(window.p[std::size_t(x)]) * n * scaleP;
                const double variance = double(window.ii[std::size_t(x)]) * n * scaleI * scaleI - mi * mi;
                const double covariance = double(window.ip[std::size_t(x)]) * n * scaleI * scaleP - mi * mp;
                const double slope = covariance / (std::max(variance, 0.0) + epsilon);
                a[x] = float(slope);
                b[x] = float(mp - slope * mi);
            }
            for (int x = 0; x < w; ++x) {
                sumA[std::size_t(x)] += a[x];
                sumB[std::size_t(x)] += b[x];
            }
        }
        const int out = y - r;
        if (out < 0)
            continue;
        // Second stage: the mean fit over the windows covering row out, applied to the guide.
        if (out - r - 1 >= 0) {
            const float *oa = ringA(out - r - 1), *ob = ringB(out - r - 1);
            for (int x = 0; x < w; ++x) {
                sumA[std::size_t(x)] -= oa[x];
                sumB[std::size_t(x)] -= ob[x];
            }
        }
        windowSums(sumA.data(), windowA.data(), w, r);
        windowSums(sumB.data(), windowB.data(), w, r);
        const double invCountY = 1.0 / windowCount(out, r, h);
        const unsigned short *guide = lum.ptr<unsigned short>(out);
        const unsigned char *original = mask.ptr(out);
        unsigned char *result = filtered.ptr(out);
        for (int x = 0; x < w; ++x) {
            const double n = invCountY * invCountX[std::size_t(x)];
            const double q = windowA[std::size_t(x)] * n * (guide[x] * scaleI) + windowB[std::size_t(x)] * n;
            const float curved = std::clamp(0.5f + (float(q) - 0.5f) * gain, 0.0f, 1.0f);
            const float m = original[x];
            result[x] = static_cast<unsigned char>(int(m + (curved * 255.0f - m) * strength + 0.5f));
        }
    }
    filterRing.release();

    prepare(cv::Rect(0, 0, w, h));
    for (int y = 0; y < h; ++y)
        std::memcpy(mask.ptr(y), filtered.ptr(y), std::size_t(w));
    filtered.release();
}
