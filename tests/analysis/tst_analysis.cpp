// The engine's analysis functions: which planes they analyse, what they hand back, and that
// the histogram text reaches the histogram parameter.
#include "fxanalysis.h"
#include "mhist.h"
#include "tcms.h"
#include "testdata.h"
#include "testregistry.h"
#include "thistdraw.h"
#include "tparammhist.h"
#include "tpimage.h"
#include "tsampleimage.h"
#include "tuid.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>
#include <cstdint>

namespace {

// Pixel by pixel: QImage's own conversion of a large picture would start Qt's thread pool
// and spoil the thread count below.
QImage toArgb32(const QImage &picture)
{
    if (picture.format() == QImage::Format_ARGB32)
        return picture;
    QImage argb(picture.size(), QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            argb.setPixel(x, y, picture.pixel(x, y));
    return argb;
}

// An engine image of picture's pixels taken as ProPhoto values as they are.
void fillImage(const QImage &picture, TPImage &image)
{
    const QImage argb = toArgb32(picture);
    QVERIFY(image.convertFrom(argb.constBits(), argb.width(), argb.height(), argb.bytesPerLine()));
}

QImage randomPicture(int width, int height, unsigned seed)
{
    QImage image(width, height, QImage::Format_ARGB32);
    unsigned state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            image.setPixel(x, y, qRgb(int(state >> 24), int((state >> 16) & 255), int((state >> 8) & 255)));
        }
    }
    return image;
}

// The 256-bin histogram of a 16-bit plane.
std::vector<std::uint64_t> binsOf(const cv::Mat &plane)
{
    std::vector<std::uint64_t> bins(256, 0);
    for (int y = 0; y < plane.rows; ++y)
        for (int x = 0; x < plane.cols; ++x)
            ++bins[plane.at<unsigned short>(y, x) >> 8];
    return bins;
}

// The luminance halved by 2x2 averages (rounded; at odd edges over the samples that exist).
cv::Mat halvedNaively(const cv::Mat &lum)
{
    cv::Mat half((lum.rows + 1) / 2, (lum.cols + 1) / 2, CV_16UC1);
    for (int by = 0; by < half.rows; ++by) {
        for (int bx = 0; bx < half.cols; ++bx) {
            int sum = 0, n = 0;
            for (int y = 2 * by; y < std::min(lum.rows, 2 * by + 2); ++y)
                for (int x = 2 * bx; x < std::min(lum.cols, 2 * bx + 2); ++x, ++n)
                    sum += lum.at<unsigned short>(y, x);
            half.at<unsigned short>(by, bx) = static_cast<unsigned short>((2 * sum + n) / (2 * n));
        }
    }
    return half;
}

bool bSamePixels(const cv::Mat &a, const cv::Mat &b)
{
    return a.size() == b.size() && a.type() == b.type() && (a.empty() || cv::countNonZero(a != b) == 0);
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

}

class tst_Analysis : public QObject {
    Q_OBJECT
private slots:
    void histogramAnalysesPlanesAtColourSize_data();
    void histogramAnalysesPlanesAtColourSize();
    void analysisLeavesImageUnchanged();
    void emptyImage();
    void imageWithMismatchedPlanes();
    void histogramTextSetsParameter();
    void getHistogramIsRenderedChart_data();
    void getHistogramIsRenderedChart();
    void colorThemeOfSamplePicture();
    void colorThemeOfCoffeeIsWarm();
    void analysisStartsNoThreads();
};

void tst_Analysis::histogramAnalysesPlanesAtColourSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1x1") << QSize(1, 1);
    QTest::newRow("2x2") << QSize(2, 2);
    QTest::newRow("7x5 odd") << QSize(7, 5);
    QTest::newRow("64x48") << QSize(64, 48);
    QTest::newRow("101x67 odd") << QSize(101, 67);
}

void tst_Analysis::histogramAnalysesPlanesAtColourSize()
{
    QFETCH(QSize, size);
    TPImage image;
    fillImage(randomPicture(size.width(), size.height(), unsigned(size.width() * 7 + size.height())), image);
    std::string text;
    QVERIFY(getCMHistogram(image, text));
    MHist hist;
    QVERIFY(hist.load(text));
    QCOMPARE(hist.total(), std::uint64_t(image.m_c1.rows) * std::uint64_t(image.m_c1.cols));
    QCOMPARE(hist.depth(), 16);
    // Plane 0 is the luminance halved, planes 1 and 2 the colour planes as they are.
    const std::vector<std::uint64_t> expected[3]
        = { binsOf(halvedNaively(image.m_lum)), binsOf(image.m_c1), binsOf(image.m_c2) };
    for (int p = 0; p < 3; ++p)
        for (int b = 0; b < 256; ++b)
            QCOMPARE(hist.count(p, b), expected[p][std::size_t(b)]);
}

void tst_Analysis::analysisLeavesImageUnchanged()
{
    TPImage image;
    fillImage(randomPicture(31, 17, 3), image);
    const TPImage before = image.clone();
    std::string text, s1, s2, s3;
    QVERIFY(getCMHistogram(image, text));
    QVERIFY(getColorTheme(image, s1, s2, s3));
    const QImage chart = getHistogram(image, 200, 100);
    QVERIFY(bSamePixels(image.m_lum, before.m_lum));
    QVERIFY(bSamePixels(image.m_c1, before.m_c1));
    QVERIFY(bSamePixels(image.m_c2, before.m_c2));
    QVERIFY(bSamePixels(image.m_p4, before.m_p4));
}

void tst_Analysis::emptyImage()
{
    TPImage image;
    std::string text = "stale";
    QVERIFY(getCMHistogram(image, text));
    MHist hist;
    QVERIFY(hist.load(text));
    QVERIFY(hist.bEmpty());
    std::string s1 = "a", s2 = "b", s3 = "c";
    QVERIFY(getColorTheme(image, s1, s2, s3));
    QVERIFY(s1.empty() && s2.empty() && s3.empty());
    const QImage chart = getHistogram(image, 0, 0);
    QCOMPARE(chart.size(), QSize(16, 16));
    QCOMPARE(chart.format(), QImage::Format_RGB32);
    QVERIFY(qRed(chart.pixel(8, 15)) < 60);
}

void tst_Analysis::imageWithMismatchedPlanes()
{
    // Planes that do not fit together (a caller's mistake) give empty results, no crash.
    TPImage image;
    fillImage(randomPicture(20, 10, 8), image);
    image.m_c1.create(3, 4, CV_16UC1);
    image.m_c1.setTo(32768);
    std::string text;
    QVERIFY(getCMHistogram(image, text));
    MHist hist;
    QVERIFY(hist.load(text));
    QVERIFY(hist.bEmpty());
    std::string s1 = "a", s2 = "b", s3 = "c";
    QVERIFY(getColorTheme(image, s1, s2, s3));
    QVERIFY(s1.empty() && s2.empty() && s3.empty());
    const QImage chart = getHistogram(image, 64, 32);
    QCOMPARE(chart.size(), QSize(64, 32));
}

void tst_Analysis::histogramTextSetsParameter()
{
    TPImage image;
    fillImage(TSampleImage::generate(120, 80), image);
    std::string text;
    QVERIFY(getCMHistogram(image, text));
    MHist expected;
    QVERIFY(expected.load(text));

    TParamMHist param(nullptr, QStringLiteral("hist"), QStringLiteral("Histogram"), QString(), QStringLiteral("mhist"));
    const auto stampBefore = param.uid()->id();
    bool ok = false;
    QVERIFY(QMetaObject::invokeMethod(&param, "setValue", Q_RETURN_ARG(bool, ok), Q_ARG(std::string, text)));
    QVERIFY(ok);
    QVERIFY(param.mhist() == expected);
    QVERIFY(param.uid()->id() != stampBefore);
}

void tst_Analysis::getHistogramIsRenderedChart_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("256x128") << 256 << 128 << QSize(256, 128);
    QTest::newRow("odd 301x77") << 301 << 77 << QSize(301, 77);
    QTest::newRow("too small") << 3 << 2 << QSize(16, 16);
    QTest::newRow("too large") << 9000 << 50 << QSize(4096, 50);
}

void tst_Analysis::getHistogramIsRenderedChart()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QSize, expected);
    TPImage image;
    fillImage(TSampleImage::generate(90, 60), image);
    const QImage chart = getHistogram(image, w, h);
    QCOMPARE(chart.format(), QImage::Format_RGB32);
    QCOMPARE(chart.size(), expected);
    // Pixel for pixel the chart THistDraw renders, B, G, R turned into opaque RGB.
    THistDraw draw;
    draw.setHistSize(w, h);
    cv::Mat mat;
    QVERIFY(draw.getHistMat(mat, image));
    for (int y = 0; y < mat.rows; ++y) {
        for (int x = 0; x < mat.cols; ++x) {
            const cv::Vec3b p = mat.at<cv::Vec3b>(y, x);
            QCOMPARE(chart.pixel(x, y), qRgb(p[2], p[1], p[0]));
        }
    }
}

void tst_Analysis::colorThemeOfSamplePicture()
{
    TPImage image;
    fillImage(TSampleImage::generate(600, 400), image);
    std::string s1, s2, s3;
    QVERIFY(getColorTheme(image, s1, s2, s3));
    const QRegularExpression palette(QStringLiteral("^#[0-9a-f]{6} \\d{1,3}%(, #[0-9a-f]{6} \\d{1,3}%){0,4}$"));
    QVERIFY2(palette.match(QString::fromStdString(s1)).hasMatch(), s1.c_str());
    const QRegularExpression tone(QStringLiteral("^(low|mid|high)-key, (low|normal|high) contrast$"));
    QVERIFY2(tone.match(QString::fromStdString(s2)).hasMatch(), s2.c_str());
    const QRegularExpression character(
        QStringLiteral("^(warm|neutral|cool), (monochrome|analogous|complementary|varied)$"));
    QVERIFY2(character.match(QString::fromStdString(s3)).hasMatch(), s3.c_str());
    // The theme is the one the histogram text carries.
    std::string text;
    QVERIFY(getCMHistogram(image, text));
    MHist hist;
    QVERIFY(hist.load(text));
    std::string t1, t2, t3;
    QVERIFY(hist.colorTheme(t1, t2, t3));
    QCOMPARE(t1, s1);
    QCOMPARE(t2, s2);
    QCOMPARE(t3, s3);
}

void tst_Analysis::colorThemeOfCoffeeIsWarm()
{
    const QImage coffee(sharedDataPath(QStringLiteral("photos/coffee.png")));
    QVERIFY(!coffee.isNull());
    // Through colour management, as a host would bring the photo in.
    TCMS cms;
    TPImage image(coffee.width(), coffee.height());
    cms.convert(toArgb32(coffee), image);
    std::string s1, s2, s3;
    QVERIFY(getColorTheme(image, s1, s2, s3));
    QVERIFY2(QString::fromStdString(s3).startsWith(QLatin1String("warm, ")), s3.c_str());
    QVERIFY(!s1.empty() && !s2.empty());
}

void tst_Analysis::analysisStartsNoThreads()
{
    TPImage image;
    fillImage(randomPicture(2400, 1600, 9), image);
    const int before = threadCount();
    std::string text, s1, s2, s3;
    QVERIFY(getCMHistogram(image, text));
    QVERIFY(getColorTheme(image, s1, s2, s3));
    const QImage chart = getHistogram(image, 512, 256);
    QCOMPARE(chart.size(), QSize(512, 256));
    QCOMPARE(threadCount(), before);
}

FX_REGISTER_TEST(tst_Analysis)
#include "tst_analysis.moc"
