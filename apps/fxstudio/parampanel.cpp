#include "parampanel.h"

#include "curveeditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <tfx.h>
#include <tparambool.h>
#include <tparamchoices.h>
#include <tparamcurve.h>
#include <tparamfloat.h>
#include <tparamgroup.h>
#include <tparamint.h>

namespace {
// The group of mask and opacity that every effect carries; the stack panel shows it.
const QLatin1String commonGroup("TFxCommon");

QLabel *nameLabel(const TParam *param)
{
    auto *label = new QLabel(param->name());
    label->setObjectName(param->key() + QStringLiteral("/label"));
    label->setToolTip(param->desc());
    return label;
}

// Enough decimals that the numeric field can show every slider position.
int decimalsFor(float range)
{
    if (!(range > 0.0f))
        return 2;
    const int needed = int(std::ceil(-std::log10(double(range) / ParamPanel::floatSteps)));
    return qBound(2, needed, 6);
}
}

ParamPanel::ParamPanel(QWidget *parent)
    : QWidget(parent)
    , m_scroll(new QScrollArea(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    layout->addWidget(m_scroll);
    setEffect(nullptr);
}

ParamPanel::~ParamPanel() = default;

void ParamPanel::setEffect(TFx *fx)
{
    if (m_fx)
        disconnect(m_fx, nullptr, this, nullptr);
    m_fx = fx;
    // The editors hold the parameters' addresses; they go before the parameters do.
    if (fx)
        connect(fx, &QObject::destroyed, this, [this] { setEffect(nullptr); });

    delete m_content;
    m_content = new QWidget;
    auto *layout = new QVBoxLayout(m_content);
    if (fx)
        buildParams(fx, layout);
    layout->addStretch(1);
    m_scroll->setWidget(m_content);
}

void ParamPanel::buildParams(QObject *owner, QBoxLayout *layout)
{
    QList<TParamFloat *> strengths;
    for (QObject *child : owner->children()) {
        auto *param = qobject_cast<TParam *>(child);
        if (!param)
            continue;
        // The common group's mask switch lives in the stack panel; how strongly the effect
        // shows (its opacity) is edited here, after the effect's own parameters.
        if (param->key() == commonGroup) {
            for (QObject *member : param->children())
                if (auto *strength = qobject_cast<TParamFloat *>(member))
                    strengths.append(strength);
            continue;
        }
        // Count every change of the parameter, whoever makes it, so that a user edit can
        // tell whether it changed anything.
        const auto count = [this] { ++m_changes; };
        if (auto *real = qobject_cast<TParamFloat *>(param)) {
            connect(real, &TParamFloat::valueChanged, m_content, count);
            addFloat(real, layout);
        } else if (auto *integer = qobject_cast<TParamInt *>(param)) {
            connect(integer, &TParamInt::valueChanged, m_content, count);
            addInt(integer, layout);
        } else if (auto *flag = qobject_cast<TParamBool *>(param)) {
            connect(flag, &TParamBool::valueChanged, m_content, count);
            addBool(flag, layout);
        } else if (auto *choices = qobject_cast<TParamChoices *>(param)) {
            connect(choices, &TParamChoices::valueChanged, m_content, count);
            addChoices(choices, layout);
        } else if (auto *curve = qobject_cast<TParamCurve *>(param)) {
            connect(curve, &TParamCurve::valueChanged, m_content, count);
            addCurve(curve, layout);
        } else if (auto *group = qobject_cast<TParamGroup *>(param)) {
            connect(group, &TParamGroup::enableChanged, m_content, count);
            addGroup(group, layout);
        }
    }
    for (TParamFloat *strength : strengths) {
        connect(strength, &TParamFloat::valueChanged, m_content, [this] { ++m_changes; });
        addFloat(strength, layout);
    }
}

template <class Change> void ParamPanel::userChange(Change change)
{
    const int before = m_changes;
    change();
    if (m_changes != before)
        emit edited();
}

void ParamPanel::addFloat(TParamFloat *param, QBoxLayout *layout)
{
    const float vmin = param->vmin(), vmax = param->vmax(), range = vmax - vmin;
    auto *row = new QHBoxLayout;
    auto *slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(param->key());
    slider->setRange(0, floatSteps);
    slider->setPageStep(floatSteps / 10);
    auto *field = new QDoubleSpinBox;
    field->setObjectName(param->key() + QStringLiteral("/value"));
    field->setDecimals(decimalsFor(range));
    field->setRange(vmin, vmax);
    field->setSingleStep(range / 100.0);
    // The field commits when the user is done typing, not at every key.
    field->setKeyboardTracking(false);
    for (QWidget *editor : { static_cast<QWidget *>(slider), static_cast<QWidget *>(field) })
        editor->setToolTip(param->desc());

    const auto toSteps
        = [=](float value) { return range > 0.0f ? int(std::lround((value - vmin) / range * floatSteps)) : 0; };
    const auto sync = [=] {
        const QSignalBlocker quietSlider(slider), quietField(field);
        slider->setValue(toSteps(param->value()));
        field->setValue(param->value());
    };
    sync();
    connect(param, &TParamFloat::valueChanged, slider, sync);
    connect(slider, &QSlider::valueChanged, this, [=](int position) {
        userChange([=] { param->setValue(vmin + range * float(position) / floatSteps); });
        // A move the parameter ignored puts the slider back where the value is.
        sync();
    });
    connect(field, qOverload<double>(&QDoubleSpinBox::valueChanged), this, [=](double value) {
        userChange([=] { param->setValue(float(value)); });
        sync();
    });

    auto *label = nameLabel(param);
    resetOnDoubleClick(slider, param);
    resetOnDoubleClick(label, param);
    row->addWidget(slider, 1);
    row->addWidget(field);
    QStringList labels;
    for (float preset : param->presets())
        labels << QString::number(double(preset), 'g', 4);
    addPresets(param, labels, row);
    layout->addWidget(label);
    layout->addLayout(row);
}

void ParamPanel::addInt(TParamInt *param, QBoxLayout *layout)
{
    auto *row = new QHBoxLayout;
    auto *slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(param->key());
    slider->setRange(param->vmin(), param->vmax());
    auto *field = new QSpinBox;
    field->setObjectName(param->key() + QStringLiteral("/value"));
    field->setRange(param->vmin(), param->vmax());
    field->setKeyboardTracking(false);
    for (QWidget *editor : { static_cast<QWidget *>(slider), static_cast<QWidget *>(field) })
        editor->setToolTip(param->desc());

    const auto sync = [=] {
        const QSignalBlocker quietSlider(slider), quietField(field);
        slider->setValue(param->value());
        field->setValue(param->value());
    };
    sync();
    connect(param, &TParamInt::valueChanged, slider, sync);
    const auto set = [=](int value) {
        userChange([=] { param->setValue(value); });
        sync();
    };
    connect(slider, &QSlider::valueChanged, this, set);
    connect(field, qOverload<int>(&QSpinBox::valueChanged), this, set);

    auto *label = nameLabel(param);
    resetOnDoubleClick(slider, param);
    resetOnDoubleClick(label, param);
    row->addWidget(slider, 1);
    row->addWidget(field);
    QStringList labels;
    for (int preset : param->presets())
        labels << QString::number(preset);
    addPresets(param, labels, row);
    layout->addWidget(label);
    layout->addLayout(row);
}

void ParamPanel::addBool(TParamBool *param, QBoxLayout *layout)
{
    auto *row = new QHBoxLayout;
    auto *box = new QCheckBox(param->name());
    box->setObjectName(param->key());
    box->setToolTip(param->desc());
    box->setChecked(param->value());
    connect(param, &TParamBool::valueChanged, box, [box](bool on) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    });
    // clicked comes from the user only; setChecked above does not raise it.
    connect(box, &QCheckBox::clicked, this, [=](bool on) {
        userChange([=] { param->setValue(on); });
        const QSignalBlocker quiet(box);
        box->setChecked(param->value());
    });
    row->addWidget(box, 1);
    QStringList labels;
    for (bool preset : param->presets())
        labels << (preset ? tr("On") : tr("Off"));
    addPresets(param, labels, row);
    layout->addLayout(row);
}

void ParamPanel::addChoices(TParamChoices *param, QBoxLayout *layout)
{
    auto *row = new QHBoxLayout;
    auto *combo = new QComboBox;
    combo->setObjectName(param->key());
    combo->setToolTip(param->desc());
    combo->addItems(param->choices());
    combo->setCurrentIndex(param->value());
    connect(param, &TParamChoices::valueChanged, combo, [combo](int index) {
        const QSignalBlocker quiet(combo);
        combo->setCurrentIndex(index);
    });
    connect(combo, qOverload<int>(&QComboBox::activated), this,
        [=](int index) { userChange([=] { param->setValue(index); }); });
    row->addWidget(combo, 1);
    QStringList labels;
    for (int preset : param->presets())
        labels << param->choices().value(preset, QString::number(preset));
    addPresets(param, labels, row);
    layout->addWidget(nameLabel(param));
    layout->addLayout(row);
}

void ParamPanel::addCurve(TParamCurve *param, QBoxLayout *layout)
{
    auto *editor = new CurveEditor(param);
    editor->setObjectName(param->key());
    editor->setToolTip(param->desc());
    connect(editor, &CurveEditor::edited, this, &ParamPanel::edited);
    auto *header = new QHBoxLayout;
    header->addWidget(nameLabel(param), 1);
    QStringList labels;
    for (int i = 0; i < param->numPresets(); ++i)
        labels << (i == 0 ? tr("Flat") : tr("Curve %1").arg(i));
    addPresets(param, labels, header);
    layout->addLayout(header);
    layout->addWidget(editor);
}

void ParamPanel::addGroup(TParamGroup *group, QBoxLayout *layout)
{
    auto *box = new QGroupBox(group->name());
    box->setObjectName(group->key());
    box->setToolTip(group->desc());
    // Every group carries an enable switch; switched off, the effect leaves its members out.
    box->setCheckable(true);
    box->setChecked(group->enabled());
    auto *boxLayout = new QVBoxLayout(box);
    auto *header = new QHBoxLayout;
    auto *expand = new QToolButton;
    expand->setObjectName(group->key() + QStringLiteral("/expand"));
    expand->setCheckable(true);
    expand->setAutoRaise(true);
    expand->setToolTip(tr("Show or hide the settings of %1").arg(group->name()));
    header->addWidget(expand);
    header->addStretch(1);
    addPresets(group, group->presetNames(), header);
    boxLayout->addLayout(header);

    auto *members = new QWidget;
    members->setObjectName(group->key() + QStringLiteral("/members"));
    auto *membersLayout = new QVBoxLayout(members);
    membersLayout->setContentsMargins(0, 0, 0, 0);
    buildParams(group, membersLayout);
    boxLayout->addWidget(members);

    const auto showExpanded = [=](bool expanded) {
        const QSignalBlocker quiet(expand);
        expand->setChecked(expanded);
        expand->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
        members->setVisible(expanded);
    };
    showExpanded(group->expanded());
    connect(group, &TParamGroup::expandedChanged, box, showExpanded);
    // Expanding is display state: it changes nothing in the picture, so it is not an edit.
    connect(expand, &QToolButton::toggled, this, [=](bool on) {
        group->setExpand(on);
        showExpanded(group->expanded());
    });
    connect(group, &TParamGroup::enableChanged, box, [box](bool on) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    });
    connect(box, &QGroupBox::clicked, this, [=](bool on) {
        userChange([=] { group->setEnable(on); });
        const QSignalBlocker quiet(box);
        box->setChecked(group->enabled());
    });
    layout->addWidget(box);
}

void ParamPanel::addPresets(TParam *param, const QStringList &labels, QBoxLayout *row)
{
    if (param->numPresets() < 2 || labels.size() < 2)
        return;
    auto *combo = new QComboBox;
    combo->setObjectName(param->key() + QStringLiteral("/presets"));
    combo->setToolTip(tr("Presets of %1").arg(param->name()));
    combo->addItems(labels);
    // A menu rather than a state: it shows no entry, so choosing the same preset again works.
    combo->setCurrentIndex(-1);
    connect(combo, qOverload<int>(&QComboBox::activated), this, [=](int index) {
        userChange([=] { param->applyPreset(index); });
        combo->setCurrentIndex(-1);
    });
    row->addWidget(combo);
}

void ParamPanel::resetOnDoubleClick(QWidget *target, TParam *param)
{
    target->setProperty("fxstudioResetParam", QVariant::fromValue(static_cast<QObject *>(param)));
    target->installEventFilter(this);
}

bool ParamPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonDblClick)
        return QWidget::eventFilter(watched, event);
    auto *param = qobject_cast<TParam *>(watched->property("fxstudioResetParam").value<QObject *>());
    if (!param)
        return QWidget::eventFilter(watched, event);
    userChange([param] { param->reset(); });
    // Swallowed: a slider would otherwise take the second click as a page step.
    return true;
}
