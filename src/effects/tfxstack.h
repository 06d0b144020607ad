#ifndef TFXSTACK_H
#define TFXSTACK_H

#include "fxengine_export.h"
#include "tfx.h"

#include <QList>

class TPluginFactory;

// The object a host works with: an ordered list of effects, each reading the output of the
// one before it, with the stack's own input and mix image feeding the first. procOutput
// brings the requested levels of the stack's output up to date through all effects, asking
// each effect only for the levels that the effects after it depend on, and emits
// outputChanged for every requested level whose stamp changed. Progress of the running
// effect is forwarded in thousandths; cancelProc stops a pass.
//
// The stack owns its effects (they are also its Qt children). All stacks share one plug-in
// factory, created with the first stack and deleted with the last.
class FXENGINE_EXPORT TfxStack : public TFx {
    Q_OBJECT
public:
    TfxStack(const QString &name, QObject *parent);
    ~TfxStack() override;

    // Creates the effect by key through the shared factory and inserts it at index (clamped
    // to 0..count), wiring it and its successors. Null when the key cannot be created.
    TFx *addTFx(const QString &key, const QString &name, int index);
    // Removes and deletes the effect at index; its successors read what it read. False for
    // an index out of range or while the stack processes.
    bool deleteTFx(int index);
    // Moves the effect at from to to; every effect then reads the output of the one before
    // it and the first reads the stack's input and mix image. False for indices out of range
    // or while the stack processes.
    bool moveTFx(int from, int to);

    TFx *tfxPtr(int index);
    const TFx *tfxPtr(int index) const;
    int numTFxs() const;
    // -1 for the stack's input image, -2 for its mix image, else the index of the effect
    // whose output it is; -3 (with a trace line) when no one produces it.
    int connectedToTFx(const TIm *image);

    int currentTfx() const;
    void setCurrentTfx(int index);

    void setCommonData(TFxCommonData *commonData) override;
    const QSet<TIm::CImId> &depends(const TIm::CImId &cid, TFx::InportId port) const override;
    void setOutImageDepends() override;
    void paramsReset() override;
    bool bParamsDefault() const override;

    static int m_refcount;
    static TPluginFactory *m_pluginFactory_p;

signals:
    void currentTfxChanged(int curIdx);

public slots:
    void setInImage(const TIm *inIm_p) override;
    void setMixImage(const TIm *mixIm_p) override;
    bool procOutput(const QSet<TIm::CImId> &updates) override;
    bool procCurrentTFx(const QSet<TIm::CImId> &updates);
    void cancelProc() override;

protected slots:
    void emitProg(int percent);
    void emitOutputChanged(int cid);

protected:
    // The processing pass through the effects 0 to last.
    bool procOutIm(const QSet<TIm::CImId> &updates, int last);

private:
    QList<QSet<TIm::CImId>> collectLevelSets(const QSet<TIm::CImId> &updates, int last);
    void wireInOrder();
    void setCurrentIndexQuietly(int index);
    friend class TFx;
    // Called from ~TFx: removes the effect from the list and rewires the chain around it.
    void takeOutDestroyedEffect(TFx *fx);
    // The same for an effect that was no longer the stack's Qt child when it died, once it is
    // gone; out was its output set.
    void forgetDestroyedEffect(const TFx *fx, const TIm *out);
    void removeAndRewire(int index, const TIm *removedOut, const TIm *in, const TIm *mix);
    void updateCurrentAfterRemoval(int index);

    QList<TFx *> m_tfxs;
    int m_current = -1;
    QSet<TIm::CImId> m_emptySet;
    bool m_cancel = false;
};

#endif
