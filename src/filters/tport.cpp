#include "tport.h"

#include "tfilter.h"

TPort::TPort(TFilter *filter, const QString &name, TImage::IMTYPE type)
    : QObject(filter)
    , m_type(type)
{
    setObjectName(name);
}

bool TPort::bCompatible(const TImage *image) const { return !image || image->type() == m_type; }

bool TPort::setImage(const TImage *image)
{
    if (!bCompatible(image))
        return false;
    m_image_p = image;
    return true;
}

bool TPort::typeFromString(const QString &text, TImage::IMTYPE &type)
{
    static const struct {
        const char *text;
        TImage::IMTYPE type;
    } names[] = { { "Y", TImage::Y }, { "C", TImage::C }, { "M", TImage::M }, { "RGBA8U", TImage::RGBA8U },
        { "RGBA16U", TImage::RGBA16U } };
    for (const auto &name : names) {
        if (text == QLatin1String(name.text)) {
            type = name.type;
            return true;
        }
    }
    return false;
}
