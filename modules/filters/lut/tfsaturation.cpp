#include "tfsaturation.h"

#include <algorithm>
#include <cmath>

namespace {
// Eight bands: enough for the shadow ramp to blend smoothly, 1 MiB of tables.
constexpr int bandExponent = 3;

quint8 scaled(quint8 c, double factor)
{
    return quint8(std::lround(std::clamp(128.0 + (double(c) - 128.0) * factor, 0.0, 255.0)));
}
}

TFSaturation::TFSaturation(const QString &name, QObject *parent)
    : TFilterLUT(name, parent)
{
    // Several chroma tables are only computed together with a luminance table.
    setupYLUT();
    setupCLUT(bandExponent);
}

void TFSaturation::setSaturation(float saturation)
{
    saturation = std::clamp(saturation, 0.0f, 2.0f);
    if (saturation == m_saturation)
        return;
    m_saturation = saturation;
    invalidateLUT();
}

void TFSaturation::setupParams() { m_boost = double(m_saturation) - 1.0; }

void TFSaturation::computePixel(quint16 &y, quint8 &c1, quint8 &c2)
{
    double factor = 1.0 + m_boost;
    if (m_boost > 0.0) {
        const double t = std::min(2.0 * double(y) / 65535.0, 1.0);
        factor = 1.0 + m_boost * (0.25 + 0.75 * t * t * (3.0 - 2.0 * t));
    }
    c1 = scaled(c1, factor);
    c2 = scaled(c2, factor);
}
