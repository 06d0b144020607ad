#include "mainwindow.h"

#include "canvasview.h"
#include "exportdialog.h"
#include "histogrampanel.h"
#include "masktools.h"
#include "parampanel.h"
#include "session.h"
#include "stackpanel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QVBoxLayout>
#include <tfxstack.h>

namespace {
// The histogram follows edits once they pause, so that it never slows a drag.
constexpr int histogramDelayMs = 150;
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_session(new Session(this))
    , m_maskTools(new MaskTools)
    , m_status(new QLabel)
{
    setObjectName(QStringLiteral("fxstudio"));
    m_canvas = new CanvasView(m_session, m_maskTools, this);
    setCentralWidget(m_canvas);
    setAcceptDrops(true);
    buildDocks();
    buildMenus();
    wireSession();
    statusBar()->addPermanentWidget(m_status);
    m_histogramTimer.setSingleShot(true);
    m_histogramTimer.setInterval(histogramDelayMs);
    connect(&m_histogramTimer, &QTimer::timeout, this, &MainWindow::updateHistogram);
    resize(1500, 1000);
    updateTitle();
}

MainWindow::~MainWindow()
{
    // The panels hold pointers into the stack, which the session owns.
    m_paramPanel->setEffect(nullptr);
    m_stackPanel->setStack(nullptr);
}

void MainWindow::buildDocks()
{
    m_stackPanel = new StackPanel;
    m_paramPanel = new ParamPanel;
    m_histogram = new HistogramPanel;

    auto *stackDock = new QDockWidget(tr("Effects"), this);
    stackDock->setObjectName(QStringLiteral("dock/effects"));
    stackDock->setWidget(m_stackPanel);
    addDockWidget(Qt::LeftDockWidgetArea, stackDock);

    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setWidget(m_paramPanel);
    auto *paramDock = new QDockWidget(tr("Parameters"), this);
    paramDock->setObjectName(QStringLiteral("dock/parameters"));
    paramDock->setWidget(scroll);
    addDockWidget(Qt::LeftDockWidgetArea, paramDock);

    auto *maskDock = new QDockWidget(tr("Mask"), this);
    maskDock->setObjectName(QStringLiteral("dock/mask"));
    maskDock->setWidget(m_maskTools);
    addDockWidget(Qt::RightDockWidgetArea, maskDock);

    auto *histogramDock = new QDockWidget(tr("Histogram"), this);
    histogramDock->setObjectName(QStringLiteral("dock/histogram"));
    histogramDock->setWidget(m_histogram);
    addDockWidget(Qt::RightDockWidgetArea, histogramDock);
    // A stack is a few rows; parameters take most of the height.
    resizeDocks({ stackDock, paramDock }, { 250, 650 }, Qt::Vertical);
}

void MainWindow::buildMenus()
{
    const auto add = [this](QMenu *menu, const QString &name, const QString &text, const QKeySequence &key, auto slot) {
        auto *action = new QAction(text, this);
        action->setObjectName(name);
        if (!key.isEmpty())
            action->setShortcut(key);
        menu->addAction(action);
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu *file = menuBar()->addMenu(tr("&File"));
    add(file, "open", tr("&Open photo…"), QKeySequence::Open, [this] { askOpen(); });
    add(file, "openRecipe", tr("Open &recipe…"), QKeySequence(QStringLiteral("Ctrl+Shift+O")),
        [this] { askOpenRecipe(); });
    add(file, "saveRecipe", tr("&Save recipe"), QKeySequence::Save, [this] { askSaveRecipe(false); });
    add(file, "saveRecipeAs", tr("Save recipe &as…"), QKeySequence(QStringLiteral("Ctrl+Shift+S")),
        [this] { askSaveRecipe(true); });
    add(file, "export", tr("&Export…"), QKeySequence(QStringLiteral("Ctrl+E")), [this] { askExport(); });
    file->addSeparator();
    add(file, "quit", tr("&Quit"), QKeySequence::Quit, [this] { close(); });

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, "undo", tr("&Undo mask edit"), QKeySequence(QStringLiteral("Ctrl+Z")), [this] { undoMask(); });
    add(edit, "redo", tr("&Redo mask edit"), QKeySequence(QStringLiteral("Ctrl+Shift+Z")), [this] { redoMask(); });

    QMenu *view = menuBar()->addMenu(tr("&View"));
    add(view, "fit", tr("&Fit"), QKeySequence(QStringLiteral("Ctrl+0")), [this] { m_canvas->zoomToFit(); });
    add(view, "actualSize", tr("&100 %"), QKeySequence(QStringLiteral("Ctrl+1")),
        [this] { m_canvas->zoomActualSize(); });
    add(view, "zoomIn", tr("Zoom &in"), QKeySequence::ZoomIn, [this] { m_canvas->zoomIn(); });
    add(view, "zoomOut", tr("Zoom &out"), QKeySequence::ZoomOut, [this] { m_canvas->zoomOut(); });
    QAction *before = add(view, "before", tr("&Before"), QKeySequence(QStringLiteral("\\")),
        [this](bool on) { m_canvas->setShowBefore(on); });
    before->setCheckable(true);
    QAction *overlay = add(view, "overlay", tr("Show &mask"), QKeySequence(QStringLiteral("M")),
        [this](bool on) { m_canvas->setMaskOverlay(on); });
    overlay->setCheckable(true);
    connect(m_maskTools, &MaskTools::overlayToggled, overlay, &QAction::setChecked);
    connect(overlay, &QAction::toggled, m_canvas, &CanvasView::setMaskOverlay);
    connect(overlay, &QAction::toggled, m_maskTools, &MaskTools::setOverlayShown);
    connect(m_stackPanel, &StackPanel::beforeAfterToggled, before, &QAction::setChecked);
    connect(before, &QAction::toggled, m_canvas, &CanvasView::setShowBefore);
    // The panel's Before button shows the state however it was switched.
    if (auto *button = m_stackPanel->findChild<QAbstractButton *>(QStringLiteral("beforeAfter"))) {
        connect(before, &QAction::toggled, button, [button](bool on) {
            const QSignalBlocker quiet(button);
            button->setChecked(on);
        });
    }
}

QAction *MainWindow::action(const QString &name) const { return findChild<QAction *>(name); }

void MainWindow::wireSession()
{
    m_stackPanel->setStack(m_session->stack());
    m_stackPanel->setAvailableEffects(m_session->availableEffects());
    connect(m_stackPanel, &StackPanel::addRequested, this, [this](const QString &key) {
        QString error;
        if (!m_session->addEffect(key, error))
            showError(tr("Add effect"), error);
    });
    connect(m_stackPanel, &StackPanel::removeRequested, m_session, &Session::removeEffect);
    connect(m_stackPanel, &StackPanel::moveRequested, m_session, &Session::moveEffect);
    connect(m_stackPanel, &StackPanel::maskingToggled, m_session, &Session::setMasked);
    connect(m_stackPanel, &StackPanel::currentRequested, m_session, &Session::setCurrent);
    connect(m_session->stack(), &TfxStack::currentTfxChanged, this, &MainWindow::currentChanged);
    connect(m_session, &Session::stackChanged, this, &MainWindow::stackChanged);
    connect(m_session, &Session::pictureChanged, this, &MainWindow::updateTitle);
    connect(m_session, &Session::modifiedChanged, this, &MainWindow::updateTitle);
    connect(m_paramPanel, &ParamPanel::edited, m_session, &Session::noteEdited);

    connect(m_maskTools, &MaskTools::invertRequested, this, [this] { drawOnCurrent({ { "op", "invert" } }); });
    connect(m_maskTools, &MaskTools::featherRequested, this,
        [this] { drawOnCurrent(m_maskTools->featherOp(m_session->pictureSize())); });
    connect(m_maskTools, &MaskTools::undoRequested, this, &MainWindow::undoMask);
    connect(m_maskTools, &MaskTools::redoRequested, this, &MainWindow::redoMask);
    connect(m_canvas, &CanvasView::colourPicked, m_maskTools, &MaskTools::setPickedColour);
    connect(
        m_canvas, &CanvasView::message, this, [this](const QString &text) { statusBar()->showMessage(text, 4000); });
    connect(m_canvas, &CanvasView::rendered, this, [this] {
        m_histogramTimer.start();
        updateStatus();
    });
    connect(m_canvas, &CanvasView::zoomChanged, this, &MainWindow::updateStatus);
}

void MainWindow::stackChanged()
{
    m_stackPanel->refresh();
    currentChanged(m_session->current());
}

void MainWindow::currentChanged(int index)
{
    TfxStack *stack = m_session->stack();
    m_paramPanel->setEffect(index >= 0 && index < stack->numTFxs() ? stack->tfxPtr(index) : nullptr);
    if (m_canvas->maskOverlay())
        m_canvas->requestRender();
}

void MainWindow::updateHistogram()
{
    if (TPImage *view = m_canvas->showsBefore() ? nullptr : m_session->viewResult())
        m_histogram->showImage(*view);
    else
        m_histogram->clear();
}

void MainWindow::updateTitle()
{
    const QString name = m_session->hasPicture()
        ? (m_session->picturePath().isEmpty() ? tr("sample") : QFileInfo(m_session->picturePath()).fileName())
        : tr("no photo");
    setWindowTitle(QStringLiteral("%1[*] — fxstudio").arg(name));
    setWindowModified(m_session->isModified());
}

void MainWindow::updateStatus()
{
    if (!m_session->hasPicture()) {
        m_status->clear();
        return;
    }
    const TRoi roi = m_canvas->shownRegion();
    m_status->setText(tr("%1 × %2   zoom %3 %   view 1:%4")
                          .arg(m_session->pictureSize().width())
                          .arg(m_session->pictureSize().height())
                          .arg(m_canvas->scale() * 100.0, 0, 'f', 1)
                          .arg(roi.dec()));
}

void MainWindow::showError(const QString &title, const QString &text)
{
    m_lastError = text;
    if (m_quiet)
        qWarning("%s: %s", qPrintable(title), qPrintable(text));
    else
        QMessageBox::warning(this, title, text);
}

bool MainWindow::openPhoto(const QString &path)
{
    QString error;
    if (!m_session->open(path, error)) {
        showError(tr("Open photo"), error);
        return false;
    }
    m_recipePath.clear();
    return true;
}

bool MainWindow::openSample(int width, int height)
{
    QString error;
    if (!m_session->openSample(width, height, error)) {
        showError(tr("Open sample"), error);
        return false;
    }
    m_recipePath.clear();
    return true;
}

bool MainWindow::loadRecipe(const QString &path)
{
    QString error;
    if (!m_session->loadRecipe(path, error)) {
        showError(tr("Open recipe"), error);
        return false;
    }
    m_recipePath = path;
    m_session->setModified(false);
    return true;
}

bool MainWindow::saveRecipe(const QString &path)
{
    QString error;
    if (!m_session->saveRecipe(path, error)) {
        showError(tr("Save recipe"), error);
        return false;
    }
    m_recipePath = path;
    m_session->setModified(false);
    return true;
}

HostOutput::Outcome MainWindow::exportTo(const QString &path, int depth, const OutputProfile &profile)
{
    QProgressDialog progress(tr("Exporting %1…").arg(QFileInfo(path).fileName()), tr("Cancel"), 0, 1000, this);
    progress.setObjectName(QStringLiteral("export/progress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setValue(0);
    QString error;
    const HostOutput::Outcome outcome = m_session->exportTo(
        path, depth, profile,
        [&progress](int thousandths) {
            progress.setValue(std::clamp(thousandths, 0, 999));
            // Lets the dialog draw and its button be pressed; the session refuses other work
            // while the pass runs.
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        },
        error);
    progress.reset();
    if (outcome == HostOutput::Failed)
        showError(tr("Export"), error);
    else if (outcome == HostOutput::Interrupted)
        statusBar()->showMessage(tr("Export cancelled; nothing was written"), 5000);
    else
        statusBar()->showMessage(tr("Exported %1").arg(QDir::toNativeSeparators(path)), 5000);
    return outcome;
}

bool MainWindow::settleUnsaved()
{
    if (!m_session->isModified() || m_quiet)
        return true;
    const auto answer = QMessageBox::question(this, tr("Unsaved edits"),
        tr("The edit has changed since it was last saved as a recipe. Save it?"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Cancel)
        return false;
    return answer == QMessageBox::Discard || askSaveRecipe(false);
}

void MainWindow::askOpen()
{
    if (!settleUnsaved())
        return;
    const QString path = QFileDialog::getOpenFileName(this, tr("Open photo"), QString(),
        tr("Pictures (*.png *.jpg *.jpeg *.tif *.tiff *.webp *.bmp);;All files (*)"));
    if (!path.isEmpty())
        openPhoto(path);
}

void MainWindow::askOpenRecipe()
{
    if (!m_session->hasPicture()) {
        showError(tr("Open recipe"), tr("Open a photo first"));
        return;
    }
    const QString path
        = QFileDialog::getOpenFileName(this, tr("Open recipe"), QString(), tr("Recipes (*.json);;All files (*)"));
    if (!path.isEmpty())
        loadRecipe(path);
}

bool MainWindow::askSaveRecipe(bool choosePath)
{
    QString path = m_recipePath;
    if (choosePath || path.isEmpty())
        path = QFileDialog::getSaveFileName(this, tr("Save recipe"), path, tr("Recipes (*.json)"));
    return !path.isEmpty() && saveRecipe(path);
}

void MainWindow::askExport()
{
    if (!m_session->hasPicture()) {
        showError(tr("Export"), tr("Open a photo first"));
        return;
    }
    const QFileInfo source(m_session->picturePath());
    const QString suggested = m_session->picturePath().isEmpty()
        ? QStringLiteral("sample-edited.png")
        : source.dir().filePath(source.completeBaseName() + QStringLiteral("-edited.png"));
    ExportDialog dialog(suggested, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    OutputProfile profile;
    QString error;
    if (!HostOutput::profile(dialog.profileRequest(), profile, error)) {
        showError(tr("Export"), error);
        return;
    }
    exportTo(dialog.path(), dialog.depth(), profile);
}

void MainWindow::undoMask()
{
    if (!m_session->undoMask(m_session->current()))
        statusBar()->showMessage(tr("Nothing to undo on this effect's mask"), 3000);
}

void MainWindow::redoMask()
{
    if (!m_session->redoMask(m_session->current()))
        statusBar()->showMessage(tr("Nothing to redo on this effect's mask"), 3000);
}

void MainWindow::drawOnCurrent(const QJsonObject &op)
{
    QString error;
    if (m_session->current() < 0)
        statusBar()->showMessage(tr("Select an effect first"), 3000);
    else if (!m_session->drawMask(m_session->current(), op, error))
        showError(tr("Mask"), error);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (settleUnsaved())
        event->accept();
    else
        event->ignore();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls() && event->mimeData()->urls().value(0).isLocalFile())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString path = event->mimeData()->urls().value(0).toLocalFile();
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // A recipe dropped on an open photo is applied; anything else is opened as a photo.
    if (path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive) && m_session->hasPicture())
        loadRecipe(path);
    else if (settleUnsaved())
        openPhoto(path);
}
