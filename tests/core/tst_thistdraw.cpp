// The histogram chart: its counts against a per-pixel reference conversion, and the drawing
// against a plain re-drawing from those counts.
#include "analysisreference.h"
#include "qximproca.h"
#include "testregistry.h"
#include "thistdraw.h"
#include "tpimage.h"

#include <QImage>
#include <QtTest>
#include <cmath>
#include <cstdint>
#include <vector>

namespace QTest {
template <> char *toString(const cv::Vec3b &p)
{
    return qstrdup(QStringLiteral("(%1, %2, %3)").arg(p[0]).arg(p[1]).arg(p[2]).toLatin1().constData());
}
}

namespace {

std::vector<std::string> g_trace;
void collectTrace(const char *text) { g_trace.emplace_back(text); }

QImage randomPicture(int width, int height, unsigned seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    unsigned state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            image.setPixel(x, y, qRgb(int(state >> 24), int((state >> 16) & 255), int((state >> 8) & 255)));
        }
    }
    return image;
}

QImage flatPicture(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Display-colour histograms of an engine image, one pixel at a time in double precision:
// each pixel's colour from its luma and its block's colour samples.
std::vector<std::vector<std::uint64_t>> referenceCounts(const TPImage &image)
{
    std::vector<std::vector<std::uint64_t>> counts(4, std::vector<std::uint64_t>(256, 0));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            double pro[3], srgb[3];
            AnalysisReference::planesToProPhoto(image.m_lum.at<unsigned short>(y, x),
                image.m_c1.at<unsigned short>(y / 2, x / 2), image.m_c2.at<unsigned short>(y / 2, x / 2), pro);
            AnalysisReference::proPhotoToSrgb(pro, srgb);
            int v[3];
            for (int c = 0; c < 3; ++c) {
                v[c] = int(std::lround(srgb[c] * 255.0));
                ++counts[std::size_t(c)][std::size_t(v[c])];
            }
            ++counts[3][std::size_t(std::lround(0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2]))];
        }
    }
    return counts;
}

bool bDark(const cv::Vec3b &p) { return p[0] < 60 && p[1] < 60 && p[2] < 60; }

}

class tst_THistDraw : public QObject {
    Q_OBJECT
private slots:
    void countsMatchReference_data();
    void countsMatchReference();
    void chartSize_data();
    void chartSize();
    void emptyOrBrokenImageGivesDarkChart();
    void drawingFollowsCounts_data();
    void drawingFollowsCounts();
    void flatColourFillsItsColumns();
    void endSpikesDoNotSetTheScale();
};

void tst_THistDraw::countsMatchReference_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::newRow("1x1 orange") << flatPicture(1, 1, QColor(230, 120, 30));
    QTest::newRow("1x1 black") << flatPicture(1, 1, Qt::black);
    QTest::newRow("1x1 white") << flatPicture(1, 1, Qt::white);
    QTest::newRow("2x2 mid grey") << flatPicture(2, 2, QColor(128, 128, 128));
    QTest::newRow("3x5 random, odd") << randomPicture(3, 5, 1);
    QTest::newRow("17x9 random, odd") << randomPicture(17, 9, 2);
    QTest::newRow("64x48 random") << randomPicture(64, 48, 3);
    QTest::newRow("1x33 column") << randomPicture(1, 33, 4);
}

void tst_THistDraw::countsMatchReference()
{
    QFETCH(QImage, picture);
    TPImage image;
    AnalysisReference::fillImage(picture, image);
    THistDraw draw;
    cv::Mat mat;
    QVERIFY(draw.getHistMat(mat, image));
    const auto reference = referenceCounts(image);
    const std::uint64_t pixels = std::uint64_t(picture.width()) * std::uint64_t(picture.height());
    for (int c = 0; c < 4; ++c) {
        // Every pixel within one level of the reference: then each cumulative count lies
        // between the reference's one bin lower and one bin higher.
        std::uint64_t cumulative = 0, below = 0, at = 0, above = reference[std::size_t(c)][0];
        for (int b = 0; b < 256; ++b) {
            cumulative += draw.count(c, b);
            at += reference[std::size_t(c)][std::size_t(b)];
            above += b < 255 ? reference[std::size_t(c)][std::size_t(b + 1)] : 0;
            QVERIFY2(cumulative >= below && cumulative <= above,
                qPrintable(QStringLiteral("channel %1 bin %2").arg(c).arg(b)));
            below = at;
        }
        QCOMPARE(cumulative, pixels);
    }
    QCOMPARE(draw.count(4, 0), std::uint64_t(0));
    QCOMPARE(draw.count(0, 256), std::uint64_t(0));
}

void tst_THistDraw::chartSize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("default") << -1 << -1 << QSize(256, 128);
    QTest::newRow("300x100") << 300 << 100 << QSize(300, 100);
    QTest::newRow("zero") << 0 << 0 << QSize(16, 16);
    QTest::newRow("negative width") << -5 << 40 << QSize(16, 40);
    QTest::newRow("huge") << 100000 << 5000 << QSize(4096, 4096);
    QTest::newRow("odd 17x4097") << 17 << 4097 << QSize(17, 4096);
}

void tst_THistDraw::chartSize()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QSize, expected);
    THistDraw draw;
    if (width != -1)
        draw.setHistSize(width, height);
    TPImage image;
    AnalysisReference::fillImage(randomPicture(9, 7, 5), image);
    cv::Mat mat;
    QVERIFY(draw.getHistMat(mat, image));
    QCOMPARE(mat.type(), CV_8UC3);
    QCOMPARE(QSize(mat.cols, mat.rows), expected);
    // A matrix of the right size is drawn into, not replaced.
    const uchar *data = mat.data;
    QVERIFY(draw.getHistMat(mat, image));
    QCOMPARE(mat.data, data);
}

void tst_THistDraw::emptyOrBrokenImageGivesDarkChart()
{
    THistDraw draw;
    cv::Mat mat;
    const TPImage empty;
    QVERIFY(!draw.getHistMat(mat, empty));
    QCOMPARE(QSize(mat.cols, mat.rows), QSize(256, 128));
    for (int y = 0; y < mat.rows; ++y)
        for (int x = 0; x < mat.cols; ++x)
            QVERIFY(bDark(mat.at<cv::Vec3b>(y, x)));

    TPImage broken(8, 8);
    broken.m_c1.create(3, 3, CV_16UC1);
    g_trace.clear();
    QXimproca::m_tDebug_p = collectTrace;
    const bool drawn = draw.getHistMat(mat, broken);
    QXimproca::m_tDebug_p = nullptr;
    QVERIFY(!drawn);
    QCOMPARE(int(g_trace.size()), 1);
    QVERIFY(bDark(mat.at<cv::Vec3b>(mat.rows - 1, 10)));
}

void tst_THistDraw::drawingFollowsCounts_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("one column per bin") << 256 << 100;
    QTest::newRow("two columns per bin") << 512 << 64;
    QTest::newRow("narrower than the bins") << 100 << 37;
    QTest::newRow("smallest") << 16 << 16;
}

void tst_THistDraw::drawingFollowsCounts()
{
    QFETCH(int, width);
    QFETCH(int, height);
    TPImage image;
    AnalysisReference::fillImage(randomPicture(40, 30, 6), image);
    THistDraw draw;
    draw.setHistSize(width, height);
    cv::Mat mat;
    QVERIFY(draw.getHistMat(mat, image));
    std::uint64_t peak = 0;
    for (int c = 0; c < 4; ++c)
        for (int b = 1; b < 255; ++b)
            peak = std::max(peak, draw.count(c, b));
    QVERIFY(peak > 0);
    for (int x = 0; x < width; ++x) {
        // The column shows the largest count among the bins it covers.
        int heights[4];
        for (int c = 0; c < 4; ++c) {
            std::uint64_t value = 0;
            const int first = x * 256 / width, last = std::max(first + 1, (x + 1) * 256 / width);
            for (int b = first; b < last; ++b)
                value = std::max(value, draw.count(c, b));
            heights[c] = int(std::min<double>(height, std::floor(double(value) * height / double(peak) + 0.5)));
        }
        const int outlineRow = heights[3] > 0 ? height - heights[3] : -1;
        for (int y = 0; y < height; ++y) {
            const cv::Vec3b p = mat.at<cv::Vec3b>(y, x);
            const int level = height - y;
            const cv::Vec3b expected(
                heights[2] >= level ? 205 : 0, heights[1] >= level ? 205 : 0, heights[0] >= level ? 205 : 0);
            if (y == outlineRow)
                QCOMPARE(p, cv::Vec3b(235, 235, 235));
            else if (p != cv::Vec3b(235, 235, 235)) // the outline's joins may cross any row
                QVERIFY2(expected == cv::Vec3b(0, 0, 0) ? bDark(p) : p == expected,
                    qPrintable(QStringLiteral("x %1 y %2").arg(x).arg(y)));
        }
    }
}

void tst_THistDraw::flatColourFillsItsColumns()
{
    // Two columns per bin: the luminance outline rises in the first column of a spike and
    // falls in the column after it, so the second column shows the fill.
    THistDraw draw;
    draw.setHistSize(512, 128);
    auto column = [](int bin) { return 2 * bin + 1; };
    // Grey: all three channels in one bin, drawn as their sum.
    TPImage image;
    AnalysisReference::fillImage(flatPicture(6, 4, QColor(128, 128, 128)), image);
    cv::Mat mat;
    QVERIFY(draw.getHistMat(mat, image));
    QCOMPARE(draw.count(0, 128), std::uint64_t(24));
    QCOMPARE(mat.at<cv::Vec3b>(127, column(128)), cv::Vec3b(205, 205, 205));
    QCOMPARE(mat.at<cv::Vec3b>(1, column(128)), cv::Vec3b(205, 205, 205));
    QCOMPARE(mat.at<cv::Vec3b>(0, column(128)), cv::Vec3b(235, 235, 235));
    QCOMPARE(mat.at<cv::Vec3b>(64, column(128) - 1), cv::Vec3b(235, 235, 235));
    QCOMPARE(mat.at<cv::Vec3b>(64, column(128) + 1), cv::Vec3b(235, 235, 235));
    QVERIFY(bDark(mat.at<cv::Vec3b>(127, column(100))));

    // A colour: each channel alone in its own bin.
    AnalysisReference::fillImage(flatPicture(6, 4, QColor(200, 100, 50)), image);
    QVERIFY(draw.getHistMat(mat, image));
    int bins[3] = { -1, -1, -1 };
    for (int c = 0; c < 3; ++c)
        for (int b = 0; b < 256; ++b)
            if (draw.count(c, b))
                bins[c] = b;
    QVERIFY(std::abs(bins[0] - 200) <= 1 && std::abs(bins[1] - 100) <= 1 && std::abs(bins[2] - 50) <= 1);
    QCOMPARE(mat.at<cv::Vec3b>(127, column(bins[0])), cv::Vec3b(0, 0, 205));
    QCOMPARE(mat.at<cv::Vec3b>(0, column(bins[1])), cv::Vec3b(0, 205, 0));
    QCOMPARE(mat.at<cv::Vec3b>(64, column(bins[2])), cv::Vec3b(205, 0, 0));

    // Two colours sharing the red channel's and the green channel's bins: yellow where
    // red and green overlap.
    QImage twoColours = flatPicture(8, 4, QColor(200, 60, 60));
    for (int y = 0; y < 4; ++y)
        for (int x = 4; x < 8; ++x)
            twoColours.setPixel(x, y, qRgb(60, 200, 60));
    AnalysisReference::fillImage(twoColours, image);
    QVERIFY(draw.getHistMat(mat, image));
    int overlaps = 0;
    for (int b = 1; b < 255; ++b) {
        if (draw.count(0, b) && draw.count(1, b) && !draw.count(2, b)) {
            QCOMPARE(mat.at<cv::Vec3b>(127, column(b)), cv::Vec3b(0, 205, 205));
            ++overlaps;
        }
    }
    QVERIFY(overlaps >= 1);
}

void tst_THistDraw::endSpikesDoNotSetTheScale()
{
    // Most pixels black: bin 0 towers over the rest, yet the tallest other bin fills the chart.
    QImage picture = flatPicture(64, 32, Qt::black);
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 4; ++y)
            picture.setPixel(x, y, qRgb(100 + x, 100 + x, 100 + x));
    TPImage image;
    AnalysisReference::fillImage(picture, image);
    THistDraw draw;
    cv::Mat mat;
    QVERIFY(draw.getHistMat(mat, image));
    QVERIFY(draw.count(0, 0) > 1000);
    bool fullColumn = false;
    for (int x = 1; x < 255; ++x)
        fullColumn |= mat.at<cv::Vec3b>(1, x) == cv::Vec3b(205, 205, 205);
    QVERIFY(fullColumn);
    QCOMPARE(mat.at<cv::Vec3b>(1, 0), cv::Vec3b(205, 205, 205));

    // Only black: then the ends set the scale.
    AnalysisReference::fillImage(flatPicture(5, 3, Qt::black), image);
    QVERIFY(draw.getHistMat(mat, image));
    QCOMPARE(mat.at<cv::Vec3b>(1, 0), cv::Vec3b(205, 205, 205));
    // Column 1 holds the outline's fall from column 0's top; beyond it the chart is empty.
    QCOMPARE(mat.at<cv::Vec3b>(64, 1), cv::Vec3b(235, 235, 235));
    QVERIFY(bDark(mat.at<cv::Vec3b>(127, 5)));
}

FX_REGISTER_TEST(tst_THistDraw)
#include "tst_thistdraw.moc"
