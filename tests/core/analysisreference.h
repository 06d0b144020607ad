#ifndef ANALYSISREFERENCE_H
#define ANALYSISREFERENCE_H

// Slow, independent colour arithmetic for checking the histogram and theme code: the
// published ProPhoto and Bradford-adapted sRGB matrices (as tabulated by B. Lindbloom for a
// D50 reference white), the sRGB curve, and a plain per-pixel build of the engine's planes.

#include "tpimage.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>
#include <vector>

namespace AnalysisReference {

const double proPhotoToXyz[3][3]
    = { { 0.7976749, 0.1351917, 0.0313534 }, { 0.2880402, 0.7118741, 0.0000857 }, { 0.0, 0.0, 0.8252100 } };
const double xyzToProPhoto[3][3]
    = { { 1.3459433, -0.2556075, -0.0511118 }, { -0.5445989, 1.5081673, 0.0205351 }, { 0.0, 0.0, 1.2118128 } };
const double xyzToSrgb[3][3] = { { 3.1338561, -1.6168667, -0.4906146 }, { -0.9787684, 1.9161415, 0.0334540 },
    { 0.0719453, -0.2289914, 1.4052427 } };
const double srgbToXyz[3][3]
    = { { 0.4360747, 0.3850649, 0.1430804 }, { 0.2225045, 0.7168786, 0.0606169 }, { 0.0139322, 0.0971045, 0.7141733 } };

inline void apply(const double m[3][3], const double in[3], double out[3])
{
    for (int i = 0; i < 3; ++i)
        out[i] = m[i][0] * in[0] + m[i][1] * in[1] + m[i][2] * in[2];
}

inline double srgbDecode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

inline double srgbEncode(double v)
{
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

// 8-bit sRGB to encoded ProPhoto on the 16-bit scale (unrounded, clamped).
inline void srgb8ToProPhoto(int r, int g, int b, double out[3])
{
    const double linear[3] = { srgbDecode(r / 255.0), srgbDecode(g / 255.0), srgbDecode(b / 255.0) };
    double xyz[3], pro[3];
    apply(srgbToXyz, linear, xyz);
    apply(xyzToProPhoto, xyz, pro);
    for (int i = 0; i < 3; ++i)
        out[i] = std::pow(std::clamp(pro[i], 0.0, 1.0), 1.0 / 1.8) * 65535.0;
}

// Encoded ProPhoto (16-bit scale) to encoded sRGB on 0..1.
inline void proPhotoToSrgb(const double in[3], double out[3])
{
    const double linear[3] = { std::pow(std::clamp(in[0] / 65535.0, 0.0, 1.0), 1.8),
        std::pow(std::clamp(in[1] / 65535.0, 0.0, 1.0), 1.8), std::pow(std::clamp(in[2] / 65535.0, 0.0, 1.0), 1.8) };
    double xyz[3], srgb[3];
    apply(proPhotoToXyz, linear, xyz);
    apply(xyzToSrgb, xyz, srgb);
    for (int i = 0; i < 3; ++i)
        out[i] = srgbEncode(srgb[i]);
}

// The plane values of one pixel: luma with ProPhoto's weights, (B - luma) / 2 and
// (R - luma) / 2 around 32768.
inline void proPhotoToPlanes(const double rgb[3], double out[3])
{
    const double r = std::round(rgb[0]), g = std::round(rgb[1]), b = std::round(rgb[2]);
    const double luma = std::floor((18877.0 * r + 46653.0 * g + 6.0 * b + 32768.0) / 65536.0);
    out[0] = luma;
    out[1] = (b - luma) / 2.0 + 32768.0;
    out[2] = (r - luma) / 2.0 + 32768.0;
}

inline void planesToProPhoto(double luma, double c1, double c2, double out[3])
{
    const double b = luma + 2.0 * (c1 - 32768.0), r = luma + 2.0 * (c2 - 32768.0);
    const double g = (65536.0 * luma - 18877.0 * r - 6.0 * b) / 46653.0;
    out[0] = std::clamp(r, 0.0, 65535.0);
    out[1] = std::clamp(g, 0.0, 65535.0);
    out[2] = std::clamp(b, 0.0, 65535.0);
}

// Full-resolution plane values of an 8-bit sRGB picture (one double triple per pixel).
inline std::vector<double> fullPlanes(const QImage &picture)
{
    std::vector<double> values(std::size_t(picture.width()) * picture.height() * 3);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            double pro[3];
            srgb8ToProPhoto(qRed(p), qGreen(p), qBlue(p), pro);
            proPhotoToPlanes(pro, &values[(std::size_t(y) * picture.width() + x) * 3]);
        }
    }
    return values;
}

// The average of channel c over the existing pixels of the 2x2 block at (bx, by), rounded.
inline unsigned short blockAverage(const std::vector<double> &values, int w, int h, int bx, int by, int c)
{
    double sum = 0;
    int n = 0;
    for (int y = 2 * by; y < std::min(h, 2 * by + 2); ++y) {
        for (int x = 2 * bx; x < std::min(w, 2 * bx + 2); ++x) {
            sum += values[(std::size_t(y) * w + x) * 3 + std::size_t(c)];
            ++n;
        }
    }
    return static_cast<unsigned short>(std::lround(std::clamp(sum / n, 0.0, 65535.0)));
}

// The three analysis planes of an sRGB picture: luminance, first and second colour plane,
// each averaged over 2x2 blocks.
inline std::vector<cv::Mat> analysisPlanes(const QImage &picture)
{
    const std::vector<double> values = fullPlanes(picture);
    const int w = picture.width(), h = picture.height();
    std::vector<cv::Mat> planes(3);
    for (int c = 0; c < 3; ++c) {
        planes[std::size_t(c)].create((h + 1) / 2, (w + 1) / 2, CV_16UC1);
        for (int by = 0; by < planes[0].rows; ++by)
            for (int bx = 0; bx < planes[0].cols; ++bx)
                planes[std::size_t(c)].at<unsigned short>(by, bx) = blockAverage(values, w, h, bx, by, c);
    }
    return planes;
}

// An engine image of an sRGB picture: full luminance, colour planes averaged over blocks.
inline void fillImage(const QImage &picture, TPImage &image)
{
    const std::vector<double> values = fullPlanes(picture);
    const int w = picture.width(), h = picture.height();
    image.create(w, h, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.m_lum.at<unsigned short>(y, x) = static_cast<unsigned short>(values[(std::size_t(y) * w + x) * 3]);
    for (int by = 0; by < image.m_c1.rows; ++by) {
        for (int bx = 0; bx < image.m_c1.cols; ++bx) {
            image.m_c1.at<unsigned short>(by, bx) = blockAverage(values, w, h, bx, by, 1);
            image.m_c2.at<unsigned short>(by, bx) = blockAverage(values, w, h, bx, by, 2);
            image.m_p4.at<unsigned short>(by, bx) = 65535;
        }
    }
}

}

#endif
