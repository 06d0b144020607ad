#include "tfilterlut.h"

#include "tinport.h"
#include "toutport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <timage.h>
#include <vector>

namespace {

constexpr int ySamples = 4096;
constexpr int yRatio = 16;
constexpr int gridSize = 64;
constexpr int gridRatio = 4;
constexpr int neutral = 128;
constexpr int entries = 65536;

const char *const sizeMessage = "ERROR - TFilterLUT::applyCLUT - outSz != inC_p->size()";
const char *const typeMessage
    = "ERROR - TFilterLUT::applyCLUT: inC_p->type() !=outC_p->type || outC_p->type != TImage::C";
const char *const noTableMessage = "ERROR - TFilterLUT::applyCLUT - m_NC<1 ";
const char *const lumaTypeMessage = "ERROR - TFilterLUT::applyCLUT - inY_p->type() != TImage::Y";

// A table that maps every entry to itself, so that a table used before it is computed passes
// its input through.
quint16 *newIdentityTable()
{
    auto *table = new quint16[entries];
    for (int k = 0; k < entries; ++k)
        table[k] = quint16(k);
    return table;
}

void checkColourPair(const TImage *inC, const TImage *outC)
{
    if (!inC || !outC)
        throw typeMessage;
    if (outC->size() != inC->size())
        throw sizeMessage;
    if (inC->type() != outC->type() || outC->type() != TImage::C)
        throw typeMessage;
}

void copyPlane(const cv::Mat &from, cv::Mat &to, int rows, int bytesPerRow)
{
    for (int r = 0; r < rows; ++r)
        std::memcpy(to.ptr(r), from.ptr(r), std::size_t(bytesPerRow));
}

// Both colour planes of inC into outC of the same size.
void copyColour(const TImage *inC, TImage *outC)
{
    copyPlane(inC->mat1(), outC->mat1(), outC->height(), outC->width());
    copyPlane(inC->mat2(), outC->mat2(), outC->height(), outC->width());
}

// Releases the pixels of an output; a change of content, so readers see a new update rectangle.
void emptyOutput(TImage *out)
{
    if (out->bEmpty())
        return;
    out->resize(TSize());
    out->markWritten();
}

// Asks for the cache line at p, without waiting for it. Prefetches never fault, so p may lie
// beyond the end of a row.
inline void prefetch(const char *p)
{
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    Q_UNUSED(p);
#endif
}

// Four mapped samples leave as one 64-bit store. The samples are read one by one: as separate
// loads they cost no arithmetic, where unpacking a 64-bit word would compete with the packing
// for the same arithmetic units; the table look-ups themselves cannot vectorise. Kept out of
// line: given a constant count, the compiler vectorises the loop into element-by-element vector
// moves that are slower than these scalar loads.
Q_NEVER_INLINE void mapLumaSpan(
    const quint16 *__restrict in, quint16 *__restrict out, int count, const quint16 *__restrict lut)
{
    int x = 0;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    for (; x + 4 <= count; x += 4) {
        const quint64 mapped = quint64(lut[in[x]]) | quint64(lut[in[x + 1]]) << 16 | quint64(lut[in[x + 2]]) << 32
            | quint64(lut[in[x + 3]]) << 48;
        std::memcpy(out + x, &mapped, sizeof mapped);
    }
#endif
    for (; x < count; ++x)
        out[x] = lut[in[x]];
}

// Maps a row while the rows after it come into the cache: lumaAhead is a 16-bit row of the
// same width, colourAhead an 8-bit row half as wide. The mapping is bound by its table look-ups,
// not by memory, so those lines arrive without anyone waiting for them, where reading them
// later all at once would wait on memory.
void mapLumaRow(const quint16 *__restrict in, quint16 *__restrict out, int width, const quint16 *__restrict lut,
    const char *lumaAhead, const char *colourAhead)
{
    constexpr int block = 128;
    int x = 0;
    for (; x + block <= width; x += block) {
        for (int k = 0; k < block; k += 32)
            prefetch(lumaAhead + 2 * (x + k));
        prefetch(colourAhead + x / 2);
        mapLumaSpan(in + x, out + x, block, lut);
    }
    mapLumaSpan(in + x, out + x, width - x, lut);
}

void mapColourRow(const quint8 *__restrict in1, const quint8 *__restrict in2, quint8 *__restrict out1,
    quint8 *__restrict out2, int width, const quint16 *__restrict lut)
{
    for (int x = 0; x < width; ++x) {
        const unsigned v = lut[(unsigned(in1[x]) << 8) | in2[x]];
        out1[x] = quint8(v >> 8);
        out2[x] = quint8(v & 255u);
    }
}

// The vectorised chunk loops run twice or four times as wide where the processor has AVX2 or
// AVX-512; every version computes the same integers. Not under the thread sanitizer, whose
// runtime is not ready when the version is picked.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define FX_LUT_WIDE __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define FX_LUT_WIDE
#endif

// Rows are mapped in chunks of this many pixels: a whole chunk's loops have a trip count that
// the compiler knows, which lets it vectorise them.
constexpr int chunk = 64;

// Calls span(x, n) for chunks covering 0 .. width - 1. A row's last partial chunk is moved back
// to end at width, making it a whole chunk that repeats some pixels, so that it vectorises
// too; span must therefore write nothing that it reads. Rows narrower than a chunk go as one
// partial chunk.
template <typename Span> void inChunks(int width, Span span)
{
    int x = 0;
    for (; x + chunk <= width; x += chunk)
        span(x, chunk);
    if (x < width)
        width >= chunk ? span(width - chunk, chunk) : span(x, width - x);
}

// 16-bit luma to 8 bits rounded, (v * 255 + 32767) / 65535: the division is
// (t + (t >> 16) + 1) >> 16, exact for every t below 2^24, in operations that vectorise.
inline quint8 luma8(unsigned v)
{
    const unsigned t = v * 255u + 32767u;
    return quint8((t + (t >> 16) + 1) >> 16);
}

// count half-resolution samples from the pairs of rows s0 and s1; ivdep tells the compiler that
// out overlaps neither row, so it needs no run-time check.
FX_LUT_WIDE void halfLumaSpan(
    const quint16 *__restrict s0, const quint16 *__restrict s1, quint8 *__restrict out, int count)
{
    const auto sample
        = [&](int x) { return luma8((unsigned(s0[2 * x]) + s0[2 * x + 1] + s1[2 * x] + s1[2 * x + 1] + 2) >> 2); };
    if (count == chunk) {
#pragma GCC ivdep
        for (int x = 0; x < chunk; ++x)
            out[x] = sample(x);
    } else {
        for (int x = 0; x < count; ++x)
            out[x] = sample(x);
    }
}

// One row of the half-resolution 8-bit luminance, the same values as TImage::halfY8U() (2 x 2
// average rounded, an odd last column or row counted twice, then 8 bits rounded), made a row at
// a time so that no half-size plane is built. Rows and columns beyond the half size repeat the
// last one; without luminance the row is mid-grey.
void halfLumaRow(const cv::Mat &y, int row, quint8 *__restrict out, int width)
{
    if (y.empty()) {
        std::memset(out, neutral, std::size_t(width));
        return;
    }
    const int halfRows = (y.rows + 1) / 2, halfCols = (y.cols + 1) / 2;
    const int r = std::min(row, halfRows - 1);
    const quint16 *__restrict s0 = y.ptr<quint16>(2 * r);
    const quint16 *__restrict s1 = y.ptr<quint16>(std::min(2 * r + 1, y.rows - 1));
    const int pairs = std::min(width, y.cols / 2);
    inChunks(pairs, [&](int x, int n) { halfLumaSpan(s0 + 2 * x, s1 + 2 * x, out + x, n); });
    if (pairs >= width)
        return;
    if (pairs < halfCols) {
        const int last = y.cols - 1;
        out[pairs] = luma8((2u * s0[last] + 2u * s1[last] + 2) >> 2);
    }
    if (width > halfCols)
        std::fill(out + halfCols, out + width, out[halfCols - 1]);
}

// Chroma entries of band t (low 16 bits) and band t + 1 (high 16 bits) side by side, so that a
// pixel's two look-ups become one.
FX_LUT_WIDE void pairTables(const quint16 *__restrict a, const quint16 *__restrict b, quint32 *__restrict out)
{
    for (int k = 0; k < entries; ++k)
        out[k] = quint32(a[k]) | quint32(b[k]) << 16;
}

// The index into the paired tables: the band of the 8-bit luminance (its top bits) above the
// two colour values.
FX_LUT_WIDE void bandKeys(const quint8 *__restrict luma, const quint8 *__restrict in1, const quint8 *__restrict in2,
    quint32 *__restrict keys, unsigned shift, int count)
{
    const auto key
        = [&](int i) { return (unsigned(luma[i]) >> shift) << 16 | unsigned(in1[i]) << 8 | unsigned(in2[i]); };
    if (count == chunk) {
#pragma GCC ivdep
        for (int i = 0; i < chunk; ++i)
            keys[i] = key(i);
    } else {
        for (int i = 0; i < count; ++i)
            keys[i] = key(i);
    }
}

// The pixel's band table value a (low half of the pair) and the next band's b (high half),
// weighted 255 - f and f with f the luminance bits below the band index; the weights add up to
// 255 and the sum drops 8 bits.
FX_LUT_WIDE void blendBands(const quint8 *__restrict luma, const quint32 *__restrict pairs, quint8 *__restrict out1,
    quint8 *__restrict out2, unsigned exponent, int count)
{
    const auto blend = [&](int i) {
        const unsigned f = (unsigned(luma[i]) << exponent) & 255u;
        const quint32 p = pairs[i];
        out1[i] = quint8((((p >> 8) & 255u) * (255u - f) + (p >> 24) * f) >> 8);
        out2[i] = quint8(((p & 255u) * (255u - f) + ((p >> 16) & 255u) * f) >> 8);
    };
    if (count == chunk) {
#pragma GCC ivdep
        for (int i = 0; i < chunk; ++i)
            blend(i);
    } else {
        for (int i = 0; i < count; ++i)
            blend(i);
    }
}

struct BandRow {
    const quint8 *luma;
    const quint8 *in1;
    const quint8 *in2;
    quint8 *out1;
    quint8 *out2;
};

// Three passes over the row: keys, look-ups, blend. The first and last vectorise; only the
// look-ups run one pixel at a time. A pass over the whole row, rather than a chunk at a time,
// leaves the scalar stores of the look-ups time to reach the cache before the blend reads them
// back as vectors. pairs holds width entries.
void mapBandRow(
    const BandRow &row, int width, const quint32 *__restrict pairTable, int exponent, quint32 *__restrict pairs)
{
    inChunks(width,
        [&](int x, int n) { bandKeys(row.luma + x, row.in1 + x, row.in2 + x, pairs + x, unsigned(8 - exponent), n); });
    for (int i = 0; i < width; ++i)
        pairs[i] = pairTable[pairs[i]];
    inChunks(width,
        [&](int x, int n) { blendBands(row.luma + x, pairs + x, row.out1 + x, row.out2 + x, unsigned(exponent), n); });
}

}

// One chroma table row from a row of each plane's grid, already interpolated between grid rows
// and kept at four times its value: entry 4 j + w lies between grid columns j and j + 1 with
// weights 4 - w and w, so one rounding (+ 8 >> 4) gives the exact bilinear value; the last four
// entries hold the last column.
void interpolateTableRow(const quint16 *__restrict v1, const quint16 *__restrict v2, quint16 *__restrict out)
{
    const auto entry = [&](int j0, int j1, unsigned w) {
        const unsigned e1 = ((4u - w) * v1[j0] + w * v1[j1] + 8u) >> 4;
        const unsigned e2 = ((4u - w) * v2[j0] + w * v2[j1] + 8u) >> 4;
        return quint16((e1 << 8) | e2);
    };
#pragma GCC ivdep
    for (int j = 0; j < gridSize - 1; ++j) {
        out[4 * j] = entry(j, j + 1, 0);
        out[4 * j + 1] = entry(j, j + 1, 1);
        out[4 * j + 2] = entry(j, j + 1, 2);
        out[4 * j + 3] = entry(j, j + 1, 3);
    }
    for (unsigned w = 0; w < 4; ++w)
        out[4 * (gridSize - 1) + int(w)] = entry(gridSize - 1, gridSize - 1, w);
}

TFilterLUT::TFilterLUT(const QString &name, QObject *parent)
    : TFilterYC(name, parent)
    , m_lutY_p(nullptr)
    , m_cExponent(-1)
    , m_lutC_p {}
{
}

TFilterLUT::~TFilterLUT()
{
    delete[] m_lutY_p;
    for (quint16 *table : m_lutC_p)
        delete[] table;
}

void TFilterLUT::setupParams() { }

void TFilterLUT::setupYLUT()
{
    if (!m_lutY_p)
        m_lutY_p = newIdentityTable();
}

int TFilterLUT::setupCLUT(int exponent)
{
    m_cExponent = std::min(exponent, maxCLUTExponent);
    const int count = numCLUT();
    for (int t = 0; t < maxCLUT; ++t) {
        if (t < count && !m_lutC_p[t]) {
            m_lutC_p[t] = newIdentityTable();
        } else if (t >= count && m_lutC_p[t]) {
            delete[] m_lutC_p[t];
            m_lutC_p[t] = nullptr;
        }
    }
    return count;
}

int TFilterLUT::numCLUT() const { return m_cExponent < 0 ? 0 : 1 << m_cExponent; }

void TFilterLUT::invalidateLUT() { m_bLUTInvalid = true; }

void TFilterLUT::computeLUT()
{
    setupParams();
    if (m_lutY_p)
        computeYLUT();
    const int count = numCLUT();
    if (count == 1) {
        computeCLUT(0, 32767);
    } else if (count >= 2 && m_lutY_p) {
        // Rounded in single precision, ties to even: table t then stands for the centre of the
        // t-th of count equal bands, (2t + 1) * 32768 / count.
        const auto step = quint16(std::nearbyint(65535.0f / float(count)));
        const auto offset = quint16(std::nearbyint(32767.0f / float(count)));
        for (int t = 0; t < count; ++t)
            computeCLUT(t, quint16(t * step + offset));
    }
}

void TFilterLUT::computeYLUT()
{
    std::vector<quint16> samples(ySamples);
    for (int i = 0; i < ySamples; ++i) {
        quint16 y = quint16(yRatio * i);
        quint8 c1 = neutral, c2 = neutral;
        computePixel(y, c1, c2);
        samples[std::size_t(i)] = y;
    }
    // Entry 16 i holds sample i exactly; the weights add up to 16, so + 8 >> 4 rounds.
    for (int i = 0; i + 1 < ySamples; ++i) {
        const unsigned s0 = samples[std::size_t(i)];
        const unsigned s1 = samples[std::size_t(i) + 1];
        quint16 *entry = m_lutY_p + yRatio * i;
        for (unsigned k = 0; k < unsigned(yRatio); ++k)
            entry[k] = quint16((s0 * (yRatio - k) + s1 * k + yRatio / 2) / yRatio);
    }
    std::fill(m_lutY_p + yRatio * (ySamples - 1), m_lutY_p + lutSize, samples.back());
}

void TFilterLUT::computeCLUT(int table, quint16 luminance)
{
    constexpr int cells = gridSize * gridSize;
    std::vector<quint8> grid(2 * cells);
    for (int i = 0; i < gridSize; ++i) {
        for (int j = 0; j < gridSize; ++j) {
            quint16 y = luminance;
            quint8 c1 = quint8(gridRatio * i), c2 = quint8(gridRatio * j);
            computePixel(y, c1, c2);
            grid[std::size_t(i * gridSize + j)] = c1;
            grid[std::size_t(cells + i * gridSize + j)] = c2;
        }
    }
    // Rows first, kept at four times their value (weights 4 - w and w), then columns: the
    // weights of both steps multiply to 16, so one rounding at the end gives exact bilinear
    // values. Grid sample i lands on entry 4 i; entries past the last sample repeat it.
    constexpr int full = gridSize * gridRatio;
    std::vector<quint16> rows(2 * std::size_t(full) * gridSize);
    for (int plane = 0; plane < 2; ++plane) {
        const quint8 *g = grid.data() + plane * cells;
        quint16 *v = rows.data() + std::size_t(plane) * full * gridSize;
        for (int a = 0; a < full; ++a) {
            const int i0 = a / gridRatio, i1 = std::min(i0 + 1, gridSize - 1), w = a % gridRatio;
            for (int j = 0; j < gridSize; ++j)
                v[a * gridSize + j] = quint16((gridRatio - w) * g[i0 * gridSize + j] + w * g[i1 * gridSize + j]);
        }
    }
    const quint16 *v1 = rows.data();
    const quint16 *v2 = rows.data() + std::size_t(full) * gridSize;
    for (int a = 0; a < full; ++a)
        interpolateTableRow(v1 + a * gridSize, v2 + a * gridSize, m_lutC_p[table] + a * full);
}

void TFilterLUT::applyYLUT(const TImage *inY, TImage *outY) { mapLumaRows(inY, outY, 0, outY->height()); }

void TFilterLUT::mapLumaRows(const TImage *inY, TImage *outY, int first, int end)
{
    end = std::min({ end, outY->height(), inY->height() });
    const int cols = std::min(outY->width(), inY->width());
    for (int r = first; r < end; ++r) {
        const quint16 *in = inY->mat1().ptr<quint16>(r);
        quint16 *out = outY->mat1().ptr<quint16>(r);
        if (m_lutY_p)
            mapLumaSpan(in, out, cols, m_lutY_p);
        else
            std::memcpy(out, in, std::size_t(cols) * sizeof(quint16));
    }
}

void TFilterLUT::applyCLUT(const TImage *inC, TImage *outC)
{
    checkColourPair(inC, outC);
    if (!m_lutC_p[0]) {
        copyColour(inC, outC);
        return;
    }
    for (int r = 0; r < outC->height(); ++r) {
        mapColourRow(inC->mat1().ptr<quint8>(r), inC->mat2().ptr<quint8>(r), outC->mat1().ptr<quint8>(r),
            outC->mat2().ptr<quint8>(r), outC->width(), m_lutC_p[0]);
    }
}

void TFilterLUT::applyCLUT(const TImage *inY, const TImage *inC, TImage *outC)
{
    mapColourByBand(inY, inC, outC, nullptr);
}

bool TFilterLUT::mapColourByBand(const TImage *inY, const TImage *inC, TImage *outC, TImage *outY)
{
    const int count = numCLUT();
    if (count < 1)
        throw noTableMessage;
    if (count == 1) {
        applyCLUT(inC, outC);
        return false;
    }
    checkColourPair(inC, outC);
    if (!inY || inY->type() != TImage::Y)
        throw lumaTypeMessage;
    m_bandPairs.resize(std::size_t(count) * lutSize);
    for (int t = 0; t < count; ++t)
        pairTables(m_lutC_p[t], m_lutC_p[std::min(t + 1, count - 1)], m_bandPairs.data() + std::size_t(t) * lutSize);
    // Colour row r reads luminance rows 2r and 2r + 1; mapping those right after, while they
    // are still in the cache, saves reading the luminance from memory twice.
    std::vector<quint8> luma(std::size_t(outC->width()));
    std::vector<quint32> pairs(std::size_t(outC->width()));
    const int lumaRows = inY->height();
    const int lumaCols = outY ? std::min(outY->width(), inY->width()) : 0;
    for (int r = 0; r < outC->height(); ++r) {
        halfLumaRow(inY->mat1(), r, luma.data(), outC->width());
        const BandRow row { luma.data(), inC->mat1().ptr<quint8>(r), inC->mat2().ptr<quint8>(r),
            outC->mat1().ptr<quint8>(r), outC->mat2().ptr<quint8>(r) };
        mapBandRow(row, outC->width(), m_bandPairs.data(), m_cExponent, pairs.data());
        if (!outY)
            continue;
        if (!m_lutY_p) {
            mapLumaRows(inY, outY, 2 * r, 2 * r + 2);
            continue;
        }
        // While luminance rows 2r and 2r + 1 are mapped, the inputs of colour row r + ahead come
        // in: luminance rows 2(r + ahead) and 2(r + ahead) + 1 and a row of each colour plane.
        // Fetching for the very next colour row left too little time for the lines to arrive;
        // two rows ahead measured clearly faster, four no better.
        constexpr int ahead = 2;
        for (int y = 2 * r; y < std::min({ 2 * r + 2, lumaRows, outY->height() }); ++y) {
            const char *in = inY->mat1().ptr<char>(y);
            const int lumaNext = y + 2 * ahead;
            const char *lumaAhead = lumaNext < lumaRows ? inY->mat1().ptr<char>(lumaNext) : in;
            const cv::Mat &colour = y % 2 == 0 ? inC->mat1() : inC->mat2();
            const bool colourFits = r + ahead < outC->height() && 2 * outC->width() >= lumaCols;
            const char *colourAhead = colourFits ? colour.ptr<char>(r + ahead) : in;
            mapLumaRow(reinterpret_cast<const quint16 *>(in), outY->mat1().ptr<quint16>(y), lumaCols, m_lutY_p,
                lumaAhead, colourAhead);
        }
    }
    if (outY)
        mapLumaRows(inY, outY, 2 * outC->height(), outY->height());
    return outY != nullptr;
}

QString TFilterLUT::proc()
{
    if (!bInsChanged() && !m_bLUTInvalid)
        return QString();
    m_bLUTInvalid = false;
    if (bParamsChanged())
        computeLUT();
    const TImage *inY = m_inY_p->imagePtr();
    const TImage *inC = m_inC_p->imagePtr();
    // Outputs that show another port's image are not ours to write.
    TImage *outY = inY ? m_outY_p->imagePtrMod() : nullptr;
    TImage *outC = inC ? m_outC_p->imagePtrMod() : nullptr;
    if (!inY && m_outY_p->imagePtrMod())
        emptyOutput(m_outY_p->imagePtrMod());
    if (!inC && m_outC_p->imagePtrMod())
        emptyOutput(m_outC_p->imagePtrMod());
    if (outY)
        outY->resize(inY->size());
    bool lumaMapped = false;
    if (outC) {
        outC->resize(inC->size());
        if (numCLUT() < 1)
            copyColour(inC, outC);
        else if (inY && numCLUT() > 1)
            lumaMapped = mapColourByBand(inY, inC, outC, outY);
        else
            applyCLUT(inC, outC);
        outC->markWritten();
    }
    if (outY) {
        if (!lumaMapped)
            applyYLUT(inY, outY);
        outY->markWritten();
    }
    return QString();
}
