#include "testregistry.h"
#include "tim.h"
#include "tpimage.h"
#include "tracecapture.h"
#include "troi.h"

#include <QtTest>

// Regions (TRoi) and the seven-level image set (TIm): what a level holds, how copies share
// pixels, and how views are derived from level 0.
class tst_ImageModel : public QObject {
    Q_OBJECT
private slots:
    void region_data();
    void region();
    void levelsAndCopies();
    void viewDerivation_data();
    void viewDerivation();
};

namespace {
// A region as the tables write it: width, height, x, y, dec.
QVector<int> args(const TRoi &roi) { return { roi.width(), roi.height(), roi.x(), roi.y(), roi.dec() }; }

// An image set with random planes in level 0, so that every sample of a block counts.
TIm withLevel0(int width, int height)
{
    TIm im;
    im.ptr(TIm::CImFull)->create(width, height, false);
    for (int id = TIm::MatLuma; id <= TIm::MatPlane4; ++id)
        cv::RNG(id).fill(im.getMat(TIm::MatId(id), TIm::CImFull), cv::RNG::UNIFORM, 0, 65536);
    return im;
}

// -1 when the sizes differ, else how many samples do.
int differences(const cv::Mat &a, const cv::Mat &b) { return a.size() == b.size() ? cv::countNonZero(a != b) : -1; }
}

// What the constructor stores (origin made even toward zero), whether set() found the origin
// even, bEmpty() on the 32-bit product, and makeInside() for a 100 x 80 image.
void tst_ImageModel::region_data()
{
    QTest::addColumn<QVector<int>>("in");
    QTest::addColumn<QVector<int>>("stored");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<QVector<int>>("inside");
    auto row = [](const char *name, QVector<int> in, QVector<int> stored, bool empty, QVector<int> inside) {
        QTest::newRow(name) << in << stored << empty << inside;
    };
    row("odd negative origin, dec above 32", { 10, 20, -3, -1, 40 }, { 10, 20, -2, 0, 40 }, false, { 3, 2, 0, 0, 32 });
    row("too wide at dec 2, odd origin", { 60, 50, 51, 1, 2 }, { 60, 50, 50, 0, 2 }, false, { 25, 40, 50, 0, 2 });
    row("inside, touching the edges", { 50, 40, 0, 0, 2 }, { 50, 40, 0, 0, 2 }, false, { 50, 40, 0, 0, 2 });
    row("negative height, x past edge", { 10, -9, 120, 0, 1 }, { 10, -9, 120, 0, 1 }, true, { 0, 0, 100, 0, 1 });
    row("both negative", { -3, -5, 0, 0, 1 }, { -3, -5, 0, 0, 1 }, false, { 0, 0, 0, 0, 1 });
    row("largest product", { 46340, 46340, 0, 0, 1 }, { 46340, 46340, 0, 0, 1 }, false, { 100, 80, 0, 0, 1 });
    row("product wraps", { 65536, 32768, 0, 0, 1 }, { 65536, 32768, 0, 0, 1 }, true, { 100, 80, 0, 0, 1 });
}

void tst_ImageModel::region()
{
    QFETCH(QVector<int>, in);
    QFETCH(QVector<int>, stored);
    QFETCH(bool, empty);
    QFETCH(QVector<int>, inside);
    TRoi roi(in[0], in[1], in[2], in[3], in[4]), other;
    QCOMPARE(args(roi), stored);
    // set() stores the same and says whether the origin was even already.
    QCOMPARE(other.set(in[0], in[1], in[2], in[3], in[4]), stored == in);
    QCOMPARE(args(other), stored);
    QCOMPARE(roi.bEmpty(), empty);
    roi.makeInside(100, 80);
    QCOMPARE(args(roi), inside);
}

void tst_ImageModel::levelsAndCopies()
{
    TIm assigned;
    for (int i = 0; i < TIm::numLevels; ++i) {
        QVERIFY(assigned.ptr(TIm::CImId(i)));
        QVERIFY(assigned.bEmpty(TIm::CImId(i)));
        QCOMPARE(assigned.width(TIm::CImId(i)), 0);
    }
    QScopedPointer<TIm> im(new TIm(withLevel0(16, 8)));
    const uchar *pixels = im->ptr(TIm::CImFull)->m_lum.data;
    // Copies share the pixels (and the stamp), own their levels and outlive their source.
    const TIm copy(*im);
    assigned = *im;
    TraceCapture trace;
    // An unknown plane id yields the luminance; level 0 is never derived.
    QCOMPARE(im->getMat(TIm::MatId(7), TIm::CImFull).data, pixels);
    QCOMPARE(trace.matching("TIm::getMat").filter("invalid id").size(), 1);
    QVERIFY(im->updateCIms(TIm::CImFull, TRoi(4, 4, 0, 0, 2)));
    QCOMPARE(static_cast<const uchar *>(im->getMat(TIm::MatLuma, TIm::CImFull).data), pixels);
    QCOMPARE(im->ptr(TIm::CImFull)->uid()->id(), copy.ptr(TIm::CImFull)->uid()->id());
    QCOMPARE(trace.count("full image - no update: cid, roi"), 1);
    QVERIFY(copy.ptr(TIm::CImFull) != im->ptr(TIm::CImFull));
    QVERIFY(assigned.ptr(TIm::CImView6) != im->ptr(TIm::CImView6));
    im.reset();
    QCOMPARE(static_cast<const uchar *>(copy.ptr(TIm::CImFull)->m_lum.data), pixels);
    QCOMPARE(static_cast<const uchar *>(assigned.ptr(TIm::CImFull)->m_lum.data), pixels);
}

// A view of 100 x 10 at (20, 4), reaching past the bottom edge of level 0, derived once for
// the same region and again for another: the luminance takes the fast path when dec is above a
// threshold that grows with the size of level 0, the colour planes always the accurate one; both
// paths give the same exact block averages.
void tst_ImageModel::viewDerivation_data()
{
    QTest::addColumn<int>("fullWidth");
    QTest::addColumn<int>("dec");
    QTest::addColumn<bool>("fast");
    QTest::newRow("4800: dec 3 fast") << 4800 << 3 << true;
    QTest::newRow("4801: dec 3 accurate") << 4801 << 3 << false;
    QTest::newRow("6600: dec 4 fast") << 6600 << 4 << true;
    QTest::newRow("6601: dec 4 accurate") << 6601 << 4 << false;
}

void tst_ImageModel::viewDerivation()
{
    QFETCH(int, fullWidth);
    QFETCH(int, dec);
    QFETCH(bool, fast);
    TIm im = withLevel0(fullWidth, 30);
    const TPImage *view = im.ptr(TIm::CImView1);
    TraceCapture trace;
    QVERIFY(im.updateCIms(TIm::CImView1, TRoi(100, 10, 20, 4, dec)));
    const auto stamp = view->uid()->id();
    QVERIFY(im.updateCIms(TIm::CImView1, TRoi(100, 10, 21, 5, dec)));
    QCOMPARE(view->uid()->id(), stamp);
    QCOMPARE(trace.count(" Nochange: cid, roi"), 1);
    const cv::Mat &full = im.getMat(TIm::MatLuma, TIm::CImFull), &c1 = im.getMat(TIm::MatColour1, TIm::CImFull);
    QCOMPARE(differences(view->m_lum, TPImage::MatRoi(full, 20, 4, 100, 10, dec, false, fast)), 0);
    // Both paths average whole blocks, so whichever the threshold picks, the view is the same.
    QCOMPARE(differences(view->m_lum, TPImage::MatRoi(full, 20, 4, 100, 10, dec, false, !fast)), 0);
    QCOMPARE(differences(view->m_c1, TPImage::MatRoi(c1, 20, 4, 100, 10, dec, true, false)), 0);
    QVERIFY(im.updateCIms(TIm::CImView1, TRoi(100, 10, 22, 4, dec)));
    QVERIFY(view->uid()->id() != stamp);
}

FX_REGISTER_TEST(tst_ImageModel)
#include "tst_imagemodel.moc"
