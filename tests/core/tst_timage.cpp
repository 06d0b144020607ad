// The filter graph's image: plane shapes, the BGRA conversions against references written
// here from the model, update rectangles and the half-resolution 8-bit luma.
#include "kerneltestsupport.h"
#include "testdata.h"
#include "testregistry.h"
#include "timage.h"

#include <QImage>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

Q_DECLARE_METATYPE(TImage::IMTYPE)

namespace {

struct Pixels {
    int width, height, bytesPerLine;
    std::vector<unsigned char> bytes;
    Pixels(int w, int h, int padding = 0)
        : width(w)
        , height(h)
        , bytesPerLine(4 * w + padding)
        , bytes(std::size_t(bytesPerLine) * std::max(h, 0), 0)
    {
    }
    unsigned char *px(int x, int y) { return bytes.data() + std::size_t(y) * bytesPerLine + 4 * x; }
    const unsigned char *px(int x, int y) const { return bytes.data() + std::size_t(y) * bytesPerLine + 4 * x; }
};

Pixels randomPixels(int w, int h, unsigned seed)
{
    Pixels p(w, h, 8);
    std::mt19937 rng(seed);
    for (auto &b : p.bytes)
        b = static_cast<unsigned char>(rng() % 256);
    return p;
}

// Luma of the x257 values with the ProPhoto weights (1/65536 steps), rounded.
int referenceLuma(const unsigned char *bgra)
{
    const std::int64_t r = 257 * bgra[2], g = 257 * bgra[1], b = 257 * bgra[0];
    return int((18877 * r + 46653 * g + 6 * b + 32768) >> 16);
}

// Halved difference averaged over the block, rounded half away from zero; then to 8 bits
// around 128 in steps of 256, rounded the same way.
int roundAway(double v) { return v >= 0 ? int(std::floor(v + 0.5)) : -int(std::floor(-v + 0.5)); }

int referenceColour8(double sumOfDifferences, int count)
{
    const int c16 = roundAway(sumOfDifferences / (2.0 * count));
    return std::clamp(128 + roundAway(c16 / 256.0), 0, 255);
}

const KernelTest::PlaneSize sizes[]
    = { { "1x1", 1, 1 }, { "1x6", 1, 6 }, { "5x1", 5, 1 }, { "3x5", 3, 5 }, { "8x8", 8, 8 }, { "17x30", 17, 30 } };
}

class tst_TImage : public QObject {
    Q_OBJECT

private slots:
    void planesHaveTheirType_data();
    void planesHaveTheirType();
    void resizeToZeroFreesAndSameSizeKeeps();
    void updateRectChangesOnEveryWrite();

    void bgra8uToTImage_matchesReference_data();
    void bgra8uToTImage_matchesReference();
    void roundTrip_greyStaysNeutral_data();
    void roundTrip_greyStaysNeutral();
    void roundTrip_uniformColour_data();
    void roundTrip_uniformColour();
    void roundTrip_photo();
    void timageToBgra8u_alphaFromMask();

    void halfY8U_matchesReference_data();
    void halfY8U_matchesReference();

    void badArgumentsFail();
};

void tst_TImage::planesHaveTheirType_data()
{
    QTest::addColumn<TImage::IMTYPE>("type");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("elementBytes");
    const std::pair<const char *, TImage::IMTYPE> types[] = { { "Y", TImage::Y }, { "C", TImage::C },
        { "M", TImage::M }, { "RGBA8U", TImage::RGBA8U }, { "RGBA16U", TImage::RGBA16U } };
    const int bytes[] = { 2, 1, 1, 4, 8 };
    for (int t = 0; t < 5; ++t)
        for (const auto &s : sizes)
            QTest::newRow(qPrintable(QString("%1 %2").arg(types[t].first, s.name)))
                << types[t].second << s.cols << s.rows << bytes[t];
}

void tst_TImage::planesHaveTheirType()
{
    QFETCH(TImage::IMTYPE, type);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, elementBytes);
    TImage image(type, TSize(width, height));
    QCOMPARE(image.type(), type);
    QCOMPARE(image.size(), TSize(width, height));
    QVERIFY(!image.bEmpty());
    QVERIFY(image.plane1());
    QCOMPARE(image.mat1().cols, width);
    QCOMPARE(image.mat1().rows, height);
    QCOMPARE(int(image.mat1().elemSize()), elementBytes);
    QVERIFY(image.step() >= width * elementBytes);
    QCOMPARE(image.plane2() != nullptr, type == TImage::C);
    if (type == TImage::C) {
        QCOMPARE(image.mat2().size(), image.mat1().size());
        QCOMPARE(int(image.mat2().step[0]), image.step());
    }
}

void tst_TImage::resizeToZeroFreesAndSameSizeKeeps()
{
    TImage image(TImage::C, TSize(9, 5));
    const unsigned char *before = image.plane1();
    QVERIFY(image.resize(TSize(9, 5)));
    QCOMPARE(image.plane1(), before);
    QVERIFY(image.resize(TSize(0, 0)));
    QVERIFY(image.bEmpty());
    QVERIFY(!image.plane1());
    QVERIFY(!image.plane2());
    QCOMPARE(image.size(), TSize());
    QVERIFY(image.mat1().empty());
    QVERIFY(image.resize(TSize(-3, 4)));
    QCOMPARE(image.size(), TSize());
    QVERIFY(image.resize(TSize(4, 3)));
    QCOMPARE(image.size(), TSize(4, 3));
    QVERIFY(image.plane2());
}

void tst_TImage::updateRectChangesOnEveryWrite()
{
    TImage image(TImage::Y, TSize(6, 4));
    const TUpdateRect initial = image.updateRect();
    image.markWritten(1, 2, 3, 1);
    const TUpdateRect first = image.updateRect();
    QCOMPARE(first.x(), 1);
    QCOMPARE(first.y(), 2);
    QCOMPARE(first.width(), 3);
    QCOMPARE(first.height(), 1);
    QVERIFY(first != initial);
    image.markWritten(1, 2, 3, 1);
    QVERIFY(image.updateRect() != first);

    const Pixels px = randomPixels(6, 4, 1);
    const TUpdateRect beforeConversion = image.updateRect();
    QVERIFY(TImage::bgra8uToTImage(px.bytes.data(), px.bytesPerLine, 6, 4, &image, nullptr, nullptr));
    QVERIFY(image.updateRect() != beforeConversion);
    QCOMPARE(image.updateRect().width(), 6);
    QCOMPARE(image.updateRect().height(), 4);
    const TUpdateRect once = image.updateRect();
    QVERIFY(TImage::bgra8uToTImage(px.bytes.data(), px.bytesPerLine, 6, 4, &image, nullptr, nullptr));
    QVERIFY(image.updateRect() != once);
}

void tst_TImage::bgra8uToTImage_matchesReference_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    for (const auto &s : sizes)
        QTest::newRow(s.name) << s.cols << s.rows;
}

void tst_TImage::bgra8uToTImage_matchesReference()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const Pixels px = randomPixels(width, height, unsigned(width * 100 + height));
    TImage y(TImage::Y), c(TImage::C), m(TImage::M);
    QVERIFY(TImage::bgra8uToTImage(px.bytes.data(), px.bytesPerLine, width, height, &y, &c, &m));
    QCOMPARE(y.size(), TSize(width, height));
    QCOMPARE(m.size(), TSize(width, height));
    QCOMPARE(c.size(), TSize((width + 1) / 2, (height + 1) / 2));
    for (int yy = 0; yy < height; ++yy) {
        for (int x = 0; x < width; ++x) {
            QCOMPARE(int(y.mat1().at<unsigned short>(yy, x)), referenceLuma(px.px(x, yy)));
            QCOMPARE(int(m.mat1().at<unsigned char>(yy, x)), int(px.px(x, yy)[3]));
        }
    }
    for (int by = 0; by < c.height(); ++by) {
        for (int bx = 0; bx < c.width(); ++bx) {
            double sumB = 0, sumR = 0;
            int n = 0;
            for (int yy = 2 * by; yy < std::min(2 * by + 2, height); ++yy) {
                for (int x = 2 * bx; x < std::min(2 * bx + 2, width); ++x) {
                    const unsigned char *p = px.px(x, yy);
                    sumB += 257.0 * p[0] - referenceLuma(p);
                    sumR += 257.0 * p[2] - referenceLuma(p);
                    ++n;
                }
            }
            QCOMPARE(int(c.mat1().at<unsigned char>(by, bx)), referenceColour8(sumB, n));
            QCOMPARE(int(c.mat2().at<unsigned char>(by, bx)), referenceColour8(sumR, n));
        }
    }
}

void tst_TImage::roundTrip_greyStaysNeutral_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("gradient");
    for (const auto &s : sizes) {
        QTest::newRow(qPrintable(QString("random greys %1").arg(s.name))) << s.cols << s.rows << false;
        QTest::newRow(qPrintable(QString("gradient %1").arg(s.name))) << s.cols << s.rows << true;
    }
}

void tst_TImage::roundTrip_greyStaysNeutral()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, gradient);
    Pixels px(width, height);
    std::mt19937 rng(3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int v = gradient ? (x * 37 + y * 11) % 256 : int(rng() % 256);
            unsigned char *p = px.px(x, y);
            p[0] = p[1] = p[2] = static_cast<unsigned char>(v);
            p[3] = 255;
        }
    }
    TImage y(TImage::Y), c(TImage::C);
    QVERIFY(TImage::bgra8uToTImage(px.bytes.data(), px.bytesPerLine, width, height, &y, &c, nullptr));
    Pixels out(width, height);
    QVERIFY(TImage::timageToBgra8u(&y, &c, nullptr, out.bytes.data(), out.bytesPerLine));
    QVERIFY(out.bytes == px.bytes);
}

void tst_TImage::roundTrip_uniformColour_data()
{
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("tolerance");
    QTest::newRow("white") << 255 << 255 << 255 << 0;
    QTest::newRow("saturated red") << 255 << 0 << 0 << 1;
    // Blue minus luma reaches 65529, past what 8-bit colour differences hold (127 * 512).
    QTest::newRow("saturated blue, clipped") << 0 << 0 << 255 << 2;
    QTest::newRow("skin") << 224 << 172 << 105 << 1;
    QTest::newRow("sky") << 90 << 150 << 230 << 1;
}

// One colour everywhere: only the 8-bit colour differences limit the result (a step there is
// two 8-bit levels of red or blue, so rounding costs at most one).
void tst_TImage::roundTrip_uniformColour()
{
    QFETCH(int, r);
    QFETCH(int, g);
    QFETCH(int, b);
    QFETCH(int, tolerance);
    Pixels px(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            unsigned char *p = px.px(x, y);
            p[0] = static_cast<unsigned char>(b);
            p[1] = static_cast<unsigned char>(g);
            p[2] = static_cast<unsigned char>(r);
            p[3] = 255;
        }
    TImage y(TImage::Y), c(TImage::C);
    QVERIFY(TImage::bgra8uToTImage(px.bytes.data(), px.bytesPerLine, 7, 5, &y, &c, nullptr));
    Pixels out(7, 5);
    QVERIFY(TImage::timageToBgra8u(&y, &c, nullptr, out.bytes.data(), out.bytesPerLine));
    for (std::size_t i = 0; i < px.bytes.size(); ++i)
        QVERIFY2(std::abs(int(out.bytes[i]) - int(px.bytes[i])) <= tolerance, qPrintable(QString::number(i)));
}

// On a photo the half-resolution 8-bit colour costs detail, but not much.
void tst_TImage::roundTrip_photo()
{
    const QImage photo = QImage(sharedDataPath("photos/coffee.png")).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!photo.isNull());
    TImage y(TImage::Y), c(TImage::C), m(TImage::M);
    QVERIFY(TImage::bgra8uToTImage(photo.constBits(), photo.bytesPerLine(), photo.width(), photo.height(), &y, &c, &m));
    QImage out(photo.size(), QImage::Format_ARGB32);
    QVERIFY(TImage::timageToBgra8u(&y, &c, &m, out.bits(), out.bytesPerLine()));
    double sum = 0;
    for (int yy = 0; yy < photo.height(); ++yy)
        for (int x = 0; x < 4 * photo.width(); ++x) {
            const double d = double(photo.constScanLine(yy)[x]) - out.constScanLine(yy)[x];
            sum += d * d;
        }
    const double psnr = 10 * std::log10(255.0 * 255.0 * 4 * photo.width() * photo.height() / sum);
    QVERIFY2(psnr > 35.0, qPrintable(QString::number(psnr)));
}

void tst_TImage::timageToBgra8u_alphaFromMask()
{
    const Pixels px = randomPixels(5, 3, 8);
    TImage y(TImage::Y), m(TImage::M);
    QVERIFY(TImage::bgra8uToTImage(px.bytes.data(), px.bytesPerLine, 5, 3, &y, nullptr, &m));
    Pixels withMask(5, 3), without(5, 3);
    QVERIFY(TImage::timageToBgra8u(&y, nullptr, &m, withMask.bytes.data(), withMask.bytesPerLine));
    QVERIFY(TImage::timageToBgra8u(&y, nullptr, nullptr, without.bytes.data(), without.bytesPerLine));
    for (int yy = 0; yy < 3; ++yy) {
        for (int x = 0; x < 5; ++x) {
            QCOMPARE(int(withMask.px(x, yy)[3]), int(px.px(x, yy)[3]));
            QCOMPARE(int(without.px(x, yy)[3]), 255);
            // Without colour the result is the grey of the luma.
            const int grey = (referenceLuma(px.px(x, yy)) * 255 + 32767) / 65535;
            QCOMPARE(int(without.px(x, yy)[0]), grey);
            QCOMPARE(int(without.px(x, yy)[1]), grey);
            QCOMPARE(int(without.px(x, yy)[2]), grey);
        }
    }
}

void tst_TImage::halfY8U_matchesReference_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    for (const auto &s : sizes)
        QTest::newRow(s.name) << s.cols << s.rows;
}

void tst_TImage::halfY8U_matchesReference()
{
    QFETCH(int, width);
    QFETCH(int, height);
    TImage y(TImage::Y, TSize(width, height));
    KernelTest::randomPlane(height, width, CV_16UC1, 17).copyTo(y.mat1());
    const cv::Mat half = y.halfY8U();
    QCOMPARE(half.type(), CV_8UC1);
    QCOMPARE(half.cols, (width + 1) / 2);
    QCOMPARE(half.rows, (height + 1) / 2);
    const cv::Mat mean16 = KernelTest::referenceDown(y.mat1());
    for (int r = 0; r < half.rows; ++r)
        for (int c = 0; c < half.cols; ++c)
            QCOMPARE(int(half.at<unsigned char>(r, c)), (mean16.at<unsigned short>(r, c) * 255 + 32767) / 65535);
    QVERIFY(TImage(TImage::M, TSize(4, 4)).halfY8U().empty());
    QVERIFY(TImage(TImage::Y).halfY8U().empty());
}

void tst_TImage::badArgumentsFail()
{
    const Pixels px = randomPixels(4, 4, 2);
    const unsigned char *src = px.bytes.data();
    TImage y(TImage::Y), c(TImage::C), m(TImage::M), wrong(TImage::RGBA8U);
    QVERIFY(!TImage::bgra8uToTImage(nullptr, px.bytesPerLine, 4, 4, &y, &c, &m));
    QVERIFY(!TImage::bgra8uToTImage(src, px.bytesPerLine, -1, 4, &y, &c, &m));
    QVERIFY(!TImage::bgra8uToTImage(src, px.bytesPerLine, 4, 0, &y, &c, &m));
    QVERIFY(!TImage::bgra8uToTImage(src, 15, 4, 4, &y, &c, &m));
    QVERIFY(!TImage::bgra8uToTImage(src, px.bytesPerLine, 4, 4, &wrong, &c, &m));
    QVERIFY(!TImage::bgra8uToTImage(src, px.bytesPerLine, 4, 4, &y, &m, nullptr));
    QVERIFY(TImage::bgra8uToTImage(src, px.bytesPerLine, 4, 4, &y, &c, &m));

    Pixels out(4, 4);
    unsigned char *bits = out.bytes.data();
    TImage empty(TImage::Y), smallC(TImage::C, TSize(1, 2)), smallM(TImage::M, TSize(4, 3));
    QVERIFY(!TImage::timageToBgra8u(nullptr, &c, &m, bits, out.bytesPerLine));
    QVERIFY(!TImage::timageToBgra8u(&empty, nullptr, nullptr, bits, out.bytesPerLine));
    QVERIFY(!TImage::timageToBgra8u(&m, nullptr, nullptr, bits, out.bytesPerLine));
    QVERIFY(!TImage::timageToBgra8u(&y, &smallC, nullptr, bits, out.bytesPerLine));
    QVERIFY(!TImage::timageToBgra8u(&y, nullptr, &smallM, bits, out.bytesPerLine));
    QVERIFY(!TImage::timageToBgra8u(&y, &c, &m, nullptr, out.bytesPerLine));
    QVERIFY(!TImage::timageToBgra8u(&y, &c, &m, bits, 15));
    QVERIFY(TImage::timageToBgra8u(&y, &c, &m, bits, out.bytesPerLine));
}

FX_REGISTER_TEST(tst_TImage)
#include "tst_timage.moc"
