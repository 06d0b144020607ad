#ifndef TPARAMFLOAT_H
#define TPARAMFLOAT_H

#include "fxengine_export.h"
#include "tparam.h"

#include <QList>

// A real number within [vmin, vmax]. Sliders jitter, so a move of at most a thousandth of the
// range counts as no move: no store, no stamp, no signal. The constructor keeps its
// arguments as given, even out of range; every later change is clamped into the range.
class FXENGINE_EXPORT TParamFloat : public TParam {
    Q_OBJECT
    Q_PROPERTY(float value READ value WRITE setValue)
public:
    TParamFloat(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type,
        float value, float vmin, float vmax);

signals:
    void valueChanged(float v);

public slots:
    float value() const { return m_value; }
    float vmin() const { return m_vmin; }
    float vmax() const { return m_vmax; }
    // Stores v clamped to [vmin, vmax] (NaN goes to vmin), advances the stamp and emits
    // valueChanged; nothing when the clamped value is within the tolerance of the value.
    void setValue(float v);
#ifdef Q_MOC_RUN
    QList<float> presets();
#else
    // Editable in place; the first entry is the default. Applying one goes through setValue.
    QList<float> &presets() { return m_presets; }
#endif
    int numPresets() const override;
    void applyPreset(int i) override;
    // Within the tolerance of the first preset; false without presets.
    bool bDefault() const override;

protected:
    // True when a and b are further apart than a thousandth of the range.
    bool neq(float a, float b) const;

private:
    float m_value;
    float m_vmin;
    float m_vmax;
    QList<float> m_presets;
};

#endif
