#include "hostoutput.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <tcms.h>
#include <tpimage.h>
#include <vector>

namespace {
struct Named {
    const char *request;
    const char *name;
    const char *resource;
};
// The engine's own profiles. The sRGB one is a matrix profile that readers recognise as sRGB and
// whose conversion matches the engine's sRGB within one level.
const Named namedProfiles[] = {
    { "sRGB", "sRGB", ":/iccprofiles/sRGB_v4_ICC_preference_displayclass.icc" },
    { "AdobeRGB", "Adobe RGB (1998)", ":/iccprofiles/Adobe98.icc" },
    { "ProPhoto", "ProPhoto RGB", ":/iccprofiles/ProPhoto.icc" },
};

// A file larger than this is not a display profile; refusing it early keeps a hostile file
// from being read whole.
constexpr qint64 largestProfile = 16 << 20;

bool readProfile(const QString &path, QByteArray &data, QString &error)
{
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        error = QStringLiteral("%1: is a directory, not an ICC profile").arg(path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: cannot read the profile (%2)").arg(path, file.errorString());
        return false;
    }
    if (file.size() > largestProfile) {
        error = QStringLiteral("%1: too large for an ICC profile").arg(path);
        return false;
    }
    data = file.readAll();
    return true;
}

// Gap between the two halves of a side-by-side picture, and its grey.
int gapWidth(int width) { return std::max(4, width / 100); }
constexpr int gapGrey = 0x30;

struct Planes {
    std::vector<unsigned short> data;
    unsigned short *planes[3] = {};
};

void to16Bit(TCMS &cms, const TPImage &level, Planes &out)
{
    const std::size_t count = std::size_t(level.width()) * std::size_t(level.height());
    out.data.assign(3 * count, 0);
    for (int c = 0; c < 3; ++c)
        out.planes[c] = out.data.data() + c * count;
    cms.convert(level, out.planes, level.width(), level.width(), level.height());
}

// The level in the output's colour space at 8 bits. It goes through the 16-bit conversion and
// is rounded at the very end: the engine's own 8-bit conversion rounds to 8-bit ProPhoto first,
// and in saturated colours that step grows to many levels once converted to a smaller space.
QImage to8Bit(TCMS &cms, const TPImage &level)
{
    Planes planes;
    to16Bit(cms, level, planes);
    const int w = level.width(), h = level.height();
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    const auto to8 = [](unsigned v) { return (v * 255u + 32767u) / 65535u; };
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        const std::size_t at = std::size_t(y) * std::size_t(w);
        const unsigned short *r = planes.planes[0] + at, *g = planes.planes[1] + at, *b = planes.planes[2] + at;
        for (int x = 0; x < w; ++x)
            row[x] = 0xff000000u | (to8(r[x]) << 16) | (to8(g[x]) << 8) | to8(b[x]);
    }
    return image;
}

// Copies rows by hand: QImage's own conversions and painting may spread large pictures over
// Qt's thread pool, and the host stays on one thread.
QImage compose8(const QImage &after, const QImage *before)
{
    if (!before)
        return after;
    const int w = after.width(), h = after.height(), gap = gapWidth(w);
    QImage combined(2 * w + gap, h, QImage::Format_RGB32);
    if (combined.isNull())
        return QImage();
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(combined.scanLine(y));
        std::memcpy(row, before->constScanLine(y), std::size_t(w) * 4);
        std::fill(row + w, row + w + gap, qRgb(gapGrey, gapGrey, gapGrey));
        std::memcpy(row + w + gap, after.constScanLine(y), std::size_t(w) * 4);
    }
    return combined;
}

QImage compose16(const Planes &after, const Planes *before, int w, int h)
{
    const int gap = before ? gapWidth(w) : 0;
    QImage image(before ? 2 * w + gap : w, h, QImage::Format_RGBX64);
    if (image.isNull())
        return QImage();
    const quint16 grey = gapGrey * 257;
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<quint16 *>(image.scanLine(y));
        auto put = [&](const Planes &from, int x0) {
            const std::size_t at = std::size_t(y) * w;
            for (int x = 0; x < w; ++x) {
                quint16 *p = row + 4 * (x0 + x);
                p[0] = from.planes[0][at + x];
                p[1] = from.planes[1][at + x];
                p[2] = from.planes[2][at + x];
                p[3] = 0xffff;
            }
        };
        if (before) {
            put(*before, 0);
            for (int x = w; x < w + gap; ++x) {
                std::fill(row + 4 * x, row + 4 * x + 3, grey);
                row[4 * x + 3] = 0xffff;
            }
        }
        put(after, before ? w + gap : 0);
    }
    return image;
}

bool isLossy(const QByteArray &format) { return format == "jpg" || format == "jpeg" || format == "webp"; }
}

bool HostOutput::profile(const QString &request, OutputProfile &profile, QString &error)
{
    QByteArray data;
    QString name = QFileInfo(request).fileName();
    bool named = false;
    for (const Named &candidate : namedProfiles) {
        if (request.compare(QLatin1String(candidate.request), Qt::CaseInsensitive) != 0)
            continue;
        QFile resource(QLatin1String(candidate.resource));
        if (!resource.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("%1: the engine's profile is missing").arg(request);
            return false;
        }
        data = resource.readAll();
        name = QLatin1String(candidate.name);
        named = true;
    }
    if (!named && !readProfile(request, data, error))
        return false;
    // The profile must both drive the conversion and be embedded; Qt only embeds RGB profiles
    // it can read, so anything else is refused rather than written with a wrong tag.
    const QColorSpace space = QColorSpace::fromIccProfile(data);
    if (!space.isValid()) {
        error = QStringLiteral("%1: not an RGB ICC profile that can be embedded in the output").arg(request);
        return false;
    }
    profile.name = name;
    profile.icc = data;
    return true;
}

QByteArray HostOutput::format(const QString &path, int depth, QString &error)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (suffix.isEmpty() || !QImageWriter::supportedImageFormats().contains(suffix)) {
        error = QStringLiteral("%1: cannot write pictures of type \"%2\" (%3)")
                    .arg(path, QString::fromLatin1(suffix),
                        QString::fromLatin1(QImageWriter::supportedImageFormats().join(", ")));
        return QByteArray();
    }
    if (depth == 16 && suffix != "png" && suffix != "tif" && suffix != "tiff") {
        error = QStringLiteral("%1: \"%2\" cannot hold 16 bits per channel (use .png or .tif)")
                    .arg(path, QString::fromLatin1(suffix));
        return QByteArray();
    }
    return suffix;
}

QImage HostOutput::render(const TPImage &after, const TPImage *before, const OutputProfile &profile, int depth)
{
    TCMS cms;
    cms.setQImageICC(profile.icc.constData(), profile.icc.size());
    cms.setPImageICC(profile.icc.constData(), profile.icc.size());
    QImage image;
    if (depth == 16) {
        Planes afterPlanes, beforePlanes;
        to16Bit(cms, after, afterPlanes);
        if (before)
            to16Bit(cms, *before, beforePlanes);
        image = compose16(afterPlanes, before ? &beforePlanes : nullptr, after.width(), after.height());
    } else {
        const QImage afterImage = to8Bit(cms, after);
        const QImage beforeImage = before ? to8Bit(cms, *before) : QImage();
        if (afterImage.isNull() || (before && beforeImage.isNull()))
            return QImage();
        image = compose8(afterImage, before ? &beforeImage : nullptr);
    }
    if (!image.isNull())
        image.setColorSpace(QColorSpace::fromIccProfile(profile.icc));
    return image;
}

HostOutput::Outcome HostOutput::write(const QImage &image, const QString &path, int quality, bool overwrite,
    const std::function<bool()> &stop, QString &error)
{
    QString problem;
    const QByteArray type = format(path, image.depth() == 64 ? 16 : 8, problem);
    if (type.isEmpty()) {
        error = problem;
        return Failed;
    }
    if (QFileInfo(path).isDir()) {
        error = QStringLiteral("%1: is a directory").arg(path);
        return Failed;
    }
    if (!overwrite && QFileInfo::exists(path)) {
        error = QStringLiteral("%1: exists already (--overwrite replaces it)").arg(path);
        return Failed;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("%1: cannot write (%2)").arg(path, file.errorString());
        return Failed;
    }
    QImageWriter writer(&file, type);
    if (quality >= 0 && isLossy(type))
        writer.setQuality(quality);
    if (!writer.write(image)) {
        error = QStringLiteral("%1: cannot write (%2)").arg(path, writer.errorString());
        return Failed;
    }
    // Until commit the picture lives under a temporary name, which QSaveFile removes when it
    // is not committed: an interrupted run leaves neither a truncated file nor a stray one.
    if (stop && stop()) {
        file.cancelWriting();
        return Interrupted;
    }
    if (!overwrite && QFileInfo::exists(path)) {
        error = QStringLiteral("%1: appeared while it was written; kept as it is").arg(path);
        file.cancelWriting();
        return Failed;
    }
    if (!file.commit()) {
        error = QStringLiteral("%1: cannot write (%2)").arg(path, file.errorString());
        return Failed;
    }
    return Written;
}
