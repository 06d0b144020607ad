#ifndef STACKPANEL_H
#define STACKPANEL_H

#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <tfxstack.h>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QToolButton;

// A view of an effect stack that only asks for changes: adding, removing, moving, masking and
// choosing the current effect are signals, which the main window carries out through the
// session and follows with refresh(). The rows come from the stack alone, one per effect, the
// first effect (the one applied first) at the top: row i is effect i. The panel does not own
// the stack; a deleted stack leaves it empty.
//
// A row shows the effect's name (its key unless it was named) with a check box that is the
// effect's masking switch, the "TFxCommon" group's enable state; it follows changes of that
// switch made elsewhere. The selection follows the stack's current effect.
//
// Widgets by objectName: QListWidget "stack", QComboBox "available" (the effects to add),
// QToolButton "add", "remove", "moveUp", "moveDown", and the checkable "beforeAfter".
class StackPanel : public QWidget {
    Q_OBJECT
public:
    explicit StackPanel(QWidget *parent = nullptr);
    ~StackPanel() override;

    void setStack(TfxStack *stack);
    TfxStack *stack() const { return m_stack; }
    // The keys offered for adding, as the plug-in directory lists them.
    void setAvailableEffects(const QStringList &keys);
    // Rebuilds the rows from the stack.
    void refresh();

    QListWidget *list() const { return m_list; }

signals:
    void addRequested(const QString &key);
    void removeRequested(int index);
    // The effect at from should end up at index to (the indices of TfxStack::moveTFx).
    void moveRequested(int from, int to);
    void maskingToggled(int index, bool on);
    void currentRequested(int index);
    void beforeAfterToggled(bool showBefore);

private:
    void showCurrent(int index);
    void updateButtons();
    void itemChanged(QListWidgetItem *item);
    void requestMove(int from, int to);

    QPointer<TfxStack> m_stack;
    QListWidget *m_list;
    QComboBox *m_available;
    QToolButton *m_add;
    QToolButton *m_remove;
    QToolButton *m_up;
    QToolButton *m_down;
    QToolButton *m_beforeAfter;
    // The stack's signal and the masking switches of the rows shown.
    QList<QMetaObject::Connection> m_watches;
    // True while the panel itself changes the rows, which is no request.
    bool m_updating = false;
};

#endif
