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

// The conversion runs over every pixel of the picture as loops over arrays that the compiler
// turns into vector code, wider with AVX2. Both versions do the same float operations in the
// same order (AVX2 brings no fused multiply-add), so the counts are identical. Not under the
// thread sanitizer, whose runtime is not ready when the version is picked.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define FX_HIST_WIDE __attribute__((target_clones("avx2", "default")))
#else
#define FX_HIST_WIDE
#endif

// One block row's colour per pixel: the offsets that turn a pixel's luma into its encoded
// ProPhoto R, G and B (see the pixel model: B = luma + 2 (c1 - neutral),
// R = luma + 2 (c2 - neutral), and G makes the weighted sum come out as luma), repeated for
// both pixels of each block.
void pixelOffsets(const unsigned short *c1, const unsigned short *c2, int *r, int *g, int *b, int cols)
{
    using namespace PixelModel;
    for (int x = 0; x < cols; x += 2) {
        const int blueOffset = 2 * (c1[x / 2] - neutral16), redOffset = 2 * (c2[x / 2] - neutral16);
        // -(wR r + wB b) / wG, rounded half away from zero. In double the quotient of these
        // integers is exact to far better than the 1 / (2 wG) that separates it from a tie, and
        // a tie is exact, so this rounds exactly as integer arithmetic would, without a
        // division per block that the compiler cannot vectorise.
        const double green = -(double(weightR) * redOffset + double(weightB) * blueOffset) / double(weightG);
        const int greenOffset = int(std::trunc(green + (green >= 0.0 ? 0.5 : -0.5)));
        for (int k = x; k < std::min(x + 2, cols); ++k) {
            r[k] = redOffset;
            g[k] = greenOffset;
            b[k] = blueOffset;
        }
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

// One chunk of a row to 8-bit sRGB and display luma: out holds four arrays of n bytes (red,
// green, blue, luma).
FX_HIST_WIDE void toDisplayChunk(const DisplayColour::Tables &t, const unsigned short *__restrict luma,
    const int *__restrict offR, const int *__restrict offG, const int *__restrict offB,
    unsigned char (&out)[4][chunkSize], int n)
{
    int index[3][chunkSize];
    float linear[3][chunkSize];
    const int *offsets[3] = { offR, offG, offB };
    for (int c = 0; c < 3; ++c) {
        const int *o = offsets[c];
        for (int i = 0; i < n; ++i)
            index[c][i] = std::min(65535, std::max(0, int(luma[i]) + o[i]));
        for (int i = 0; i < n; ++i)
            linear[c][i] = t.toLinear[index[c][i]];
    }
    for (int c = 0; c < 3; ++c) {
        const float m0 = t.matrix[c][0], m1 = t.matrix[c][1], m2 = t.matrix[c][2];
        for (int i = 0; i < n; ++i)
            index[c][i] = srgbIndex(m0 * linear[0][i] + m1 * linear[1][i] + m2 * linear[2][i]);
        for (int i = 0; i < n; ++i)
            out[c][i] = t.toSrgb8[index[c][i]];
    }
    for (int i = 0; i < n; ++i)
        out[3][i] = static_cast<unsigned char>(displayLuma(out[0][i], out[1][i], out[2][i]));
}

constexpr int countCopies = 4;

// copies holds countCopies sets of four 256-bin histograms (red, green, blue, luminance).
// Neighbouring pixels mostly fall into the same bins; counting them into separate copies
// keeps each increment from waiting for the one before.
void countChunk(const unsigned char (&values)[4][chunkSize], int n, std::uint32_t *copies)
{
    for (int c = 0; c < 4; ++c) {
        const unsigned char *v = values[c];
        std::uint32_t *h0 = copies + c * 256, *h1 = h0 + 1024, *h2 = h0 + 2048, *h3 = h0 + 3072;
        int i = 0;
        for (; i + 4 <= n; i += 4) {
            ++h0[v[i]];
            ++h1[v[i + 1]];
            ++h2[v[i + 2]];
            ++h3[v[i + 3]];
        }
        for (; i < n; ++i)
            ++h0[v[i]];
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
    std::vector<int> offsets(static_cast<std::size_t>(3 * lum.cols));
    int *offR = offsets.data(), *offG = offR + lum.cols, *offB = offG + lum.cols;
    std::vector<std::uint32_t> copies(std::size_t(countCopies) * 4 * 256, 0);
    unsigned char values[4][chunkSize];
    for (int y = 0; y < lum.rows; ++y) {
        if (y % 2 == 0)
            pixelOffsets(image.m_c1.ptr<unsigned short>(y / 2), image.m_c2.ptr<unsigned short>(y / 2), offR, offG, offB,
                lum.cols);
        const unsigned short *row = lum.ptr<unsigned short>(y);
        for (int x0 = 0; x0 < lum.cols; x0 += chunkSize) {
            const int n = std::min(chunkSize, lum.cols - x0);
            toDisplayChunk(t, row + x0, offR + x0, offG + x0, offB + x0, values, n);
            countChunk(values, n, copies.data());
        }
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
