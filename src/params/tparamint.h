#ifndef TPARAMINT_H
#define TPARAMINT_H

#include "fxengine_export.h"
#include "tparam.h"

#include <QList>

// An integer within [vmin, vmax]. The constructor keeps its arguments as given, even out of
// range; every later change is clamped into the range. A change advances the stamp.
class FXENGINE_EXPORT TParamInt : public TParam {
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue)
public:
    TParamInt(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type,
        int value, int vmin, int vmax);

signals:
    void valueChanged(int v);

public slots:
    int value() const { return m_value; }
    // Stores v clamped to [vmin, vmax], advances the stamp and emits valueChanged; nothing when
    // the clamped value is the value.
    void setValue(int v);
#ifdef Q_MOC_RUN
    QList<int> presets();
#else
    // Editable in place; the first entry is the default. Presets are clamped when applied.
    QList<int> &presets() { return m_presets; }
#endif
    int vmin() const { return m_vmin; }
    int vmax() const { return m_vmax; }
    int numPresets() const override;
    void applyPreset(int i) override;
    // Compares with the first preset as stored, unclamped; false without presets.
    bool bDefault() const override;

private:
    int m_value;
    int m_vmin;
    int m_vmax;
    QList<int> m_presets;
};

#endif
