// The effect stack's wiring: inserting effects, where each one reads from, the stack's own
// images and shared data, the producer map and the current effect.

#include "recordlog.h"
#include "stackharness.h"
#include "testregistry.h"
#include "tfxcommondata.h"
#include "tracecapture.h"

#include <QSignalSpy>
#include <QtTest>

class tst_StackWiring : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void addTFxWiresNewEffectAndSuccessors_data();
    void addTFxWiresNewEffectAndSuccessors();
    void addTFxSetsInputBeforeMix();
    void addTFxMakesEffectChildWithName();
    void addTFxUnknownKeyLeavesStackUnchanged();
    void addTFxKeepsCurrentIndex();
    void tfxPtrOutOfRangeIsNull();
    void stackImageSettersRewireReaders();
    void setCommonDataFeedsFirstEffect();
    void connectedToTFxMapsProducers_data();
    void connectedToTFxMapsProducers();
    void setCurrentTfxRules_data();
    void setCurrentTfxRules();
};

void tst_StackWiring::init() { RecordLog::clear(); }

void tst_StackWiring::cleanup() { TFx::m_commonData_p = nullptr; }

void tst_StackWiring::addTFxWiresNewEffectAndSuccessors_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("sameSourceImages");
    QTest::addColumn<QStringList>("wiring");

    // "name<input,mix" for every effect after inserting N; "in"/"mix" are the stack's images.
    QTest::newRow("empty stack") << QStringList() << 0 << false << QStringList({ "N<in,mix" });
    QTest::newRow("empty stack, index beyond the end") << QStringList() << 3 << false << QStringList({ "N<in,mix" });
    QTest::newRow("append") << QStringList({ "A", "B" }) << 2 << false << QStringList({ "A<in,mix", "B<A,A", "N<B,B" });
    QTest::newRow("index 99 appends") << QStringList({ "A", "B" }) << 99 << false
                                      << QStringList({ "A<in,mix", "B<A,A", "N<B,B" });
    QTest::newRow("insert in the middle")
        << QStringList({ "A", "B" }) << 1 << false << QStringList({ "A<in,mix", "N<A,A", "B<N,N" });
    QTest::newRow("insert before the last of three")
        << QStringList({ "A", "B", "C" }) << 2 << false << QStringList({ "A<in,mix", "B<A,A", "N<B,B", "C<N,N" });
    QTest::newRow("prepend, input and mix differ")
        << QStringList({ "A", "B" }) << 0 << false << QStringList({ "N<in,mix", "A<N,mix", "B<A,A" });
    QTest::newRow("index -5 prepends") << QStringList({ "A", "B" }) << -5 << false
                                       << QStringList({ "N<in,mix", "A<N,mix", "B<A,A" });
    QTest::newRow("prepend, input and mix are one image")
        << QStringList({ "A", "B" }) << 0 << true << QStringList({ "N<in,in", "A<N,N", "B<A,A" });
}

void tst_StackWiring::addTFxWiresNewEffectAndSuccessors()
{
    QFETCH(QStringList, existing);
    QFETCH(int, index);
    QFETCH(bool, sameSourceImages);
    QFETCH(QStringList, wiring);

    StackHarness h;
    if (sameSourceImages)
        h.stack->setMixImage(&h.input);
    h.append(existing);
    TraceCapture trace;
    TRecordingFx *added = h.add(QStringLiteral("N"), index);
    QVERIFY(added);
    QCOMPARE(h.wiring(), wiring);
    QCOMPARE(h.stack->numTFxs(), existing.size() + 1);
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::addTFx"), QStringLiteral("TFX created")), 1);
}

void tst_StackWiring::addTFxSetsInputBeforeMix()
{
    StackHarness h;
    h.append({ "A", "B" });
    RecordLog::clear();
    TRecordingFx *added = h.add(QStringLiteral("N"), 1);
    const TIm *aOut = h.stack->tfxPtr(0)->outImagePtr();
    const TIm *nOut = added->outImagePtr();

    QList<RecordLog::Call> calls;
    for (const RecordLog::Call &call : RecordLog::calls()) {
        if (call.what == QLatin1String("setInImage") || call.what == QLatin1String("setMixImage"))
            calls.append(call);
    }
    // The new effect gets its input and then its mix image; its successor is moved over to
    // the new effect's output, once per port.
    QCOMPARE(calls.size(), 4);
    QCOMPARE(calls.at(0).object + calls.at(0).what, QStringLiteral("NsetInImage"));
    QCOMPARE(calls.at(0).image, static_cast<const void *>(aOut));
    QCOMPARE(calls.at(1).object + calls.at(1).what, QStringLiteral("NsetMixImage"));
    QCOMPARE(calls.at(1).image, static_cast<const void *>(aOut));
    QCOMPARE(calls.at(2).object + calls.at(2).what, QStringLiteral("BsetInImage"));
    QCOMPARE(calls.at(2).image, static_cast<const void *>(nOut));
    QCOMPARE(calls.at(3).object + calls.at(3).what, QStringLiteral("BsetMixImage"));
    QCOMPARE(calls.at(3).image, static_cast<const void *>(nOut));
    // Each changed pointer rebuilt the dependency records once.
    QCOMPARE(RecordLog::count(QStringLiteral("setOutImageDepends"), QStringLiteral("N")), 2);
    QCOMPARE(RecordLog::count(QStringLiteral("setOutImageDepends"), QStringLiteral("B")), 2);
    QCOMPARE(RecordLog::count(QStringLiteral("setOutImageDepends"), QStringLiteral("A")), 0);
}

void tst_StackWiring::addTFxMakesEffectChildWithName()
{
    StackHarness h;
    TFx *fx = h.stack->addTFx(QStringLiteral("RecB"), QStringLiteral("my blur"), 0);
    QVERIFY(fx);
    QCOMPARE(fx->parent(), h.stack.get());
    QCOMPARE(fx->objectName(), QStringLiteral("my blur"));
    QCOMPARE(h.stack->tfxPtr(0), fx);
    QCOMPARE(RecordLog::objects(QStringLiteral("createTFx")), QStringList(QStringLiteral("RecB")));
    // The stack forwards the effect's progress.
    QSignalSpy progress(h.stack.get(), &TFx::progress);
    emit fx->progress(321);
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.at(0).at(0).toInt(), 321);
}

void tst_StackWiring::addTFxUnknownKeyLeavesStackUnchanged()
{
    StackHarness h;
    h.append({ "A" });
    const QStringList before = h.wiring();
    TraceCapture trace;
    QVERIFY(!h.stack->addTFx(QStringLiteral("NoSuchEffect"), QStringLiteral("x"), 0));
    QCOMPARE(h.wiring(), before);
    QCOMPARE(h.stack->numTFxs(), 1);
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::addTFx"), QStringLiteral("createTFx failed")), 1);
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::addTFx"), QStringLiteral("TFX created")), 0);
    // A filter key is no effect key.
    QVERIFY(!h.stack->addTFx(QStringLiteral("Zoom"), QStringLiteral("x"), 0));
    QCOMPARE(h.stack->numTFxs(), 1);
}

void tst_StackWiring::addTFxKeepsCurrentIndex()
{
    StackHarness h;
    h.append({ "A", "B" });
    h.stack->setCurrentTfx(1);
    QSignalSpy changed(h.stack.get(), &TfxStack::currentTfxChanged);
    h.add(QStringLiteral("N"), 0);
    QCOMPARE(h.stack->currentTfx(), 1);
    QCOMPARE(changed.count(), 0);
}

void tst_StackWiring::tfxPtrOutOfRangeIsNull()
{
    StackHarness h;
    h.append({ "A", "B" });
    const TfxStack *constStack = h.stack.get();
    QVERIFY(!h.stack->tfxPtr(-1));
    QVERIFY(!h.stack->tfxPtr(2));
    QVERIFY(!constStack->tfxPtr(-1));
    QVERIFY(!constStack->tfxPtr(2));
    QCOMPARE(constStack->tfxPtr(1), h.stack->tfxPtr(1));
}

void tst_StackWiring::stackImageSettersRewireReaders()
{
    StackHarness h;
    // N reads the stack's input and mix; A reads N's output and the stack's mix; B reads A.
    h.append({ "A", "B" });
    h.add(QStringLiteral("N"), 0);
    TIm otherInput;
    TIm otherMix;

    h.stack->setInImage(&otherInput);
    QCOMPARE(h.stack->inImagePtr(), &otherInput);
    QCOMPARE(h.wiring(), QStringList({ "N<?,mix", "A<N,mix", "B<A,A" }));
    QCOMPARE(h.stack->tfxPtr(0)->inImagePtr(), &otherInput);

    h.stack->setMixImage(&otherMix);
    QCOMPARE(h.stack->mixImagePtr(), &otherMix);
    QCOMPARE(h.stack->tfxPtr(0)->mixImagePtr(), &otherMix);
    QCOMPARE(h.stack->tfxPtr(1)->mixImagePtr(), &otherMix);
    QCOMPARE(h.stack->tfxPtr(2)->mixImagePtr(), h.stack->tfxPtr(1)->outImagePtr());
}

void tst_StackWiring::setCommonDataFeedsFirstEffect()
{
    StackHarness h(false);
    h.append({ "A", "B" });
    QCOMPARE(h.wiring(), QStringList({ "A<null,null", "B<A,A" }));
    TFxCommonData data;
    h.stack->setCommonData(&data);
    QCOMPARE(TFx::getCommonData(), &data);
    QCOMPARE(h.stack->inImagePtr(), &data.image());
    QCOMPARE(h.stack->mixImagePtr(), &data.image());
    QCOMPARE(h.stack->tfxPtr(0)->inImagePtr(), &data.image());
    QCOMPARE(h.stack->tfxPtr(0)->mixImagePtr(), &data.image());
    QCOMPARE(h.wiring().at(1), QStringLiteral("B<A,A"));
    // An effect added first afterwards reads the shared set too.
    h.add(QStringLiteral("N"), 0);
    QCOMPARE(h.stack->tfxPtr(0)->inImagePtr(), &data.image());
    QCOMPARE(h.stack->tfxPtr(0)->mixImagePtr(), &data.image());
    QCOMPARE(h.stack->tfxPtr(1)->inImagePtr(), h.stack->tfxPtr(0)->outImagePtr());
    QCOMPARE(h.stack->tfxPtr(1)->mixImagePtr(), h.stack->tfxPtr(0)->outImagePtr());
}

void tst_StackWiring::connectedToTFxMapsProducers_data()
{
    QTest::addColumn<QString>("image");
    QTest::addColumn<bool>("sameSourceImages");
    QTest::addColumn<int>("expected");

    QTest::newRow("stack input") << "in" << false << -1;
    QTest::newRow("stack mix") << "mix" << false << -2;
    QTest::newRow("input that is also the mix") << "in" << true << -1;
    QTest::newRow("first effect's output") << "A" << false << 0;
    QTest::newRow("last effect's output") << "C" << false << 2;
    QTest::newRow("the stack's own output") << "stack" << false << -3;
    QTest::newRow("an unrelated image") << "other" << false << -3;
}

void tst_StackWiring::connectedToTFxMapsProducers()
{
    QFETCH(QString, image);
    QFETCH(bool, sameSourceImages);
    QFETCH(int, expected);

    StackHarness h;
    if (sameSourceImages)
        h.stack->setMixImage(&h.input);
    h.append({ "A", "B", "C" });
    TIm other;
    const TIm *asked = &other;
    if (image == QLatin1String("in"))
        asked = &h.input;
    else if (image == QLatin1String("mix"))
        asked = &h.mix;
    else if (image == QLatin1String("stack"))
        asked = h.stack->outImagePtr();
    else if (image != QLatin1String("other"))
        asked = h.stack->tfxPtr(h.names().indexOf(image))->outImagePtr();

    TraceCapture trace;
    QCOMPARE(h.stack->connectedToTFx(asked), expected);
    const int errors
        = traceCount(trace, QStringLiteral("TfxStack::connectedToTFx"), QStringLiteral("ERROR: must be BAD TfxStack!"));
    QCOMPARE(errors, expected == -3 ? 1 : 0);
}

void tst_StackWiring::setCurrentTfxRules_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("calls");
    QTest::addColumn<QList<int>>("emitted");

    QTest::newRow("index beyond the end clamps to the last") << 3 << QList<int>({ 7 }) << QList<int>({ 2 });
    QTest::newRow("beyond the end again emits again") << 3 << QList<int>({ 7, 7 }) << QList<int>({ 2, 2 });
    QTest::newRow("the current index again emits nothing") << 3 << QList<int>({ 7, 2 }) << QList<int>({ 2 });
    QTest::newRow("in range") << 3 << QList<int>({ 0, 1, 1 }) << QList<int>({ 0, 1 });
    QTest::newRow("negative becomes -1") << 3 << QList<int>({ 1, -4 }) << QList<int>({ 1, -1 });
    QTest::newRow("negative other than -1 while none is current") << 3 << QList<int>({ -4 }) << QList<int>({ -1 });
    QTest::newRow("-1 while none is current") << 3 << QList<int>({ -1 }) << QList<int>();
    QTest::newRow("empty stack, index 0") << 0 << QList<int>({ 0 }) << QList<int>({ -1 });
}

void tst_StackWiring::setCurrentTfxRules()
{
    QFETCH(int, count);
    QFETCH(QList<int>, calls);
    QFETCH(QList<int>, emitted);

    StackHarness h;
    for (int i = 0; i < count; ++i)
        h.add(QString::number(i), i);
    QCOMPARE(h.stack->currentTfx(), -1);
    QSignalSpy changed(h.stack.get(), &TfxStack::currentTfxChanged);
    for (int index : calls)
        h.stack->setCurrentTfx(index);
    QList<int> values;
    for (const QList<QVariant> &arguments : changed)
        values.append(arguments.at(0).toInt());
    QCOMPARE(values, emitted);
    QCOMPARE(h.stack->currentTfx(), emitted.isEmpty() ? -1 : emitted.last());
}

FX_REGISTER_TEST(tst_StackWiring)
#include "tst_stackwiring.moc"
