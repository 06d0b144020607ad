#ifndef MASKTOOLS_H
#define MASKTOOLS_H

#include <QJsonObject>
#include <QPoint>
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

// The mask painting tools and their settings: which tool the canvas paints with, and the
// brush, gradient and super-mask settings as the recipe operations they become. Sizes are
// full-resolution pixels; the recipe turns them into fractions of the picture.
class MaskTools : public QWidget {
    Q_OBJECT
public:
    enum Tool { Pan, Brush, Eraser, Gradient, SuperMask, PickColour };
    Q_ENUM(Tool)

    explicit MaskTools(QWidget *parent = nullptr);

    Tool tool() const { return m_tool; }
    void setTool(Tool tool);
    // Brush size as a radius in full-resolution pixels, hardness (share of the radius at full
    // strength), flow, colour sensitivity.
    int brushRadius() const;
    void setBrushRadius(int radius);
    double hardness() const;
    double flow() const;
    bool colourSensitive() const;
    // The position whose colour a colour-sensitive brush keeps to; none until picked.
    bool hasPickedColour() const { return m_picked; }
    QPoint pickedPosition() const { return m_pick; }
    void setPickedColour(const QPoint &position, const QColor &colour);
    // Shows whether the canvas shows the mask, without announcing it.
    void setOverlayShown(bool on);
    // 0 linear, 1 radial, 2 mirrored.
    int gradientShape() const;

    // A "stroke" operation's settings (everything but its points) for a picture of that
    // size; the eraser paints 0, the brush 255.
    QJsonObject strokeSettings(const QSize &picture) const;
    QJsonObject gradientOp(const QPoint &from, const QPoint &to, const QSize &picture) const;
    QJsonObject superMaskOp(const QPoint &centre, const QSize &picture) const;
    // The feather operation the Feather button applies.
    QJsonObject featherOp(const QSize &picture) const;

signals:
    void toolChanged(Tool tool);
    void overlayToggled(bool on);
    void invertRequested();
    void featherRequested();
    void undoRequested();
    void redoRequested();

private:
    Tool m_tool = Pan;
    QButtonGroup *m_tools;
    QSlider *m_radius;
    QSlider *m_hardness;
    QSlider *m_flow;
    QCheckBox *m_colour;
    QLabel *m_swatch;
    QComboBox *m_shape;
    QCheckBox *m_overlay;
    bool m_picked = false;
    QPoint m_pick;
};

#endif
