#include "guidedfilter.h"

#include <algorithm>
#include <cmath>

namespace {
// Rows whose horizontal sums run side by side (vectors of this many floats).
constexpr int rowsPerBlock = 4;
// Keeps a flat window's a at 0 instead of 0 / 0.
constexpr float minimumEps = 1e-12f;

// The window of radius radius over n samples: the inner window holds the samples within
// floor(radius), the outer one a ring more, weighted by the fraction.
BoxWindow windowOf(float radius, int n)
{
    // A window wider than the plane sees all of it whatever its radius.
    const float clamped = std::min(std::max(radius, 0.0f), float(n));
    const int whole = int(std::floor(clamped));
    return { whole, clamped - float(whole) };
}

// One row of vertical means from the running column sums, which then move a row down. The
// pointers never overlap, which lets the compiler vectorise without checking.
void verticalStep(float *__restrict means, float *__restrict inner, float *__restrict outer,
    const float *__restrict innerIn, const float *__restrict innerOut, const float *__restrict outerIn,
    const float *__restrict outerOut, std::size_t cols, float fraction, float norm)
{
    for (std::size_t x = 0; x < cols; ++x) {
        means[x] = (inner[x] + fraction * (outer[x] - inner[x])) * norm;
        inner[x] += innerIn[x] - innerOut[x];
        outer[x] += outerIn[x] - outerOut[x];
    }
}

// The reciprocal weight of the clipped window at every index 0..n-1.
void windowNorms(const BoxWindow &window, int n, std::vector<float> &norms)
{
    norms.resize(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        const int inner = std::min(i + window.whole, n - 1) - std::max(i - window.whole, 0) + 1;
        const int outer = std::min(i + window.whole + 1, n - 1) - std::max(i - window.whole - 1, 0) + 1;
        norms[std::size_t(i)] = float(1.0 / (inner + double(window.fraction) * (outer - inner)));
    }
}
}

bool GuidedFilter::fit(const float *plane, int cols, int rows, float radius, float eps, bool decisive)
{
    if (!plane || cols < 1 || rows < 1 || !std::isfinite(radius) || !std::isfinite(eps))
        return false;
    m_cols = cols;
    m_rows = rows;
    m_across = windowOf(radius, cols);
    m_down = windowOf(radius, rows);
    windowNorms(m_across, cols, m_columnNorm);
    windowNorms(m_down, rows, m_rowNorm);
    const std::size_t count = std::size_t(cols) * std::size_t(rows);
    m_coefficientA.resize(count);
    m_coefficientB.resize(count);
    float *a = m_coefficientA.data(), *b = m_coefficientB.data();
    const float regularisation = std::max(eps, minimumEps);
    boxMeans(plane, nullptr, true, [&](int y, const float *mean, const float *meanOfSquare) {
        float *rowA = a + std::size_t(y) * std::size_t(cols), *rowB = b + std::size_t(y) * std::size_t(cols);
        for (int x = 0; x < cols; ++x) {
            const float variance = std::max(meanOfSquare[x] - mean[x] * mean[x], 0.0f);
            const float fitted = variance / (variance + regularisation);
            const float slope
                = decisive ? fitted * fitted / (fitted * fitted + (1.0f - fitted) * (1.0f - fitted)) : fitted;
            rowA[x] = slope;
            rowB[x] = mean[x] - slope * mean[x];
        }
    });
    boxMeans(a, b, false, [&](int y, const float *meanA, const float *meanB) {
        const std::size_t offset = std::size_t(y) * std::size_t(cols);
        std::copy(meanA, meanA + cols, a + offset);
        std::copy(meanB, meanB + cols, b + offset);
    });
    return true;
}

void GuidedFilter::base(const float *plane, float *base) const
{
    const std::size_t count = std::size_t(m_cols) * std::size_t(m_rows);
    const float *a = m_coefficientA.data(), *b = m_coefficientB.data();
    for (std::size_t i = 0; i < count; ++i)
        base[i] = a[i] * plane[i] + b[i];
}

float *GuidedFilter::ringRow(int channel, int row)
{
    return m_ring[channel].data() + std::size_t(row % m_ringRows) * std::size_t(m_cols);
}

template <class Consumer>
void GuidedFilter::boxMeans(const float *first, const float *second, bool squareFirst, Consumer consume)
{
    const int r = m_down.whole;
    const std::size_t cols = std::size_t(m_cols);
    // The vertical window spans rows y - r - 1 .. y + r + 2 while a block ahead is computed.
    m_ringRows = 2 * r + 4 + rowsPerBlock;
    m_zeroRow.assign(cols, 0.0f);
    const std::size_t stripLength = std::size_t(m_cols + 2 * (m_across.whole + 2)) * rowsPerBlock;
    m_strip.assign(stripLength, 0.0f);
    for (int channel = 0; channel < 2; ++channel) {
        m_ring[channel].resize(std::size_t(m_ringRows) * cols);
        m_innerSums[channel].assign(cols, 0.0f);
        m_outerSums[channel].assign(cols, 0.0f);
        m_means[channel].resize(cols);
    }
    int computedRows = 0;
    auto computeUpTo = [&](int row) {
        while (computedRows <= std::min(row, m_rows - 1)) {
            const bool wholeBlock = computedRows + rowsPerBlock <= m_rows;
            for (int channel = 0; channel < 2; ++channel) {
                const float *plane = channel == 0 || squareFirst ? first : second;
                const bool square = channel == 1 && squareFirst;
                if (wholeBlock)
                    horizontalRows<rowsPerBlock>(plane, square, computedRows, channel);
                else
                    horizontalRows<1>(plane, square, computedRows, channel);
            }
            computedRows += wholeBlock ? rowsPerBlock : 1;
        }
    };
    auto rowAt = [&](int channel, int y) -> const float * {
        return y >= 0 && y < m_rows ? ringRow(channel, y) : m_zeroRow.data();
    };
    computeUpTo(r + 1);
    for (int channel = 0; channel < 2; ++channel) {
        float *inner = m_innerSums[channel].data(), *outer = m_outerSums[channel].data();
        for (int y = -r; y <= r; ++y) {
            const float *row = rowAt(channel, y);
            for (std::size_t x = 0; x < cols; ++x)
                inner[x] += row[x];
        }
        const float *above = rowAt(channel, -r - 1), *below = rowAt(channel, r + 1);
        for (std::size_t x = 0; x < cols; ++x)
            outer[x] = inner[x] + above[x] + below[x];
    }
    const float fraction = m_down.fraction;
    for (int y = 0; y < m_rows; ++y) {
        computeUpTo(y + r + 2);
        const float norm = m_rowNorm[std::size_t(y)];
        for (int channel = 0; channel < 2; ++channel) {
            float *inner = m_innerSums[channel].data(), *outer = m_outerSums[channel].data();
            float *means = m_means[channel].data();
            const float *innerIn = rowAt(channel, y + r + 1), *innerOut = rowAt(channel, y - r);
            const float *outerIn = rowAt(channel, y + r + 2), *outerOut = rowAt(channel, y - r - 1);
            verticalStep(means, inner, outer, innerIn, innerOut, outerIn, outerOut, cols, fraction, norm);
        }
        consume(y, m_means[0].data(), m_means[1].data());
    }
}

// Running sums along a row form one long chain of dependent additions; rows summed side by
// side give the processor independent chains to overlap.
template <int blockRows> void GuidedFilter::horizontalRows(const float *plane, bool square, int firstRow, int channel)
{
    const int r = m_across.whole, pad = r + 2;
    const std::size_t paddedCols = std::size_t(m_cols + 2 * pad);
    const float *p[blockRows];
    float *out[blockRows];
    float inner[blockRows], outer[blockRows];
    for (int k = 0; k < blockRows; ++k) {
        // Zeros beyond both ends (from the start of the pass), so no border tests below.
        float *padded = m_strip.data() + std::size_t(k) * paddedCols + pad;
        const float *row = plane + std::size_t(firstRow + k) * std::size_t(m_cols);
        for (int x = 0; x < m_cols; ++x)
            padded[x] = square ? row[x] * row[x] : row[x];
        float sum = 0.0f;
        for (int i = -r; i <= r; ++i)
            sum += padded[i];
        inner[k] = sum;
        outer[k] = sum + padded[-r - 1] + padded[r + 1];
        p[k] = padded;
        out[k] = ringRow(channel, firstRow + k);
    }
    const float fraction = m_across.fraction;
    const float *norm = m_columnNorm.data();
    for (int x = 0; x < m_cols; ++x) {
        for (int k = 0; k < blockRows; ++k) {
            out[k][x] = (inner[k] + fraction * (outer[k] - inner[k])) * norm[x];
            inner[k] += p[k][x + r + 1] - p[k][x - r];
            outer[k] += p[k][x + r + 2] - p[k][x - r - 1];
        }
    }
}
