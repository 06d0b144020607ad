#ifndef CMSTESTSUPPORT_H
#define CMSTESTSUPPORT_H

#include "testdata.h"
#include "tpimage.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <lcms2.h>
#include <memory>

// Helpers shared by the colour-management tests: profile bytes from the embedded resources
// and the shared data, and owning handles so that a failed QVERIFY does not leak.
namespace CmsTest {

struct ProfileCloser {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray embedded(const QString &name) { return readAll(QStringLiteral(":/iccprofiles/") + name); }

inline QByteArray shared(const QString &name) { return readAll(sharedDataPath(QStringLiteral("icc/") + name)); }

inline Profile open(const QByteArray &bytes)
{
    return Profile(bytes.isEmpty() ? nullptr : cmsOpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size())));
}

inline Profile sRGB() { return Profile(cmsCreate_sRGBProfile()); }

inline QByteArray save(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile, nullptr, &size))
        return QByteArray();
    QByteArray bytes(int(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    return bytes;
}

// The transform the engine is meant to use, built here independently of it.
inline Transform transform(const Profile &from, const Profile &to, cmsUInt32Number format)
{
    if (!from || !to)
        return Transform();
    return Transform(cmsCreateTransform(from.get(), format, to.get(), format, INTENT_ABSOLUTE_COLORIMETRIC, 0));
}

// A deep copy of image with every pixel run through t (BGRA 8-bit).
inline QImage transformed(const QImage &image, const Transform &t)
{
    QImage copy = image.convertToFormat(QImage::Format_ARGB32).copy();
    for (int y = 0; y < copy.height(); ++y)
        cmsDoTransform(t.get(), copy.scanLine(y), copy.scanLine(y), cmsUInt32Number(copy.width()));
    return copy;
}

// True when the two images have equal planes, sample for sample.
inline bool samePlanes(const TPImage &a, const TPImage &b)
{
    auto same = [](const cv::Mat &x, const cv::Mat &y) {
        return x.size() == y.size() && (x.empty() || cv::norm(x, y, cv::NORM_INF) == 0);
    };
    return same(a.m_lum, b.m_lum) && same(a.m_c1, b.m_c1) && same(a.m_c2, b.m_c2) && same(a.m_p4, b.m_p4);
}

// The engine's planes of a BGRA image, without colour management.
inline TPImage planesOf(const QImage &argb32)
{
    TPImage image;
    image.convertFrom(argb32.constBits(), argb32.width(), argb32.height(), argb32.bytesPerLine());
    return image;
}

// Largest difference of any channel between two images of equal size and format, -1 when
// they differ in size or format.
inline int maxDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return -1;
    const int rowBytes = a.width() * a.depth() / 8;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar *pa = a.constScanLine(y);
        const uchar *pb = b.constScanLine(y);
        for (int i = 0; i < rowBytes; ++i)
            worst = std::max(worst, std::abs(int(pa[i]) - int(pb[i])));
    }
    return worst;
}
}

#endif
