#ifndef TPARAMDRAWMASK_H
#define TPARAMDRAWMASK_H

#include "fxengine_export.h"
#include "tparam.h"

#include <QImage>
#include <QPoint>

class TDrawMask;
class TRoi;

// The parameter through which a host edits an effect's mask. It holds no mask: every slot
// forwards to the effect's brush-mask engine (not owned; may be null, and then the slots do
// nothing), which queues the edit until the effect next processes. The effect, not this
// parameter, emits drawChanged and advances the stamp once the mask has changed.
class FXENGINE_EXPORT TParamDrawMask : public TParam {
    Q_OBJECT
public:
    TParamDrawMask(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type,
        TDrawMask *mask);

    void emitDrawChangedSignal();
    // The mask under roi (clipped to the mask) at roi's decimation and the level's colour-plane
    // resolution, scaled by value (1.0 as it is), as an 8-bit image without a colour table.
    // 0 x 0 while nothing is drawn or without an engine.
    QImage getMask(const TRoi &roi, float value);

signals:
    void drawChanged();

public slots:
    // A brush's step between dabs for its size and inner size, at least 1.
    int brushStep(uint size, uint sizeIn);
    void setValue(uchar maskValue);
    void invert();
    void undo();
    void redo();
    void snapshot();
    void setMaskBlendValue(uchar maskVal = 0);
    void setColorPicker(QPoint sP);
    // Accepted for hosts that send it; blending through masks has one mode.
    void setBlendMode(int mode);
    void setMaskBlendMode(int mode = 0);
    void drawGradientMask(QPoint sP, QPoint eP, int type);
    // Accepted for hosts that send it; vignettes are an effect of their own.
    void drawVignetteMask(QPoint sP, float size, float feather, float roundness);
    void drawStart();
    void drawADot(QPoint pos, uchar maskValue, int radius);
    void drawADot(QPoint pos, uchar maskValue, int radius, int inRadius, float flow, bool bColorSensEnabled,
        bool bColorPickerEnabled);
    void drawEnd();
    void drawSuperMask(QPoint centerPos, float size, float hardness, float featherSize, float colorAware = 1.0,
        bool bInverted = false);
    void postFilter(float featherRadius, float featherEps, float featherContrast, float featherStrength);
    void applyButtonClicked(bool bApply = false);
    // A mask has no presets and is always at its default; reset clears it.
    bool bDefault() const override;
    void reset() override;
    int numPresets() const override;
    void applyPreset(int i) override;

private:
    TDrawMask *m_mask_p;
};

#endif
