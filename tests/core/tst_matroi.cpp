// View sampling (TPImage::MatRoi) and the full-luminance rebuild (TPImage::reconstructFull)
// against naive loops written here from their definitions.
#include "kernels.h"
#include "kerneltestsupport.h"
#include "testregistry.h"
#include "tpimage.h"

#include <QTest>
#include <cmath>

using namespace KernelTest;

namespace {

// Where the result's blocks start in the sampled plane and how many there are: the origin is
// in full-resolution pixels, halved for a colour plane, whose result has half the samples.
struct Layout {
    int x0, y0, cols, rows, dec;
};

Layout layoutOf(int x, int y, int w, int h, int dec, bool colourPlane)
{
    const auto halfDown = [](int v) { return int(std::floor(v / 2.0)); };
    Layout l;
    l.dec = std::clamp(dec, 1, 32);
    l.x0 = colourPlane ? halfDown(x) : x;
    l.y0 = colourPlane ? halfDown(y) : y;
    l.cols = colourPlane ? (w + 1) / 2 : w;
    l.rows = colourPlane ? (h + 1) / 2 : h;
    return l;
}

// Sample k, l of block (i, j), the plane's edge repeated outside it.
int blockSample(const cv::Mat &src, const Layout &l, int i, int j, int k, int m)
{
    const int y = std::clamp(l.y0 + i * l.dec + k, 0, src.rows - 1);
    const int x = std::clamp(l.x0 + j * l.dec + m, 0, src.cols - 1);
    return at(src, y, x);
}

cv::Mat referenceAccurate(const cv::Mat &src, const Layout &l)
{
    cv::Mat dst(l.rows, l.cols, src.type());
    for (int i = 0; i < l.rows; ++i) {
        for (int j = 0; j < l.cols; ++j) {
            double sum = 0;
            for (int k = 0; k < l.dec; ++k)
                for (int m = 0; m < l.dec; ++m)
                    sum += blockSample(src, l, i, j, k, m);
            put(dst, i, j, int(std::floor(sum / (l.dec * l.dec) + 0.5)));
        }
    }
    return dst;
}

struct Region {
    const char *name;
    int x, y, w, h;
};

// Regions in full-resolution pixels of a 37 x 29 picture (luminance 37 x 29, colour planes
// 19 x 15), chosen so that each dec from 1 to 5 meets the case named.
const Region regions[] = {
    { "inside", 4, 2, 6, 5 },
    { "oddOrigin", 3, 5, 5, 3 },
    { "pastRightBottom", 30, 24, 5, 4 },
    { "pastTopLeft", -6, -4, 7, 6 },
    { "negativeOddOrigin", -5, -3, 4, 3 },
    { "fullyOutside", 50, 40, 3, 2 },
    { "coversAll", -3, -3, 40, 33 },
    { "singleSample", 8, 8, 1, 1 },
};

cv::Mat planeFor(bool colourPlane, int type, unsigned seed)
{
    return colourPlane ? randomPlane(15, 19, type, seed) : randomPlane(29, 37, type, seed);
}

void addSamplingRows()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("colourPlane");
    QTest::addColumn<int>("dec");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    for (int type : { CV_16UC1, CV_8UC1 })
        for (bool colour : { false, true })
            for (int dec : { 1, 2, 3, 4, 5, 8, 32 })
                for (const Region &r : regions)
                    QTest::addRow(
                        "%s/%s/dec%d/%s", type == CV_8UC1 ? "8bit" : "16bit", colour ? "colour" : "luma", dec, r.name)
                        << type << colour << dec << r.x << r.y << r.w << r.h;
}

}

class tst_MatRoi : public QObject {
    Q_OBJECT

private slots:
    void accurate_matchesReference_data() { addSamplingRows(); }
    void accurate_matchesReference();
    void fast_staysWithinEachBlock_data() { addSamplingRows(); }
    void fast_staysWithinEachBlock();
    void fast_equalsAccurateOnConstantPlane_data();
    void fast_equalsAccurateOnConstantPlane();
    void singleSampleSource_repeatsEverywhere();
    void largestDec_doesNotOverflow();
    void decOutsideRange_isClamped();
    void extremeOrigin_repeatsTheCorner_data();
    void extremeOrigin_repeatsTheCorner();
    void emptySource_givesZeros_data();
    void emptySource_givesZeros();
    void nonPositiveSize_givesEmptyResult();
    void otherTypes_areRejected();
    void destination_reusedWhenOwned();
    void destination_replacedWhenShared();
    void destination_isTheSourceItself();

    void reconstruct_identity_data();
    void reconstruct_identity();
    void reconstruct_matchesReference_data();
    void reconstruct_matchesReference();
    void reconstruct_withoutDetailIsPlainEnlargement();
    void reconstruct_rejectsBadArguments_data();
    void reconstruct_rejectsBadArguments();
    void reconstruct_outSharingAnInput();
};

// Tolerance 0: the mean of integers rounds exactly. The luminance result is exactly h x w.
void tst_MatRoi::accurate_matchesReference()
{
    QFETCH(int, type);
    QFETCH(bool, colourPlane);
    QFETCH(int, dec);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, w);
    QFETCH(int, h);
    const cv::Mat src = planeFor(colourPlane, type, 17u * dec + x);
    const Layout layout = layoutOf(x, y, w, h, dec, colourPlane);
    const cv::Mat result = TPImage::MatRoi(src, x, y, w, h, dec, colourPlane, false);
    QCOMPARE(result.type(), type);
    QCOMPARE(result.rows, colourPlane ? (h + 1) / 2 : h);
    QCOMPARE(result.cols, colourPlane ? (w + 1) / 2 : w);
    QCOMPARE(maxAbsDiff(result, referenceAccurate(src, layout)), 0);
}

// The fast path averages fewer samples, so it is only bound by the block's range; at dec 1
// and 2 its four samples are the whole block and it must equal the accurate result.
void tst_MatRoi::fast_staysWithinEachBlock()
{
    QFETCH(int, type);
    QFETCH(bool, colourPlane);
    QFETCH(int, dec);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, w);
    QFETCH(int, h);
    const cv::Mat src = planeFor(colourPlane, type, 31u * dec + y);
    const Layout l = layoutOf(x, y, w, h, dec, colourPlane);
    const cv::Mat result = TPImage::MatRoi(src, x, y, w, h, dec, colourPlane, true);
    QCOMPARE(result.rows, l.rows);
    QCOMPARE(result.cols, l.cols);
    for (int i = 0; i < l.rows; ++i) {
        for (int j = 0; j < l.cols; ++j) {
            int lo = INT_MAX, hi = INT_MIN;
            for (int k = 0; k < l.dec; ++k)
                for (int m = 0; m < l.dec; ++m) {
                    lo = std::min(lo, blockSample(src, l, i, j, k, m));
                    hi = std::max(hi, blockSample(src, l, i, j, k, m));
                }
            const int got = at(result, i, j);
            QVERIFY2(got >= lo && got <= hi,
                qPrintable(QStringLiteral("block (%1, %2): %3 outside %4..%5").arg(j).arg(i).arg(got).arg(lo).arg(hi)));
        }
    }
    if (l.dec <= 2)
        QCOMPARE(maxAbsDiff(result, referenceAccurate(src, l)), 0);
}

void tst_MatRoi::fast_equalsAccurateOnConstantPlane_data()
{
    QTest::addColumn<bool>("colourPlane");
    QTest::addColumn<int>("dec");
    for (bool colour : { false, true })
        for (int dec : { 1, 2, 3, 4, 5, 8, 13, 32 })
            QTest::addRow("%s/dec%d", colour ? "colour" : "luma", dec) << colour << dec;
}

void tst_MatRoi::fast_equalsAccurateOnConstantPlane()
{
    QFETCH(bool, colourPlane);
    QFETCH(int, dec);
    const cv::Mat src(40, 50, CV_16UC1, cv::Scalar(12345));
    const cv::Mat fast = TPImage::MatRoi(src, -4, 6, 9, 7, dec, colourPlane, true);
    const cv::Mat accurate = TPImage::MatRoi(src, -4, 6, 9, 7, dec, colourPlane, false);
    QVERIFY(bIdentical(fast, accurate));
    QCOMPARE(cv::countNonZero(accurate != 12345), 0);
}

void tst_MatRoi::singleSampleSource_repeatsEverywhere()
{
    const cv::Mat src(1, 1, CV_16UC1, cv::Scalar(4242));
    for (bool fast : { false, true })
        for (int dec : { 1, 2, 3, 7 }) {
            const cv::Mat result = TPImage::MatRoi(src, -3, 2, 5, 4, dec, false, fast);
            QCOMPARE(result.rows, 4);
            QCOMPARE(result.cols, 5);
            QCOMPARE(cv::countNonZero(result != 4242), 0);
        }
}

void tst_MatRoi::largestDec_doesNotOverflow()
{
    const cv::Mat src(70, 70, CV_16UC1, cv::Scalar(65535));
    const cv::Mat result = TPImage::MatRoi(src, 0, 0, 3, 3, 32, false, false);
    QCOMPARE(cv::countNonZero(result != 65535), 0);
}

void tst_MatRoi::decOutsideRange_isClamped()
{
    const cv::Mat src = randomPlane(80, 90, CV_16UC1, 8);
    QVERIFY(bIdentical(
        TPImage::MatRoi(src, 2, 4, 6, 5, 0, false, false), TPImage::MatRoi(src, 2, 4, 6, 5, 1, false, false)));
    QVERIFY(bIdentical(
        TPImage::MatRoi(src, 2, 4, 6, 5, -3, true, false), TPImage::MatRoi(src, 2, 4, 6, 5, 1, true, false)));
    QVERIFY(bIdentical(
        TPImage::MatRoi(src, 2, 4, 3, 2, 40, false, false), TPImage::MatRoi(src, 2, 4, 3, 2, 32, false, false)));
}

void tst_MatRoi::extremeOrigin_repeatsTheCorner_data()
{
    QTest::addColumn<bool>("colourPlane");
    QTest::addColumn<bool>("fast");
    QTest::addColumn<int>("dec");
    for (bool colour : { false, true })
        for (bool fast : { false, true })
            for (int dec : { 1, 4, 32 })
                QTest::addRow("%s/%s/dec%d", colour ? "colour" : "luma", fast ? "fast" : "accurate", dec)
                    << colour << fast << dec;
}

// Origins near the ends of int: far right and far above, so every sample is the top-right one.
void tst_MatRoi::extremeOrigin_repeatsTheCorner()
{
    QFETCH(bool, colourPlane);
    QFETCH(bool, fast);
    QFETCH(int, dec);
    const cv::Mat src = randomPlane(6, 9, CV_16UC1, 12);
    const cv::Mat result = TPImage::MatRoi(src, INT_MAX - 1, INT_MIN + 2, 5, 4, dec, colourPlane, fast);
    QCOMPARE(result.rows, colourPlane ? 2 : 4);
    QCOMPARE(result.cols, colourPlane ? 3 : 5);
    QCOMPARE(cv::countNonZero(result != src.at<unsigned short>(0, 8)), 0);
    DebugCounter debug;
    QVERIFY(TPImage::MatRoi(src, 0, 0, INT_MAX, 8, dec, colourPlane, fast).empty());
    QCOMPARE(debug.count(), 1);
}

void tst_MatRoi::emptySource_givesZeros_data()
{
    QTest::addColumn<bool>("colourPlane");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::newRow("luma") << false << 5 << 7;
    QTest::newRow("colour") << true << 3 << 4;
}

void tst_MatRoi::emptySource_givesZeros()
{
    QFETCH(bool, colourPlane);
    QFETCH(int, rows);
    QFETCH(int, cols);
    cv::Mat dst(2, 2, CV_16UC1, cv::Scalar(5));
    QVERIFY(TPImage::MatRoi(cv::Mat(), dst, 10, 10, 7, 5, 2, colourPlane, false));
    QCOMPARE(dst.rows, rows);
    QCOMPARE(dst.cols, cols);
    QCOMPARE(dst.type(), CV_16UC1);
    QCOMPARE(cv::countNonZero(dst), 0);
}

void tst_MatRoi::nonPositiveSize_givesEmptyResult()
{
    const cv::Mat src = randomPlane(10, 10, CV_16UC1, 1);
    QVERIFY(TPImage::MatRoi(src, 0, 0, 0, 5, 1, false, false).empty());
    QVERIFY(TPImage::MatRoi(src, 0, 0, 5, -1, 2, true, true).empty());
    cv::Mat dst(3, 3, CV_16UC1);
    QVERIFY(TPImage::MatRoi(src, dst, 0, 0, -4, 4, 1, false, false));
    QVERIFY(dst.empty());
}

void tst_MatRoi::otherTypes_areRejected()
{
    DebugCounter debug;
    QVERIFY(TPImage::MatRoi(cv::Mat(8, 8, CV_32FC1, cv::Scalar(1)), 0, 0, 4, 4, 1, false, false).empty());
    cv::Mat dst;
    QVERIFY(!TPImage::MatRoi(cv::Mat(8, 8, CV_16UC3, cv::Scalar(1)), dst, 0, 0, 4, 4, 2, false, false));
    QCOMPARE(debug.count(), 2);
}

void tst_MatRoi::destination_reusedWhenOwned()
{
    const cv::Mat src = randomPlane(40, 60, CV_16UC1, 2);
    cv::Mat dst;
    QVERIFY(TPImage::MatRoi(src, dst, 0, 0, 20, 10, 2, false, false));
    const uchar *buffer = dst.data;
    QVERIFY(TPImage::MatRoi(src, dst, 4, 8, 20, 10, 2, false, false));
    QCOMPARE(static_cast<const void *>(dst.data), static_cast<const void *>(buffer));
    QCOMPARE(maxAbsDiff(dst, referenceAccurate(src, layoutOf(4, 8, 20, 10, 2, false))), 0);
}

void tst_MatRoi::destination_replacedWhenShared()
{
    const cv::Mat src = randomPlane(40, 60, CV_16UC1, 3);
    cv::Mat dst(10, 20, CV_16UC1, cv::Scalar(99));
    const cv::Mat sharer = dst;
    QVERIFY(TPImage::MatRoi(src, dst, 4, 8, 20, 10, 2, false, true));
    QVERIFY(dst.data != sharer.data);
    QCOMPARE(cv::countNonZero(sharer != 99), 0);
}

void tst_MatRoi::destination_isTheSourceItself()
{
    cv::Mat plane = randomPlane(30, 30, CV_16UC1, 4);
    const cv::Mat expected = referenceAccurate(plane, layoutOf(2, 2, 30, 30, 1, false));
    QVERIFY(TPImage::MatRoi(plane, plane, 2, 2, 30, 30, 1, false, false));
    QCOMPARE(maxAbsDiff(plane, expected), 0);
}

namespace {

const PlaneSize reconstructSizes[] = { { "1x1", 1, 1 }, { "1x2", 1, 2 }, { "2x1", 2, 1 }, { "1x9", 1, 9 },
    { "9x1", 9, 1 }, { "3x3", 3, 3 }, { "5x8", 5, 8 }, { "8x5", 8, 5 }, { "17x31", 17, 31 }, { "64x64", 64, 64 } };

// round(up(half) + factor * (full - up(down(full)))), clamped, with the enlargement unrounded;
// without the detail term when |factor| < eps.
cv::Mat referenceReconstruct(const cv::Mat &full, const cv::Mat &half, double factor, double eps)
{
    const cv::Mat down = referenceDown(full);
    cv::Mat out(full.rows, full.cols, CV_16UC1);
    for (int y = 0; y < full.rows; ++y) {
        for (int x = 0; x < full.cols; ++x) {
            double v = centredBilinear(half, y, x);
            if (std::abs(factor) >= eps)
                v += factor * (at(full, y, x) - centredBilinear(down, y, x));
            put(out, y, x, int(std::clamp(std::floor(v + 0.5), 0.0, 65535.0)));
        }
    }
    return out;
}

}

void tst_MatRoi::reconstruct_identity_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    for (const PlaneSize &size : reconstructSizes)
        QTest::newRow(size.name) << size.rows << size.cols;
}

// The unprocessed half plane with factor 1 must give the full plane back (within one level).
void tst_MatRoi::reconstruct_identity()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    const cv::Mat full = randomPlane(rows, cols, CV_16UC1, 60u + rows * cols);
    const cv::Mat half = referenceDown(full);
    cv::Mat out;
    QVERIFY(TPImage::reconstructFull(full, half, out, 1.0f, 0.01f));
    QCOMPARE(out.rows, rows);
    QCOMPARE(out.cols, cols);
    QCOMPARE(out.type(), CV_16UC1);
    QVERIFY(maxAbsDiff(out, full) <= 1);
}

void tst_MatRoi::reconstruct_matchesReference_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<float>("factor");
    for (float factor : { 1.0f, 0.5f, 2.0f, -0.7f, 0.005f, 0.0f })
        for (const PlaneSize &size : reconstructSizes)
            QTest::addRow("factor%g/%s", double(factor), size.name) << size.rows << size.cols << factor;
}

// A processed half plane (unrelated random content, so results also hit the clamps).
// Tolerance 1: the rebuild works in float.
void tst_MatRoi::reconstruct_matchesReference()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(float, factor);
    const cv::Mat full = randomPlane(rows, cols, CV_16UC1, 70u + rows);
    const cv::Mat half = randomPlane((rows + 1) / 2, (cols + 1) / 2, CV_16UC1, 80u + cols);
    cv::Mat out;
    QVERIFY(TPImage::reconstructFull(full, half, out, factor, 0.01f));
    QVERIFY(maxAbsDiff(out, referenceReconstruct(full, half, factor, 0.01)) <= 1);
}

void tst_MatRoi::reconstruct_withoutDetailIsPlainEnlargement()
{
    const cv::Mat full = randomPlane(13, 20, CV_16UC1, 90);
    const cv::Mat half = randomPlane(7, 10, CV_16UC1, 91);
    cv::Mat out, enlarged(13, 20, CV_16UC1);
    QVERIFY(TPImage::reconstructFull(full, half, out, -0.009f, 0.01f));
    QVERIFY(upSize2X(half, enlarged, 2));
    QVERIFY(bIdentical(out, enlarged));
    // A factor of exactly eps keeps the detail term.
    QVERIFY(TPImage::reconstructFull(full, half, out, 0.25f, 0.25f));
    QVERIFY(maxAbsDiff(out, referenceReconstruct(full, half, 0.25, 0.25)) <= 1);
    QVERIFY(maxAbsDiff(out, enlarged) > 1);
}

void tst_MatRoi::reconstruct_rejectsBadArguments_data()
{
    QTest::addColumn<cv::Mat>("full");
    QTest::addColumn<cv::Mat>("half");
    QTest::addColumn<float>("factor");
    const cv::Mat full(9, 12, CV_16UC1, cv::Scalar(1));
    const cv::Mat half(5, 6, CV_16UC1, cv::Scalar(1));
    QTest::newRow("halfTooTall") << full << cv::Mat(6, 6, CV_16UC1, cv::Scalar(1)) << 1.0f;
    QTest::newRow("halfTooNarrow") << full << cv::Mat(5, 5, CV_16UC1, cv::Scalar(1)) << 1.0f;
    QTest::newRow("halfRoundedDown") << full << cv::Mat(4, 6, CV_16UC1, cv::Scalar(1)) << 1.0f;
    QTest::newRow("full8bit") << cv::Mat(9, 12, CV_8UC1, cv::Scalar(1)) << half << 1.0f;
    QTest::newRow("half8bit") << full << cv::Mat(5, 6, CV_8UC1, cv::Scalar(1)) << 1.0f;
    QTest::newRow("emptyFull") << cv::Mat() << half << 1.0f;
    QTest::newRow("emptyHalf") << full << cv::Mat() << 1.0f;
    QTest::newRow("factorNaN") << full << half << std::nanf("");
    QTest::newRow("factorInfinite") << full << half << HUGE_VALF;
}

void tst_MatRoi::reconstruct_rejectsBadArguments()
{
    QFETCH(cv::Mat, full);
    QFETCH(cv::Mat, half);
    QFETCH(float, factor);
    cv::Mat out(2, 2, CV_16UC1, cv::Scalar(8));
    DebugCounter debug;
    QVERIFY(!TPImage::reconstructFull(full, half, out, factor, 0.01f));
    QCOMPARE(debug.count(), 1);
    QCOMPARE(out.rows, 2);
    QCOMPARE(out.at<unsigned short>(1, 1), 8);
}

// out must never be written over an input while that is read: it gets its own buffer.
void tst_MatRoi::reconstruct_outSharingAnInput()
{
    cv::Mat full = randomPlane(21, 18, CV_16UC1, 95);
    const cv::Mat half = randomPlane(11, 9, CV_16UC1, 96);
    const cv::Mat original = full.clone();
    const cv::Mat expected = referenceReconstruct(original, half, 0.8, 0.01);
    const cv::Mat oldBuffer = full;
    QVERIFY(TPImage::reconstructFull(full, half, full, 0.8f, 0.01f));
    QVERIFY(maxAbsDiff(full, expected) <= 1);
    QVERIFY(bIdentical(oldBuffer, original));
}

FX_REGISTER_TEST(tst_MatRoi)
#include "tst_matroi.moc"
