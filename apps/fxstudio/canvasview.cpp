#include "canvasview.h"

#include "masktools.h"
#include "session.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {
constexpr double minScale = 1.0 / CanvasView::maxDecimation;
constexpr double maxScale = 16.0;
constexpr double wheelStep = 1.25;

bool paints(MaskTools::Tool tool) { return tool == MaskTools::Brush || tool == MaskTools::Eraser; }
}

CanvasView::CanvasView(Session *session, MaskTools *tools, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , m_tools(tools)
{
    setObjectName(QStringLiteral("canvas"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    m_renderTimer.setSingleShot(true);
    connect(&m_renderTimer, &QTimer::timeout, this, &CanvasView::render);
    connect(m_session, &Session::edited, this, &CanvasView::requestRender);
    connect(m_session, &Session::stackChanged, this, &CanvasView::requestRender);
    connect(m_session, &Session::pictureChanged, this, &CanvasView::pictureChanged);
    if (m_tools)
        connect(m_tools, &MaskTools::toolChanged, this, [this] { update(); });
}

int CanvasView::decimationFor(double scale)
{
    if (!(scale > 0.0))
        return maxDecimation;
    // A hair of slack so that a scale of exactly 1/n, computed in floating point, gives n.
    const double dec = std::floor(1.0 / scale + 1e-9);
    return int(std::clamp(dec, 1.0, double(maxDecimation)));
}

void CanvasView::pictureChanged()
{
    m_image = QImage();
    m_maskOverlay = QImage();
    m_screen = QImage();
    m_shownRoi = TRoi();
    zoomToFit();
}

void CanvasView::fitScale()
{
    const QSize picture = m_session->pictureSize();
    if (picture.isEmpty() || width() < 1 || height() < 1)
        return;
    m_scale = std::clamp(
        std::min(double(width()) / picture.width(), double(height()) / picture.height()), minScale, maxScale);
    m_offset = QPointF((width() - picture.width() * m_scale) / 2, (height() - picture.height() * m_scale) / 2);
}

void CanvasView::zoomToFit()
{
    m_fit = true;
    fitScale();
    emit zoomChanged(m_scale);
    requestRender();
    update();
}

void CanvasView::zoomTo(double scale, const QPointF &anchor)
{
    if (!m_session->hasPicture())
        return;
    scale = std::clamp(scale, minScale, maxScale);
    const QPointF fixed = toPicture(anchor);
    m_scale = scale;
    m_fit = false;
    m_offset = anchor - fixed * m_scale;
    clampOffset();
    emit zoomChanged(m_scale);
    requestRender();
    update();
}

void CanvasView::zoomIn() { zoomTo(m_scale * wheelStep, rect().center()); }

void CanvasView::zoomOut() { zoomTo(m_scale / wheelStep, rect().center()); }

void CanvasView::zoomActualSize() { zoomTo(1.0, rect().center()); }

void CanvasView::panBy(const QPointF &delta)
{
    if (!m_session->hasPicture())
        return;
    m_offset += delta;
    m_fit = false;
    clampOffset();
    requestRender();
    update();
}

// A picture smaller than the window stays centred; a larger one cannot be dragged past its edges.
void CanvasView::clampOffset()
{
    const QSize picture = m_session->pictureSize();
    const double w = picture.width() * m_scale, h = picture.height() * m_scale;
    m_offset.setX(w <= width() ? (width() - w) / 2 : std::clamp(m_offset.x(), width() - w, 0.0));
    m_offset.setY(h <= height() ? (height() - h) / 2 : std::clamp(m_offset.y(), height() - h, 0.0));
}

QPointF CanvasView::toPicture(const QPointF &widget) const { return (widget - m_offset) / m_scale; }

QPointF CanvasView::toWidget(const QPointF &picture) const { return picture * m_scale + m_offset; }

QPoint CanvasView::picturePoint(const QPointF &widget) const
{
    const QPointF p = toPicture(widget);
    return QPoint(int(std::floor(p.x())), int(std::floor(p.y())));
}

TRoi CanvasView::visibleRegion() const
{
    const QSize picture = m_session->pictureSize();
    if (picture.isEmpty())
        return TRoi();
    const QPointF topLeft = toPicture(QPointF(0, 0)), bottomRight = toPicture(QPointF(width(), height()));
    // Even origins, as the engine's regions have; the far edges round outwards.
    const int x0 = std::clamp(int(std::floor(topLeft.x())), 0, picture.width() - 1) & ~1;
    const int y0 = std::clamp(int(std::floor(topLeft.y())), 0, picture.height() - 1) & ~1;
    const int x1 = std::clamp(int(std::ceil(bottomRight.x())), x0 + 1, picture.width());
    const int y1 = std::clamp(int(std::ceil(bottomRight.y())), y0 + 1, picture.height());
    const int dec = decimationFor(m_scale);
    return TRoi((x1 - x0 + dec - 1) / dec, (y1 - y0 + dec - 1) / dec, x0, y0, dec);
}

QRectF CanvasView::levelRect(const TRoi &roi) const
{
    const double side = roi.dec() * m_scale;
    return QRectF(toWidget(QPointF(roi.x(), roi.y())), QSizeF(roi.width() * side, roi.height() * side));
}

void CanvasView::requestRender()
{
    if (m_renderTimer.isActive())
        return;
    const qint64 since = m_sinceRender.isValid() ? m_sinceRender.elapsed() : frameMs;
    m_renderTimer.start(int(std::max<qint64>(0, frameMs - since)));
}

void CanvasView::render()
{
    m_renderTimer.stop();
    if (m_session->busy()) {
        // An export is running; what is in sight is rendered once it is over.
        m_renderTimer.start(100);
        return;
    }
    m_sinceRender.start();
    const TRoi roi = visibleRegion();
    QImage image;
    if (roi.bEmpty() || !m_session->renderView(roi, m_before, image)) {
        m_image = QImage();
        m_maskOverlay = QImage();
        m_screen = QImage();
    } else {
        m_image = image;
        m_shownRoi = roi;
        updateOverlay();
    }
    ++m_renders;
    update();
    emit rendered();
}

// The level as the screen shows it, scaled once per render, so that the many repaints in between
// (the brush outline follows every mouse move) are plain copies. Zoomed in past 100 % a level
// pixel becomes a block, as photographers expect to see pixels; coarser views are smoothed.
void CanvasView::composeScreen()
{
    if (m_image.isNull()) {
        m_screen = QImage();
        return;
    }
    const QSize size = levelRect(m_shownRoi).size().toSize();
    QImage screen = size == m_image.size() || size.isEmpty()
        ? m_image
        : m_image.scaled(
            size, Qt::IgnoreAspectRatio, m_scale > 1.0 ? Qt::FastTransformation : Qt::SmoothTransformation);
    if (!m_maskOverlay.isNull()) {
        QPainter painter(&screen);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(screen.rect(), m_maskOverlay);
    }
    m_screen = screen;
}

// The current effect's mask in translucent red: where it is 255 the effect applies fully.
void CanvasView::updateOverlay()
{
    m_maskOverlay = QImage();
    if (m_overlay)
        makeOverlay();
    composeScreen();
}

void CanvasView::makeOverlay()
{
    const QImage mask = m_session->currentMask(m_shownRoi);
    if (mask.isNull() || mask.depth() != 8)
        return;
    QImage overlay(mask.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < mask.height(); ++y) {
        const uchar *in = mask.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(overlay.scanLine(y));
        for (int x = 0; x < mask.width(); ++x) {
            const int alpha = in[x] / 2;
            out[x] = qRgba(alpha, 0, 0, alpha);
        }
    }
    m_maskOverlay = overlay;
}

void CanvasView::setShowBefore(bool before)
{
    if (m_before == before)
        return;
    m_before = before;
    requestRender();
}

void CanvasView::setMaskOverlay(bool on)
{
    if (m_overlay == on)
        return;
    m_overlay = on;
    updateOverlay();
    update();
}

void CanvasView::paintEvent(QPaintEvent *)
{
    ++m_paints;
    QPainter painter(this);
    painter.fillRect(rect(), QColor(48, 48, 48));
    if (!m_session->hasPicture()) {
        painter.setPen(QColor(200, 200, 200));
        painter.drawText(rect(), Qt::AlignCenter, tr("Open a photo (Ctrl+O) or drop one here"));
        return;
    }
    if (!m_screen.isNull()) {
        const QRectF target = levelRect(m_shownRoi);
        if (m_screen.size() == target.size().toSize()) {
            painter.drawImage(target.topLeft().toPoint(), m_screen);
        } else {
            // Zoomed since the last render: the old picture stretched until the new one comes.
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(target, m_screen);
        }
    }
    paintTools(painter);
}

// What a tool shows at once, before the engine has processed it: the brush's outline, the
// stroke's path, the gradient's line.
void CanvasView::paintTools(QPainter &painter)
{
    if (!m_tools)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    const MaskTools::Tool tool = m_tools->tool();
    if (paints(tool) && m_cursorInside) {
        const double radius = m_tools->brushRadius() * m_scale;
        painter.setPen(QPen(Qt::white, 1.0));
        painter.drawEllipse(m_cursor, radius, radius);
        painter.setPen(QPen(Qt::black, 1.0, Qt::DotLine));
        painter.drawEllipse(m_cursor, radius * m_tools->hardness(), radius * m_tools->hardness());
        if (m_dragging) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(tool == MaskTools::Eraser ? 0 : 255, 0, 0, 90));
            painter.drawEllipse(m_cursor, radius, radius);
        }
    }
    if (tool == MaskTools::Gradient && m_dragging) {
        painter.setPen(QPen(Qt::white, 2.0));
        painter.drawLine(m_dragFrom, m_cursor);
        painter.setBrush(Qt::white);
        painter.drawEllipse(m_dragFrom, 4.0, 4.0);
    }
}

void CanvasView::resizeEvent(QResizeEvent *)
{
    if (m_fit)
        fitScale();
    else
        clampOffset();
    requestRender();
}

void CanvasView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0.0)
        zoomTo(m_scale * std::pow(wheelStep, steps), event->position());
    event->accept();
}

void CanvasView::mousePressEvent(QMouseEvent *event)
{
    m_cursor = event->localPos();
    if (!m_session->hasPicture() || event->button() != Qt::LeftButton) {
        // The middle button always pans.
        if (event->button() == Qt::MiddleButton) {
            m_dragging = true;
            m_dragFrom = m_cursor;
        }
        return;
    }
    const MaskTools::Tool tool = m_tools ? m_tools->tool() : MaskTools::Pan;
    const int fx = m_session->current();
    const QPoint at = picturePoint(m_cursor);
    QString error;
    if (tool != MaskTools::Pan && tool != MaskTools::PickColour && fx < 0) {
        emit message(tr("Select an effect to paint its mask"));
        return;
    }
    switch (tool) {
    case MaskTools::Pan:
    case MaskTools::Gradient:
        m_dragging = true;
        m_dragFrom = m_cursor;
        break;
    case MaskTools::Brush:
    case MaskTools::Eraser:
        // A mask nobody has drawn lets the effect apply everywhere, so a brush that paints it in
        // starts from an empty mask; the fill is recorded like any other operation.
        if (tool == MaskTools::Brush && m_session->maskOperations(fx).isEmpty()
            && !m_session->drawMask(fx, QJsonObject { { "op", "fill" }, { "value", 0 } }, error)) {
            emit message(error);
            break;
        }
        if (m_session->beginStroke(fx, m_tools->strokeSettings(m_session->pictureSize()), at, error)) {
            m_dragging = true;
            emit maskPainted();
        } else {
            emit message(error);
        }
        break;
    case MaskTools::SuperMask:
        if (m_session->drawMask(fx, m_tools->superMaskOp(at, m_session->pictureSize()), error))
            emit maskPainted();
        else
            emit message(error);
        break;
    case MaskTools::PickColour:
        emit colourPicked(at, m_session->pictureColour(at));
        break;
    }
    update();
}

void CanvasView::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF previous = m_cursor;
    m_cursor = event->localPos();
    m_cursorInside = true;
    if (m_dragging) {
        const MaskTools::Tool tool = m_tools ? m_tools->tool() : MaskTools::Pan;
        if ((event->buttons() & Qt::MiddleButton) || tool == MaskTools::Pan) {
            panBy(m_cursor - previous);
        } else if (paints(tool) && m_session->strokeActive()) {
            m_session->extendStroke(picturePoint(m_cursor));
            emit maskPainted();
        }
    }
    update();
}

void CanvasView::mouseReleaseEvent(QMouseEvent *event)
{
    m_cursor = event->localPos();
    if (!m_dragging)
        return;
    m_dragging = false;
    const MaskTools::Tool tool = m_tools ? m_tools->tool() : MaskTools::Pan;
    if (event->button() == Qt::MiddleButton || tool == MaskTools::Pan) {
        update();
        return;
    }
    if (paints(tool)) {
        m_session->endStroke();
    } else if (tool == MaskTools::Gradient) {
        const QPoint from = picturePoint(m_dragFrom), to = picturePoint(m_cursor);
        QString error;
        if (from != to) {
            if (m_session->drawMask(
                    m_session->current(), m_tools->gradientOp(from, to, m_session->pictureSize()), error))
                emit maskPainted();
            else
                emit message(error);
        }
    }
    update();
}

void CanvasView::leaveEvent(QEvent *)
{
    m_cursorInside = false;
    update();
}
