#include "planepool.h"
#include "qximproca.h"
#include "testregistry.h"
#include "tprogress.h"
#include "tuid.h"
#include "tupdaterect.h"

#include <QtTest>

#include <vector>

namespace {
struct ProgressLog {
    std::vector<int> values;
    int stopAfter = -1; // answer false from this call on (0-based), -1 never
};

bool recordProgress(int value, void *context)
{
    auto *log = static_cast<ProgressLog *>(context);
    log->values.push_back(value);
    return log->stopAfter < 0 || int(log->values.size()) <= log->stopAfter;
}

std::vector<std::string> g_debugLines;
void collectDebug(const char *text)
{
    g_debugLines.emplace_back(text);
}
}

class tst_Stamps : public QObject {
    Q_OBJECT
private slots:
    void uidSerialsAreUniqueAndAdvance();
    void dependsNewStampIsDirtyUntilCleaned();
    void dependsTracksEachStamp();
    void dependsIgnoresUnrecordedStamp();
    void dependsClearForgetsEverything();
    void updateRectTwoWritesOfSameAreaDiffer();
    void progressMapsNestedRanges_data();
    void progressMapsNestedRanges();
    void progressNeverGoesBackWithinRun();
    void progressRemembersStop();
    void progressNewRunClearsStop();
    void progressUnbalancedEndIsHarmless();
    void traceMsgHoldsLocationLineAndText();
    void debugHookReceivesCoreDiagnostics();
    void poolReusesReleasedBuffers();
    void poolCreateOwnedDetachesSharedBuffer();
};

void tst_Stamps::uidSerialsAreUniqueAndAdvance()
{
    TUid a, b;
    QVERIFY(a.id() != b.id());
    const auto before = a.id();
    a.update();
    QVERIFY(a.id() > before);
    QVERIFY(a.id() > b.id());
    b.takeId(a);
    QCOMPARE(b.id(), a.id());
}

void tst_Stamps::dependsNewStampIsDirtyUntilCleaned()
{
    TUid stamp;
    TUidDepends record;
    QVERIFY(!record.dirty(nullptr));
    record.addDepedentUid(&stamp);
    QVERIFY(record.dirty(nullptr));
    QVERIFY(record.dirty(&stamp));
    record.clean(&stamp);
    QVERIFY(!record.dirty(nullptr));
    // Adding it again keeps what was remembered.
    record.addDepedentUid(&stamp);
    QCOMPARE(record.size(), 1);
    QVERIFY(!record.dirty(&stamp));
}

void tst_Stamps::dependsTracksEachStamp()
{
    TUid a, b;
    TUidDepends record;
    record.addDepedentUid(&a);
    record.addDepedentUid(&b);
    record.clean(nullptr);
    QVERIFY(!record.dirty(nullptr));

    b.update();
    QVERIFY(record.dirty(nullptr));
    QVERIFY(!record.dirty(&a));
    QVERIFY(record.dirty(&b));

    record.clean(&a);
    QVERIFY(record.dirty(&b));
    record.clean(&b);
    QVERIFY(!record.dirty(nullptr));

    // A stamp that took over another's id counts as changed only if the id differs.
    a.takeId(a);
    QVERIFY(!record.dirty(&a));
}

void tst_Stamps::dependsIgnoresUnrecordedStamp()
{
    TUid recorded, other;
    TUidDepends record;
    record.addDepedentUid(&recorded);
    record.addDepedentUid(nullptr);
    QCOMPARE(record.size(), 1);
    QVERIFY(!record.dirty(&other));
    other.update();
    QVERIFY(!record.dirty(&other));
}

void tst_Stamps::dependsClearForgetsEverything()
{
    TUid a;
    TUidDepends record;
    record.addDepedentUid(&a);
    record.clear();
    QCOMPARE(record.size(), 0);
    QVERIFY(!record.dirty(nullptr));
    QVERIFY(!record.contains(&a));
}

void tst_Stamps::updateRectTwoWritesOfSameAreaDiffer()
{
    const TUpdateRect none;
    QVERIFY(none == TUpdateRect());
    const TUpdateRect first(0, 0, 10, 10);
    const TUpdateRect second(0, 0, 10, 10);
    QVERIFY(first != second);
    QVERIFY(first != none);
    const TUpdateRect copy = first;
    QVERIFY(copy == first);
    QCOMPARE(first.width(), 10);
}

void tst_Stamps::progressMapsNestedRanges_data()
{
    // Two levels processed one after the other, each covering 0.45 of the whole.
    QTest::addColumn<float>("share");
    QTest::addColumn<int>("levels");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("one level, 0.9") << 0.9f << 1 << QList<int>{ 0, 0, 450, 900, 1000 };
    QTest::newRow("two levels, 0.45 each") << 0.45f << 2 << QList<int>{ 0, 0, 225, 450, 450, 675, 900, 1000 };
    QTest::newRow("share above one is clipped") << 2.0f << 1 << QList<int>{ 0, 0, 500, 1000, 1000 };
}

void tst_Stamps::progressMapsNestedRanges()
{
    QFETCH(float, share);
    QFETCH(int, levels);
    QFETCH(QList<int>, expected);
    ProgressLog log;
    TProgress progress(recordProgress, &log);
    progress.prog(0, 1000);
    for (int i = 0; i < levels; ++i) {
        progress.start(share);
        progress.prog(0, 10);
        progress.prog(5, 10);
        progress.prog(10, 10);
        progress.end();
    }
    progress.prog(1000, 1000);
    QList<int> got;
    for (int v : log.values)
        got.append(v);
    // Each level reports 0, 5 and 10 of 10; compare the distinct steps in order.
    got.erase(std::unique(got.begin(), got.end()), got.end());
    QList<int> want = expected;
    want.erase(std::unique(want.begin(), want.end()), want.end());
    QCOMPARE(got, want);
}

void tst_Stamps::progressNeverGoesBackWithinRun()
{
    ProgressLog log;
    TProgress progress(recordProgress, &log);
    progress.prog(0, 100);
    progress.prog(60, 100);
    progress.start(0.5f); // from 600 to 1000 at most
    progress.prog(0, 4);
    progress.prog(4, 4);
    progress.end();
    progress.prog(10, 100); // backwards at the top: ignored until a new run
    for (size_t i = 1; i < log.values.size(); ++i)
        QVERIFY2(log.values[i] >= log.values[i - 1], "progress went back");
    QCOMPARE(log.values.back(), 1000);
    QVERIFY(log.values.back() <= 1000);
}

void tst_Stamps::progressRemembersStop()
{
    ProgressLog log;
    log.stopAfter = 2;
    TProgress progress(recordProgress, &log);
    QVERIFY(progress.prog(0, 10));
    QVERIFY(progress.prog(1, 10));
    QVERIFY(!progress.prog(2, 10));
    QVERIFY(progress.bStopped());
    log.stopAfter = -1; // the callback would say go on again, but the stop is remembered
    QVERIFY(!progress.prog(3, 10));
}

void tst_Stamps::progressNewRunClearsStop()
{
    ProgressLog log;
    log.stopAfter = 1;
    TProgress progress(recordProgress, &log);
    progress.prog(0, 10);
    QVERIFY(!progress.prog(5, 10));
    log.stopAfter = -1;
    QVERIFY(progress.prog(0, 10));
    QVERIFY(!progress.bStopped());
    QCOMPARE(log.values.back(), 0);
}

void tst_Stamps::progressUnbalancedEndIsHarmless()
{
    TProgress progress(nullptr, nullptr);
    progress.end();
    progress.end();
    QCOMPARE(progress.depth(), 0);
    QVERIFY(progress.prog(500, 1000));
    QCOMPARE(progress.lastValue(), 500);
    QVERIFY(progress.prog(3, 0)); // a zero total counts as done
    QCOMPARE(progress.lastValue(), 1000);
}

void tst_Stamps::traceMsgHoldsLocationLineAndText()
{
    const std::string line = QXimproca::traceMsg("TfxStack::procOutIm", 42, "->");
    QVERIFY(line.find("TfxStack::procOutIm") != std::string::npos);
    QVERIFY(line.find("42") != std::string::npos);
    QVERIFY(line.find("->") != std::string::npos);
    QVERIFY(line.find('\n') == std::string::npos);
    QVERIFY(!QXimproca::traceMsg(nullptr, 1, nullptr).empty());
}

void tst_Stamps::debugHookReceivesCoreDiagnostics()
{
    g_debugLines.clear();
    QXimproca::m_tDebug_p = nullptr;
    QXimproca::debug("dropped");
    QVERIFY(g_debugLines.empty());
    QXimproca::m_tDebug_p = collectDebug;
    QXimproca::debug("kept");
    QXimproca::m_tDebug_p = nullptr;
    QCOMPARE(int(g_debugLines.size()), 1);
    QCOMPARE(QString::fromStdString(g_debugLines.front()), QStringLiteral("kept"));
}

void tst_Stamps::poolReusesReleasedBuffers()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the pool keeps nothing under the address sanitizer");
#endif
    PlanePool::release();
    const uchar *first = nullptr;
    {
        cv::Mat plane;
        PlanePool::createOwned(plane, 1000, 1000, CV_16UC1);
        first = plane.data;
    }
    QVERIFY(PlanePool::bytesHeld() >= 2000000u);
    cv::Mat again;
    PlanePool::createOwned(again, 1000, 1000, CV_16UC1);
    QCOMPARE(static_cast<const uchar *>(again.data), first);
    QCOMPARE(PlanePool::bytesHeld(), size_t(0));
}

void tst_Stamps::poolCreateOwnedDetachesSharedBuffer()
{
    cv::Mat plane;
    PlanePool::createOwned(plane, 4, 4, CV_8UC1);
    plane.setTo(7);
    const cv::Mat sharer = plane;
    PlanePool::createOwned(plane, 4, 4, CV_8UC1);
    QVERIFY(plane.data != sharer.data);
    QCOMPARE(int(sharer.at<uchar>(0, 0)), 7);

    const uchar *own = plane.data;
    PlanePool::createOwned(plane, 4, 4, CV_8UC1);
    QCOMPARE(static_cast<const uchar *>(plane.data), own);

    const cv::Mat cloned = PlanePool::clone(sharer);
    QVERIFY(cloned.data != sharer.data);
    QCOMPARE(cv::countNonZero(cloned != sharer), 0);
}

FX_REGISTER_TEST(tst_Stamps)
#include "tst_stamps.moc"
