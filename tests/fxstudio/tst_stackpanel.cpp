// The stack panel as a view that asks: its rows follow the stack, and what the user does comes
// out as requests with the stack's indices. The histogram panel beside it.
#include "histogrampanel.h"
#include "quietstdout.h"
#include "stackpanel.h"
#include "testregistry.h"
#include "tsampleimage.h"

#include <QComboBox>
#include <QListWidget>
#include <QMimeData>
#include <QToolButton>
#include <QtTest>
#include <memory>
#include <tfxstack.h>
#include <tparamgroup.h>
#include <tpimage.h>
#include <tpluginfactory.h>

namespace {
QStringList rowTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QStringList stackKeys(const TfxStack &stack)
{
    QStringList keys;
    for (int i = 0; i < stack.numTFxs(); ++i)
        keys << stack.tfxPtr(i)->key();
    return keys;
}

// What a drag over the list delivers: enter, move and drop at the same place. The drop only
// reaches a list that accepted the enter.
void dragAndDrop(QListWidget *list, QMimeData *data, const QPoint &at)
{
    QDragEnterEvent enter(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
    QDropEvent drop(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
}

TParamGroup *commonOf(TFx *fx) { return fx->findChild<TParamGroup *>("TFxCommon", Qt::FindDirectChildrenOnly); }
}

class tst_StackPanel : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void rowsFollowTheStack();
    void dropAsksForMove_data();
    void dropAsksForMove();
    void dropFromElsewhereIsIgnored();
    void buttonsAskForMoveAndRemove();
    void addAsksForChosenKey();
    void maskingCheckFollowsCommonGroup();
    void selectionAndCurrentEffect();
    void deletedStackEmptiesPanel();

private:
    std::unique_ptr<TfxStack> m_stack;
    std::unique_ptr<StackPanel> m_panel;
};

void tst_StackPanel::init()
{
    {
        // The plug-in factory announces itself on standard output when the first stack is made.
        QuietStdout quiet;
        m_stack = std::make_unique<TfxStack>(QStringLiteral("stack"), nullptr);
    }
    for (const char *key : { "Exposure", "Tone", "Curves", "Vignette" })
        QVERIFY(m_stack->addTFx(key, QString(), m_stack->numTFxs()));
    m_panel = std::make_unique<StackPanel>();
    m_panel->resize(260, 400);
    m_panel->setStack(m_stack.get());
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
}

void tst_StackPanel::cleanup()
{
    m_panel.reset();
    m_stack.reset();
}

void tst_StackPanel::rowsFollowTheStack()
{
    QListWidget *list = m_panel->list();
    QCOMPARE(rowTexts(list), QStringList({ "Exposure", "Tone", "Curves", "Vignette" }));
    QVERIFY(m_stack->deleteTFx(1));
    m_panel->refresh();
    QCOMPARE(rowTexts(list), QStringList({ "Exposure", "Curves", "Vignette" }));
    QVERIFY(m_stack->moveTFx(0, 2));
    m_panel->refresh();
    QCOMPARE(rowTexts(list), QStringList({ "Curves", "Vignette", "Exposure" }));
    QVERIFY(m_stack->addTFx("Sharpen", "Crisp", 1));
    m_panel->refresh();
    QCOMPARE(rowTexts(list), QStringList({ "Curves", "Crisp", "Vignette", "Exposure" }));
}

void tst_StackPanel::dropAsksForMove_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("onRow");
    QTest::addColumn<bool>("lowerHalf");
    QTest::addColumn<int>("to");
    QTest::newRow("first onto upper half of third") << 0 << 2 << false << 1;
    QTest::newRow("first onto lower half of third") << 0 << 2 << true << 2;
    QTest::newRow("last onto upper half of first") << 3 << 0 << false << 0;
    QTest::newRow("last onto lower half of first") << 3 << 0 << true << 1;
    QTest::newRow("second below all rows") << 1 << -1 << false << 3;
    QTest::newRow("onto itself") << 1 << 1 << true << -1;
    QTest::newRow("onto the row's own gap") << 2 << 1 << true << -1;
}

void tst_StackPanel::dropAsksForMove()
{
    QFETCH(int, from);
    QFETCH(int, onRow);
    QFETCH(bool, lowerHalf);
    QFETCH(int, to);
    QListWidget *list = m_panel->list();
    const QStringList before = rowTexts(list);
    QPoint at;
    if (onRow < 0) {
        const QRect last = list->visualItemRect(list->item(list->count() - 1));
        at = QPoint(last.center().x(), last.bottom() + 20);
    } else {
        const QRect row = list->visualItemRect(list->item(onRow));
        at = QPoint(row.center().x(), lowerHalf ? row.bottom() - 1 : row.top() + 1);
    }
    std::unique_ptr<QMimeData> data(list->model()->mimeData({ list->model()->index(from, 0) }));
    QSignalSpy moves(m_panel.get(), &StackPanel::moveRequested);
    dragAndDrop(list, data.get(), at);
    // The panel only asks; its rows stay as the stack is.
    QCOMPARE(rowTexts(list), before);
    if (to < 0) {
        QCOMPARE(moves.count(), 0);
        return;
    }
    QCOMPARE(moves.count(), 1);
    QCOMPARE(moves.first(), QVariantList({ from, to }));
    // Carried out, the request puts the dragged effect where it was dropped.
    QVERIFY(m_stack->moveTFx(from, to));
    m_panel->refresh();
    QCOMPARE(list->item(to)->text(), before.at(from));
}

void tst_StackPanel::dropFromElsewhereIsIgnored()
{
    QListWidget *list = m_panel->list();
    QListWidget other;
    other.addItems({ "a", "b", "c" });
    std::unique_ptr<QMimeData> data(other.model()->mimeData({ other.model()->index(0, 0) }));
    QSignalSpy moves(m_panel.get(), &StackPanel::moveRequested);
    QDropEvent drop(
        list->visualItemRect(list->item(2)).center(), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    QCOMPARE(moves.count(), 0);
    QCOMPARE(rowTexts(list), stackKeys(*m_stack));
}

void tst_StackPanel::buttonsAskForMoveAndRemove()
{
    QSignalSpy moves(m_panel.get(), &StackPanel::moveRequested);
    QSignalSpy removes(m_panel.get(), &StackPanel::removeRequested);
    auto *up = m_panel->findChild<QToolButton *>("moveUp");
    auto *down = m_panel->findChild<QToolButton *>("moveDown");
    auto *remove = m_panel->findChild<QToolButton *>("remove");
    m_panel->list()->setCurrentRow(0);
    QVERIFY(!up->isEnabled());
    QVERIFY(down->isEnabled());
    QTest::mouseClick(down, Qt::LeftButton);
    m_panel->list()->setCurrentRow(3);
    QVERIFY(up->isEnabled());
    QVERIFY(!down->isEnabled());
    QTest::mouseClick(up, Qt::LeftButton);
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(moves.count(), 2);
    QCOMPARE(moves.at(0), QVariantList({ 0, 1 }));
    QCOMPARE(moves.at(1), QVariantList({ 3, 2 }));
    QCOMPARE(removes.count(), 1);
    QCOMPARE(removes.first().first().toInt(), 3);
    // Nothing current, nothing to remove.
    m_stack = std::make_unique<TfxStack>(QStringLiteral("empty"), nullptr);
    m_panel->setStack(m_stack.get());
    QVERIFY(!remove->isEnabled());
}

void tst_StackPanel::addAsksForChosenKey()
{
    QSignalSpy adds(m_panel.get(), &StackPanel::addRequested);
    const QStringList keys = TfxStack::m_pluginFactory_p->tfxs();
    m_panel->setAvailableEffects(keys);
    auto *available = m_panel->findChild<QComboBox *>("available");
    QCOMPARE(available->count(), keys.size());
    available->setCurrentIndex(keys.indexOf("Clarity"));
    QTest::mouseClick(m_panel->findChild<QToolButton *>("add"), Qt::LeftButton);
    QCOMPARE(adds.count(), 1);
    QCOMPARE(adds.first().first().toString(), QString("Clarity"));
    // Asking adds nothing by itself.
    QCOMPARE(m_panel->list()->count(), 4);
}

void tst_StackPanel::maskingCheckFollowsCommonGroup()
{
    QListWidget *list = m_panel->list();
    TParamGroup *common = commonOf(m_stack->tfxPtr(1));
    QVERIFY(common);
    QCOMPARE(list->item(1)->checkState(), common->enabled() ? Qt::Checked : Qt::Unchecked);
    QSignalSpy toggles(m_panel.get(), &StackPanel::maskingToggled);
    // Switched elsewhere: the row follows, and that is no request.
    common->setEnable(!common->enabled());
    QCOMPARE(list->item(1)->checkState(), common->enabled() ? Qt::Checked : Qt::Unchecked);
    QCOMPARE(toggles.count(), 0);
    // The user's check, as the view sets it.
    const bool wanted = !commonOf(m_stack->tfxPtr(2))->enabled();
    QVERIFY(
        list->model()->setData(list->model()->index(2, 0), wanted ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(toggles.count(), 1);
    QCOMPARE(toggles.first(), QVariantList({ 2, wanted }));
    // The panel asks, the group is not touched.
    QCOMPARE(commonOf(m_stack->tfxPtr(2))->enabled(), !wanted);
}

void tst_StackPanel::selectionAndCurrentEffect()
{
    QSignalSpy current(m_panel.get(), &StackPanel::currentRequested);
    m_panel->list()->setCurrentRow(2);
    QCOMPARE(current.count(), 1);
    QCOMPARE(current.first().first().toInt(), 2);
    m_stack->setCurrentTfx(0);
    QCOMPARE(m_panel->list()->currentRow(), 0);
    QCOMPARE(current.count(), 1);
    // A refresh shows the stack's current effect without asking for it.
    m_stack->setCurrentTfx(3);
    m_panel->refresh();
    QCOMPARE(m_panel->list()->currentRow(), 3);
    QCOMPARE(current.count(), 1);
}

void tst_StackPanel::deletedStackEmptiesPanel()
{
    m_stack.reset();
    QCOMPARE(m_panel->stack(), nullptr);
    QCOMPARE(m_panel->list()->count(), 0);
}

FX_REGISTER_TEST(tst_StackPanel)

// The histogram panel: a chart the size of its area, the picture's theme beside it, all of it
// gone on clear().
class tst_HistogramPanel : public QObject {
    Q_OBJECT
private slots:
    void chartThemeAndClear();
};

void tst_HistogramPanel::chartThemeAndClear()
{
    HistogramPanel panel;
    const QImage picture = TSampleImage::generate(120, 80).convertToFormat(QImage::Format_ARGB32);
    TPImage image;
    image.convertFrom(picture.constBits(), picture.width(), picture.height(), picture.bytesPerLine());
    // Before it is laid out the chart has its default size, then the area's.
    panel.showImage(image);
    QCOMPARE(panel.chart().size(), HistogramPanel::defaultChartSize());
    panel.resize(400, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.showImage(image);
    QCOMPARE(panel.chart().size(), panel.findChild<QWidget *>("chart")->size());
    // A picture has counts: the chart is not one colour.
    const QImage chart = panel.chart();
    QVERIFY(chart.pixel(0, chart.height() - 1) != chart.pixel(chart.width() / 2, chart.height() - 1)
        || chart.pixel(chart.width() / 2, 0) != chart.pixel(chart.width() / 2, chart.height() - 1));
    QVERIFY(!panel.paletteText().isEmpty() && !panel.toneText().isEmpty() && !panel.coloursText().isEmpty());
    panel.clear();
    QVERIFY(panel.chart().isNull());
    QVERIFY(panel.paletteText().isEmpty() && panel.toneText().isEmpty() && panel.coloursText().isEmpty());
}

FX_REGISTER_TEST(tst_HistogramPanel)

#include "tst_stackpanel.moc"
