#ifndef TINPORT_H
#define TINPORT_H

#include "fxengine_export.h"
#include "tport.h"

#include <QList>
#include <tupdaterect.h>

class TOutport;

// An input of a filter. It remembers the update rectangle its image had when the filter
// last consumed it (setChanged), so a filter can tell whether there is anything new. Other
// ports may follow it (the passthrough list): whenever it takes a new image, so do they.
// A listed port that is destroyed leaves the list; a cycle of inputs following each other
// hands a new image round once and stops.
class FXENGINE_EXPORT TInport : public TPort {
    Q_OBJECT
public:
    TInport(TFilter *filter, const QString &name, TImage::IMTYPE type, bool bOptional, const TImage *image);

    bool bOptional() const { return m_bOptional; }
    // Takes the image as TPort does and, when it was taken, hands it to every following port.
    bool setImage(const TImage *image) override;
    void addPassthrough(TPort *port);
    // False without an image; otherwise true when the image was written since setChanged.
    bool changed() const;
    // Remembers the image's current update rectangle; nothing without an image.
    void setChanged();

public slots:
    // Shows the output's image.
    bool connectTo(const TOutport *outport_p);
    // Follows another input: takes its image now and whenever it takes a new one. False when
    // that input shows an image of another type.
    bool connectTo(TInport *inport_p);

private:
    bool m_bOptional;
    TUpdateRect m_updateRect;
    QList<TPort *> m_passthrough;
    bool m_bForwarding = false;
};

#endif
