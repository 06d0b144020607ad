#ifndef TIMAGE_H
#define TIMAGE_H

#include "qximproca1_export.h"
#include "tupdaterect.h"

#include <opencv2/core.hpp>

// Width and height of a TImage, in samples of its planes.
struct TSize {
    TSize() = default;
    TSize(int w, int h)
        : width(w)
        , height(h)
    {
    }
    bool operator==(const TSize &other) const { return width == other.width && height == other.height; }
    bool operator!=(const TSize &other) const { return !(*this == other); }

    int width = 0;
    int height = 0;
};

// The filter graph's image.
//
//   Y        one plane of 16-bit luma (the same weights as TPImage, of the values as given)
//   C        two 8-bit planes of colour differences, (B - luma) / 2 + 128 and
//            (R - luma) / 2 + 128, neutral 128; a C image is made at half the luma size
//   M        one 8-bit mask plane, 255 = fully selected
//   RGBA8U   one interleaved plane of 8-bit R, G, B, A
//   RGBA16U  one interleaved plane of 16-bit R, G, B, A
//
// The size is that of the planes themselves. Rows of a plane are step() bytes apart; a C
// image's two planes share the step. Size (0, 0) frees the pixels. Every write through the
// library's operations gives the image a new update rectangle, so a reader can tell that
// it changed even when the same area was written twice.
class QXIMPROCA1_EXPORT TImage {
public:
    enum IMTYPE { Y = 0, C = 1, M = 2, RGBA8U = 3, RGBA16U = 4 };

    explicit TImage(IMTYPE type = Y, TSize size = TSize());

    // New pixels (content undefined) when the size changes; the same size keeps them.
    // Negative sizes count as 0. Returns false when the size is too large to hold.
    bool resize(TSize size);

    IMTYPE type() const { return m_type; }
    TSize size() const { return m_size; }
    int width() const { return m_size.width; }
    int height() const { return m_size.height; }
    bool bEmpty() const { return m_size.width <= 0 || m_size.height <= 0; }

    unsigned char *plane1() { return m_plane1.data; }
    const unsigned char *plane1() const { return m_plane1.data; }
    // Second plane of a C image; null for the other types.
    unsigned char *plane2() { return m_plane2.data; }
    const unsigned char *plane2() const { return m_plane2.data; }
    int step() const { return int(m_plane1.step[0]); }

    // The planes as matrices sharing the pixels.
    cv::Mat &mat1() { return m_plane1; }
    const cv::Mat &mat1() const { return m_plane1; }
    cv::Mat &mat2() { return m_plane2; }
    const cv::Mat &mat2() const { return m_plane2; }

    const TUpdateRect &updateRect() const { return m_updateRect; }
    // Records a write of the rectangle (the whole image without arguments).
    void markWritten(int x, int y, int width, int height);
    void markWritten();

    // A Y image's luma at half resolution in 8 bits (2x2 average, odd sizes round up);
    // empty for other types.
    cv::Mat halfY8U() const;

    // 8-bit BGRA pixels into a Y image (w x h), a C image (rounded-up halves) and an M image
    // (w x h, from alpha). Each of Y, C, M may be null to skip it; the ones given must be of
    // their type. They are resized and marked written.
    static bool bgra8uToTImage(
        const unsigned char *bgra, int bytesPerLine, int w, int h, TImage *Y, TImage *C, TImage *M);
    // Back to 8-bit BGRA over the size of Y. C must be the half size of Y; without C the
    // result is grey. Alpha comes from M (same size as Y) or is 255 without it.
    static bool timageToBgra8u(
        const TImage *Y, const TImage *C, const TImage *M, unsigned char *bits, int bytesPerLine);

private:
    static int planeType(IMTYPE type);

    IMTYPE m_type;
    TSize m_size;
    cv::Mat m_plane1;
    cv::Mat m_plane2;
    TUpdateRect m_updateRect;
};

#endif
