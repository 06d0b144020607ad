// TPImage to and from 8-bit BGRA and 16-bit RGB planes. Colour is rebuilt by colourrebuild.cpp.
#include "colourrebuild.h"
#include "coretrace.h"
#include "pixelmodel.h"
#include "planepool.h"
#include "qximproca.h"
#include "tpimage.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {
using CoreTrace::fail;

using PixelModel::neutral16;
using PixelModel::weightB;
using PixelModel::weightG;
using PixelModel::weightR;

using PixelModel::halfUp;
using PixelModel::maxSample;

// Rows are addressed with int byte offsets (eight bytes per pixel pair in the loops).
constexpr int maxWidth = INT_MAX / 8;

// The planes a conversion reads or writes, checked once: luminance, two colour planes of the
// rounded-up half size, and a fourth plane of that size or empty.
bool planesConsistent(const TPImage &image)
{
    const int hw = halfUp(image.width());
    const int hh = halfUp(image.height());
    auto halfPlane = [hw, hh](const cv::Mat &m) { return m.type() == CV_16UC1 && m.cols == hw && m.rows == hh; };
    return !image.bEmpty() && image.width() <= maxWidth && image.m_lum.type() == CV_16UC1 && halfPlane(image.m_c1)
        && halfPlane(image.m_c2) && (image.m_p4.empty() || halfPlane(image.m_p4));
}

// A band of rows must start on a block boundary and may end inside a block only at the
// bottom of the image.
bool bandValid(const TPImage &image, int firstRow, int rowCount)
{
    return firstRow >= 0 && firstRow % 2 == 0 && rowCount > 0 && rowCount <= image.height() - firstRow
        && (rowCount % 2 == 0 || firstRow + rowCount == image.height());
}

// Encoding ------------------------------------------------------------------------------------

// Luma of 8-bit samples. The weights times 257 (the 8 to 16-bit scale) plus the rounding term
// still fit 32 bits unsigned: 65536 * 257 * 255 + 32768 < 2^32.
inline std::uint32_t luma8(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return (r * std::uint32_t(weightR * 257) + g * std::uint32_t(weightG * 257) + b * std::uint32_t(weightB * 257)
               + 32768u)
        >> 16;
}

inline std::uint32_t luma16(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return (r * std::uint32_t(weightR) + g * std::uint32_t(weightG) + b * std::uint32_t(weightB) + 32768u) >> 16;
}

// Rounded average of count halved differences, moved to the neutral value. The sum of the
// differences is at least -count * 65535, so the biased numerator stays positive.
inline unsigned short colourSample(int sum, int count)
{
    return static_cast<unsigned short>((sum + count + 2 * count * neutral16) / (2 * count));
}

struct BlockRowOut {
    unsigned short *lum0;
    unsigned short *lum1; // null when the block row has one row only
    unsigned short *c1;
    unsigned short *c2;
    unsigned short *p4; // null when the image has no fourth plane
};

// One block row of 8-bit BGRA: row1 is null at the bottom of an odd-sized image.
void encodeBlockRow8(const unsigned char *row0, const unsigned char *row1, int width, const BlockRowOut &out)
{
    const int fullBlocks = width / 2;
    const unsigned char *second = row1 ? row1 : row0;
    unsigned short *lumSecond = out.lum1 ? out.lum1 : out.lum0;
    for (int i = 0; i < fullBlocks; ++i) {
        const unsigned char *p = row0 + 8 * i;
        const unsigned char *q = second + 8 * i;
        const std::uint32_t l0 = luma8(p[2], p[1], p[0]);
        const std::uint32_t l1 = luma8(p[6], p[5], p[4]);
        const std::uint32_t l2 = luma8(q[2], q[1], q[0]);
        const std::uint32_t l3 = luma8(q[6], q[5], q[4]);
        out.lum0[2 * i] = static_cast<unsigned short>(l0);
        out.lum0[2 * i + 1] = static_cast<unsigned short>(l1);
        lumSecond[2 * i] = static_cast<unsigned short>(l2);
        lumSecond[2 * i + 1] = static_cast<unsigned short>(l3);
        // A single-row block counts its row twice: same average, and the sums keep one shape.
        const int lumSum = int(l0 + l1 + l2 + l3);
        out.c1[i] = colourSample(257 * (p[0] + p[4] + q[0] + q[4]) - lumSum, 4);
        out.c2[i] = colourSample(257 * (p[2] + p[6] + q[2] + q[6]) - lumSum, 4);
        if (out.p4)
            out.p4[i] = static_cast<unsigned short>((257 * (p[3] + p[7] + q[3] + q[7]) + 2) >> 2);
    }
    if (width % 2) {
        const unsigned char *p = row0 + 8 * fullBlocks;
        const unsigned char *q = second + 8 * fullBlocks;
        const std::uint32_t l0 = luma8(p[2], p[1], p[0]);
        const std::uint32_t l2 = luma8(q[2], q[1], q[0]);
        out.lum0[2 * fullBlocks] = static_cast<unsigned short>(l0);
        lumSecond[2 * fullBlocks] = static_cast<unsigned short>(l2);
        out.c1[fullBlocks] = colourSample(257 * (p[0] + q[0]) - int(l0 + l2), 2);
        out.c2[fullBlocks] = colourSample(257 * (p[2] + q[2]) - int(l0 + l2), 2);
        if (out.p4)
            out.p4[fullBlocks] = static_cast<unsigned short>((257 * (p[3] + q[3]) + 1) >> 1);
    }
}

// One block row of 16-bit R, G, B planes (null second rows as above); alpha is opaque.
void encodeBlockRow16(
    const unsigned short *const *row0, const unsigned short *const *row1, int width, const BlockRowOut &out)
{
    const unsigned short *r0 = row0[0], *g0 = row0[1], *b0 = row0[2];
    const unsigned short *r1 = row1 ? row1[0] : r0, *g1 = row1 ? row1[1] : g0, *b1 = row1 ? row1[2] : b0;
    unsigned short *lumSecond = out.lum1 ? out.lum1 : out.lum0;
    const int blocks = halfUp(width);
    for (int i = 0; i < blocks; ++i) {
        const int x0 = 2 * i;
        const int x1 = std::min(x0 + 1, width - 1);
        const std::uint32_t l0 = luma16(r0[x0], g0[x0], b0[x0]);
        const std::uint32_t l1 = luma16(r0[x1], g0[x1], b0[x1]);
        const std::uint32_t l2 = luma16(r1[x0], g1[x0], b1[x0]);
        const std::uint32_t l3 = luma16(r1[x1], g1[x1], b1[x1]);
        out.lum0[x0] = static_cast<unsigned short>(l0);
        out.lum0[x1] = static_cast<unsigned short>(l1);
        lumSecond[x0] = static_cast<unsigned short>(l2);
        lumSecond[x1] = static_cast<unsigned short>(l3);
        // Repeated samples of an edge block weigh as much as the ones they repeat, which
        // leaves the average of the samples that exist unchanged.
        const int lumSum = int(l0 + l1 + l2 + l3);
        out.c1[i] = colourSample(int(b0[x0]) + b0[x1] + b1[x0] + b1[x1] - lumSum, 4);
        out.c2[i] = colourSample(int(r0[x0]) + r0[x1] + r1[x0] + r1[x1] - lumSum, 4);
        if (out.p4)
            out.p4[i] = maxSample;
    }
}

BlockRowOut blockRowOut(TPImage &image, int blockRow)
{
    const int y = 2 * blockRow;
    BlockRowOut out;
    out.lum0 = image.m_lum.ptr<unsigned short>(y);
    out.lum1 = y + 1 < image.height() ? image.m_lum.ptr<unsigned short>(y + 1) : nullptr;
    out.c1 = image.m_c1.ptr<unsigned short>(blockRow);
    out.c2 = image.m_c2.ptr<unsigned short>(blockRow);
    out.p4 = image.m_p4.empty() ? nullptr : image.m_p4.ptr<unsigned short>(blockRow);
    return out;
}
}

bool TPImage::convertFrom(const unsigned char *bgra, int width, int height, int bytesPerLine)
{
    if (!bgra || width <= 0 || height <= 0 || width > maxWidth || std::int64_t(bytesPerLine) < 4 * std::int64_t(width))
        return fail("TPImage::convertFrom", __LINE__, "null buffer or bad size");
    if (!create(width, height, false))
        return fail("TPImage::convertFrom", __LINE__, "image too large");
    return convertFromRows(bgra, bytesPerLine, 0, height);
}

bool TPImage::convertFromRows(const unsigned char *bgra, int bytesPerLine, int firstRow, int rowCount)
{
    if (!bgra || !planesConsistent(*this) || std::int64_t(bytesPerLine) < 4 * std::int64_t(width())
        || !bandValid(*this, firstRow, rowCount))
        return fail("TPImage::convertFromRows", __LINE__, "null buffer, planes not created or bad band");
    for (int r = 0; r < rowCount; r += 2) {
        const unsigned char *row0 = bgra + std::ptrdiff_t(r) * bytesPerLine;
        const unsigned char *row1 = r + 1 < rowCount ? row0 + bytesPerLine : nullptr;
        encodeBlockRow8(row0, row1, width(), blockRowOut(*this, (firstRow + r) / 2));
    }
    return true;
}

bool TPImage::convertFrompRGB(unsigned short *const *planes, int width, int height, int stride)
{
    if (!planes || !planes[0] || !planes[1] || !planes[2] || width <= 0 || height <= 0 || width > maxWidth
        || stride < width)
        return fail("TPImage::convertFrompRGB", __LINE__, "null planes or bad size");
    if (!create(width, height, false))
        return fail("TPImage::convertFrompRGB", __LINE__, "image too large");
    for (int y = 0; y < height; y += 2) {
        const unsigned short *row0[3];
        const unsigned short *row1[3];
        for (int k = 0; k < 3; ++k) {
            row0[k] = planes[k] + std::ptrdiff_t(y) * stride;
            row1[k] = row0[k] + stride;
        }
        encodeBlockRow16(row0, y + 1 < height ? row1 : nullptr, width, blockRowOut(*this, y / 2));
    }
    return true;
}

bool TPImage::convertTo(unsigned char *bgra, int bytesPerLine) const
{
    return convertToRows(bgra, bytesPerLine, 0, height());
}

// Alpha is the fourth plane enlarged bilinearly (centre-aligned, edges repeated): it carries
// no luma to guide it, and masks with soft edges stay soft. Without a fourth plane it is 255.
bool TPImage::convertToRows(unsigned char *bgra, int bytesPerLine, int firstRow, int rowCount) const
{
    if (!bgra || !planesConsistent(*this) || std::int64_t(bytesPerLine) < 4 * std::int64_t(width())
        || !bandValid(*this, firstRow, rowCount))
        return fail("TPImage::convertToRows", __LINE__, "null buffer, bad planes or bad band");
    PixelRebuild::ColourRebuild rebuild(*this, 1.0f / 257.0f);
    for (int r = 0; r < rowCount; ++r) {
        const int y = firstRow + r;
        PixelRebuild::packBgra8(
            rebuild.row(y), m_lum.ptr<unsigned short>(y), width(), bgra + std::ptrdiff_t(r) * bytesPerLine);
    }
    return true;
}

bool TPImage::convertTopRGB(unsigned short *const *planes, int stride) const
{
    if (!planes || !planes[0] || !planes[1] || !planes[2] || !planesConsistent(*this) || stride < width())
        return fail("TPImage::convertTopRGB", __LINE__, "null planes, bad planes or bad stride");
    PixelRebuild::ColourRebuild rebuild(*this, 1.0f);
    for (int y = 0; y < height(); ++y) {
        const std::ptrdiff_t offset = std::ptrdiff_t(y) * stride;
        unsigned short *const rows[3] = { planes[0] + offset, planes[1] + offset, planes[2] + offset };
        PixelRebuild::packRgb16(rebuild.row(y), m_lum.ptr<unsigned short>(y), width(), rows);
    }
    return true;
}
