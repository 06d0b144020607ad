#include "vignettefx.h"

#include "fxpixelmodel.h"
#include "fxwide.h"

#include <algorithm>
#include <cmath>
#include <planepool.h>

namespace {
// Steps of the gain table over (normalised distance)^power, read with linear interpolation:
// small enough to build in a fraction of a millisecond for every preview, fine enough that
// the interpolation is exact to far less than a level.
constexpr int tableSteps = 4096;
// The change in linear light at amount -1 or +1, in stops, where the fall-off is complete.
constexpr double fullStops = 2.0;
// The narrowest transition (feather 0), as a fraction of the centre-to-corner distance: a
// little width keeps the edge smooth at every decimation.
constexpr double narrowestFeather = 0.05;
// Where brightened values start to bend towards white, as a fraction of white.
constexpr float rollOffKnee = 0.9f;

// The gain at rowTerm + colTerm (each 0 to 1), interpolated in the table; the table goes on to
// 2 with the corner's gain, so that no look-up needs a test.
inline float gainAt(const float *table, float colTerm, float rowTerm)
{
    const float position = (colTerm + rowTerm) * float(tableSteps);
    const int index = int(position);
    const float fraction = position - float(index);
    return table[index] + fraction * (table[index + 1] - table[index]);
}

// Brightened values above the knee bend smoothly towards white (slope one at the knee, never
// reaching white) instead of clipping, so that bright areas keep their detail and a view, whose
// samples are block means, shows what the export's mean of its samples shows. A knee beyond any
// value turns it off.
inline float rollOff(float value, float knee)
{
    const float over = std::max(value - knee, 0.0f);
    return value - over * over / (FxPixel::maxSample - knee + over);
}

// How far the brightest of a block's encoded R, G and B lies above its luminance (16-bit scale),
// from its colour samples: R and B are luma plus twice their colour difference, and G follows
// from the luma weights adding up to one.
inline float brightestOffset(float colour1, float colour2)
{
    const float red = 2.0f * (colour2 - FxPixel::neutral), blue = 2.0f * (colour1 - FxPixel::neutral);
    const float green = -(FxPixel::weightR * red + FxPixel::weightB * blue) / FxPixel::weightG;
    return std::max(std::max(0.0f, red), std::max(green, blue));
}

// The factor by which gain must shrink so that the brightest channel of a pixel (its luma plus
// offset) bends towards white instead of clipping: that channel would clip first.
inline float rollOffFactor(float luma, float offset, float gain, float knee)
{
    const float brightest = (luma + offset) * gain + 1.0f;
    return rollOff(brightest, knee) / brightest;
}

// dst = src * gain, the gain looked up per sample; with AVX2 or AVX-512 the look-ups are gathers,
// several samples at a time.
FX_WIDE void scaleRow(const unsigned short *src, unsigned short *__restrict dst, int cols, const float *colTerms,
    float rowTerm, const float *table)
{
    for (int x = 0; x < cols; ++x) {
        const float value = float(src[x]) * gainAt(table, colTerms[x], rowTerm);
        dst[x] = static_cast<unsigned short>(int(std::min(value, FxPixel::maxSample) + 0.5f));
    }
}

// The same, brightening: each pixel's gain rolls off as its brightest channel (offsets[x] above
// its luma) nears white.
FX_WIDE void scaleRowRolledOff(const unsigned short *src, const float *offsets, unsigned short *__restrict dst,
    int cols, const float *colTerms, float rowTerm, const float *table, float knee)
{
    for (int x = 0; x < cols; ++x) {
        const float luma = src[x], gain = gainAt(table, colTerms[x], rowTerm);
        const float value = luma * gain * rollOffFactor(luma, offsets[x], gain, knee);
        dst[x] = static_cast<unsigned short>(int(std::min(value, FxPixel::maxSample) + 0.5f));
    }
}

// The same for a block's colour differences around neutral, with its block's luminance
// (blockLuma) deciding the roll-off, so that hues stay.
FX_WIDE void scaleColourRows(const unsigned short *colour1, const unsigned short *colour2,
    unsigned short *__restrict dst1, unsigned short *__restrict dst2, int cols, const float *colTerms, float rowTerm,
    const float *table, const float *blockLuma, float knee)
{
    for (int x = 0; x < cols; ++x) {
        const float c1 = colour1[x], c2 = colour2[x], gain = gainAt(table, colTerms[x], rowTerm);
        const float factor = gain * rollOffFactor(blockLuma[x], brightestOffset(c1, c2), gain, knee);
        dst1[x] = static_cast<unsigned short>(
            int(std::clamp(FxPixel::neutral + (c1 - FxPixel::neutral) * factor, 0.0f, FxPixel::maxSample) + 0.5f));
        dst2[x] = static_cast<unsigned short>(
            int(std::clamp(FxPixel::neutral + (c2 - FxPixel::neutral) * factor, 0.0f, FxPixel::maxSample) + 0.5f));
    }
}

// 0 below 0, 1 above 1, and a curve with level ends (continuous up to its second derivative)
// in between, so the vignette shows no edge.
double smootherStep(double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return t * t * t * (t * (6.0 * t - 15.0) + 10.0);
}
}

VignetteFx::VignetteFx(const QString &key, QObject *parent)
    : TCatalogueFullFx(key, parent)
{
    m_amount_p = addFloat(QStringLiteral("amount"), tr("Amount"),
        tr("Darkens (negative) or brightens (positive) the picture towards its corners"), 0.0f, -1.0f, 1.0f);
    m_midpoint_p = addFloat(QStringLiteral("midpoint"), tr("Midpoint"),
        tr("Where the change starts, as a fraction of the way from the centre to the corners"), 0.5f, 0.0f, 1.0f);
    m_roundness_p = addFloat(QStringLiteral("roundness"), tr("Roundness"),
        tr("0 follows the picture's shape, +1 makes the vignette a circle, -1 a rounded rectangle"), 0.0f, -1.0f, 1.0f);
    m_feather_p = addFloat(QStringLiteral("feather"), tr("Feather"),
        tr("How gradually the change sets in: small values give a hard edge, large ones a gentle fall-off"), 0.5f, 0.0f,
        1.0f);
}

VignetteFx::Shape VignetteFx::shapeOf(const TLevelGeometry &geometry, int levelCols, int levelRows) const
{
    // A level that does not know its picture takes itself for the whole picture.
    const double width = geometry.fullWidth > 0 ? geometry.fullWidth : double(levelCols) * geometry.dec;
    const double height = geometry.fullHeight > 0 ? geometry.fullHeight : double(levelRows) * geometry.dec;
    const double halfWidth = std::max(0.5, width / 2.0), halfHeight = std::max(0.5, height / 2.0);
    const double roundness = m_roundness_p->value();
    Shape shape { width / 2.0, height / 2.0, halfWidth, halfHeight, 2.0, 2.0 };
    if (roundness > 0.0) {
        // Towards a circle: both axes move towards their geometric mean.
        const double mean = std::sqrt(halfWidth * halfHeight);
        shape.axisX = halfWidth + (mean - halfWidth) * roundness;
        shape.axisY = halfHeight + (mean - halfHeight) * roundness;
    } else {
        // Towards a rectangle: a higher power squares the ellipse off (8 at -1).
        shape.power = 2.0 * std::pow(4.0, -roundness);
    }
    shape.cornerSum = std::pow(halfWidth / shape.axisX, shape.power) + std::pow(halfHeight / shape.axisY, shape.power);
    return shape;
}

void VignetteFx::buildGainTable(double power)
{
    const double midpoint = m_midpoint_p->value();
    const double feather = narrowestFeather + (1.0 - narrowestFeather) * m_feather_p->value();
    // Linear light changes by 2^(stops * amount * falloff); encoded values by its 1.8th root.
    const double encodedStops = fullStops * m_amount_p->value() / FxPixel::gamma;
    m_gainTable.resize(2 * std::size_t(tableSteps) + 2);
    for (int i = 0; i <= tableSteps; ++i) {
        const double distance = std::pow(double(i) / tableSteps, 1.0 / power);
        m_gainTable[std::size_t(i)] = float(std::exp2(encodedStops * smootherStep((distance - midpoint) / feather)));
    }
    std::fill(m_gainTable.begin() + tableSteps + 1, m_gainTable.end(), m_gainTable[std::size_t(tableSteps)]);
}

template <class Position>
void VignetteFx::axisTerms(
    std::vector<float> &terms, int count, double centre, double axis, const Shape &shape, Position positionOf)
{
    terms.resize(std::size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        terms[std::size_t(i)]
            = float(std::min(1.0, std::pow(std::abs(positionOf(i) - centre) / axis, shape.power) / shape.cornerSum));
}

bool VignetteFx::procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry)
{
    const cv::Mat &lum = work.m_lum;
    const Shape shape = shapeOf(geometry, lum.cols, lum.rows);
    buildGainTable(shape.power);

    axisTerms(
        m_colTerms, lum.cols, shape.centreX, shape.axisX, shape, [&](int col) { return geometry.lumaCentreX(col); });
    axisTerms(
        m_rowTerms, lum.rows, shape.centreY, shape.axisY, shape, [&](int row) { return geometry.lumaCentreY(row); });
    if (!applyToLuma(work, eff))
        return false;

    axisTerms(m_colTerms, work.m_c1.cols, shape.centreX, shape.axisX, shape,
        [&](int col) { return geometry.colourCentreX(col); });
    axisTerms(m_rowTerms, work.m_c1.rows, shape.centreY, shape.axisY, shape,
        [&](int row) { return geometry.colourCentreY(row); });
    return applyToColour(work, eff);
}

float VignetteFx::knee() const { return m_amount_p->value() > 0.0f ? rollOffKnee * FxPixel::maxSample : 1e9f; }

bool VignetteFx::applyToLuma(const TPImage &work, TPImage &eff)
{
    const cv::Mat &lum = work.m_lum;
    if (lum.empty()) {
        eff.m_lum = cv::Mat();
        return true;
    }
    PlanePool::createOwned(eff.m_lum, lum.rows, lum.cols, CV_16UC1);
    // Colour planes that do not fit the luminance count as grey for the roll-off.
    const cv::Size colourSize((lum.cols + 1) / 2, (lum.rows + 1) / 2);
    const bool colourFits = work.m_c1.size() == colourSize && work.m_c2.size() == colourSize
        && work.m_c1.type() == CV_16UC1 && work.m_c2.type() == CV_16UC1;
    const bool brightening = m_amount_p->value() > 0.0f;
    m_offsets.assign(std::size_t(lum.cols), 0.0f);
    for (int y = 0; y < lum.rows; ++y) {
        const float rowTerm = m_rowTerms[std::size_t(y)];
        unsigned short *dst = eff.m_lum.ptr<unsigned short>(y);
        if (!brightening) {
            scaleRow(lum.ptr<unsigned short>(y), dst, lum.cols, m_colTerms.data(), rowTerm, m_gainTable.data());
        } else {
            // Each colour row serves two luminance rows; its offsets are spread to luminance width once.
            if (colourFits && y % 2 == 0) {
                const unsigned short *c1 = work.m_c1.ptr<unsigned short>(y / 2),
                                     *c2 = work.m_c2.ptr<unsigned short>(y / 2);
                for (int x = 0; x < lum.cols; ++x)
                    m_offsets[std::size_t(x)] = brightestOffset(c1[x / 2], c2[x / 2]);
            }
            scaleRowRolledOff(lum.ptr<unsigned short>(y), m_offsets.data(), dst, lum.cols, m_colTerms.data(), rowTerm,
                m_gainTable.data(), knee());
        }
        if (y % 256 == 255 && !bGoOn(y, lum.rows))
            return false;
    }
    return true;
}

void VignetteFx::blockLumaRow(const cv::Mat &lum, int row, int cols)
{
    m_blockLuma.assign(std::size_t(cols), 0.0f);
    if (lum.empty())
        return;
    // The 2 x 2 luminance block of colour sample (col, row), repeated at odd edges.
    const unsigned short *top = lum.ptr<unsigned short>(std::min(2 * row, lum.rows - 1));
    const unsigned short *bottom = lum.ptr<unsigned short>(std::min(2 * row + 1, lum.rows - 1));
    for (int col = 0; col < cols; ++col) {
        const int left = std::min(2 * col, lum.cols - 1), right = std::min(2 * col + 1, lum.cols - 1);
        m_blockLuma[std::size_t(col)] = 0.25f * float(top[left] + top[right] + bottom[left] + bottom[right]);
    }
}

bool VignetteFx::applyToColour(const TPImage &work, TPImage &eff)
{
    const cv::Mat &c1 = work.m_c1, &c2 = work.m_c2;
    if (c1.empty() || c2.size() != c1.size() || c1.type() != CV_16UC1 || c2.type() != CV_16UC1
        || c1.rows != int(m_rowTerms.size()) || c1.cols != int(m_colTerms.size())) {
        eff.m_c1 = c1;
        eff.m_c2 = c2;
        return true;
    }
    PlanePool::createOwned(eff.m_c1, c1.rows, c1.cols, CV_16UC1);
    PlanePool::createOwned(eff.m_c2, c2.rows, c2.cols, CV_16UC1);
    for (int y = 0; y < c1.rows; ++y) {
        blockLumaRow(work.m_lum, y, c1.cols);
        const float rowTerm = m_rowTerms[std::size_t(y)];
        scaleColourRows(c1.ptr<unsigned short>(y), c2.ptr<unsigned short>(y), eff.m_c1.ptr<unsigned short>(y),
            eff.m_c2.ptr<unsigned short>(y), c1.cols, m_colTerms.data(), rowTerm, m_gainTable.data(),
            m_blockLuma.data(), knee());
    }
    return true;
}
