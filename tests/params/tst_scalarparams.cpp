#include "changeprobe.h"
#include "testregistry.h"
#include "tparambool.h"
#include "tparamchoices.h"
#include "tparamfloat.h"
#include "tparamint.h"

#include <QtTest>
#include <limits>

namespace {
// Every way a host can change a scalar value must follow the same rules: the C++ setter, a
// preset, the "value" property and a call by name.
const char *const routes[] = { "setValue", "preset", "property", "invoke" };

template <typename Param, typename Value> void changeThrough(Param &param, const QString &route, Value v)
{
    if (route == QLatin1String("setValue")) {
        param.setValue(v);
    } else if (route == QLatin1String("preset")) {
        param.presets().append(v);
        param.applyPreset(param.numPresets() - 1);
    } else if (route == QLatin1String("property")) {
        QVERIFY(param.setProperty("value", QVariant::fromValue(v)));
    } else {
        QVERIFY(QMetaObject::invokeMethod(
            &param, "setValue", QArgument<Value>(QMetaType::typeName(qMetaTypeId<Value>()), v)));
    }
}
}

class tst_ScalarParams : public QObject {
    Q_OBJECT
private slots:
    void constructorStoresArgumentsAndOneDefault();

    void boolChange_data();
    void boolChange();
    void boolPropertyTakesAnyNonZeroIntAsTrue();

    void intChange_data();
    void intChange();
    void intResetAppliesClampedDefaultThatStaysNonDefault();

    void floatChange_data();
    void floatChange();
    void floatDefaultWithinTolerance_data();
    void floatDefaultWithinTolerance();

    void choicesChange_data();
    void choicesChange();
    void choicesSetChoicesNeitherClampsNorEmits();
    void choicesListIsReturnedAsCopy();
};

void tst_ScalarParams::constructorStoresArgumentsAndOneDefault()
{
    TParamFloat f(nullptr, "Radius", "Radius name", "radius desc", "SLIDER", 3.5f, 1.0f, 9.0f);
    QCOMPARE(f.key(), QStringLiteral("Radius"));
    QCOMPARE(f.objectName(), QStringLiteral("Radius"));
    QCOMPARE(f.name(), QStringLiteral("Radius name"));
    QCOMPARE(f.desc(), QStringLiteral("radius desc"));
    QCOMPARE(f.type(), QStringLiteral("SLIDER"));
    QCOMPARE(f.value(), 3.5f);
    QCOMPARE(f.vmin(), 1.0f);
    QCOMPARE(f.vmax(), 9.0f);
    QCOMPARE(f.presets(), QList<float>({ 3.5f }));
    QVERIFY(f.bDefault());

    TParamInt i(nullptr, "Count", "", "", "", -4, -10, 10);
    QCOMPARE(i.presets(), QList<int>({ -4 }));
    QCOMPARE(i.numPresets(), 1);
    QCOMPARE(i.vmin(), -10);
    QCOMPARE(i.vmax(), 10);

    TParamBool b(nullptr, "On", "", "", "", true);
    QCOMPARE(b.presets(), QList<bool>({ true }));
    QVERIFY(b.value());

    TParamChoices c(nullptr, "Mode", "", "", "");
    QCOMPARE(c.value(), 0);
    QVERIFY(c.choices().isEmpty());
    QCOMPARE(c.presets(), QList<int>({ 0 }));
    QVERIFY(c.bDefault());
}

void tst_ScalarParams::boolChange_data()
{
    QTest::addColumn<bool>("initial");
    QTest::addColumn<bool>("input");
    QTest::addColumn<QString>("route");
    for (const char *route : routes) {
        QTest::addRow("false to true via %s", route) << false << true << route;
        QTest::addRow("true to false via %s", route) << true << false << route;
        QTest::addRow("false again via %s", route) << false << false << route;
        QTest::addRow("true again via %s", route) << true << true << route;
    }
}

void tst_ScalarParams::boolChange()
{
    QFETCH(bool, initial);
    QFETCH(bool, input);
    QFETCH(QString, route);
    TParamBool p(nullptr, "k", "", "", "", initial);
    ChangeProbe probe(p, SIGNAL(valueChanged(bool)));
    changeThrough(p, route, input);
    QCOMPARE(p.value(), input);
    const bool changed = input != initial;
    QCOMPARE(probe.m_spy.count(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(probe.m_spy.at(0).at(0).toBool(), input);
    QCOMPARE(probe.stampAdvanced(), changed);
    QCOMPARE(p.property("value"), QVariant(int(input)));
}

void tst_ScalarParams::boolPropertyTakesAnyNonZeroIntAsTrue()
{
    TParamBool p(nullptr, "k", "", "", "", false);
    QSignalSpy spy(&p, &TParamBool::valueChanged);
    QVERIFY(p.setProperty("value", 2));
    QVERIFY(p.value());
    QVERIFY(p.setProperty("value", -1));
    QCOMPARE(spy.count(), 1);
    QVERIFY(p.setProperty("value", 0));
    QVERIFY(!p.value());
    QCOMPARE(spy.count(), 2);
    QCOMPARE(p.property("value").userType(), int(QMetaType::Int));
}

void tst_ScalarParams::intChange_data()
{
    QTest::addColumn<int>("vmin");
    QTest::addColumn<int>("vmax");
    QTest::addColumn<int>("initial");
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("route");
    struct Row {
        const char *name;
        int vmin, vmax, initial, input, expected;
    };
    const Row rows[] = {
        { "inside range", 0, 10, 5, 7, 7 },
        { "same value", 0, 10, 5, 5, 5 },
        { "above max clamps", 0, 10, 5, 99, 10 },
        { "below min clamps", 0, 10, 5, -99, 0 },
        { "clamps onto the current value", 0, 3, 3, 10, 3 },
        { "constructed above max moves to max", 0, 3, 5, 5, 3 },
        { "negative range", -10, -2, -5, 0, -2 },
        { "one-value range", 4, 4, 4, 9, 4 },
        { "extreme input", 0, 100, 1, std::numeric_limits<int>::min(), 0 },
    };
    for (const char *route : routes) {
        for (const Row &r : rows)
            QTest::addRow("%s via %s", r.name, route)
                << r.vmin << r.vmax << r.initial << r.input << r.expected << route;
    }
}

void tst_ScalarParams::intChange()
{
    QFETCH(int, vmin);
    QFETCH(int, vmax);
    QFETCH(int, initial);
    QFETCH(int, input);
    QFETCH(int, expected);
    QFETCH(QString, route);
    TParamInt p(nullptr, "k", "", "", "", initial, vmin, vmax);
    QCOMPARE(p.value(), initial);
    ChangeProbe probe(p, SIGNAL(valueChanged(int)));
    changeThrough(p, route, input);
    QCOMPARE(p.value(), expected);
    const bool changed = expected != initial;
    QCOMPARE(probe.m_spy.count(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(probe.m_spy.at(0).at(0).toInt(), expected);
    QCOMPARE(probe.stampAdvanced(), changed);
}

void tst_ScalarParams::intResetAppliesClampedDefaultThatStaysNonDefault()
{
    TParamInt p(nullptr, "k", "", "", "", 5, 0, 3);
    QCOMPARE(p.value(), 5);
    QVERIFY(p.bDefault());
    ChangeProbe probe(p, SIGNAL(valueChanged(int)));
    p.reset();
    QCOMPARE(p.value(), 3);
    QCOMPARE(probe.m_spy.count(), 1);
    QCOMPARE(probe.m_spy.at(0).at(0).toInt(), 3);
    QVERIFY(probe.stampAdvanced());
    QVERIFY(!p.bDefault());
    QCOMPARE(p.presets().first(), 5);
    p.reset();
    QCOMPARE(probe.m_spy.count(), 1);
}

void tst_ScalarParams::floatChange_data()
{
    QTest::addColumn<float>("vmin");
    QTest::addColumn<float>("vmax");
    QTest::addColumn<float>("initial");
    QTest::addColumn<float>("input");
    QTest::addColumn<float>("expected");
    QTest::addColumn<QString>("route");
    struct Row {
        const char *name;
        float vmin, vmax, initial, input, expected;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Row rows[] = {
        { "0.0005 above is no change", 0, 1, 0.5f, 0.5005f, 0.5f },
        { "0.002 above changes", 0, 1, 0.5f, 0.502f, 0.502f },
        { "0.0009 below is no change", 0, 1, 0.5f, 0.4991f, 0.5f },
        { "0.0011 below changes", 0, 1, 0.5f, 0.4989f, 0.4989f },
        { "same value", 0, 1, 0.25f, 0.25f, 0.25f },
        { "1.5 stores 1.0", 0, 1, 0.5f, 1.5f, 1.0f },
        { "below min stores min", 0, 1, 0.5f, -3.0f, 0.0f },
        { "above max while at max", 0, 1, 1.0f, 7.0f, 1.0f },
        { "clamped within tolerance of value", 0, 1, 0.9995f, 2.0f, 0.9995f },
        { "range 100: 0.05 above is no change", 0, 100, 50.0f, 50.05f, 50.0f },
        { "range 100: 0.2 above changes", 0, 100, 50.0f, 50.2f, 50.2f },
        { "range 2: 0.0015 above is no change", -1, 1, 0.0f, 0.0015f, 0.0f },
        { "range 2: 0.0025 below changes", -1, 1, 0.0f, -0.0025f, -0.0025f },
        { "empty range: above bound", 2, 2, 2.0f, 5.0f, 2.0f },
        { "empty range: below bound", 2, 2, 2.0f, -5.0f, 2.0f },
        { "empty range: constructed off bound", 2, 2, 0.0f, 0.0f, 2.0f },
        { "constructed out of range", 0, 1, 5.0f, 5.0f, 1.0f },
        { "nan goes to vmin", 0, 1, 0.5f, nan, 0.0f },
    };
    for (const char *route : routes) {
        for (const Row &r : rows)
            QTest::addRow("%s via %s", r.name, route)
                << r.vmin << r.vmax << r.initial << r.input << r.expected << route;
    }
}

void tst_ScalarParams::floatChange()
{
    QFETCH(float, vmin);
    QFETCH(float, vmax);
    QFETCH(float, initial);
    QFETCH(float, input);
    QFETCH(float, expected);
    QFETCH(QString, route);
    TParamFloat p(nullptr, "k", "", "", "", initial, vmin, vmax);
    QVERIFY(p.value() == initial);
    ChangeProbe probe(p, SIGNAL(valueChanged(float)));
    changeThrough(p, route, input);
    // Exact: the stored value is either the untouched old one or the clamped input.
    QVERIFY2(p.value() == expected, qPrintable(QString::number(double(p.value()), 'g', 9)));
    const bool changed = expected != initial;
    QCOMPARE(probe.m_spy.count(), changed ? 1 : 0);
    if (changed)
        QVERIFY(probe.m_spy.at(0).at(0).toFloat() == expected);
    QCOMPARE(probe.stampAdvanced(), changed);
}

void tst_ScalarParams::floatDefaultWithinTolerance_data()
{
    QTest::addColumn<float>("vmin");
    QTest::addColumn<float>("vmax");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("preset");
    QTest::addColumn<bool>("expected");
    QTest::newRow("equal") << 0.0f << 1.0f << 0.5f << 0.5f << true;
    QTest::newRow("0.0009 from default") << 0.0f << 1.0f << 0.5f << 0.5009f << true;
    QTest::newRow("0.0011 from default") << 0.0f << 1.0f << 0.5f << 0.5011f << false;
    QTest::newRow("range 100: 0.09 from default") << 0.0f << 100.0f << 50.0f << 50.09f << true;
    QTest::newRow("range 100: 0.11 from default") << 0.0f << 100.0f << 50.0f << 49.89f << false;
    QTest::newRow("empty range: equal") << 2.0f << 2.0f << 2.0f << 2.0f << true;
    QTest::newRow("empty range: any distance") << 2.0f << 2.0f << 2.0f << 2.0001f << false;
}

void tst_ScalarParams::floatDefaultWithinTolerance()
{
    QFETCH(float, vmin);
    QFETCH(float, vmax);
    QFETCH(float, value);
    QFETCH(float, preset);
    QFETCH(bool, expected);
    TParamFloat p(nullptr, "k", "", "", "", value, vmin, vmax);
    p.presets()[0] = preset;
    QCOMPARE(p.bDefault(), expected);
}

void tst_ScalarParams::choicesChange_data()
{
    QTest::addColumn<int>("numChoices");
    QTest::addColumn<bool>("useSetup");
    QTest::addColumn<int>("setup");
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("route");
    struct Row {
        const char *name;
        int numChoices;
        bool useSetup;
        int setup, input, expected;
    };
    const Row rows[] = {
        { "three choices: 7 stores 2", 3, false, 0, 7, 2 },
        { "three choices: -4 stores 0", 3, true, 2, -4, 0 },
        { "three choices: -4 at 0 is no change", 3, false, 0, -4, 0 },
        { "three choices: in range", 3, false, 0, 1, 1 },
        { "three choices: same value", 3, true, 1, 1, 1 },
        { "no choices: 5 stores -1", 0, false, 0, 5, -1 },
        { "no choices: -3 stores -1", 0, false, 0, -3, -1 },
        { "no choices: already -1", 0, true, 9, -7, -1 },
    };
    for (const char *route : routes) {
        for (const Row &r : rows) {
            QTest::addRow("%s via %s", r.name, route)
                << r.numChoices << r.useSetup << r.setup << r.input << r.expected << route;
        }
    }
}

void tst_ScalarParams::choicesChange()
{
    QFETCH(int, numChoices);
    QFETCH(bool, useSetup);
    QFETCH(int, setup);
    QFETCH(int, input);
    QFETCH(int, expected);
    QFETCH(QString, route);
    TParamChoices p(nullptr, "k", "", "", "");
    QStringList names;
    for (int i = 0; i < numChoices; ++i)
        names << QStringLiteral("choice %1").arg(i);
    p.setChoices(names);
    if (useSetup)
        p.setValue(setup);
    const int before = p.value();
    ChangeProbe probe(p, SIGNAL(valueChanged(int)));
    changeThrough(p, route, input);
    QCOMPARE(p.value(), expected);
    const bool changed = expected != before;
    QCOMPARE(probe.m_spy.count(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(probe.m_spy.at(0).at(0).toInt(), expected);
    // A choice is announced by signal only, never by the stamp.
    QVERIFY(!probe.stampAdvanced());
}

void tst_ScalarParams::choicesSetChoicesNeitherClampsNorEmits()
{
    TParamChoices p(nullptr, "k", "", "", "");
    p.setChoices({ "a", "b", "c" });
    p.setValue(2);
    ChangeProbe probe(p, SIGNAL(valueChanged(int)));
    p.setChoices({ "only" });
    QCOMPARE(p.value(), 2);
    QVERIFY(p.setProperty("choices", QStringList()));
    QCOMPARE(p.value(), 2);
    QVERIFY(p.choices().isEmpty());
    QCOMPARE(probe.m_spy.count(), 0);
    QVERIFY(!probe.stampAdvanced());
    // The next change clamps against the new, empty list.
    p.setValue(2);
    QCOMPARE(p.value(), -1);
    QCOMPARE(probe.m_spy.count(), 1);
}

void tst_ScalarParams::choicesListIsReturnedAsCopy()
{
    TParamChoices p(nullptr, "k", "", "", "");
    p.setChoices({ "a", "b" });
    QStringList copy = p.choices();
    copy.append("c");
    QCOMPARE(p.choices(), QStringList({ "a", "b" }));
    QCOMPARE(p.property("choices").toStringList(), QStringList({ "a", "b" }));
}

FX_REGISTER_TEST(tst_ScalarParams)
#include "tst_scalarparams.moc"
