#include "separablegaussian.h"

#include "fxwide.h"

#include <algorithm>
#include <cmath>

namespace {
// Simpson steps over [0, 1/2] cycles per sample; the widest kernel's cosine makes about a dozen
// turns there, so this is far finer than the float taps need.
constexpr int integrationSteps = 1024;

// Sixteen floats, loaded and stored unaligned: one AVX-512 register, two AVX2 ones, four SSE
// ones. The taps are summed in registers and each output is stored once, so a vertical pass
// reads each ring row once per output row and writes nothing in between.
typedef float Floats __attribute__((vector_size(64), aligned(4)));
constexpr int lanes = 16;

#define FX_LOAD(p) (*reinterpret_cast<const Floats *>(p))

// dst[x] = taps[0] * rows[0][x] + sum over k of taps[k] * (rows[-k][x] + rows[k][x]). With
// rows[k] = row + k it is a horizontal pass over a row padded by halfWidth at both ends.
FX_WIDE void filterRows(const float *const *rows, float *dst, int cols, const float *taps, int halfWidth)
{
    int x = 0;
    // Four independent sums in flight hide the latency of the multiply-adds.
    for (; x + 4 * lanes <= cols; x += 4 * lanes) {
        Floats sum0 = taps[0] * FX_LOAD(rows[0] + x), sum1 = taps[0] * FX_LOAD(rows[0] + x + lanes);
        Floats sum2 = taps[0] * FX_LOAD(rows[0] + x + 2 * lanes), sum3 = taps[0] * FX_LOAD(rows[0] + x + 3 * lanes);
        for (int k = 1; k <= halfWidth; ++k) {
            const float *above = rows[-k] + x, *below = rows[k] + x;
            sum0 += taps[k] * (FX_LOAD(above) + FX_LOAD(below));
            sum1 += taps[k] * (FX_LOAD(above + lanes) + FX_LOAD(below + lanes));
            sum2 += taps[k] * (FX_LOAD(above + 2 * lanes) + FX_LOAD(below + 2 * lanes));
            sum3 += taps[k] * (FX_LOAD(above + 3 * lanes) + FX_LOAD(below + 3 * lanes));
        }
        *reinterpret_cast<Floats *>(dst + x) = sum0;
        *reinterpret_cast<Floats *>(dst + x + lanes) = sum1;
        *reinterpret_cast<Floats *>(dst + x + 2 * lanes) = sum2;
        *reinterpret_cast<Floats *>(dst + x + 3 * lanes) = sum3;
    }
    for (; x < cols; ++x) {
        float sum = taps[0] * rows[0][x];
        for (int k = 1; k <= halfWidth; ++k)
            sum += taps[k] * (rows[-k][x] + rows[k][x]);
        dst[x] = sum;
    }
}
}

std::vector<float> SeparableGaussian::bandLimitedTaps(double sigma)
{
    if (!(sigma > 0.0))
        return { 1.0f };
    const int halfWidth = int(std::ceil(3.5 * sigma)) + 2;
    const double step = 0.5 / integrationSteps;
    std::vector<double> taps(std::size_t(halfWidth) + 1, 0.0);
    for (int i = 0; i <= integrationSteps; ++i) {
        const double f = i * step;
        const double weight = (i == 0 || i == integrationSteps) ? 1.0 : (i % 2 ? 4.0 : 2.0);
        const double spectrum = std::exp(-2.0 * M_PI * M_PI * sigma * sigma * f * f) * weight;
        for (int k = 0; k <= halfWidth; ++k)
            taps[std::size_t(k)] += spectrum * std::cos(2.0 * M_PI * k * f);
    }
    // The truncated kernel is normalised so that a flat area comes out exactly flat.
    double sum = taps[0];
    for (int k = 1; k <= halfWidth; ++k)
        sum += 2.0 * taps[std::size_t(k)];
    std::vector<float> result(taps.size());
    for (std::size_t k = 0; k < taps.size(); ++k)
        result[k] = float(taps[k] / sum);
    return result;
}

void SeparableGaussian::start(const cv::Mat &src, const std::vector<float> &taps, int firstCol, int cols)
{
    m_src = &src;
    m_taps = taps.empty() ? std::vector<float> { 1.0f } : taps;
    m_halfWidth = int(m_taps.size()) - 1;
    m_firstCol = std::clamp(firstCol, 0, std::max(0, src.cols - 1));
    m_cols = std::clamp(cols, 0, src.cols - m_firstCol);
    m_padded.resize(std::size_t(m_cols + 2 * m_halfWidth));
    m_ring.resize(std::size_t(m_cols) * std::size_t(2 * m_halfWidth + 1));
    m_out.resize(std::size_t(m_cols));
    m_rowPointers.resize(std::size_t(2 * m_halfWidth + 1));
    // The first row asked for needs the virtual rows -halfWidth .. halfWidth.
    m_nextVirtualRow = -m_halfWidth;
}

float *SeparableGaussian::ringRow(int virtualRow)
{
    const int slots = 2 * m_halfWidth + 1;
    const int slot = ((virtualRow % slots) + slots) % slots;
    return m_ring.data() + std::size_t(slot) * std::size_t(m_cols);
}

void SeparableGaussian::blurHorizontally(int srcRow, float *dst)
{
    const int half = m_halfWidth, last = m_src->cols - 1;
    // The strip with the samples the taps reach on both sides; beyond the plane's edges the edge
    // samples repeat, so that the filter needs no tests.
    const unsigned short *src = m_src->ptr<unsigned short>(srcRow);
    float *padded = m_padded.data();
    const int paddedCols = m_cols + 2 * half, first = m_firstCol - half;
    const int insideFrom = std::clamp(-first, 0, paddedCols), insideTo = std::clamp(last + 1 - first, 0, paddedCols);
    for (int i = 0; i < insideFrom; ++i)
        padded[i] = src[0];
    for (int i = insideFrom; i < insideTo; ++i)
        padded[i] = src[first + i];
    for (int i = std::max(insideFrom, insideTo); i < paddedCols; ++i)
        padded[i] = src[last];
    for (int k = -half; k <= half; ++k)
        m_rowPointers[std::size_t(k + half)] = padded + half + k;
    filterRows(m_rowPointers.data() + half, dst, m_cols, m_taps.data(), half);
}

const float *SeparableGaussian::blurredRow(int y)
{
    const int rows = m_src->rows, cols = m_cols, half = m_halfWidth;
    for (; m_nextVirtualRow <= y + half; ++m_nextVirtualRow) {
        const int srcRow = std::clamp(m_nextVirtualRow, 0, rows - 1);
        float *dst = ringRow(m_nextVirtualRow);
        // Rows beyond the edges repeat the edge row; its blur is already in the ring.
        if (srcRow != m_nextVirtualRow && m_nextVirtualRow > -half)
            std::copy_n(ringRow(m_nextVirtualRow - 1), cols, dst);
        else
            blurHorizontally(srcRow, dst);
    }
    for (int k = -half; k <= half; ++k)
        m_rowPointers[std::size_t(k + half)] = ringRow(y + k);
    filterRows(m_rowPointers.data() + half, m_out.data(), m_cols, m_taps.data(), half);
    return m_out.data();
}
