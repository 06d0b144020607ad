#ifndef TFX_H
#define TFX_H

#include "fxengine_export.h"
#include "tim.h"

#include <QObject>
#include <QSet>
#include <QString>

class TFxCommonData;
class TParam;

// The abstract effect: a key (its object name), an input image and a mix image (not owned),
// an output image set it owns, a processing flag, and its parameters, which are its Qt
// children. The effect stack wires effects together through setInImage / setMixImage, asks
// which input levels an output level needs (depends), runs them (procOutput) and cancels
// them (cancelProc). All effects share one TFxCommonData through a static pointer.
class FXENGINE_EXPORT TFx : public QObject {
    Q_OBJECT
public:
    enum InportId : int { InportIn = 0, InportMix = 1 };

    TFx(const QString &key, QObject *parent);
    ~TFx() override;

    const QString key() const;
    static TFxCommonData *getCommonData();

    const TIm *inImagePtr() const;
    const TIm *mixImagePtr() const;
    bool isProcessing() const;

    // Parameters are the effect's children, in child order. Out of range or an unknown
    // key: a debug line and null.
    int numParams() const;
    TParam *paramPtr(int index);
    const TParam *paramPtr(int index) const;
    TParam *paramPtr(const QString &key);

    virtual void paramsReset();
    virtual bool bParamsDefault() const;
    // The levels of the image on port that output level cid is computed from. The reference
    // stays valid as long as the effect lives.
    virtual const QSet<TIm::CImId> &depends(const TIm::CImId &cid, TFx::InportId port) const = 0;
    // Rebuilds the dependency records of the output levels; called whenever the input or the
    // mix image changes.
    virtual void setOutImageDepends() = 0;

signals:
    void progress(int oneThousandth);
    void outputChanged(int cid);

public slots:
    virtual void setInImage(const TIm *inIm_p);
    virtual void setMixImage(const TIm *mixIm_p);
    // Brings the output levels in cids up to date; false when it failed, was cancelled, or
    // the effect is already processing.
    virtual bool procOutput(const QSet<TIm::CImId> &cids) = 0;
    virtual void cancelProc() = 0;

public:
    virtual TIm *outImagePtr();
    virtual const TIm *outImagePtr() const;
    virtual void setCommonData(TFxCommonData *commonData);

    static TFxCommonData *m_commonData_p;

protected:
    // The stack rewires its effects, also while one of them is being destroyed.
    friend class TfxStack;

    const TIm *m_inIm_p = nullptr;
    const TIm *m_mixIm_p = nullptr;
    TIm m_outIm;
    bool m_processing = false;
};

#endif
