#ifndef TFXBASIC_H
#define TFXBASIC_H

#include "fxengine_export.h"
#include "tfx.h"

class TDrawMask;
class TParamDrawMask;
class TParamFloat;
class TParamGroup;
class TProgress;

// The base of every concrete effect. The effect computes its result into its own image set,
// the effect image (procEffect); procOutput then composes each requested output level from
// the effect level and the mix level through the painted mask and the opacity, and only for
// levels whose dependency record is dirty. Every effect gets the same common parameters: the
// group "TFxCommon" switching masking on and off, its mask "Mask" and its opacity "Opacity".
// The effect owns its brush-mask engine, its progress reporter and its effect image.
class FXENGINE_EXPORT TFxBasic : public TFx {
    Q_OBJECT
public:
    TFxBasic(const QString &key, QObject *parent);
    ~TFxBasic() override;

    // Which levels of port's image output level cid is computed from; {cid} unless a derived
    // effect changed the table. An empty set for an id that names no level.
    const QSet<TIm::CImId> &depends(const TIm::CImId &cid, TFx::InportId port) const override;
    // Each output level depends on its effect level, its mix level (when a mix image is set)
    // and the three common parameters.
    void setOutImageDepends() override;

    // Emits progress and tells whether to go on (false once a cancel was asked for).
    bool emitProgress(int oneThousandth);

    // The concrete effect brings the effect image's levels in cids up to date from the input
    // image; false when it failed or was cancelled.
    virtual bool procEffect(const QSet<TIm::CImId> &cids) = 0;

public slots:
    // Runs procEffect, then the mask's queued edits, then composes the dirty output levels.
    // False when already processing, when procEffect fails or when the mask cannot be
    // processed; the output is then left as it was.
    bool procOutput(const QSet<TIm::CImId> &cids) override;
    void cancelProc() override;

protected:
    // [port][cid]: the levels of the input (0) or mix (1) image that output level cid needs.
    QSet<TIm::CImId> m_depends[2][TIm::numLevels];
    bool m_cancel = false;
    TProgress *m_progress_p;
    TIm m_effIm;
    TDrawMask *m_drawMask_p;
    TParamGroup *m_common_p;
    TParamDrawMask *m_mask_p;
    TParamFloat *m_opacity_p;

private:
    static bool reportProgress(int oneThousandth, void *context);
    // The output level cid composed from effect and mix level; the log names the mode.
    void composeLevel(TIm::CImId cid);
    void blendLevel(TIm::CImId cid, float opacity, const cv::Mat &mask);

    QSet<TIm::CImId> m_noLevels;
};

#endif
