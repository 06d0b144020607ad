#ifndef TFXCIMINDPROC_H
#define TFXCIMINDPROC_H

#include "fxengine_export.h"
#include "tfxbasic.h"

// An effect that computes each level of its result from the same level of its input, one
// level at a time: procEffect becomes one procTPImage per requested level, with the progress
// split between the levels, and each effect level's dependency record is the concrete
// effect's to fill (setTPImageDepends).
class FXENGINE_EXPORT TFxCImIndProc : public TFxBasic {
    Q_OBJECT
public:
    TFxCImIndProc(const QString &key, QObject *parent);

    void setOutImageDepends() override;
    bool procEffect(const QSet<TIm::CImId> &cids) override;

    // Records on eff's (just cleared) dependency record the stamps that effect level cid
    // depends on.
    virtual void setTPImageDepends(TIm::CImId cid, const TPImage &in, TPImage &eff) = 0;
    // Computes effect level cid from input level cid; false when it failed or was cancelled.
    virtual bool procTPImage(TIm::CImId cid, const TPImage &in, TPImage &eff) = 0;
    // The pixel work on a prepared working image (see TFxFullProc and TFxHalfProc).
    virtual bool procPreparedTPImage(TIm::CImId cid, const TPImage &work, TPImage &eff) = 0;
};

#endif
