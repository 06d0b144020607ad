#include "testregistry.h"
#include "tparamcurve.h"
#include "tuid.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
using Points = QList<QPointF>;

// Exposes the protected comparison.
class CurveProbe : public TParamCurve {
public:
    CurveProbe()
        : TParamCurve(nullptr, "Curve", "curve", "a curve", "CURVE")
    {
    }
    bool equal(const Points &a, const Points &b) const { return eq(a, b); }
};

const Points threePoints = { { 0.0, 0.0 }, { 0.5, 0.2 }, { 1.0, 1.0 } };
}

class tst_CurveParam : public QObject {
    Q_OBJECT
private slots:
    void newCurveIsEmptyWithEmptyDefault();
    void pointListsCompareWithinFloatTolerance_data();
    void pointListsCompareWithinFloatTolerance();
    void setValue_data();
    void setValue();
    void changeEmitsValueThenCurveAndLeavesStamp();
    void pointsAreStoredInGivenOrder();
    void flatCurveIsDefault_data();
    void flatCurveIsDefault();
    void resetEmptiesCurveOnce();
    void presetsApplyOnlyInRange();
    void valueReadableByName();
};

void tst_CurveParam::newCurveIsEmptyWithEmptyDefault()
{
    TParamCurve c(nullptr, "Curve", "n", "d", "t");
    QVERIFY(c.value().isEmpty());
    QCOMPARE(c.numPresets(), 1);
    QCOMPARE(c.presets(), QList<Points>({ Points() }));
    QVERIFY(c.bDefault());
}

void tst_CurveParam::pointListsCompareWithinFloatTolerance_data()
{
    QTest::addColumn<Points>("a");
    QTest::addColumn<Points>("b");
    QTest::addColumn<bool>("equal");
    QTest::newRow("both empty") << Points() << Points() << true;
    QTest::newRow("empty and one point") << Points() << Points({ { 0, 0 } }) << false;
    QTest::newRow("same points") << threePoints << threePoints << true;
    QTest::newRow("one more point") << threePoints << (threePoints + Points({ { 1, 1 } })) << false;
    QTest::newRow("x moved 0.0005") << Points({ { 0.5, 0.5 } }) << Points({ { 0.5005, 0.5 } }) << true;
    QTest::newRow("y moved 0.0011") << Points({ { 0.5, 0.5 } }) << Points({ { 0.5, 0.5011 } }) << false;
    QTest::newRow("x moved -0.0011") << Points({ { 0.5, 0.5 } }) << Points({ { 0.4989, 0.5 } }) << false;
    // The tolerance is the float 0.001 (0.0010000000475 as a double), not the double 0.001.
    QTest::newRow("offset just above double 0.001") << Points({ { 0, 0 } }) << Points({ { 0.00100000004, 0 } }) << true;
    QTest::newRow("offset above float 0.001") << Points({ { 0, 0 } }) << Points({ { 0, 0.0010000001 } }) << false;
    QTest::newRow("last point differs") << threePoints << Points({ { 0, 0 }, { 0.5, 0.2 }, { 1, 0.9 } }) << false;
    QTest::newRow("same points, other order")
        << threePoints << Points({ threePoints[2], threePoints[1], threePoints[0] }) << false;
}

void tst_CurveParam::pointListsCompareWithinFloatTolerance()
{
    QFETCH(Points, a);
    QFETCH(Points, b);
    QFETCH(bool, equal);
    CurveProbe c;
    QCOMPARE(c.equal(a, b), equal);
    QCOMPARE(c.equal(b, a), equal);
}

void tst_CurveParam::setValue_data()
{
    QTest::addColumn<Points>("initial");
    QTest::addColumn<Points>("input");
    QTest::addColumn<bool>("changes");
    QTest::newRow("same points moved 0.0005 in x")
        << threePoints << Points({ { 0.0005, 0 }, { 0.5005, 0.2 }, { 1.0005, 1 } }) << false;
    QTest::newRow("one more point") << threePoints << (threePoints + Points({ { 1, 1 } })) << true;
    QTest::newRow("one point less") << threePoints << threePoints.mid(1) << true;
    QTest::newRow("y moved 0.002") << threePoints << Points({ { 0, 0 }, { 0.5, 0.202 }, { 1, 1 } }) << true;
    QTest::newRow("empty to empty") << Points() << Points() << false;
    QTest::newRow("empty to one point") << Points() << Points({ { 0.3, 0.3 } }) << true;
    QTest::newRow("points to empty") << threePoints << Points() << true;
}

void tst_CurveParam::setValue()
{
    QFETCH(Points, initial);
    QFETCH(Points, input);
    QFETCH(bool, changes);
    TParamCurve c(nullptr, "Curve", "", "", "");
    c.setValue(initial);
    QCOMPARE(c.value(), initial);
    QSignalSpy valueSpy(&c, &TParamCurve::valueChanged);
    QSignalSpy curveSpy(&c, &TParamCurve::curveChanged);
    QVERIFY(QMetaObject::invokeMethod(&c, "setValue", Q_ARG(QList<QPointF>, input)));
    QCOMPARE(c.value(), changes ? input : initial);
    QCOMPARE(valueSpy.count(), changes ? 1 : 0);
    QCOMPARE(curveSpy.count(), changes ? 1 : 0);
    if (changes)
        QCOMPARE(valueSpy.at(0).at(0).value<Points>(), input);
}

void tst_CurveParam::changeEmitsValueThenCurveAndLeavesStamp()
{
    TParamCurve c(nullptr, "Curve", "", "", "");
    c.setValue(threePoints);
    QStringList order;
    Points seenInValueChanged;
    connect(&c, &TParamCurve::valueChanged, this, [&](const Points &p) {
        order << "value";
        seenInValueChanged = c.value();
        QCOMPARE(p, c.value());
    });
    connect(&c, &TParamCurve::curveChanged, this, [&](const QImage &image) {
        order << "curve";
        QVERIFY(image.isNull());
    });
    TUidDepends record;
    record.addDepedentUid(c.uid());
    record.clean(nullptr);
    const auto idBefore = c.uid()->id();
    const Points more = threePoints + Points({ { 1, 1 } });
    c.setValue(more);
    QCOMPARE(order, QStringList({ "value", "curve" }));
    QCOMPARE(seenInValueChanged, more);
    QCOMPARE(c.uid()->id(), idBefore);
    QVERIFY(!record.dirty(nullptr));
}

void tst_CurveParam::pointsAreStoredInGivenOrder()
{
    TParamCurve c(nullptr, "Curve", "", "", "");
    const Points unsorted = { { 0.9, 0.1 }, { 0.1, 0.9 }, { 0.5, 0.5 }, { 0.1, 0.2 } };
    c.setValue(unsorted);
    QCOMPARE(c.value(), unsorted);
}

void tst_CurveParam::flatCurveIsDefault_data()
{
    QTest::addColumn<Points>("value");
    QTest::addColumn<Points>("preset");
    QTest::addColumn<bool>("isDefault");
    QTest::newRow("empty") << Points() << Points() << true;
    QTest::newRow("middle y 0.0004") << Points({ { 0, 0 }, { 0.5, 0.0004 }, { 1, 0 } }) << Points() << true;
    QTest::newRow("middle y 0.01") << Points({ { 0, 0 }, { 0.5, 0.01 }, { 1, 0 } }) << Points() << false;
    QTest::newRow("negative y -0.0009") << Points({ { 0, -0.0009 } }) << Points() << true;
    QTest::newRow("negative y -0.002") << Points({ { 0, -0.002 } }) << Points() << false;
    QTest::newRow("last point raised") << Points({ { 0, 0 }, { 1, 0.5 } }) << Points() << false;
    QTest::newRow("x plays no part") << Points({ { -7, 0 }, { 42, 0 } }) << Points() << true;
    QTest::newRow("preset plays no part: empty value") << Points() << threePoints << true;
    QTest::newRow("preset plays no part: value equals preset") << threePoints << threePoints << false;
}

void tst_CurveParam::flatCurveIsDefault()
{
    QFETCH(Points, value);
    QFETCH(Points, preset);
    QFETCH(bool, isDefault);
    TParamCurve c(nullptr, "Curve", "", "", "");
    c.presets()[0] = preset;
    c.setValue(value);
    QCOMPARE(c.bDefault(), isDefault);
    bool viaName = !isDefault;
    QVERIFY(QMetaObject::invokeMethod(&c, "bDefault", Q_RETURN_ARG(bool, viaName)));
    QCOMPARE(viaName, isDefault);
}

void tst_CurveParam::resetEmptiesCurveOnce()
{
    TParamCurve c(nullptr, "Curve", "", "", "");
    c.setValue(threePoints);
    QSignalSpy valueSpy(&c, &TParamCurve::valueChanged);
    QSignalSpy curveSpy(&c, &TParamCurve::curveChanged);
    TParam *base = &c;
    base->reset();
    QVERIFY(c.value().isEmpty());
    QCOMPARE(valueSpy.count(), 1);
    QCOMPARE(valueSpy.at(0).at(0).value<Points>(), Points());
    QCOMPARE(curveSpy.count(), 1);
    base->reset();
    QCOMPARE(valueSpy.count(), 1);
    QCOMPARE(curveSpy.count(), 1);
}

void tst_CurveParam::presetsApplyOnlyInRange()
{
    TParamCurve c(nullptr, "Curve", "", "", "");
    c.presets().append(threePoints);
    QSignalSpy valueSpy(&c, &TParamCurve::valueChanged);
    const auto idBefore = c.uid()->id();
    c.applyPreset(-1);
    c.applyPreset(2);
    QCOMPARE(valueSpy.count(), 0);
    c.applyPreset(1);
    QCOMPARE(c.value(), threePoints);
    QCOMPARE(valueSpy.count(), 1);
    c.applyPreset(1);
    QCOMPARE(valueSpy.count(), 1);
    QCOMPARE(c.uid()->id(), idBefore);
}

void tst_CurveParam::valueReadableByName()
{
    TParamCurve c(nullptr, "Curve", "", "", "");
    c.setValue(threePoints);
    Points read;
    QVERIFY(QMetaObject::invokeMethod(&c, "value", Q_RETURN_ARG(QList<QPointF>, read)));
    QCOMPARE(read, threePoints);
    c.presets().append(threePoints);
    QList<Points> presets;
    QVERIFY(QMetaObject::invokeMethod(&c, "presets", Q_RETURN_ARG(QList<QList<QPointF>>, presets)));
    QCOMPARE(presets, QList<Points>({ Points(), threePoints }));
    int count = 0;
    QVERIFY(QMetaObject::invokeMethod(&c, "numPresets", Q_RETURN_ARG(int, count)));
    QCOMPARE(count, 2);
}

FX_REGISTER_TEST(tst_CurveParam)
#include "tst_curveparam.moc"
