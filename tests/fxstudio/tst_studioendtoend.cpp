// fxstudio as a user meets it, on a real window system when there is one (run under Xvfb):
// open a photo, add two effects from the stack panel, move their sliders with the keyboard and
// the mouse, paint a stroke on the canvas, save the recipe and export. fxhost then applies the
// saved recipe to the same photo, and its result must have the same pixels as the export.
//
// With FXSTUDIO_SCREENSHOTS set to a folder, pictures of the window are saved there.

#include "canvasview.h"
#include "mainwindow.h"
#include "masktools.h"
#include "parampanel.h"
#include "session.h"
#include "stackpanel.h"
#include "studiotest.h"
#include "testdata.h"
#include "testregistry.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QProcess>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <tfxstack.h>
#include <tparamfloat.h>

namespace {
void screenshot(QWidget *window, const char *name)
{
    const QString dir = qEnvironmentVariable("FXSTUDIO_SCREENSHOTS");
    if (dir.isEmpty())
        return;
    QTest::qWait(300);
    window->grab().save(dir + QStringLiteral("/fxstudio-") + QLatin1String(name) + QStringLiteral(".png"));
}

// Chooses key in the stack panel's list of effects and presses Add.
void addFromPanel(MainWindow &window, const QString &key)
{
    auto *available = window.stackPanel()->findChild<QComboBox *>(QStringLiteral("available"));
    auto *add = window.stackPanel()->findChild<QAbstractButton *>(QStringLiteral("add"));
    QVERIFY(available && add);
    const int index = available->findText(key);
    QVERIFY2(index >= 0, qPrintable(key));
    available->setCurrentIndex(index);
    QTest::mouseClick(add, Qt::LeftButton);
}

QSlider *slider(MainWindow &window, const char *key)
{
    return window.paramPanel()->findChild<QSlider *>(QLatin1String(key));
}

// Waits until the canvas has rendered what was asked of it.
bool settled(MainWindow &window)
{
    QSignalSpy rendered(window.canvas(), &CanvasView::rendered);
    return rendered.wait(5000);
}
}

class tst_StudioEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void editedPhotoExportsAsFxhostAppliesItsRecipe();
};

void tst_StudioEndToEnd::editedPhotoExportsAsFxhostAppliesItsRecipe()
{
    FX_REQUIRE_SHARED_DATA("photos/coffee.png");
    const QString photo = sharedDataPath(QStringLiteral("photos/coffee.png"));
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> window = StudioTest::makeQuietly<MainWindow>();
    window->setQuiet(true);
    window->resize(1500, 1000);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // Shortcuts go to the active window; without a window manager nobody else activates it.
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    QCOMPARE(QApplication::activeWindow(), window.get());
    QVERIFY(window->openPhoto(photo));
    QVERIFY(settled(*window));
    QVERIFY(window->canvas()->fitting());
    screenshot(window.get(), "opened");

    // Two effects from the panel, each set by moving its sliders.
    addFromPanel(*window, QStringLiteral("Exposure"));
    QCOMPARE(window->session()->stack()->numTFxs(), 1);
    QSlider *exposure = slider(*window, "exposure");
    QVERIFY(exposure);
    QTest::keyClick(exposure, Qt::Key_PageUp);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(exposure, Qt::Key_Right);
    QVERIFY(settled(*window));
    const float exposureValue
        = window->session()->stack()->tfxPtr(0)->findChild<TParamFloat *>(QStringLiteral("exposure"))->value();
    QVERIFY(exposureValue > 0.0f);

    addFromPanel(*window, QStringLiteral("Colour"));
    QCOMPARE(window->session()->stack()->numTFxs(), 2);
    QCOMPARE(window->session()->current(), 1);
    QSlider *saturation = slider(*window, "saturation");
    QVERIFY(saturation);
    // A click on the groove to the right of the handle steps the value up.
    QTest::mouseClick(
        saturation, Qt::LeftButton, Qt::NoModifier, QPoint(saturation->width() - 4, saturation->height() / 2));
    QVERIFY(settled(*window));
    QVERIFY(
        window->session()->stack()->tfxPtr(1)->findChild<TParamFloat *>(QStringLiteral("saturation"))->value() > 0.0f);

    // The Exposure is painted in along a stroke: choose it, switch its mask on, brush.
    auto *list = window->stackPanel()->findChild<QListWidget *>(QStringLiteral("stack"));
    QVERIFY(list && list->count() == 2);
    list->setCurrentRow(0);
    QCOMPARE(window->session()->current(), 0);
    list->item(0)->setCheckState(Qt::Checked);
    QVERIFY(window->session()->isMasked(0));
    QTest::mouseClick(window->maskTools()->findChild<QAbstractButton *>(QStringLiteral("tool/brush")), Qt::LeftButton);
    QCOMPARE(window->maskTools()->tool(), MaskTools::Brush);
    CanvasView *canvas = window->canvas();
    const QPoint start = canvas->rect().center() - QPoint(150, 40);
    StudioTest::sendMouse(canvas, QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (int step = 1; step <= 12; ++step)
        StudioTest::sendMouse(canvas, QEvent::MouseMove, start + QPoint(25 * step, 6 * step), Qt::LeftButton);
    screenshot(window.get(), "painting");
    StudioTest::sendMouse(canvas, QEvent::MouseButtonRelease, start + QPoint(300, 72), Qt::NoButton);
    // The brush starts the mask empty, then paints the effect in along the stroke.
    QCOMPARE(window->session()->maskOperations(0).size(), 2);
    QVERIFY(settled(*window));
    window->action(QStringLiteral("overlay"))->trigger();
    QVERIFY(canvas->maskOverlay());
    screenshot(window.get(), "mask");
    window->action(QStringLiteral("overlay"))->trigger();

    // Undo and redo with the keyboard leave the stroke in place.
    QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Z")));
    QCOMPARE(window->session()->maskOperations(0).size(), 1);
    QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    QCOMPARE(window->session()->maskOperations(0).size(), 2);
    QVERIFY(settled(*window));
    screenshot(window.get(), "edited");

    const QString recipePath = dir.filePath(QStringLiteral("edit.json"));
    const QString exportPath = dir.filePath(QStringLiteral("studio.png"));
    QVERIFY(window->saveRecipe(recipePath));
    QVERIFY(!window->session()->isModified());
    OutputProfile profile;
    QString error;
    QVERIFY(HostOutput::profile(QStringLiteral("sRGB"), profile, error));
    QCOMPARE(window->exportTo(exportPath, 8, profile), HostOutput::Written);

    const QString hostPath = dir.filePath(QStringLiteral("fxhost.png"));
    QProcess fxhost;
    fxhost.start(QStringLiteral(FXHOST_PATH),
        { QStringLiteral("apply"), QStringLiteral("--quiet"), QStringLiteral("--recipe"), recipePath, photo,
            QStringLiteral("-o"), hostPath });
    QVERIFY(fxhost.waitForFinished(120000));
    QVERIFY2(fxhost.exitCode() == 0, fxhost.readAllStandardError().constData());
    const QImage studio(exportPath), host(hostPath);
    QVERIFY(!studio.isNull());
    QCOMPARE(studio.size(), host.size());
    QVERIFY(studio.convertToFormat(QImage::Format_RGB32) == host.convertToFormat(QImage::Format_RGB32));
    // And the edit did something, and only where painted in the Exposure's case.
    QVERIFY(studio.convertToFormat(QImage::Format_RGB32) != QImage(photo).convertToFormat(QImage::Format_RGB32));
}

FX_REGISTER_TEST(tst_StudioEndToEnd)
#include "tst_studioendtoend.moc"
