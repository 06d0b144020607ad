#include "testregistry.h"
#include "tim.h"
#include "tpimage.h"
#include "tracecapture.h"
#include "troi.h"

#include <QtTest>

#include <memory>

namespace {
// Level 0 with a luminance pattern whose block averages differ from sparse samples, so that
// the fast and the accurate sampling paths give different views.
void fillLevel0(TIm &im, int width, int height)
{
    TPImage *full = im.ptr(TIm::CImFull);
    QVERIFY(full->create(width, height, false));
    cv::RNG rng(1234);
    rng.fill(full->m_lum, cv::RNG::UNIFORM, 0, 65536);
    full->m_c1.setTo(30000);
    full->m_c2.setTo(35000);
    full->m_p4.setTo(65535);
}
}

class tst_Tim : public QObject {
    Q_OBJECT
private slots:
    void newSetHasSevenEmptyLevels();
    void getMatAddressesPlanes();
    void getMatInvalidIdYieldsLuminanceWithTrace();
    void copySharesPixelsButOwnsLevels();
    void assignmentSurvivesSourceDeletion();
    void selfAssignmentKeepsLevels();
    void updateUidMakesDependentsDirty();
    void updateCImsFullLevelChangesNothing();
    void updateCImsDerivesViewOnceForSameRegion();
    void updateCImsPicksSamplingPathByThreshold_data();
    void updateCImsPicksSamplingPathByThreshold();
    void updateCImsRegionReachingPastEdge();
};

void tst_Tim::newSetHasSevenEmptyLevels()
{
    const TIm im;
    for (int i = 0; i < TIm::numLevels; ++i) {
        const auto cid = TIm::CImId(i);
        QVERIFY(im.ptr(cid) != nullptr);
        QVERIFY(im.bEmpty(cid));
        QCOMPARE(im.width(cid), 0);
        QCOMPARE(im.height(cid), 0);
        QCOMPARE(im.dirty(cid), 0);
    }
}

void tst_Tim::getMatAddressesPlanes()
{
    TIm im;
    TPImage *level = im.ptr(TIm::CImView2);
    level->create(6, 4, false);
    QCOMPARE(im.getMat(TIm::MatLuma, TIm::CImView2).data, level->m_lum.data);
    QCOMPARE(im.getMat(TIm::MatColour1, TIm::CImView2).data, level->m_c1.data);
    QCOMPARE(im.getMat(TIm::MatColour2, TIm::CImView2).data, level->m_c2.data);
    QCOMPARE(im.getMat(TIm::MatPlane4, TIm::CImView2).data, level->m_p4.data);
    QCOMPARE(im.width(TIm::CImView2), 6);
    QCOMPARE(im.height(TIm::CImView2), 4);
}

void tst_Tim::getMatInvalidIdYieldsLuminanceWithTrace()
{
    TIm im;
    im.ptr(TIm::CImFull)->create(4, 4, false);
    TraceCapture trace;
    const cv::Mat &plane = im.getMat(TIm::MatId(7), TIm::CImFull);
    QCOMPARE(plane.data, im.ptr(TIm::CImFull)->m_lum.data);
    QCOMPARE(trace.count(QStringLiteral("invalid id")), 1);
    QVERIFY(trace.lines().first().contains(QStringLiteral("TIm::getMat")));
}

void tst_Tim::copySharesPixelsButOwnsLevels()
{
    TIm source;
    fillLevel0(source, 8, 6);
    const TIm copy(source);
    for (int i = 0; i < TIm::numLevels; ++i)
        QVERIFY(copy.ptr(TIm::CImId(i)) != source.ptr(TIm::CImId(i)));
    QCOMPARE(copy.ptr(TIm::CImFull)->m_lum.data, source.ptr(TIm::CImFull)->m_lum.data);
    QCOMPARE(copy.ptr(TIm::CImFull)->uid()->id(), source.ptr(TIm::CImFull)->uid()->id());
}

void tst_Tim::assignmentSurvivesSourceDeletion()
{
    TIm assigned;
    {
        auto source = std::make_unique<TIm>();
        fillLevel0(*source, 10, 7);
        source->updateCIms(TIm::CImView1, TRoi(5, 3, 0, 0, 2));
        assigned = *source;
    }
    QCOMPARE(assigned.width(TIm::CImFull), 10);
    QCOMPARE(assigned.width(TIm::CImView1), 5);
    QCOMPARE(assigned.height(TIm::CImView1), 3);
    // Reading the pixels must not touch freed memory (the sanitizer build checks this).
    QVERIFY(cv::sum(assigned.getMat(TIm::MatLuma, TIm::CImFull))[0] > 0);
}

void tst_Tim::selfAssignmentKeepsLevels()
{
    TIm im;
    fillLevel0(im, 4, 4);
    TPImage *before = im.ptr(TIm::CImFull);
    im = *&im;
    QCOMPARE(im.ptr(TIm::CImFull), before);
    QCOMPARE(im.width(TIm::CImFull), 4);
}

void tst_Tim::updateUidMakesDependentsDirty()
{
    TIm source, output;
    TUidDepends &record = output.ptr(TIm::CImView1)->m_depends;
    record.addDepedentUid(source.ptr(TIm::CImView1)->uid());
    record.clean(nullptr);
    QCOMPARE(output.dirty(TIm::CImView1), 0);
    source.updateUid(TIm::CImView1);
    QCOMPARE(output.dirty(TIm::CImView1), 1);
}

void tst_Tim::updateCImsFullLevelChangesNothing()
{
    TIm im;
    fillLevel0(im, 16, 8);
    const auto id = im.ptr(TIm::CImFull)->uid()->id();
    const uchar *data = im.getMat(TIm::MatLuma, TIm::CImFull).data;
    TraceCapture trace;
    QVERIFY(im.updateCIms(TIm::CImFull, TRoi(4, 4, 0, 0, 2)));
    QCOMPARE(im.ptr(TIm::CImFull)->uid()->id(), id);
    QCOMPARE(im.getMat(TIm::MatLuma, TIm::CImFull).data, data);
    QCOMPARE(im.width(TIm::CImFull), 16);
    QCOMPARE(trace.count(QStringLiteral("full image - no update: cid, roi")), 1);
}

void tst_Tim::updateCImsDerivesViewOnceForSameRegion()
{
    TIm im;
    fillLevel0(im, 40, 30);
    const TRoi roi(10, 7, 4, 2, 3);
    TraceCapture trace;
    QVERIFY(im.updateCIms(TIm::CImView3, roi));
    const TPImage *view = im.ptr(TIm::CImView3);
    QCOMPARE(view->width(), 10);
    QCOMPARE(view->height(), 7);
    QCOMPARE(view->m_c1.cols, 5);
    QCOMPARE(view->m_c1.rows, 4);
    QCOMPARE(view->m_x, 4);
    QCOMPARE(view->m_y, 2);
    QCOMPARE(view->m_dec, 3);
    QCOMPARE(trace.count(QStringLiteral("CIm updated cid, roi")), 1);
    QVERIFY(trace.matching(QStringLiteral("CIm updated cid, roi")).first().endsWith(QStringLiteral(" 3 4 2 3")));

    const auto id = view->uid()->id();
    QVERIFY(im.updateCIms(TIm::CImView3, roi));
    QCOMPARE(view->uid()->id(), id);
    QCOMPARE(trace.count(QStringLiteral(" Nochange: cid, roi")), 1);
    QCOMPARE(trace.count(QStringLiteral("CIm updated cid, roi")), 1);

    // Level 0 changing alone does not derive the view again: only the region is compared.
    im.getMat(TIm::MatLuma, TIm::CImFull).setTo(0);
    QVERIFY(im.updateCIms(TIm::CImView3, roi));
    QCOMPARE(view->uid()->id(), id);

    QVERIFY(im.updateCIms(TIm::CImView3, TRoi(10, 7, 6, 2, 3)));
    QVERIFY(view->uid()->id() != id);
    QCOMPARE(view->m_x, 6);
}

void tst_Tim::updateCImsPicksSamplingPathByThreshold_data()
{
    QTest::addColumn<int>("fullWidth");
    QTest::addColumn<int>("dec");
    QTest::addColumn<bool>("fast");
    QTest::newRow("3000: dec 1 accurate") << 3000 << 1 << false;
    QTest::newRow("3000: dec 3 fast") << 3000 << 3 << true;
    QTest::newRow("4800: dec 2 accurate") << 4800 << 2 << false;
    QTest::newRow("5000: dec 3 accurate") << 5000 << 3 << false;
    QTest::newRow("5000: dec 4 fast") << 5000 << 4 << true;
    QTest::newRow("6602: dec 4 accurate") << 6602 << 4 << false;
    QTest::newRow("6602: dec 5 fast") << 6602 << 5 << true;
}

void tst_Tim::updateCImsPicksSamplingPathByThreshold()
{
    QFETCH(int, fullWidth);
    QFETCH(int, dec);
    QFETCH(bool, fast);
    TIm im;
    fillLevel0(im, fullWidth, 64);
    const TRoi roi(100, 10, 20, 4, dec);
    QVERIFY(im.updateCIms(TIm::CImView1, roi));
    const cv::Mat &full = im.getMat(TIm::MatLuma, TIm::CImFull);
    const cv::Mat want = TPImage::MatRoi(full, 20, 4, 100, 10, dec, false, fast);
    const cv::Mat other = TPImage::MatRoi(full, 20, 4, 100, 10, dec, false, !fast);
    const cv::Mat &got = im.getMat(TIm::MatLuma, TIm::CImView1);
    QCOMPARE(got.rows, 10);
    QCOMPARE(got.cols, 100);
    QCOMPARE(cv::countNonZero(got != want), 0);
    if (dec > 2) // at dec 1 both paths copy, at dec 2 the block has only four samples
        QVERIFY(cv::countNonZero(got != other) > 0);
    // Colour planes always take the accurate path.
    const cv::Mat wantC1 = TPImage::MatRoi(im.getMat(TIm::MatColour1, TIm::CImFull), 20, 4, 100, 10, dec, true, false);
    QCOMPARE(cv::countNonZero(im.getMat(TIm::MatColour1, TIm::CImView1) != wantC1), 0);
}

void tst_Tim::updateCImsRegionReachingPastEdge()
{
    TIm im;
    fillLevel0(im, 21, 13);
    QVERIFY(im.updateCIms(TIm::CImView6, TRoi(50, 40, 10, 6, 2)));
    QCOMPARE(im.width(TIm::CImView6), 50);
    QCOMPARE(im.height(TIm::CImView6), 40);
    QVERIFY(im.updateCIms(TIm::CImView5, TRoi(-3, 4, 0, 0, 1)));
    QVERIFY(im.bEmpty(TIm::CImView5));

    TIm empty;
    QVERIFY(empty.updateCIms(TIm::CImView1, TRoi(8, 8, 0, 0, 2)));
    QCOMPARE(empty.width(TIm::CImView1), 8);
}

FX_REGISTER_TEST(tst_Tim)
#include "tst_tim.moc"
