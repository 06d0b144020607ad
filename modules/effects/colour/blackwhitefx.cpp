#include "blackwhitefx.h"

#include "fxpixelmodel.h"
#include "fxwide.h"

#include <algorithm>
#include <cmath>
#include <planepool.h>

namespace {
// The share of a colour's contribution that a slider at 1 adds to its grey.
constexpr float mixShare = 0.75f;
// The sepia tone at full tint in the midtones, as encoded R - luma and B - luma: a warm brown
// in the direction of orange and skin.
constexpr float sepiaR = 0.08f;
constexpr float sepiaB = -0.17f;

inline float smoothStep01(float t) { return t * t * (3.0f - 2.0f * t); }

// The grey's gain for each block of a row: luma holds the blocks' luminance (0..1) on the way
// in and their gains on the way out.
FX_WIDE void gainRow(const float *sliders, float *luma, const float *c1, const float *c2, int count);
}

BlackWhiteFx::BlackWhiteFx(const QString &key, QObject *parent)
    : TCatalogueFullFx(key, parent)
{
    const QString keys[6] = { "red", "yellow", "green", "cyan", "blue", "magenta" };
    const QString names[6] = { tr("Red"), tr("Yellow"), tr("Green"), tr("Cyan"), tr("Blue"), tr("Magenta") };
    for (int i = 0; i < 6; ++i)
        m_sliders_p[i] = addFloat(keys[i], names[i],
            tr("Lightens (+) or darkens (-) the grey of %1 colours").arg(names[i].toLower()), 0.0f, -2.0f, 2.0f);
    m_tint_p = addFloat(QStringLiteral("tint"), tr("Tint"),
        tr("From neutral grey (0) to a warm sepia tone (1), strongest in the midtones"), 0.0f, 0.0f, 1.0f);
}

namespace {
FX_WIDE void gainRow(const float *sliders, float *luma, const float *c1, const float *c2, int count)
{
    const float toUnit = 2.0f / FxPixel::maxSample;
    for (int x = 0; x < count; ++x) {
        const float y = luma[x];
        const float r = y + (c2[x] - FxPixel::neutral) * toUnit, b = y + (c1[x] - FxPixel::neutral) * toUnit;
        const float g = (y - FxPixel::weightR * r - FxPixel::weightB * b) / FxPixel::weightG;
        const float high = std::max(r, std::max(g, b)), low = std::min(r, std::min(g, b));
        const float chroma = high - low;
        // R, G and B scaled to 0..1 between the darkest and the brightest; then each hue's
        // triangular weight (1 at its hue, 0 a sector away) is a difference of them, and two
        // neighbours' weights add up to one. Smoothstep keeps that sum and rounds the corners.
        const float scale = 1.0f / std::max(chroma, 1e-6f);
        const float rs = (r - low) * scale, gs = (g - low) * scale, bs = (b - low) * scale;
        const float weight[6] = { rs - std::max(gs, bs), std::min(rs, gs) - bs, gs - std::max(rs, bs),
            std::min(gs, bs) - rs, bs - std::max(rs, gs), std::min(rs, bs) - gs };
        float mix = 0.0f;
        for (int k = 0; k < 6; ++k)
            mix += sliders[k] * smoothStep01(std::min(1.0f, std::max(0.0f, weight[k])));
        // The colour's contribution is its luminance times its saturation, which a colour
        // keeps when it is darker or lighter, so that the gain depends on hue and saturation.
        const float saturation = std::min(1.0f, chroma / std::max(high, 1e-6f));
        const float share = mixShare * mix * saturation;
        // Lightening rolls off towards white; darkening divides by 1 - share, which has slope
        // one at zero too and never reaches black.
        const float room = std::max(0.0f, 1.0f - y);
        const float change = std::max(0.0f, share) * y;
        const float lighter = (1.0f - room * room / std::max(room + change, 1e-9f)) / std::max(y, 1e-6f);
        const float darker = 1.0f / (1.0f - std::min(0.0f, share));
        const float gain = share >= 0.0f ? lighter : darker;
        luma[x] = chroma < 1e-5f || y <= 1e-5f || high <= 0.0f || room <= 0.0f ? 1.0f : gain;
    }
}

}

void BlackWhiteFx::blockRow(const TPImage &work, int y, const float sliders[6], bool mixing)
{
    const cv::Mat &lum = work.m_lum;
    const int y0 = std::min(2 * y, lum.rows - 1), y1 = std::min(2 * y + 1, lum.rows - 1);
    const unsigned short *l0 = lum.ptr<unsigned short>(y0), *l1 = lum.ptr<unsigned short>(y1);
    const unsigned short *c1 = work.m_c1.ptr<unsigned short>(y), *c2 = work.m_c2.ptr<unsigned short>(y);
    const int cols = work.m_c1.cols;
    for (int x = 0; x < cols; ++x) {
        const int x0 = std::min(2 * x, lum.cols - 1), x1 = std::min(2 * x + 1, lum.cols - 1);
        m_newLuma[std::size_t(x)] = float(l0[x0] + l0[x1] + l1[x0] + l1[x1]) * (0.25f / FxPixel::maxSample);
        m_gain[std::size_t(x)] = m_newLuma[std::size_t(x)];
        m_c1[std::size_t(x)] = c1[x];
        m_c2[std::size_t(x)] = c2[x];
    }
    if (!mixing) {
        std::fill(m_gain.begin(), m_gain.end(), 1.0f);
        return;
    }
    gainRow(sliders, m_gain.data(), m_c1.data(), m_c2.data(), cols);
    for (int x = 0; x < cols; ++x)
        m_newLuma[std::size_t(x)] = std::min(1.0f, m_gain[std::size_t(x)] * m_newLuma[std::size_t(x)]);
}

void BlackWhiteFx::tintRow(int y, TPImage &eff, float tint) const
{
    unsigned short *d1 = eff.m_c1.ptr<unsigned short>(y), *d2 = eff.m_c2.ptr<unsigned short>(y);
    for (int x = 0; x < eff.m_c1.cols; ++x) {
        const float luma = m_newLuma[std::size_t(x)];
        const float amount = 0.5f * FxPixel::maxSample * tint * 4.0f * luma * (1.0f - luma);
        d1[x] = FxPixel::toSample(FxPixel::neutral + amount * sepiaB);
        d2[x] = FxPixel::toSample(FxPixel::neutral + amount * sepiaR);
    }
}

bool BlackWhiteFx::procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &)
{
    float sliders[6];
    bool mixing = false;
    for (int i = 0; i < 6; ++i) {
        sliders[i] = m_sliders_p[i]->value();
        mixing = mixing || sliders[i] != 0.0f;
    }
    const float tint = m_tint_p->value();
    const cv::Mat &lum = work.m_lum;
    const int halfRows = work.m_c1.rows, halfCols = work.m_c1.cols;
    PlanePool::createOwned(eff.m_c1, halfRows, halfCols, CV_16UC1);
    PlanePool::createOwned(eff.m_c2, halfRows, halfCols, CV_16UC1);
    eff.m_c1.setTo(int(FxPixel::neutral));
    eff.m_c2.setTo(int(FxPixel::neutral));
    // Without a mix the grey is the luminance itself, bit for bit.
    if (mixing)
        PlanePool::createOwned(eff.m_lum, lum.rows, lum.cols, CV_16UC1);
    else
        eff.m_lum = lum;
    if (lum.empty() || (!mixing && tint == 0.0f))
        return true;
    m_gain.resize(std::size_t(halfCols));
    m_newLuma.resize(std::size_t(halfCols));
    m_c1.resize(std::size_t(halfCols));
    m_c2.resize(std::size_t(halfCols));
    m_pixelGain.resize(std::size_t(lum.cols));
    for (int y = 0; y < halfRows; ++y) {
        blockRow(work, y, sliders, mixing);
        for (int x = 0; mixing && x < lum.cols; ++x)
            m_pixelGain[std::size_t(x)] = m_gain[std::size_t(x >> 1)];
        for (int row = 2 * y; mixing && row < std::min(2 * y + 2, lum.rows); ++row) {
            const unsigned short *src = lum.ptr<unsigned short>(row);
            unsigned short *dst = eff.m_lum.ptr<unsigned short>(row);
            // Gains are positive, so only white needs a bound.
            const float *gain = m_pixelGain.data();
            for (int x = 0; x < lum.cols; ++x)
                dst[x] = static_cast<unsigned short>(int(std::min(FxPixel::maxSample, float(src[x]) * gain[x]) + 0.5f));
        }
        if (tint > 0.0f)
            tintRow(y, eff, tint);
        if (y % 64 == 0 && !bGoOn(y, halfRows))
            return false;
    }
    return true;
}
