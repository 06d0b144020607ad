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

#include <QtTest>
#include <cmath>

class tst_Analysis : public QObject {
    Q_OBJECT
private slots:
    void histogramAndTheme_data();
    void histogramAndTheme();
    void chart_data();
    void chart();
};

// Pictures brought in through the colour management, as a host would. The histogram has one
// sample per colour-plane sample in each plane: plane 0 is the luminance halved by rounded
// 2x2 averages (over the samples that exist at odd edges), planes 1 and 2 are the colour
// planes as they are. Its text loads into the histogram parameter through the slot a host
// calls. An empty image gives an empty histogram and an empty theme.
void tst_Analysis::histogramAndTheme_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("photo");
    QTest::newRow("empty") << QSize(0, 0) << QString();
    QTest::newRow("1x1") << QSize(1, 1) << QString();
    QTest::newRow("7x5 odd") << QSize(7, 5) << QString();
    QTest::newRow("64x48") << QSize(64, 48) << QString();
    QTest::newRow("coffee through the colour management reads warm") << QSize() << "coffee.png";
}

void tst_Analysis::histogramAndTheme()
{
    QFETCH(QSize, size);
    QFETCH(QString, photo);
    if (!photo.isEmpty())
        FX_REQUIRE_SHARED_DATA("photos/" + photo);
    const QImage picture = photo.isEmpty() ? TSampleImage::generate(size.width(), size.height())
                                           : QImage(sharedDataPath("photos/" + photo));
    TPImage image(picture.width(), picture.height());
    TCMS().convert(picture, image);
    std::string text = "stale", s1 = "a", s2 = "b", s3 = "c";
    MHist hist;
    QVERIFY(getCMHistogram(image, text));
    QVERIFY2(hist.load(text), text.c_str());
    QCOMPARE(hist.total(), std::uint64_t(image.m_c1.total()));
    std::vector<std::uint64_t> bins(3 * 256);
    for (int y = 0; y < image.m_c1.rows; ++y) {
        for (int x = 0; x < image.m_c1.cols; ++x) {
            const int w = std::min(2, image.width() - 2 * x), h = std::min(2, image.height() - 2 * y);
            ++bins[int(std::lround(cv::mean(image.m_lum(cv::Rect(2 * x, 2 * y, w, h)))[0])) >> 8];
            ++bins[256 + (image.m_c1.at<quint16>(y, x) >> 8)];
            ++bins[512 + (image.m_c2.at<quint16>(y, x) >> 8)];
        }
    }
    for (int i = 0; i < 3 * 256; ++i)
        QVERIFY2(hist.count(i / 256, i % 256) == bins[i],
            qPrintable(QString("plane %1, bin %2: %3, expected %4")
                           .arg(i / 256)
                           .arg(i % 256)
                           .arg(hist.count(i / 256, i % 256))
                           .arg(bins[i])));
    TParamMHist param(nullptr, "hist", "Histogram", QString(), "mhist");
    bool ok = false;
    QVERIFY(QMetaObject::invokeMethod(&param, "setValue", Q_RETURN_ARG(bool, ok), Q_ARG(std::string, text)));
    QVERIFY(ok);
    QVERIFY(param.mhist() == hist);
    QVERIFY(getColorTheme(image, s1, s2, s3));
    QCOMPARE(s1.empty() && s2.empty() && s3.empty(), image.bEmpty());
    QVERIFY2(photo.isEmpty() || s3.rfind("warm, ", 0) == 0, s3.c_str());
}

// Pixel for pixel the chart THistDraw renders, at the size it clamps to, as opaque RGB32; the
// empty chart for an empty image.
void tst_Analysis::chart_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("rendered");
    QTest::newRow("odd 301x77") << QSize(90, 60) << QSize(301, 77) << QSize(301, 77);
    QTest::newRow("too small") << QSize(90, 60) << QSize(3, 2) << QSize(16, 16);
    QTest::newRow("too wide") << QSize(9, 6) << QSize(9000, 50) << QSize(4096, 50);
    QTest::newRow("empty image") << QSize(0, 0) << QSize(64, 32) << QSize(64, 32);
}

void tst_Analysis::chart()
{
    QFETCH(QSize, image);
    QFETCH(QSize, asked);
    QFETCH(QSize, rendered);
    TPImage picture(image.width(), image.height());
    TCMS().convert(TSampleImage::generate(image.width(), image.height()), picture);
    const QImage chart = getHistogram(picture, asked.width(), asked.height());
    QCOMPARE(chart.format(), QImage::Format_RGB32);
    QCOMPARE(chart.size(), rendered);
    THistDraw draw;
    draw.setHistSize(asked.width(), asked.height());
    cv::Mat bgr;
    draw.getHistMat(bgr, picture);
    const QImage drawn(bgr.data, bgr.cols, bgr.rows, int(bgr.step), QImage::Format_BGR888);
    QCOMPARE(chart, drawn.convertToFormat(QImage::Format_RGB32));
}

FX_REGISTER_TEST(tst_Analysis)
#include "tst_analysis.moc"
