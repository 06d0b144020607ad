// Stamps that die while a record holds them, and the bounds of the plane pool.
#include "coretestsupport.h"
#include "planepool.h"
#include "testregistry.h"
#include "tpimage.h"
#include "tuid.h"

#include <QtTest>
#include <algorithm>
#include <memory>
#include <thread>

class tst_Lifetimes : public QObject {
    Q_OBJECT
private slots:
    // A record keeps working after the stamps it holds are destroyed: the dead one counts as
    // changed until clean(nullptr) drops it, and a new stamp that happens to get the dead
    // one's address is a stranger to the record. Under the address sanitizer this also shows
    // that the record never reads the dead stamp.
    void destroyedStampCountsAsChanged()
    {
        TUid kept;
        auto doomed = std::make_unique<TUid>();
        const TUid *doomedAddress = doomed.get();
        TUidDepends record;
        record.addDepedentUid(&kept);
        record.addDepedentUid(doomed.get());
        record.clean(nullptr);
        QVERIFY(!record.dirty(nullptr));

        doomed.reset();
        QVERIFY(record.dirty(nullptr));
        QVERIFY(!record.dirty(&kept));
        QCOMPARE(record.size(), 2);

        // Often the allocator hands the same address back; whether it does or not, the new
        // stamp is not the recorded one.
        auto successor = std::make_unique<TUid>();
        const bool sameAddress = successor.get() == doomedAddress;
        QVERIFY(!record.contains(successor.get()));
        QVERIFY(!record.dirty(successor.get()));
        record.clean(successor.get()); // a stranger: changes nothing
        QVERIFY(record.dirty(nullptr));

        record.clean(nullptr);
        QCOMPARE(record.size(), 1);
        QVERIFY(!record.dirty(nullptr));

        // Recording the newcomer works like any new stamp, at a reused address or not.
        record.addDepedentUid(successor.get());
        QCOMPARE(record.size(), 2);
        QVERIFY2(record.dirty(successor.get()), sameAddress ? "address reused" : "new address");
        record.clean(successor.get());
        QVERIFY(!record.dirty(nullptr));
    }

    // Stamps made on several threads at once never share an id.
    void serialIsUniqueAcrossThreads()
    {
        constexpr int perThread = 20000;
        std::vector<std::uint64_t> ids[2];
        auto make = [](std::vector<std::uint64_t> &out) {
            TUid uid;
            for (int i = 0; i < perThread; ++i) {
                uid.update();
                out.push_back(uid.id());
            }
        };
        std::thread other(make, std::ref(ids[1]));
        make(ids[0]);
        other.join();
        std::vector<std::uint64_t> all(ids[0]);
        all.insert(all.end(), ids[1].begin(), ids[1].end());
        std::sort(all.begin(), all.end());
        QCOMPARE(int(std::unique(all.begin(), all.end()) - all.begin()), 2 * perThread);
    }

    void poolHoldsAtMostItsLimit()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the pool keeps nothing under the address sanitizer");
#endif
        const std::size_t previous = PlanePool::limit();
        PlanePool::release();
        PlanePool::setLimit(3u << 20); // room for three 1 MiB planes
        {
            std::vector<cv::Mat> planes(5);
            for (cv::Mat &plane : planes)
                PlanePool::createOwned(plane, 512, 1024, CV_16UC1);
        }
        QCOMPARE(PlanePool::bytesHeld(), std::size_t(3u << 20));
        PlanePool::setLimit(1u << 20);
        QCOMPARE(PlanePool::bytesHeld(), std::size_t(1u << 20));
        PlanePool::release();
        QCOMPARE(PlanePool::bytesHeld(), std::size_t(0));
        PlanePool::setLimit(previous);
        QVERIFY(previous <= std::size_t(128) << 20);
    }

    // What the pool held leaves the process when it is released, and what goes over the
    // limit does not stay resident either.
    void releasedMemoryLeavesTheProcess()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's allocator keeps freed memory in quarantine");
#endif
        PlanePool::release();
        const std::size_t before = residentBytes();
        if (before == 0)
            QSKIP("no /proc/self/statm here");
        {
            TPImage image(4000, 3000); // 24 MB of luminance, 6 MB per half plane
            image.m_lum.setTo(1);
            image.m_c1.setTo(1);
            image.m_c2.setTo(1);
            image.m_p4.setTo(1);
            QVERIFY(residentBytes() > before + (40u << 20));
        }
        QCOMPARE(PlanePool::bytesHeld(), std::size_t(42000000));
        PlanePool::release();
        const std::size_t after = residentBytes();
        QVERIFY2(after < before + (4u << 20),
            qPrintable(msg("resident %1 MB before, %2 MB after", before >> 20, after >> 20)));
    }

    // A held buffer that later allocations of other sizes pass by goes back to the system; one
    // that is asked for again in time is handed out again.
    void poolGivesBackWhatIsNotReused()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the pool keeps nothing under the address sanitizer");
#endif
        PlanePool::release();
        cv::Mat kept;
        PlanePool::createOwned(kept, 600, 1000, CV_16UC1);
        const uchar *address = kept.data;
        kept.release();
        QCOMPARE(PlanePool::bytesHeld(), std::size_t(1200000));
        // A few allocations of another size: it stays and is found again.
        for (int i = 0; i < 10; ++i) {
            cv::Mat other;
            PlanePool::createOwned(other, 700, 1000, CV_16UC1);
        }
        PlanePool::createOwned(kept, 600, 1000, CV_16UC1);
        QCOMPARE(static_cast<const void *>(kept.data), static_cast<const void *>(address));
        kept.release();
        // Many allocations of another size: it is given back.
        for (int i = 0; i < 100; ++i) {
            cv::Mat other;
            PlanePool::createOwned(other, 700, 1000, CV_16UC1);
        }
        QCOMPARE(PlanePool::bytesHeld(), std::size_t(1400000)); // only the other size is left
        PlanePool::release();
    }
};

FX_REGISTER_TEST(tst_Lifetimes)
#include "tst_lifetimes.moc"
