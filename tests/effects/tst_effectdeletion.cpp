// Effects that a host deletes itself, behind the stack's back: the effects after them must be
// rewired before the deleted effect's output set goes, because rewiring makes them read both
// of their images (the recording effect does, as a blending effect would).
#include "stackharness.h"
#include "testregistry.h"

#include <QtTest>

class tst_EffectDeletion : public QObject {
    Q_OBJECT
private slots:
    void hostDeletesEffect_data()
    {
        QTest::addColumn<QString>("victim");
        QTest::addColumn<bool>("reparentFirst");
        QTest::addColumn<QString>("wiring");
        QTest::addColumn<int>("current");
        QTest::newRow("middle") << "B" << false << "A<in,mix C<A,A" << 1;
        QTest::newRow("first") << "A" << false << "B<in,mix C<B,B" << 1;
        QTest::newRow("last") << "C" << false << "A<in,mix B<A,A" << -1;
        // An effect the host took out of the stack's Qt children first.
        QTest::newRow("middle, reparented") << "B" << true << "A<in,mix C<A,A" << 1;
        QTest::newRow("first, reparented") << "A" << true << "B<in,mix C<B,B" << 1;
    }

    void hostDeletesEffect()
    {
        QFETCH(QString, victim);
        QFETCH(bool, reparentFirst);
        QFETCH(QString, wiring);
        QFETCH(int, current);
        StackHarness h({ "A", "B", "C" });
        h.stack->setCurrentTfx(2);
        TRecordingFx *fx = h.fx(victim);
        QVERIFY(fx);
        if (reparentFirst)
            fx->setParent(nullptr);
        QSignalSpy currentSpy(h.stack.get(), &TfxStack::currentTfxChanged);
        delete fx;
        QCOMPARE(h.stack->numTFxs(), 2);
        QCOMPARE(h.wiring(), wiring);
        QCOMPARE(h.stack->currentTfx(), current);
        QCOMPARE(currentSpy.count(), 1);
        // The survivors' records name only live stamps; a pass works.
        QVERIFY(h.stack->procOutput(levelSet("0,1")));
        for (int i = 0; i < h.stack->numTFxs(); ++i) {
            const TIm *out = h.stack->tfxPtr(i)->outImagePtr();
            QCOMPARE(out->ptr(TIm::CImFull)->m_depends.size(),
                h.stack->tfxPtr(i)->inImagePtr() == h.stack->tfxPtr(i)->mixImagePtr() ? 1 : 2);
        }
    }
};

FX_REGISTER_TEST(tst_EffectDeletion)
#include "tst_effectdeletion.moc"
