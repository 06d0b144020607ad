#include "hostio.h"

#include "tsampleimage.h"

#include <QColorSpace>
#include <QFileInfo>
#include <QImageReader>
#include <tcms.h>
#include <tfxcommondata.h>
#include <tim.h>
#include <vector>

namespace {
bool isDeep(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
        return true;
    default:
        return false;
    }
}

// The engine takes 16-bit pictures as three planes R, G, B.
bool setupDeep(const LoadedPicture &picture, TFxCommonData &source, TCMS &cms)
{
    const QImage rgb = picture.image.convertToFormat(QImage::Format_RGBX64);
    const int w = rgb.width(), h = rgb.height();
    std::vector<unsigned short> buffer(std::size_t(w) * std::size_t(h) * 3);
    unsigned short *planes[3]
        = { buffer.data(), buffer.data() + std::size_t(w) * h, buffer.data() + std::size_t(2) * w * h };
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const unsigned short *>(rgb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            planes[0][std::size_t(y) * w + x] = row[4 * x];
            planes[1][std::size_t(y) * w + x] = row[4 * x + 1];
            planes[2][std::size_t(y) * w + x] = row[4 * x + 2];
        }
    }
    return source.setup(planes, w, w, h, &cms);
}
}

bool HostIo::load(const QString &path, LoadedPicture &picture, QString &error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    if (info.isDir()) {
        error = QStringLiteral("%1: is a directory, not a picture").arg(path);
        return false;
    }
    if (info.size() == 0) {
        error = QStringLiteral("%1: the file is empty").arg(path);
        return false;
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) {
        error = QStringLiteral("%1: cannot read the picture (%2)").arg(path, reader.errorString());
        return false;
    }
    picture.path = path;
    picture.icc = image.colorSpace().isValid() ? image.colorSpace().iccProfile() : QByteArray();
    picture.deep = isDeep(image);
    picture.image = image;
    return true;
}

LoadedPicture HostIo::sample(int width, int height)
{
    LoadedPicture picture;
    picture.image = TSampleImage::generate(width, height);
    return picture;
}

bool HostIo::setup(const LoadedPicture &picture, TFxCommonData &source, TCMS &cms, QString &error)
{
    if (!picture.icc.isEmpty()) {
        cms.setQImageICC(picture.icc.constData(), picture.icc.size());
        cms.setPImageICC(picture.icc.constData(), picture.icc.size());
    }
    const bool ok = picture.deep ? setupDeep(picture, source, cms) : source.setup(picture.image, &cms);
    source.image().updateUid(TIm::CImFull);
    if (!ok || source.image().bEmpty(TIm::CImFull)) {
        error = QStringLiteral("%1: the picture could not be taken in (%2 x %3)")
                    .arg(picture.path.isEmpty() ? QStringLiteral("sample") : picture.path)
                    .arg(picture.image.width())
                    .arg(picture.image.height());
        return false;
    }
    return true;
}
