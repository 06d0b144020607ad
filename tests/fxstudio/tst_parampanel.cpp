// The parameter panel and the curve editor: editors generated for whatever parameters an
// effect has, user edits reaching the parameter with one edited() each, and changes made
// elsewhere followed without being reported.
#include "curveeditor.h"
#include "parampanel.h"
#include "quietstdout.h"
#include "testregistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>
#include <memory>
#include <tfxstack.h>
#include <tparambool.h>
#include <tparamchoices.h>
#include <tparamcurve.h>
#include <tparamfloat.h>
#include <tparamgroup.h>
#include <tparamint.h>
#include <tparammhist.h>
#include <tparamvisual.h>
#include <tpluginfactory.h>

namespace {
// A display-only parameter, as a plug-in would derive one.
class NoteParam : public TParamVisual {
public:
    using TParamVisual::TParamVisual;
    bool bDefault() const override { return true; }
};

// An effect with a parameter of every kind, a group with presets, and kinds that get no
// editor; it computes nothing.
class AllKindsFx : public TFx {
public:
    AllKindsFx()
        : TFx(QStringLiteral("AllKinds"), nullptr)
    {
        auto *common = new TParamGroup(this, "TFxCommon", "Masks", "mask", "EFFECTCOMMON", true, false);
        new TParamFloat(common, "Opacity", "Opacity", "opacity", QString(), 1.0f, 0.0f, 1.0f);
        strength = new TParamFloat(this, "strength", "Strength", "How strong", "float", 0.25f, -1.0f, 3.0f);
        strength->presets() << 1.0f << 2.0f;
        count = new TParamInt(this, "count", "Count", "How many", "int", 4, 1, 10);
        invert = new TParamBool(this, "invert", "Invert", "Turn it round", "bool", false);
        mode = new TParamChoices(this, "mode", "Mode", "How to mix", "choices");
        mode->setChoices({ "Soft", "Hard", "Linear" });
        curve = new TParamCurve(this, "curve", "Curve", "Tones", "curve");
        new NoteParam(this, "visual", "Visual", "no editor", "visual");
        new TParamMHist(this, "hist", "Histogram", "no editor", "histogram");
        detail = new TParamGroup(this, "detail", "Detail", "Fine structure", "group", false, true);
        radius = new TParamFloat(detail, "radius", "Radius", "How far", "float", 2.0f, 0.0f, 10.0f);
        fine = new TParamBool(detail, "fine", "Fine", "Finer", "bool", false);
        radius->presets() << 8.0f;
        fine->presets() << true;
        detail->presetNames() << "Strong";
    }
    const QSet<TIm::CImId> &depends(const TIm::CImId &, TFx::InportId) const override { return m_none; }
    void setOutImageDepends() override { }
    bool procOutput(const QSet<TIm::CImId> &) override { return true; }
    void cancelProc() override { }

    TParamFloat *strength, *radius;
    TParamInt *count;
    TParamBool *invert, *fine;
    TParamChoices *mode;
    TParamCurve *curve;
    TParamGroup *detail;

private:
    QSet<TIm::CImId> m_none;
};

template <class T> T *editor(QWidget *panel, const QString &name)
{
    T *found = panel->findChild<T *>(name);
    if (!found)
        qWarning("no editor %s", qPrintable(name));
    return found;
}

void sendDoubleClick(QWidget *target)
{
    const QPoint at = target->rect().center();
    QMouseEvent event(
        QEvent::MouseButtonDblClick, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// A mouse move with the left button held, straight to the widget: QTest's moves go through
// the cursor, which reaches no widget on the offscreen platform.
void dragTo(QWidget *target, const QPointF &at)
{
    QMouseEvent event(
        QEvent::MouseMove, at, target->mapToGlobal(at.toPoint()), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}
}

class tst_ParamPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void editorsMatchBundledEffect_data();
    void editorsMatchBundledEffect();
    void opacityAloneOfCommonGroupAndNoEditorlessKinds();
    void userEditSetsParameter_data();
    void userEditSetsParameter();
    void numericFieldKeepsExactValue();
    void sameValueIsNoEdit();
    void outsideChangeIsFollowedQuietly_data();
    void outsideChangeIsFollowedQuietly();
    void doubleClickRestoresDefault_data();
    void doubleClickRestoresDefault();
    void switchAndChoiceReachParameter();
    void groupEnableAndExpansion();
    void presetsApplyAsOneEdit();
    void deletedEffectEmptiesPanel();

private:
    std::unique_ptr<TfxStack> m_stack;
    std::unique_ptr<AllKindsFx> m_fx;
    std::unique_ptr<ParamPanel> m_panel;
};

void tst_ParamPanel::initTestCase()
{
    // The plug-in factory announces itself on standard output when the first stack is made.
    QuietStdout quiet;
    m_stack = std::make_unique<TfxStack>(QStringLiteral("stack"), nullptr);
    QVERIFY(TfxStack::m_pluginFactory_p);
    QVERIFY(!TfxStack::m_pluginFactory_p->tfxs().isEmpty());
}

void tst_ParamPanel::init()
{
    m_fx = std::make_unique<AllKindsFx>();
    m_panel = std::make_unique<ParamPanel>();
    m_panel->resize(320, 900);
    m_panel->setEffect(m_fx.get());
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
}

void tst_ParamPanel::cleanup()
{
    m_panel.reset();
    m_fx.reset();
}

void tst_ParamPanel::cleanupTestCase() { m_stack.reset(); }

void tst_ParamPanel::editorsMatchBundledEffect_data()
{
    QTest::addColumn<QString>("key");
    for (const QString &key : TfxStack::m_pluginFactory_p->tfxs())
        QTest::newRow(qPrintable(key)) << key;
}

void tst_ParamPanel::editorsMatchBundledEffect()
{
    QFETCH(QString, key);
    TFx *fx = m_stack->addTFx(key, QString(), m_stack->numTFxs());
    QVERIFY(fx);
    ParamPanel panel;
    panel.setEffect(fx);
    int floats = 0, curves = 0;
    for (QObject *child : fx->children()) {
        if (auto *param = qobject_cast<TParamFloat *>(child)) {
            ++floats;
            auto *slider = editor<QSlider>(&panel, param->key());
            auto *field = editor<QDoubleSpinBox>(&panel, param->key() + "/value");
            auto *label = editor<QLabel>(&panel, param->key() + "/label");
            QVERIFY(slider && field && label);
            // The field's bounds as the float range; the field holds them rounded to its decimals.
            QCOMPARE(float(field->minimum()), param->vmin());
            QCOMPARE(float(field->maximum()), param->vmax());
            QCOMPARE(float(field->value()), float(QString::number(param->value(), 'f', field->decimals()).toDouble()));
            const double position = (param->value() - param->vmin()) / (param->vmax() - param->vmin());
            QCOMPARE(slider->value(), qRound(position * slider->maximum()));
            QCOMPARE(label->text(), param->name());
            QCOMPARE(slider->toolTip(), param->desc());
        } else if (auto *param = qobject_cast<TParamCurve *>(child)) {
            ++curves;
            auto *curve = editor<CurveEditor>(&panel, param->key());
            QVERIFY(curve);
            QCOMPARE(curve->param(), param);
        }
    }
    QVERIFY(floats + curves > 0);
    // One editor per parameter, and the common group's opacity.
    QCOMPARE(panel.findChildren<QSlider *>().size(), floats + 1);
    QVERIFY(editor<QSlider>(&panel, "Opacity"));
    QCOMPARE(panel.findChildren<CurveEditor *>().size(), curves);
    QVERIFY(m_stack->deleteTFx(m_stack->numTFxs() - 1));
}

void tst_ParamPanel::opacityAloneOfCommonGroupAndNoEditorlessKinds()
{
    for (const char *name : { "TFxCommon", "visual", "hist" })
        QVERIFY2(!m_panel->findChild<QWidget *>(name), name);
    // Of the common group only the opacity, which reaches its parameter.
    auto *opacity = editor<QDoubleSpinBox>(m_panel.get(), "Opacity/value");
    QVERIFY(opacity);
    opacity->setValue(0.4);
    QCOMPARE(m_fx->findChild<TParamFloat *>("Opacity")->value(), 0.4f);
    QCOMPARE(m_panel->findChildren<QSlider *>().size(), 4);
    QCOMPARE(m_panel->findChildren<QCheckBox *>().size(), 2);
    QCOMPARE(m_panel->findChildren<CurveEditor *>().size(), 1);
    QCOMPARE(m_panel->findChildren<QGroupBox *>().size(), 1);
    // Members sit in their group's box.
    QVERIFY(m_panel->findChild<QGroupBox *>("detail")->findChild<QSlider *>("radius"));
}

void tst_ParamPanel::userEditSetsParameter_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("input");
    QTest::addColumn<QString>("param");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("position");
    // strength: -1..3 over 500 steps; 375 steps is -1 + 4 * 0.75.
    QTest::newRow("float slider") << "strength" << 375.0 << "strength" << 2.0 << 375;
    QTest::newRow("float field") << "strength/value" << -0.5 << "strength" << -0.5 << 63;
    QTest::newRow("int slider") << "count" << 9.0 << "count" << 9.0 << 9;
    QTest::newRow("int field") << "count/value" << 2.0 << "count" << 2.0 << 2;
    QTest::newRow("member of a group") << "radius" << 50.0 << "radius" << 1.0 << 50;
}

void tst_ParamPanel::userEditSetsParameter()
{
    QFETCH(QString, name);
    QFETCH(double, input);
    QFETCH(QString, param);
    QFETCH(double, expected);
    QFETCH(int, position);
    QSignalSpy edited(m_panel.get(), &ParamPanel::edited);
    QObject *target = m_fx->findChild<TParam *>(param);
    QVERIFY(target);
    // The value must already be set when edited() arrives.
    double seen = -100.0;
    connect(m_panel.get(), &ParamPanel::edited, this, [&] { seen = target->property("value").toDouble(); });
    QWidget *widget = m_panel->findChild<QWidget *>(name);
    if (auto *slider = qobject_cast<QSlider *>(widget))
        slider->setValue(int(input));
    else if (auto *field = qobject_cast<QDoubleSpinBox *>(widget))
        field->setValue(input);
    else if (auto *field = qobject_cast<QSpinBox *>(widget))
        field->setValue(int(input));
    else
        QFAIL("no editor");
    QCOMPARE(edited.count(), 1);
    QCOMPARE(float(target->property("value").toDouble()), float(expected));
    QCOMPARE(float(seen), float(expected));
    // Slider and field show the value, whichever was used.
    QCOMPARE(editor<QSlider>(m_panel.get(), param)->value(), position);
    if (auto *field = m_panel->findChild<QDoubleSpinBox *>(param + "/value"))
        QCOMPARE(field->value(), expected);
    else
        QCOMPARE(editor<QSpinBox>(m_panel.get(), param + "/value")->value(), int(expected));
}

void tst_ParamPanel::numericFieldKeepsExactValue()
{
    // 0.123 is no slider position (steps of 0.008); the parameter gets what was typed.
    editor<QDoubleSpinBox>(m_panel.get(), "strength/value")->setValue(0.123);
    QCOMPARE(m_fx->strength->value(), 0.123f);
    QCOMPARE(editor<QSlider>(m_panel.get(), "strength")->value(), qRound((0.123 + 1.0) / 4.0 * 500));
}

void tst_ParamPanel::sameValueIsNoEdit()
{
    QSignalSpy edited(m_panel.get(), &ParamPanel::edited);
    QSignalSpy changed(m_fx->strength, &TParamFloat::valueChanged);
    auto *field = editor<QDoubleSpinBox>(m_panel.get(), "strength/value");
    field->setValue(0.25);
    // Within the parameter's tolerance: the parameter stays, and the field shows its value.
    field->setValue(0.252);
    QCOMPARE(edited.count(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(field->value(), 0.25);
    editor<QCheckBox>(m_panel.get(), "invert")->setChecked(false);
    QCOMPARE(edited.count(), 0);
}

void tst_ParamPanel::outsideChangeIsFollowedQuietly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("float") << "float";
    QTest::newRow("int") << "int";
    QTest::newRow("bool") << "bool";
    QTest::newRow("choices") << "choices";
    QTest::newRow("curve") << "curve";
    QTest::newRow("group enable") << "group";
}

void tst_ParamPanel::outsideChangeIsFollowedQuietly()
{
    QFETCH(QString, kind);
    QSignalSpy edited(m_panel.get(), &ParamPanel::edited);
    QWidget *panel = m_panel.get();
    if (kind == "float") {
        m_fx->strength->setValue(1.0f);
        QCOMPARE(editor<QSlider>(panel, "strength")->value(), 250);
        QCOMPARE(editor<QDoubleSpinBox>(panel, "strength/value")->value(), 1.0);
        QCOMPARE(m_fx->strength->value(), 1.0f);
    } else if (kind == "int") {
        m_fx->count->setValue(7);
        QCOMPARE(editor<QSlider>(panel, "count")->value(), 7);
        QCOMPARE(editor<QSpinBox>(panel, "count/value")->value(), 7);
    } else if (kind == "bool") {
        m_fx->invert->setValue(true);
        QVERIFY(editor<QCheckBox>(panel, "invert")->isChecked());
    } else if (kind == "choices") {
        m_fx->mode->setValue(2);
        QCOMPARE(editor<QComboBox>(panel, "mode")->currentText(), QString("Linear"));
    } else if (kind == "curve") {
        const QList<QPointF> points { { 0.3, 0.1 }, { 0.6, -0.05 } };
        m_fx->curve->setValue(points);
        QCOMPARE(editor<CurveEditor>(panel, "curve")->points(), points);
    } else {
        m_fx->detail->setEnable(true);
        QVERIFY(editor<QGroupBox>(panel, "detail")->isChecked());
        QVERIFY(editor<QSlider>(panel, "radius")->isEnabled());
    }
    QCOMPARE(edited.count(), 0);
}

void tst_ParamPanel::doubleClickRestoresDefault_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("param");
    QTest::newRow("float slider") << "strength"
                                  << "strength";
    QTest::newRow("float label") << "strength/label"
                                 << "strength";
    QTest::newRow("int slider") << "count"
                                << "count";
    QTest::newRow("int label") << "count/label"
                               << "count";
}

void tst_ParamPanel::doubleClickRestoresDefault()
{
    QFETCH(QString, target);
    QFETCH(QString, param);
    auto *parameter = m_fx->findChild<TParam *>(param);
    const QVariant initial = parameter->property("value");
    parameter->setProperty("value", 5);
    QVERIFY(!parameter->bDefault());
    const int sliderBefore = editor<QSlider>(m_panel.get(), param)->value();
    QSignalSpy edited(m_panel.get(), &ParamPanel::edited);
    sendDoubleClick(editor<QWidget>(m_panel.get(), target));
    QVERIFY(parameter->bDefault());
    QCOMPARE(parameter->property("value"), initial);
    QCOMPARE(edited.count(), 1);
    QVERIFY(editor<QSlider>(m_panel.get(), param)->value() != sliderBefore);
    // Again at the default: nothing to report.
    sendDoubleClick(editor<QWidget>(m_panel.get(), target));
    QCOMPARE(edited.count(), 1);
}

void tst_ParamPanel::switchAndChoiceReachParameter()
{
    QSignalSpy edited(m_panel.get(), &ParamPanel::edited);
    // On the box itself: the row beside its text is no button.
    auto *invert = editor<QCheckBox>(m_panel.get(), "invert");
    QTest::mouseClick(invert, Qt::LeftButton, Qt::NoModifier, QPoint(6, invert->height() / 2));
    QVERIFY(m_fx->invert->value());
    QCOMPARE(edited.count(), 1);

    auto *combo = editor<QComboBox>(m_panel.get(), "mode");
    QCOMPARE(combo->count(), 3);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(m_fx->mode->value(), 1);
    QCOMPARE(edited.count(), 2);

    auto *curve = editor<CurveEditor>(m_panel.get(), "curve");
    QTest::mouseClick(curve, Qt::LeftButton, Qt::NoModifier, curve->toWidget({ 0.5, 0.2 }).toPoint());
    QCOMPARE(m_fx->curve->value().size(), 1);
    QCOMPARE(edited.count(), 3);
}

void tst_ParamPanel::groupEnableAndExpansion()
{
    auto *box = editor<QGroupBox>(m_panel.get(), "detail");
    auto *radius = editor<QSlider>(m_panel.get(), "radius");
    QVERIFY(box->isCheckable());
    QVERIFY(!box->isChecked());
    QVERIFY(!radius->isEnabled());
    QSignalSpy edited(m_panel.get(), &ParamPanel::edited);
    QSignalSpy enable(m_fx->detail, &TParamGroup::enableChanged);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    QCOMPARE(enable.count(), 1);
    QVERIFY(m_fx->detail->enabled());
    QVERIFY(radius->isEnabled());
    QCOMPARE(edited.count(), 1);

    // Expanded at first; folding it is display state, not an edit.
    auto *members = editor<QWidget>(m_panel.get(), "detail/members");
    QVERIFY(members->isVisibleTo(m_panel.get()));
    editor<QToolButton>(m_panel.get(), "detail/expand")->click();
    QVERIFY(!m_fx->detail->expanded());
    QVERIFY(!members->isVisibleTo(m_panel.get()));
    m_fx->detail->setExpand(true);
    QVERIFY(members->isVisibleTo(m_panel.get()));
    QCOMPARE(edited.count(), 1);
}

void tst_ParamPanel::presetsApplyAsOneEdit()
{
    QSignalSpy edited(m_panel.get(), &ParamPanel::edited);
    auto *presets = editor<QComboBox>(m_panel.get(), "strength/presets");
    QVERIFY(presets);
    QCOMPARE(presets->count(), 3);
    emit presets->activated(2);
    QCOMPARE(m_fx->strength->value(), 2.0f);
    QCOMPARE(edited.count(), 1);
    // A parameter with only its default offers no presets.
    QVERIFY(!m_panel->findChild<QComboBox *>("count/presets"));

    // The group's named preset sets both members, reported once.
    auto *group = editor<QComboBox>(m_panel.get(), "detail/presets");
    QVERIFY(group);
    QCOMPARE(group->itemText(1), QString("Strong"));
    emit group->activated(1);
    QCOMPARE(m_fx->radius->value(), 8.0f);
    QVERIFY(m_fx->fine->value());
    QCOMPARE(edited.count(), 2);
    QCOMPARE(editor<QDoubleSpinBox>(m_panel.get(), "radius/value")->value(), 8.0);
    QVERIFY(editor<QCheckBox>(m_panel.get(), "fine")->isChecked());
}

void tst_ParamPanel::deletedEffectEmptiesPanel()
{
    QVERIFY(!m_panel->findChildren<QSlider *>().isEmpty());
    m_fx.reset();
    QCOMPARE(m_panel->effect(), nullptr);
    QVERIFY(m_panel->findChildren<QSlider *>().isEmpty());
    m_panel->setEffect(nullptr);
    QVERIFY(m_panel->findChildren<QCheckBox *>().isEmpty());
}

FX_REGISTER_TEST(tst_ParamPanel)

// The curve editor on its own, at a known size.
class tst_CurveEditor : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void clickAddsAndDoubleClickRemoves();
    void dragWritesOncePerMove();
    void draggedPointStaysBetweenNeighbours();
    void draggingOutRemovesPoint();

private:
    std::unique_ptr<QObject> m_owner;
    TParamCurve *m_curve = nullptr;
    std::unique_ptr<CurveEditor> m_editor;
};

void tst_CurveEditor::init()
{
    m_owner = std::make_unique<QObject>();
    m_curve = new TParamCurve(m_owner.get(), "curve", "Curve", "Tones", "curve");
    m_curve->setValue({ { 0.25, 0.0 }, { 0.75, 0.0 } });
    m_editor = std::make_unique<CurveEditor>(m_curve);
    m_editor->resize(216, 216);
}

void tst_CurveEditor::cleanup()
{
    m_editor.reset();
    m_owner.reset();
}

void tst_CurveEditor::clickAddsAndDoubleClickRemoves()
{
    QSignalSpy edited(m_editor.get(), &CurveEditor::edited);
    QTest::mouseClick(m_editor.get(), Qt::LeftButton, Qt::NoModifier, m_editor->toWidget({ 0.5, 0.1 }).toPoint());
    const QList<QPointF> points = m_curve->value();
    QCOMPARE(points.size(), 3);
    // Sorted by x, the new point in the middle, to within a pixel.
    const double pixel = 1.0 / 200;
    QVERIFY(qAbs(points.at(1).x() - 0.5) <= pixel);
    QVERIFY(qAbs(points.at(1).y() - 0.1) <= 2 * pixel);
    QCOMPARE(edited.count(), 1);
    QTest::mouseDClick(m_editor.get(), Qt::LeftButton, Qt::NoModifier, m_editor->toWidget({ 0.75, 0.0 }).toPoint());
    QCOMPARE(m_curve->value(), points.mid(0, 2));
    QCOMPARE(edited.count(), 2);
}

void tst_CurveEditor::dragWritesOncePerMove()
{
    QSignalSpy edited(m_editor.get(), &CurveEditor::edited);
    QSignalSpy written(m_curve, &TParamCurve::valueChanged);
    QTest::mousePress(m_editor.get(), Qt::LeftButton, Qt::NoModifier, m_editor->toWidget({ 0.25, 0.0 }).toPoint());
    QCOMPARE(written.count(), 0);
    const QList<QPointF> path { { 0.3, 0.05 }, { 0.35, 0.1 }, { 0.4, 0.2 } };
    for (const QPointF &at : path)
        dragTo(m_editor.get(), m_editor->toWidget(at).toPoint());
    QCOMPARE(written.count(), path.size());
    QTest::mouseRelease(m_editor.get(), Qt::LeftButton, Qt::NoModifier, m_editor->toWidget(path.last()).toPoint());
    // Released where the last move went: nothing new to write.
    QCOMPARE(written.count(), path.size());
    QCOMPARE(edited.count(), written.count());
    const QPointF moved = m_curve->value().first();
    QVERIFY2(qAbs(moved.x() - 0.4) < 0.01 && qAbs(moved.y() - 0.2) < 0.01, qPrintable(QString::number(moved.x())));
    QCOMPARE(m_curve->value().size(), 2);
}

void tst_CurveEditor::draggedPointStaysBetweenNeighbours()
{
    QTest::mousePress(m_editor.get(), Qt::LeftButton, Qt::NoModifier, m_editor->toWidget({ 0.25, 0.0 }).toPoint());
    dragTo(m_editor.get(), m_editor->toWidget({ 0.9, 0.0 }).toPoint());
    QTest::mouseRelease(m_editor.get(), Qt::LeftButton, Qt::NoModifier, m_editor->toWidget({ 0.9, 0.0 }).toPoint());
    const QList<QPointF> points = m_curve->value();
    QCOMPARE(points.size(), 2);
    QVERIFY(points.at(0).x() < points.at(1).x());
    QVERIFY(points.at(1).x() - points.at(0).x() >= 0.009);
    // The output stays inside 0..1 however far up the point is dragged.
    QTest::mousePress(m_editor.get(), Qt::LeftButton, Qt::NoModifier, m_editor->toWidget(points.at(1)).toPoint());
    dragTo(m_editor.get(), m_editor->toWidget({ 0.75, 0.25 }).toPoint() - QPoint(0, 20));
    QTest::mouseRelease(m_editor.get(), Qt::LeftButton);
    QVERIFY(m_curve->value().at(1).x() + m_curve->value().at(1).y() <= 1.0 + 1e-9);
}

void tst_CurveEditor::draggingOutRemovesPoint()
{
    QTest::mousePress(m_editor.get(), Qt::LeftButton, Qt::NoModifier, m_editor->toWidget({ 0.25, 0.0 }).toPoint());
    dragTo(m_editor.get(), QPoint(-60, 100));
    // Out of the chart the point is gone from the parameter already, and comes back inside.
    QCOMPARE(m_curve->value().size(), 1);
    dragTo(m_editor.get(), m_editor->toWidget({ 0.3, 0.0 }).toPoint());
    QCOMPARE(m_curve->value().size(), 2);
    dragTo(m_editor.get(), QPoint(100, 300));
    QTest::mouseRelease(m_editor.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 300));
    QCOMPARE(m_curve->value(), QList<QPointF>({ { 0.75, 0.0 } }));
    QCOMPARE(m_editor->points(), m_curve->value());
}

FX_REGISTER_TEST(tst_CurveEditor)

#include "tst_parampanel.moc"
