#ifndef CANVASVIEW_H
#define CANVASVIEW_H

#include <QElapsedTimer>
#include <QImage>
#include <QPointF>
#include <QTimer>
#include <QWidget>
#include <troi.h>

class MaskTools;
class Session;

// The picture on screen. It shows a view level of the engine: the region in sight at the
// decimation that fits the zoom, processed by the stack and converted for the screen, never a
// scaled full-resolution picture. Edits ask for a new render; renders are coalesced to one per
// frame at most, and run on this thread between events, so a drag never queues up work.
//
// With a mask tool chosen, the mouse paints the current effect's mask; otherwise it pans. The
// wheel zooms about the cursor.
class CanvasView : public QWidget {
    Q_OBJECT
public:
    // The engine's view levels go from decimation 1 to 32.
    static constexpr int maxDecimation = 32;
    // Renders are at least this far apart, one per frame.
    static constexpr int frameMs = 16;

    explicit CanvasView(Session *session, MaskTools *tools, QWidget *parent = nullptr);

    // The decimation a zoom shows: the coarsest view level still at least as fine as the
    // screen (one level pixel to at most one screen pixel), 1 when zoomed in.
    static int decimationFor(double scale);
    // Screen pixels per full-resolution pixel.
    double scale() const { return m_scale; }
    bool fitting() const { return m_fit; }
    void zoomToFit();
    // scale about anchor (widget coordinates), clamped to the zoom range.
    void zoomTo(double scale, const QPointF &anchor);
    void zoomIn();
    void zoomOut();
    void zoomActualSize();
    void panBy(const QPointF &delta);

    // The region in sight as the engine's region: origin and size in full-resolution pixels
    // clipped to the picture, at decimationFor(scale()). Empty without a picture.
    TRoi visibleRegion() const;
    QPointF toPicture(const QPointF &widget) const;
    QPointF toWidget(const QPointF &picture) const;

    void setShowBefore(bool before);
    bool showsBefore() const { return m_before; }
    void setMaskOverlay(bool on);
    bool maskOverlay() const { return m_overlay; }

    // What was rendered last and for which region.
    const QImage &shownImage() const { return m_image; }
    TRoi shownRegion() const { return m_shownRoi; }
    int renderCount() const { return m_renders; }
    // How often the canvas has been painted on screen.
    int paintCount() const { return m_paints; }

public slots:
    // Asks for a render of what is in sight; several requests within a frame make one.
    void requestRender();
    // Renders now.
    void render();
    // A new picture: fit it to the window.
    void pictureChanged();

signals:
    void rendered();
    void zoomChanged(double scale);
    // A mask edit went to the session (stroke dab, gradient, super-mask).
    void maskPainted();
    // A colour was picked at a full-resolution position.
    void colourPicked(const QPoint &position, const QColor &colour);
    void message(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void fitScale();
    void clampOffset();
    QPoint picturePoint(const QPointF &widget) const;
    QRectF levelRect(const TRoi &roi) const;
    void paintTools(QPainter &painter);
    void updateOverlay();
    void makeOverlay();
    void composeScreen();

    Session *m_session;
    MaskTools *m_tools;
    double m_scale = 1.0;
    bool m_fit = true;
    // Where the picture's top left corner lies in widget coordinates.
    QPointF m_offset;
    bool m_before = false;
    bool m_overlay = false;

    QImage m_image;
    QImage m_maskOverlay;
    // m_image with the overlay, at the size it takes on screen.
    QImage m_screen;
    TRoi m_shownRoi;
    int m_renders = 0;
    int m_paints = 0;
    QTimer m_renderTimer;
    QElapsedTimer m_sinceRender;

    // Mouse state: a pan or gradient drag, the cursor for the brush outline.
    bool m_dragging = false;
    QPointF m_dragFrom;
    QPointF m_cursor;
    bool m_cursorInside = false;
};

#endif
