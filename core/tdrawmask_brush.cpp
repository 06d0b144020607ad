// Brush dabs and strokes, and the colour similarity that colour-sensitive painting and the
// super-mask weigh pixels by.
//
// A stroke keeps, per pixel it has reached, the mask value it found there and the strongest
// coverage any of its dabs gave the pixel; the pixel is always recomputed from those two. So
// dabs that overlap within one stroke never paint twice over (no darker blobs along the
// path), while separate strokes (or dabs outside a stroke) build up by their flow each time.
#include "coretrace.h"
#include "tdrawmask_p.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <xmmintrin.h>

using CoreTrace::fail;
using DrawMask::Colour;
using DrawMask::Command;
using DrawMask::tilePixels;
using DrawMask::tileSize;

namespace {

// Colours closer than about this (in the units of Colour) count as alike: a similarity of
// 1/e at this distance. Sky and roof, or skin and shirt, are several times further apart;
// the shading within one surface is closer.
constexpr float similarityWidth = 0.12f;
// Luma differs across one surface by shading alone, so it counts half as much as colour.
constexpr float lumaWeight = 0.5f;

// exp(-x) for x = 0 .. 16 in steps of 1/64; beyond 16 the weight is taken as 0.
constexpr int expSteps = 64;
constexpr int expEntries = 16 * expSteps + 1;

const std::array<float, expEntries> &expTable()
{
    static const std::array<float, expEntries> table = [] {
        std::array<float, expEntries> t {};
        for (int i = 0; i < expEntries - 1; ++i)
            t[std::size_t(i)] = float(std::exp(-double(i) / expSteps));
        t[expEntries - 1] = 0.0f;
        return t;
    }();
    return table;
}

inline float weightOfDistance(float d2, const std::array<float, expEntries> &table)
{
    const float x = d2 * (expSteps / (similarityWidth * similarityWidth)) + 0.5f;
    return x < float(expEntries - 1) ? table[std::size_t(int(x))] : 0.0f;
}

inline float lumaOf(unsigned short v) { return float(v) * (1.0f / 65535.0f); }
inline float chromaOf(unsigned short v) { return (float(v) - 32768.0f) * (1.0f / 32767.5f); }

inline float distance2(const Colour &a, float luma, float c1, float c2)
{
    const float dl = a.luma - luma, d1 = a.c1 - c1, d2 = a.c2 - c2;
    return lumaWeight * dl * dl + d1 * d1 + d2 * d2;
}

// Dab weights along one row: 1 within inRadius, a smoothstep from there down to 0 at the
// radius. dx0 is the first pixel's horizontal distance from the centre, dy2 the squared
// vertical one; invWidth is 1 / (radius - inRadius), 0 for a hard brush.
void dabRow(float *out, int count, float dx0, float dy2, float inRadius, float invWidth)
{
    const __m128 step = _mm_set_ps(3.0f, 2.0f, 1.0f, 0.0f);
    const __m128 vdy2 = _mm_set1_ps(dy2), vin = _mm_set1_ps(inRadius), vinv = _mm_set1_ps(invWidth);
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), two = _mm_set1_ps(2.0f), three = _mm_set1_ps(3.0f);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 dx = _mm_add_ps(_mm_set1_ps(dx0 + float(i)), step);
        const __m128 r = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(dx, dx), vdy2));
        const __m128 t = _mm_min_ps(one, _mm_max_ps(zero, _mm_mul_ps(_mm_sub_ps(r, vin), vinv)));
        const __m128 s = _mm_mul_ps(_mm_mul_ps(t, t), _mm_sub_ps(three, _mm_mul_ps(two, t)));
        _mm_storeu_ps(out + i, _mm_sub_ps(one, s));
    }
    for (; i < count; ++i) {
        const float dx = dx0 + float(i);
        const float t = std::clamp((std::sqrt(dx * dx + dy2) - inRadius) * invWidth, 0.0f, 1.0f);
        out[i] = 1.0f - t * t * (3.0f - 2.0f * t);
    }
}

// One tile's part of a row: each pixel's stroke coverage rises to the dab's where that is
// stronger, and the pixel becomes its value at stroke start moved toward the blend mode's
// full result by that coverage. Written for every pixel (an unchanged coverage gives the same
// value again), so that the loop has no branches and the compiler vectorises it.
template <int Mode>
void composeSpan(const unsigned char *base, std::uint16_t *cover, const std::uint16_t *fresh, unsigned char *out,
    int count, int target)
{
    for (int u = 0; u < count; ++u) {
        const std::uint16_t c = std::max(cover[u], fresh[u]);
        cover[u] = c;
        const int b = base[u], full = DrawMask::blendFull<Mode>(b, target);
        out[u] = static_cast<unsigned char>(int(float(b) + float(full - b) * (float(c) * (1.0f / 65535.0f)) + 0.5f));
    }
}

}

// --- colour ------------------------------------------------------------------------------------

Colour DrawMask::pickColour(const cv::Mat &lum, const cv::Mat &c1, const cv::Mat &c2, int x, int y)
{
    const auto mean = [](const cv::Mat &plane, int cx, int cy, int reach) {
        const int x0 = std::max(0, cx - reach), x1 = std::min(plane.cols - 1, cx + reach);
        const int y0 = std::max(0, cy - reach), y1 = std::min(plane.rows - 1, cy + reach);
        double sum = 0;
        for (int yy = y0; yy <= y1; ++yy)
            for (int xx = x0; xx <= x1; ++xx)
                sum += plane.at<unsigned short>(yy, xx);
        return float(sum / double((x1 - x0 + 1) * (y1 - y0 + 1)));
    };
    Colour c;
    c.luma = mean(lum, x, y, 2) * (1.0f / 65535.0f);
    c.c1 = (mean(c1, x / 2, y / 2, 1) - 32768.0f) * (1.0f / 32767.5f);
    c.c2 = (mean(c2, x / 2, y / 2, 1) - 32768.0f) * (1.0f / 32767.5f);
    return c;
}

void DrawMask::similarityRow(const cv::Mat &lum, const cv::Mat &c1, const cv::Mat &c2, int y, int x0, int count,
    const Colour &reference, float *weights)
{
    const auto &table = expTable();
    const unsigned short *l = lum.ptr<unsigned short>(y);
    const unsigned short *u = c1.ptr<unsigned short>(y / 2);
    const unsigned short *v = c2.ptr<unsigned short>(y / 2);
    for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        weights[i]
            = weightOfDistance(distance2(reference, lumaOf(l[x]), chromaOf(u[x / 2]), chromaOf(v[x / 2])), table);
    }
}

void TDrawMask::Private::pickColourAt(const cv::Point &pos)
{
    if (pos.x < 0 || pos.y < 0 || pos.x >= width || pos.y >= height) {
        fail("TDrawMask::cmdSetColorPicker", __LINE__, "position outside the picture");
        return;
    }
    picked = DrawMask::pickColour(lum, c1, c2, pos.x, pos.y);
    bPicked = true;
}

// --- dabs --------------------------------------------------------------------------------------

void TDrawMask::Private::endSession()
{
    for (int index : sessionTiles)
        sessionSlot[std::size_t(index)] = -1;
    sessionTiles.clear();
    bSession = false;
    // A stroke over a large area leaves many slots; keep enough for ordinary strokes only.
    if (slots.size() > 256) {
        slots.resize(256);
        slots.shrink_to_fit();
    }
}

void TDrawMask::Private::dot(const Command &c)
{
    if (!std::isfinite(c.f0)) {
        fail("TDrawMask::cmdDrawADot", __LINE__, "flow is not a finite number");
        return;
    }
    const int radius = c.i0;
    const float flow = std::clamp(c.f0, 0.0f, 1.0f);
    if (radius <= 0 || flow <= 0.0f)
        return;
    const int inRadius = std::clamp(c.i1, 0, radius);
    // Pixels strictly closer than the radius are painted.
    const std::int64_t cx = c.a.x, cy = c.a.y, reach = radius - 1;
    const int x0 = int(std::max<std::int64_t>(0, cx - reach)), x1 = int(std::min<std::int64_t>(width - 1, cx + reach));
    const int y0 = int(std::max<std::int64_t>(0, cy - reach)), y1 = int(std::min<std::int64_t>(height - 1, cy + reach));
    if (x0 > x1 || y0 > y1)
        return;

    if (!bSession || sessionTarget != c.value || sessionMode != blendMode) {
        // A new target or blend mode starts a new stroke (within the same undo step).
        endSession();
        bSession = true;
        sessionTarget = c.value;
        sessionMode = blendMode;
    }
    prepare(cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1));

    Colour reference;
    if (c.b0)
        reference = c.b1 && bPicked ? picked
                                    : DrawMask::pickColour(lum, c1, c2, int(std::clamp<std::int64_t>(cx, 0, width - 1)),
                                        int(std::clamp<std::int64_t>(cy, 0, height - 1)));
    const float invWidth = radius > inRadius ? 1.0f / float(radius - inRadius) : 0.0f;
    const float scale = 65535.0f * flow;
    const std::size_t span = std::size_t(x1 - x0 + 1);
    if (rowWeights.size() < span) {
        rowWeights.resize(span);
        rowSimilarity.resize(span);
        rowCover.resize(span);
    }
    const std::int64_t r2 = std::int64_t(radius) * radius;
    for (int y = y0; y <= y1; ++y) {
        const std::int64_t dy = y - cy, rest = r2 - dy * dy;
        if (rest <= 0)
            continue;
        std::int64_t chord = std::int64_t(std::sqrt(double(rest)));
        while (chord * chord >= rest)
            --chord;
        while ((chord + 1) * (chord + 1) < rest)
            ++chord;
        const int xs = int(std::max<std::int64_t>(x0, cx - chord)), xe = int(std::min<std::int64_t>(x1, cx + chord));
        if (xs > xe)
            continue;
        const int count = xe - xs + 1;
        dabRow(rowWeights.data(), count, float(xs - cx), float(dy * dy), float(inRadius), invWidth);
        if (c.b0) {
            DrawMask::similarityRow(lum, c1, c2, y, xs, count, reference, rowSimilarity.data());
            for (int i = 0; i < count; ++i)
                rowWeights[std::size_t(i)] *= rowSimilarity[std::size_t(i)];
        }
        for (int i = 0; i < count; ++i)
            rowCover[std::size_t(i)] = static_cast<std::uint16_t>(rowWeights[std::size_t(i)] * scale + 0.5f);

        const int ty = y / tileSize, ly = y - ty * tileSize;
        unsigned char *maskRow = mask.ptr(y);
        for (int tx = xs / tileSize; tx <= xe / tileSize; ++tx) {
            const int index = ty * tilesX + tx;
            int slot = sessionSlot[std::size_t(index)];
            if (slot < 0) {
                slot = int(sessionTiles.size());
                if (slots.size() <= std::size_t(slot))
                    slots.push_back({ std::vector<unsigned char>(tilePixels), std::vector<std::uint16_t>(tilePixels) });
                DrawMask::StrokeTile &fresh = slots[std::size_t(slot)];
                const cv::Rect r = tileRect(index);
                for (int yy = 0; yy < r.height; ++yy)
                    std::memcpy(fresh.base.data() + yy * tileSize, mask.ptr(r.y + yy) + r.x, std::size_t(r.width));
                std::fill(fresh.cover.begin(), fresh.cover.end(), std::uint16_t(0));
                sessionSlot[std::size_t(index)] = slot;
                sessionTiles.push_back(index);
            }
            DrawMask::StrokeTile &tile = slots[std::size_t(slot)];
            // This tile's part of the row, in the tile's own columns.
            const int origin = tx * tileSize;
            const int left = std::max(xs, origin) - origin, right = std::min(xe, origin + tileSize - 1) - origin;
            DrawMask::withBlendMode(sessionMode, [&](auto mode) {
                composeSpan<decltype(mode)::value>(tile.base.data() + ly * tileSize + left,
                    tile.cover.data() + ly * tileSize + left, rowCover.data() + (origin + left - xs),
                    maskRow + origin + left, right - left + 1, sessionTarget);
            });
        }
    }
}
