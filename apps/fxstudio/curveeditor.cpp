#include "curveeditor.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <tparamcurve.h>
#include <vector>

namespace {
constexpr double margin = 8.0;
constexpr double grabRadius = 7.0;
// A point dragged this far beyond the chart is taken out; a small overshoot is not.
constexpr double removeDistance = 24.0;
// Neighbouring points stay this far apart in x: the effect merges points closer than a
// thousandth, which would make a dragged point vanish into its neighbour.
constexpr double minimumGap = 0.01;

bool byX(const QPointF &a, const QPointF &b) { return a.x() < b.x(); }

// The curve as the Curves effect evaluates it: the points as (input, output), the ends added
// when missing, joined by monotone cubic segments (Fritsch-Carlson tangents).
struct Knots {
    std::vector<double> x, y;
};

Knots knotsOf(QList<QPointF> points)
{
    std::stable_sort(points.begin(), points.end(), byX);
    Knots knots;
    for (const QPointF &point : points) {
        const double x = qBound(0.0, point.x(), 1.0);
        if (!knots.x.empty() && x - knots.x.back() < 0.001)
            continue;
        knots.x.push_back(x);
        knots.y.push_back(qBound(0.0, x + point.y(), 1.0));
    }
    if (knots.x.empty() || knots.x.front() > 0.001) {
        knots.x.insert(knots.x.begin(), 0.0);
        knots.y.insert(knots.y.begin(), 0.0);
    }
    if (knots.x.back() < 0.999) {
        knots.x.push_back(1.0);
        knots.y.push_back(1.0);
    }
    return knots;
}

std::vector<double> tangentsOf(const Knots &k)
{
    const std::size_t n = k.x.size();
    std::vector<double> secant(n - 1), tangent(n);
    for (std::size_t i = 0; i + 1 < n; ++i)
        secant[i] = (k.y[i + 1] - k.y[i]) / (k.x[i + 1] - k.x[i]);
    tangent[0] = secant[0];
    tangent[n - 1] = secant[n - 2];
    for (std::size_t i = 1; i + 1 < n; ++i)
        tangent[i] = secant[i - 1] * secant[i] <= 0.0 ? 0.0 : 0.5 * (secant[i - 1] + secant[i]);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (secant[i] == 0.0) {
            tangent[i] = tangent[i + 1] = 0.0;
            continue;
        }
        const double a = tangent[i] / secant[i], b = tangent[i + 1] / secant[i];
        const double radius = a * a + b * b;
        if (radius > 9.0) {
            const double shrink = 3.0 / std::sqrt(radius);
            tangent[i] = shrink * a * secant[i];
            tangent[i + 1] = shrink * b * secant[i];
        }
    }
    return tangent;
}

double evaluate(const Knots &k, const std::vector<double> &tangent, double x)
{
    std::size_t i = 0;
    while (i + 2 < k.x.size() && x > k.x[i + 1])
        ++i;
    const double h = k.x[i + 1] - k.x[i], t = (x - k.x[i]) / h, t2 = t * t, t3 = t2 * t;
    const double y = (2 * t3 - 3 * t2 + 1) * k.y[i] + (t3 - 2 * t2 + t) * h * tangent[i]
        + (-2 * t3 + 3 * t2) * k.y[i + 1] + (t3 - t2) * h * tangent[i + 1];
    return qBound(0.0, y, 1.0);
}
}

CurveEditor::CurveEditor(TParamCurve *param, QWidget *parent)
    : QWidget(parent)
    , m_param(param)
{
    setMinimumSize(120, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (param) {
        connect(param, &TParamCurve::valueChanged, this, &CurveEditor::readParam);
        connect(param, &QObject::destroyed, this, &CurveEditor::readParam);
    }
    readParam();
}

QSize CurveEditor::sizeHint() const { return QSize(220, 220); }

QRectF CurveEditor::chart() const
{
    const double side = std::max(1.0, std::min(width(), height()) - 2 * margin);
    return QRectF((width() - side) / 2, margin, side, side);
}

QPointF CurveEditor::toWidget(const QPointF &point) const
{
    const QRectF area = chart();
    return QPointF(area.left() + point.x() * area.width(), area.bottom() - (point.x() + point.y()) * area.height());
}

QPointF CurveEditor::fromWidget(const QPointF &position) const
{
    const QRectF area = chart();
    const double x = (position.x() - area.left()) / area.width();
    const double output = (area.bottom() - position.y()) / area.height();
    return QPointF(x, output - x);
}

void CurveEditor::readParam()
{
    if (m_writing)
        return;
    m_points = m_param ? m_param->value() : QList<QPointF>();
    std::stable_sort(m_points.begin(), m_points.end(), byX);
    // A change from elsewhere ends a drag: the point's index may mean another point now.
    m_dragged = -1;
    m_draggedOut = false;
    update();
}

void CurveEditor::commit()
{
    if (!m_param)
        return;
    QList<QPointF> points = m_points;
    if (m_dragged >= 0 && m_draggedOut)
        points.removeAt(m_dragged);
    const QList<QPointF> before = m_param->value();
    // The editor's own write must not end the drag it comes from.
    m_writing = true;
    m_param->setValue(points);
    m_writing = false;
    // The parameter keeps its value for moves within its tolerance; those are no edit.
    if (m_param->value() != before)
        emit edited();
}

int CurveEditor::pointAt(const QPointF &position) const
{
    int nearest = -1;
    double nearestDistance = grabRadius;
    for (int i = 0; i < m_points.size(); ++i) {
        const double distance = QLineF(toWidget(m_points.at(i)), position).length();
        if (distance <= nearestDistance) {
            nearest = i;
            nearestDistance = distance;
        }
    }
    return nearest;
}

bool CurveEditor::bOutside(const QPointF &position) const
{
    const QRectF area = chart().adjusted(-removeDistance, -removeDistance, removeDistance, removeDistance);
    return !area.contains(position);
}

QPointF CurveEditor::dragTarget(const QPointF &position) const
{
    const QPointF wanted = fromWidget(position);
    double low = 0.0, high = 1.0;
    if (m_dragged > 0)
        low = m_points.at(m_dragged - 1).x() + minimumGap;
    if (m_dragged + 1 < m_points.size())
        high = m_points.at(m_dragged + 1).x() - minimumGap;
    const double x = high < low ? m_points.at(m_dragged).x() : qBound(low, wanted.x(), high);
    const double output = qBound(0.0, x + wanted.y(), 1.0);
    return QPointF(x, output - x);
}

void CurveEditor::mousePressEvent(QMouseEvent *event)
{
    if (!m_param || event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    int index = pointAt(event->localPos());
    if (index < 0) {
        if (!chart().contains(event->localPos()))
            return;
        const QPointF point = fromWidget(event->localPos());
        // Too near a neighbour, the new point would merge with it; the click grabs nothing.
        for (const QPointF &other : m_points)
            if (std::abs(other.x() - point.x()) < minimumGap)
                return;
        const auto at = std::upper_bound(m_points.begin(), m_points.end(), point, byX);
        index = int(at - m_points.begin());
        m_points.insert(index, point);
        m_dragged = index;
        m_draggedOut = false;
        commit();
    }
    m_dragged = index;
    m_draggedOut = false;
    update();
}

void CurveEditor::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragged < 0 || !m_param)
        return QWidget::mouseMoveEvent(event);
    m_draggedOut = bOutside(event->localPos());
    if (!m_draggedOut)
        m_points[m_dragged] = dragTarget(event->localPos());
    commit();
    update();
}

void CurveEditor::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragged < 0 || !m_param)
        return QWidget::mouseReleaseEvent(event);
    m_draggedOut = bOutside(event->localPos());
    if (!m_draggedOut)
        m_points[m_dragged] = dragTarget(event->localPos());
    commit();
    if (m_draggedOut)
        m_points.removeAt(m_dragged);
    m_dragged = -1;
    m_draggedOut = false;
    update();
}

void CurveEditor::mouseDoubleClickEvent(QMouseEvent *event)
{
    const int index = m_param ? pointAt(event->localPos()) : -1;
    if (index < 0)
        return;
    m_points.removeAt(index);
    m_dragged = -1;
    m_draggedOut = false;
    commit();
    update();
}

void CurveEditor::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = chart();
    painter.fillRect(area, palette().base());
    painter.setPen(QPen(palette().mid(), 1.0));
    for (int i = 1; i < 4; ++i) {
        const double x = area.left() + area.width() * i / 4, y = area.top() + area.height() * i / 4;
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    painter.drawRect(area);
    painter.setPen(QPen(palette().mid(), 1.0, Qt::DashLine));
    painter.drawLine(area.bottomLeft(), area.topRight());
    drawCurve(painter);
}

void CurveEditor::drawCurve(QPainter &painter) const
{
    QList<QPointF> shown = m_points;
    if (m_dragged >= 0 && m_draggedOut)
        shown.removeAt(m_dragged);
    const Knots knots = knotsOf(shown);
    const std::vector<double> tangent = tangentsOf(knots);
    const QRectF area = chart();
    QPainterPath path;
    const int steps = std::max(2, int(area.width()));
    for (int i = 0; i <= steps; ++i) {
        const double x = double(i) / steps;
        const QPointF at(area.left() + x * area.width(), area.bottom() - evaluate(knots, tangent, x) * area.height());
        if (i == 0)
            path.moveTo(at);
        else
            path.lineTo(at);
    }
    painter.setPen(QPen(palette().text(), 1.5));
    painter.drawPath(path);
    for (int i = 0; i < shown.size(); ++i) {
        const bool dragged = m_dragged >= 0 && !m_draggedOut && shown.at(i) == m_points.at(m_dragged);
        painter.setBrush(dragged ? palette().highlight() : palette().base());
        painter.setPen(QPen(palette().text(), 1.5));
        painter.drawEllipse(toWidget(shown.at(i)), 4.0, 4.0);
    }
}
