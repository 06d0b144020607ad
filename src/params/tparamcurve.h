#ifndef TPARAMCURVE_H
#define TPARAMCURVE_H

#include "fxengine_export.h"
#include "tparam.h"

#include <QImage>
#include <QList>
#include <QPointF>

// A curve given by control points, kept in the order given. The value starts empty, and the
// one preset at construction is the empty list. A curve counts as default when it is flat
// (every point within 0.001 of y = 0), whatever its presets say. A change is announced by
// valueChanged and curveChanged only: the stamp stays, so an effect that depends on the curve
// listens to the signals. The curve image travels with curveChanged; this library never draws
// it, a deriving class may.
class FXENGINE_EXPORT TParamCurve : public TParam {
    Q_OBJECT
public:
    TParamCurve(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type);

signals:
    void valueChanged(const QList<QPointF> &ctrlPnts);
    void curveChanged(const QImage &curve);

public slots:
#ifdef Q_MOC_RUN
    QList<QPointF> value() const;
#else
    const QList<QPointF> &value() const { return m_value; }
#endif
    // Stores a copy of ctrlPnts and emits valueChanged, then curveChanged; nothing when the
    // points equal the value within 0.001 per coordinate.
    void setValue(const QList<QPointF> &ctrlPnts);
#ifdef Q_MOC_RUN
    QList<QList<QPointF>> presets();
#else
    // Editable in place.
    QList<QList<QPointF>> &presets() { return m_presets; }
#endif
    int numPresets() const override;
    void applyPreset(int i) override;
    bool bDefault() const override;

protected:
    // Same length, and every coordinate pair within 0.001 of each other.
    bool eq(const QList<QPointF> &a, const QList<QPointF> &b) const;

    QImage m_curveImage;

private:
    QList<QPointF> m_value;
    QList<QList<QPointF>> m_presets;
};

#endif
