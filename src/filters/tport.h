#ifndef TPORT_H
#define TPORT_H

#include "fxengine_export.h"

#include <QObject>
#include <timage.h>

class TFilter;

// A typed connection point of a filter: it shows one image (not owned) of its type. Ports
// are Qt children of their filter and are found by object name. Connecting ports shares
// image pointers; nothing is copied.
class FXENGINE_EXPORT TPort : public QObject {
    Q_OBJECT
public:
    TPort(TFilter *filter, const QString &name, TImage::IMTYPE type);

    TImage::IMTYPE type() const { return m_type; }
    const TImage *imagePtr() const { return m_image_p; }
    // True for null, otherwise when the image has the port's type.
    bool bCompatible(const TImage *image) const;
    // Null is always taken; an image of another type is refused (false, the old image stays).
    virtual bool setImage(const TImage *image);

    // The image type a port type string names ("Y", "C", "M", "RGBA8U", "RGBA16U", exactly as
    // written); false for any other string.
    static bool typeFromString(const QString &text, TImage::IMTYPE &type);

private:
    TImage::IMTYPE m_type;
    const TImage *m_image_p = nullptr;
};

#endif
