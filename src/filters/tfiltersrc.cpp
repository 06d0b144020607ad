#include "tfiltersrc.h"

#include "qximproca.h"
#include "timage.h"

#include <QDebug>
#include <QImageReader>

namespace {
QDebug trace(const char *where, int line, const char *text)
{
    return qDebug() << QXimproca::traceMsg(where, line, text).c_str();
}
}

TFilterSrc::TFilterSrc(const QString &name, QObject *parent)
    : TFilter(name, parent)
{
    createOutport(QStringLiteral("outY"), QStringLiteral("Y"));
    createOutport(QStringLiteral("outC"), QStringLiteral("C"));
    createOutport(QStringLiteral("outM"), QStringLiteral("M"));
}

QString TFilterSrc::proc() { return QString(); }

bool TFilterSrc::setImage(const QImage &qim)
{
    const int width = qim.width();
    const int height = qim.height();
    if (width < 1 || height < 1)
        return false;
    // The planes are made from B, G, R, A bytes in that order, which is how ARGB32 lies in
    // memory on the machines we build for.
    const QImage argb = qim.format() == QImage::Format_ARGB32 ? qim : qim.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull()) {
        trace("TFilterSrc::setImage", __LINE__, "conversion to ARGB32 failed") << objectName();
        return false;
    }
    if (!TImage::bgra8uToTImage(argb.constScanLine(0), argb.bytesPerLine(), width, height,
            outImagePtr(QStringLiteral("outY")), outImagePtr(QStringLiteral("outC")),
            outImagePtr(QStringLiteral("outM")))) {
        trace("TFilterSrc::setImage", __LINE__, "failed") << width << height << objectName();
        return false;
    }
    setProccessed();
    return true;
}

bool TFilterSrc::setImage(const QString &fileName)
{
    QImageReader reader(fileName);
    // Photographs carry their orientation as a tag; the graph works on the picture as seen.
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        trace("TFilterSrc::setImage", __LINE__, "cannot read") << fileName << reader.errorString();
        return false;
    }
    return setImage(image);
}
