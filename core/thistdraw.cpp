#include "thistdraw.h"

#include "displaycolour.h"
#include "pixelmodel.h"
#include "qximproca.h"
#include "tpimage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const cv::Vec3b background(26, 26, 26);
const cv::Vec3b quarterLine(52, 52, 52);
const cv::Vec3b outline(235, 235, 235);
// Added together where channels overlap: red + green is yellow, all three light grey.
constexpr int channelLevel = 205;

// One 2x2 block's colour: the offsets that turn a pixel's luma into its encoded ProPhoto
// R, G and B (see the pixel model: B = luma + 2 (c1 - neutral), R = luma + 2 (c2 - neutral),
// and G makes the weighted sum come out as luma).
struct BlockOffsets {
    int r, g, b;
};

void blockOffsets(const unsigned short *c1, const unsigned short *c2, BlockOffsets *offsets, int count)
{
    using namespace PixelModel;
    for (int i = 0; i < count; ++i) {
        const int b = 2 * (c1[i] - neutral16), r = 2 * (c2[i] - neutral16);
        // -(wR r + wB b) / wG, rounded half away from zero.
        const std::int64_t g = -(std::int64_t(weightR) * r + std::int64_t(weightB) * b);
        const std::int64_t half = weightG / 2;
        offsets[i] = { r, int((g >= 0 ? g + half : g - half) / weightG), b };
    }
}

// Linear light to the 8-bit sRGB table's index. Clamped as an integer: linear light stays
// within a few units (the matrix of in-range values), so the conversion cannot overflow, and
// integer clamps vectorise where float comparisons would not.
inline int srgbIndex(float linear)
{
    const int index = int(linear * 65535.0f + 0.5f);
    return std::min(65535, std::max(0, index));
}

// Rec. 709 luma of the encoded sRGB values, in 1/256 steps (54 + 183 + 19 = 256).
inline int displayLuma(int r, int g, int b) { return (54 * r + 183 * g + 19 * b + 128) >> 8; }

constexpr int chunkSize = 256;

// The matrix and the clamping for a chunk of pixels: plain arithmetic on arrays, which the
// compiler turns into vector instructions (the table look-ups around it cannot be).
void linearToSrgbIndex(const float (&m)[3][3], const float (&linear)[3][chunkSize], int (&index)[3][chunkSize], int n)
{
    for (int c = 0; c < 3; ++c) {
        const float m0 = m[c][0], m1 = m[c][1], m2 = m[c][2];
        for (int i = 0; i < n; ++i)
            index[c][i] = srgbIndex(m0 * linear[0][i] + m1 * linear[1][i] + m2 * linear[2][i]);
    }
}

// One row of pixels to 8-bit sRGB, three planes of cols values one after the other.
void toDisplayRow(const DisplayColour::Tables &t, const unsigned short *luma, const BlockOffsets *offsets,
    unsigned char *__restrict srgb, int cols)
{
    float m[3][3];
    std::memcpy(m, t.matrix, sizeof(m));
    float linear[3][chunkSize];
    int index[3][chunkSize];
    for (int x0 = 0; x0 < cols; x0 += chunkSize) {
        const int n = std::min(chunkSize, cols - x0);
        for (int i = 0; i < n; ++i) {
            const BlockOffsets o = offsets[(x0 + i) / 2];
            const int l = luma[x0 + i];
            linear[0][i] = t.toLinear[std::min(65535, std::max(0, l + o.r))];
            linear[1][i] = t.toLinear[std::min(65535, std::max(0, l + o.g))];
            linear[2][i] = t.toLinear[std::min(65535, std::max(0, l + o.b))];
        }
        linearToSrgbIndex(m, linear, index, n);
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < n; ++i)
                srgb[c * cols + x0 + i] = t.toSrgb8[index[c][i]];
    }
}

constexpr int countCopies = 4;

// copies holds countCopies sets of four 256-bin histograms (red, green, blue, luminance).
void countRow(const unsigned char *srgb, int cols, std::uint32_t *copies)
{
    const unsigned char *r = srgb, *g = srgb + cols, *b = srgb + 2 * cols;
    for (int x = 0; x < cols; ++x) {
        std::uint32_t *h = copies + (x % countCopies) * 4 * 256;
        ++h[r[x]];
        ++h[256 + g[x]];
        ++h[512 + b[x]];
        ++h[768 + displayLuma(r[x], g[x], b[x])];
    }
}

}

THistDraw::THistDraw()
    : m_counts {}
{
}

void THistDraw::setHistSize(int width, int height)
{
    m_width = std::clamp(width, minimumSize, maximumSize);
    m_height = std::clamp(height, minimumSize, maximumSize);
}

std::uint64_t THistDraw::count(int channel, int bin) const
{
    if (channel < 0 || channel > 3 || bin < 0 || bin > 255)
        return 0;
    return m_counts[channel][bin];
}

bool THistDraw::countImage(const TPImage &image)
{
    std::memset(m_counts, 0, sizeof(m_counts));
    if (image.bEmpty())
        return false;
    const cv::Mat &lum = image.m_lum;
    const int halfRows = (lum.rows + 1) / 2, halfCols = (lum.cols + 1) / 2;
    for (const cv::Mat *plane : { &image.m_c1, &image.m_c2 }) {
        if (lum.type() != CV_16UC1 || plane->type() != CV_16UC1 || plane->rows != halfRows || plane->cols != halfCols) {
            QXimproca::debug(QXimproca::traceMsg("THistDraw::getHistMat", __LINE__, "planes do not fit together"));
            return false;
        }
    }
    const DisplayColour::Tables &t = DisplayColour::tables();
    std::vector<BlockOffsets> offsets(static_cast<std::size_t>(halfCols));
    std::vector<unsigned char> srgb(static_cast<std::size_t>(3 * lum.cols));
    // Neighbouring pixels mostly fall into the same bins; counting them into separate
    // copies keeps each increment from waiting for the one before.
    std::vector<std::uint32_t> copies(std::size_t(countCopies) * 4 * 256, 0);
    for (int y = 0; y < lum.rows; ++y) {
        if (y % 2 == 0)
            blockOffsets(
                image.m_c1.ptr<unsigned short>(y / 2), image.m_c2.ptr<unsigned short>(y / 2), offsets.data(), halfCols);
        toDisplayRow(t, lum.ptr<unsigned short>(y), offsets.data(), srgb.data(), lum.cols);
        countRow(srgb.data(), lum.cols, copies.data());
    }
    for (int copy = 0; copy < countCopies; ++copy)
        for (int c = 0; c < 4; ++c)
            for (int bin = 0; bin < 256; ++bin)
                m_counts[c][bin] += copies[std::size_t((copy * 4 + c) * 256 + bin)];
    return true;
}

void THistDraw::draw(cv::Mat &mat) const
{
    const int w = m_width, h = m_height;
    // Each column shows the largest count of the bins it covers, so narrow charts keep spikes.
    std::vector<std::uint64_t> columns(std::size_t(4 * w));
    for (int x = 0; x < w; ++x) {
        const int first = x * 256 / w, last = std::max(first + 1, (x + 1) * 256 / w);
        for (int c = 0; c < 4; ++c)
            columns[std::size_t(c * w + x)] = *std::max_element(m_counts[c] + first, m_counts[c] + last);
    }
    std::uint64_t peak = 0, peakWithEnds = 0;
    for (int c = 0; c < 4; ++c) {
        peak = std::max(peak, *std::max_element(m_counts[c] + 1, m_counts[c] + 255));
        peakWithEnds = std::max({ peakWithEnds, m_counts[c][0], m_counts[c][255] });
    }
    peak = peak ? peak : peakWithEnds;
    // Heights in pixels; a count of at least the peak fills the chart.
    std::vector<int> heights(columns.size(), 0);
    for (std::size_t i = 0; peak && i < columns.size(); ++i)
        heights[i] = int(std::min<std::uint64_t>(h, (2 * columns[i] * std::uint64_t(h) + peak) / (2 * peak)));
    for (int y = 0; y < h; ++y) {
        cv::Vec3b *row = mat.ptr<cv::Vec3b>(y);
        const int level = h - y; // rows from the bottom, 1-based
        for (int x = 0; x < w; ++x) {
            const bool r = heights[std::size_t(x)] >= level, g = heights[std::size_t(w + x)] >= level,
                       b = heights[std::size_t(2 * w + x)] >= level;
            if (r || g || b)
                row[x] = cv::Vec3b(b ? channelLevel : 0, g ? channelLevel : 0, r ? channelLevel : 0);
            else
                row[x] = (x == w / 4 || x == w / 2 || x == 3 * w / 4) ? quarterLine : background;
        }
    }
    if (!peak)
        return;
    // The luminance outline, joined column to column by vertical runs; where there is no
    // luminance it lies just below the chart.
    int previousTop = h - heights[std::size_t(3 * w)];
    for (int x = 0; x < w; ++x) {
        const int top = h - heights[std::size_t(3 * w + x)];
        for (int y = std::min(top, previousTop); y <= std::min(h - 1, std::max(top, previousTop)); ++y)
            mat.at<cv::Vec3b>(y, x) = outline;
        previousTop = top;
    }
}

bool THistDraw::getHistMat(cv::Mat &mat, const TPImage &image)
{
    const bool counted = countImage(image);
    mat.create(m_height, m_width, CV_8UC3);
    draw(mat);
    return counted;
}
