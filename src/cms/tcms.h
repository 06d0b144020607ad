#ifndef TCMS_H
#define TCMS_H

#include "fxengine_export.h"

class QImage;
class TIm;
class TPImage;

// The LittleCMS transform handle, declared here so that hosts need no LittleCMS headers.
typedef void *cmsHTRANSFORM;

// Colour conversion between a device colour space and the engine's internal ProPhoto RGB.
//
// The device side is given as ICC profile data, one profile for QImages and one for 16-bit
// RGB planes; without data (or with data LittleCMS rejects, which writes a trace line) sRGB
// stands in. The profile data is referenced, not copied: it must stay alive while the TCMS
// may convert. Transforms are built on first use and cached until a profile changes.
// The embedded profiles are Qt resources under ":/iccprofiles/".
//
// QImages of any format are accepted as sources; 32-bit ones are converted directly, others
// are first brought to ARGB32. A null image converts to nothing (with a trace line).
// Conversions that fail (missing embedded profile, wrong target size) write a trace line and
// leave the target as it was. Everything runs on the calling thread.
class FXENGINE_EXPORT TCMS {
public:
    TCMS();
    TCMS(const TCMS &other);
    ~TCMS();
    // Copies the two profile references; the copy builds its own transforms.
    TCMS &operator=(const TCMS &other);

    void setQImageICC(const void *data, int size);
    void setPImageICC(const void *data, int size);

    // In place: device to ProPhoto, or ProPhoto to device with toDevice. The image keeps its
    // format: images with a colour table get their table converted, other formats than
    // RGB32 / ARGB32 go through ARGB32 and back. Alpha is left as it is.
    void convert(QImage &image, bool toDevice);
    // The same from source into target, which must already have the source's size and
    // format; alpha is copied from the source.
    void convert(const QImage &source, QImage &target, bool toDevice);
    // Device to ProPhoto; the target must already be created at the source's size.
    void convert(const QImage &source, TPImage &target);
    void convert(const QImage &source, TIm &target);
    // ProPhoto to device, opaque. A target of another size becomes a new ARGB32 image; one of
    // the right size is written in place and must be a 32-bit RGB format (RGB32, ARGB32, RGBA8888,
    // RGBX8888 or their premultiplied forms).
    // A half-resolution luminance plane in the source is taken into account.
    void convert(const TPImage &source, QImage &target);
    // Plane functions: three 16-bit planes R, G, B; stride counts unsigned shorts per row
    // (at least width). Sizes must match the source; otherwise nothing is written.
    // ProPhoto to the planes' device space, into three caller-supplied 16-bit planes.
    void convert(const TPImage &source, unsigned short *const *planes, int stride, int width, int height);
    // Planes' device space to ProPhoto; the planes are overwritten with ProPhoto values.
    void convert(unsigned short *const *planes, int stride, int width, int height, TPImage &target);
    void convert(unsigned short *const *planes, int stride, int width, int height, TIm &target);

    // One BGRA pixel from ProPhoto to the QImage device space. Builds the transform if
    // needed; false when it cannot be built.
    bool convertProPhotoToDeviceOrSRGB(unsigned char *const in, unsigned char *const out);

private:
    enum Cache { QImageIn, QImageOut, PlanesOut, PlanesIn, NumCaches };
    cmsHTRANSFORM transform(Cache which);
    void dropTransforms(Cache a, Cache b);

    const void *m_qimageICC_p;
    int m_qimageICCSize;
    const void *m_pimageICC_p;
    int m_pimageICCSize;
    cmsHTRANSFORM m_transforms[NumCaches];
};

#endif
