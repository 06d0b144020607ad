#include "mhist.h"
#include "testregistry.h"
#include "tparambool.h"
#include "tparamchoices.h"
#include "tparamcurve.h"
#include "tparamdrawmask.h"
#include "tparamfloat.h"
#include "tparamgroup.h"
#include "tparamint.h"
#include "tparammhist.h"
#include "tparamvisual.h"
#include "tuid.h"

#include <QtTest>

Q_DECLARE_METATYPE(const QMetaObject *)

namespace {
using Points = QList<QPointF>;
const Points threePoints = { { 0.0, 0.0 }, { 0.5, 0.2 }, { 1.0, 1.0 } };

// What a host or script sees of a class: its base and its own methods in meta-object order
// (kind, return type, signature, parameter names).
QStringList describe(const QMetaObject *meta)
{
    QStringList lines { QStringLiteral("base %1").arg(meta->superClass()->className()) };
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        const char *kinds[] = { "method", "signal", "slot", "constructor" };
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(kinds[m.methodType()], m.typeName(), m.methodSignature(), m.parameterNames().join(','))
                     .trimmed()
                + (m.access() == QMetaMethod::Public ? "" : " not public");
    }
    return lines;
}

// For choices, vmax is the number of choices and initial is also made the default.
TParam *makeScalar(const QString &kind, double initial, double vmin, double vmax)
{
    if (kind == "bool")
        return new TParamBool(nullptr, "k", "", "", "", initial != 0);
    if (kind == "int")
        return new TParamInt(nullptr, "k", "", "", "", int(initial), int(vmin), int(vmax));
    if (kind == "float")
        return new TParamFloat(nullptr, "k", "", "", "", float(initial), float(vmin), float(vmax));
    auto *choices = new TParamChoices(nullptr, "k", "", "", "");
    choices->setChoices(QString(int(vmax), 'c').split(QString(), Qt::SkipEmptyParts));
    if (initial != 0)
        choices->setValue(int(initial));
    choices->presets()[0] = choices->value();
    return choices;
}

// A host changes a value by a call by name, a preset (appended, then applied at the route's
// index: "preset" is the new one) or reset(); the caller drives the property with the raw number.
template <typename Param, typename Value> void drive(TParam *base, const QString &route, Value v)
{
    auto *param = static_cast<Param *>(base);
    if (route == "invoke") {
        const char *type = QMetaType::typeName(qMetaTypeId<Value>());
        QVERIFY(QMetaObject::invokeMethod(param, "setValue", QArgument<Value>(type, v)));
    } else if (route == "reset") {
        base->reset();
    } else {
        param->presets().append(v);
        const int n = param->numPresets();
        param->applyPreset(route == "preset" ? n - 1 : route == "preset -1" ? -1 : n);
    }
}

// A display-only group member that logs the presets it is asked to apply and each default query.
class Probe : public TParamVisual {
public:
    Probe(QObject *parent, const QString &key, QStringList *journal, bool isDefault = true)
        : TParamVisual(parent, key, key, "", "")
        , m_journal(journal)
        , m_isDefault(isDefault)
    {
    }
    bool bDefault() const override
    {
        *m_journal << key() + " asked";
        return m_isDefault;
    }
    void applyPreset(int i) override { *m_journal << QStringLiteral("%1 preset %2").arg(key()).arg(i); }
    QStringList *m_journal;
    bool m_isDefault;
};

TParam *add(QObject *parent, const QString &key, const QString &name, bool group = true)
{
    return group ? static_cast<TParam *>(new TParamGroup(parent, key, name, "", "", true, false))
                 : new TParamFloat(parent, key, name, "", "", 0, 0, 1);
}
}

// Parameters as hosts drive them: by name through the meta-object, with exact signal counts and
// change stamps, since effects rely on both to redo only what a change affects.
class tst_Params : public QObject {
    Q_OBJECT
private slots:
    void metaObject_data();
    void metaObject();
    void scalarChange_data();
    void scalarChange();
    void curveChange_data();
    void curveChange();
    void groupSwitches_data();
    void groupSwitches();
    void groupPresetsAndDefault();
    void groupFindsByKeyDepthFirst_data();
    void groupFindsByKeyDepthFirst();
    void mhistSetValue_data();
    void mhistSetValue();
};

void tst_Params::metaObject_data()
{
    QTest::addColumn<const QMetaObject *>("meta");
    QTest::addColumn<QString>("expected");
    // %P stands for the preset slots every kind with a value declares.
    const auto row = [](const QMetaObject &meta, const char *expected) {
        const QString presets = "slot int numPresets();slot void applyPreset(int) i;slot bool bDefault()";
        QTest::newRow(meta.className()) << &meta << QString(expected).replace("%P", presets);
    };
    row(TParam::staticMetaObject,
        "base QObject;slot QString key();slot QString name();slot QString desc();slot QString type()");
    row(TParamBool::staticMetaObject,
        "base TParam;signal void valueChanged(bool) v;slot bool value();slot void setValue(bool) v;"
        "slot QList<bool> presets();%P;property int value");
    row(TParamInt::staticMetaObject,
        "base TParam;signal void valueChanged(int) v;slot int value();slot void setValue(int) v;"
        "slot QList<int> presets();slot int vmin();slot int vmax();%P;property int value");
    row(TParamFloat::staticMetaObject,
        "base TParam;signal void valueChanged(float) v;slot float value();slot float vmin();slot float vmax();"
        "slot void setValue(float) v;slot QList<float> presets();%P;property float value");
    row(TParamChoices::staticMetaObject,
        "base TParam;signal void valueChanged(int) v;slot int value();slot void setValue(int) v;"
        "slot QList<int> presets();%P;slot QStringList choices();slot void setChoices(QStringList) v;"
        "property int value;property QStringList choices");
    row(TParamCurve::staticMetaObject,
        "base TParam;signal void valueChanged(QList<QPointF>) ctrlPnts;signal void curveChanged(QImage) curve;"
        "slot QList<QPointF> value();slot void setValue(QList<QPointF>) ctrlPnts;"
        "slot QList<QList<QPointF> > presets();%P");
    row(TParamGroup::staticMetaObject,
        "base TParam;signal void enableChanged(bool) v;signal void expandedChanged(bool) v;"
        "signal void presetChanged(int) v;slot void setEnable(bool) e;slot void setExpand(bool) e");
    row(TParamVisual::staticMetaObject,
        "base TParam;slot int numPresets();slot void applyPreset(int) i;slot void reset()");
    row(TParamMHist::staticMetaObject, "base TParam;slot bool setValue(std::string) buf");
    // Slots with defaults appear once more per default, each time with one argument fewer.
    row(TParamDrawMask::staticMetaObject,
        "base TParam;signal void drawChanged();slot int brushStep(uint,uint) size,sizeIn;"
        "slot void setValue(uchar) maskValue;slot void invert();slot void undo();slot void redo();"
        "slot void snapshot();slot void setMaskBlendValue(uchar) maskVal;slot void setMaskBlendValue();"
        "slot void setColorPicker(QPoint) sP;slot void setBlendMode(int) mode;"
        "slot void setMaskBlendMode(int) mode;slot void setMaskBlendMode();"
        "slot void drawGradientMask(QPoint,QPoint,int) sP,eP,type;"
        "slot void drawVignetteMask(QPoint,float,float,float) sP,size,feather,roundness;slot void drawStart();"
        "slot void drawADot(QPoint,uchar,int) pos,maskValue,radius;"
        "slot void drawADot(QPoint,uchar,int,int,float,bool,bool) "
        "pos,maskValue,radius,inRadius,flow,bColorSensEnabled,bColorPickerEnabled;slot void drawEnd();"
        "slot void drawSuperMask(QPoint,float,float,float,float,bool) "
        "centerPos,size,hardness,featherSize,colorAware,bInverted;"
        "slot void drawSuperMask(QPoint,float,float,float,float) centerPos,size,hardness,featherSize,colorAware;"
        "slot void drawSuperMask(QPoint,float,float,float) centerPos,size,hardness,featherSize;"
        "slot void postFilter(float,float,float,float) featherRadius,featherEps,featherContrast,featherStrength;"
        "slot void applyButtonClicked(bool) bApply;slot void applyButtonClicked();slot bool bDefault();"
        "slot void reset();slot int numPresets();slot void applyPreset(int) i");
}

// An exact list also rules out default arguments, which moc turns into extra methods. Every
// property is plain: readable, writable, stored, scriptable, designable, without notify signal.
void tst_Params::metaObject()
{
    QFETCH(const QMetaObject *, meta);
    QFETCH(QString, expected);
    QStringList lines = describe(meta);
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        lines << QStringLiteral("property %1 %2").arg(p.typeName(), p.name());
        QVERIFY2(p.isReadable() && p.isWritable() && p.isStored() && p.isScriptable() && p.isDesignable()
                && !p.hasNotifySignal(),
            qPrintable(
                QStringLiteral("%1: readable %2, writable %3, stored %4, scriptable %5, designable %6, notify %7")
                    .arg(p.name())
                    .arg(p.isReadable())
                    .arg(p.isWritable())
                    .arg(p.isStored())
                    .arg(p.isScriptable())
                    .arg(p.isDesignable())
                    .arg(p.hasNotifySignal())));
    }
    QCOMPARE(lines, expected.split(';'));
}

void tst_Params::scalarChange_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("route");
    QTest::addColumn<double>("vmin");
    QTest::addColumn<double>("vmax");
    QTest::addColumn<double>("initial");
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("expected");
    const double nan = qQNaN();
    struct Row {
        const char *name, *kind, *route;
        double vmin, vmax, initial, input, expected;
    };
    const Row rows[] = {
        { "bool false to true", "bool", "invoke", 0, 1, 0, 1, 1 },
        { "bool true to false", "bool", "preset", 0, 1, 1, 0, 0 },
        { "bool same value", "bool", "invoke", 0, 1, 1, 1, 1 },
        { "bool property takes 2 as true", "bool", "property", 0, 1, 0, 2, 1 },
        { "int same value", "int", "property", 0, 10, 5, 5, 5 },
        { "int above max clamps", "int", "invoke", 0, 10, 5, 99, 10 },
        { "int below min clamps", "int", "preset", 0, 10, 5, -99, 0 },
        { "int clamps onto the value", "int", "invoke", 0, 3, 3, 10, 3 },
        { "int vmin == vmax", "int", "property", 4, 4, 4, 9, 4 },
        { "int (5, 0, 3) reset gives 3", "int", "reset", 0, 3, 5, 0, 3 },
        { "float 0.0005 above is no change", "float", "invoke", 0, 1, 0.5, 0.5005, 0.5 },
        { "float 0.002 above changes", "float", "invoke", 0, 1, 0.5, 0.502, 0.502 },
        { "float 0.0009 below is no change", "float", "property", 0, 1, 0.5, 0.4991, 0.5 },
        { "float range 100: 0.05 is no change", "float", "preset", 0, 100, 50, 50.05, 50 },
        { "float 1.5 stores 1.0", "float", "invoke", 0, 1, 0.5, 1.5, 1 },
        { "float clamped within tolerance", "float", "invoke", 0, 1, 0.9995, 2, 0.9995 },
        { "float vmin == vmax", "float", "invoke", 2, 2, 2, 5, 2 },
        { "float vmin == vmax off bound", "float", "property", 2, 2, 0, 0, 2 },
        { "float NaN stores vmin", "float", "invoke", 0, 1, 0.5, nan, 0 },
        { "choices 7 stores 2", "choices", "invoke", 0, 3, 0, 7, 2 },
        { "choices -4 stores 0", "choices", "invoke", 0, 3, 2, -4, 0 },
        { "choices same value", "choices", "property", 0, 3, 1, 1, 1 },
        { "no choices stores -1", "choices", "preset", 0, 0, 0, 5, -1 },
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << r.kind << r.route << r.vmin << r.vmax << r.initial << r.input << r.expected;
    // Each kind checks its own preset bounds.
    for (const char *kind : { "bool", "int", "float", "choices" }) {
        for (const char *route : { "preset -1", "preset numPresets" })
            QTest::addRow("%s %s", kind, route) << kind << route << 0.0 << 3.0 << 1.0 << 0.0 << 1.0;
    }
}

// Every kind: the value lands clamped, and only a real change emits (once, with the new
// value), advances the stamp (except for choices, which leave it) and leaves the default.
void tst_Params::scalarChange()
{
    QFETCH(QString, kind);
    QFETCH(QString, route);
    QFETCH(double, vmin);
    QFETCH(double, vmax);
    QFETCH(double, initial);
    QFETCH(double, input);
    QFETCH(double, expected);
    QScopedPointer<TParam> param(makeScalar(kind, initial, vmin, vmax));
    // valueChanged comes first in every scalar kind (see metaObject).
    QSignalSpy spy(param.data(), param->metaObject()->method(param->metaObject()->methodOffset()));
    const auto idBefore = param->uid()->id();
    if (route == "property")
        QVERIFY(param->setProperty("value", input));
    else if (kind == "bool")
        drive<TParamBool>(param.data(), route, input != 0);
    else if (kind == "float")
        drive<TParamFloat>(param.data(), route, float(input));
    else if (kind == "int")
        drive<TParamInt>(param.data(), route, int(input));
    else
        drive<TParamChoices>(param.data(), route, int(input));
    QCOMPARE(param->property("value").toFloat(), float(expected));
    const bool changed = float(expected) != float(initial);
    QCOMPARE(spy.count(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(spy.at(0).at(0).toFloat(), float(expected));
    QCOMPARE(param->uid()->id() != idBefore, changed && kind != "choices");
    QCOMPARE(param->bDefault(), !changed);
}

void tst_Params::curveChange_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<Points>("initial");
    QTest::addColumn<Points>("input");
    QTest::addColumn<bool>("changes");
    QTest::addColumn<bool>("isDefault");
    const Points xMoved = { { 0.0005, 0 }, { 0.5005, 0.2 }, { 1.0005, 1 } };
    const Points yMoved = { { 0, 0 }, { 0.5, 0.202 }, { 1, 1 } };
    const Points flat = { { 0, 0 }, { 0.5, -0.0009 }, { 1, 0 } };
    QTest::newRow("x moved 0.0005 is no change") << "invoke" << threePoints << xMoved << false << false;
    QTest::newRow("x moved 0.002 changes")
        << "invoke" << Points({ { 0.5, 0 } }) << Points({ { 0.502, 0 } }) << true << true;
    QTest::newRow("y moved 0.002 changes") << "invoke" << threePoints << yMoved << true << false;
    QTest::newRow("flat within 0.001") << "invoke" << Points() << flat << true << true;
    QTest::newRow("y -0.002 is not flat") << "invoke" << Points() << Points({ { 0, -0.002 } }) << true << false;
    QTest::newRow("preset applies") << "preset" << Points() << threePoints << true << false;
    QTest::newRow("preset -1 does nothing") << "preset -1" << Points() << threePoints << false << true;
    QTest::newRow("preset numPresets does nothing") << "preset n" << Points() << threePoints << false << true;
    QTest::newRow("reset empties points") << "reset" << threePoints << Points() << true << true;
    QTest::newRow("reset on empty does nothing") << "reset" << Points() << Points() << false << true;
}

// A curve change announces the points, then a null curve image, and leaves the stamp. The
// default is the empty curve, and any flat curve counts as default.
void tst_Params::curveChange()
{
    QFETCH(QString, route);
    QFETCH(Points, initial);
    QFETCH(Points, input);
    QFETCH(bool, changes);
    QFETCH(bool, isDefault);
    TParamCurve c(nullptr, "Curve", "", "", "");
    c.setValue(initial);
    QStringList journal;
    connect(&c, &TParamCurve::valueChanged, this, [&](const Points &p) { journal << (p == input ? "value" : "?"); });
    connect(&c, &TParamCurve::curveChanged, this,
        [&](const QImage &image) { journal << (image.isNull() ? "null curve" : "curve"); });
    const auto idBefore = c.uid()->id();
    c.presets() << input;
    if (route == "invoke")
        QVERIFY(QMetaObject::invokeMethod(&c, "setValue", Q_ARG(QList<QPointF>, input)));
    else if (route == "reset")
        c.reset();
    else
        c.applyPreset(route == "preset" ? 1 : route == "preset -1" ? -1 : c.numPresets());
    Points value;
    QVERIFY(QMetaObject::invokeMethod(&c, "value", Q_RETURN_ARG(QList<QPointF>, value)));
    QCOMPARE(value, changes ? input : initial);
    QCOMPARE(journal, changes ? QStringList({ "value", "null curve" }) : QStringList());
    QCOMPARE(c.uid()->id(), idBefore);
    QCOMPARE(c.bDefault(), isDefault);
}

void tst_Params::groupSwitches_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<bool>("initial");
    QTest::addColumn<bool>("input");
    QTest::newRow("enable") << QByteArray("setEnable") << false << true;
    QTest::newRow("enable again is silent") << QByteArray("setEnable") << true << true;
    QTest::newRow("expand") << QByteArray("setExpand") << false << true;
    QTest::newRow("collapse again is silent") << QByteArray("setExpand") << false << false;
}

// Switching a group on or off changes what it renders, so the stamp moves; expanding does not.
void tst_Params::groupSwitches()
{
    QFETCH(QByteArray, slot);
    QFETCH(bool, initial);
    QFETCH(bool, input);
    const bool enable = slot == "setEnable";
    TParamGroup g(nullptr, "g", "", "", "", enable ? initial : true, enable ? false : initial);
    QSignalSpy enableSpy(&g, &TParamGroup::enableChanged);
    QSignalSpy expandSpy(&g, &TParamGroup::expandedChanged);
    const auto idBefore = g.uid()->id();
    QVERIFY(QMetaObject::invokeMethod(&g, slot.constData(), Q_ARG(bool, input)));
    const bool changed = initial != input;
    QCOMPARE(enable ? g.enabled() : g.expanded(), input);
    QCOMPARE(enableSpy.count(), enable && changed ? 1 : 0);
    QCOMPARE(expandSpy.count(), !enable && changed ? 1 : 0);
    if (changed)
        QCOMPARE((enable ? enableSpy : expandSpy).at(0).at(0).toBool(), input);
    QCOMPARE(g.uid()->id() != idBefore, enable && changed);
}

// Presets reach every member in child order, nested groups included, before the group
// announces them; the default is asked of members only up to the first that is not.
void tst_Params::groupPresetsAndDefault()
{
    QStringList journal;
    TParamGroup g(nullptr, "g", "", "", "", true, false);
    QCOMPARE(g.presetNames(), QStringList({ "Default" }));
    new Probe(&g, "first", &journal);
    auto *inner = static_cast<TParamGroup *>(add(&g, "inner", "inner"));
    new Probe(inner, "nested", &journal, false);
    new Probe(&g, "last", &journal);
    connect(inner, &TParamGroup::presetChanged, this, [&](int v) { journal << QStringLiteral("inner %1").arg(v); });
    connect(&g, &TParamGroup::presetChanged, this, [&](int v) { journal << QStringLiteral("group %1").arg(v); });
    g.applyPreset(1);
    g.applyPreset(-1);
    QVERIFY(journal.isEmpty());
    g.applyPreset(0);
    QCOMPARE(journal, QStringList({ "first preset 0", "nested preset 0", "inner 0", "last preset 0", "group 0" }));
    journal.clear();
    QVERIFY(!g.bDefault());
    QCOMPARE(journal, QStringList({ "first asked", "nested asked" }));
    TParamGroup empty(nullptr, "empty", "", "", "", true, false);
    QSignalSpy emptySpy(&empty, &TParamGroup::presetChanged);
    empty.applyPreset(0);
    QCOMPARE(emptySpy.count(), 1);
    QVERIFY(empty.bDefault());
}

void tst_Params::groupFindsByKeyDepthFirst_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("found");
    const auto row = [](const char *name, const char *key, const char *found) {
        QTest::newRow(name) << QString(key) << QString(found);
    };
    row("earlier subtree before later direct child", "k", "a/k");
    row("own key before own children", "m", "m");
    row("direct child before a later deeper one", "n", "n");
    row("walk enters a plain parameter", "e", "f/e");
    row("no such key", "zz", "");
}

void tst_Params::groupFindsByKeyDepthFirst()
{
    QFETCH(QString, key);
    QFETCH(QString, found);
    // outer( a(k) k m(m) n b(n) f(e) ), with m and f plain parameters; the name is the path.
    TParamGroup outer(nullptr, "outer", "outer", "", "", true, false);
    add(add(&outer, "a", "a"), "k", "a/k");
    add(&outer, "k", "k");
    add(add(&outer, "m", "m", false), "m", "m/m");
    add(&outer, "n", "n");
    add(add(&outer, "b", "b"), "n", "b/n");
    add(add(&outer, "f", "f", false), "e", "f/e");
    const TParam *result = outer.paramPtr(key);
    QCOMPARE(result ? result->name() : QString(), found);
    QCOMPARE(qAsConst(outer).paramPtr(key), result);
}

void tst_Params::mhistSetValue_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("accepted");
    std::string empty;
    MHist().save(empty);
    QTest::newRow("text of an empty histogram loads") << QByteArray::fromStdString(empty) << true;
    QTest::newRow("garbage is rejected") << QByteArray("not a histogram \x01\x02") << false;
}

// The stamp advances even on rejected text: the caller asked for new content.
void tst_Params::mhistSetValue()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, accepted);
    TParamMHist p(nullptr, "Hist", "", "", "");
    QVERIFY(p.mhist().computeMerged(cv::Mat(1, 2, CV_8UC3, cv::Scalar(200, 100, 150))));
    const MHist before = p.mhist();
    const auto idBefore = p.uid()->id();
    bool result = false;
    QVERIFY(
        QMetaObject::invokeMethod(&p, "setValue", Q_RETURN_ARG(bool, result), Q_ARG(std::string, text.toStdString())));
    QVERIFY(result);
    QVERIFY(p.uid()->id() != idBefore);
    if (accepted)
        QVERIFY(p.mhist().bEmpty());
    else
        QVERIFY(p.mhist() == before);
}

FX_REGISTER_TEST(tst_Params)
#include "tst_params.moc"
