#include "tparamcurve.h"

#include <cmath>

namespace {
// Control points are edited as floats in hosts; the tolerance is the float 0.001, compared
// against the double coordinates of QPointF.
constexpr double pointTolerance = double(0.001f);
}

TParamCurve::TParamCurve(
    QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type)
    : TParam(parent, key, name, desc, type)
    , m_presets({ QList<QPointF>() })
{
}

bool TParamCurve::eq(const QList<QPointF> &a, const QList<QPointF> &b) const
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (std::abs(a.at(i).x() - b.at(i).x()) > pointTolerance
            || std::abs(a.at(i).y() - b.at(i).y()) > pointTolerance)
            return false;
    }
    return true;
}

void TParamCurve::setValue(const QList<QPointF> &ctrlPnts)
{
    if (eq(ctrlPnts, m_value))
        return;
    m_value = ctrlPnts;
    emit valueChanged(m_value);
    emit curveChanged(m_curveImage);
}

int TParamCurve::numPresets() const { return m_presets.size(); }

void TParamCurve::applyPreset(int i)
{
    // numPresets() may be overridden; the list bound keeps a larger count from reading past it.
    if (i < 0 || i >= numPresets() || i >= m_presets.size())
        return;
    // A copy: a receiver of the change signals may edit the preset list.
    const QList<QPointF> preset = m_presets.at(i);
    setValue(preset);
}

bool TParamCurve::bDefault() const
{
    for (const QPointF &point : m_value) {
        if (std::abs(point.y()) > pointTolerance)
            return false;
    }
    return true;
}
