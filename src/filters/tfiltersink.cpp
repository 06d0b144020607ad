#include "tfiltersink.h"

#include "timage.h"

TFilterSink::TFilterSink(const QString &name, QObject *parent)
    : TFilter(name, parent)
{
    createInport(QStringLiteral("inY"), QStringLiteral("Y"), false);
    createInport(QStringLiteral("inC"), QStringLiteral("C"), false);
    createInport(QStringLiteral("inM"), QStringLiteral("M"), false);
}

QString TFilterSink::proc()
{
    const TImage *luma = inImagePtr(QStringLiteral("inY"));
    const TImage *colour = inImagePtr(QStringLiteral("inC"));
    const TImage *mask = inImagePtr(QStringLiteral("inM"));
    if (!luma || !colour || !mask)
        return QStringLiteral("Inport all need to be connected");
    if (luma->bEmpty() || colour->bEmpty() || mask->bEmpty() || !bInsChanged())
        return QString();

    const QSize size(luma->width(), luma->height());
    // A new size gets a new picture, kept only when the conversion worked. The same size is
    // written in place; that detaches the picture from copies that callers hold, so what
    // they took earlier does not change under them.
    QImage fresh;
    if (m_image.size() != size)
        fresh = QImage(size, QImage::Format_ARGB32);
    QImage &target = m_image.size() == size ? m_image : fresh;
    if (!TImage::timageToBgra8u(luma, colour, mask, target.scanLine(0), target.bytesPerLine()))
        return QStringLiteral("Inport images do not fit together");
    if (!fresh.isNull())
        m_image = fresh;
    setProccessed();
    return QString();
}

const QImage &TFilterSink::getImage() const { return m_image; }
