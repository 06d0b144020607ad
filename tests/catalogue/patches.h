#ifndef PATCHES_H
#define PATCHES_H

#include "catalogueharness.h"

#include <QColor>
#include <algorithm>
#include <cmath>
#include <tpimage.h>

// Pictures of uniform colour patches, read back from the planes' own definition (c1 = (B - luma)
// / 2, c2 = (R - luma) / 2 around 32768; luma weights 0.2880 / 0.7119 / 0.0001), independently
// of the engine's conversions.
namespace Patches {
constexpr int size = 16;
constexpr double maxSample = 65535.0;
constexpr double neutral = 32768.0;

// A row of uniform size x size patches, so that every pixel and 2 x 2 block of one agrees.
inline QImage picture(const QList<QColor> &colours)
{
    return makePicture(size * int(colours.size()), size, [&](int x, int) { return colours[x / size].rgb(); });
}

// A pixel: luminance (0..1), the colour-plane samples and the encoded R, G, B.
struct Patch {
    double luma, c1, c2, r, g, b;
    double saturation() const { return (std::max({ r, g, b }) - std::min({ r, g, b })) / std::max({ r, g, b }); }
    double chroma() const { return std::hypot(c1 - neutral, c2 - neutral); }
};

inline Patch at(const TPImage &level, int x, int y)
{
    Patch p;
    p.luma = level.m_lum.at<unsigned short>(y, x) / maxSample;
    p.c1 = level.m_c1.at<unsigned short>(y / 2, x / 2);
    p.c2 = level.m_c2.at<unsigned short>(y / 2, x / 2);
    p.r = p.luma + 2.0 * (p.c2 - neutral) / maxSample;
    p.b = p.luma + 2.0 * (p.c1 - neutral) / maxSample;
    p.g = (p.luma - 0.2880 * p.r - 0.0001 * p.b) / 0.7119;
    return p;
}
// The centre of patch i.
inline Patch at(const TPImage &level, int i) { return at(level, i * size + size / 2, size / 2); }

// Linear light of an encoded value (the encoding's gamma is 1.8), kept off zero for ratios.
inline double linear(double encoded) { return std::pow(std::max(1e-6, encoded), 1.8); }
}

#endif
