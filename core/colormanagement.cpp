#include "colormanagement.h"

#include "qximproca.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <lcms2.h>

namespace {

// Bytes of one pixel of a LittleCMS format word; 0 for formats this wrapper does not size
// (floating point with T_BYTES 0 means 8-byte doubles).
int bytesPerPixel(cmsUInt32Number format)
{
    const int bytes = T_BYTES(format) == 0 ? 8 : int(T_BYTES(format));
    return bytes * int(T_CHANNELS(format) + T_EXTRA(format));
}

// Pixels per piece of the plane conversion: small enough that the interleaved scratch sits
// on the stack and in L1, large enough that LittleCMS's per-call overhead does not show.
constexpr int planeChunk = 1024;

}

ColorManagement::ColorManagement(void *transform)
    : m_transform_p(transform)
{
}

bool ColorManagement::convert(
    const unsigned char *in, unsigned char *out, int bytesPerLine, int width, int height) const
{
    if (!m_transform_p) {
        QXimproca::debug(QXimproca::traceMsg("ColorManagement::convert", __LINE__, "no transform"));
        return false;
    }
    if (!in || !out || width < 0 || height < 0) {
        QXimproca::debug(QXimproca::traceMsg("ColorManagement::convert", __LINE__, "bad buffers or sizes"));
        return false;
    }
    const cmsUInt32Number inFormat = cmsGetTransformInputFormat(m_transform_p);
    const cmsUInt32Number outFormat = cmsGetTransformOutputFormat(m_transform_p);
    const std::int64_t rowBytes = std::int64_t(width) * std::max(bytesPerPixel(inFormat), bytesPerPixel(outFormat));
    if (rowBytes > bytesPerLine) {
        QXimproca::debug(QXimproca::traceMsg("ColorManagement::convert", __LINE__, "bytesPerLine too small"));
        return false;
    }
    for (int y = 0; y < height; ++y) {
        const std::ptrdiff_t offset = std::ptrdiff_t(y) * bytesPerLine;
        cmsDoTransform(m_transform_p, in + offset, out + offset, cmsUInt32Number(width));
    }
    return true;
}

bool ColorManagement::convertDeviceOrSRGBToProPhoto(
    unsigned short *const *planes, int stride, int width, int height) const
{
    return convertPlanes(planes, stride, width, height);
}

bool ColorManagement::convertProPhotoToDeviceOrSRGB(
    unsigned short *const *planes, int stride, int width, int height) const
{
    return convertPlanes(planes, stride, width, height);
}

bool ColorManagement::convertPlanes(unsigned short *const *planes, int stride, int width, int height) const
{
    if (!m_transform_p) {
        QXimproca::debug(QXimproca::traceMsg("ColorManagement::convertPlanes", __LINE__, "no transform"));
        return false;
    }
    if (cmsGetTransformInputFormat(m_transform_p) != TYPE_RGB_16
        || cmsGetTransformOutputFormat(m_transform_p) != TYPE_RGB_16) {
        QXimproca::debug(
            QXimproca::traceMsg("ColorManagement::convertPlanes", __LINE__, "transform is not 16-bit RGB"));
        return false;
    }
    if (!planes || !planes[0] || !planes[1] || !planes[2] || width < 0 || height < 0 || stride < width) {
        QXimproca::debug(QXimproca::traceMsg("ColorManagement::convertPlanes", __LINE__, "bad planes or sizes"));
        return false;
    }
    // TYPE_RGB_16 is interleaved; the planes are not. Each piece of a row is interleaved into
    // a scratch buffer, transformed in place there and spread back.
    unsigned short scratch[3 * planeChunk];
    for (int y = 0; y < height; ++y) {
        unsigned short *r = planes[0] + std::ptrdiff_t(y) * stride;
        unsigned short *g = planes[1] + std::ptrdiff_t(y) * stride;
        unsigned short *b = planes[2] + std::ptrdiff_t(y) * stride;
        for (int x0 = 0; x0 < width; x0 += planeChunk) {
            const int n = std::min(planeChunk, width - x0);
            for (int i = 0; i < n; ++i) {
                scratch[3 * i + 0] = r[x0 + i];
                scratch[3 * i + 1] = g[x0 + i];
                scratch[3 * i + 2] = b[x0 + i];
            }
            cmsDoTransform(m_transform_p, scratch, scratch, cmsUInt32Number(n));
            for (int i = 0; i < n; ++i) {
                r[x0 + i] = scratch[3 * i + 0];
                g[x0 + i] = scratch[3 * i + 1];
                b[x0 + i] = scratch[3 * i + 2];
            }
        }
    }
    return true;
}
