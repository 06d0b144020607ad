// Whole-mask edits: fill, invert, gradients and the colour-aware super-mask.
//
// Gradients and super-masks produce a painted value for every pixel of the picture (the blend
// value times the shape's weight there) and combine it with the mask at full strength through
// the blend mode: with BlendReplace the shape becomes the mask, with BlendMaximum it is added
// to what was painted before as a union, and so on.
#include "coretrace.h"
#include "tdrawmask_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using CoreTrace::fail;

namespace {

template <int Mode> void combineRow(unsigned char *row, const unsigned char *painted, int n)
{
    for (int x = 0; x < n; ++x)
        row[x] = static_cast<unsigned char>(DrawMask::blendFull<Mode>(row[x], painted[x]));
}

void combine(int mode, unsigned char *row, const unsigned char *painted, int n)
{
    DrawMask::withBlendMode(mode, [&](auto m) { combineRow<decltype(m)::value>(row, painted, n); });
}

inline unsigned char paintedValue(int value, float weight)
{
    return static_cast<unsigned char>(int(float(value) * std::clamp(weight, 0.0f, 1.0f) + 0.5f));
}

}

bool TDrawMask::Private::bShapeDraws(const DrawMask::Command &c) const
{
    if (c.kind == DrawMask::Command::Gradient) {
        if (c.i0 < GradientLinear || c.i0 > GradientMirrored)
            return fail(
                "TDrawMask::cmdDrawGradientMask", __LINE__, "type must be 0 (linear), 1 (radial) or 2 (mirrored)");
        return c.a != c.b;
    }
    if (!std::isfinite(c.f0) || !std::isfinite(c.f1) || !std::isfinite(c.f2) || !std::isfinite(c.f3))
        return fail("TDrawMask::cmdDrawSuperMask", __LINE__, "arguments must be finite numbers");
    return c.f0 > 0.0f;
}

void TDrawMask::Private::setValue(int value)
{
    prepare(cv::Rect(0, 0, width, height));
    for (int y = 0; y < height; ++y)
        std::memset(mask.ptr(y), value, std::size_t(width));
}

void TDrawMask::Private::invert()
{
    prepare(cv::Rect(0, 0, width, height));
    for (int y = 0; y < height; ++y) {
        unsigned char *row = mask.ptr(y);
        for (int x = 0; x < width; ++x)
            row[x] = static_cast<unsigned char>(255 - row[x]);
    }
}

// Linear: the blend value on the start side of the line through start (across the
// start-to-end direction), falling linearly to 0 at the parallel line through end and 0
// beyond. Mirrored: the blend value along the line through start, falling to 0 at the
// distance of end on both sides. Radial: the blend value at start, falling linearly to 0 at
// the distance |end - start| from it. The arguments were checked by bShapeDraws.
void TDrawMask::Private::gradient(const cv::Point &start, const cv::Point &end, int type)
{
    prepare(cv::Rect(0, 0, width, height));
    const double dx = double(end.x) - start.x, dy = double(end.y) - start.y, length2 = dx * dx + dy * dy;
    const double invLength = 1.0 / std::sqrt(length2);
    std::vector<unsigned char> painted(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        const double ry = double(y) - start.y;
        if (type == GradientRadial) {
            const float ry2 = float(ry * ry);
            for (int x = 0; x < width; ++x) {
                const float rx = float(double(x) - start.x);
                painted[std::size_t(x)] = paintedValue(blendValue, 1.0f - std::sqrt(rx * rx + ry2) * float(invLength));
            }
        } else {
            // t: 0 on the line through start, 1 on the one through end.
            const double t0 = (-double(start.x) * dx + ry * dy) / length2, step = dx / length2;
            for (int x = 0; x < width; ++x) {
                const float t = float(t0 + step * x);
                painted[std::size_t(x)] = paintedValue(blendValue, 1.0f - (type == GradientMirrored ? std::abs(t) : t));
            }
        }
        combine(blendMode, mask.ptr(y), painted.data(), width);
    }
}

// The weight of a pixel is its place in the shape (1 within size * hardness of the centre, a
// smoothstep down to 0 at size + featherSize) times its colour's likeness to the centre's
// colour, the latter mixed in by colorAware (0: colour ignored, 1: fully weighed). Inverted,
// the weight is one minus that. The arguments were checked by bShapeDraws.
void TDrawMask::Private::superMask(const DrawMask::Command &c)
{
    const float size = c.f0;
    const float inner = size * std::clamp(c.f1, 0.0f, 1.0f), outer = size + std::max(0.0f, c.f2);
    const float invWidth = outer > inner ? 1.0f / (outer - inner) : 0.0f;
    const float colorAware = std::clamp(c.f3, 0.0f, 1.0f);
    const bool bInverted = c.b0;
    const double cx = c.a.x, cy = c.a.y;
    const DrawMask::Colour reference
        = DrawMask::pickColour(lum, c1, c2, std::clamp(c.a.x, 0, width - 1), std::clamp(c.a.y, 0, height - 1));
    prepare(cv::Rect(0, 0, width, height));

    // Columns the shape can reach; elsewhere the weight is 0.
    const double reach = std::ceil(double(outer));
    const int x0 = int(std::clamp(cx - reach, 0.0, double(width))),
              x1 = int(std::clamp(cx + reach + 1, 0.0, double(width)));
    std::vector<unsigned char> painted(static_cast<std::size_t>(width));
    std::vector<float> likeness(static_cast<std::size_t>(width));
    const unsigned char outside = paintedValue(blendValue, bInverted ? 1.0f : 0.0f);
    for (int y = 0; y < height; ++y) {
        std::fill(painted.begin(), painted.end(), outside);
        const double ry = double(y) - cy;
        if (std::abs(ry) < outer && x1 > x0) {
            if (colorAware > 0.0f)
                DrawMask::similarityRow(lum, c1, c2, y, x0, x1 - x0, reference, likeness.data());
            const float ry2 = float(ry * ry);
            for (int x = x0; x < x1; ++x) {
                const float rx = float(double(x) - cx);
                const float r = std::sqrt(rx * rx + ry2);
                const float t = std::clamp((r - inner) * invWidth, 0.0f, 1.0f);
                float weight = r >= outer ? 0.0f : 1.0f - t * t * (3.0f - 2.0f * t);
                if (colorAware > 0.0f)
                    weight *= 1.0f - colorAware + colorAware * likeness[std::size_t(x - x0)];
                painted[std::size_t(x)] = paintedValue(blendValue, bInverted ? 1.0f - weight : weight);
            }
        }
        combine(blendMode, mask.ptr(y), painted.data(), width);
    }
}
