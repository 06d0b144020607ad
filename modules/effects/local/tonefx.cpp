#include "tonefx.h"

#include "fxpixelmodel.h"

#include <algorithm>
#include <cmath>
#include <planepool.h>

namespace {
// Mid-grey (18 % linear light) in the 1.8-gamma encoding: the contrast curve's pivot.
constexpr float pivot = 0.386f;
// Slope of the contrast curve at the pivot is 1 + contrast * contrastStrength (kept below 1
// so that the curve stays monotonic at its ends).
constexpr float contrastStrength = 0.8f;
// How far whites and blacks move the ends of the range at +-1.
constexpr float endShift = 0.25f;
// Strength of the base curve of highlights and shadows; a lift of the darkest tones or a
// brightening of the brightest is gentler (antiFactor), so the curve stays monotonic.
constexpr float regionStrength = 1.6f;
constexpr float antiFactor = 0.4f;
// The scale of the regions: the smoothing radius as a fraction of the picture's diagonal.
constexpr double regionRadius = 0.02;
// Edges stronger than about sqrt(regionEps) (in 0..1 luminance) bound the regions.
constexpr float regionEps = 0.004f;
// The global table covers -0.25..1.25 of the range, in sample units.
constexpr int tableOffset = 16384;
constexpr int tableSize = 65536 + 2 * tableOffset;
// Keeps the colour gain of near-black blocks finite (sample units) and bounded.
constexpr float colourFloor = 128.0f;
constexpr float maximumColourGain = 4.0f;

// FxPixel::toSample with the limits taken on integers, so that loops using it vectorise.
inline unsigned short toSampleFast(float v)
{
    const int i = int(v + 0.5f);
    return static_cast<unsigned short>(i < 0 ? 0 : i > 65535 ? 65535 : i);
}

// The global table's index of every pixel of a row after the local step: the pixel's own
// base (from the enlarged fit coefficients a, b), its shift on the base curve, the detail
// kept. The pointers never overlap, and the limits are taken on integers (float selections
// could trap and keep the loop scalar), which lets the compiler vectorise.
void regionRow(const unsigned short *__restrict src, const float *__restrict a, const float *__restrict b,
    int *__restrict index, int cols, float lift, float dim)
{
    for (int x = 0; x < cols; ++x) {
        const float v = float(src[x]) * (1.0f / FxPixel::maxSample);
        // The fit mixes v and window means with weights in 0..1, so the base stays in 0..1.
        const float base = a[x] * v + b[x], rest = 1.0f - base;
        const float shift = lift * base * rest * rest * rest + dim * rest * base * base * base;
        // The local step moves a value by well under the table's margin, so the float fits.
        int i = int((v + shift) * FxPixel::maxSample + float(tableOffset) + 0.5f);
        i = i > 0 ? i : 0;
        index[x] = i < tableSize - 1 ? i : tableSize - 1;
    }
}

// Rolls values above knee off towards 1 with slope 1 at the knee; room 0 is a plain clip.
float rollOffTop(float v, float knee)
{
    const float room = 1.0f - knee;
    if (v <= knee)
        return v;
    return room <= 0.0f ? 1.0f : knee + room * (1.0f - std::exp(-(v - knee) / room));
}

float rollOffBottom(float v, float knee)
{
    if (v >= knee)
        return v;
    return knee <= 0.0f ? 0.0f : knee - knee * (1.0f - std::exp(-(knee - v) / knee));
}
}

ToneFx::ToneFx(const QString &key, QObject *parent)
    : TCatalogueFullFx(key, parent)
{
    m_contrast_p = addFloat(QStringLiteral("contrast"), tr("Contrast"),
        tr("Steepens (or flattens) the tones around mid-grey with a smooth S-curve"), 0.0f, -1.0f, 1.0f);
    m_highlights_p = addFloat(QStringLiteral("highlights"), tr("Highlights"),
        tr("Darkens (or brightens) bright regions while keeping their detail"), 0.0f, -1.0f, 1.0f);
    m_shadows_p = addFloat(QStringLiteral("shadows"), tr("Shadows"),
        tr("Brightens (or darkens) dark regions while keeping their detail"), 0.0f, -1.0f, 1.0f);
    m_whites_p = addFloat(QStringLiteral("whites"), tr("Whites"),
        tr("Moves the bright end of the tonal range up or down"), 0.0f, -1.0f, 1.0f);
    m_blacks_p = addFloat(QStringLiteral("blacks"), tr("Blacks"),
        tr("Moves the dark end of the tonal range up or down"), 0.0f, -1.0f, 1.0f);
    m_tableParams.fill(NAN);
}

float ToneFx::globalTone(float v) const
{
    const float contrast = m_contrast_p->value() * contrastStrength;
    // Piecewise quadratic S-curve through 0, the pivot and 1, linear beyond the range.
    float c;
    if (v < 0.0f) {
        c = (1.0f - contrast) * v;
    } else if (v < pivot) {
        const float u = v / pivot;
        c = pivot * (u - contrast * u * (1.0f - u));
    } else if (v <= 1.0f) {
        const float u = (v - pivot) / (1.0f - pivot);
        c = pivot + (1.0f - pivot) * (u + contrast * u * (1.0f - u));
    } else {
        c = 1.0f + (1.0f - contrast) * (v - 1.0f);
    }
    const float whites = m_whites_p->value(), blacks = m_blacks_p->value();
    const float top = std::max(c, 0.0f), bottom = std::max(1.0f - c, 0.0f);
    c += endShift * (whites * top * top * top + blacks * bottom * bottom * bottom);
    // Whatever would leave the range rolls off smoothly instead of clipping.
    const float shadows = m_shadows_p->value(), highlights = m_highlights_p->value();
    const float topKnee = 1.0f - 0.3f * std::max(whites, 0.0f) - 0.03f * std::max({ shadows, highlights, 0.0f });
    const float bottomKnee = 0.3f * std::max(-blacks, 0.0f) + 0.03f * std::max({ -shadows, -highlights, 0.0f });
    return rollOffBottom(rollOffTop(c, topKnee), bottomKnee);
}

void ToneFx::updateGlobalTable()
{
    const std::array<float, 5> params = { m_contrast_p->value(), m_highlights_p->value(), m_shadows_p->value(),
        m_whites_p->value(), m_blacks_p->value() };
    if (params == m_tableParams && !m_globalTable.empty())
        return;
    m_tableParams = params;
    m_globalTable.resize(tableSize);
    for (int i = 0; i < tableSize; ++i) {
        const float v = float(i - tableOffset) / FxPixel::maxSample;
        m_globalTable[std::size_t(i)] = FxPixel::toSample(globalTone(v) * FxPixel::maxSample);
    }
}

bool ToneFx::fitBase(const cv::Mat &lum, const TLevelGeometry &geometry)
{
    const int halfRows = (lum.rows + 1) / 2, halfCols = (lum.cols + 1) / 2;
    m_half.resize(std::size_t(halfRows) * std::size_t(halfCols));
    const float scale = 1.0f / (4.0f * FxPixel::maxSample);
    for (int y = 0; y < halfRows; ++y) {
        const unsigned short *l0 = lum.ptr<unsigned short>(2 * y);
        const unsigned short *l1 = lum.ptr<unsigned short>(std::min(2 * y + 1, lum.rows - 1));
        float *out = m_half.data() + std::size_t(y) * std::size_t(halfCols);
        for (int x = 0; x < halfCols; ++x) {
            const int x0 = 2 * x, x1 = std::min(2 * x + 1, lum.cols - 1);
            out[x] = float(l0[x0] + l0[x1] + l1[x0] + l1[x1]) * scale;
        }
    }
    const double fullWidth = geometry.fullWidth > 0 ? geometry.fullWidth : double(lum.cols) * geometry.dec;
    const double fullHeight = geometry.fullHeight > 0 ? geometry.fullHeight : double(lum.rows) * geometry.dec;
    const double radius = regionRadius * std::hypot(fullWidth, fullHeight);
    if (!m_filter.fit(m_half.data(), halfCols, halfRows, float(geometry.toHalf(radius)), regionEps))
        return false;
    m_indexRow.resize(std::size_t(lum.cols));
    return true;
}

void ToneFx::coefficientsOfRow(int y)
{
    // Centre-aligned bilinear enlargement: luminance sample k sits at (k + 0.5) / 2 - 0.5 on
    // the half plane, beyond the edge the edge sample repeats. The fit's coefficients are
    // smooth, so they enlarge well; applied to the pixel itself they follow edges at full
    // resolution.
    const int halfCols = m_filter.cols(), halfRows = m_filter.rows();
    const float position = (float(y) + 0.5f) * 0.5f - 0.5f;
    const int top = int(std::floor(position));
    const float weight = position - float(top);
    const std::size_t row0 = std::size_t(std::clamp(top, 0, halfRows - 1)) * std::size_t(halfCols);
    const std::size_t row1 = std::size_t(std::clamp(top + 1, 0, halfRows - 1)) * std::size_t(halfCols);
    const float *a0 = m_filter.coefficientA() + row0, *a1 = m_filter.coefficientA() + row1;
    const float *b0 = m_filter.coefficientB() + row0, *b1 = m_filter.coefficientB() + row1;
    m_halfRowA.resize(std::size_t(halfCols) + 2);
    m_halfRowB.resize(std::size_t(halfCols) + 2);
    float *ha = m_halfRowA.data() + 1, *hb = m_halfRowB.data() + 1;
    for (int x = 0; x < halfCols; ++x) {
        ha[x] = a0[x] + weight * (a1[x] - a0[x]);
        hb[x] = b0[x] + weight * (b1[x] - b0[x]);
    }
    ha[-1] = ha[0];
    hb[-1] = hb[0];
    ha[halfCols] = ha[halfCols - 1];
    hb[halfCols] = hb[halfCols - 1];
    m_rowA.resize(std::size_t(2 * halfCols));
    m_rowB.resize(std::size_t(2 * halfCols));
    float *rowA = m_rowA.data(), *rowB = m_rowB.data();
    for (int x = 0; x < halfCols; ++x) {
        rowA[2 * x] = 0.25f * ha[x - 1] + 0.75f * ha[x];
        rowA[2 * x + 1] = 0.75f * ha[x] + 0.25f * ha[x + 1];
        rowB[2 * x] = 0.25f * hb[x - 1] + 0.75f * hb[x];
        rowB[2 * x + 1] = 0.75f * hb[x] + 0.25f * hb[x + 1];
    }
}

void ToneFx::toneLocalRow(const unsigned short *src, unsigned short *dst, int cols, int y)
{
    coefficientsOfRow(y);
    int *index = m_indexRow.data();
    regionRow(src, m_rowA.data(), m_rowB.data(), index, cols, m_lift, m_dim);
    const unsigned short *table = m_globalTable.data();
    for (int x = 0; x < cols; ++x)
        dst[x] = table[index[x]];
}

void ToneFx::toneLuminance(const cv::Mat &lum, cv::Mat &out, int y, bool local)
{
    const unsigned short *src = lum.ptr<unsigned short>(y);
    unsigned short *dst = out.ptr<unsigned short>(y);
    if (local) {
        toneLocalRow(src, dst, lum.cols, y);
        return;
    }
    const unsigned short *table = m_globalTable.data();
    for (int x = 0; x < lum.cols; ++x)
        dst[x] = table[src[x] + tableOffset];
}

void ToneFx::followColour(const cv::Mat &lum, const cv::Mat &out, const TPImage &work, TPImage &eff, int y) const
{
    const int y0 = std::min(2 * y, lum.rows - 1), y1 = std::min(2 * y + 1, lum.rows - 1);
    const unsigned short *i0 = lum.ptr<unsigned short>(y0), *i1 = lum.ptr<unsigned short>(y1);
    const unsigned short *o0 = out.ptr<unsigned short>(y0), *o1 = out.ptr<unsigned short>(y1);
    const unsigned short *c1 = work.m_c1.ptr<unsigned short>(y), *c2 = work.m_c2.ptr<unsigned short>(y);
    unsigned short *d1 = eff.m_c1.ptr<unsigned short>(y), *d2 = eff.m_c2.ptr<unsigned short>(y);
    for (int x = 0; x < work.m_c1.cols; ++x) {
        const int x0 = std::min(2 * x, lum.cols - 1), x1 = std::min(2 * x + 1, lum.cols - 1);
        const float in = float(i0[x0] + i0[x1] + i1[x0] + i1[x1]) + colourFloor;
        const float toned = float(o0[x0] + o0[x1] + o1[x0] + o1[x1]) + colourFloor;
        const float gain = std::min(toned / in, maximumColourGain);
        d1[x] = toSampleFast(FxPixel::neutral + gain * (float(c1[x]) - FxPixel::neutral));
        d2[x] = toSampleFast(FxPixel::neutral + gain * (float(c2[x]) - FxPixel::neutral));
    }
}

bool ToneFx::procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry)
{
    const cv::Mat &lum = work.m_lum;
    updateGlobalTable();
    const float shadows = m_shadows_p->value(), highlights = m_highlights_p->value();
    m_lift = regionStrength * (shadows > 0.0f ? shadows : antiFactor * shadows);
    m_dim = regionStrength * (highlights < 0.0f ? highlights : antiFactor * highlights);
    const bool local = shadows != 0.0f || highlights != 0.0f;
    if (local && !fitBase(lum, geometry))
        return false;
    PlanePool::createOwned(eff.m_lum, lum.rows, lum.cols, CV_16UC1);
    const int colourRows = work.m_c1.rows;
    PlanePool::createOwned(eff.m_c1, colourRows, work.m_c1.cols, CV_16UC1);
    PlanePool::createOwned(eff.m_c2, colourRows, work.m_c2.cols, CV_16UC1);
    const int halfRows = std::max(colourRows, (lum.rows + 1) / 2);
    // Two luminance rows, then the colour row of their blocks, while they are in cache.
    for (int y = 0; y < halfRows; ++y) {
        for (int row = 2 * y; row < std::min(2 * y + 2, lum.rows); ++row) {
            toneLuminance(lum, eff.m_lum, row, local);
        }
        if (y < colourRows)
            followColour(lum, eff.m_lum, work, eff, y);
        if (y % 32 == 0 && !bGoOn(y, halfRows))
            return false;
    }
    return true;
}
