#ifndef COLORMANAGEMENT_H
#define COLORMANAGEMENT_H

#include "qximproca1_export.h"

// Runs pixels through one LittleCMS transform that the caller built and keeps owning
// (the handle is a cmsHTRANSFORM; it is passed as void* so that this header does not need
// the LittleCMS headers). A null transform makes every conversion fail with false.
class QXIMPROCA1_EXPORT ColorManagement {
public:
    explicit ColorManagement(void *transform);

    // Interleaved pixels of the transform's input format, row by row, from in to out
    // (in == out converts in place). bytesPerLine applies to both buffers.
    bool convert(const unsigned char *in, unsigned char *out, int bytesPerLine, int width, int height) const;

    // Three 16-bit planes R, G, B converted in place through a transform with TYPE_RGB_16
    // on both sides. stride counts unsigned shorts per row. The two names say which way
    // the transform goes; the work is the same.
    bool convertDeviceOrSRGBToProPhoto(unsigned short *const *planes, int stride, int width, int height) const;
    bool convertProPhotoToDeviceOrSRGB(unsigned short *const *planes, int stride, int width, int height) const;

    void *transform() const { return m_transform_p; }

private:
    bool convertPlanes(unsigned short *const *planes, int stride, int width, int height) const;

    void *m_transform_p;
};

#endif
