// Sharpen: the unsharp mask against a direct two-dimensional convolution computed here in
// double, and its effect on edges, flat areas and faint noise.
#include "catalogueharness.h"
#include "testregistry.h"

#include <QRandomGenerator>
#include <QtTest>
#include <cmath>
#include <tfx.h>
#include <tpimage.h>

namespace {
constexpr double maxSample = 65535.0;

// Taps of the Gaussian of sigma band-limited to the sample grid: the inverse transform of
// exp(-2 pi^2 sigma^2 f^2) over |f| <= 1/2, by the midpoint rule. The kernel reaches out to
// ceil(3.5 sigma) + 2 samples and is normalised to a sum of one.
std::vector<double> referenceTaps(double sigma)
{
    const int half = int(std::ceil(3.5 * sigma)) + 2;
    const int steps = 20000;
    std::vector<double> taps(std::size_t(half) + 1);
    for (int k = 0; k <= half; ++k) {
        double sum = 0.0;
        for (int i = 0; i < steps; ++i) {
            const double f = (i + 0.5) / steps * 0.5;
            sum += std::exp(-2.0 * M_PI * M_PI * sigma * sigma * f * f) * std::cos(2.0 * M_PI * k * f);
        }
        taps[std::size_t(k)] = sum / steps;
    }
    double total = taps[0];
    for (int k = 1; k <= half; ++k)
        total += 2.0 * taps[std::size_t(k)];
    for (double &tap : taps)
        tap /= total;
    return taps;
}

// The sharpened plane, sample by sample: the blur as one 2-D sum over the whole kernel with
// the plane's edge samples repeated beyond it, the soft threshold d * d^2 / (d^2 + t^2), and
// the addition bent towards the room r left to white or black, a * r / sqrt(r^2 + a^2).
cv::Mat referenceSharpen(const cv::Mat &lum, double sigma, double amount, double threshold)
{
    const std::vector<double> taps = referenceTaps(sigma);
    const int half = int(taps.size()) - 1;
    const double t = threshold * maxSample;
    cv::Mat out(lum.size(), CV_16UC1);
    for (int y = 0; y < lum.rows; ++y) {
        for (int x = 0; x < lum.cols; ++x) {
            double blurred = 0.0;
            for (int dy = -half; dy <= half; ++dy)
                for (int dx = -half; dx <= half; ++dx)
                    blurred += taps[std::size_t(std::abs(dy))] * taps[std::size_t(std::abs(dx))]
                        * lum.at<unsigned short>(
                            std::clamp(y + dy, 0, lum.rows - 1), std::clamp(x + dx, 0, lum.cols - 1));
            const double value = lum.at<unsigned short>(y, x);
            double detail = value - blurred;
            if (t > 0.0)
                detail *= detail * detail / (detail * detail + t * t);
            const double addition = amount * detail;
            const double room = (addition > 0.0 ? maxSample - value : value) + 1.0;
            const double result = value + addition * room / std::sqrt(room * room + addition * addition);
            out.at<unsigned short>(y, x) = static_cast<unsigned short>(std::clamp(std::round(result), 0.0, maxSample));
        }
    }
    return out;
}

QImage noisePicture(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    return makePicture(
        width, height, [&](int, int) { return qRgb(random.bounded(256), random.bounded(256), random.bounded(256)); });
}

// A step from dark to light across the middle column, blurred into a linear ramp rampWidth wide.
QImage blurredStep(int width, int height, int rampWidth, int dark, int light)
{
    return makePicture(width, height, [=](int x, int) {
        const double t = std::clamp((x + 0.5 - (width - rampWidth) / 2.0) / rampWidth, 0.0, 1.0);
        const int grey = int(std::lround(dark + t * (light - dark)));
        return qRgb(grey, grey, grey);
    });
}

struct SharpenRun : EffectRun {
    SharpenRun(const QImage &picture, double amount, double radius, double threshold)
        : EffectRun(picture, "Sharpen", { { "amount", amount }, { "radius", radius }, { "threshold", threshold } })
    {
    }
};

// Standard deviation of a row range of a plane, in samples.
double deviation(const cv::Mat &plane, const cv::Rect &area)
{
    cv::Scalar mean, deviation;
    cv::meanStdDev(plane(area), mean, deviation);
    return deviation[0];
}

// The spread of a row of a plane: brightest minus darkest sample.
int spread(const cv::Mat &plane, int row)
{
    double lowest = 0.0, highest = 0.0;
    cv::minMaxLoc(plane.row(row), &lowest, &highest);
    return int(highest - lowest);
}
}

class tst_Detail : public QObject {
    Q_OBJECT
private slots:
    void sharpenMatchesDirectConvolution_data();
    void sharpenMatchesDirectConvolution();
    void sharpenRaisesEdgeContrastLeavesFlatAreas_data();
    void sharpenRaisesEdgeContrastLeavesFlatAreas();
    void sharpenThresholdSparesFaintNoise();
};

void tst_Detail::sharpenMatchesDirectConvolution_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("amount");
    QTest::addColumn<double>("radius");
    QTest::addColumn<double>("threshold");
    QTest::newRow("1x1") << 1 << 1 << 2.0 << 1.0 << 0.0;
    QTest::newRow("odd 7x5, radius 1") << 7 << 5 << 1.5 << 1.0 << 0.0;
    QTest::newRow("3x4, kernel larger than the picture") << 3 << 4 << 1.0 << 5.0 << 0.0;
    QTest::newRow("37x23, radius 2.3, threshold") << 37 << 23 << 2.5 << 2.3 << 0.03;
    QTest::newRow("single row 41x1, smallest radius") << 41 << 1 << 3.0 << 0.3 << 0.0;
    QTest::newRow("single column 1x29, radius 0.7") << 1 << 29 << 3.0 << 0.7 << 0.0;
    QTest::newRow("1700x6, radius 5: more than one strip") << 1700 << 6 << 0.8 << 5.0 << 0.01;
}

// Every sample of the full-resolution result agrees with the double-precision reference to
// within one level: the effect sums in float, which moves the result by far less than a level
// but may tip a rounding.
void tst_Detail::sharpenMatchesDirectConvolution()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, amount);
    QFETCH(double, radius);
    QFETCH(double, threshold);
    SharpenRun run(noisePicture(width, height, quint32(width * 131 + height)), amount, radius, threshold);
    QVERIFY(run.ok);
    const cv::Mat expected = referenceSharpen(run.in().m_lum, radius, amount, threshold);
    const cv::Mat &actual = run.out().m_lum;
    QCOMPARE(actual.cols, width);
    QCOMPARE(actual.rows, height);
    QVERIFY2(cv::norm(actual, expected, cv::NORM_INF) <= 1.0,
        qPrintable(QStringLiteral("largest difference %1").arg(cv::norm(actual, expected, cv::NORM_INF))));
    // The colour planes are passed on untouched.
    QCOMPARE(std::max(maxDiff(run.out().m_c1, run.in().m_c1), maxDiff(run.out().m_c2, run.in().m_c2)), 0.0);
}

void tst_Detail::sharpenRaisesEdgeContrastLeavesFlatAreas_data()
{
    QTest::addColumn<double>("amount");
    QTest::addColumn<double>("radius");
    QTest::newRow("radius 1, amount 1") << 1.0 << 1.0;
    QTest::newRow("radius 2, amount 1.5") << 1.5 << 2.0;
    QTest::newRow("radius 4, amount 3") << 3.0 << 4.0;
}

// Across a blurred step the result overshoots on both sides (the spread of a row grows) while
// its middle stays in place; far enough from the step for the kernel not to reach it, nothing
// changes at all.
void tst_Detail::sharpenRaisesEdgeContrastLeavesFlatAreas()
{
    QFETCH(double, amount);
    QFETCH(double, radius);
    const int width = 120, height = 9, rampWidth = 6;
    SharpenRun run(blurredStep(width, height, rampWidth, 70, 180), amount, radius, 0.0);
    QVERIFY(run.ok);
    const cv::Mat &in = run.in().m_lum, &out = run.out().m_lum;
    const int before = spread(in, height / 2), after = spread(out, height / 2);
    QVERIFY2(after > before + 0.05 * amount * before, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
    // The overshoot is on the correct sides: darker just before the ramp, lighter just after it.
    const int rampStart = (width - rampWidth) / 2, rampEnd = rampStart + rampWidth;
    QVERIFY(out.at<unsigned short>(0, rampStart - 1) < in.at<unsigned short>(0, rampStart - 1));
    QVERIFY(out.at<unsigned short>(0, rampEnd) > in.at<unsigned short>(0, rampEnd));
    const int reach = int(std::ceil(3.5 * radius)) + 3;
    const cv::Rect left(0, 0, rampStart - reach, height), right(rampEnd + reach, 0, width - rampEnd - reach, height);
    QCOMPARE(cv::norm(out(left), in(left), cv::NORM_INF), 0.0);
    QCOMPARE(cv::norm(out(right), in(right), cv::NORM_INF), 0.0);
}

// Faint noise on a flat area is amplified without a threshold and left nearly alone with one,
// while a strong edge elsewhere in the picture is sharpened almost as much either way.
void tst_Detail::sharpenThresholdSparesFaintNoise()
{
    const int width = 240, height = 40, noiseWidth = 100;
    QImage picture = blurredStep(width, height, 1, 60, 200);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < noiseWidth; ++x) {
            const int grey = 90 + random.bounded(-2, 3);
            picture.setPixel(x, y, qRgb(grey, grey, grey));
        }
    const cv::Rect noisy(10, 10, noiseWidth - 20, height - 20);
    SharpenRun plain(picture, 2.0, 1.0, 0.0), thresholded(picture, 2.0, 1.0, 0.03);
    QVERIFY(plain.ok && thresholded.ok);
    const double noiseIn = deviation(plain.in().m_lum, noisy);
    const double noisePlain = deviation(plain.out().m_lum, noisy);
    const double noiseThresholded = deviation(thresholded.out().m_lum, noisy);
    QVERIFY2(noisePlain > 1.5 * noiseIn, qPrintable(QStringLiteral("%1 -> %2").arg(noiseIn).arg(noisePlain)));
    QVERIFY2(
        noiseThresholded < 1.1 * noiseIn, qPrintable(QStringLiteral("%1 -> %2").arg(noiseIn).arg(noiseThresholded)));
    const int edgeRow = height / 2;
    const int edgeIn = spread(plain.in().m_lum(cv::Rect(noiseWidth, 0, width - noiseWidth, height)), edgeRow);
    const int edgePlain = spread(plain.out().m_lum(cv::Rect(noiseWidth, 0, width - noiseWidth, height)), edgeRow);
    const int edgeThresholded
        = spread(thresholded.out().m_lum(cv::Rect(noiseWidth, 0, width - noiseWidth, height)), edgeRow);
    QVERIFY(edgePlain > edgeIn);
    QVERIFY2(edgeThresholded - edgeIn > 0.8 * (edgePlain - edgeIn),
        qPrintable(QStringLiteral("%1: %2 plain, %3 thresholded").arg(edgeIn).arg(edgePlain).arg(edgeThresholded)));
}

FX_REGISTER_TEST(tst_Detail)
#include "tst_detail.moc"
