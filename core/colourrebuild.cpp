// Rebuilding full-resolution colour from the half planes of a TPImage.
#include "colourrebuild.h"

#include "pixelmodel.h"
#include "planepool.h"

#include <cstring>

namespace PixelRebuild {
namespace {

    using PixelModel::neutral16;
    using PixelModel::weightB;
    using PixelModel::weightG;
    using PixelModel::weightR;

    using PixelModel::halfUp;
    using PixelModel::maxSample;

    // Summed squared luma residue (16-bit units) under which the slope of colour over luma fades
    // out, so that noise in nearly flat areas is not amplified into colour.
    constexpr float slopeEps = 2.7e6f;
    // Slopes that natural colours reach: a channel does not fall below zero as luma rises (-1),
    // and red can rise at most about 2.5 times as fast as luma; beyond that a fit is noise.
    constexpr float slopeMin = -1.0f;
    constexpr float slopeMax = 3.0f;
    constexpr float lumaCentre = 32768.0f;
    // Green from the luma equation given red and blue.
    constexpr float greenFromRed = float(weightR) / float(weightG);
    constexpr float greenFromBlue = float(weightB) / float(weightG);
    constexpr float inverse257 = 1.0f / 257.0f;

    inline float clampf(float v, float lo, float hi)
    {
        const float above = v > lo ? v : lo;
        return above < hi ? above : hi;
    }

    // Repeats the edge samples into the padding column on each side of a half-resolution row.
    void padRow(float *row, int count)
    {
        row[0] = row[1];
        row[count + 1] = row[count];
    }
}

constexpr int ColourRebuild::slots[];

ColourRebuild::ColourRebuild(const TPImage &image, float unit)
    : m_image(image)
    , m_w(image.width())
    , m_h(image.height())
    , m_hw(halfUp(m_w))
    , m_hh(halfUp(m_h))
    , m_unit(unit)
{
    int rows = temps + 4;
    for (int s = 0; s < stageCount; ++s)
        rows += slots[s] * arrays[s];
    PlanePool::createOwned(m_buffer, rows, m_hw + 2, CV_32FC1);
    int next = 0;
    for (int s = 0; s < stageCount; ++s) {
        for (int slot = 0; slot < slots[s]; ++slot) {
            m_tags[s][slot] = -1;
            for (int k = 0; k < arrays[s]; ++k)
                m_rows[s][slot][k] = m_buffer.ptr<float>(next++);
        }
    }
    for (auto &t : m_temp)
        t = m_buffer.ptr<float>(next++);
    m_alpha = m_buffer.ptr<float>(next++);
    for (auto &f : m_flat)
        f = m_buffer.ptr<float>(next++);
    if (image.m_p4.empty())
        std::fill(m_alpha, m_alpha + m_hw + 2, float(maxSample) * unit);
}

const float *const *ColourRebuild::stage(Stage s, int j)
{
    j = clampBlockRow(j);
    const int slot = j % slots[s];
    float *const *rows = m_rows[s][slot];
    if (m_tags[s][slot] != j) {
        switch (s) {
        case Blocks:
            computeBlocks(j, rows);
            break;
        case Residues:
            computeResidues(j, rows);
            break;
        case Slopes:
            computeSlopes(j, rows);
            break;
        default:
            computeModel(j, rows);
            break;
        }
        m_tags[s][slot] = j;
    }
    return rows;
}

void ColourRebuild::computeBlocks(int j, float *const *out)
{
    const unsigned short *l0 = m_image.m_lum.ptr<unsigned short>(2 * j);
    const unsigned short *l1 = m_image.m_lum.ptr<unsigned short>(std::min(2 * j + 1, m_h - 1));
    const unsigned short *c1 = m_image.m_c1.ptr<unsigned short>(j);
    const unsigned short *c2 = m_image.m_c2.ptr<unsigned short>(j);
    float *mean = out[M] + 1, *colour1 = out[C1] + 1, *colour2 = out[C2] + 1;
    const int fullBlocks = m_w / 2;
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < fullBlocks; ++i)
        mean[i] = float(int(l0[2 * i]) + l0[2 * i + 1] + l1[2 * i] + l1[2 * i + 1]) * 0.25f - lumaCentre;
    if (m_w % 2)
        mean[fullBlocks] = float(int(l0[m_w - 1]) + l1[m_w - 1]) * 0.5f - lumaCentre;
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < m_hw; ++i) {
        colour1[i] = 2.0f * float(int(c1[i]) - neutral16);
        colour2[i] = 2.0f * float(int(c2[i]) - neutral16);
    }
    for (int k = 0; k < 3; ++k)
        padRow(out[k], m_hw);
}

// Each block value minus its 1/8, 3/4, 1/8 weighted average, over three rows then columns.
void ColourRebuild::computeResidues(int j, float *const *out)
{
    const float *const *a = stage(Blocks, j - 1);
    const float *const *b = stage(Blocks, j);
    const float *const *c = stage(Blocks, j + 1);
    float *const *t = m_temp;
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < m_hw + 2; ++i) {
        for (int k = 0; k < 3; ++k)
            t[k][i] = a[k][i] + 6.0f * b[k][i] + c[k][i];
    }
    const float sixtyfourth = 1.0f / 64.0f;
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < m_hw; ++i) {
        for (int k = 0; k < 3; ++k)
            out[k][i + 1] = b[k][i + 1] - (t[k][i] + 6.0f * t[k][i + 1] + t[k][i + 2]) * sixtyfourth;
    }
    for (int k = 0; k < 3; ++k)
        padRow(out[k], m_hw);
}

// Regression of colour residue on luma residue over the 3x3 block neighbourhood.
void ColourRebuild::computeSlopes(int j, float *const *out)
{
    const float *const *a = stage(Residues, j - 1);
    const float *const *b = stage(Residues, j);
    const float *const *c = stage(Residues, j + 1);
    float *const *t = m_temp;
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < m_hw + 2; ++i) {
        const float ma = a[M][i], mb = b[M][i], mc = c[M][i];
        t[0][i] = ma * ma + mb * mb + mc * mc;
        t[1][i] = ma * a[C1][i] + mb * b[C1][i] + mc * c[C1][i];
        t[2][i] = ma * a[C2][i] + mb * b[C2][i] + mc * c[C2][i];
    }
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < m_hw; ++i) {
        const float inverse = 1.0f / (t[0][i] + t[0][i + 1] + t[0][i + 2] + slopeEps);
        out[0][i + 1] = clampf((t[1][i] + t[1][i + 1] + t[1][i + 2]) * inverse, slopeMin, slopeMax);
        out[1][i + 1] = clampf((t[2][i] + t[2][i + 1] + t[2][i + 2]) * inverse, slopeMin, slopeMax);
    }
    padRow(out[0], m_hw);
    padRow(out[1], m_hw);
}

// Slopes smoothed over the 3x3 block neighbourhood; colours corrected with them.
void ColourRebuild::computeModel(int j, float *const *out)
{
    const float *const *sa = stage(Slopes, j - 1);
    const float *const *sb = stage(Slopes, j);
    const float *const *sc = stage(Slopes, j + 1);
    const float *const *r = stage(Residues, j);
    const float *const *b = stage(Blocks, j);
    float *v1 = m_temp[0], *v2 = m_temp[1];
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < m_hw + 2; ++i) {
        v1[i] = sa[0][i] + sb[0][i] + sc[0][i];
        v2[i] = sa[1][i] + sb[1][i] + sc[1][i];
    }
    const float ninth = 1.0f / 9.0f;
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < m_hw; ++i) {
        const float a1 = (v1[i] + v1[i + 1] + v1[i + 2]) * ninth;
        const float a2 = (v2[i] + v2[i + 1] + v2[i + 2]) * ninth;
        out[A1][i] = a1;
        out[A2][i] = a2;
        out[P1][i + 1] = b[C1][i + 1] + r[C1][i + 1] - a1 * r[M][i + 1];
        out[P2][i + 1] = b[C2][i + 1] + r[C2][i + 1] - a2 * r[M][i + 1];
    }
    padRow(out[P1], m_hw);
    padRow(out[P2], m_hw);
}

void ColourRebuild::findFlatBlocks(int j)
{
    const unsigned short *l0 = m_image.m_lum.ptr<unsigned short>(2 * j);
    const unsigned short *l1 = m_image.m_lum.ptr<unsigned short>(std::min(2 * j + 1, m_h - 1));
    const float *c1 = stage(Blocks, j)[C1] + 1;
    const float *c2 = stage(Blocks, j)[C2] + 1;
    float *keep = m_flat[0], *own1 = m_flat[1], *own2 = m_flat[2];
    const int fullBlocks = m_w / 2;
    int flatCount = 0;
    auto mark = [&](int i, bool flat) {
        keep[i] = flat ? 0.0f : 1.0f;
        own1[i] = flat ? c1[i] * m_unit : 0.0f;
        own2[i] = flat ? c2[i] * m_unit : 0.0f;
        flatCount += flat;
    };
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < fullBlocks; ++i) {
        const unsigned short v = l0[2 * i];
        mark(i, (l0[2 * i + 1] == v) & (l1[2 * i] == v) & (l1[2 * i + 1] == v));
    }
    if (m_w % 2)
        mark(fullBlocks, l0[m_w - 1] == l1[m_w - 1]);
    m_flatTag = j;
    m_flatBlocks = flatCount > 0;
}

RowModel ColourRebuild::row(int y)
{
    const int j = y / 2;
    const int jn = clampBlockRow(y % 2 ? j + 1 : j - 1);
    const float *const *own = stage(Model, j);
    const float *const *next = stage(Model, jn);
    const float *ownMean = stage(Blocks, j)[M];
    const float *nextMean = stage(Blocks, jn)[M];
    const float near = 0.75f * m_unit, far = 0.25f * m_unit;
    // Block mean luma back at its place, so that a pixel's departure from it is one subtraction.
    const float centre = lumaCentre * m_unit;
    float *const *t = m_temp;
    FX_INDEPENDENT_ITERATIONS
    for (int i = 0; i < m_hw + 2; ++i) {
        t[0][i] = near * own[P1][i] + far * next[P1][i];
        t[1][i] = near * own[P2][i] + far * next[P2][i];
        t[2][i] = near * ownMean[i] + far * nextMean[i] + centre;
    }
    const float *alpha = m_alpha;
    bool opaque = true;
    if (!m_image.m_p4.empty()) {
        const unsigned short *p0 = m_image.m_p4.ptr<unsigned short>(j);
        const unsigned short *pn = m_image.m_p4.ptr<unsigned short>(jn);
        float *v = t[3];
        int lowest = maxSample;
        FX_INDEPENDENT_ITERATIONS
        for (int i = 0; i < m_hw; ++i) {
            v[i + 1] = near * float(p0[i]) + far * float(pn[i]);
            lowest = std::min(lowest, std::min(int(p0[i]), int(pn[i])));
        }
        padRow(v, m_hw);
        alpha = v;
        opaque = lowest == maxSample;
    }
    if (m_flatTag != j)
        findFlatBlocks(j);
    return { t[0], t[1], own[A1], own[A2], t[2], alpha, m_flat[0], m_flat[1], m_flat[2], m_unit, m_flatBlocks, opaque };
}

namespace {

    // Rounds to the nearest output step and clamps to 0..top. In 8-bit units (x / 257) this is
    // (v * 255 + 32767) / 65535 of the 16-bit rounding v of x: both change at the same
    // half-integer thresholds. Clamping after the offset rather than before keeps the loops free
    // of branches the vectoriser cannot handle.
    inline int roundClamped(float v, float top) { return int(clampf(v + 0.5f, 0.0f, top + 0.5f)); }

    // The centre-aligned enlargement along the row: a pixel sits a quarter block from its block's
    // centre, towards the block on side 0 (left) or 2 (right).
    inline float along(const float *v, int i, int side) { return 0.75f * v[i + 1] + 0.25f * v[i + side]; }

    struct Rgb {
        int b, g, r;
    };

    // One pixel of block i in output units, top being the largest output value. Green is solved
    // from the luma equation with red and blue clamped to the sample range.
    template <bool withFlatBlocks>
    inline Rgb rebuildPixel(const RowModel &m, int i, int side, unsigned short lum16, float top)
    {
        const float lum = float(lum16) * m.unit;
        const float detail = lum - along(m.mean, i, side);
        float dB = along(m.p1, i, side) + m.a1[i] * detail;
        float dR = along(m.p2, i, side) + m.a2[i] * detail;
        if (withFlatBlocks) {
            dB = m.keep[i] * dB + m.own1[i];
            dR = m.keep[i] * dR + m.own2[i];
        }
        const float b = lum + dB;
        const float r = lum + dR;
        const float g
            = lum - greenFromRed * (clampf(r, 0.0f, top) - lum) - greenFromBlue * (clampf(b, 0.0f, top) - lum);
        return { roundClamped(b, top), roundClamped(g, top), roundClamped(r, top) };
    }

    // A pixel as one 32-bit word with bytes B, G, R, A in memory: the compiler vectorises one
    // word store per pixel where four byte stores would defeat it. Alpha needs no clamp: it is
    // a convex combination of samples.
    template <bool withFlatBlocks, bool opaque>
    inline void storeBgra8(const RowModel &m, int i, int side, unsigned short lum, unsigned char *out)
    {
        const Rgb c = rebuildPixel<withFlatBlocks>(m, i, side, lum, 255.0f);
        const std::uint32_t a = opaque ? 255u : std::uint32_t(int(along(m.alpha, i, side) + 0.5f));
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        const std::uint32_t pixel = std::uint32_t(c.b) << 24 | std::uint32_t(c.g) << 16 | std::uint32_t(c.r) << 8 | a;
#else
        const std::uint32_t pixel = std::uint32_t(c.b) | std::uint32_t(c.g) << 8 | std::uint32_t(c.r) << 16 | a << 24;
#endif
        std::memcpy(out, &pixel, sizeof pixel);
    }

    template <bool withFlatBlocks, bool opaque>
    FX_WIDE_VECTORS void packBgra8(const RowModel &model, const unsigned short *lum, int width, unsigned char *out)
    {
        // A local copy: stores through out could otherwise change the pointers for all the compiler knows.
        const RowModel m = model;
        const int blocks = width / 2;
        FX_INDEPENDENT_ITERATIONS
        for (int i = 0; i < blocks; ++i) {
            storeBgra8<withFlatBlocks, opaque>(m, i, 0, lum[2 * i], out + 8 * i);
            storeBgra8<withFlatBlocks, opaque>(m, i, 2, lum[2 * i + 1], out + 8 * i + 4);
        }
        if (width % 2)
            storeBgra8<withFlatBlocks, opaque>(m, blocks, 0, lum[width - 1], out + 4 * (width - 1));
    }

    template <bool withFlatBlocks>
    inline void storeRgb16(const RowModel &m, int i, int side, unsigned short lum, unsigned short *const *rgb, int x)
    {
        const Rgb c = rebuildPixel<withFlatBlocks>(m, i, side, lum, float(maxSample));
        rgb[0][x] = static_cast<unsigned short>(c.r);
        rgb[1][x] = static_cast<unsigned short>(c.g);
        rgb[2][x] = static_cast<unsigned short>(c.b);
    }

    template <bool withFlatBlocks>
    FX_WIDE_VECTORS void packRgb16(
        const RowModel &model, const unsigned short *lum, int width, unsigned short *const *rgb)
    {
        const RowModel m = model;
        unsigned short *const planes[3] = { rgb[0], rgb[1], rgb[2] };
        const int blocks = width / 2;
        FX_INDEPENDENT_ITERATIONS
        for (int i = 0; i < blocks; ++i) {
            storeRgb16<withFlatBlocks>(m, i, 0, lum[2 * i], planes, 2 * i);
            storeRgb16<withFlatBlocks>(m, i, 2, lum[2 * i + 1], planes, 2 * i + 1);
        }
        if (width % 2)
            storeRgb16<withFlatBlocks>(m, blocks, 0, lum[width - 1], planes, width - 1);
    }
}

void packBgra8(const RowModel &m, const unsigned short *lum, int width, unsigned char *out)
{
    if (m.flatBlocks)
        m.opaque ? packBgra8<true, true>(m, lum, width, out) : packBgra8<true, false>(m, lum, width, out);
    else
        m.opaque ? packBgra8<false, true>(m, lum, width, out) : packBgra8<false, false>(m, lum, width, out);
}

void packRgb16(const RowModel &m, const unsigned short *lum, int width, unsigned short *const *rgb)
{
    if (m.flatBlocks)
        packRgb16<true>(m, lum, width, rgb);
    else
        packRgb16<false>(m, lum, width, rgb);
}
}
