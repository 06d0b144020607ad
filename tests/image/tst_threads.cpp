// Separate images on separate threads: each thread has its own TCMS, source set, views and
// copies, and the shared internals (plane pool, stamp serial, LittleCMS context) must keep
// them apart. Run under ThreadSanitizer too (see the README).
#include "tcms.h"
#include "testregistry.h"
#include "tfxcommondata.h"
#include "tim.h"
#include "tpimage.h"
#include "troi.h"
#include "tsampleimage.h"

#include <QtTest>
#include <atomic>
#include <thread>

namespace {
// One thread's whole round: set up, derive views, copy and assign sets, convert back. Returns
// a description of the first thing that went wrong, or an empty string.
QString round(const QImage &picture, int seed)
{
    TCMS cms;
    TFxCommonData source;
    source.setup(picture, &cms);
    TIm &image = source.image();
    image.updateUid(TIm::CImFull);
    const int w = picture.width(), h = picture.height();
    for (int level = 1; level < TIm::numLevels; ++level) {
        const int dec = 1 + (level + seed) % 5;
        image.updateCIms(TIm::CImId(level), TRoi(w / dec / 2, h / dec / 2, 2 * level, 2 * seed, dec));
    }
    TIm copy(image);
    TIm assigned;
    assigned = copy;
    TUidDepends record;
    record.addDepedentUid(assigned.ptr(TIm::CImView1)->uid());
    record.clean(nullptr);
    assigned = image; // replaces the level the record held
    if (!record.dirty(nullptr))
        return "record not dirty after assignment";
    TPImage deep = image.ptr(TIm::CImFull)->clone();
    deep.m_lum.setTo(seed);
    QImage back;
    cms.convert(*assigned.ptr(TIm::CImView2), back);
    if (back.size() != QSize(assigned.width(TIm::CImView2), assigned.height(TIm::CImView2)))
        return QString("view converted to %1x%2").arg(back.width()).arg(back.height());
    if (image.ptr(TIm::CImFull)->m_lum.at<unsigned short>(0, 0) == seed && seed != 0)
        return "clone wrote into its source";
    return QString();
}
}

class tst_Threads : public QObject {
    Q_OBJECT
private slots:
    void separateImagesOnTwoThreads_data()
    {
        QTest::addColumn<int>("rounds");
        QTest::addColumn<int>("width");
        QTest::newRow("many small") << 40 << 320;
        // Planes large enough to go through the pool.
        QTest::newRow("pooled planes") << 6 << 1600;
    }

    void separateImagesOnTwoThreads()
    {
        QFETCH(int, rounds);
        QFETCH(int, width);
        const QImage picture = TSampleImage::generate(width, width * 2 / 3);
        QString failures[2];
        std::atomic<int> started { 0 };
        auto work = [&](int thread) {
            ++started;
            while (started < 2) { } // start together, so the rounds overlap
            for (int i = 0; i < rounds && failures[thread].isEmpty(); ++i)
                failures[thread] = round(picture, 2 * i + thread);
        };
        std::thread other(work, 1);
        work(0);
        other.join();
        QCOMPARE(failures[0], QString());
        QCOMPARE(failures[1], QString());
    }
};

FX_REGISTER_TEST(tst_Threads)
#include "tst_threads.moc"
