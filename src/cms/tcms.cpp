#include "tcms.h"

#include "colormanagement.h"
#include "fxtrace.h"
#include "planepool.h"
#include "tim.h"
#include "tpimage.h"
#include "transformbuilder.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QVector>
#include <algorithm>
#include <cstring>
#include <lcms2.h>

namespace {

bool bBgra32(QImage::Format format) { return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32; }

// 32-bit formats that store their bytes R, G, B, A rather than B, G, R, A.
bool bRgbaOrder(QImage::Format format)
{
    return format == QImage::Format_RGBA8888 || format == QImage::Format_RGBX8888
        || format == QImage::Format_RGBA8888_Premultiplied;
}

void swapRedBlue(unsigned char *bits, int bytesPerLine, int width, int rows)
{
    for (int y = 0; y < rows; ++y) {
        unsigned char *p = bits + std::ptrdiff_t(y) * bytesPerLine;
        for (int x = 0; x < width; ++x, p += 4)
            std::swap(p[0], p[2]);
    }
}

// Rows per band: an even count whose pixels stay in cache between the colour transform and
// the step that follows it.
int bandRows(int bytesPerLine)
{
    const int rows = (512 << 10) / std::max(bytesPerLine, 1);
    return std::clamp(rows, 2, 64) & ~1;
}

// Rows per call of QImage::convertToFormat: Qt spreads conversions of 64 KiB and more over
// its thread pool, and the engine must stay on the calling thread.
int conversionRows(int bytesPerLine) { return std::max(1, 65535 / std::max(bytesPerLine, 1)); }

// Rows y0 .. y0 + rows of source as ARGB32 (BGRA bytes) into dst.
bool fetchBgra(const QImage &source, int y0, int rows, unsigned char *dst, int dstBytesPerLine)
{
    const int rowBytes = 4 * source.width();
    if (bBgra32(source.format())) {
        for (int y = 0; y < rows; ++y)
            std::memcpy(dst + std::ptrdiff_t(y) * dstBytesPerLine, source.constScanLine(y0 + y), rowBytes);
        return true;
    }
    const int step = conversionRows(source.bytesPerLine());
    for (int y = 0; y < rows; y += step) {
        const int n = std::min(step, rows - y);
        QImage piece(source.constScanLine(y0 + y), source.width(), n, source.bytesPerLine(), source.format());
        if (source.colorCount() > 0)
            piece.setColorTable(source.colorTable());
        const QImage converted = piece.convertToFormat(QImage::Format_ARGB32);
        if (converted.isNull())
            return false;
        for (int i = 0; i < n; ++i)
            std::memcpy(dst + std::ptrdiff_t(y + i) * dstBytesPerLine, converted.constScanLine(i), rowBytes);
    }
    return true;
}

// Rows of ARGB32 pixels from src into rows y0 .. y0 + rows of target, in target's format.
bool storeBgra(const unsigned char *src, int srcBytesPerLine, int y0, int rows, QImage &target)
{
    const int step = conversionRows(srcBytesPerLine);
    for (int y = 0; y < rows; y += step) {
        const int n = std::min(step, rows - y);
        const QImage piece(
            src + std::ptrdiff_t(y) * srcBytesPerLine, target.width(), n, srcBytesPerLine, QImage::Format_ARGB32);
        const QImage converted = piece.convertToFormat(target.format());
        if (converted.isNull())
            return false;
        const int rowBytes = std::min(converted.bytesPerLine(), target.bytesPerLine());
        for (int i = 0; i < n; ++i)
            std::memcpy(target.scanLine(y0 + y + i), converted.constScanLine(i), rowBytes);
    }
    return true;
}

// Images with a colour table are converted by converting the table.
void convertColorTable(const QImage &source, QImage &target, const ColorManagement &cms)
{
    QVector<QRgb> table = source.colorTable();
    QVector<unsigned char> bgra(4 * table.size());
    for (int i = 0; i < table.size(); ++i) {
        bgra[4 * i + 0] = qBlue(table[i]);
        bgra[4 * i + 1] = qGreen(table[i]);
        bgra[4 * i + 2] = qRed(table[i]);
        bgra[4 * i + 3] = qAlpha(table[i]);
    }
    cms.convert(bgra.constData(), bgra.data(), 4 * table.size(), table.size(), 1);
    for (int i = 0; i < table.size(); ++i)
        table[i] = qRgba(bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i + 0], bgra[4 * i + 3]);
    if (&source != &target) {
        const int rowBytes = std::min(source.bytesPerLine(), target.bytesPerLine());
        for (int y = 0; y < source.height(); ++y)
            std::memcpy(target.scanLine(y), source.constScanLine(y), rowBytes);
    }
    target.setColorTable(table);
}

// Pixels of source through the transform into target (same size and format; may be the
// same image). Alpha is carried over from the source.
void convertImage(const QImage &source, QImage &target, const ColorManagement &cms)
{
    if (source.colorCount() > 0) {
        convertColorTable(source, target, cms);
        return;
    }
    const bool direct = bBgra32(source.format());
    const int width = source.width();
    const int rowBytes = 4 * width;
    const int band = bandRows(rowBytes);
    cv::Mat scratch;
    if (!direct)
        PlanePool::createOwned(scratch, band, rowBytes, CV_8UC1);
    for (int y0 = 0; y0 < source.height(); y0 += band) {
        const int rows = std::min(band, source.height() - y0);
        unsigned char *dst = direct ? target.scanLine(y0) : scratch.data;
        const int dstBytesPerLine = direct ? target.bytesPerLine() : rowBytes;
        if ((!direct || dst != source.constScanLine(y0)) && !fetchBgra(source, y0, rows, dst, dstBytesPerLine)) {
            FX_TRACE("TCMS::convert", "format conversion failed: format") << source.format();
            return;
        }
        cms.convert(dst, dst, dstBytesPerLine, width, rows);
        if (!direct && !storeBgra(dst, dstBytesPerLine, y0, rows, target)) {
            FX_TRACE("TCMS::convert", "format conversion failed: format") << target.format();
            return;
        }
    }
}

// The full-resolution luminance of source: its own plane, or the plane rebuilt from a
// processed half plane into rebuilt.
const cv::Mat *fullLuminance(const TPImage &source, cv::Mat &rebuilt)
{
    if (!source.bHasHalf())
        return &source.m_lum;
    PlanePool::createOwned(rebuilt, source.height(), source.width(), CV_16UC1);
    if (!TPImage::reconstructFull(source.m_lum, source.m_half, rebuilt, source.m_factor, 0.01f)) {
        FX_TRACE("TCMS::convert", "luminance reconstruction failed");
        return nullptr;
    }
    return &rebuilt;
}

// An image that shares luminance and colour planes with its sources; without a fourth plane
// it converts as opaque.
void shareForOutput(const TPImage &source, const cv::Mat &luminance, TPImage &view)
{
    view.m_lum = luminance;
    view.m_c1 = source.m_c1;
    view.m_c2 = source.m_c2;
    view.m_p4.release();
}

bool bValidPlanes(unsigned short *const *planes, int stride, int width, int height)
{
    return planes && planes[0] && planes[1] && planes[2] && width >= 0 && height >= 0 && stride >= width;
}
}

TCMS::TCMS()
    : m_qimageICC_p(nullptr)
    , m_qimageICCSize(0)
    , m_pimageICC_p(nullptr)
    , m_pimageICCSize(0)
    , m_transforms()
{
}

TCMS::TCMS(const TCMS &other)
    : m_qimageICC_p(other.m_qimageICC_p)
    , m_qimageICCSize(other.m_qimageICCSize)
    , m_pimageICC_p(other.m_pimageICC_p)
    , m_pimageICCSize(other.m_pimageICCSize)
    , m_transforms()
{
}

TCMS::~TCMS()
{
    dropTransforms(QImageIn, QImageOut);
    dropTransforms(PlanesOut, PlanesIn);
}

TCMS &TCMS::operator=(const TCMS &other)
{
    if (this == &other)
        return *this;
    dropTransforms(QImageIn, QImageOut);
    dropTransforms(PlanesOut, PlanesIn);
    m_qimageICC_p = other.m_qimageICC_p;
    m_qimageICCSize = other.m_qimageICCSize;
    m_pimageICC_p = other.m_pimageICC_p;
    m_pimageICCSize = other.m_pimageICCSize;
    return *this;
}

void TCMS::setQImageICC(const void *data, int size)
{
    if (data == m_qimageICC_p)
        return;
    m_qimageICC_p = data;
    m_qimageICCSize = data ? size : 0;
    dropTransforms(QImageIn, QImageOut);
}

void TCMS::setPImageICC(const void *data, int size)
{
    if (data == m_pimageICC_p)
        return;
    m_pimageICC_p = data;
    m_pimageICCSize = data ? size : 0;
    dropTransforms(PlanesOut, PlanesIn);
}

cmsHTRANSFORM TCMS::transform(Cache which)
{
    if (m_transforms[which])
        return m_transforms[which];
    switch (which) {
    case QImageIn:
        m_transforms[which] = TransformBuilder::build(m_qimageICC_p, m_qimageICCSize, true, TYPE_BGRA_8);
        break;
    case QImageOut:
        m_transforms[which] = TransformBuilder::build(m_qimageICC_p, m_qimageICCSize, false, TYPE_BGRA_8);
        break;
    case PlanesOut:
        m_transforms[which] = TransformBuilder::build(m_pimageICC_p, m_pimageICCSize, false, TYPE_RGB_16);
        break;
    case PlanesIn:
        m_transforms[which] = TransformBuilder::build(m_pimageICC_p, m_pimageICCSize, true, TYPE_RGB_16);
        break;
    case NumCaches:
        break;
    }
    return m_transforms[which];
}

void TCMS::dropTransforms(Cache a, Cache b)
{
    for (Cache which : { a, b }) {
        if (m_transforms[which])
            cmsDeleteTransform(m_transforms[which]);
        m_transforms[which] = nullptr;
    }
}

void TCMS::convert(QImage &image, bool toDevice) { convert(image, image, toDevice); }

void TCMS::convert(const QImage &source, QImage &target, bool toDevice)
{
    if (source.isNull()) {
        FX_TRACE("TCMS::convert", "null image");
        return;
    }
    if (target.size() != source.size() || target.format() != source.format()) {
        FX_TRACE("TCMS::convert", "target differs in size or format: size, format")
            << target.size() << source.size() << target.format() << source.format();
        return;
    }
    cmsHTRANSFORM t = transform(toDevice ? QImageOut : QImageIn);
    if (!t)
        return;
    convertImage(source, target, ColorManagement(t));
}

void TCMS::convert(const QImage &source, TPImage &target)
{
    if (source.isNull()) {
        FX_TRACE("TCMS::convert", "null image");
        return;
    }
    if (target.width() != source.width() || target.height() != source.height()) {
        FX_TRACE("TCMS::convert", "target not created at the source size: target, source")
            << target.width() << target.height() << source.size();
        return;
    }
    cmsHTRANSFORM t = transform(QImageIn);
    if (!t)
        return;
    const ColorManagement cms(t);
    const int rowBytes = 4 * source.width();
    const int band = bandRows(rowBytes);
    cv::Mat scratch;
    PlanePool::createOwned(scratch, band, rowBytes, CV_8UC1);
    for (int y0 = 0; y0 < source.height(); y0 += band) {
        const int rows = std::min(band, source.height() - y0);
        if (!fetchBgra(source, y0, rows, scratch.data, rowBytes)) {
            FX_TRACE("TCMS::convert", "format conversion failed: format") << source.format();
            return;
        }
        cms.convert(scratch.data, scratch.data, rowBytes, source.width(), rows);
        if (!target.convertFromRows(scratch.data, rowBytes, y0, rows)) {
            FX_TRACE("TCMS::convert", "convertFromRows failed: row") << y0;
            return;
        }
    }
}

void TCMS::convert(const QImage &source, TIm &target) { convert(source, *target.ptr(TIm::CImFull)); }

void TCMS::convert(const TPImage &source, QImage &target)
{
    cmsHTRANSFORM t = transform(QImageOut);
    if (!t)
        return;
    const int width = source.width();
    const int height = source.height();
    if (target.width() != width || target.height() != height) {
        target = QImage(width, height, QImage::Format_ARGB32);
    } else if (!bBgra32(target.format()) && target.format() != QImage::Format_ARGB32_Premultiplied
        && !bRgbaOrder(target.format())) {
        // The output is opaque, so premultiplied storage holds the same bytes; formats of
        // other sizes or channel layouts cannot be written in place.
        FX_TRACE("TCMS::convert", "target is not a 32-bit RGB image: format") << target.format();
        return;
    }
    if (source.bEmpty())
        return;
    if (target.isNull()) {
        FX_TRACE("TCMS::convert", "cannot allocate the target: size") << width << height;
        return;
    }
    cv::Mat rebuilt;
    const cv::Mat *luminance = fullLuminance(source, rebuilt);
    if (!luminance)
        return;
    TPImage view;
    shareForOutput(source, *luminance, view);
    const ColorManagement cms(t);
    unsigned char *bits = target.bits();
    const int bytesPerLine = target.bytesPerLine();
    const int band = bandRows(bytesPerLine);
    for (int y0 = 0; y0 < height; y0 += band) {
        const int rows = std::min(band, height - y0);
        unsigned char *row = bits + std::ptrdiff_t(y0) * bytesPerLine;
        if (!view.convertToRows(row, bytesPerLine, y0, rows)) {
            FX_TRACE("TCMS::convert", "convertToRows failed: row") << y0;
            return;
        }
        cms.convert(row, row, bytesPerLine, width, rows);
        if (bRgbaOrder(target.format()))
            swapRedBlue(row, bytesPerLine, width, rows);
    }
}

void TCMS::convert(const TPImage &source, unsigned short *const *planes, int stride, int width, int height)
{
    FX_TRACE("TCMS::convert", "TCMS Convert!");
    if (!bValidPlanes(planes, stride, width, height) || width != source.width() || height != source.height()) {
        FX_TRACE("TCMS::convert", "bad planes or size: width, height, stride, source")
            << width << height << stride << source.width() << source.height();
        return;
    }
    if (source.bEmpty())
        return;
    cmsHTRANSFORM t = transform(PlanesOut);
    if (!t)
        return;
    FX_TRACE("TCMS::convert", source.bHasHalf() ? "Half Proced " : "Full Proced");
    cv::Mat rebuilt;
    const cv::Mat *luminance = fullLuminance(source, rebuilt);
    if (!luminance)
        return;
    TPImage view;
    shareForOutput(source, *luminance, view);
    if (!view.convertTopRGB(planes, stride)) {
        FX_TRACE("TCMS::convert", "convertTopRGB failed");
        return;
    }
    ColorManagement(t).convertProPhotoToDeviceOrSRGB(planes, stride, width, height);
}

void TCMS::convert(unsigned short *const *planes, int stride, int width, int height, TPImage &target)
{
    if (!bValidPlanes(planes, stride, width, height)) {
        FX_TRACE("TCMS::convert", "bad planes or size: width, height, stride") << width << height << stride;
        return;
    }
    cmsHTRANSFORM t = transform(PlanesIn);
    if (!t)
        return;
    ColorManagement(t).convertDeviceOrSRGBToProPhoto(planes, stride, width, height);
    if (!target.convertFrompRGB(planes, width, height, stride))
        FX_TRACE("TCMS::convert", "convertFrompRGB failed: width, height") << width << height;
}

void TCMS::convert(unsigned short *const *planes, int stride, int width, int height, TIm &target)
{
    convert(planes, stride, width, height, *target.ptr(TIm::CImFull));
}

bool TCMS::convertProPhotoToDeviceOrSRGB(unsigned char *const in, unsigned char *const out)
{
    if (!in || !out) {
        FX_TRACE("TCMS::convert", "null pixel");
        return false;
    }
    cmsHTRANSFORM t = transform(QImageOut);
    if (!t)
        return false;
    cmsDoTransform(t, in, out, 1);
    return true;
}
