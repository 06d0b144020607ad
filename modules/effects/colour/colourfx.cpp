#include "colourfx.h"

#include "fxpixelmodel.h"

#include <algorithm>
#include <cmath>
#include <planepool.h>

namespace {
// Linear-light factors at the ends of the sliders, as exponents of two.
constexpr float temperatureStops = 0.5f;
constexpr float tintStops = 0.4f;
// Skin tones, whatever their lightness, lie near one direction of the plane of colour
// differences (R - luma, B - luma) of ProPhoto's encoding: about 63 degrees below the R axis
// (typical skin, orange and red-yellow all fall within some 20 degrees of it).
constexpr float skinR = 0.454f;
constexpr float skinB = -0.891f;
// Vibrance leaves skin this share of its change.
constexpr float skinKeeps = 0.25f;
// Keeps the direction of near-grey colours, which is mostly noise, from counting as skin.
constexpr float skinChromaFloor = 0.004f;
// Added to the brightest channel when measuring saturation, so that the noise of near-black
// pixels does not count as vivid colour, and vibrance varies gently from pixel to pixel.
constexpr float saturationFloor = 0.2f;
// Where the soft gamut compression starts, as a share of the room to the gamut's edge.
constexpr float gamutKnee = 0.75f;

float smoothStep(float edge0, float edge1, float v)
{
    const float t = std::min(1.0f, std::max(0.0f, (v - edge0) / (edge1 - edge0)));
    return t * t * (3.0f - 2.0f * t);
}

// How much the colour differences (dR, dB) look like skin: 0 far from the skin direction,
// 1 on it.
inline float skinWeight(float dR, float dB)
{
    const float length = std::sqrt(dR * dR + dB * dB);
    const float cosine = (dR * skinR + dB * skinB) / (length + skinChromaFloor);
    // From 40 degrees off the skin direction (cos 0.77) to 20 degrees (cos 0.94).
    return smoothStep(0.77f, 0.94f, cosine);
}

// gain, bent smoothly (slope one at the knee) so that an increase stays below room, the
// largest gain that keeps the colour in gamut; colours already outside keep at least their
// own saturation.
inline float compressGain(float gain, float room)
{
    const float limit = std::max(1.0f, room);
    const float knee = 1.0f + gamutKnee * (limit - 1.0f);
    const float span = limit - knee;
    const float over = std::max(0.0f, gain - knee);
    // knee + span * t / (1 + t) with t = over / span, written so that span 0 gives the knee.
    const float compressed = knee + span * over / (span + over + 1e-12f);
    return gain > knee ? compressed : gain;
}
}

ColourFx::ColourFx(const QString &key, QObject *parent)
    : TCatalogueFullFx(key, parent)
{
    m_temperature_p = addFloat(QStringLiteral("temperature"), tr("Temperature"),
        tr("White balance: warmer (+) or cooler (-)"), 0.0f, -1.0f, 1.0f);
    m_tint_p = addFloat(
        QStringLiteral("tint"), tr("Tint"), tr("White balance: towards magenta (+) or green (-)"), 0.0f, -1.0f, 1.0f);
    m_vibrance_p = addFloat(QStringLiteral("vibrance"), tr("Vibrance"),
        tr("Saturation that favours dull colours and spares skin tones"), 0.0f, -1.0f, 1.0f);
    m_saturation_p = addFloat(QStringLiteral("saturation"), tr("Saturation"),
        tr("Scales every colour's saturation; -1 gives grey"), 0.0f, -1.0f, 1.0f);
}

ColourFx::Factors ColourFx::factors() const
{
    Factors f;
    const float temperature = m_temperature_p->value(), tint = m_tint_p->value();
    // Scaling linear light by k scales the encoded value by k^(1/gamma).
    f.red = std::exp2(temperatureStops * temperature / FxPixel::gamma);
    f.blue = std::exp2(-temperatureStops * temperature / FxPixel::gamma);
    f.green = std::exp2(-tintStops * tint / FxPixel::gamma);
    f.whiteBalance = temperature != 0.0f || tint != 0.0f;
    f.saturation = 1.0f + m_saturation_p->value();
    const float vibrance = m_vibrance_p->value();
    if (vibrance > 0.0f) {
        f.dull = vibrance;
    } else {
        f.flat = 0.3f * vibrance;
        f.saturated = 0.7f * vibrance;
    }
    return f;
}

void ColourFx::adjustRow(const Factors &f, const float *luma, float *c1, float *c2, int count)
{
    const float toUnit = 2.0f / FxPixel::maxSample;
    for (int x = 0; x < count; ++x) {
        const float y = luma[x];
        float r = y + (c2[x] - FxPixel::neutral) * toUnit, b = y + (c1[x] - FxPixel::neutral) * toUnit;
        float g = (y - FxPixel::weightR * r - FxPixel::weightB * b) / FxPixel::weightG;
        if (f.whiteBalance) {
            r *= f.red;
            g *= f.green;
            b *= f.blue;
            // A uniform scale keeps the new balance and brings the luminance back.
            const float balanced = FxPixel::weightR * r + FxPixel::weightG * g + FxPixel::weightB * b;
            const float scale = balanced > 1e-6f ? y / balanced : 1.0f;
            r *= scale;
            g *= scale;
            b *= scale;
        }
        const float dR = r - y, dB = b - y;
        const float high = std::max(r, std::max(g, b)), low = std::min(r, std::min(g, b));
        const float saturation = std::min(1.0f, (high - low) / (std::max(high, 0.0f) + saturationFloor));
        const float dullness = 1.0f - saturation;
        const float change = f.dull * dullness * dullness + f.flat + f.saturated * saturation;
        const float skinShare = 1.0f - (1.0f - skinKeeps) * skinWeight(dR, dB);
        float gain = f.saturation * std::max(0.0f, 1.0f + change * skinShare);
        // The room to the gamut's edge: white above for the channels above the luminance,
        // black below for those beneath it.
        const float above = std::max(0.0f, high - y), below = std::max(0.0f, y - low);
        const float room = std::min((1.0f - y) / std::max(above, 1e-6f), y / std::max(below, 1e-6f));
        gain = gain > 1.0f ? compressGain(gain, room) : gain;
        c1[x] = FxPixel::neutral + 0.5f * FxPixel::maxSample * gain * dB;
        c2[x] = FxPixel::neutral + 0.5f * FxPixel::maxSample * gain * dR;
    }
}

bool ColourFx::procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &)
{
    const Factors f = factors();
    const cv::Mat &lum = work.m_lum;
    eff.m_lum = lum;
    const int halfRows = work.m_c1.rows, halfCols = work.m_c1.cols;
    PlanePool::createOwned(eff.m_c1, halfRows, halfCols, CV_16UC1);
    PlanePool::createOwned(eff.m_c2, halfRows, halfCols, CV_16UC1);
    if (lum.empty())
        return true;
    m_luma.resize(std::size_t(halfCols));
    m_c1.resize(std::size_t(halfCols));
    m_c2.resize(std::size_t(halfCols));
    for (int y = 0; y < halfRows; ++y) {
        const int y0 = std::min(2 * y, lum.rows - 1), y1 = std::min(2 * y + 1, lum.rows - 1);
        const unsigned short *l0 = lum.ptr<unsigned short>(y0), *l1 = lum.ptr<unsigned short>(y1);
        const unsigned short *s1 = work.m_c1.ptr<unsigned short>(y), *s2 = work.m_c2.ptr<unsigned short>(y);
        for (int x = 0; x < halfCols; ++x) {
            const int x0 = std::min(2 * x, lum.cols - 1), x1 = std::min(2 * x + 1, lum.cols - 1);
            m_luma[std::size_t(x)] = float(l0[x0] + l0[x1] + l1[x0] + l1[x1]) * (0.25f / FxPixel::maxSample);
            m_c1[std::size_t(x)] = s1[x];
            m_c2[std::size_t(x)] = s2[x];
        }
        adjustRow(f, m_luma.data(), m_c1.data(), m_c2.data(), halfCols);
        unsigned short *d1 = eff.m_c1.ptr<unsigned short>(y), *d2 = eff.m_c2.ptr<unsigned short>(y);
        for (int x = 0; x < halfCols; ++x) {
            d1[x] = FxPixel::toSample(m_c1[std::size_t(x)]);
            d2[x] = FxPixel::toSample(m_c2[std::size_t(x)]);
        }
        if (y % 64 == 0 && !bGoOn(y, halfRows))
            return false;
    }
    return true;
}
