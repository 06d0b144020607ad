#ifndef PATCHES_H
#define PATCHES_H

#include "catalogueharness.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPair>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <tpimage.h>

// Pictures of uniform colour patches and what an effect made of them, read at the patches'
// centres from the planes' own definition (c1 = (B - luma) / 2, c2 = (R - luma) / 2 around
// 32768; luma weights 0.2880 / 0.7119 / 0.0001), independently of the engine's conversions.
namespace Patches {
constexpr int size = 16;
constexpr double maxSample = 65535.0;
constexpr double neutral = 32768.0;

// A row of uniform size x size patches, one per colour, so that every pixel and every 2 x 2
// block inside a patch has the patch's values.
inline QImage picture(const QList<QColor> &colours)
{
    QImage image(size * colours.size(), size, QImage::Format_ARGB32);
    for (int i = 0; i < colours.size(); ++i)
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                image.setPixel(i * size + x, y, colours[i].rgb());
    return image;
}

// A patch's centre: luminance (0..1), the colour-plane samples and the encoded R, G, B.
struct Patch {
    double luma, c1, c2, r, g, b;
    // HSV saturation of the encoded colour, and the colour differences' length.
    double saturation() const { return (std::max({ r, g, b }) - std::min({ r, g, b })) / std::max({ r, g, b }); }
    double chroma() const { return std::hypot(c1 - neutral, c2 - neutral); }
};

inline Patch at(const TPImage &level, int i)
{
    const int x = i * size + size / 2, y = size / 2;
    Patch p;
    p.luma = level.m_lum.at<unsigned short>(y, x) / maxSample;
    p.c1 = level.m_c1.at<unsigned short>(y / 2, x / 2);
    p.c2 = level.m_c2.at<unsigned short>(y / 2, x / 2);
    p.r = p.luma + 2.0 * (p.c2 - neutral) / maxSample;
    p.b = p.luma + 2.0 * (p.c1 - neutral) / maxSample;
    p.g = (p.luma - 0.2880 * p.r - 0.0001 * p.b) / 0.7119;
    return p;
}

// Linear light of an encoded value (the encoding's gamma is 1.8), kept off zero for ratios.
inline double linear(double encoded) { return std::pow(std::max(1e-6, encoded), 1.8); }

// One effect over a picture with its parameters set, after one full-resolution pass.
struct EffectRun {
    CatalogueHarness host;
    TFx *fx = nullptr;
    bool ok = false;
    EffectRun(const QImage &picture, const QString &key, const QList<QPair<QString, QVariant>> &params)
    {
        if (!host.load(picture) || !(fx = host.add(key)))
            return;
        for (const auto &param : params)
            if (!CatalogueHarness::set(fx, param.first, param.second))
                return;
        ok = host.run({ TIm::CImFull });
    }
    const TPImage &in() { return *host.image().ptr(TIm::CImFull); }
    const TPImage &out() { return *host.stack().outImagePtr()->ptr(TIm::CImFull); }
};
}

#endif
