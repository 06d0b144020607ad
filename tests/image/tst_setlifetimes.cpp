// Dependency records on the levels of image sets that are later assigned or re-derived.
#include "testregistry.h"
#include "tim.h"
#include "tpimage.h"
#include "troi.h"

#include <QtTest>

Q_DECLARE_METATYPE(TRoi)

class tst_SetLifetimes : public QObject {
    Q_OBJECT
private slots:
    // Assignment gives the set new level objects; a record on an old level must report a
    // change and never read the destroyed stamp (the address sanitizer watches this).
    void recordAcrossAssignment()
    {
        TIm source, target;
        for (int i = 0; i < TIm::numLevels; ++i)
            source.ptr(TIm::CImId(i))->create(6 + i, 4 + i, false);
        TUidDepends record;
        for (int i = 0; i < TIm::numLevels; ++i)
            record.addDepedentUid(target.ptr(TIm::CImId(i))->uid());
        record.clean(nullptr);
        QVERIFY(!record.dirty(nullptr));
        target = source;
        QVERIFY(record.dirty(nullptr));
        record.clean(nullptr);
        QCOMPARE(record.size(), 0);
        // A level's own record, set up after the assignment, works as usual.
        TPImage *level = target.ptr(TIm::CImView3);
        level->m_depends.addDepedentUid(source.ptr(TIm::CImView3)->uid());
        level->m_depends.clean(nullptr);
        QCOMPARE(target.dirty(TIm::CImView3), 0);
        source.updateUid(TIm::CImView3);
        QCOMPARE(target.dirty(TIm::CImView3), 1);
        // The source going away leaves the assigned set's record dirty, not dangling.
        level->m_depends.clean(nullptr);
        {
            TIm temporary(source);
            level->m_depends.addDepedentUid(temporary.ptr(TIm::CImView4)->uid());
            level->m_depends.clean(nullptr);
        }
        QCOMPARE(target.dirty(TIm::CImView3), 1);
    }

    // Asking again for the same empty region changes nothing: no new stamp.
    void emptyRegionAgainKeepsStamp_data()
    {
        QTest::addColumn<TRoi>("roi");
        QTest::newRow("zero width") << TRoi(0, 10, 4, 2, 2);
        QTest::newRow("zero height") << TRoi(10, 0, 4, 2, 2);
        QTest::newRow("negative width") << TRoi(-3, 10, 0, 0, 1);
    }

    void emptyRegionAgainKeepsStamp()
    {
        QFETCH(TRoi, roi);
        TIm image;
        image.ptr(TIm::CImFull)->create(64, 48, false);
        QVERIFY(image.updateCIms(TIm::CImView1, TRoi(8, 8, 0, 0, 2)));
        const auto derived = image.ptr(TIm::CImView1)->uid()->id();
        QVERIFY(image.updateCIms(TIm::CImView1, roi));
        const auto emptied = image.ptr(TIm::CImView1)->uid()->id();
        QVERIFY(emptied != derived); // a new region, even an empty one, is a change
        QVERIFY(image.bEmpty(TIm::CImView1));
        QVERIFY(image.updateCIms(TIm::CImView1, roi));
        QCOMPARE(image.ptr(TIm::CImView1)->uid()->id(), emptied);
    }
};

FX_REGISTER_TEST(tst_SetLifetimes)
#include "tst_setlifetimes.moc"
