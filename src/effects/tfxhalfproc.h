#ifndef TFXHALFPROC_H
#define TFXHALFPROC_H

#include "fxengine_export.h"
#include "tfxcimindproc.h"

// An effect that works on half-resolution luminance: its working image always carries a half
// plane (made from the luminance when the input has none), the effect writes its luminance
// result into eff's half plane, and eff keeps the input's full luminance so that readers
// rebuild full luminance from the two. Sets the dynamic property "canDoHalfProc" to true.
class FXENGINE_EXPORT TFxHalfProc : public TFxCImIndProc {
    Q_OBJECT
public:
    TFxHalfProc(const QString &key, QObject *parent);

    bool procTPImage(TIm::CImId cid, const TPImage &in, TPImage &eff) override;
};

#endif
