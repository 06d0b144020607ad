// The effect stack's processing passes: which levels every effect is asked for, the order
// they run in, the stack's output and outputChanged, progress, the empty stack and the
// requests it refuses.

#include "recordlog.h"
#include "stackharness.h"
#include "testregistry.h"
#include "tracecapture.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
// Makes procOutIm reachable, to give it a last index that no public call can produce.
class OpenStack : public TfxStack {
public:
    using TfxStack::procOutIm;
    using TfxStack::TfxStack;
};

// "Name:cid:port:l1,l2" sets a depends entry of the named effect; port is "in" or "mix".
void applyDepends(StackHarness &h, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        QList<int> levels;
        for (const QString &level : parts.at(3).split(QLatin1Char(','), Qt::SkipEmptyParts))
            levels.append(level.toInt());
        TRecordingFx *fx = h.fx(h.names().indexOf(parts.at(0)));
        fx->setDepends(
            parts.at(1).toInt(), parts.at(2) == QLatin1String("mix") ? TFx::InportMix : TFx::InportIn, levels);
    }
}
}

class tst_StackProcessing : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void backwardPassHandsEachEffectTheUnion_data();
    void backwardPassHandsEachEffectTheUnion();
    void mixFromAnotherEffectAddsToThatEffect();
    void imageWithoutProducerAddsNothing();
    void forwardPassRunsEffectsInOrder();
    void outputIsSharedCopyOfLastEffect();
    void outputChangedOnlyForNewStamps_data();
    void outputChangedOnlyForNewStamps();
    void passTraceLines();
    void progressForwardedUnchanged();
    void emptyStack_data();
    void emptyStack();
    void procCurrentTFxRunsUpToCurrent();
    void procCurrentTFxWithoutCurrent_data();
    void procCurrentTFxWithoutCurrent();
    void invalidLevelsRefused_data();
    void invalidLevelsRefused();
    void invalidLastIndexIsABug_data();
    void invalidLastIndexIsABug();
};

void tst_StackProcessing::init()
{
    RecordLog::clear();
    RecordLog::setHook({});
}

void tst_StackProcessing::cleanup() { RecordLog::setHook({}); }

void tst_StackProcessing::backwardPassHandsEachEffectTheUnion_data()
{
    QTest::addColumn<QList<int>>("request");
    QTest::addColumn<QStringList>("depends");
    QTest::addColumn<QList<int>>("a");
    QTest::addColumn<QList<int>>("b");
    QTest::addColumn<QList<int>>("c");

    // Stack A, B, C; each reads the one before as input and mix; depends is {cid} unless set.
    using L = QList<int>;
    QTest::newRow("identity hands the request down") << L { 2 } << QStringList() << L { 2 } << L { 2 } << L { 2 };
    QTest::newRow("two levels") << L { 0, 2 } << QStringList() << L { 0, 2 } << L { 0, 2 } << L { 0, 2 };
    QTest::newRow("last widens on its input")
        << L { 1 } << QStringList({ "C:1:in:0,1", "C:1:mix:1" }) << L { 0, 1 } << L { 0, 1 } << L { 1 };
    QTest::newRow("middle widens") << L { 2 } << QStringList({ "B:2:in:2,3" }) << L { 2, 3 } << L { 2 } << L { 2 };
    QTest::newRow("mix port widens") << L { 1 } << QStringList({ "C:1:mix:1,4" }) << L { 1, 4 } << L { 1, 4 }
                                     << L { 1 };
    QTest::newRow("union over requested levels")
        << L { 1, 5 } << QStringList({ "C:1:in:0", "C:5:in:0,6", "C:1:mix:", "C:5:mix:" }) << L { 0, 6 } << L { 0, 6 }
        << L { 1, 5 };
    QTest::newRow("nothing needed still runs")
        << L { 3 } << QStringList({ "C:3:in:", "C:3:mix:" }) << L {} << L {} << L { 3 };
    QTest::newRow("ids naming no level are dropped")
        << L { 2 } << QStringList({ "C:2:in:2,7", "C:2:mix:7" }) << L { 2 } << L { 2 } << L { 2 };
    QTest::newRow("first effect's depends reach nobody")
        << L { 4 } << QStringList({ "A:4:in:0,1,2", "A:4:mix:3" }) << L { 4 } << L { 4 } << L { 4 };
}

void tst_StackProcessing::backwardPassHandsEachEffectTheUnion()
{
    QFETCH(QList<int>, request);
    QFETCH(QStringList, depends);
    QFETCH(QList<int>, a);
    QFETCH(QList<int>, b);
    QFETCH(QList<int>, c);

    StackHarness h;
    h.append({ "A", "B", "C" });
    applyDepends(h, depends);
    QVERIFY(h.stack->procOutput(levelSet(request)));
    QCOMPARE(RecordLog::requests(QStringLiteral("A")), QList<QList<int>>({ a }));
    QCOMPARE(RecordLog::requests(QStringLiteral("B")), QList<QList<int>>({ b }));
    QCOMPARE(RecordLog::requests(QStringLiteral("C")), QList<QList<int>>({ c }));
}

void tst_StackProcessing::mixFromAnotherEffectAddsToThatEffect()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B", "C" });
    // C reads B as input but A as mix: each port's levels go to its own producer.
    fx.at(2)->setMixImage(fx.at(0)->outImagePtr());
    fx.at(2)->setDepends(2, TFx::InportIn, { 1 });
    fx.at(2)->setDepends(2, TFx::InportMix, { 4 });
    QVERIFY(h.stack->procOutput(levelSet({ 2 })));
    QCOMPARE(RecordLog::requests(QStringLiteral("C")), QList<QList<int>>({ { 2 } }));
    QCOMPARE(RecordLog::requests(QStringLiteral("B")), QList<QList<int>>({ { 1 } }));
    QCOMPARE(RecordLog::requests(QStringLiteral("A")), QList<QList<int>>({ { 1, 4 } }));
}

void tst_StackProcessing::imageWithoutProducerAddsNothing()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B" });
    TIm foreign;
    fx.at(1)->setInImage(&foreign);
    fx.at(1)->setDepends(3, TFx::InportIn, { 5 });
    TraceCapture trace;
    QVERIFY(h.stack->procOutput(levelSet({ 3 })));
    // Only B's mix port (A's output) contributes.
    QCOMPARE(RecordLog::requests(QStringLiteral("A")), QList<QList<int>>({ { 3 } }));
    QVERIFY(
        traceCount(trace, QStringLiteral("TfxStack::connectedToTFx"), QStringLiteral("ERROR: must be BAD TfxStack!"))
        >= 1);
}

void tst_StackProcessing::forwardPassRunsEffectsInOrder()
{
    StackHarness h;
    h.append({ "A", "B" });
    h.add(QStringLiteral("N"), 0);
    h.add(QStringLiteral("M"), 2);
    QVERIFY(h.stack->procOutput(levelSet({ 0 })));
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "N", "A", "M", "B" }));
    for (int i = 0; i < h.stack->numTFxs(); ++i)
        QVERIFY(!h.stack->tfxPtr(i)->isProcessing());
    QVERIFY(!h.stack->isProcessing());
}

void tst_StackProcessing::outputIsSharedCopyOfLastEffect()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B" });
    QVERIFY(h.stack->procOutput(levelSet({ 0, 3 })));
    const TIm *last = fx.at(1)->outImagePtr();
    const TIm *out = h.stack->outImagePtr();
    QVERIFY(out != last);
    for (int i = 0; i < TIm::numLevels; ++i) {
        const auto cid = TIm::CImId(i);
        QCOMPARE(out->width(cid), last->width(cid));
        QCOMPARE(out->height(cid), last->height(cid));
        QCOMPARE(out->getMat(TIm::MatLuma, cid).data, last->getMat(TIm::MatLuma, cid).data);
        QCOMPARE(out->ptr(cid)->uid()->id(), last->ptr(cid)->uid()->id());
    }
    QCOMPARE(out->width(TIm::CImView3), StackHarness::levelWidth(TIm::CImView3));
    QCOMPARE(out->height(TIm::CImView3), StackHarness::levelHeight(TIm::CImView3));
    QVERIFY(out->bEmpty(TIm::CImView1));
}

void tst_StackProcessing::outputChangedOnlyForNewStamps_data()
{
    QTest::addColumn<QList<int>>("request");
    QTest::addColumn<bool>("restampAll");
    QTest::addColumn<QList<int>>("restamped");
    QTest::addColumn<QList<int>>("emitted");

    using L = QList<int>;
    QTest::newRow("every requested level renewed") << L { 0, 2 } << true << L {} << L { 0, 2 };
    QTest::newRow("one of two renewed") << L { 0, 2 } << false << L { 2 } << L { 2 };
    QTest::newRow("none renewed by the last effect") << L { 0, 2 } << false << L {} << L {};
}

void tst_StackProcessing::outputChangedOnlyForNewStamps()
{
    QFETCH(QList<int>, request);
    QFETCH(bool, restampAll);
    QFETCH(QList<int>, restamped);
    QFETCH(QList<int>, emitted);

    StackHarness h;
    const auto fx = h.append({ "A", "B" });
    if (!restampAll)
        fx.at(1)->setStampLevels(restamped);
    // A renews every level it refreshes; only the last effect's stamps count.
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    QVERIFY(h.stack->procOutput(levelSet(request)));
    QCOMPARE(emittedLevels(changed), emitted);

    // A second pass with nothing renewed anywhere reports nothing.
    fx.at(0)->setStampLevels({});
    fx.at(1)->setStampLevels({});
    changed.clear();
    QVERIFY(h.stack->procOutput(levelSet(request)));
    QCOMPARE(changed.count(), 0);
}

void tst_StackProcessing::passTraceLines()
{
    StackHarness h;
    h.append({ "A", "B" });
    h.fx(1)->setDepends(2, TFx::InportIn, { 1, 2 });
    TraceCapture trace;
    QVERIFY(h.stack->procOutput(levelSet({ 2 })));
    const QString where = QStringLiteral("TfxStack::procOutIm");
    const QStringList start = traceLines(trace, where, QStringLiteral("->"));
    QCOMPARE(start.size(), 1);
    QVERIFY2(start.first().endsWith(QLatin1String("QSet(2) 1")), qPrintable(start.first()));
    const QStringList toUpdate = traceLines(trace, where, QStringLiteral("to update: "));
    QCOMPARE(toUpdate.size(), 2);
    QVERIFY2(toUpdate.at(0).contains(QRegularExpression(QStringLiteral("to update:\\s+2\\s+CIds\\.$"))),
        qPrintable(toUpdate.at(0)));
    QVERIFY2(toUpdate.at(1).contains(QRegularExpression(QStringLiteral("to update:\\s+1\\s+CIds\\.$"))),
        qPrintable(toUpdate.at(1)));
    const QStringList updated = traceLines(trace, where, QStringLiteral(" updated: "));
    QCOMPARE(updated.size(), 1);
    const QString sizes = QStringLiteral("\\s2\\s+%1\\s+%2$")
                              .arg(StackHarness::levelWidth(TIm::CImView2))
                              .arg(StackHarness::levelHeight(TIm::CImView2));
    QVERIFY2(updated.first().contains(QRegularExpression(sizes)), qPrintable(updated.first()));
    const QStringList done = traceLines(trace, where, QStringLiteral("Exist succesfully!"));
    QCOMPARE(done.size(), 1);
    QVERIFY2(done.first().endsWith(QLatin1String("QSet(2)")), qPrintable(done.first()));
}

void tst_StackProcessing::progressForwardedUnchanged()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B", "C" });
    fx.at(0)->setProgressSteps(2);
    fx.at(2)->setProgressSteps(4);
    QSignalSpy progress(h.stack.get(), &TFx::progress);
    QVERIFY(h.stack->procOutput(levelSet({ 1 })));
    QList<int> values;
    for (const QList<QVariant> &arguments : progress)
        values.append(arguments.at(0).toInt());
    QCOMPARE(values, QList<int>({ 0, 500, 1000, 0, 250, 500, 750, 1000 }));
}

void tst_StackProcessing::emptyStack_data()
{
    QTest::addColumn<bool>("withInput");
    QTest::newRow("with an input image") << true;
    QTest::newRow("without an input image") << false;
}

void tst_StackProcessing::emptyStack()
{
    QFETCH(bool, withInput);
    StackHarness h(withInput);
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    TraceCapture trace;
    QCOMPARE(h.stack->procOutput(levelSet({ 0, 3 })), withInput);
    const QStringList lines
        = traceLines(trace, QStringLiteral("TfxStack::procOutput"), QStringLiteral("--> empty stack <--"));
    QCOMPARE(lines.size(), withInput ? 1 : 0);
    if (withInput)
        QVERIFY2(
            lines.first().endsWith(QLatin1String("QSet(0, 3)")) || lines.first().endsWith(QLatin1String("QSet(3, 0)")),
            qPrintable(lines.first()));
    QCOMPARE(changed.count(), 0);
    QVERIFY(!h.stack->isProcessing());
    const TIm *out = h.stack->outImagePtr();
    for (int i = 0; i < TIm::numLevels; ++i) {
        const auto cid = TIm::CImId(i);
        if (!withInput) {
            QVERIFY(out->bEmpty(cid));
            continue;
        }
        // Every level, requested or not, is a shared copy of the input.
        QCOMPARE(out->width(cid), h.input.width(cid));
        QCOMPARE(out->getMat(TIm::MatLuma, cid).data, h.input.getMat(TIm::MatLuma, cid).data);
        QCOMPARE(out->ptr(cid)->uid()->id(), h.input.ptr(cid)->uid()->id());
    }
}

void tst_StackProcessing::procCurrentTFxRunsUpToCurrent()
{
    StackHarness h;
    const auto fx = h.append({ "A", "B", "C" });
    fx.at(1)->setDepends(3, TFx::InportIn, { 2, 3 });
    h.stack->setCurrentTfx(1);
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    QVERIFY(h.stack->procCurrentTFx(levelSet({ 3 })));
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A", "B" }));
    QCOMPARE(RecordLog::requests(QStringLiteral("A")), QList<QList<int>>({ { 2, 3 } }));
    QCOMPARE(RecordLog::requests(QStringLiteral("B")), QList<QList<int>>({ { 3 } }));
    const TIm *out = h.stack->outImagePtr();
    QCOMPARE(out->ptr(TIm::CImView3)->uid()->id(), fx.at(1)->outImagePtr()->ptr(TIm::CImView3)->uid()->id());
    QCOMPARE(out->getMat(TIm::MatLuma, TIm::CImView3).data,
        fx.at(1)->outImagePtr()->getMat(TIm::MatLuma, TIm::CImView3).data);
    QCOMPARE(emittedLevels(changed), QList<int>({ 3 }));
}

void tst_StackProcessing::procCurrentTFxWithoutCurrent_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("no current effect") << 2;
    QTest::newRow("empty stack") << 0;
}

void tst_StackProcessing::procCurrentTFxWithoutCurrent()
{
    QFETCH(int, count);
    StackHarness h;
    for (int i = 0; i < count; ++i)
        h.add(QString::number(i), i);
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    TraceCapture trace;
    QVERIFY(h.stack->procCurrentTFx(levelSet({ 1 })));
    const QStringList lines
        = traceLines(trace, QStringLiteral("TfxStack::procCurrentTFx"), QStringLiteral("<- no current tfx "));
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(QLatin1String("QSet(1)")), qPrintable(lines.first()));
    QCOMPARE(RecordLog::count(QStringLiteral("procOutput")), 0);
    QCOMPARE(changed.count(), 0);
    QVERIFY(allEmpty(h.stack->outImagePtr()));
    QVERIFY(!h.stack->isProcessing());
}

void tst_StackProcessing::invalidLevelsRefused_data()
{
    QTest::addColumn<QList<int>>("request");
    QTest::addColumn<int>("count");
    QTest::newRow("one past the last level") << QList<int>({ 7 }) << 2;
    QTest::newRow("valid and invalid mixed") << QList<int>({ 0, 7 }) << 2;
    QTest::newRow("invalid level, empty stack") << QList<int>({ 7 }) << 0;
    QTest::newRow("negative level") << QList<int>({ -1, 2 }) << 2;
    QTest::newRow("far out of range") << QList<int>({ 1000000 }) << 1;
}

void tst_StackProcessing::invalidLevelsRefused()
{
    QFETCH(QList<int>, request);
    QFETCH(int, count);
    StackHarness h;
    for (int i = 0; i < count; ++i)
        h.add(QString::number(i), i);
    h.stack->setCurrentTfx(0);
    QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
    TraceCapture trace;
    QVERIFY(!h.stack->procOutput(levelSet(request)));
    QVERIFY(!h.stack->procCurrentTFx(levelSet(request)));
    QCOMPARE(RecordLog::count(QStringLiteral("procOutput")), 0);
    QCOMPARE(changed.count(), 0);
    QVERIFY(allEmpty(h.stack->outImagePtr()));
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::procOutput"), QStringLiteral("invalid level in request:")), 1);
    QCOMPARE(
        traceCount(trace, QStringLiteral("TfxStack::procCurrentTFx"), QStringLiteral("invalid level in request:")), 1);
    QVERIFY(!h.stack->isProcessing());
    // The stack still works afterwards.
    if (count > 0) {
        QVERIFY(h.stack->procOutput(levelSet({ 0 })));
        QCOMPARE(RecordLog::count(QStringLiteral("procOutput")), count);
    }
}

void tst_StackProcessing::invalidLastIndexIsABug_data()
{
    QTest::addColumn<int>("last");
    QTest::newRow("negative") << -1;
    QTest::newRow("the count") << 2;
}

void tst_StackProcessing::invalidLastIndexIsABug()
{
    QFETCH(int, last);
    std::unique_ptr<OpenStack> stack;
    {
        StdoutCapture quiet;
        stack = std::make_unique<OpenStack>(QStringLiteral("open"), nullptr);
    }
    TIm input;
    stack->setInImage(&input);
    stack->setMixImage(&input);
    QVERIFY(stack->addTFx(QStringLiteral("RecA"), QStringLiteral("A"), 0));
    QVERIFY(stack->addTFx(QStringLiteral("RecA"), QStringLiteral("B"), 1));
    TraceCapture trace;
    QVERIFY(!stack->procOutIm(levelSet({ 0 }), last));
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::procOutIm"), QStringLiteral("BUG!")), 1);
    QCOMPARE(RecordLog::count(QStringLiteral("procOutput")), 0);
}

FX_REGISTER_TEST(tst_StackProcessing)
#include "tst_stackprocessing.moc"
