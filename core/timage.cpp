#include "timage.h"

#include "coretrace.h"
#include "kernels.h"
#include "pixelmodel.h"
#include "planepool.h"
#include "qximproca.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {
using CoreTrace::fail;
using PixelModel::halfUp;

int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// 8-bit colour differences keep 8-bit steps: neutral 128 stands for 32768 in 16 bits.
int colour16To8(int c16)
{
    const int d = c16 - PixelModel::neutral16;
    return clampInt(PixelModel::neutral8 + (d >= 0 ? (d + 128) >> 8 : -((-d + 128) >> 8)), 0, 255);
}

int colour8To16(int c8) { return (c8 - PixelModel::neutral8) * 256 + PixelModel::neutral16; }

}

TImage::TImage(IMTYPE type, TSize size)
    : m_type(type)
{
    resize(size);
}

int TImage::planeType(IMTYPE type)
{
    switch (type) {
    case Y:
        return CV_16UC1;
    case C:
    case M:
        return CV_8UC1;
    case RGBA8U:
        return CV_8UC4;
    case RGBA16U:
        return CV_16UC4;
    }
    return CV_8UC1;
}

bool TImage::resize(TSize size)
{
    size.width = std::max(size.width, 0);
    size.height = std::max(size.height, 0);
    if (size.width == 0 || size.height == 0)
        size = TSize();
    if (std::int64_t(size.width) * size.height > INT_MAX / 8)
        return fail("TImage::resize", __LINE__, "size too large");
    if (size == m_size && (size.width == 0 || !m_plane1.empty()))
        return true;
    m_size = size;
    if (size.width == 0) {
        m_plane1.release();
        m_plane2.release();
        return true;
    }
    PlanePool::createOwned(m_plane1, size.height, size.width, planeType(m_type));
    if (m_type == C)
        PlanePool::createOwned(m_plane2, size.height, size.width, CV_8UC1);
    else
        m_plane2.release();
    return true;
}

void TImage::markWritten(int x, int y, int width, int height) { m_updateRect = TUpdateRect(x, y, width, height); }

void TImage::markWritten() { markWritten(0, 0, m_size.width, m_size.height); }

cv::Mat TImage::halfY8U() const
{
    cv::Mat half;
    if (m_type != Y || bEmpty())
        return half;
    cv::Mat half16;
    downSize2X(m_plane1, half16, 4);
    half.create(half16.rows, half16.cols, CV_8UC1);
    for (int r = 0; r < half16.rows; ++r) {
        const unsigned short *src = half16.ptr<unsigned short>(r);
        unsigned char *dst = half.ptr<unsigned char>(r);
        for (int c = 0; c < half16.cols; ++c)
            dst[c] = static_cast<unsigned char>(PixelModel::to8(src[c]));
    }
    return half;
}

bool TImage::bgra8uToTImage(
    const unsigned char *bgra, int bytesPerLine, int w, int h, TImage *Yim, TImage *Cim, TImage *Mim)
{
    if (!bgra || w <= 0 || h <= 0 || std::int64_t(bytesPerLine) < 4 * std::int64_t(w))
        return fail("TImage::bgra8uToTImage", __LINE__, "null buffer or bad size");
    if ((Yim && Yim->type() != Y) || (Cim && Cim->type() != C) || (Mim && Mim->type() != M))
        return fail("TImage::bgra8uToTImage", __LINE__, "image of the wrong type");
    if ((Yim && !Yim->resize(TSize(w, h))) || (Cim && !Cim->resize(TSize(halfUp(w), halfUp(h))))
        || (Mim && !Mim->resize(TSize(w, h))))
        return fail("TImage::bgra8uToTImage", __LINE__, "size too large");

    for (int r = 0; r < h; r += 2) {
        const int rows = std::min(2, h - r);
        for (int c = 0; c < w; c += 2) {
            const int cols = std::min(2, w - c);
            int sumB = 0, sumR = 0;
            for (int dy = 0; dy < rows; ++dy) {
                const unsigned char *p = bgra + std::ptrdiff_t(r + dy) * bytesPerLine + 4 * c;
                for (int dx = 0; dx < cols; ++dx, p += 4) {
                    const int b = PixelModel::to16(p[0]);
                    const int g = PixelModel::to16(p[1]);
                    const int rr = PixelModel::to16(p[2]);
                    const int luma = PixelModel::luma(rr, g, b);
                    sumB += b - luma;
                    sumR += rr - luma;
                    if (Yim)
                        Yim->m_plane1.at<unsigned short>(r + dy, c + dx) = static_cast<unsigned short>(luma);
                    if (Mim)
                        Mim->m_plane1.at<unsigned char>(r + dy, c + dx) = p[3];
                }
            }
            if (Cim) {
                const int n = rows * cols;
                // Halved difference, averaged with rounding to nearest.
                const int db = PixelModel::neutral16 + (sumB >= 0 ? (sumB + n) / (2 * n) : -((-sumB + n) / (2 * n)));
                const int dr = PixelModel::neutral16 + (sumR >= 0 ? (sumR + n) / (2 * n) : -((-sumR + n) / (2 * n)));
                Cim->m_plane1.at<unsigned char>(r / 2, c / 2) = static_cast<unsigned char>(colour16To8(db));
                Cim->m_plane2.at<unsigned char>(r / 2, c / 2) = static_cast<unsigned char>(colour16To8(dr));
            }
        }
    }
    if (Yim)
        Yim->markWritten();
    if (Cim)
        Cim->markWritten();
    if (Mim)
        Mim->markWritten();
    return true;
}

bool TImage::timageToBgra8u(
    const TImage *Yim, const TImage *Cim, const TImage *Mim, unsigned char *bits, int bytesPerLine)
{
    if (!Yim || Yim->type() != Y || Yim->bEmpty() || !bits)
        return fail("TImage::timageToBgra8u", __LINE__, "no luma image or null buffer");
    const int w = Yim->width();
    const int h = Yim->height();
    if (std::int64_t(bytesPerLine) < 4 * std::int64_t(w))
        return fail("TImage::timageToBgra8u", __LINE__, "bytes per line too small");
    const bool withColour = Cim && Cim->type() == C && Cim->size() == TSize(halfUp(w), halfUp(h));
    const bool withMask = Mim && Mim->type() == M && Mim->size() == Yim->size();
    if ((Cim && !withColour) || (Mim && !withMask))
        return fail("TImage::timageToBgra8u", __LINE__, "colour or mask image of the wrong type or size");

    cv::Mat db, dr;
    if (withColour) {
        PlanePool::createOwned(db, h, w, CV_8UC1);
        PlanePool::createOwned(dr, h, w, CV_8UC1);
        if (!upSize2X(Cim->mat1(), db, 2) || !upSize2X(Cim->mat2(), dr, 2))
            return fail("TImage::timageToBgra8u", __LINE__, "colour enlargement failed");
    }
    for (int r = 0; r < h; ++r) {
        const unsigned short *yRow = Yim->m_plane1.ptr<unsigned short>(r);
        const unsigned char *mRow = withMask ? Mim->m_plane1.ptr<unsigned char>(r) : nullptr;
        const unsigned char *bRow = withColour ? db.ptr<unsigned char>(r) : nullptr;
        const unsigned char *rRow = withColour ? dr.ptr<unsigned char>(r) : nullptr;
        unsigned char *out = bits + std::ptrdiff_t(r) * bytesPerLine;
        for (int c = 0; c < w; ++c, out += 4) {
            const int luma = yRow[c];
            int b = luma, rr = luma, g = luma;
            if (withColour) {
                b = luma + 2 * (colour8To16(bRow[c]) - PixelModel::neutral16);
                rr = luma + 2 * (colour8To16(rRow[c]) - PixelModel::neutral16);
                const std::int64_t gNum = (std::int64_t(luma) << PixelModel::weightShift)
                    - std::int64_t(PixelModel::weightR) * rr - std::int64_t(PixelModel::weightB) * b;
                g = int((gNum + PixelModel::weightG / 2) / PixelModel::weightG);
            }
            out[0] = static_cast<unsigned char>(PixelModel::to8(clampInt(b, 0, 65535)));
            out[1] = static_cast<unsigned char>(PixelModel::to8(clampInt(g, 0, 65535)));
            out[2] = static_cast<unsigned char>(PixelModel::to8(clampInt(rr, 0, 65535)));
            out[3] = mRow ? mRow[c] : 255;
        }
    }
    return true;
}
