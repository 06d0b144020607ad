// The effect stack: where inserted effects read from, the current index, removal and
// reordering; and the processing passes: the levels every effect is asked for, their order, the
// output and outputChanged, cancellation, re-entry, and passes that do not reach every effect.

#include "stackharness.h"
#include "testregistry.h"
#include "tracecapture.h"

#include <QPointer>
#include <QtTest>

class tst_TfxStack : public QObject {
    Q_OBJECT
private slots:
    void editsRewireAndMoveCurrent_data()
    {
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QString>("wiring");
        QTest::addColumn<QString>("emitted");
        // Edits on the stack A B C, separated by ';': "add <key> <index>" (named N), "delete
        // <index>", "move <from> <to>", "current <index>", "destroy <index>" (the C++ delete),
        // and "mix=in" that makes the stack's input its mix image too. Wiring: "in" and "mix"
        // are the stack's images, a name an effect's output. Emitted: currentTfxChanged.
        const char *rows[][4] = {
            { "add to an empty stack, index beyond the end", "delete 0;delete 0;delete 0;add RecA 3", "N<in,mix", "" },
            { "add at index 99 appends", "add RecA 99", "A<in,mix B<A,A C<B,B N<C,C", "" },
            { "add in the middle", "add RecA 1", "A<in,mix N<A,A B<N,N C<B,B", "" },
            { "add at -5 prepends, input and mix differ", "add RecA -5", "N<in,mix A<N,mix B<A,A C<B,B", "" },
            { "prepend, input and mix one image", "mix=in;add RecA 0", "N<in,in A<N,N B<A,A C<B,B", "" },
            { "add an unknown key", "add Nope 0", "A<in,mix B<A,A C<B,B", "" },
            { "current beyond the end clamps", "current 7;current 7", "A<in,mix B<A,A C<B,B", "2,2" },
            { "current again emits nothing", "current 1;current 1", "A<in,mix B<A,A C<B,B", "1" },
            { "negative current becomes -1", "current 1;current -4", "A<in,mix B<A,A C<B,B", "1,-1" },
            { "current -1 while none is current", "current -1", "A<in,mix B<A,A C<B,B", "" },
            { "current on an empty stack", "delete 0;delete 0;delete 0;current 0", "", "-1" },
            { "delete first, current after it", "current 2;delete 0", "B<in,mix C<B,B", "2,1" },
            { "delete middle, current is it", "current 1;delete 1", "A<in,mix C<A,A", "1,-1" },
            { "delete last, current before it", "current 0;delete 2", "A<in,mix B<A,A", "0" },
            { "delete -1", "current 1;delete -1", "A<in,mix B<A,A C<B,B", "1" },
            { "delete the count", "delete 3", "A<in,mix B<A,A C<B,B", "" },
            { "move first to last, current moves", "current 0;move 0 2", "B<in,mix C<B,B A<C,C", "0,2" },
            { "move last to first, current shifts up", "current 0;move 2 0", "C<in,mix A<C,C B<A,A", "0,1" },
            { "move first to last, current shifts down", "current 2;move 0 2", "B<in,mix C<B,B A<C,C", "2,1" },
            { "move middle to first, current after both", "current 2;move 1 0", "B<in,mix A<B,B C<A,A", "2" },
            { "move from -1", "current 1;move -1 0", "A<in,mix B<A,A C<B,B", "1" },
            { "move to the count", "move 0 3", "A<in,mix B<A,A C<B,B", "" },
            { "an effect deleted from outside leaves", "current 2;destroy 1", "A<in,mix C<A,A", "2,1" },
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]);
    }
    void editsRewireAndMoveCurrent()
    {
        QFETCH(QString, edits);
        QFETCH(QString, wiring);
        QFETCH(QString, emitted);
        StackHarness h({ "A", "B", "C" });
        QSignalSpy changed(h.stack.get(), &TfxStack::currentTfxChanged);
        for (const QString &edit : edits.split(';')) {
            const QStringList op = edit.split(' ');
            const int a = op.value(1).toInt(), b = op.value(2).toInt();
            const QPointer<TFx> target = h.stack->tfxPtr(a);
            const QString name = op[0] == "add" ? "N" : target ? target->objectName() : "", before = h.wiring();
            TraceCapture trace;
            bool done = false;
            if (op[0] == "current")
                h.stack->setCurrentTfx(a);
            else if (op[0] == "mix=in")
                h.stack->setMixImage(&h.input);
            else if (op[0] == "destroy")
                delete target;
            else if (op[0] == "add")
                done = h.stack->addTFx(op[1], "N", b);
            else
                done = op[0] == "delete" ? h.stack->deleteTFx(a) : h.stack->moveTFx(a, b);
            if (!QStringList({ "add", "delete", "move" }).contains(op[0]))
                continue;
            // An edit that succeeds changes the chain and says so in one trace line.
            QCOMPARE(done, h.wiring() != before);
            const QStringList lines = trace.matching("TfxStack::" + op[0] + "TFx");
            QCOMPARE(lines.size(), 1);
            QVERIFY2(lines[0].contains(done   ? '"' + name + '"'
                             : op[0] == "add" ? "failed"
                                              : "refused"),
                qPrintable(edit + ": " + lines[0]));
            QVERIFY2(!target || op[0] != "delete" || !done, qPrintable(edit + ": the deleted effect still exists"));
        }
        QCOMPARE(h.wiring(), wiring);
        QCOMPARE(values(changed), emitted);
        QCOMPARE(h.stack->currentTfx(), emitted.isEmpty() ? -1 : emitted.split(',').last().toInt());
        // A pass runs the new chain in order.
        QVERIFY(h.stack->procOutput(levelSet("0")));
        QCOMPARE(recorded("procOutput"), QString(wiring).replace(QRegularExpression("<\\S+"), "(0)"));
    }

    void passHandsEachEffectTheUnion_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("depends");
        QTest::addColumn<QString>("requests");
        QTest::addColumn<QString>("stamped");
        // Stack A B C, each reading the one before on both ports. Depends is {cid} unless an
        // entry "<effect>:<cid>:<port>:<levels>" says otherwise; "C:mix=A" makes C mix A. C
        // stamps anew only the levels in stamped (A and B all), and only those are announced.
        const char *rows[][5] = {
            { "identity hands the request down", "0,2", "", "A(0,2) B(0,2) C(0,2)", "0,2" },
            { "one of two levels renewed", "0,2", "", "A(0,2) B(0,2) C(0,2)", "2" },
            { "no level renewed", "0,2", "", "A(0,2) B(0,2) C(0,2)", "" },
            { "last widens on both ports", "1", "C:1:in:0,1 C:1:mix:1,4", "A(0,1,4) B(0,1,4) C(1)", "1" },
            { "union over the requested levels", "1,5", "C:1:in:0 C:5:in:0,6 C:1:mix: C:5:mix:", "A(0,6) B(0,6) C(1,5)",
                "1,5" },
            { "nothing needed still runs", "3", "C:3:in: C:3:mix:", "A() B() C(3)", "3" },
            { "ids naming no level are dropped", "2", "C:2:in:2,7 C:2:mix:-1", "A(2) B(2) C(2)", "2" },
            { "each port to its own producer", "2", "C:mix=A C:2:in:1 C:2:mix:4", "A(1,4) B(1) C(2)", "2" },
            { "the first effect's depends reach nobody", "4", "A:4:in:0,1 A:4:mix:3", "A(4) B(4) C(4)", "4" },
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]) << QString(row[4]);
    }
    void passHandsEachEffectTheUnion()
    {
        QFETCH(QString, request);
        QFETCH(QString, depends);
        QFETCH(QString, requests);
        QFETCH(QString, stamped);
        StackHarness h({ "A", "B", "C" });
        for (const QString &entry : depends.split(' ', Qt::SkipEmptyParts)) {
            const QStringList part = entry.split(':');
            if (part[1] == "mix=A")
                h.fx(part[0])->setMixImage(h.fx("A")->outImagePtr());
            else
                h.fx(part[0])->setDepends(
                    part[1].toInt(), part[2] == "mix" ? TFx::InportMix : TFx::InportIn, levelSet(part[3]));
        }
        h.fx("C")->setStampLevels(levelSet(stamped));
        QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
        QVERIFY(h.stack->procOutput(levelSet(request)));
        QCOMPARE(recorded("procOutput"), requests);
        QCOMPARE(values(changed, true), stamped);
        // The output shares the last effect's levels.
        const auto cid = TIm::CImId(request.left(1).toInt());
        QCOMPARE(h.stack->outImagePtr()->ptr(cid)->uid()->id(), h.fx("C")->outImagePtr()->ptr(cid)->uid()->id());
    }

    void cancel_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("processed");
        QTest::addColumn<QString>("trace");
        const char *rows[][4] = {
            { "from a progress receiver", "progress", "A(0,2) B(0,2)", "Exist due to cancel in tfx:  1" },
            { "between effects", "between", "A(0,2)", "Exist due to cancel in tfxstack" },
            { "while idle", "idle", "A(0,2) B(0,2) C(0,2)", "" },
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]);
    }
    void cancel()
    {
        QFETCH(QString, when);
        QFETCH(QString, processed);
        QFETCH(QString, trace);
        StackHarness h({ "A", "B", "C" });
        h.fx("B")->setProgressSteps(4);
        QVERIFY(h.stack->procOutput(levelSet("0,2")));
        const quint64 stamp = h.stack->outImagePtr()->ptr(TIm::CImView2)->uid()->id();
        auto receiver = std::make_unique<QObject>();
        auto cancel = [&] { h.stack->cancelProc(); };
        if (when == "progress")
            connect(h.stack.get(), &TFx::progress, receiver.get(), cancel);
        else if (when == "between") // When A has finished: the stack sees the cancel before B.
            connect(h.fx("A"), &TFx::outputChanged, receiver.get(), cancel);
        else
            cancel();
        QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
        TRecordingFx::calls.clear();
        TraceCapture capture;
        QVERIFY(h.stack->procOutput(levelSet("0,2")));
        receiver.reset();
        QCOMPARE(recorded("procOutput"), processed);
        QCOMPARE(capture.matching("Exist due to cancel").join('|').section(": ", 1), trace);
        // Cancelled in an effect: the output is emptied; before one: it stays as it was.
        const TIm *out = h.stack->outImagePtr();
        QCOMPARE(out->bEmpty(TIm::CImFull), when == "progress");
        QCOMPARE(out->ptr(TIm::CImView2)->uid()->id() == stamp, when == "between");
        QCOMPARE(values(changed, true), when == "idle" ? "0,2" : "");
        TRecordingFx::calls.clear(); // The next pass runs normally.
        QVERIFY(h.stack->procOutput(levelSet("0,2")));
        QCOMPARE(recorded("procOutput"), "A(0,2) B(0,2) C(0,2)");
    }

    void reentryAndEditsFromSignalReceiversRefused()
    {
        StackHarness h({ "A", "B" });
        h.fx("B")->setProgressSteps(1);
        h.stack->setCurrentTfx(1);
        QString results;
        auto reenter = [&] {
            results += QString("%1%2%3%4%5 ")
                           .arg(h.stack->procOutput(levelSet("0")))
                           .arg(h.stack->procCurrentTFx(levelSet("0")))
                           .arg(h.stack->deleteTFx(0))
                           .arg(h.stack->moveTFx(0, 1))
                           .arg(bool(h.stack->addTFx("RecA", "N", 0)));
        };
        connect(h.stack.get(), &TFx::progress, reenter);
        connect(h.stack.get(), &TFx::outputChanged, reenter);
        QVERIFY(h.stack->procOutput(levelSet("0")));
        // Two progress reports and one outputChanged, each refused everything.
        QCOMPARE(results, "00000 00000 00000 ");
        QCOMPARE(recorded("procOutput"), "A(0) B(0)");
        QCOMPARE(h.wiring(), "A<in,mix B<A,A");
    }

    void emptyStack()
    {
        for (bool withInput : { true, false }) {
            StackHarness h({}, withInput);
            QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
            QCOMPARE(h.stack->procOutput(levelSet("0,3")), withInput);
            QCOMPARE(changed.count(), 0);
            // Every level, requested or not, is the input's, or empty without one.
            for (int i = 0; i < TIm::numLevels; ++i) {
                const TPImage *level = h.stack->outImagePtr()->ptr(TIm::CImId(i));
                if (withInput)
                    QCOMPARE(level->uid()->id(), h.input.ptr(TIm::CImId(i))->uid()->id());
                else
                    QVERIFY2(level->bEmpty(), qPrintable(QString("level %1").arg(i)));
            }
        }
    }

    void procCurrentTFxAndInvalidLevels()
    {
        StackHarness h({ "A", "B", "C" });
        h.fx("B")->setDepends(3, TFx::InportIn, levelSet("2,3"));
        QSignalSpy changed(h.stack.get(), &TFx::outputChanged);
        QVERIFY(h.stack->procCurrentTFx(levelSet("3"))); // None is current: nothing runs.
        QCOMPARE(recorded("procOutput"), "");
        h.stack->setCurrentTfx(1);
        QVERIFY(h.stack->procCurrentTFx(levelSet("3")));
        QCOMPARE(recorded("procOutput"), "A(2,3) B(3)");
        QCOMPARE(values(changed), "3");
        QCOMPARE(h.stack->outImagePtr()->ptr(TIm::CImView3)->uid()->id(),
            h.fx("B")->outImagePtr()->ptr(TIm::CImView3)->uid()->id());
        // Ids that name no level are refused by both passes.
        TraceCapture trace;
        QVERIFY(!h.stack->procCurrentTFx(levelSet("-1,3")));
        QVERIFY(!h.stack->procOutput(levelSet("0,7")));
        QCOMPARE(trace.count("invalid level in request:"), 2);
        QCOMPARE(recorded("procOutput"), "A(2,3) B(3)");
        QCOMPARE(changed.count(), 1);
    }
};

FX_REGISTER_TEST(tst_TfxStack)
#include "tst_tfxstack.moc"
