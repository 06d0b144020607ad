#ifndef CURVEEDITOR_H
#define CURVEEDITOR_H

#include <QList>
#include <QPointF>
#include <QPointer>
#include <QWidget>
#include <tparamcurve.h>

// Edits a tone curve parameter by its control points. A point is [x, y]: x the input level
// in 0..1, y how far the output lies above (+) or below (-) the diagonal there; the curve
// runs through (0, 0) and (1, 1) unless points sit at the ends. Click to add a point, drag
// to move one, double-click a point or drag it out of the chart to remove it.
//
// The editor writes the parameter while a point is dragged, at most once per mouse move,
// and on release, each time followed by edited() when the parameter changed; changes made
// elsewhere redraw it without edited(). Points are written sorted by x, and a dragged point
// stays between its neighbours. The parameter is not owned; when it is deleted the editor
// shows an empty chart and ignores the mouse.
class CurveEditor : public QWidget {
    Q_OBJECT
public:
    explicit CurveEditor(TParamCurve *param, QWidget *parent = nullptr);

    TParamCurve *param() const { return m_param; }
    // The points as the editor shows them (during a drag, the point may be out).
    QList<QPointF> points() const { return m_points; }

    // Where a point [x, y] of the curve is drawn, in widget coordinates, and back.
    QPointF toWidget(const QPointF &point) const;
    QPointF fromWidget(const QPointF &position) const;

    QSize sizeHint() const override;

signals:
    void edited();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // The chart's square inside the widget's margins.
    QRectF chart() const;
    // The point under position, or -1.
    int pointAt(const QPointF &position) const;
    // The dragged point placed at position: kept between its neighbours and inside the chart.
    QPointF dragTarget(const QPointF &position) const;
    bool bOutside(const QPointF &position) const;
    // Writes the shown points (less a point dragged out) to the parameter.
    void commit();
    void readParam();
    void drawCurve(QPainter &painter) const;

    QPointer<TParamCurve> m_param;
    QList<QPointF> m_points;
    int m_dragged = -1;
    // True while the dragged point is beyond the chart, about to be removed.
    bool m_draggedOut = false;
    // True while the editor writes the parameter, whose change signal then needs no reading.
    bool m_writing = false;
};

#endif
