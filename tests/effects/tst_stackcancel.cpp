// Stopping a pass: a cancel from a progress receiver, a cancel while idle, a cancel seen
// between effects, a failing effect, and passes asked for from inside a pass.

#include "recordlog.h"
#include "stackharness.h"
#include "testregistry.h"
#include "tracecapture.h"

#include <QSignalSpy>
#include <QtTest>

class tst_StackCancel : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void cancelFromProgressStopsRunningEffect();
    void cancelWhileIdleDoesNotStopNextPass();
    void cancelBetweenEffectsLeavesOutputUnchanged();
    void failingEffectEmptiesOutput();
    void reentryFromSignalReceiverRefused_data();
    void reentryFromSignalReceiverRefused();
};

void tst_StackCancel::init()
{
    RecordLog::clear();
    RecordLog::setHook({});
}

void tst_StackCancel::cleanup() { RecordLog::setHook({}); }

void tst_StackCancel::cancelFromProgressStopsRunningEffect()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B", "C" });
    fx.at(1)->setProgressSteps(4);
    QVERIFY(h.stack->procOutput(levelSet({ 0, 2 })));
    QVERIFY(!h.stack->outImagePtr()->bEmpty(TIm::CImFull));
    RecordLog::clear();

    QList<int> seen;
    const QMetaObject::Connection connection = connect(h.stack.get(), &TFx::progress, [&](int value) {
        seen.append(value);
        if (value == 500)
            h.stack->cancelProc();
    });
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    TraceCapture trace;
    // The pass's result does not reach the caller; the emptied output and the missing
    // outputChanged tell the host.
    QVERIFY(h.stack->procOutput(levelSet({ 0, 2 })));
    QCOMPARE(seen, QList<int>({ 0, 250, 500 }));
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A", "B" }));
    QCOMPARE(RecordLog::objects(QStringLiteral("cancelled")), QStringList({ "B" }));
    QCOMPARE(RecordLog::objects(QStringLiteral("cancelProc")), QStringList({ "A", "B", "C" }));
    QVERIFY(allEmpty(h.stack->outImagePtr()));
    QCOMPARE(changed.count(), 0);
    const QStringList lines
        = traceLines(trace, QStringLiteral("TfxStack::procOutIm"), QStringLiteral("Exist due to cancel in tfx: "));
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(QLatin1String(" 1")), qPrintable(lines.first()));
    QVERIFY(!h.stack->isProcessing());

    // The next pass runs normally.
    QObject::disconnect(connection);
    RecordLog::clear();
    QVERIFY(h.stack->procOutput(levelSet({ 0, 2 })));
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A", "B", "C" }));
    QVERIFY(!h.stack->outImagePtr()->bEmpty(TIm::CImFull));
    QCOMPARE(emittedLevels(changed), QList<int>({ 0, 2 }));
}

void tst_StackCancel::cancelWhileIdleDoesNotStopNextPass()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B" });
    fx.at(0)->setProgressSteps(2);
    h.stack->cancelProc();
    QCOMPARE(RecordLog::objects(QStringLiteral("cancelProc")), QStringList({ "A", "B" }));
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    TraceCapture trace;
    QVERIFY(h.stack->procOutput(levelSet({ 1 })));
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A", "B" }));
    QCOMPARE(RecordLog::count(QStringLiteral("cancelled")), 0);
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::procOutIm"), QStringLiteral("Exist due to cancel")), 0);
    QCOMPARE(emittedLevels(changed), QList<int>({ 1 }));
}

void tst_StackCancel::cancelBetweenEffectsLeavesOutputUnchanged()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B", "C" });
    QVERIFY(h.stack->procOutput(levelSet({ 0, 2 })));
    const TIm *out = h.stack->outImagePtr();
    QList<const TPImage *> levelsBefore;
    QList<quint64> stampsBefore;
    for (int i = 0; i < TIm::numLevels; ++i) {
        levelsBefore.append(out->ptr(TIm::CImId(i)));
        stampsBefore.append(out->ptr(TIm::CImId(i))->uid()->id());
    }
    RecordLog::clear();

    // A does not look at cancels (it reports no progress) and finishes; the stack sees the
    // cancel before B.
    fx.at(0)->setCallsHook(true);
    RecordLog::setHook([&](QObject *) { h.stack->cancelProc(); });
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    TraceCapture trace;
    QVERIFY(h.stack->procOutput(levelSet({ 0, 2 })));
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A" }));
    QCOMPARE(
        traceCount(trace, QStringLiteral("TfxStack::procOutIm"), QStringLiteral("Exist due to cancel in tfxstack")), 1);
    QCOMPARE(
        traceCount(trace, QStringLiteral("TfxStack::procOutIm"), QStringLiteral("Exist due to cancel in tfx: ")), 0);
    QCOMPARE(changed.count(), 0);
    for (int i = 0; i < TIm::numLevels; ++i) {
        QCOMPARE(out->ptr(TIm::CImId(i)), levelsBefore.at(i));
        QCOMPARE(out->ptr(TIm::CImId(i))->uid()->id(), stampsBefore.at(i));
    }
    QVERIFY(!out->bEmpty(TIm::CImFull));
}

void tst_StackCancel::failingEffectEmptiesOutput()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B", "C" });
    QVERIFY(h.stack->procOutput(levelSet({ 0 })));
    RecordLog::clear();
    fx.at(1)->setFail(true);
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    TraceCapture trace;
    QVERIFY(h.stack->procOutput(levelSet({ 0 })));
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A", "B" }));
    QVERIFY(allEmpty(h.stack->outImagePtr()));
    QCOMPARE(changed.count(), 0);
    const QStringList lines
        = traceLines(trace, QStringLiteral("TfxStack::procOutIm"), QStringLiteral("Exist due to cancel in tfx: "));
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(QLatin1String(" 1")), qPrintable(lines.first()));
}

void tst_StackCancel::reentryFromSignalReceiverRefused_data()
{
    QTest::addColumn<bool>("fromProgress");
    QTest::newRow("from a progress receiver") << true;
    QTest::newRow("from an outputChanged receiver") << false;
}

void tst_StackCancel::reentryFromSignalReceiverRefused()
{
    QFETCH(bool, fromProgress);
    StackHarness h;
    const auto fx = h.append({ "A", "B" });
    fx.at(1)->setProgressSteps(1);
    h.stack->setCurrentTfx(1);
    QList<bool> results;
    auto reenter = [&] {
        results.append(h.stack->procOutput(levelSet({ 0 })));
        results.append(h.stack->procCurrentTFx(levelSet({ 0 })));
        results.append(h.stack->isProcessing());
    };
    QObject receiver;
    if (fromProgress)
        connect(h.stack.get(), &TFx::progress, &receiver, reenter);
    else
        connect(h.stack.get(), &TFx::outputChanged, &receiver, reenter);

    QVERIFY(h.stack->procOutput(levelSet({ 0 })));
    QCOMPARE(results.size(), 3 * (fromProgress ? 2 : 1));
    for (int i = 0; i < results.size(); i += 3)
        QCOMPARE(results.mid(i, 3), QList<bool>({ false, false, true }));
    // One pass, each effect once, no nested refusals inside the effects.
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A", "B" }));
    QCOMPARE(RecordLog::count(QStringLiteral("procRefused")), 0);
    QVERIFY(!h.stack->isProcessing());
}

FX_REGISTER_TEST(tst_StackCancel)
#include "tst_stackcancel.moc"
