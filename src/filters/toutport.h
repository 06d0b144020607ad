#ifndef TOUTPORT_H
#define TOUTPORT_H

#include "fxengine_export.h"
#include "tport.h"

class TInport;

// An output of a filter. An owning output creates an empty image of its type and deletes it
// with itself; the filter writes its result into it. Connected to an input or another output
// it drops its own image and shows the other port's instead (passing an input through).
class FXENGINE_EXPORT TOutport : public TPort {
    Q_OBJECT
public:
    TOutport(TFilter *filter, const QString &name, TImage::IMTYPE type, bool bOwnImage);
    ~TOutport() override;

    bool bOwnImage() const { return m_bOwnImage; }
    // The image, writable, while the port owns it; null otherwise.
    TImage *imagePtrMod();

public slots:
    // Passes the input through: shows its image now and whenever it takes a new one. False
    // when the input shows an image of another type.
    bool connectTo(TInport *inport);
    // Shows the other output's image. False when that is of another type.
    bool connectTo(const TOutport *outport);

private:
    void dropOwnImage();

    bool m_bOwnImage;
};

#endif
