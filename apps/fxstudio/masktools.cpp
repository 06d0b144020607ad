#include "masktools.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {
double longer(const QSize &picture) { return std::max(1, std::max(picture.width(), picture.height())); }

QJsonArray fraction(const QPoint &p, const QSize &picture)
{
    return QJsonArray { double(p.x()) / std::max(1, picture.width()), double(p.y()) / std::max(1, picture.height()) };
}
}

MaskTools::MaskTools(QWidget *parent)
    : QWidget(parent)
    , m_tools(new QButtonGroup(this))
{
    auto *layout = new QVBoxLayout(this);
    auto *tools = new QGridLayout;
    const struct {
        Tool tool;
        const char *name;
        const char *text;
        const char *tip;
    } buttons[] = {
        { Pan, "pan", "Pan", "Drag to move the picture" },
        { Brush, "brush", "Brush", "Paint the effect in" },
        { Eraser, "eraser", "Eraser", "Paint the effect out" },
        { Gradient, "gradient", "Gradient", "Drag from where the effect is full to where it ends" },
        { SuperMask, "supermask", "Super-mask", "Click an area: the mask follows its colour and shape" },
        { PickColour, "pick", "Pick colour", "Click the colour a colour-sensitive brush keeps to" },
    };
    int n = 0;
    for (const auto &b : buttons) {
        auto *button = new QToolButton(this);
        button->setText(tr(b.text));
        button->setToolTip(tr(b.tip));
        button->setObjectName(QStringLiteral("tool/") + b.name);
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_tools->addButton(button, b.tool);
        tools->addWidget(button, n / 3, n % 3);
        ++n;
    }
    m_tools->button(Pan)->setChecked(true);
    connect(m_tools, &QButtonGroup::idClicked, this, [this](int id) { setTool(Tool(id)); });
    layout->addLayout(tools);

    auto *form = new QFormLayout;
    layout->addLayout(form);
    const auto slider = [this, form](const QString &label, const QString &key, int min, int max, int value) {
        auto *s = new QSlider(Qt::Horizontal, this);
        s->setObjectName(key);
        s->setRange(min, max);
        s->setValue(value);
        auto *shown = new QLabel(QString::number(value), this);
        shown->setMinimumWidth(shown->fontMetrics().horizontalAdvance(QStringLiteral("0000")));
        connect(s, &QSlider::valueChanged, shown, [shown](int v) { shown->setNum(v); });
        auto *row = new QHBoxLayout;
        row->addWidget(s);
        row->addWidget(shown);
        form->addRow(label, row);
        return s;
    };
    m_radius = slider(tr("Size (px)"), QStringLiteral("brush/radius"), 1, 1000, 60);
    m_hardness = slider(tr("Hardness %"), QStringLiteral("brush/hardness"), 0, 100, 50);
    m_flow = slider(tr("Flow %"), QStringLiteral("brush/flow"), 1, 100, 100);
    m_colour = new QCheckBox(tr("Colour sensitive"), this);
    m_colour->setObjectName(QStringLiteral("brush/colour"));
    m_colour->setToolTip(tr("Paint stays on colours like the picked one, or the one under the brush"));
    m_swatch = new QLabel(this);
    m_swatch->setFixedSize(18, 18);
    m_swatch->setFrameShape(QFrame::Box);
    m_swatch->setToolTip(tr("No colour picked: the brush keeps to the colour under it"));
    auto *colourRow = new QHBoxLayout;
    colourRow->addWidget(m_colour);
    colourRow->addWidget(m_swatch);
    form->addRow(QString(), colourRow);
    m_shape = new QComboBox(this);
    m_shape->setObjectName(QStringLiteral("gradient/shape"));
    m_shape->addItems({ tr("Linear"), tr("Radial"), tr("Mirrored") });
    form->addRow(tr("Gradient"), m_shape);

    auto *actions = new QGridLayout;
    const struct {
        const char *name;
        const char *text;
        void (MaskTools::*signal)();
        QKeySequence key;
    } commands[] = {
        { "invert", "Invert", &MaskTools::invertRequested, {} },
        { "feather", "Feather", &MaskTools::featherRequested, {} },
        { "undo", "Undo", &MaskTools::undoRequested, QKeySequence::Undo },
        { "redo", "Redo", &MaskTools::redoRequested, QKeySequence(QStringLiteral("Ctrl+Shift+Z")) },
    };
    n = 0;
    for (const auto &c : commands) {
        auto *button = new QPushButton(tr(c.text), this);
        button->setObjectName(QStringLiteral("mask/") + c.name);
        if (!c.key.isEmpty())
            button->setToolTip(c.key.toString(QKeySequence::NativeText));
        connect(button, &QPushButton::clicked, this, c.signal);
        actions->addWidget(button, n / 2, n % 2);
        ++n;
    }
    layout->addLayout(actions);
    m_overlay = new QCheckBox(tr("Show mask in red"), this);
    m_overlay->setObjectName(QStringLiteral("mask/overlay"));
    connect(m_overlay, &QCheckBox::toggled, this, &MaskTools::overlayToggled);
    layout->addWidget(m_overlay);
    layout->addStretch();
}

void MaskTools::setTool(Tool tool)
{
    if (QAbstractButton *button = m_tools->button(tool))
        button->setChecked(true);
    if (tool == m_tool)
        return;
    m_tool = tool;
    emit toolChanged(tool);
}

int MaskTools::brushRadius() const { return m_radius->value(); }

void MaskTools::setBrushRadius(int radius) { m_radius->setValue(radius); }

double MaskTools::hardness() const { return m_hardness->value() / 100.0; }

double MaskTools::flow() const { return m_flow->value() / 100.0; }

bool MaskTools::colourSensitive() const { return m_colour->isChecked(); }

void MaskTools::setPickedColour(const QPoint &position, const QColor &colour)
{
    m_picked = true;
    m_pick = position;
    m_swatch->setStyleSheet(QStringLiteral("background: %1").arg(colour.name()));
    m_swatch->setToolTip(tr("The brush keeps to this colour"));
}

void MaskTools::setOverlayShown(bool on)
{
    const QSignalBlocker quiet(m_overlay);
    m_overlay->setChecked(on);
}

int MaskTools::gradientShape() const { return m_shape->currentIndex(); }

QJsonObject MaskTools::strokeSettings(const QSize &picture) const
{
    QJsonObject op { { "op", "stroke" }, { "radius", brushRadius() / longer(picture) }, { "hardness", hardness() },
        { "flow", flow() }, { "value", m_tool == Eraser ? 0 : 255 }, { "colorAware", colourSensitive() } };
    if (colourSensitive() && m_picked)
        op.insert(QStringLiteral("pick"), fraction(m_pick, picture));
    return op;
}

QJsonObject MaskTools::gradientOp(const QPoint &from, const QPoint &to, const QSize &picture) const
{
    static const char *const shapes[] = { "linear", "radial", "mirrored" };
    return { { "op", "gradient" }, { "from", fraction(from, picture) }, { "to", fraction(to, picture) },
        { "shape", shapes[std::clamp(gradientShape(), 0, 2)] } };
}

QJsonObject MaskTools::superMaskOp(const QPoint &centre, const QSize &picture) const
{
    return { { "op", "supermask" }, { "center", fraction(centre, picture) },
        { "size", std::min(2.0, 2.0 * brushRadius() / longer(picture)) }, { "hardness", hardness() },
        { "colorAware", colourSensitive() ? 1.0 : 0.0 } };
}

QJsonObject MaskTools::featherOp(const QSize &picture) const
{
    return { { "op", "feather" }, { "radius", std::min(1.0, 0.25 * brushRadius() / longer(picture)) } };
}
