// The canvas: which view level a zoom shows, the region in sight, coalesced renders, and
// painting a mask with the mouse.

#include "canvasview.h"
#include "masktools.h"
#include "session.h"
#include "studiotest.h"
#include "testregistry.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <tfxstack.h>
#include <tparamfloat.h>

namespace {
struct Canvas {
    std::unique_ptr<Session> session;
    std::unique_ptr<MaskTools> tools;
    std::unique_ptr<CanvasView> view;
};

// A canvas of viewSize on a sample picture of pictureSize, fitted and rendered once.
Canvas makeCanvas(const QSize &picture, const QSize &viewSize)
{
    Canvas c;
    c.session = StudioTest::makeQuietly<Session>();
    c.tools = std::make_unique<MaskTools>();
    c.view = std::make_unique<CanvasView>(c.session.get(), c.tools.get());
    c.view->resize(viewSize);
    QString error;
    c.session->openSample(picture.width(), picture.height(), error);
    c.view->render();
    return c;
}

}

class tst_Canvas : public QObject {
    Q_OBJECT
private slots:
    void decimationForZoom_data();
    void decimationForZoom();
    void regionInSight_data();
    void regionInSight();
    void rendersAreCoalescedAndShowTheViewLevel();
    void brushStrokePaintsTheCurrentMask();
    void gradientDragAndPanNeedNoEffect();
};

void tst_Canvas::decimationForZoom_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("dec");
    QTest::newRow("zoomed in") << 3.0 << 1;
    QTest::newRow("100 %") << 1.0 << 1;
    QTest::newRow("just below 100 %") << 0.99 << 1;
    QTest::newRow("50 %") << 0.5 << 2;
    QTest::newRow("a third, in floating point") << 1.0 / 3.0 << 3;
    QTest::newRow("26 %") << 0.26 << 3;
    QTest::newRow("25 %") << 0.25 << 4;
    QTest::newRow("fit of 6000 in 1184") << 1184.0 / 6000.0 << 5;
    QTest::newRow("beyond the coarsest level") << 0.01 << 32;
    QTest::newRow("nothing") << 0.0 << 32;
}

// The coarsest level that still has at least one level pixel per screen pixel.
void tst_Canvas::decimationForZoom()
{
    QFETCH(double, scale);
    QFETCH(int, dec);
    QCOMPARE(CanvasView::decimationFor(scale), dec);
    if (dec < CanvasView::maxDecimation && scale > 0.0)
        QVERIFY(dec * scale <= 1.0 + 1e-9 || dec == 1);
}

void tst_Canvas::regionInSight_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QPoint>("anchor");
    QTest::addColumn<QPoint>("pan");
    QTest::addColumn<QRect>("expected"); // full-resolution region
    QTest::addColumn<int>("dec");
    // A 1200 x 800 picture in a 600 x 400 canvas.
    QTest::newRow("fit") << 0.0 << QPoint() << QPoint() << QRect(0, 0, 1200, 800) << 2;
    QTest::newRow("100 % about the centre") << 1.0 << QPoint(300, 200) << QPoint() << QRect(300, 200, 600, 400) << 1;
    QTest::newRow("100 %, panned left and up")
        << 1.0 << QPoint(300, 200) << QPoint(101, 51) << QRect(198, 148, 601, 401) << 1;
    QTest::newRow("panned past the corner")
        << 1.0 << QPoint(300, 200) << QPoint(5000, 5000) << QRect(0, 0, 600, 400) << 1;
    QTest::newRow("panned past the far corner")
        << 1.0 << QPoint(300, 200) << QPoint(-5000, -5000) << QRect(600, 400, 600, 400) << 1;
    QTest::newRow("200 % about the top left") << 2.0 << QPoint(0, 0) << QPoint() << QRect(0, 0, 300, 200) << 1;
}

void tst_Canvas::regionInSight()
{
    QFETCH(double, scale);
    QFETCH(QPoint, anchor);
    QFETCH(QPoint, pan);
    QFETCH(QRect, expected);
    QFETCH(int, dec);
    Canvas c = makeCanvas(QSize(1200, 800), QSize(600, 400));
    if (scale > 0.0)
        c.view->zoomTo(scale, anchor);
    c.view->panBy(pan);
    const TRoi roi = c.view->visibleRegion();
    QCOMPARE(roi.dec(), dec);
    QCOMPARE(QRect(roi.x(), roi.y(), roi.width() * dec, roi.height() * dec), expected);
    QCOMPARE(roi.x() % 2, 0);
    QCOMPARE(roi.y() % 2, 0);
    // What is rendered is that level, not the whole picture.
    c.view->render();
    QCOMPARE(c.view->shownImage().size(), QSize(roi.width(), roi.height()));
    // Every screen pixel of the canvas maps into the region (or off the picture).
    const QPointF topLeft = c.view->toPicture(QPointF(0, 0));
    QVERIFY(topLeft.x() >= roi.x() - 1e-9 || topLeft.x() < 0);
    QVERIFY(topLeft.y() >= roi.y() - 1e-9 || topLeft.y() < 0);
}

// A burst of requests makes one render a frame later; an edit shows in the next render.
void tst_Canvas::rendersAreCoalescedAndShowTheViewLevel()
{
    Canvas c = makeCanvas(QSize(1200, 800), QSize(600, 400));
    QSignalSpy rendered(c.view.get(), &CanvasView::rendered);
    const QImage before = c.view->shownImage();
    QString error;
    TFx *fx = c.session->addEffect(QStringLiteral("Exposure"), error);
    QVERIFY(fx);
    for (int i = 0; i < 10; ++i) {
        fx->findChild<TParamFloat *>(QStringLiteral("exposure"))->setValue(0.1f * float(i + 1));
        c.session->noteEdited();
    }
    QCOMPARE(rendered.count(), 0);
    QVERIFY(rendered.wait(1000));
    QTest::qWait(3 * CanvasView::frameMs);
    QCOMPARE(rendered.count(), 1);
    QVERIFY(c.view->shownImage() != before);
    QCOMPARE(c.view->shownImage().size(), QSize(600, 400));
    // Before shows the picture as it came.
    c.view->setShowBefore(true);
    QVERIFY(rendered.wait(1000));
    QVERIFY(c.view->shownImage() == before);
}

// Brush dabs go to the current effect's mask as one stroke; the eraser takes them out again.
void tst_Canvas::brushStrokePaintsTheCurrentMask()
{
    Canvas c = makeCanvas(QSize(1200, 800), QSize(600, 400));
    QString error;
    QVERIFY(c.session->addEffect(QStringLiteral("Exposure"), error));
    QVERIFY(c.session->addEffect(QStringLiteral("Tone"), error));
    c.session->setCurrent(0);
    c.tools->setTool(MaskTools::Brush);
    c.tools->setBrushRadius(30);
    QSignalSpy painted(c.view.get(), &CanvasView::maskPainted);
    StudioTest::sendMouse(c.view.get(), QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton);
    for (int x = 120; x <= 300; x += 20)
        StudioTest::sendMouse(c.view.get(), QEvent::MouseMove, QPoint(x, 100 + x / 4), Qt::LeftButton);
    StudioTest::sendMouse(c.view.get(), QEvent::MouseButtonRelease, QPoint(300, 175), Qt::NoButton);
    QCOMPARE(painted.count(), 11);
    // A brush on an undrawn mask first empties it, so that it paints the effect in.
    QCOMPARE(c.session->maskOperations(0).size(), 2);
    QCOMPARE(c.session->maskOperations(0).at(0).toObject().value("op").toString(), QStringLiteral("fill"));
    QCOMPARE(c.session->maskOperations(1).size(), 0);
    const QJsonObject stroke = c.session->maskOperations(0).at(1).toObject();
    QCOMPARE(stroke.value("op").toString(), QStringLiteral("stroke"));
    QCOMPARE(stroke.value("points").toArray().size(), 11);
    // Canvas (100, 100) at scale 0.5 is picture (200, 200).
    QCOMPARE(stroke.value("points").toArray().at(0).toArray().at(0).toDouble(), 200.0 / 1200.0);
    QCOMPARE(stroke.value("radius").toDouble(), 30.0 / 1200.0);
    c.view->render();
    const QImage mask = c.session->currentMask(TRoi(1200, 800, 0, 0, 1));
    QVERIFY(!mask.isNull());
    // The colour planes are half resolution: picture (200, 200) is mask pixel (100, 100).
    QCOMPARE(int(mask.constScanLine(100)[100]), 255);
    QCOMPARE(int(mask.constScanLine(350)[550]), 0);

    c.tools->setTool(MaskTools::Eraser);
    StudioTest::sendMouse(c.view.get(), QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton);
    StudioTest::sendMouse(c.view.get(), QEvent::MouseButtonRelease, QPoint(100, 100), Qt::NoButton);
    c.view->render();
    QCOMPARE(int(c.session->currentMask(TRoi(1200, 800, 0, 0, 1)).constScanLine(100)[100]), 0);
    QCOMPARE(c.session->maskOperations(0).size(), 3);
}

void tst_Canvas::gradientDragAndPanNeedNoEffect()
{
    Canvas c = makeCanvas(QSize(1200, 800), QSize(600, 400));
    QSignalSpy messages(c.view.get(), &CanvasView::message);
    c.tools->setTool(MaskTools::Gradient);
    StudioTest::sendMouse(c.view.get(), QEvent::MouseButtonPress, QPoint(50, 50), Qt::LeftButton);
    QCOMPARE(messages.count(), 1);
    QString error;
    QVERIFY(c.session->addEffect(QStringLiteral("Exposure"), error));
    StudioTest::sendMouse(c.view.get(), QEvent::MouseButtonPress, QPoint(50, 50), Qt::LeftButton);
    StudioTest::sendMouse(c.view.get(), QEvent::MouseMove, QPoint(250, 300), Qt::LeftButton);
    StudioTest::sendMouse(c.view.get(), QEvent::MouseButtonRelease, QPoint(250, 300), Qt::NoButton);
    QCOMPARE(c.session->maskOperations(0).size(), 1);
    QCOMPARE(c.session->maskOperations(0).at(0).toObject().value("op").toString(), QStringLiteral("gradient"));
    // Panning by dragging moves the region at 100 %.
    c.tools->setTool(MaskTools::Pan);
    c.view->zoomActualSize();
    const TRoi before = c.view->visibleRegion();
    StudioTest::sendMouse(c.view.get(), QEvent::MouseButtonPress, QPoint(300, 200), Qt::LeftButton);
    StudioTest::sendMouse(c.view.get(), QEvent::MouseMove, QPoint(200, 150), Qt::LeftButton);
    StudioTest::sendMouse(c.view.get(), QEvent::MouseButtonRelease, QPoint(200, 150), Qt::NoButton);
    const TRoi after = c.view->visibleRegion();
    QCOMPARE(after.x() - before.x(), 100);
    QCOMPARE(after.y() - before.y(), 50);
    QCOMPARE(c.session->maskOperations(0).size(), 1);
}

FX_REGISTER_TEST(tst_Canvas)
#include "tst_canvas.moc"
