#include "blockaverage.h"

#include <algorithm>
#include <emmintrin.h>
#include <immintrin.h>
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
// N > 0: the block row has exactly N rows, known to the compiler, which then keeps every
// row's load in flight at once instead of looping.
template <int N> void sumColumns16(const cv::Mat &src, Cover rows, int first, int length, std::uint32_t *acc)
{
    const unsigned short *row[32];
    const int count = N > 0 ? N : rows.count();
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
template <int N> void sumColumnPairs16(const cv::Mat &src, Cover rows, int first, int pairs, std::int32_t *acc)
{
    const unsigned short *row[32];
    const int count = N > 0 ? N : rows.count();
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

#if defined(__GNUC__) && defined(__x86_64__)
// The same sixteen samples per step. Reading is what costs; wider loads keep more of it in
// flight per instruction.
template <int N>
__attribute__((target("avx2"))) void sumColumnPairs16Avx2(
    const cv::Mat &src, Cover rows, int first, int pairs, std::int32_t *acc)
{
    const unsigned short *row[32];
    const int count = N > 0 ? N : rows.count();
    for (int r = 0; r < count; ++r)
        row[r] = src.ptr<unsigned short>(rows.lo + r) + first;
    const __m256i flip = _mm256_set1_epi16(short(0x8000));
    const __m256i ones = _mm256_set1_epi16(1);
    int k = 0;
    for (; k + 8 <= pairs; k += 8) {
        __m256i sum = _mm256_setzero_si256();
        for (int r = 0; r < count; ++r) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row[r] + 2 * k));
            sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_xor_si256(x, flip), ones));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(acc + k), sum);
    }
    for (; k < pairs; ++k) {
        std::int32_t sum = 0;
        for (int r = 0; r < count; ++r)
            sum += int(row[r][2 * k]) + int(row[r][2 * k + 1]) - 65536;
        acc[k] = sum;
    }
}

bool bAvx2()
{
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return supported;
}
#endif

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

// The same rounding for a power of two, as a shift the compiler can vectorise.
class RoundingShift {
public:
    explicit RoundingShift(unsigned n)
        : m_half(n / 2)
    {
        while ((1u << m_shift) < n)
            ++m_shift;
    }
    unsigned operator()(std::uint32_t sum) const { return (sum + m_half) >> m_shift; }

private:
    unsigned m_half;
    int m_shift = 0;
};

bool bPowerOfTwo(unsigned n) { return (n & (n - 1)) == 0; }

// Sums of group consecutive entries of acc (G > 0: known to the compiler), plus offset,
// divided into out.
template <int G, typename T, typename Acc, typename Divider>
void finishBlocks(const Acc *acc, int group, std::int32_t offset, const Divider &divide, T *out, int count)
{
    const int n = G > 0 ? G : group;
    for (int j = 0; j < count; ++j) {
        std::int32_t sum = offset;
        for (int l = 0; l < n; ++l)
            sum += std::int32_t(acc[j * n + l]);
        out[j] = T(divide(std::uint32_t(sum)));
    }
}

// One result row's blocks that lie wholly inside the source in both directions' columns: the
// rows summed per column (or column pair), then the columns per block. N is the number of
// rows when the compiler should know it (0 otherwise).
template <int N>
void insideBlocks16(
    const cv::Mat &src, Cover rows, int first, int blocks, int dec, std::uint32_t *acc, unsigned short *out)
{
    const unsigned n = unsigned(rows.count() * dec);
    if (dec % 2 == 0) {
        auto *pairs = reinterpret_cast<std::int32_t *>(acc);
#if defined(__GNUC__) && defined(__x86_64__)
        if (bAvx2())
            sumColumnPairs16Avx2<N>(src, rows, first, blocks * dec / 2, pairs);
        else
#endif
            sumColumnPairs16<N>(src, rows, first, blocks * dec / 2, pairs);
        const std::int32_t offset = rows.count() * dec * 32768;
        if (dec == 4 && n == 16)
            finishBlocks<2>(pairs, 2, offset, RoundingShift(16), out, blocks);
        else if (bPowerOfTwo(n))
            finishBlocks<0>(pairs, dec / 2, offset, RoundingShift(n), out, blocks);
        else
            finishBlocks<0>(pairs, dec / 2, offset, RoundingDivider(n), out, blocks);
    } else {
        const RoundingDivider divide(n);
        sumColumns16<N>(src, rows, first, blocks * dec, acc);
        if (dec == 3)
            finishBlocks<3>(acc, 3, 0, divide, out, blocks);
        else
            finishBlocks<0>(acc, dec, 0, divide, out, blocks);
    }
}

void insideBlocks16(
    const cv::Mat &src, Cover rows, int first, int blocks, int dec, std::uint32_t *acc, unsigned short *out)
{
    switch (rows.count() == dec ? dec : 0) {
    case 2:
        return insideBlocks16<2>(src, rows, first, blocks, dec, acc, out);
    case 3:
        return insideBlocks16<3>(src, rows, first, blocks, dec, acc, out);
    case 4:
        return insideBlocks16<4>(src, rows, first, blocks, dec, acc, out);
    case 6:
        return insideBlocks16<6>(src, rows, first, blocks, dec, acc, out);
    case 8:
        return insideBlocks16<8>(src, rows, first, blocks, dec, acc, out);
    default:
        return insideBlocks16<0>(src, rows, first, blocks, dec, acc, out);
    }
}

void insideBlocks8(
    const cv::Mat &src, Cover rows, int first, int blocks, int dec, std::uint32_t *acc, unsigned char *out)
{
    sumColumnsGeneric<unsigned char>(src, rows, first, blocks * dec, acc);
    finishBlocks<0>(acc, dec, 0, RoundingDivider(unsigned(rows.count() * dec)), out, blocks);
}

template <typename T> void averageRows(const cv::Mat &src, cv::Mat &dst, std::int64_t x0, std::int64_t y0, int dec)
{
    // Result columns whose whole block lies inside the source.
    const int inFirst = int(std::clamp<std::int64_t>(x0 >= 0 ? 0 : (-x0 + dec - 1) / dec, 0, dst.cols));
    const int inEnd
        = std::max(inFirst, int(std::clamp<std::int64_t>(src.cols >= x0 ? (src.cols - x0) / dec : 0, 0, dst.cols)));
    const int first = int(x0 + std::int64_t(inFirst) * dec);
    std::vector<std::uint32_t> scratch(std::size_t(inEnd - inFirst) * dec + 8);
    for (int i = 0; i < dst.rows; ++i) {
        const Cover rows = cover(y0 + std::int64_t(i) * dec, dec, src.rows);
        T *out = dst.ptr<T>(i);
        if (inEnd > inFirst) {
            if constexpr (sizeof(T) == 2)
                insideBlocks16(src, rows, first, inEnd - inFirst, dec, scratch.data(), out + inFirst);
            else
                insideBlocks8(src, rows, first, inEnd - inFirst, dec, scratch.data(), out + inFirst);
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
