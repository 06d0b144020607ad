#include "stackpanel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMimeData>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>
#include <tfxstack.h>
#include <tparamgroup.h>

namespace {
const QLatin1String commonGroup("TFxCommon");
// The dragged row travels under this format, with the list and process it comes from, so
// that a drop reads the row that was dragged, not whatever is current.
const QLatin1String rowFormat("application/x-fxstudio-effect-row");

// A list whose drops are not carried out but reported as a move: the stack is the one that
// moves, and the rows follow it on the next refresh.
class EffectList : public QListWidget {
public:
    std::function<void(int from, int to)> moveWanted;

protected:
    QString origin() const
    {
        return QStringLiteral("%1:%2").arg(QCoreApplication::applicationPid()).arg(quintptr(this));
    }

    QMimeData *mimeData(const QList<QListWidgetItem *> items) const override
    {
        QMimeData *data = QListWidget::mimeData(items);
        if (data && items.size() == 1)
            data->setData(rowFormat, QStringLiteral("%1:%2").arg(origin()).arg(row(items.first())).toLatin1());
        return data;
    }

    // The row this list put into data, or -1 for a drag from elsewhere.
    int draggedRow(const QMimeData *data) const
    {
        const QString text = QString::fromLatin1(data->data(rowFormat));
        const int split = text.lastIndexOf(QLatin1Char(':'));
        bool isRow = false;
        const int from = split > 0 && text.left(split) == origin() ? text.mid(split + 1).toInt(&isRow) : -1;
        return isRow && from >= 0 && from < count() ? from : -1;
    }

    // The base class takes internal moves only from a drag it can see started here; the row
    // format says the same, and also when the drag is replayed by automation.
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (draggedRow(event->mimeData()) < 0)
            return event->ignore();
        QListWidget::dragEnterEvent(event);
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }

    void dragMoveEvent(QDragMoveEvent *event) override
    {
        if (draggedRow(event->mimeData()) < 0)
            return event->ignore();
        QListWidget::dragMoveEvent(event);
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }

    void dropEvent(QDropEvent *event) override
    {
        stopAutoScroll();
        setState(NoState);
        viewport()->update();
        const int from = draggedRow(event->mimeData());
        if (from < 0) {
            event->ignore();
            return;
        }
        // Dropped on the lower half of a row goes below it; below the last row, to the end.
        const QModelIndex target = indexAt(event->pos());
        int insert = count();
        if (target.isValid())
            insert = target.row() + (event->pos().y() >= visualRect(target).center().y() ? 1 : 0);
        const int to = insert > from ? insert - 1 : insert;
        // Copy, not move: a move would make the view delete the dragged row itself.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        if (to != from && moveWanted)
            moveWanted(from, to);
    }
};

QToolButton *button(const QString &name, const QString &text, const QString &tip)
{
    auto *tool = new QToolButton;
    tool->setObjectName(name);
    tool->setText(text);
    tool->setToolTip(tip);
    return tool;
}
}

StackPanel::StackPanel(QWidget *parent)
    : QWidget(parent)
    , m_list(new EffectList)
    , m_available(new QComboBox)
    , m_add(button(QStringLiteral("add"), tr("Add"), tr("Add the chosen effect after the current one")))
    , m_remove(button(QStringLiteral("remove"), tr("Remove"), tr("Remove the current effect")))
    , m_up(button(QStringLiteral("moveUp"), tr("Up"), tr("Apply the current effect earlier")))
    , m_down(button(QStringLiteral("moveDown"), tr("Down"), tr("Apply the current effect later")))
    , m_beforeAfter(button(QStringLiteral("beforeAfter"), tr("Before"), tr("Show the picture without the effects")))
{
    m_list->setObjectName(QStringLiteral("stack"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setToolTip(tr("The effects in the order they are applied, first at the top. The check box switches the "
                          "effect's mask on and off."));
    static_cast<EffectList *>(m_list)->moveWanted = [this](int from, int to) { requestMove(from, to); };
    m_available->setObjectName(QStringLiteral("available"));
    m_beforeAfter->setCheckable(true);

    auto *addRow = new QHBoxLayout;
    addRow->addWidget(m_available, 1);
    addRow->addWidget(m_add);
    auto *editRow = new QHBoxLayout;
    editRow->addWidget(m_up);
    editRow->addWidget(m_down);
    editRow->addWidget(m_remove);
    editRow->addStretch(1);
    editRow->addWidget(m_beforeAfter);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(addRow);
    layout->addWidget(m_list, 1);
    layout->addLayout(editRow);

    connect(m_add, &QToolButton::clicked, this, [this] {
        if (m_available->currentIndex() >= 0)
            emit addRequested(m_available->currentText());
    });
    connect(m_remove, &QToolButton::clicked, this, [this] {
        if (m_list->currentRow() >= 0)
            emit removeRequested(m_list->currentRow());
    });
    connect(m_up, &QToolButton::clicked, this, [this] { requestMove(m_list->currentRow(), m_list->currentRow() - 1); });
    connect(
        m_down, &QToolButton::clicked, this, [this] { requestMove(m_list->currentRow(), m_list->currentRow() + 1); });
    connect(m_beforeAfter, &QToolButton::toggled, this, &StackPanel::beforeAfterToggled);
    connect(m_list, &QListWidget::itemChanged, this, &StackPanel::itemChanged);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        updateButtons();
        if (!m_updating && row >= 0)
            emit currentRequested(row);
    });
    refresh();
}

StackPanel::~StackPanel()
{
    // The stack may outlive the panel; its signals must not reach the panel's remains.
    for (const QMetaObject::Connection &watch : qAsConst(m_watches))
        disconnect(watch);
}

void StackPanel::setStack(TfxStack *stack)
{
    if (m_stack)
        disconnect(m_stack, &QObject::destroyed, this, nullptr);
    m_stack = stack;
    if (stack)
        connect(stack, &QObject::destroyed, this, &StackPanel::refresh);
    refresh();
}

void StackPanel::setAvailableEffects(const QStringList &keys)
{
    m_available->clear();
    m_available->addItems(keys);
    updateButtons();
}

void StackPanel::refresh()
{
    for (const QMetaObject::Connection &watch : qAsConst(m_watches))
        disconnect(watch);
    m_watches.clear();
    m_updating = true;
    m_list->clear();
    const int count = m_stack ? m_stack->numTFxs() : 0;
    for (int i = 0; i < count; ++i) {
        TFx *fx = m_stack->tfxPtr(i);
        auto *item = new QListWidgetItem(fx->key());
        item->setToolTip(tr("%1, a %2").arg(fx->key(), QString::fromLatin1(fx->metaObject()->className())));
        auto *common = fx->findChild<TParamGroup *>(commonGroup, Qt::FindDirectChildrenOnly);
        if (common) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(common->enabled() ? Qt::Checked : Qt::Unchecked);
            m_watches << connect(common, &TParamGroup::enableChanged, this, [this, item](bool on) {
                m_updating = true;
                item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
                m_updating = false;
            });
        } else {
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        }
        m_list->addItem(item);
    }
    if (m_stack) {
        m_watches << connect(m_stack, &TfxStack::currentTfxChanged, this, &StackPanel::showCurrent);
        m_list->setCurrentRow(m_stack->currentTfx());
    }
    m_updating = false;
    updateButtons();
}

void StackPanel::showCurrent(int index)
{
    m_updating = true;
    m_list->setCurrentRow(index);
    m_updating = false;
    updateButtons();
}

void StackPanel::updateButtons()
{
    const int row = m_list->currentRow();
    m_add->setEnabled(m_stack && m_available->count() > 0);
    m_remove->setEnabled(row >= 0);
    m_up->setEnabled(row > 0);
    m_down->setEnabled(row >= 0 && row + 1 < m_list->count());
}

void StackPanel::itemChanged(QListWidgetItem *item)
{
    if (m_updating)
        return;
    emit maskingToggled(m_list->row(item), item->checkState() == Qt::Checked);
}

void StackPanel::requestMove(int from, int to)
{
    if (from < 0 || to < 0 || from >= m_list->count() || to >= m_list->count() || from == to)
        return;
    emit moveRequested(from, to);
}
