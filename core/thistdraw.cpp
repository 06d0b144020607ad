#include "thistdraw.h"

#include "displaycolour.h"
#include "pixelmodel.h"
#include "qximproca.h"
#include "tpimage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

const cv::Vec3b background(26, 26, 26);
const cv::Vec3b quarterLine(52, 52, 52);
const cv::Vec3b outline(235, 235, 235);
// Added together where channels overlap: red + green is yellow, all three light grey.
constexpr int channelLevel = 205;

constexpr int chunkSize = 256; // pixels of a row converted and counted at a time; a multiple of 16

// The tables' conversion runs as loops over arrays that the compiler turns into vector code,
// wider with AVX2. Both versions do the same float operations in the same order (AVX2 brings
// no fused multiply-add), so the counts are identical. Not under the thread sanitizer, whose
// runtime is not ready when the version is picked.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define FX_HIST_WIDE __attribute__((target_clones("avx2", "default")))
#else
#define FX_HIST_WIDE
#endif

// The offsets that turn a pixel's luma into its encoded ProPhoto R, G and B, per block of a
// block row (see the pixel model: B = luma + 2 (c1 - neutral), R = luma + 2 (c2 - neutral),
// and G makes the weighted sum come out as luma).
FX_HIST_WIDE void blockOffsets(const unsigned short *c1, const unsigned short *c2, int *__restrict r, int *__restrict g,
    int *__restrict b, int count)
{
    using namespace PixelModel;
    for (int i = 0; i < count; ++i) {
        const int blueOffset = 2 * (c1[i] - neutral16), redOffset = 2 * (c2[i] - neutral16);
        // -(wR r + wB b) / wG, rounded half away from zero. In double the quotient of these
        // integers is exact to far better than the 1 / (2 wG) that separates it from a tie, and
        // a tie is exact, so this rounds exactly as integer arithmetic would, without a
        // division per block that the compiler cannot vectorise.
        const double green = -(double(weightR) * redOffset + double(weightB) * blueOffset) / double(weightG);
        r[i] = redOffset;
        g[i] = int(std::trunc(green + (green >= 0.0 ? 0.5 : -0.5)));
        b[i] = blueOffset;
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

// n pixels (at most chunkSize) of a row through the tables; blockR, blockG and blockB hold
// the offsets of the row's blocks from the first pixel's on.
FX_HIST_WIDE void toDisplayTables(const DisplayColour::Tables &t, const unsigned short *__restrict luma,
    const int *__restrict blockR, const int *__restrict blockG, const int *__restrict blockB, int n,
    std::uint32_t *__restrict out)
{
    int index[3][chunkSize];
    float linear[3][chunkSize];
    unsigned char value[3][chunkSize];
    const int *blocks[3] = { blockR, blockG, blockB };
    for (int c = 0; c < 3; ++c) {
        const int *o = blocks[c];
        for (int i = 0; i < n; ++i)
            index[c][i] = std::min(65535, std::max(0, int(luma[i]) + o[i / 2]));
        for (int i = 0; i < n; ++i)
            linear[c][i] = t.toLinear[index[c][i]];
    }
    for (int c = 0; c < 3; ++c) {
        const float m0 = t.matrix[c][0], m1 = t.matrix[c][1], m2 = t.matrix[c][2];
        for (int i = 0; i < n; ++i)
            index[c][i] = srgbIndex(m0 * linear[0][i] + m1 * linear[1][i] + m2 * linear[2][i]);
        for (int i = 0; i < n; ++i)
            value[c][i] = t.toSrgb8[index[c][i]];
    }
    for (int i = 0; i < n; ++i) {
        const std::uint32_t r = value[0][i], g = value[1][i], b = value[2][i];
        out[i] = r | g << 8 | b << 16 | std::uint32_t(displayLuma(int(r), int(g), int(b))) << 24;
    }
}

// Bit k set where the sixteen values from 16 k on are all the same.
std::uint32_t flatGroups(const std::uint32_t *values, int n)
{
    std::uint32_t flat = 0;
    for (int g = 0; 16 * g + 16 <= n; ++g) {
        const std::uint32_t *v = values + 16 * g;
        bool same = true;
        for (int i = 1; i < 16; ++i)
            same &= v[i] == v[0];
        flat |= std::uint32_t(same) << g;
    }
    return flat;
}

#if defined(__GNUC__) && defined(__x86_64__)
#define FX_HIST_AVX512_BUILT 1
#define FX_HIST_AVX512 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vnni,fma")))
// GCC 12's AVX-512 intrinsics start from deliberately undefined vectors, which its
// maybe-uninitialized check reports wherever they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The wide conversion does without tables, which would need gathers (slow on some of the
// processors that have AVX-512). A positive float x = 2^k m, m in [1, 2), has
// x^p = (2^k)^p m^p: the first factor comes from sixteen values picked by the exponent's low
// four bits with one permute, the second from a polynomial in m, fitted once. Decoding (p = 1.8)
// sees integers 1..65535, so k is 0..15; encoding (p = 1 / 2.4) sees linear light from the
// sRGB curve's linear part up to 1, so k is -9..0.
//
// How far the result can be from the tables': a decoded value is within 5.6e-5 (relative) of
// x^1.8, the matrix (row sums of absolute values up to 3.07) takes that to 1.7e-4 of linear
// light, which moves the 8-bit value by at most 0.57 where the sRGB curve is steepest (3295
// levels per unit of linear light); the encoding's polynomial is within 1.1e-4 (relative), at
// most 0.03 levels; the tables round linear light to 1 / 65535, up to 0.03 levels. Before
// rounding, the two results stay within 0.63 of a level of each other, so after rounding they
// differ by one level at most, and the luminance, whose weights add up to one, too.
struct WideConstants {
    float decodeScale[16]; // at (127 + k) & 15: (2^k / 65535)^1.8
    float encodeScale[16]; // at (127 + k) & 15: 255 * 1.055 * 2^(k / 2.4)
    float decode[4]; // m^1.8, lowest power first
    float encode[4]; // m^(1 / 2.4)
    float matrix[3][3];
};

// Interpolates m^p at the Chebyshev nodes of [1, 2] (within a few parts in a million of the
// best polynomial of that degree), as coefficients of powers of m.
void fitPower(double p, int degree, float *coefficients)
{
    const int n = degree + 1;
    double a[5][6];
    for (int i = 0; i < n; ++i) {
        const double m = 1.5 + 0.5 * std::cos(M_PI * (i + 0.5) / n);
        for (int j = 0; j < n; ++j)
            a[i][j] = std::pow(m, j);
        a[i][n] = std::pow(m, p);
    }
    for (int c = 0; c < n; ++c) {
        int pivot = c;
        for (int r = c + 1; r < n; ++r)
            if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                pivot = r;
        std::swap(a[c], a[pivot]);
        for (int r = 0; r < n; ++r) {
            const double f = r == c ? 0.0 : a[r][c] / a[c][c];
            for (int k = c; k <= n; ++k)
                a[r][k] -= f * a[c][k];
        }
    }
    for (int i = 0; i < n; ++i)
        coefficients[i] = float(a[i][n] / a[i][i]);
}

const WideConstants &wideConstants()
{
    static const WideConstants constants = [] {
        WideConstants k {};
        for (int e = 0; e < 16; ++e) {
            k.decodeScale[(127 + e) & 15] = float(std::pow(std::ldexp(1.0, e) / 65535.0, 1.8));
            k.encodeScale[(127 - e) & 15] = float(255.0 * 1.055 * std::pow(2.0, -e / 2.4));
        }
        fitPower(1.8, 3, k.decode);
        fitPower(1.0 / 2.4, 3, k.encode);
        const DisplayColour::Tables &t = DisplayColour::tables();
        std::memcpy(k.matrix, t.matrix, sizeof(k.matrix));
        return k;
    }();
    return constants;
}

bool bWideSupported()
{
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
            && __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl")
            && __builtin_cpu_supports("avx512vnni");
    }();
    return supported;
}

// The mantissa of positive floats as a float in [1, 2).
FX_HIST_AVX512 inline __m512 mantissa(__m512i bits)
{
    return _mm512_castsi512_ps(
        _mm512_ternarylogic_epi32(bits, _mm512_set1_epi32(0x007FFFFF), _mm512_set1_epi32(0x3F800000), 0xEA));
}

// Sixteen pixels of two rows of the same block row (the colour offsets shared, repeated for
// the two pixels of each block); n of them valid. Fills w with packed display values and
// returns which of the two rows came out as one value throughout (bits 0 and 1).
FX_HIST_AVX512 inline unsigned convertGroup(const WideConstants &k, const unsigned short *luma0,
    const unsigned short *luma1, const unsigned short (&raise)[3][chunkSize],
    const unsigned short (&lower)[3][chunkSize], int x, int n, __m512i (&w)[2])
{
    const __mmask16 pixels = n >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << n) - 1);
    const __m256i luma[2] = { _mm256_maskz_loadu_epi16(pixels, luma0), _mm256_maskz_loadu_epi16(pixels, luma1) };
    const __m512 decodeScale = _mm512_loadu_ps(k.decodeScale), encodeScale = _mm512_loadu_ps(k.encodeScale);
    __m512 linear[3][2];
    for (int c = 0; c < 3; ++c) {
        __m512i bits[2];
        __m512 m[2], p[2];
        const __m256i up = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(raise[c] + x));
        const __m256i down = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lower[c] + x));
        for (int r = 0; r < 2; ++r) {
            // Clamped to 0..65535 by saturating 16-bit arithmetic (one of up and down is 0).
            // A result of 0 decodes as 2 would, (2 / 65535)^1.8 = 7e-9 instead of 0.
            const __m256i encoded = _mm256_subs_epu16(_mm256_adds_epu16(luma[r], up), down);
            bits[r] = _mm512_castps_si512(_mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(encoded)));
            m[r] = mantissa(bits[r]);
            p[r] = _mm512_fmadd_ps(_mm512_set1_ps(k.decode[3]), m[r], _mm512_set1_ps(k.decode[2]));
        }
        for (int j = 1; j >= 0; --j)
            for (int r = 0; r < 2; ++r)
                p[r] = _mm512_fmadd_ps(p[r], m[r], _mm512_set1_ps(k.decode[j]));
        for (int r = 0; r < 2; ++r)
            linear[c][r] = _mm512_mul_ps(_mm512_permutexvar_ps(_mm512_srli_epi32(bits[r], 23), decodeScale), p[r]);
    }
    __m512i level[3][2];
    for (int c = 0; c < 3; ++c) {
        __m512 light[2], m[2], p[2];
        __m512i bits[2];
        for (int r = 0; r < 2; ++r) {
            __m512 v = _mm512_mul_ps(linear[0][r], _mm512_set1_ps(k.matrix[c][0]));
            v = _mm512_fmadd_ps(linear[1][r], _mm512_set1_ps(k.matrix[c][1]), v);
            v = _mm512_fmadd_ps(linear[2][r], _mm512_set1_ps(k.matrix[c][2]), v);
            light[r] = _mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(1.0f));
            bits[r] = _mm512_castps_si512(light[r]);
            m[r] = mantissa(bits[r]);
            p[r] = _mm512_fmadd_ps(_mm512_set1_ps(k.encode[3]), m[r], _mm512_set1_ps(k.encode[2]));
        }
        for (int j = 1; j >= 0; --j)
            for (int r = 0; r < 2; ++r)
                p[r] = _mm512_fmadd_ps(p[r], m[r], _mm512_set1_ps(k.encode[j]));
        for (int r = 0; r < 2; ++r) {
            __m512 v = _mm512_fmsub_ps(_mm512_permutexvar_ps(_mm512_srli_epi32(bits[r], 23), encodeScale), p[r],
                _mm512_set1_ps(255.0f * 0.055f));
            // The curve's linear part; also where the exponent falls outside the sixteen values.
            const __mmask16 dark = _mm512_cmp_ps_mask(light[r], _mm512_set1_ps(0.0031308f), _CMP_LE_OQ);
            v = _mm512_mask_mul_ps(v, dark, light[r], _mm512_set1_ps(255.0f * 12.92f));
            level[c][r] = _mm512_cvtps_epi32(v); // to nearest; within 0..255 (see above)
        }
    }
    unsigned flat = 0;
    for (int r = 0; r < 2; ++r) {
        const __m512i green8 = _mm512_slli_epi32(level[1][r], 8);
        const __m512i rgb = _mm512_ternarylogic_epi32(level[0][r], green8, _mm512_slli_epi32(level[2][r], 16), 0xFE);
        // 256 luma = 54 R + 183 G + 19 B + 128, as 256 G + 128 plus the bytes R, G, B weighted
        // 54, -73 and 19 in one multiply-add.
        const __m512i luma256 = _mm512_dpbusd_epi32(
            _mm512_add_epi32(green8, _mm512_set1_epi32(128)), rgb, _mm512_set1_epi32(19 << 16 | 0xB7 << 8 | 54));
        w[r] = _mm512_ternarylogic_epi32(
            rgb, _mm512_slli_epi32(luma256, 16), _mm512_set1_epi32(std::int32_t(0xFF000000u)), 0xF8);
        const __m512i first = _mm512_broadcastd_epi32(_mm512_castsi512_si128(w[r]));
        flat |= unsigned(n >= 16 && _mm512_cmpeq_epi32_mask(w[r], first) == 0xFFFF) << r;
    }
    return flat;
}

// The block offsets of a row piece (see blockOffsets) per pixel, as what to add and what to
// subtract, each 0..65535, eight blocks at a time.
FX_HIST_AVX512 void pixelOffsetsWide(const unsigned short *c1, const unsigned short *c2,
    unsigned short (&raise)[3][chunkSize], unsigned short (&lower)[3][chunkSize], int blocks)
{
    using namespace PixelModel;
    const __m256i neutral = _mm256_set1_epi32(neutral16);
    const __m512i pairs = _mm512_set_epi32(7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0);
    for (int i = 0; i < blocks; i += 8) {
        const __mmask8 m = blocks - i >= 8 ? __mmask8(0xFF) : __mmask8((1u << (blocks - i)) - 1);
        const __m256i blue
            = _mm256_slli_epi32(_mm256_sub_epi32(_mm256_cvtepu16_epi32(_mm_maskz_loadu_epi16(m, c1 + i)), neutral), 1);
        const __m256i red
            = _mm256_slli_epi32(_mm256_sub_epi32(_mm256_cvtepu16_epi32(_mm_maskz_loadu_epi16(m, c2 + i)), neutral), 1);
        // The same quotient as blockOffsets, through the reciprocal: its rounding error is
        // around 1e-11, and the quotient is never nearer than 1e-5 to a tie (an odd
        // denominator), so rounding to nearest gives the same integer.
        const __m512d sum = _mm512_fmadd_pd(_mm512_cvtepi32_pd(red), _mm512_set1_pd(weightR),
            _mm512_mul_pd(_mm512_cvtepi32_pd(blue), _mm512_set1_pd(weightB)));
        const __m256i green = _mm512_cvtpd_epi32(_mm512_mul_pd(sum, _mm512_set1_pd(-1.0 / weightG)));
        const __m256i offsets[3] = { red, green, blue };
        for (int c = 0; c < 3; ++c) {
            const __m512i o = _mm512_permutexvar_epi32(pairs, _mm512_castsi256_si512(offsets[c]));
            const __m512i zero = _mm512_setzero_si512();
            _mm256_storeu_si256(
                reinterpret_cast<__m256i *>(raise[c] + 2 * i), _mm512_cvtusepi32_epi16(_mm512_max_epi32(o, zero)));
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(lower[c] + 2 * i),
                _mm512_cvtusepi32_epi16(_mm512_max_epi32(_mm512_sub_epi32(zero, o), zero)));
        }
    }
}

// n pixels (at most chunkSize) of two rows of one block row, from a block's first column;
// flat gets flatGroups of each.
FX_HIST_AVX512 void toDisplayWide(const WideConstants &k, const unsigned short *luma0, const unsigned short *luma1,
    const unsigned short *c1, const unsigned short *c2, int n, std::uint32_t *out0, std::uint32_t *out1,
    std::uint32_t (&flat)[2])
{
    alignas(64) unsigned short raise[3][chunkSize], lower[3][chunkSize];
    pixelOffsetsWide(c1, c2, raise, lower, (n + 1) / 2);
    flat[0] = flat[1] = 0;
    for (int x = 0; x < n; x += 16) {
        __m512i w[2];
        const unsigned same = convertGroup(k, luma0 + x, luma1 + x, raise, lower, x, n - x, w);
        const __mmask16 valid = n - x >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (n - x)) - 1);
        _mm512_mask_storeu_epi32(out0 + x, valid, w[0]);
        _mm512_mask_storeu_epi32(out1 + x, valid, w[1]);
        flat[0] |= (same & 1u) << (x / 16);
        flat[1] |= (same >> 1) << (x / 16);
    }
}
#pragma GCC diagnostic pop
#endif

constexpr int countCopies = 4;
using Copies = std::uint32_t[countCopies][4][256];

// Counts n packed display values into copies of the four histograms. A group of sixteen equal
// values (flat, see flatGroups) counts at once; otherwise neighbouring pixels go to separate
// copies, which keeps each increment from waiting for the one before when they fall into the
// same bins.
void countValues(const std::uint32_t *values, int n, std::uint32_t flat, Copies &copies)
{
    for (int x = 0; x < n; x += 16) {
        const int m = std::min(16, n - x);
        const unsigned char *v = reinterpret_cast<const unsigned char *>(values + x);
        if (flat >> (x / 16) & 1u) {
            for (int c = 0; c < 4; ++c)
                copies[0][c][v[c]] += 16;
            continue;
        }
        int i = 0;
        for (; i + countCopies <= m; i += countCopies)
            for (int copy = 0; copy < countCopies; ++copy) {
                std::uint32_t(&h)[4][256] = copies[copy];
                const unsigned char *p = v + 4 * (i + copy);
                ++h[0][p[0]];
                ++h[1][p[1]];
                ++h[2][p[2]];
                ++h[3][p[3]];
            }
        for (; i < m; ++i)
            for (int c = 0; c < 4; ++c)
                ++copies[0][c][v[4 * i + c]];
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
#ifdef FX_HIST_AVX512_BUILT
    const bool wide = bWideSupported();
#else
    const bool wide = false;
#endif
    std::vector<std::uint32_t> copyStore(sizeof(Copies) / sizeof(std::uint32_t), 0);
    Copies &copies = *reinterpret_cast<Copies *>(copyStore.data());
    // Adds the copies to the totals; often enough that no 32-bit count can overflow.
    std::uint64_t sinceFlush = 0;
    const auto flush = [&] {
        for (int copy = 0; copy < countCopies; ++copy)
            for (int c = 0; c < 4; ++c)
                for (int bin = 0; bin < 256; ++bin)
                    m_counts[c][bin] += copies[copy][c][bin];
        std::fill(copyStore.begin(), copyStore.end(), 0u);
        sinceFlush = 0;
    };
    std::uint32_t values[2][chunkSize];
    int offsets[3][chunkSize / 2];
    // Both rows of a block row at once: they share the colour planes' samples.
    for (int y = 0; y < lum.rows; y += 2) {
        const int rows = std::min(2, lum.rows - y);
        const unsigned short *row0 = lum.ptr<unsigned short>(y), *row1 = lum.ptr<unsigned short>(y + rows - 1);
        const unsigned short *c1 = image.m_c1.ptr<unsigned short>(y / 2), *c2 = image.m_c2.ptr<unsigned short>(y / 2);
        for (int x = 0; x < lum.cols; x += chunkSize) {
            const int n = std::min(chunkSize, lum.cols - x);
            std::uint32_t flat[2] = { 0, 0 };
#ifdef FX_HIST_AVX512_BUILT
            if (wide)
                toDisplayWide(
                    wideConstants(), row0 + x, row1 + x, c1 + x / 2, c2 + x / 2, n, values[0], values[1], flat);
#endif
            if (!wide) {
                blockOffsets(c1 + x / 2, c2 + x / 2, offsets[0], offsets[1], offsets[2], (n + 1) / 2);
                const DisplayColour::Tables &t = DisplayColour::tables();
                for (int r = 0; r < rows; ++r) {
                    toDisplayTables(t, r ? row1 + x : row0 + x, offsets[0], offsets[1], offsets[2], n, values[r]);
                    flat[r] = flatGroups(values[r], n);
                }
            }
            for (int r = 0; r < rows; ++r)
                countValues(values[r], n, flat[r], copies);
            sinceFlush += std::uint64_t(rows) * std::uint64_t(n);
            if (sinceFlush > (1u << 31))
                flush();
        }
    }
    flush();
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
