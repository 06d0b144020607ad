#ifndef TPIMAGE_H
#define TPIMAGE_H

#include "qximproca1_export.h"
#include "tuid.h"

#include <opencv2/core.hpp>

// The engine's 16-bit image: one level of a picture.
//
// Pixel model. The internal colour space is ProPhoto RGB with its 1.8 gamma encoding, as
// the embedded profile describes it. A pixel is split into
//   - luminance: 16-bit luma of the encoded R, G, B with ProPhoto's luminance weights
//     (0.2880, 0.7119, 0.0001 in 1/65536 steps that add up to exactly one, so a grey
//     R = G = B has luma equal to that value);
//   - two colour planes at half resolution: (B - luma) / 2 + 32768 and (R - luma) / 2 + 32768,
//     each sample the average over its 2x2 block (odd sizes round the plane size up), so a
//     neutral grey sits exactly at 32768;
//   - a fourth plane at half resolution: 16-bit alpha, averaged the same way.
// 8-bit values map to 16-bit by x257 and back with rounding. Converting back to full
// resolution rebuilds colour from the half planes guided by the full-resolution luminance
// (see convertTo).
//
// Optionally a level carries a half-resolution luminance plane (m_half) that an effect
// processed instead of the full one; full luminance is then rebuilt with reconstructFull
// from m_lum (the unprocessed full plane), m_half and m_factor.
//
// Copies share pixels (cv::Mat semantics); clone() is deep. Every image owns its change
// stamp (m_uid_p) for life, so dependency records that point at it stay valid: copying or
// assigning an image carries the other image's stamp id over into the own stamp, and
// leaves the dependency record (m_depends, which belongs to the slot, not to the pixels)
// alone.
class QXIMPROCA1_EXPORT TPImage {
public:
    explicit TPImage(int width = 0, int height = 0);
    TPImage(const TPImage &other);
    TPImage &operator=(const TPImage &other);
    ~TPImage();

    // Sizes the luminance plane to width x height and the colour and fourth planes to the
    // rounded-up halves; with withHalf also the half luminance plane, otherwise it is
    // emptied. Buffers of the right size that no other image shares are kept. Negative
    // sizes are treated as 0; returns false for sizes too large to hold.
    bool create(int width, int height, bool withHalf);
    // A deep copy, stamp id included.
    TPImage clone() const;

    int width() const { return m_lum.cols; }
    int height() const { return m_lum.rows; }
    bool bEmpty() const { return m_lum.empty(); }
    bool bHasHalf() const { return !m_half.empty(); }

    TUid *uid() { return m_uid_p; }
    const TUid *uid() const { return m_uid_p; }
    // From now on the image carries that stamp's id (nothing happens for nullptr).
    void setUid(const TUid *uid);

    // 8-bit BGRA (byte order B, G, R, A) to and from the image. convertFrom sizes the
    // planes itself; convertTo writes width() x height() pixels, alpha from the fourth
    // plane (255 when it is empty). Both return false on null buffers or bad sizes.
    bool convertTo(unsigned char *bgra, int bytesPerLine) const;
    bool convertFrom(const unsigned char *bgra, int width, int height, int bytesPerLine);
    // The same for a band of rows, so that colour conversion and plane building can run
    // band by band while the pixels are still in cache. The planes must already be
    // created; firstRow must be even; bgra points at row firstRow.
    bool convertToRows(unsigned char *bgra, int bytesPerLine, int firstRow, int rowCount) const;
    bool convertFromRows(const unsigned char *bgra, int bytesPerLine, int firstRow, int rowCount);

    // Three 16-bit planes R, G, B; stride counts unsigned shorts per row. Alpha is opaque.
    bool convertTopRGB(unsigned short *const *planes, int stride) const;
    bool convertFrompRGB(unsigned short *const *planes, int width, int height, int stride);

    // A three-channel 8-bit matrix in B, G, R order to 32-bit 0xffRRGGBB pixels.
    static bool RGBC3ToQImage(const cv::Mat &mat, unsigned char *bits, int width, int height, int bytesPerLine);

    // The region of a plane at decimation dec: origin (x, y) in full-resolution pixels, size
    // w x h in level pixels. For a colour plane (half resolution) the origin is halved and
    // the result is ceil(w/2) x ceil(h/2). Each result sample is the exact average (ties round
    // up) of its whole dec x dec block, so fine detail is averaged away instead of showing as
    // false patterns; a block cut by the plane's edge averages the part it covers, and one
    // wholly outside takes the nearest samples inside. Nothing outside the plane is read.
    // fast is accepted for callers that distinguish the two paths; both are exact and the
    // fast one costs no more than the other did.
    // Details: dec is clamped to 1..32; a colour plane's origin is (floor(x/2), floor(y/2));
    // the luminance result is exactly h x w. Block (i, j) starts at (x0 + j*dec, y0 + i*dec).
    // The result has mat's type (8 or 16 bits, one channel); an empty mat gives a zero-filled
    // 16-bit result of the requested size; w or h <= 0 gives an empty result. Another type
    // gives an empty result and a diagnostic.
    static cv::Mat MatRoi(const cv::Mat &mat, int x, int y, int w, int h, int dec, bool colourPlane, bool fast);
    // The same into dst, reusing its buffer when it has the right size and is not shared
    // (a shared or wrongly sized dst gets a pooled buffer of its own; dst may be mat itself).
    // False, dst unchanged, for another type or a region too large to hold.
    static bool MatRoi(
        const cv::Mat &mat, cv::Mat &dst, int x, int y, int w, int h, int dec, bool colourPlane, bool fast);

    // Full luminance rebuilt from a processed half plane:
    //   out = up(half) + factor * (full - up(down(full)))
    // with down the 2x2 box average and up the centre-aligned bilinear enlargement. factor
    // scales how much full-resolution detail is carried over; with |factor| below eps the
    // detail is left out. When half is exactly downSize2X(full) and factor is 1, out equals
    // full within one level (exactly, in fact). out is sized to full and gets a buffer of its
    // own: kept when it already is full's size, 16-bit and not shared, otherwise replaced, so
    // out never writes over full or half (or over a matrix it shared its buffer with). The
    // result is rounded and clamped to 0..65535; the detail term is computed in float, within
    // one level of exact arithmetic. half must be ceil(full/2) in both directions and both
    // planes 16-bit and non-empty; otherwise, or for a factor that is not finite, false with a
    // diagnostic and out unchanged.
    static bool reconstructFull(const cv::Mat &full, const cv::Mat &half, cv::Mat &out, float factor, float eps);

    // Planes and region; public because the engine's effects work on them directly.
    cv::Mat m_lum;
    cv::Mat m_half;
    float m_factor = 1.0f;
    cv::Mat m_c1;
    cv::Mat m_c2;
    cv::Mat m_p4;
    int m_x = 0;
    int m_y = 0;
    int m_dec = 1;
    TUid *m_uid_p;
    TUidDepends m_depends;
};

#endif
