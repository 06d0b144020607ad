#include "blockaverage.h"

#include <algorithm>
#include <emmintrin.h>
#include <vector>

namespace {

int clampIndex(std::int64_t v, int n) { return int(std::clamp<std::int64_t>(v, 0, n - 1)); }

// The samples a block starting at start covers, as a closed range inside 0 .. n - 1.
struct Cover {
    int lo, hi;
    int count() const { return hi - lo + 1; }
};

Cover cover(std::int64_t start, int dec, int n) { return { clampIndex(start, n), clampIndex(start + dec - 1, n) }; }

// round(sum / n), ties up, by a multiply and a shift: with d = 2n, q = floor((2 sum + n) / d),
// and for numerators below 2^28 a multiplier of ceil(2^(28 + log2 d) / d) gives the exact
// quotient. Sums of up to 32 x 32 16-bit samples stay below 2^27.
class RoundingDivider {
public:
    explicit RoundingDivider(unsigned n)
        : m_n(n)
    {
        const std::uint64_t d = 2ull * n;
        int bits = 0;
        while ((1ull << bits) < d)
            ++bits;
        m_shift = 28 + bits;
        m_multiplier = ((1ull << m_shift) + d - 1) / d;
    }
    unsigned operator()(std::uint32_t sum) const
    {
        return unsigned((std::uint64_t(2 * sum + m_n) * m_multiplier) >> m_shift);
    }

private:
    std::uint32_t m_n;
    int m_shift;
    std::uint64_t m_multiplier;
};

// Column sums over the rows of one block row: acc[u] = sum of src(r, first + u), r in rows.
// All rows are read side by side, so the sums stay in registers and every source sample is
// loaded once.
void sumColumns16(const cv::Mat &src, Cover rows, int first, int length, std::uint32_t *acc)
{
    const unsigned short *row[32];
    const int count = rows.count();
    for (int r = 0; r < count; ++r)
        row[r] = src.ptr<unsigned short>(rows.lo + r) + first;
    const __m128i zero = _mm_setzero_si128();
    int u = 0;
    for (; u + 8 <= length; u += 8) {
        __m128i low = zero, high = zero;
        for (int r = 0; r < count; ++r) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row[r] + u));
            low = _mm_add_epi32(low, _mm_unpacklo_epi16(x, zero));
            high = _mm_add_epi32(high, _mm_unpackhi_epi16(x, zero));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(acc + u), low);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(acc + u + 4), high);
    }
    for (; u < length; ++u) {
        std::uint32_t sum = 0;
        for (int r = 0; r < count; ++r)
            sum += row[r][u];
        acc[u] = sum;
    }
}

// The same summed in pairs of neighbouring columns, for blocks of even width: acc[k] holds
// columns first + 2k and first + 2k + 1. One multiply-add per eight samples forms the pairs,
// which halves the work of the row sums. The multiply-add is signed, so samples are moved to
// -32768 .. 32767 first and the offset (65536 per pair and row) is left in the sums.
void sumColumnPairs16(const cv::Mat &src, Cover rows, int first, int pairs, std::int32_t *acc)
{
    const unsigned short *row[32];
    const int count = rows.count();
    for (int r = 0; r < count; ++r)
        row[r] = src.ptr<unsigned short>(rows.lo + r) + first;
    const __m128i flip = _mm_set1_epi16(short(0x8000));
    const __m128i ones = _mm_set1_epi16(1);
    int k = 0;
    for (; k + 4 <= pairs; k += 4) {
        __m128i sum = _mm_setzero_si128();
        for (int r = 0; r < count; ++r) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row[r] + 2 * k));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_xor_si128(x, flip), ones));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(acc + k), sum);
    }
    for (; k < pairs; ++k) {
        std::int32_t sum = 0;
        for (int r = 0; r < count; ++r)
            sum += int(row[r][2 * k]) + int(row[r][2 * k + 1]) - 65536;
        acc[k] = sum;
    }
}

template <typename T> void sumColumnsGeneric(const cv::Mat &src, Cover rows, int first, int length, std::uint32_t *acc)
{
    std::fill(acc, acc + length, 0u);
    for (int r = rows.lo; r <= rows.hi; ++r) {
        const T *row = src.ptr<T>(r) + first;
        for (int u = 0; u < length; ++u)
            acc[u] += row[u];
    }
}

// A block that reaches past the left or right edge, summed directly.
template <typename T> T edgeBlock(const cv::Mat &src, Cover rows, Cover cols)
{
    std::uint32_t sum = 0;
    for (int r = rows.lo; r <= rows.hi; ++r) {
        const T *row = src.ptr<T>(r);
        for (int c = cols.lo; c <= cols.hi; ++c)
            sum += row[c];
    }
    return T(RoundingDivider(unsigned(rows.count() * cols.count()))(sum));
}

template <typename T> void averageRows(const cv::Mat &src, cv::Mat &dst, std::int64_t x0, std::int64_t y0, int dec)
{
    // Result columns whose whole block lies inside the source.
    const int inFirst = int(std::clamp<std::int64_t>(x0 >= 0 ? 0 : (-x0 + dec - 1) / dec, 0, dst.cols));
    const int inEnd
        = std::max(inFirst, int(std::clamp<std::int64_t>(src.cols >= x0 ? (src.cols - x0) / dec : 0, 0, dst.cols)));
    const int first = int(x0 + std::int64_t(inFirst) * dec);
    const int length = (inEnd - inFirst) * dec;
    const bool pairs = sizeof(T) == 2 && dec % 2 == 0;
    std::vector<std::uint32_t> scratch(std::size_t(length) + 8);
    std::uint32_t *acc = scratch.data();
    auto *pairAcc = reinterpret_cast<std::int32_t *>(acc);
    const int half = dec / 2;
    for (int i = 0; i < dst.rows; ++i) {
        const Cover rows = cover(y0 + std::int64_t(i) * dec, dec, src.rows);
        T *out = dst.ptr<T>(i);
        if (length > 0) {
            const RoundingDivider divide(unsigned(rows.count() * dec));
            if (pairs) {
                sumColumnPairs16(src, rows, first, length / 2, pairAcc);
                const std::int32_t offset = rows.count() * dec * 32768;
                for (int j = 0; j < inEnd - inFirst; ++j) {
                    std::int32_t sum = offset;
                    for (int l = 0; l < half; ++l)
                        sum += pairAcc[j * half + l];
                    out[inFirst + j] = T(divide(std::uint32_t(sum)));
                }
            } else {
                if (sizeof(T) == 2)
                    sumColumns16(src, rows, first, length, acc);
                else
                    sumColumnsGeneric<T>(src, rows, first, length, acc);
                for (int j = 0; j < inEnd - inFirst; ++j) {
                    std::uint32_t sum = 0;
                    for (int l = 0; l < dec; ++l)
                        sum += acc[j * dec + l];
                    out[inFirst + j] = T(divide(sum));
                }
            }
        }
        for (int j = 0; j < inFirst; ++j)
            out[j] = edgeBlock<T>(src, rows, cover(x0 + std::int64_t(j) * dec, dec, src.cols));
        for (int j = inEnd; j < dst.cols; ++j)
            out[j] = edgeBlock<T>(src, rows, cover(x0 + std::int64_t(j) * dec, dec, src.cols));
    }
}
}

namespace BlockAverage {
void average(const cv::Mat &src, cv::Mat &dst, std::int64_t x0, std::int64_t y0, int dec)
{
    if (src.depth() == CV_8U)
        averageRows<unsigned char>(src, dst, x0, y0, dec);
    else
        averageRows<unsigned short>(src, dst, x0, y0, dec);
}
}
