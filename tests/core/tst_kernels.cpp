// The pixel kernels against naive loops written here from their definitions.
#include "kernels.h"
#include "kerneltestsupport.h"
#include "testregistry.h"

#include <QTest>
#include <cmath>
#include <vector>

using namespace KernelTest;

namespace {

const PlaneSize sweepSizes[] = { { "1x1", 1, 1 }, { "1x7", 1, 7 }, { "7x1", 7, 1 }, { "2x2", 2, 2 }, { "3x5", 3, 5 },
    { "4x6", 4, 6 }, { "17x33", 17, 33 }, { "48x64", 48, 64 }, { "9x131", 9, 131 } };

const char *depthName(int type) { return type == CV_8UC1 ? "8bit" : "16bit"; }

// The enlargement rounded half up; nearest takes the sample closest to the output's position.
cv::Mat referenceUp(const cv::Mat &src, int rows, int cols, bool bilinear)
{
    cv::Mat dst(rows, cols, src.type());
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            if (bilinear) {
                put(dst, y, x, int(std::floor(centredBilinear(src, y, x) + 0.5)));
                continue;
            }
            const long ny = std::lround((y + 0.5) / 2 - 0.5);
            const long nx = std::lround((x + 0.5) / 2 - 0.5);
            put(dst, y, x, at(src, std::clamp(int(ny), 0, src.rows - 1), std::clamp(int(nx), 0, src.cols - 1)));
        }
    }
    return dst;
}

double referenceBlend(int mix, int effect, int mask, double opacity)
{
    return std::floor(mix + (effect - mix) * opacity * mask / 255.0 + 0.5);
}

}

class tst_Kernels : public QObject {
    Q_OBJECT

private slots:
    void downSize2X_matchesReference_data();
    void downSize2X_matchesReference();
    void downSize2X_readsOnlyTheRegionOfAView();
    void downSize2X_writesInPlaceIntoSharedDestination();
    void downSize2X_intoItself();
    void downSize2X_rejectsBadArguments_data();
    void downSize2X_rejectsBadArguments();

    void upSize2X_matchesReference_data();
    void upSize2X_matchesReference();
    void upSize2X_sizesTheDestination_data();
    void upSize2X_sizesTheDestination();
    void upSize2X_rejectsBadArguments_data();
    void upSize2X_rejectsBadArguments();

    void blendAlpha_matchesReference_data();
    void blendAlpha_matchesReference();
    void blendAlpha_intoItsOwnInput_data();
    void blendAlpha_intoItsOwnInput();
    void blendAlpha_rejectsBadArguments_data();
    void blendAlpha_rejectsBadArguments();

    void blendC_matchesReference_data();
    void blendC_matchesReference();
    void blendC_rejectsBadArguments();
};

void tst_Kernels::downSize2X_matchesReference_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("type");
    for (int type : { CV_8UC1, CV_16UC1 })
        for (const PlaneSize &size : sweepSizes)
            QTest::addRow("%s/%s", size.name, depthName(type)) << size.rows << size.cols << type;
}

// Tolerance 0: the average of integers rounds exactly.
void tst_Kernels::downSize2X_matchesReference()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(int, type);
    const cv::Mat src = randomPlane(rows, cols, type, 7u * rows + cols);
    cv::Mat dst;
    QVERIFY(downSize2X(src, dst, 4));
    QCOMPARE(dst.rows, (rows + 1) / 2);
    QCOMPARE(dst.cols, (cols + 1) / 2);
    QCOMPARE(dst.type(), type);
    QCOMPARE(maxAbsDiff(dst, referenceDown(src)), 0);
}

void tst_Kernels::downSize2X_readsOnlyTheRegionOfAView()
{
    // Samples around the view are at the maximum; any read outside it would pull averages up.
    cv::Mat big(20, 30, CV_16UC1, cv::Scalar(65535));
    const cv::Mat inner = randomPlane(7, 11, CV_16UC1, 3) / 4;
    inner.copyTo(big(cv::Rect(5, 6, 11, 7)));
    const cv::Mat view = big(cv::Rect(5, 6, 11, 7));
    cv::Mat dst;
    QVERIFY(downSize2X(view, dst, 4));
    QCOMPARE(maxAbsDiff(dst, referenceDown(inner)), 0);
}

void tst_Kernels::downSize2X_writesInPlaceIntoSharedDestination()
{
    const cv::Mat src = randomPlane(9, 13, CV_16UC1, 11);
    cv::Mat dst(5, 7, CV_16UC1, cv::Scalar(0));
    const cv::Mat sharer = dst;
    QVERIFY(downSize2X(src, dst, 4));
    QCOMPARE(static_cast<void *>(dst.data), static_cast<void *>(sharer.data));
    QCOMPARE(maxAbsDiff(sharer, referenceDown(src)), 0);
}

void tst_Kernels::downSize2X_intoItself()
{
    cv::Mat plane = randomPlane(9, 6, CV_8UC1, 5);
    const cv::Mat expected = referenceDown(plane.clone());
    QVERIFY(downSize2X(plane, plane, 4));
    QCOMPARE(maxAbsDiff(plane, expected), 0);
}

void tst_Kernels::downSize2X_rejectsBadArguments_data()
{
    QTest::addColumn<cv::Mat>("src");
    QTest::addColumn<int>("mode");
    QTest::newRow("modeTwo") << cv::Mat(4, 4, CV_16UC1, cv::Scalar(1)) << 2;
    QTest::newRow("threeChannels") << cv::Mat(4, 4, CV_8UC3, cv::Scalar(1)) << 4;
    QTest::newRow("float") << cv::Mat(4, 4, CV_32FC1, cv::Scalar(1)) << 4;
    QTest::newRow("signed16") << cv::Mat(4, 4, CV_16SC1, cv::Scalar(1)) << 4;
    QTest::newRow("empty") << cv::Mat() << 4;
}

void tst_Kernels::downSize2X_rejectsBadArguments()
{
    QFETCH(cv::Mat, src);
    QFETCH(int, mode);
    cv::Mat dst(3, 3, CV_16UC1, cv::Scalar(77));
    DebugCounter debug;
    QVERIFY(!downSize2X(src, dst, mode));
    QCOMPARE(debug.count(), 1);
    QCOMPARE(dst.rows, 3);
    QCOMPARE(dst.at<unsigned short>(1, 1), 77);
}

void tst_Kernels::upSize2X_matchesReference_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("rowTrim");
    QTest::addColumn<int>("colTrim");
    for (int mode : { 2, 1 })
        for (int type : { CV_8UC1, CV_16UC1 })
            for (const PlaneSize &size : sweepSizes)
                for (int trim : { 0, 1, 2 }) {
                    // trim 0: the doubled size; 1: both one less (an odd full plane); 2: only the columns.
                    const char *shape = trim == 0 ? "double" : trim == 1 ? "oddBoth" : "oddCols";
                    QTest::addRow("%s/%s/%s/%s", mode == 2 ? "bilinear" : "nearest", size.name, depthName(type), shape)
                        << size.rows << size.cols << type << mode << (trim == 1 ? 1 : 0) << (trim ? 1 : 0);
                }
}

// Tolerance 0: the bilinear weights are multiples of 1/16, so the rounded value is exact.
void tst_Kernels::upSize2X_matchesReference()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(int, type);
    QFETCH(int, mode);
    QFETCH(int, rowTrim);
    QFETCH(int, colTrim);
    const cv::Mat src = randomPlane(rows, cols, type, 13u * rows + cols + mode);
    const int dstRows = 2 * rows - rowTrim;
    const int dstCols = 2 * cols - colTrim;
    cv::Mat dst = rowTrim || colTrim ? cv::Mat(dstRows, dstCols, type) : cv::Mat();
    QVERIFY(upSize2X(src, dst, mode));
    QCOMPARE(dst.rows, dstRows);
    QCOMPARE(dst.cols, dstCols);
    QCOMPARE(dst.type(), type);
    QCOMPARE(maxAbsDiff(dst, referenceUp(src, dstRows, dstCols, mode == 2)), 0);
}

void tst_Kernels::upSize2X_sizesTheDestination_data()
{
    QTest::addColumn<cv::Mat>("dst");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    // The source is 5 x 7 (rows x cols), 16-bit.
    QTest::newRow("empty") << cv::Mat() << 10 << 14;
    QTest::newRow("exactDouble") << cv::Mat(10, 14, CV_16UC1) << 10 << 14;
    QTest::newRow("oddFullPlane") << cv::Mat(9, 13, CV_16UC1) << 9 << 13;
    QTest::newRow("oddRowsOnly") << cv::Mat(9, 14, CV_16UC1) << 9 << 14;
    QTest::newRow("oneTooLarge") << cv::Mat(11, 14, CV_16UC1) << 10 << 14;
    QTest::newRow("twoTooSmall") << cv::Mat(8, 12, CV_16UC1) << 10 << 14;
    QTest::newRow("wrongType") << cv::Mat(10, 14, CV_8UC1) << 10 << 14;
}

void tst_Kernels::upSize2X_sizesTheDestination()
{
    QFETCH(cv::Mat, dst);
    QFETCH(int, rows);
    QFETCH(int, cols);
    const cv::Mat src = randomPlane(5, 7, CV_16UC1, 21);
    QVERIFY(upSize2X(src, dst, 2));
    QCOMPARE(dst.rows, rows);
    QCOMPARE(dst.cols, cols);
    QCOMPARE(dst.type(), CV_16UC1);
    QCOMPARE(maxAbsDiff(dst, referenceUp(src, rows, cols, true)), 0);
}

void tst_Kernels::upSize2X_rejectsBadArguments_data()
{
    QTest::addColumn<cv::Mat>("src");
    QTest::addColumn<int>("mode");
    QTest::newRow("modeZero") << cv::Mat(4, 4, CV_8UC1, cv::Scalar(1)) << 0;
    QTest::newRow("modeThree") << cv::Mat(4, 4, CV_8UC1, cv::Scalar(1)) << 3;
    QTest::newRow("twoChannels") << cv::Mat(4, 4, CV_16UC2, cv::Scalar(1)) << 2;
    QTest::newRow("float") << cv::Mat(4, 4, CV_32FC1, cv::Scalar(1)) << 2;
    QTest::newRow("empty") << cv::Mat() << 2;
}

void tst_Kernels::upSize2X_rejectsBadArguments()
{
    QFETCH(cv::Mat, src);
    QFETCH(int, mode);
    cv::Mat dst(3, 3, CV_8UC1, cv::Scalar(9));
    DebugCounter debug;
    QVERIFY(!upSize2X(src, dst, mode));
    QCOMPARE(debug.count(), 1);
    QCOMPARE(dst.rows, 3);
    QCOMPARE(dst.at<unsigned char>(2, 2), 9);
}

void tst_Kernels::blendAlpha_matchesReference_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<float>("opacity");
    for (int type : { CV_8UC1, CV_16UC1 })
        for (const char *mask : { "none", "clear", "full", "mixed" })
            for (float opacity : { 0.0f, 0.01f, 0.5f, 1.0f, -0.5f, 1.7f })
                QTest::addRow("%s/mask-%s/opacity%g", depthName(type), mask, double(opacity))
                    << type << QString::fromLatin1(mask) << opacity;
}

// Tolerance 1 against the rounded double formula (the kernel weighs in float); exact where
// the weight is 0 (mix comes out) or 1 (effect comes out).
void tst_Kernels::blendAlpha_matchesReference()
{
    QFETCH(int, type);
    QFETCH(QString, mask);
    QFETCH(float, opacity);
    const double clamped = std::clamp(double(opacity), 0.0, 1.0);
    for (const PlaneSize &size : sweepSizes) {
        const cv::Mat mix = randomPlane(size.rows, size.cols, type, 100 + size.cols);
        const cv::Mat effect = randomPlane(size.rows, size.cols, type, 200 + size.rows);
        cv::Mat maskPlane;
        if (mask == "clear")
            maskPlane = cv::Mat(size.rows, size.cols, CV_8UC1, cv::Scalar(0));
        else if (mask == "full")
            maskPlane = cv::Mat(size.rows, size.cols, CV_8UC1, cv::Scalar(255));
        else if (mask == "mixed")
            maskPlane = randomPlane(size.rows, size.cols, CV_8UC1, 300 + size.rows * size.cols);
        cv::Mat dst;
        QVERIFY(blendAlpha(mix, effect, maskPlane, dst, opacity, 0));
        QCOMPARE(dst.type(), type);
        QCOMPARE(dst.rows, size.rows);
        QCOMPARE(dst.cols, size.cols);
        for (int y = 0; y < size.rows; ++y) {
            for (int x = 0; x < size.cols; ++x) {
                const int m = maskPlane.empty() ? 255 : maskPlane.at<unsigned char>(y, x);
                const int got = at(dst, y, x);
                const double expected = referenceBlend(at(mix, y, x), at(effect, y, x), m, clamped);
                if (m == 0 || clamped == 0.0)
                    QCOMPARE(got, at(mix, y, x));
                else if (m == 255 && clamped == 1.0)
                    QCOMPARE(got, at(effect, y, x));
                else if (std::abs(got - expected) > 1)
                    QFAIL(qPrintable(QStringLiteral("%1 at (%2, %3): got %4, expected %5")
                                         .arg(size.name)
                                         .arg(x)
                                         .arg(y)
                                         .arg(got)
                                         .arg(expected)));
            }
        }
    }
}

void tst_Kernels::blendAlpha_intoItsOwnInput_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("intoMix");
    for (int type : { CV_8UC1, CV_16UC1 }) {
        QTest::addRow("%s/intoMix", depthName(type)) << type << true;
        QTest::addRow("%s/intoEffect", depthName(type)) << type << false;
    }
}

void tst_Kernels::blendAlpha_intoItsOwnInput()
{
    QFETCH(int, type);
    QFETCH(bool, intoMix);
    cv::Mat mix = randomPlane(31, 77, type, 41);
    cv::Mat effect = randomPlane(31, 77, type, 42);
    const cv::Mat mask = randomPlane(31, 77, CV_8UC1, 43);
    cv::Mat separate;
    QVERIFY(blendAlpha(mix, effect, mask, separate, 0.6f, 0));
    cv::Mat &target = intoMix ? mix : effect;
    const uchar *buffer = target.data;
    QVERIFY(blendAlpha(mix, effect, mask, target, 0.6f, 0));
    QCOMPARE(static_cast<const void *>(target.data), static_cast<const void *>(buffer));
    QCOMPARE(maxAbsDiff(target, separate), 0);
}

void tst_Kernels::blendAlpha_rejectsBadArguments_data()
{
    QTest::addColumn<cv::Mat>("mix");
    QTest::addColumn<cv::Mat>("effect");
    QTest::addColumn<cv::Mat>("mask");
    QTest::addColumn<float>("opacity");
    QTest::addColumn<int>("mode");
    const cv::Mat a(6, 5, CV_16UC1, cv::Scalar(1));
    const cv::Mat m(6, 5, CV_8UC1, cv::Scalar(128));
    QTest::newRow("sizeMismatch") << a << cv::Mat(5, 6, CV_16UC1, cv::Scalar(2)) << m << 0.5f << 0;
    QTest::newRow("depthMismatch") << a << cv::Mat(6, 5, CV_8UC1, cv::Scalar(2)) << m << 0.5f << 0;
    QTest::newRow("maskWrongSize") << a << a << cv::Mat(6, 4, CV_8UC1, cv::Scalar(1)) << 0.5f << 0;
    QTest::newRow("mask16bit") << a << a << cv::Mat(6, 5, CV_16UC1, cv::Scalar(1)) << 0.5f << 0;
    QTest::newRow("unknownMode") << a << a << m << 0.5f << 1;
    QTest::newRow("emptyPlanes") << cv::Mat() << cv::Mat() << cv::Mat() << 0.5f << 0;
    QTest::newRow("floatPlanes") << cv::Mat(6, 5, CV_32FC1) << cv::Mat(6, 5, CV_32FC1) << m << 0.5f << 0;
    QTest::newRow("opacityNaN") << a << a << m << std::nanf("") << 0;
}

void tst_Kernels::blendAlpha_rejectsBadArguments()
{
    QFETCH(cv::Mat, mix);
    QFETCH(cv::Mat, effect);
    QFETCH(cv::Mat, mask);
    QFETCH(float, opacity);
    QFETCH(int, mode);
    cv::Mat dst(2, 2, CV_8UC1, cv::Scalar(3));
    DebugCounter debug;
    QVERIFY(!blendAlpha(mix, effect, mask, dst, opacity, mode));
    QCOMPARE(debug.count(), 1);
    QCOMPARE(dst.rows, 2);
    QCOMPARE(dst.at<unsigned char>(1, 1), 3);
}

void tst_Kernels::blendC_matchesReference_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("padding");
    for (float value : { 0.0f, 0.25f, 0.5f, 0.7f, 1.0f, 1.5f, 3.0f, -1.0f })
        for (const PlaneSize &size : sweepSizes)
            QTest::addRow("value%g/%s", double(value), size.name) << value << size.cols << size.rows << 3;
    QTest::newRow("tightSteps") << 0.5f << 16 << 4 << 0;
    QTest::newRow("emptyWidth") << 0.5f << 0 << 4 << 2;
}

// Tolerance 0 against the double product rounded half up and clamped; the bytes between
// rows (the steps' padding) must stay as they were.
void tst_Kernels::blendC_matchesReference()
{
    QFETCH(float, value);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, padding);
    const int step = w + padding;
    const cv::Mat src = randomPlane(h, step, CV_8UC1, 500 + w);
    std::vector<unsigned char> dst(std::size_t(step) * h, 0xA5);
    QVERIFY(blendC(src.data, int(src.step[0]), dst.data(), step, w, h, value));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < step; ++x) {
            const int got = dst[std::size_t(y) * step + x];
            const double product = std::floor(src.at<unsigned char>(y, x) * double(value) + 0.5);
            const int expected = x < w ? int(std::clamp(product, 0.0, 255.0)) : 0xA5;
            if (got != expected)
                QFAIL(qPrintable(
                    QStringLiteral("at (%1, %2): got %3, expected %4").arg(x).arg(y).arg(got).arg(expected)));
        }
    }
}

void tst_Kernels::blendC_rejectsBadArguments()
{
    unsigned char src[16] = {};
    unsigned char dst[16] = {};
    DebugCounter debug;
    QVERIFY(!blendC(nullptr, 4, dst, 4, 4, 4, 1.0f));
    QVERIFY(!blendC(src, 4, nullptr, 4, 4, 4, 1.0f));
    QVERIFY(!blendC(src, 4, dst, 4, -1, 4, 1.0f));
    QVERIFY(!blendC(src, 4, dst, 4, 4, -2, 1.0f));
    QVERIFY(!blendC(src, 3, dst, 4, 4, 4, 1.0f));
    QVERIFY(!blendC(src, 4, dst, 2, 4, 4, 1.0f));
    QVERIFY(!blendC(src, 4, dst, 4, 4, 4, std::nanf("")));
    QCOMPARE(debug.count(), 7);
}

FX_REGISTER_TEST(tst_Kernels)
#include "tst_kernels.moc"
