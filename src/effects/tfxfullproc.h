#ifndef TFXFULLPROC_H
#define TFXFULLPROC_H

#include "fxengine_export.h"
#include "tfxcimindproc.h"

// An effect that works on full-resolution luminance: its working image's luminance is
// rebuilt from the half plane when the input level carries one. Sets the dynamic property
// "canDoHalfProc" to true.
class FXENGINE_EXPORT TFxFullProc : public TFxCImIndProc {
    Q_OBJECT
public:
    TFxFullProc(const QString &key, QObject *parent);

    bool procTPImage(TIm::CImId cid, const TPImage &in, TPImage &eff) override;
};

#endif
