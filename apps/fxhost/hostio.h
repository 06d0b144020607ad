#ifndef HOSTIO_H
#define HOSTIO_H

#include <QByteArray>
#include <QImage>
#include <QString>

class TCMS;
class TFxCommonData;

// A picture as fxhost read it: any format QImageReader reads, EXIF orientation applied,
// with its embedded ICC profile (empty when it has none) and whether it has more than 8 bits
// per channel (16-bit PNG and TIFF), which then go through the engine's 16-bit planes.
struct LoadedPicture {
    QString path; // empty for the built-in sample
    QImage image;
    QByteArray icc;
    bool deep = false;
};

namespace HostIo {
// Reads path; false with a one-line reason (naming the file) for a missing, unreadable,
// empty, truncated or corrupt file, or a directory.
bool load(const QString &path, LoadedPicture &picture, QString &error);
// The built-in sample picture of that size.
LoadedPicture sample(int width, int height);
// Level 0 of source becomes the picture, through cms with the picture's embedded profile as
// the device profile (sRGB without one; a profile LittleCMS rejects falls back to sRGB with a
// trace line). cms keeps referring to picture.icc, which must stay alive while cms is used.
// False when the picture is too large to hold.
bool setup(const LoadedPicture &picture, TFxCommonData &source, TCMS &cms, QString &error);
}

#endif
