// The editor's window: bad files and recipes end in a message box and leave the edit alone,
// closing with unsaved edits asks, photos and recipes can be dropped on it, and the histogram
// follows edits.

#include "canvasview.h"
#include "histogrampanel.h"
#include "mainwindow.h"
#include "session.h"
#include "studiotest.h"
#include "testdata.h"
#include "testregistry.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <tfxstack.h>
#include <tparamfloat.h>

namespace {
std::unique_ptr<MainWindow> newWindow()
{
    auto window = StudioTest::makeQuietly<MainWindow>();
    window->resize(900, 600);
    return window;
}

// Presses button on the next message box that opens, and remembers its text.
class BoxAnswer : public QObject {
public:
    explicit BoxAnswer(QMessageBox::StandardButton button)
        : m_button(button)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            ++shown;
            if (QAbstractButton *b = box->button(m_button))
                b->click();
            else
                box->reject();
        });
        m_timer.start();
    }
    QString text;
    int shown = 0;

private:
    QMessageBox::StandardButton m_button;
    QTimer m_timer;
};

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void drop(QWidget *widget, const QString &path)
{
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(path) });
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropEvent(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &dropEvent);
}
}

class tst_MainWindow : public QObject {
    Q_OBJECT
private slots:
    void badInputEndsInAMessageBox_data();
    void badInputEndsInAMessageBox();
    void closingWithUnsavedEditsAsks_data();
    void closingWithUnsavedEditsAsks();
    void droppedPhotoAndRecipeOpen();
    void histogramFollowsEdits();
};

void tst_MainWindow::badInputEndsInAMessageBox_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("photo: not a picture") << "photo" << QByteArray("plain text, not pixels") << "photo.png";
    QTest::newRow("photo: truncated PNG") << "photo" << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << "photo.png";
    QTest::newRow("photo: missing") << "photo" << QByteArray() << "photo.png";
    QTest::newRow("recipe: missing plug-in")
        << "recipe" << QByteArray(R"({"version":1,"effects":[{"key":"Exposure"},{"key":"Solarise"}]})") << "Solarise";
    QTest::newRow("recipe: not JSON") << "recipe" << QByteArray("{ version: ") << "recipe.json";
}

// Each failure is one message box naming what failed; the photo and the stack stay as they were.
void tst_MainWindow::badInputEndsInAMessageBox()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    auto window = newWindow();
    QVERIFY(window->openSample(320, 200));
    QString error;
    QVERIFY(window->session()->addEffect(QStringLiteral("Tone"), error));
    QTemporaryDir dir;
    const QString path = dir.filePath(kind == "photo" ? "photo.png" : "recipe.json");
    if (!content.isEmpty())
        writeFile(path, content);
    BoxAnswer answer(QMessageBox::Ok);
    const bool ok = kind == "photo" ? window->openPhoto(path) : window->loadRecipe(path);
    QVERIFY(!ok);
    QCOMPARE(answer.shown, 1);
    QVERIFY2(answer.text.contains(expected), qPrintable(answer.text));
    QCOMPARE(window->session()->pictureSize(), QSize(320, 200));
    QCOMPARE(window->session()->stack()->numTFxs(), 1);
    QCOMPARE(window->session()->stack()->tfxPtr(0)->key(), QStringLiteral("Tone"));
}

void tst_MainWindow::closingWithUnsavedEditsAsks_data()
{
    QTest::addColumn<bool>("edited");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("nothing edited") << false << int(QMessageBox::Cancel) << true;
    QTest::newRow("edited, cancel") << true << int(QMessageBox::Cancel) << false;
    QTest::newRow("edited, discard") << true << int(QMessageBox::Discard) << true;
}

void tst_MainWindow::closingWithUnsavedEditsAsks()
{
    QFETCH(bool, edited);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    auto window = newWindow();
    window->show();
    QVERIFY(window->openSample(320, 200));
    QString error;
    if (edited)
        QVERIFY(window->session()->addEffect(QStringLiteral("Exposure"), error));
    BoxAnswer box { QMessageBox::StandardButton(answer) };
    QCOMPARE(window->close(), closes);
    QCOMPARE(box.shown, edited ? 1 : 0);
    QCOMPARE(window->isVisible(), !closes);
}

void tst_MainWindow::droppedPhotoAndRecipeOpen()
{
    FX_REQUIRE_SHARED_DATA("photos/chelsea.png");
    auto window = newWindow();
    drop(window.get(), sharedDataPath(QStringLiteral("photos/chelsea.png")));
    QCOMPARE(window->session()->pictureSize(), QImage(sharedDataPath(QStringLiteral("photos/chelsea.png"))).size());
    QTemporaryDir dir;
    writeFile(dir.filePath("edit.json"),
        R"({"version":1,"effects":[{"key":"Exposure","params":{"exposure":0.5}},{"key":"Sharpen"}]})");
    drop(window.get(), dir.filePath("edit.json"));
    QCOMPARE(window->session()->stack()->numTFxs(), 2);
    QVERIFY(!window->session()->isModified());
    QCOMPARE(
        window->session()->stack()->tfxPtr(0)->findChild<TParamFloat *>(QStringLiteral("exposure"))->value(), 0.5f);
}

// The chart is of the result in sight: it changes when an edit changes the picture.
void tst_MainWindow::histogramFollowsEdits()
{
    auto window = newWindow();
    window->show();
    QVERIFY(window->openSample(640, 400));
    HistogramPanel *histogram = window->histogramPanel();
    QTRY_VERIFY_WITH_TIMEOUT(!histogram->chart().isNull(), 3000);
    const QImage before = histogram->chart();
    const QString toneBefore = histogram->toneText();
    QString error;
    TFx *fx = window->session()->addEffect(QStringLiteral("Exposure"), error);
    QVERIFY(fx);
    fx->findChild<TParamFloat *>(QStringLiteral("exposure"))->setValue(2.0f);
    window->session()->noteEdited();
    QTRY_VERIFY_WITH_TIMEOUT(histogram->chart() != before, 3000);
    QVERIFY(!toneBefore.isEmpty());
}

FX_REGISTER_TEST(tst_MainWindow)
#include "tst_mainwindow.moc"
