#ifndef FILTERTEST_H
#define FILTERTEST_H

// Image helpers shared by the filter tests.
#include "tfilter.h"
#include "timage.h"

#include <functional>
#include <random>

namespace FilterTest {
// An image of the type filled by value(x, row, plane), marked written.
inline TImage makeImage(TImage::IMTYPE type, int w, int h, const std::function<int(int, int, int)> &value)
{
    TImage image(type, TSize(w, h));
    for (int r = 0; r < h; ++r) {
        for (int x = 0; x < w; ++x) {
            if (type == TImage::Y)
                image.mat1().at<quint16>(r, x) = quint16(value(x, r, 0));
            else
                image.mat1().at<quint8>(r, x) = quint8(value(x, r, 0));
            if (type == TImage::C)
                image.mat2().at<quint8>(r, x) = quint8(value(x, r, 1));
        }
    }
    image.markWritten();
    return image;
}

// Random samples in [lo, hi] (the type's whole range by default).
inline TImage randomImage(TImage::IMTYPE type, int w, int h, unsigned seed, int lo = 0, int hi = -1)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pick(lo, hi >= 0 ? hi : (type == TImage::Y ? 65535 : 255));
    return makeImage(type, w, h, [&](int, int, int) { return pick(random); });
}

inline int sampleAt(const TImage &image, int plane, int x, int r)
{
    const cv::Mat &m = plane == 0 ? image.mat1() : image.mat2();
    return image.type() == TImage::Y ? m.at<quint16>(r, x) : m.at<quint8>(r, x);
}

inline bool samePixels(const TImage *a, const TImage *b)
{
    if (!a || !b || a->type() != b->type() || a->size() != b->size())
        return false;
    if (a->bEmpty())
        return true;
    return cv::countNonZero(a->mat1() != b->mat1()) == 0
        && (a->type() != TImage::C || cv::countNonZero(a->mat2() != b->mat2()) == 0);
}

// An output's image, through the lookup that every holder of a filter has.
inline const TImage *output(const TFilter *filter, const QString &key) { return filter->outImagePtr(key); }
}

#endif
