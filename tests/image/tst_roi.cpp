#include "testregistry.h"
#include "troi.h"

#include <QtTest>

#include <array>

using TRoiArgs = std::array<int, 5>;
Q_DECLARE_METATYPE(TRoiArgs)

class tst_Roi : public QObject {
    Q_OBJECT
private slots:
    void constructorMakesOriginEven_data();
    void constructorMakesOriginEven();
    void setReportsWhetherOriginWasEven_data();
    void setReportsWhetherOriginWasEven();
    void emptiness_data();
    void emptiness();
    void makeInside_data();
    void makeInside();
    void makeInsideNeverReachesPastTheEdge();
    void equalityComparesAllFields();
};

void tst_Roi::constructorMakesOriginEven_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("wantX");
    QTest::addColumn<int>("wantY");
    QTest::newRow("odd positive truncates down") << 5 << 7 << 4 << 6;
    QTest::newRow("odd negative truncates toward zero") << -3 << -1 << -2 << 0;
    QTest::newRow("even stays") << 8 << -4 << 8 << -4;
}

void tst_Roi::constructorMakesOriginEven()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, wantX);
    QFETCH(int, wantY);
    const TRoi roi(10, 20, x, y, 2);
    QCOMPARE(roi.x(), wantX);
    QCOMPARE(roi.y(), wantY);
    QCOMPARE(roi.width(), 10);
    QCOMPARE(roi.height(), 20);
    QCOMPARE(roi.dec(), 2);
}

void tst_Roi::setReportsWhetherOriginWasEven_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("storedX");
    QTest::newRow("odd x") << 5 << 4 << false << 4;
    QTest::newRow("odd y") << 6 << 3 << false << 6;
    QTest::newRow("both even") << 6 << 4 << true << 6;
}

void tst_Roi::setReportsWhetherOriginWasEven()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, result);
    QFETCH(int, storedX);
    TRoi roi;
    QCOMPARE(roi.set(10, 10, x, y, 1), result);
    QCOMPARE(roi.x(), storedX);
}

void tst_Roi::emptiness_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("empty");
    QTest::newRow("default size") << 0 << 0 << true;
    QTest::newRow("zero width") << 0 << 5 << true;
    QTest::newRow("zero height") << 5 << 0 << true;
    QTest::newRow("negative width") << -3 << 5 << true;
    QTest::newRow("both negative") << -3 << -5 << false;
    QTest::newRow("one pixel") << 1 << 1 << false;
    QTest::newRow("product wraps negative") << 65536 << 32768 << true;
}

void tst_Roi::emptiness()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, empty);
    QCOMPARE(TRoi(width, height, 0, 0, 1).bEmpty(), empty);
}

void tst_Roi::makeInside_data()
{
    QTest::addColumn<TRoiArgs>("in");
    QTest::addColumn<TRoiArgs>("out");
    // width, height, x, y, dec
    QTest::newRow("too wide at dec 2") << TRoiArgs{ 60, 50, 50, 0, 2 } << TRoiArgs{ 25, 40, 50, 0, 2 };
    QTest::newRow("origin past the right edge") << TRoiArgs{ 10, 10, 120, 0, 1 } << TRoiArgs{ 0, 10, 100, 0, 1 };
    QTest::newRow("dec above 32 is clamped") << TRoiArgs{ 2, 2, 0, 0, 40 } << TRoiArgs{ 2, 2, 0, 0, 32 };
    QTest::newRow("negative origin") << TRoiArgs{ 10, 10, -10, -20, 1 } << TRoiArgs{ 10, 10, 0, 0, 1 };
    QTest::newRow("negative width") << TRoiArgs{ -5, 10, 0, 0, 1 } << TRoiArgs{ 0, 10, 0, 0, 1 };
    QTest::newRow("inside stays") << TRoiArgs{ 50, 40, 0, 0, 2 } << TRoiArgs{ 50, 40, 0, 0, 2 };
}

void tst_Roi::makeInside()
{
    QFETCH(TRoiArgs, in);
    QFETCH(TRoiArgs, out);
    TRoi roi(in[0], in[1], in[2], in[3], in[4]);
    roi.makeInside(100, 80);
    QCOMPARE(roi.width(), out[0]);
    QCOMPARE(roi.height(), out[1]);
    QCOMPARE(roi.x(), out[2]);
    QCOMPARE(roi.y(), out[3]);
    QCOMPARE(roi.dec(), out[4]);
}

void tst_Roi::makeInsideNeverReachesPastTheEdge()
{
    for (int dec = -2; dec <= 40; dec += 3) {
        for (int x = -10; x <= 110; x += 17) {
            TRoi roi(200, 200, x, x / 2, dec);
            roi.makeInside(100, 80);
            QVERIFY(roi.dec() >= 1 && roi.dec() <= 32);
            QVERIFY2(roi.x() + roi.dec() * roi.width() <= 100, qPrintable(QString::number(dec)));
            QVERIFY(roi.y() + roi.dec() * roi.height() <= 80);
            QVERIFY(roi.width() >= 0 && roi.height() >= 0);
        }
    }
}

void tst_Roi::equalityComparesAllFields()
{
    const TRoi a(10, 20, 4, 6, 2);
    QVERIFY(a == TRoi(10, 20, 4, 6, 2));
    QVERIFY(a == TRoi(10, 20, 5, 7, 2)); // the same after making the origin even
    QVERIFY(!(a == TRoi(11, 20, 4, 6, 2)));
    QVERIFY(!(a == TRoi(10, 21, 4, 6, 2)));
    QVERIFY(!(a == TRoi(10, 20, 6, 6, 2)));
    QVERIFY(!(a == TRoi(10, 20, 4, 8, 2)));
    QVERIFY(!(a == TRoi(10, 20, 4, 6, 3)));
    TRoi b;
    b = a;
    QVERIFY(b == a);
}

FX_REGISTER_TEST(tst_Roi)
#include "tst_roi.moc"
