#ifndef TFXCOMMONDATA_H
#define TFXCOMMONDATA_H

#include "fxengine_export.h"

#include <QObject>

class QImage;
class TCMS;
class TIm;

// The source picture that every effect shares, as a seven-level image set in the engine's
// internal representation. The host fills level 0 with setup() and derives the views it
// wants with TIm::updateCIms; setup() does not touch the stamp of level 0, so the host calls
// image().updateUid(TIm::CImFull) when a new source should count as changed.
class FXENGINE_EXPORT TFxCommonData : public QObject {
    Q_OBJECT
public:
    explicit TFxCommonData(QObject *parent = nullptr);
    ~TFxCommonData() override;

    TIm &image();

    // Level 0 becomes the picture converted from the device colour space of cms. Always
    // true; a null cms or an image it cannot convert leaves level 0 sized but otherwise as
    // the conversion left it, with a trace line.
    bool setup(const QImage &image, TCMS *cms);
    // The same from three 16-bit planes R, G, B (stride in unsigned shorts). The planes are
    // overwritten in place with the internal colour space's values.
    bool setup(unsigned short **planes, int stride, int width, int height, TCMS *cms);

private:
    TIm *m_image_p;
};

#endif
