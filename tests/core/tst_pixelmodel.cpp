// TPImage's conversions between 8-bit BGRA or 16-bit RGB planes and its luma / half-resolution
// colour planes, against references written here from the pixel model.
#include "kerneltestsupport.h"
#include "testdata.h"
#include "testregistry.h"
#include "tpimage.h"

#include <QImage>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using KernelTest::DebugCounter;

namespace {

// ProPhoto luminance weights in 1/65536 steps.
const std::int64_t kR = 18877, kG = 46653, kB = 6;

struct Bgra {
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
    std::vector<unsigned char> bytes;

    Bgra(int w, int h, int padding = 0)
        : width(w)
        , height(h)
        , bytesPerLine(4 * w + padding)
        , bytes(std::size_t(bytesPerLine) * h, 0)
    {
    }
    unsigned char *px(int x, int y) { return bytes.data() + std::size_t(y) * bytesPerLine + 4 * x; }
    const unsigned char *px(int x, int y) const { return bytes.data() + std::size_t(y) * bytesPerLine + 4 * x; }
    void set(int x, int y, int r, int g, int b, int a = 255)
    {
        unsigned char *p = px(x, y);
        p[0] = static_cast<unsigned char>(b);
        p[1] = static_cast<unsigned char>(g);
        p[2] = static_cast<unsigned char>(r);
        p[3] = static_cast<unsigned char>(a);
    }
};

Bgra randomBgra(int w, int h, unsigned seed, bool randomAlpha)
{
    Bgra img(w, h, 12);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> v(0, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.set(x, y, v(rng), v(rng), v(rng), randomAlpha ? v(rng) : 255);
    return img;
}

Bgra fromQImage(const QImage &source)
{
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    Bgra img(argb.width(), argb.height());
    for (int y = 0; y < argb.height(); ++y)
        std::copy_n(argb.constScanLine(y), 4 * argb.width(), img.px(0, y));
    return img;
}

std::int64_t lumaOf(std::int64_t r, std::int64_t g, std::int64_t b) { return (kR * r + kG * g + kB * b + 32768) >> 16; }

// The planes the model defines: luma of the 16-bit values, colour differences halved and
// averaged over each block's existing pixels, alpha x257 averaged; averages rounded half up.
struct Planes {
    cv::Mat lum, c1, c2, p4;
};

Planes referenceEncode(const Bgra &img)
{
    const int hw = (img.width + 1) / 2, hh = (img.height + 1) / 2;
    Planes p { cv::Mat(img.height, img.width, CV_16UC1), cv::Mat(hh, hw, CV_16UC1), cv::Mat(hh, hw, CV_16UC1),
        cv::Mat(hh, hw, CV_16UC1) };
    for (int by = 0; by < hh; ++by) {
        for (int bx = 0; bx < hw; ++bx) {
            double sumB = 0, sumR = 0, sumA = 0;
            int n = 0;
            for (int y = 2 * by; y < std::min(2 * by + 2, img.height); ++y) {
                for (int x = 2 * bx; x < std::min(2 * bx + 2, img.width); ++x) {
                    const unsigned char *q = img.px(x, y);
                    const std::int64_t b = 257 * q[0], g = 257 * q[1], r = 257 * q[2];
                    const std::int64_t l = lumaOf(r, g, b);
                    p.lum.at<unsigned short>(y, x) = static_cast<unsigned short>(l);
                    sumB += double(b - l);
                    sumR += double(r - l);
                    sumA += 257.0 * q[3];
                    ++n;
                }
            }
            p.c1.at<unsigned short>(by, bx) = static_cast<unsigned short>(32768 + std::floor(sumB / (2 * n) + 0.5));
            p.c2.at<unsigned short>(by, bx) = static_cast<unsigned short>(32768 + std::floor(sumR / (2 * n) + 0.5));
            p.p4.at<unsigned short>(by, bx) = static_cast<unsigned short>(std::floor(sumA / n + 0.5));
        }
    }
    return p;
}

int clamp16(double v) { return int(std::min(std::max(v, 0.0), 65535.0)); }
int to8(int v16) { return (v16 * 255 + 32767) / 65535; }

// Decoding of one pixel from its luma and full-resolution colour planes' values (16-bit
// units, unrounded), as the model states it; 16-bit R, G, B.
void referenceDecode(double lum, double c1, double c2, int rgb[3])
{
    const int b = clamp16(std::floor(lum + 2 * (c1 - 32768) + 0.5));
    const int r = clamp16(std::floor(lum + 2 * (c2 - 32768) + 0.5));
    const double g = (lum * 65536 - double(kR) * r - double(kB) * b) / double(kG);
    rgb[0] = r;
    rgb[1] = clamp16(std::floor(g + 0.5));
    rgb[2] = b;
}

// Plain centre-aligned bilinear enlargement of the colour planes: the baseline the guided
// rebuild has to beat.
Bgra bilinearDecode(const TPImage &image)
{
    Bgra out(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            int rgb[3];
            referenceDecode(image.m_lum.at<unsigned short>(y, x), KernelTest::centredBilinear(image.m_c1, y, x),
                KernelTest::centredBilinear(image.m_c2, y, x), rgb);
            out.set(x, y, to8(rgb[0]), to8(rgb[1]), to8(rgb[2]));
        }
    }
    return out;
}

double psnrRgb(const Bgra &a, const Bgra &b)
{
    double sum = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(a.px(x, y)[c]) - b.px(x, y)[c];
                sum += d * d;
            }
    const double mse = sum / (3.0 * a.width * a.height);
    return mse == 0 ? 100.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

int maxChannelDiff(const Bgra &a, const Bgra &b, int channels = 4)
{
    int worst = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (int c = 0; c < channels; ++c)
                worst = std::max(worst, std::abs(int(a.px(x, y)[c]) - int(b.px(x, y)[c])));
    return worst;
}

Bgra roundTrip(const Bgra &img)
{
    TPImage image;
    Bgra out(img.width, img.height);
    if (!image.convertFrom(img.bytes.data(), img.width, img.height, img.bytesPerLine)
        || !image.convertTo(out.bytes.data(), out.bytesPerLine))
        return Bgra(0, 0);
    return out;
}

const KernelTest::PlaneSize sizes[] = { { "1x1", 1, 1 }, { "1x7", 1, 7 }, { "7x1", 7, 1 }, { "2x2", 2, 2 },
    { "3x5", 3, 5 }, { "4x6", 4, 6 }, { "17x33", 17, 33 }, { "48x64", 48, 64 }, { "31x130", 31, 130 } };

void addSizeRows()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    for (const auto &s : sizes)
        QTest::newRow(s.name) << s.cols << s.rows;
}

// Planes 16-bit R, G, B of one size with a stride, as the pRGB conversions take them.
struct Rgb16 {
    int width, height, stride;
    std::vector<unsigned short> r, g, b;
    Rgb16(int w, int h, int padding = 0)
        : width(w)
        , height(h)
        , stride(w + padding)
        , r(std::size_t(stride) * h, 7)
        , g(r)
        , b(r)
    {
    }
    std::vector<unsigned short *> planes() { return { r.data(), g.data(), b.data() }; }
    std::size_t at(int x, int y) const { return std::size_t(y) * stride + x; }
};
}

class tst_PixelModel : public QObject {
    Q_OBJECT

private slots:
    void convertFrom_planesMatchReference_data() { addSizeRows(); }
    void convertFrom_planesMatchReference();
    void convertFrom_mapsEightBitsByTimes257_data();
    void convertFrom_mapsEightBitsByTimes257();
    void convertFrom_keepsRegionAndStamp();
    void convertFromRows_bandsMatchWholeImage_data();
    void convertFromRows_bandsMatchWholeImage();

    void convertTo_decodesUniformColourExactly_data();
    void convertTo_decodesUniformColourExactly();
    void convertTo_roundsSixteenToEightBits();
    void convertTo_greyStaysExactlyNeutral_data();
    void convertTo_greyStaysExactlyNeutral();
    void convertTo_blockConstantColourComesBack_data();
    void convertTo_blockConstantColourComesBack();
    void convertTo_photoBeatsBilinear_data();
    void convertTo_photoBeatsBilinear();
    void convertTo_alphaFromFourthPlane();
    void convertTo_writesOnlyItsPixels();
    void convertToRows_bandsMatchWholeImage_data();
    void convertToRows_bandsMatchWholeImage();

    void pRGB_planesMatchReference_data() { addSizeRows(); }
    void pRGB_planesMatchReference();
    void pRGB_blockConstantRoundTrip_data() { addSizeRows(); }
    void pRGB_blockConstantRoundTrip();
    void pRGB_greyStaysExactlyNeutral();

    void badArgumentsFailWithADiagnostic_data();
    void badArgumentsFailWithADiagnostic();
};

void tst_PixelModel::convertFrom_planesMatchReference()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const Bgra img = randomBgra(width, height, unsigned(width * 131 + height), true);
    const Planes ref = referenceEncode(img);
    TPImage image;
    QVERIFY(image.convertFrom(img.bytes.data(), width, height, img.bytesPerLine));
    QCOMPARE(image.width(), width);
    QCOMPARE(image.height(), height);
    QVERIFY(image.m_half.empty());
    for (const cv::Mat *m : { &image.m_c1, &image.m_c2, &image.m_p4 }) {
        QCOMPARE(m->type(), CV_16UC1);
        QCOMPARE(m->cols, (width + 1) / 2);
        QCOMPARE(m->rows, (height + 1) / 2);
    }
    QCOMPARE(KernelTest::maxAbsDiff(image.m_lum, ref.lum), 0);
    QCOMPARE(KernelTest::maxAbsDiff(image.m_c1, ref.c1), 0);
    QCOMPARE(KernelTest::maxAbsDiff(image.m_c2, ref.c2), 0);
    QCOMPARE(KernelTest::maxAbsDiff(image.m_p4, ref.p4), 0);
}

void tst_PixelModel::convertFrom_mapsEightBitsByTimes257_data()
{
    QTest::addColumn<int>("value");
    for (int v : { 0, 1, 127, 128, 254, 255 })
        QTest::newRow(qPrintable(QString::number(v))) << v;
}

// A grey keeps its value as luma (the weights add up to one), colour planes sit at neutral,
// and alpha maps like the colour channels.
void tst_PixelModel::convertFrom_mapsEightBitsByTimes257()
{
    QFETCH(int, value);
    Bgra img(3, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            img.set(x, y, value, value, value, value);
    TPImage image;
    QVERIFY(image.convertFrom(img.bytes.data(), 3, 3, img.bytesPerLine));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            QCOMPARE(int(image.m_lum.at<unsigned short>(y, x)), 257 * value);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            QCOMPARE(int(image.m_c1.at<unsigned short>(y, x)), 32768);
            QCOMPARE(int(image.m_c2.at<unsigned short>(y, x)), 32768);
            QCOMPARE(int(image.m_p4.at<unsigned short>(y, x)), 257 * value);
        }
    }
}

void tst_PixelModel::convertFrom_keepsRegionAndStamp()
{
    TPImage image(10, 10);
    image.m_x = 12;
    image.m_y = 34;
    image.m_dec = 4;
    image.create(10, 10, true);
    const std::uint64_t id = image.uid()->id();
    const Bgra img = randomBgra(9, 5, 3, false);
    QVERIFY(image.convertFrom(img.bytes.data(), 9, 5, img.bytesPerLine));
    QCOMPARE(image.m_x, 12);
    QCOMPARE(image.m_y, 34);
    QCOMPARE(image.m_dec, 4);
    QCOMPARE(image.uid()->id(), id);
    QVERIFY(!image.bHasHalf());
    QCOMPARE(image.width(), 9);
}

void tst_PixelModel::convertFromRows_bandsMatchWholeImage_data()
{
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("height");
    QTest::newRow("band 2, even height") << 2 << 40;
    QTest::newRow("band 6, odd last band") << 6 << 41;
    QTest::newRow("band 20, odd height") << 20 << 37;
    QTest::newRow("band 64, one band") << 64 << 33;
}

void tst_PixelModel::convertFromRows_bandsMatchWholeImage()
{
    QFETCH(int, band);
    QFETCH(int, height);
    const Bgra img = randomBgra(29, height, 11, true);
    TPImage whole, banded;
    QVERIFY(whole.convertFrom(img.bytes.data(), img.width, height, img.bytesPerLine));
    QVERIFY(banded.create(img.width, height, false));
    for (int y0 = 0; y0 < height; y0 += band)
        QVERIFY(banded.convertFromRows(img.px(0, y0), img.bytesPerLine, y0, std::min(band, height - y0)));
    QVERIFY(KernelTest::bIdentical(whole.m_lum, banded.m_lum));
    QVERIFY(KernelTest::bIdentical(whole.m_c1, banded.m_c1));
    QVERIFY(KernelTest::bIdentical(whole.m_c2, banded.m_c2));
    QVERIFY(KernelTest::bIdentical(whole.m_p4, banded.m_p4));
}

void tst_PixelModel::convertTo_decodesUniformColourExactly_data()
{
    QTest::addColumn<int>("c1");
    QTest::addColumn<int>("c2");
    QTest::newRow("neutral") << 32768 << 32768;
    QTest::newRow("warm") << 30000 << 36000;
    QTest::newRow("cool") << 37000 << 31000;
    QTest::newRow("extreme blue, clamps") << 65535 << 0;
    QTest::newRow("extreme red, clamps") << 0 << 65535;
}

// With the same colour in every block nothing varies to be rebuilt: each pixel is decoded
// from its own luma and that colour, exactly as the model states, clamping included.
void tst_PixelModel::convertTo_decodesUniformColourExactly()
{
    QFETCH(int, c1);
    QFETCH(int, c2);
    const int w = 37, h = 23;
    TPImage image(w, h);
    cv::Mat lum = KernelTest::randomPlane(h, w, CV_16UC1, 5);
    lum.copyTo(image.m_lum);
    image.m_c1.setTo(c1);
    image.m_c2.setTo(c2);
    image.m_p4.setTo(65535);
    Bgra out(w, h);
    Rgb16 planes(w, h);
    QVERIFY(image.convertTo(out.bytes.data(), out.bytesPerLine));
    QVERIFY(image.convertTopRGB(planes.planes().data(), planes.stride));
    int worst8 = 0, worst16 = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int rgb[3];
            referenceDecode(lum.at<unsigned short>(y, x), c1, c2, rgb);
            const unsigned char *p = out.px(x, y);
            worst8 = std::max(
                { worst8, std::abs(p[2] - to8(rgb[0])), std::abs(p[1] - to8(rgb[1])), std::abs(p[0] - to8(rgb[2])) });
            const std::size_t i = planes.at(x, y);
            worst16 = std::max({ worst16, std::abs(planes.r[i] - rgb[0]), std::abs(planes.g[i] - rgb[1]),
                std::abs(planes.b[i] - rgb[2]) });
            QCOMPARE(int(p[3]), 255);
        }
    }
    // Float arithmetic may land on the other side of a rounding threshold, nothing more.
    QVERIFY2(worst8 <= 1, qPrintable(QString::number(worst8)));
    QVERIFY2(worst16 <= 1, qPrintable(QString::number(worst16)));
}

// Every 16-bit grey once: the 8-bit result is (v * 255 + 32767) / 65535 exactly.
void tst_PixelModel::convertTo_roundsSixteenToEightBits()
{
    TPImage image(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            image.m_lum.at<unsigned short>(y, x) = static_cast<unsigned short>(256 * y + x);
    image.m_c1.setTo(32768);
    image.m_c2.setTo(32768);
    image.m_p4.setTo(65535);
    Bgra out(256, 256);
    QVERIFY(image.convertTo(out.bytes.data(), out.bytesPerLine));
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const int expected = to8(256 * y + x);
            const unsigned char *p = out.px(x, y);
            if (p[0] != expected || p[1] != expected || p[2] != expected)
                QFAIL(qPrintable(QString("value %1 gave %2 %3 %4").arg(256 * y + x).arg(p[2]).arg(p[1]).arg(p[0])));
        }
    }
}

void tst_PixelModel::convertTo_greyStaysExactlyNeutral_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("pattern");
    for (const auto &s : sizes) {
        QTest::newRow(qPrintable(QString("random greys %1").arg(s.name))) << s.cols << s.rows << 0;
        QTest::newRow(qPrintable(QString("diagonal gradient %1").arg(s.name))) << s.cols << s.rows << 1;
    }
    QTest::newRow("horizontal gradient 256x3") << 256 << 3 << 2;
    QTest::newRow("grey checkerboard 33x17") << 33 << 17 << 3;
}

void tst_PixelModel::convertTo_greyStaysExactlyNeutral()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, pattern);
    Bgra img(width, height);
    std::mt19937 rng(9);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = int(rng() % 256);
            if (pattern == 1)
                v = (x * 7 + y * 5) % 256;
            else if (pattern == 2)
                v = x % 256;
            else if (pattern == 3)
                v = (x + y) % 2 ? 20 : 235;
            img.set(x, y, v, v, v);
        }
    }
    const Bgra out = roundTrip(img);
    QCOMPARE(out.width, width);
    QCOMPARE(maxChannelDiff(out, img), 0);
}

void tst_PixelModel::convertTo_blockConstantColourComesBack_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("isoluminant");
    for (const auto &s : sizes) {
        QTest::newRow(qPrintable(QString("random colours %1").arg(s.name))) << s.cols << s.rows << false;
        QTest::newRow(qPrintable(QString("isoluminant %1").arg(s.name))) << s.cols << s.rows << true;
    }
}

// One colour per 2x2 block: the colour planes hold it exactly, so it has to come back; also
// when neighbouring blocks have (nearly) the same luma and luma cannot tell them apart.
void tst_PixelModel::convertTo_blockConstantColourComesBack()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, isoluminant);
    Bgra img(width, height);
    std::mt19937 rng(unsigned(width + 1000 * height));
    std::uniform_int_distribution<int> v(0, 255);
    for (int by = 0; by < (height + 1) / 2; ++by) {
        for (int bx = 0; bx < (width + 1) / 2; ++bx) {
            int r = v(rng), b = v(rng), g = v(rng);
            if (isoluminant) {
                // Green chosen so that luma is close to mid-grey whatever red and blue are.
                const double target = 120 * 65536.0;
                g = int(std::lround(std::clamp((target - kR * r - kB * b) / double(kG), 0.0, 255.0)));
            }
            for (int y = 2 * by; y < std::min(2 * by + 2, height); ++y)
                for (int x = 2 * bx; x < std::min(2 * bx + 2, width); ++x)
                    img.set(x, y, r, g, b);
        }
    }
    const Bgra out = roundTrip(img);
    QCOMPARE(out.width, width);
    QVERIFY2(maxChannelDiff(out, img) <= 1, qPrintable(QString::number(maxChannelDiff(out, img))));
}

void tst_PixelModel::convertTo_photoBeatsBilinear_data()
{
    QTest::addColumn<QString>("photo");
    QTest::addColumn<double>("required");
    // What plain bilinear enlargement of the colour planes reaches on these photos, plus the
    // one decibel the guided rebuild is meant to add.
    QTest::newRow("coffee") << "coffee.png" << 40.0;
    QTest::newRow("astronaut") << "astronaut.png" << 40.5;
    QTest::newRow("chelsea") << "chelsea.png" << 46.0;
    QTest::newRow("rocket") << "rocket.jpg" << 35.0;
}

void tst_PixelModel::convertTo_photoBeatsBilinear()
{
    QFETCH(QString, photo);
    QFETCH(double, required);
    const QImage source(sharedDataPath("photos/" + photo));
    QVERIFY(!source.isNull());
    const Bgra img = fromQImage(source);
    TPImage image;
    QVERIFY(image.convertFrom(img.bytes.data(), img.width, img.height, img.bytesPerLine));
    Bgra out(img.width, img.height);
    QVERIFY(image.convertTo(out.bytes.data(), out.bytesPerLine));
    const double ours = psnrRgb(out, img);
    const double bilinear = psnrRgb(bilinearDecode(image), img);
    if (qEnvironmentVariableIsSet("FX_TEST_VERBOSE"))
        qInfo("%s: guided %.2f dB, bilinear %.2f dB", qPrintable(photo), ours, bilinear);
    QVERIFY2(ours >= required, qPrintable(QString("%1 dB").arg(ours)));
    QVERIFY2(ours >= bilinear + 1.0, qPrintable(QString("%1 dB against %2 dB").arg(ours).arg(bilinear)));
}

// Alpha is the fourth plane enlarged bilinearly, or opaque when there is no fourth plane.
void tst_PixelModel::convertTo_alphaFromFourthPlane()
{
    const int w = 21, h = 14;
    const Bgra img = randomBgra(w, h, 21, true);
    TPImage image;
    QVERIFY(image.convertFrom(img.bytes.data(), w, h, img.bytesPerLine));
    Bgra out(w, h);
    QVERIFY(image.convertTo(out.bytes.data(), out.bytesPerLine));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double expected = KernelTest::centredBilinear(image.m_p4, y, x) / 257.0;
            QVERIFY(std::abs(out.px(x, y)[3] - expected) <= 0.5 + 1e-3);
        }
    }
    image.m_p4.release();
    QVERIFY(image.convertTo(out.bytes.data(), out.bytesPerLine));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            QCOMPARE(int(out.px(x, y)[3]), 255);
}

// Padding after each row and rows outside a band stay untouched.
void tst_PixelModel::convertTo_writesOnlyItsPixels()
{
    const int w = 13, h = 10;
    const Bgra img = randomBgra(w, h, 4, false);
    TPImage image;
    QVERIFY(image.convertFrom(img.bytes.data(), w, h, img.bytesPerLine));
    Bgra out(w, h, 8);
    std::fill(out.bytes.begin(), out.bytes.end(), 0xAB);
    QVERIFY(image.convertToRows(out.px(0, 4), out.bytesPerLine, 4, 4));
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < out.bytesPerLine; ++i) {
            const bool inside = y >= 4 && y < 8 && i < 4 * w;
            if (!inside)
                QCOMPARE(int(out.bytes[std::size_t(y) * out.bytesPerLine + i]), 0xAB);
        }
    }
    Rgb16 planes(w, h, 3);
    QVERIFY(image.convertTopRGB(planes.planes().data(), planes.stride));
    for (int y = 0; y < h; ++y)
        for (int x = w; x < planes.stride; ++x)
            QCOMPARE(int(planes.g[planes.at(x, y)]), 7);
}

void tst_PixelModel::convertToRows_bandsMatchWholeImage_data()
{
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("height");
    QTest::newRow("band 2") << 2 << 30;
    QTest::newRow("band 4, odd last band") << 4 << 31;
    QTest::newRow("band 20") << 20 << 67;
    QTest::newRow("band 64, one band") << 64 << 45;
}

// The rebuild looks a few blocks up and down; a band must see the same neighbourhood as the
// whole image does.
void tst_PixelModel::convertToRows_bandsMatchWholeImage()
{
    QFETCH(int, band);
    QFETCH(int, height);
    const QImage photo = QImage(sharedDataPath("photos/chelsea.png")).copy(100, 100, 53, height);
    const Bgra img = fromQImage(photo);
    TPImage image;
    QVERIFY(image.convertFrom(img.bytes.data(), img.width, img.height, img.bytesPerLine));
    Bgra whole(img.width, height), banded(img.width, height);
    QVERIFY(image.convertTo(whole.bytes.data(), whole.bytesPerLine));
    for (int y0 = 0; y0 < height; y0 += band)
        QVERIFY(image.convertToRows(banded.px(0, y0), banded.bytesPerLine, y0, std::min(band, height - y0)));
    QVERIFY(whole.bytes == banded.bytes);
}

void tst_PixelModel::pRGB_planesMatchReference()
{
    QFETCH(int, width);
    QFETCH(int, height);
    Rgb16 in(width, height, 5);
    std::mt19937 rng(unsigned(width * 7 + height));
    for (std::size_t i = 0; i < in.r.size(); ++i) {
        in.r[i] = static_cast<unsigned short>(rng() % 65536);
        in.g[i] = static_cast<unsigned short>(rng() % 65536);
        in.b[i] = static_cast<unsigned short>(rng() % 65536);
    }
    TPImage image;
    QVERIFY(image.convertFrompRGB(in.planes().data(), width, height, in.stride));
    for (int by = 0; by < (height + 1) / 2; ++by) {
        for (int bx = 0; bx < (width + 1) / 2; ++bx) {
            double sumB = 0, sumR = 0;
            int n = 0;
            for (int y = 2 * by; y < std::min(2 * by + 2, height); ++y) {
                for (int x = 2 * bx; x < std::min(2 * bx + 2, width); ++x) {
                    const std::size_t i = in.at(x, y);
                    const std::int64_t l = lumaOf(in.r[i], in.g[i], in.b[i]);
                    QCOMPARE(std::int64_t(image.m_lum.at<unsigned short>(y, x)), l);
                    sumB += double(in.b[i] - l);
                    sumR += double(in.r[i] - l);
                    ++n;
                }
            }
            QCOMPARE(int(image.m_c1.at<unsigned short>(by, bx)), int(32768 + std::floor(sumB / (2 * n) + 0.5)));
            QCOMPARE(int(image.m_c2.at<unsigned short>(by, bx)), int(32768 + std::floor(sumR / (2 * n) + 0.5)));
            QCOMPARE(int(image.m_p4.at<unsigned short>(by, bx)), 65535);
        }
    }
}

void tst_PixelModel::pRGB_blockConstantRoundTrip()
{
    QFETCH(int, width);
    QFETCH(int, height);
    Rgb16 in(width, height, 2), out(width, height, 2);
    const int hw = (width + 1) / 2;
    std::mt19937 rng(unsigned(width + 77 * height));
    std::vector<unsigned short> colours(std::size_t(3) * hw * ((height + 1) / 2));
    for (auto &c : colours)
        c = static_cast<unsigned short>(rng() % 65536);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned short *c = &colours[3 * (std::size_t(y / 2) * hw + x / 2)];
            const std::size_t i = in.at(x, y);
            in.r[i] = c[0];
            in.g[i] = c[1];
            in.b[i] = c[2];
        }
    }
    TPImage image;
    QVERIFY(image.convertFrompRGB(in.planes().data(), width, height, in.stride));
    QVERIFY(image.convertTopRGB(out.planes().data(), out.stride));
    int worst = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = in.at(x, y);
            worst = std::max(
                { worst, std::abs(in.r[i] - out.r[i]), std::abs(in.g[i] - out.g[i]), std::abs(in.b[i] - out.b[i]) });
        }
    }
    QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
}

void tst_PixelModel::pRGB_greyStaysExactlyNeutral()
{
    const int w = 45, h = 31;
    Rgb16 in(w, h), out(w, h);
    std::mt19937 rng(12);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned short v = static_cast<unsigned short>(x < 20 ? rng() % 65536 : (x * 1111 + y * 333) % 65536);
            const std::size_t i = in.at(x, y);
            in.r[i] = in.g[i] = in.b[i] = v;
        }
    }
    TPImage image;
    QVERIFY(image.convertFrompRGB(in.planes().data(), w, h, in.stride));
    QVERIFY(image.convertTopRGB(out.planes().data(), out.stride));
    QVERIFY(out.r == in.r);
    QVERIFY(out.g == in.g);
    QVERIFY(out.b == in.b);
}

void tst_PixelModel::badArgumentsFailWithADiagnostic_data()
{
    QTest::addColumn<int>("call");
    QTest::newRow("convertFrom null buffer") << 0;
    QTest::newRow("convertFrom negative width") << 1;
    QTest::newRow("convertFrom zero height") << 2;
    QTest::newRow("convertFrom bytesPerLine too small") << 3;
    QTest::newRow("convertFromRows planes not created") << 4;
    QTest::newRow("convertFromRows odd first row") << 5;
    QTest::newRow("convertFromRows odd count before the bottom") << 6;
    QTest::newRow("convertFromRows past the bottom") << 7;
    QTest::newRow("convertTo empty image") << 8;
    QTest::newRow("convertTo null buffer") << 9;
    QTest::newRow("convertTo bytesPerLine too small") << 10;
    QTest::newRow("convertToRows negative count") << 11;
    QTest::newRow("convertTo colour plane of the wrong size") << 12;
    QTest::newRow("convertFrompRGB null plane") << 13;
    QTest::newRow("convertFrompRGB stride too small") << 14;
    QTest::newRow("convertTopRGB null planes") << 15;
    QTest::newRow("convertTopRGB stride too small") << 16;
}

void tst_PixelModel::badArgumentsFailWithADiagnostic()
{
    QFETCH(int, call);
    const Bgra img = randomBgra(6, 6, 1, false);
    const unsigned char *src = img.bytes.data();
    const int bpl = img.bytesPerLine;
    TPImage ready;
    QVERIFY(ready.convertFrom(src, 6, 6, bpl));
    TPImage empty;
    Bgra out(6, 6);
    Rgb16 planes(6, 6);
    std::vector<unsigned short *> p = planes.planes();
    DebugCounter debug;
    bool ok = true;
    switch (call) {
    case 0:
        ok = empty.convertFrom(nullptr, 6, 6, bpl);
        break;
    case 1:
        ok = empty.convertFrom(src, -6, 6, bpl);
        break;
    case 2:
        ok = empty.convertFrom(src, 6, 0, bpl);
        break;
    case 3:
        ok = empty.convertFrom(src, 6, 6, 4 * 6 - 1);
        break;
    case 4:
        ok = empty.convertFromRows(src, bpl, 0, 2);
        break;
    case 5:
        ok = ready.convertFromRows(src, bpl, 1, 2);
        break;
    case 6:
        ok = ready.convertFromRows(src, bpl, 0, 3);
        break;
    case 7:
        ok = ready.convertFromRows(src, bpl, 4, 4);
        break;
    case 8:
        ok = empty.convertTo(out.bytes.data(), out.bytesPerLine);
        break;
    case 9:
        ok = ready.convertTo(nullptr, out.bytesPerLine);
        break;
    case 10:
        ok = ready.convertTo(out.bytes.data(), 23);
        break;
    case 11:
        ok = ready.convertToRows(out.bytes.data(), out.bytesPerLine, 0, -2);
        break;
    case 12:
        ready.m_c1 = cv::Mat(2, 3, CV_16UC1, cv::Scalar(32768));
        ok = ready.convertTo(out.bytes.data(), out.bytesPerLine);
        break;
    case 13:
        p[1] = nullptr;
        ok = empty.convertFrompRGB(p.data(), 6, 6, planes.stride);
        break;
    case 14:
        ok = empty.convertFrompRGB(p.data(), 6, 6, 5);
        break;
    case 15:
        ok = ready.convertTopRGB(nullptr, planes.stride);
        break;
    case 16:
        ok = ready.convertTopRGB(p.data(), 5);
        break;
    }
    QVERIFY(!ok);
    QCOMPARE(debug.count(), 1);
}

FX_REGISTER_TEST(tst_PixelModel)
#include "tst_pixelmodel.moc"
