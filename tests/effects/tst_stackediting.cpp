// Removing and reordering effects: rewiring, the current index following its effect,
// refusals, and passes over the edited stack.

#include "recordlog.h"
#include "stackharness.h"
#include "testregistry.h"
#include "tracecapture.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {
QList<int> signalValues(const QSignalSpy &spy)
{
    QList<int> values;
    for (const QList<QVariant> &arguments : spy)
        values.append(arguments.at(0).toInt());
    return values;
}
}

class tst_StackEditing : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void deleteTFxRewiresAndFollowsCurrent_data();
    void deleteTFxRewiresAndFollowsCurrent();
    void deleteTFxUntilEmpty();
    void effectDeletedFromOutsideLeavesTheList();
    void moveTFxRewiresAndFollowsCurrent_data();
    void moveTFxRewiresAndFollowsCurrent();
    void outOfRangeRefused_data();
    void outOfRangeRefused();
    void editsRefusedWhileProcessing();
    void passAfterEditsUsesNewChain();
};

void tst_StackEditing::init()
{
    RecordLog::clear();
    RecordLog::setHook({});
}

void tst_StackEditing::cleanup() { RecordLog::setHook({}); }

void tst_StackEditing::deleteTFxRewiresAndFollowsCurrent_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("current");
    QTest::addColumn<QStringList>("wiring");
    QTest::addColumn<QList<int>>("emitted");

    // Stack A, B, C over distinct input and mix images.
    QTest::newRow("first, current after it") << 0 << 2 << QStringList({ "B<in,mix", "C<B,B" }) << QList<int>({ 1 });
    QTest::newRow("middle, current is it") << 1 << 1 << QStringList({ "A<in,mix", "C<A,A" }) << QList<int>({ -1 });
    QTest::newRow("last, current before it") << 2 << 0 << QStringList({ "A<in,mix", "B<A,A" }) << QList<int>();
    QTest::newRow("last, current is it") << 2 << 2 << QStringList({ "A<in,mix", "B<A,A" }) << QList<int>({ -1 });
    QTest::newRow("first, none current") << 0 << -1 << QStringList({ "B<in,mix", "C<B,B" }) << QList<int>();
}

void tst_StackEditing::deleteTFxRewiresAndFollowsCurrent()
{
    QFETCH(int, index);
    QFETCH(int, current);
    QFETCH(QStringList, wiring);
    QFETCH(QList<int>, emitted);

    StackHarness h;
    h.append({ "A", "B", "C" });
    h.stack->setCurrentTfx(current);
    const QString name = h.names().at(index);
    const QPointer<TFx> removed = h.stack->tfxPtr(index);
    const QString currentName = current >= 0 ? h.names().at(current) : QString();
    QSignalSpy changed(h.stack.get(), &TfxStack::currentTfxChanged);
    TraceCapture trace;

    QVERIFY(h.stack->deleteTFx(index));
    QVERIFY(removed.isNull());
    QCOMPARE(RecordLog::liveEffects(), 2);
    QCOMPARE(h.wiring(), wiring);
    QCOMPARE(signalValues(changed), emitted);
    const int now = h.stack->currentTfx();
    QCOMPARE(now, currentName.isEmpty() || currentName == name ? -1 : h.names().indexOf(currentName));
    const QStringList lines = traceLines(trace, QStringLiteral("TfxStack::deleteTFx"), QString());
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(QLatin1Char('"') + name + QLatin1Char('"')), qPrintable(lines.first()));
}

void tst_StackEditing::deleteTFxUntilEmpty()
{
    StackHarness h;
    h.append({ "A", "B" });
    QVERIFY(h.stack->deleteTFx(0));
    QCOMPARE(h.wiring(), QStringList({ "B<in,mix" }));
    QVERIFY(h.stack->deleteTFx(0));
    QCOMPARE(h.stack->numTFxs(), 0);
    QCOMPARE(RecordLog::liveEffects(), 0);
    // The empty stack passes its input through again, and a new effect reads the stack's images.
    QVERIFY(h.stack->procOutput(levelSet({ 0 })));
    QCOMPARE(h.stack->outImagePtr()->width(TIm::CImFull), h.input.width(TIm::CImFull));
    h.add(QStringLiteral("N"), 0);
    QCOMPARE(h.wiring(), QStringList({ "N<in,mix" }));
}

void tst_StackEditing::effectDeletedFromOutsideLeavesTheList()
{
    StackHarness h;
    h.append({ "A", "B", "C" });
    h.stack->setCurrentTfx(2);
    QSignalSpy changed(h.stack.get(), &TfxStack::currentTfxChanged);
    delete h.stack->tfxPtr(1);
    QCOMPARE(h.stack->numTFxs(), 2);
    QCOMPARE(h.wiring(), QStringList({ "A<in,mix", "C<A,A" }));
    QCOMPARE(signalValues(changed), QList<int>({ 1 }));
    // A pass after it must not touch the deleted effect (the sanitizer build checks).
    QVERIFY(h.stack->procOutput(levelSet({ 0, 1 })));
    QCOMPARE(RecordLog::liveEffects(), 2);
}

void tst_StackEditing::moveTFxRewiresAndFollowsCurrent_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("current");
    QTest::addColumn<QStringList>("wiring");
    QTest::addColumn<QList<int>>("emitted");

    // Stack A, B, C over distinct input and mix images.
    QTest::newRow("first to last, current moves")
        << 0 << 2 << 0 << QStringList({ "B<in,mix", "C<B,B", "A<C,C" }) << QList<int>({ 2 });
    QTest::newRow("last to first, current shifts up")
        << 2 << 0 << 0 << QStringList({ "C<in,mix", "A<C,C", "B<A,A" }) << QList<int>({ 1 });
    QTest::newRow("first to last, current shifts down")
        << 0 << 2 << 2 << QStringList({ "B<in,mix", "C<B,B", "A<C,C" }) << QList<int>({ 1 });
    QTest::newRow("middle to first, current after both")
        << 1 << 0 << 2 << QStringList({ "B<in,mix", "A<B,B", "C<A,A" }) << QList<int>();
    QTest::newRow("middle to last, current is it")
        << 1 << 2 << 1 << QStringList({ "A<in,mix", "C<A,A", "B<C,C" }) << QList<int>({ 2 });
    QTest::newRow("to the same place") << 1 << 1 << 1 << QStringList({ "A<in,mix", "B<A,A", "C<B,B" }) << QList<int>();
    QTest::newRow("none current") << 2 << 0 << -1 << QStringList({ "C<in,mix", "A<C,C", "B<A,A" }) << QList<int>();
}

void tst_StackEditing::moveTFxRewiresAndFollowsCurrent()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, current);
    QFETCH(QStringList, wiring);
    QFETCH(QList<int>, emitted);

    StackHarness h;
    h.append({ "A", "B", "C" });
    h.stack->setCurrentTfx(current);
    const QString moved = h.names().at(from);
    const QString currentName = current >= 0 ? h.names().at(current) : QString();
    QSignalSpy changed(h.stack.get(), &TfxStack::currentTfxChanged);
    TraceCapture trace;

    QVERIFY(h.stack->moveTFx(from, to));
    QCOMPARE(h.wiring(), wiring);
    QCOMPARE(signalValues(changed), emitted);
    QCOMPARE(h.stack->currentTfx(), currentName.isEmpty() ? -1 : h.names().indexOf(currentName));
    QCOMPARE(RecordLog::liveEffects(), 3);
    const QStringList lines = traceLines(trace, QStringLiteral("TfxStack::moveTFx"), QString());
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(QLatin1Char('"') + moved + QLatin1Char('"')), qPrintable(lines.first()));
}

void tst_StackEditing::outOfRangeRefused_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");

    QTest::newRow("delete -1") << false << -1 << 0;
    QTest::newRow("delete the count") << false << 3 << 0;
    QTest::newRow("move from -1") << true << -1 << 0;
    QTest::newRow("move from the count") << true << 3 << 0;
    QTest::newRow("move to -1") << true << 0 << -1;
    QTest::newRow("move to the count") << true << 0 << 3;
}

void tst_StackEditing::outOfRangeRefused()
{
    QFETCH(bool, move);
    QFETCH(int, first);
    QFETCH(int, second);

    StackHarness h;
    h.append({ "A", "B", "C" });
    h.stack->setCurrentTfx(1);
    const QStringList before = h.wiring();
    QSignalSpy changed(h.stack.get(), &TfxStack::currentTfxChanged);
    RecordLog::clear();
    TraceCapture trace;
    QVERIFY(!(move ? h.stack->moveTFx(first, second) : h.stack->deleteTFx(first)));
    QCOMPARE(h.wiring(), before);
    QCOMPARE(h.stack->currentTfx(), 1);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(RecordLog::calls().size(), 0);
    const QString where = move ? QStringLiteral("TfxStack::moveTFx") : QStringLiteral("TfxStack::deleteTFx");
    QCOMPARE(traceCount(trace, where, QStringLiteral("refused")), 1);
}

void tst_StackEditing::editsRefusedWhileProcessing()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B", "C" });
    const QStringList before = h.wiring();
    fx.at(1)->setCallsHook(true);
    QList<bool> results;
    int countInside = -1;
    RecordLog::setHook([&](QObject *) {
        results.append(h.stack->deleteTFx(0));
        results.append(h.stack->moveTFx(0, 2));
        results.append(h.stack->addTFx(QStringLiteral("RecA"), QStringLiteral("N"), 0) != nullptr);
        countInside = h.stack->numTFxs();
    });
    TraceCapture trace;
    QVERIFY(h.stack->procOutput(levelSet({ 0 })));
    QCOMPARE(results, QList<bool>({ false, false, false }));
    QCOMPARE(countInside, 3);
    QCOMPARE(h.wiring(), before);
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A", "B", "C" }));
    QCOMPARE(RecordLog::liveEffects(), 3);
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::deleteTFx"), QStringLiteral("refused")), 1);
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::moveTFx"), QStringLiteral("refused")), 1);
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::addTFx"), QStringLiteral("refused")), 1);
}

void tst_StackEditing::passAfterEditsUsesNewChain()
{
    StackHarness h;
    h.append({ "A", "B", "C", "D" });
    QVERIFY(h.stack->deleteTFx(1));
    QVERIFY(h.stack->moveTFx(2, 0));
    QCOMPARE(h.names(), QStringList({ "D", "A", "C" }));
    // C needs level 2 besides 1 from what is now its predecessor A.
    h.fx(2)->setDepends(1, TFx::InportIn, { 1, 2 });
    RecordLog::clear();
    TraceCapture trace;
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    QVERIFY(h.stack->procOutput(levelSet({ 1 })));
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "D", "A", "C" }));
    QCOMPARE(RecordLog::requests(QStringLiteral("D")), QList<QList<int>>({ { 1, 2 } }));
    QCOMPARE(RecordLog::requests(QStringLiteral("A")), QList<QList<int>>({ { 1, 2 } }));
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::connectedToTFx"), QStringLiteral("ERROR")), 0);
    QCOMPARE(signalValues(changed), QList<int>({ 1 }));
    QCOMPARE(h.stack->outImagePtr()->ptr(TIm::CImView1)->uid()->id(),
        h.stack->tfxPtr(2)->outImagePtr()->ptr(TIm::CImView1)->uid()->id());
}

FX_REGISTER_TEST(tst_StackEditing)
#include "tst_stackediting.moc"
