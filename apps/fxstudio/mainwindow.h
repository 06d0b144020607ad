#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "hostoutput.h"

#include <QMainWindow>
#include <QTimer>

class CanvasView;
class HistogramPanel;
class MaskTools;
class ParamPanel;
class QAction;
class QLabel;
class Session;
class StackPanel;

// fxstudio's window: the canvas in the middle, the effect stack and the current effect's
// parameters on the left, the mask tools and the histogram on the right. Every user action
// goes through the session; the widgets follow its signals.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    Session *session() const { return m_session; }
    CanvasView *canvas() const { return m_canvas; }
    StackPanel *stackPanel() const { return m_stackPanel; }
    ParamPanel *paramPanel() const { return m_paramPanel; }
    MaskTools *maskTools() const { return m_maskTools; }
    HistogramPanel *histogramPanel() const { return m_histogram; }

    // The actions by name, as the menus offer them: "open", "openRecipe", "saveRecipe",
    // "saveRecipeAs", "export", "undo", "redo", "fit", "actualSize", "zoomIn", "zoomOut",
    // "before", "overlay", "quit".
    QAction *action(const QString &name) const;

    // Each reports failure in a message box (and returns false) and never leaves the
    // session half-changed.
    bool openPhoto(const QString &path);
    bool openSample(int width, int height);
    bool loadRecipe(const QString &path);
    bool saveRecipe(const QString &path);
    // Full resolution to path at depth 8 or 16 in profile, with a progress dialog that can
    // cancel. Cancelling writes nothing and is not an error.
    HostOutput::Outcome exportTo(const QString &path, int depth, const OutputProfile &profile);

    // Message boxes are shown modally; tests and scripted runs turn them into trace lines.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    QString lastError() const { return m_lastError; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildMenus();
    void buildDocks();
    void wireSession();
    void showError(const QString &title, const QString &text);
    // Asks whether to save unsaved edits; false when the user cancels.
    bool settleUnsaved();
    void askOpen();
    void askOpenRecipe();
    bool askSaveRecipe(bool choosePath);
    void askExport();
    void stackChanged();
    void currentChanged(int index);
    void updateHistogram();
    void updateTitle();
    void updateStatus();
    void undoMask();
    void redoMask();
    void drawOnCurrent(const QJsonObject &op);

    Session *m_session;
    CanvasView *m_canvas;
    StackPanel *m_stackPanel;
    ParamPanel *m_paramPanel;
    MaskTools *m_maskTools;
    HistogramPanel *m_histogram;
    QLabel *m_status;
    QTimer m_histogramTimer;
    QString m_recipePath;
    bool m_quiet = false;
    QString m_lastError;
    qint64 m_lastRenderMs = 0;
};

#endif
