// Change stamps, update rectangles, progress, the core library's diagnostics and the plane pool.
#include "coretestsupport.h"
#include "planepool.h"
#include "testregistry.h"
#include "tprogress.h"
#include "tuid.h"
#include "tupdaterect.h"

namespace {
// Every value reported; the callback answers false from report number g_stopAt on (0-based).
std::vector<int> g_reports;
int g_stopAt = -1;
bool record(int value, void *)
{
    g_reports.push_back(value);
    return g_stopAt < 0 || int(g_reports.size()) <= g_stopAt;
}
}

class tst_Stamps : public QObject {
    Q_OBJECT
private slots:
    void uidAndDependencyRecord()
    {
        TUid a, b, stranger;
        const auto before = a.id();
        a.update();
        QVERIFY2(a.id() > before && a.id() > b.id(),
            qPrintable(msg("updated %1, before %2, later stamp %3", a.id(), before, b.id())));
        TUidDepends record;
        QVERIFY(!record.dirty(nullptr));
        record.addDepedentUid(&a);
        QVERIFY(record.dirty(nullptr)); // new: dirty until cleaned
        QVERIFY(record.dirty(&a));
        record.clean(&a);
        QVERIFY(!record.dirty(nullptr));
        record.addDepedentUid(&a); // again: keeps what it remembered
        record.addDepedentUid(&b);
        QCOMPARE(record.size(), 2);
        QVERIFY(!record.dirty(&a));
        QVERIFY(record.dirty(&b));
        QVERIFY(record.dirty(nullptr));
        record.clean(nullptr);
        QVERIFY(!record.dirty(nullptr));
        b.update();
        stranger.update();
        QVERIFY(record.dirty(nullptr));
        QVERIFY(record.dirty(&b));
        QVERIFY(!record.dirty(&a));
        QVERIFY(!record.dirty(&stranger));
        record.clean(&b);
        QVERIFY(!record.dirty(nullptr));
    }

    void updateRectTwoWritesOfSameAreaDiffer()
    {
        const TUpdateRect first(0, 0, 10, 10), second(0, 0, 10, 10), copy = first;
        QVERIFY(first != second);
        QVERIFY(copy == first);
        QVERIFY(first != TUpdateRect());
        QVERIFY(TUpdateRect() == TUpdateRect());
    }

    void progressMapsNestedRanges_data()
    {
        QTest::addColumn<float>("share");
        QTest::addColumn<std::vector<int>>("expected");
        QTest::newRow("levels of 0.5") << 0.5f << std::vector<int> { 0, 0, 250, 375, 500, 750, 875, 1000, 1000 };
        QTest::newRow("levels of 0.25") << 0.25f << std::vector<int> { 0, 0, 125, 188, 250, 375, 438, 1000, 1000 };
        QTest::newRow("share above one") << 2.0f << std::vector<int> { 0, 0, 500, 750, 1000, 1000, 1000, 1000, 1000 };
    }

    // Two levels, each reporting its start and middle, then half of its second half within a
    // nested range. The last report goes back at the top and must not show.
    void progressMapsNestedRanges()
    {
        QFETCH(float, share);
        QFETCH(std::vector<int>, expected);
        g_reports.clear(), g_stopAt = -1;
        TProgress progress(record, nullptr);
        progress.prog(0, 1000);
        for (int level = 0; level < 2; ++level) {
            progress.start(share), progress.prog(0, 10), progress.prog(5, 10);
            progress.start(0.5f), progress.prog(1, 2), progress.end(), progress.end();
        }
        progress.prog(1000, 1000);
        progress.prog(10, 100);
        QCOMPARE(QVector<int>(g_reports.begin(), g_reports.end()), QVector<int>(expected.begin(), expected.end()));
    }

    void progressRemembersStop()
    {
        g_reports.clear(), g_stopAt = 2;
        TProgress progress(record, nullptr);
        QVERIFY(progress.prog(0, 10));
        QVERIFY(progress.prog(1, 10));
        QVERIFY(!progress.prog(2, 10));
        g_stopAt = -1; // the callback would go on now, but the stop is remembered
        QVERIFY(!progress.prog(3, 10));
        QVERIFY(progress.bStopped());
        QVERIFY(progress.prog(0, 10)); // until a new run begins
        QVERIFY(!progress.bStopped());
    }

    void traceLineAndDebugHook()
    {
        const std::string line = QXimproca::traceMsg("TfxStack::procOutIm", 42, "no input");
        const std::size_t text = line.find("no input", line.find("42", line.find("TfxStack::procOutIm")));
        QVERIFY2(text != std::string::npos, line.c_str()); // in that order,
        QVERIFY2(line.find('\n') == std::string::npos, line.c_str()); // on one line
        QXimproca::debug("dropped without a hook");
        DebugCounter debug;
        QXimproca::debug("kept");
        QCOMPARE(DebugCounter::count, 1);
        QCOMPARE(QString::fromStdString(DebugCounter::last), QString("kept"));
    }

    void planePoolReusesAndDetaches()
    {
        cv::Mat plane, released;
        PlanePool::createOwned(plane, 4, 4, CV_8UC1);
        plane.setTo(7);
        const uchar *own = plane.data;
        PlanePool::createOwned(plane, 4, 4, CV_8UC1);
        QCOMPARE(static_cast<const uchar *>(plane.data), own); // owned and of the right size: kept
        const cv::Mat sharer = plane;
        PlanePool::createOwned(plane, 4, 4, CV_8UC1);
        QVERIFY(plane.data != sharer.data); // shared: detached
        QCOMPARE(int(sharer.at<uchar>(0, 0)), 7);
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the pool keeps nothing under the address sanitizer");
#endif
        PlanePool::release();
        PlanePool::createOwned(released, 1000, 1000, CV_16UC1);
        own = released.data;
        released.release();
        QVERIFY2(PlanePool::bytesHeld() >= 2000000u, qPrintable(msg("%1 bytes held", PlanePool::bytesHeld())));
        PlanePool::createOwned(released, 1000, 1000, CV_16UC1);
        QCOMPARE(static_cast<const uchar *>(released.data), own);
    }
};

FX_REGISTER_TEST(tst_Stamps)
#include "tst_stamps.moc"
