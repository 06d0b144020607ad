// The draw-mask parameter: its brush step, forwarding to the mask engine (also by name, with
// the defaults of the meta-object), and reading the mask back.
#include "tdrawmask.h"
#include "testregistry.h"
#include "tparamdrawmask.h"
#include "tpimage.h"
#include "troi.h"

#include <QtTest>

class tst_ParamDrawMask : public QObject {
    Q_OBJECT
private slots:
    void brushStep_data()
    {
        QTest::addColumn<uint>("size");
        QTest::addColumn<uint>("sizeIn");
        QTest::addColumn<int>("step");
        QTest::newRow("10, 4") << 10u << 4u << 2;
        QTest::newRow("inner larger") << 0u << 10u << 4;
        QTest::newRow("no inner") << 100u << 0u << 20;
        QTest::newRow("equal") << 100u << 100u << 40;
        QTest::newRow("zero") << 0u << 0u << 1;
        QTest::newRow("one") << 1u << 0u << 1;
        QTest::newRow("rounded down") << 7u << 7u << 2;
        QTest::newRow("largest") << 4000000000u << 4000000000u << 1600000000;
    }

    void brushStep()
    {
        QFETCH(uint, size);
        QFETCH(uint, sizeIn);
        QFETCH(int, step);
        TParamDrawMask param(nullptr, "Mask", "Mask", "brush", QString(), nullptr);
        QCOMPARE(param.brushStep(size, sizeIn), step);
    }

    // Without an engine every slot is harmless and the parameter stays at its default.
    void withoutEngine()
    {
        TParamDrawMask param(nullptr, "Mask", "Mask", "brush", QString(), nullptr);
        const auto stamp = param.uid()->id();
        param.setValue(3);
        param.invert();
        param.drawStart();
        param.drawADot(QPoint(1, 1), 0, 5);
        param.drawEnd();
        param.undo();
        param.reset();
        QVERIFY(param.bDefault());
        QCOMPARE(param.numPresets(), 0);
        QCOMPARE(param.uid()->id(), stamp);
        QVERIFY(param.getMask(TRoi(4, 4, 0, 0, 1), 1.0f).isNull());
    }

    // Edits reach the engine, through C++ and by name with the defaults; the mask reads back
    // clipped to the picture, at the level's colour-plane resolution, scaled by value.
    void forwardsAndReadsBack()
    {
        TPImage picture(40, 30);
        picture.m_lum.setTo(30000);
        picture.m_c1.setTo(32768);
        picture.m_c2.setTo(32768);
        TDrawMask engine;
        engine.setInImage(&picture, false);
        TParamDrawMask param(nullptr, "Mask", "Mask", "brush", QString(), &engine);
        QCOMPARE(param.getMask(TRoi(10, 10, 0, 0, 1), 1.0f).size(), QSize(0, 0));
        param.setValue(200);
        param.setBlendMode(3);
        param.drawVignetteMask(QPoint(5, 5), 10, 1, 1);
        QVERIFY(engine.proc());
        QVERIFY(engine.m_changed);
        // Past the right and bottom edges: clipped to 40 - 30 = 10 by 30 - 20 = 10, at dec 1 the
        // colour-plane resolution is 5 by 5.
        const QImage mask = param.getMask(TRoi(20, 20, 30, 20, 1), 0.5f);
        QCOMPARE(mask.size(), QSize(5, 5));
        QCOMPARE(mask.format(), QImage::Format_Indexed8);
        QCOMPARE(int(mask.constScanLine(4)[4]), 100);
        QVERIFY(QMetaObject::invokeMethod(&param, "invert"));
        QVERIFY(QMetaObject::invokeMethod(&param, "setMaskBlendMode"));
        QVERIFY(engine.proc());
        QCOMPARE(int(param.getMask(TRoi(2, 2, 0, 0, 1), 1.0f).constScanLine(0)[0]), 55);
        QVERIFY(QMetaObject::invokeMethod(&param, "applyButtonClicked"));
        param.reset();
        QVERIFY(engine.proc());
        QCOMPARE(param.getMask(TRoi(10, 10, 0, 0, 1), 1.0f).size(), QSize(0, 0));
    }
};

FX_REGISTER_TEST(tst_ParamDrawMask)
#include "tst_paramdrawmask.moc"
