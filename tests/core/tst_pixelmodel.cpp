// The pixel model of TPImage and TImage against references written here from the model: planes,
// round trips, the photo targets of the colour rebuild, and failure on bad arguments.
#include "coretestsupport.h"
#include "testdata.h"
#include "testregistry.h"
#include "timage.h"
#include "tpimage.h"

#include <QImage>

namespace {

// ProPhoto luminance weights in 1/65536 steps.
const int kR = 18877, kG = 46653, kB = 6;

int lumaOf(const cv::Vec4b &p) { return int((257.0 * (kR * p[2] + kG * p[1] + kB * p[0]) + 32768) / 65536); }

int to8(double v16) { return (int(std::lround(std::clamp(v16, 0.0, 65535.0))) * 255 + 32767) / 65535; }

// A rows x cols matrix followed by padding on each row, as a host's pictures are.
cv::Mat padded(int rows, int cols, int type) { return cv::Mat(rows, cols + 3, type)(cv::Rect(0, 0, cols, rows)); }

// A 16-bit B, G, R, A picture: random opaque greys (kind 0), one random opaque colour per 2x2
// block (1), the same with green chosen so that all blocks have nearly the same luma (2), or
// random pixels with random alpha (3).
cv::Mat pattern(int rows, int cols, int kind)
{
    cv::Mat bgra(rows, cols, CV_16UC4);
    const cv::Mat own = randomPlane(rows, 4 * cols, CV_16UC1, 3u * cols + rows).reshape(4, rows);
    const cv::Mat blocks
        = randomPlane((rows + 1) / 2, 4 * ((cols + 1) / 2), CV_16UC1, 5u * cols).reshape(4, (rows + 1) / 2);
    for (int i = 0; i < rows * cols; ++i) {
        const int y = i / cols, x = i % cols;
        cv::Vec4w p = kind == 0 || kind == 3 ? own.at<cv::Vec4w>(y, x) : blocks.at<cv::Vec4w>(y / 2, x / 2);
        if (kind == 0)
            p = cv::Vec4w::all(p[0]);
        if (kind == 2)
            p[1] = ushort(std::clamp((120.0 * 257 * 65536 - kR * p[2] - kB * p[0]) / kG, 0.0, 65535.0));
        bgra.at<cv::Vec4w>(y, x) = cv::Vec4w(p[0], p[1], p[2], kind == 3 ? p[3] : 65535);
    }
    return bgra;
}

}

class tst_PixelModel : public QObject {
    Q_OBJECT
private slots:
    void planesAndRoundTrips_data()
    {
        QTest::addColumn<PlaneSize>("size");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("tolerance");
        for (const PlaneSize &s : sweepSizes) {
            QTest::addRow("%s/greys", s.name) << s << 0 << 0;
            QTest::addRow("%s/block colours", s.name) << s << 1 << 1;
            QTest::addRow("%s/isoluminant blocks", s.name) << s << 2 << 1;
            QTest::addRow("%s/random pixels and alpha", s.name) << s << 3 << -1;
        }
    }

    // TImage of each kind: plane size and sample size, a second plane for C alone; resizing to the
    // same size keeps the pixels, to (0, 0) frees them.
    // From BGRA, TPImage exactly: luma of the x257 values; colour differences halved and, like
    // alpha x257, averaged over each block's pixels, rounded half up; the same band by band. TImage:
    // the same luma; the colour differences brought to 8 bits around 128 (both rounded half away
    // from zero); alpha as the mask; a new update rectangle per write; halfY8U the 2x2 mean in 8
    // bits. Back to BGRA (TPImage band by band as whole): grey exactly neutral, from 8 and 16 bits
    // (16-bit grey rounded to 8 bits); colour constant over each block within one 8-bit level (two
    // 16-bit ones), also where luma cannot tell the blocks apart.
    void planesAndRoundTrips()
    {
        QFETCH(PlaneSize, size);
        QFETCH(int, kind);
        QFETCH(int, tolerance);
        const int rows = size.rows, cols = size.cols, bytes[] = { 2, 1, 1, 4, 8 };
        const cv::Size half((cols + 1) / 2, (rows + 1) / 2);
        for (int t = TImage::Y; t <= TImage::RGBA16U; ++t) {
            TImage image(TImage::IMTYPE(t), TSize(cols, rows));
            const uchar *pixels = image.plane1();
            QCOMPARE(image.mat1().size(), cv::Size(cols, rows));
            QCOMPARE(int(image.mat1().elemSize()), bytes[t]);
            QCOMPARE(image.plane2() != nullptr, t == TImage::C);
            if (t == TImage::C)
                QCOMPARE(image.mat2().size(), image.mat1().size());
            QVERIFY(image.resize(TSize(cols, rows)));
            QCOMPARE(std::as_const(image).plane1(), pixels);
            QVERIFY(image.resize(TSize(0, 0)));
            QVERIFY(image.bEmpty());
            QCOMPARE(std::as_const(image).plane1(), nullptr);
            QCOMPARE(std::as_const(image).plane2(), nullptr);
        }
        const cv::Mat wide = pattern(rows, cols, kind);
        cv::Mat bgra = padded(rows, cols, CV_8UC4), back = padded(rows, cols, CV_8UC4), whole = back.clone();
        wide.convertTo(bgra, CV_8U, 1 / 257.0); // into the padded rows: the size and type are right already
        TImage y(TImage::Y), c(TImage::C), m(TImage::M);
        QVERIFY(TImage::bgra8uToTImage(bgra.data, int(bgra.step), cols, rows, &y, &c, &m));
        QCOMPARE(c.mat1().size(), half);
        QCOMPARE(y.updateRect().width(), cols);
        const auto roundAway = [](double v) { return v < 0 ? -int(std::floor(-v + 0.5)) : int(std::floor(v + 0.5)); };
        const auto colour8 = [&](double sum) { return std::clamp(128 + roundAway(roundAway(sum) / 256.0), 0, 255); };
        cv::Mat lum(rows, cols, CV_16UC1), alpha,
            blocks[3] = { cv::Mat(half, CV_16UC1), cv::Mat(half, CV_16UC1), cv::Mat(half, CV_16UC1) };
        for (int i = 0; i < blocks[0].rows * blocks[0].cols; ++i) {
            const int by = i / blocks[0].cols, bx = i % blocks[0].cols;
            double sum[3] = {}, n = 0;
            for (int yy = 2 * by; yy < std::min(2 * by + 2, rows); ++yy) {
                for (int x = 2 * bx; x < std::min(2 * bx + 2, cols); ++x, ++n) {
                    const cv::Vec4b p = bgra.at<cv::Vec4b>(yy, x);
                    lum.at<ushort>(yy, x) = ushort(lumaOf(p));
                    sum[0] += (257 * p[0] - lumaOf(p)) / 2.0, sum[1] += (257 * p[2] - lumaOf(p)) / 2.0,
                        sum[2] += 257 * p[3];
                }
            }
            for (int k = 0; k < 3; ++k)
                blocks[k].at<ushort>(by, bx) = ushort(std::floor(sum[k] / n + 0.5) + (k < 2 ? 32768 : 0));
            for (int k = 0; k < 2; ++k) {
                const int got = (k ? c.mat2() : c.mat1()).at<uchar>(by, bx);
                QVERIFY2(got == colour8(sum[k] / n),
                    qPrintable(msg("colour %1 at x %2, y %3: %4, expected %5 (from %6)", k + 1, bx, by, got,
                        colour8(sum[k] / n), sum[k] / n)));
            }
        }
        cv::extractChannel(bgra, alpha, 3);
        FX_VERIFY_NO_MISMATCH(planeMismatch(y.mat1(), lum, 0, "TImage luma"));
        FX_VERIFY_NO_MISMATCH(planeMismatch(m.mat1(), alpha, 0, "TImage mask"));
        cv::Mat mean = referenceDown(lum), half8;
        mean.convertTo(half8, CV_8U, 1 / 257.0);
        FX_VERIFY_NO_MISMATCH(planeMismatch(y.halfY8U(), half8, 0, "halfY8U"));
        TPImage image, banded;
        QVERIFY(image.convertFrom(bgra.data, cols, rows, int(bgra.step)));
        QVERIFY(banded.create(cols, rows, false));
        for (int yy = 0; yy < rows; yy += 2)
            QVERIFY(banded.convertFromRows(bgra.ptr(yy), int(bgra.step), yy, std::min(2, rows - yy)));
        for (const TPImage *im : { &image, &banded }) {
            const QString from = im == &image ? "whole, " : "band by band, ";
            FX_VERIFY_NO_MISMATCH(planeMismatch(im->m_lum, lum, 0, from + "luma"));
            FX_VERIFY_NO_MISMATCH(planeMismatch(im->m_c1, blocks[0], 0, from + "colour 1"));
            FX_VERIFY_NO_MISMATCH(planeMismatch(im->m_c2, blocks[1], 0, from + "colour 2"));
            FX_VERIFY_NO_MISMATCH(planeMismatch(im->m_p4, blocks[2], 0, from + "alpha"));
        }
        for (int yy = 0; yy < rows; yy += 4)
            QVERIFY(image.convertToRows(back.ptr(yy), int(back.step), yy, std::min(4, rows - yy)));
        QVERIFY(image.convertTo(whole.data, int(whole.step)));
        FX_VERIFY_NO_MISMATCH(planeMismatch(back, whole, 0, "band by band against whole"));
        if (tolerance < 0)
            return;
        FX_VERIFY_NO_MISMATCH(planeMismatch(whole, bgra, tolerance, "TPImage round trip"));
        const TUpdateRect first = y.updateRect();
        QVERIFY(TImage::bgra8uToTImage(bgra.data, int(bgra.step), cols, rows, &y, &c, &m));
        QVERIFY(y.updateRect() != first);
        QVERIFY(TImage::timageToBgra8u(&y, &c, &m, back.data, int(back.step)));
        if (kind == 0)
            FX_VERIFY_NO_MISMATCH(planeMismatch(back, bgra, 0, "TImage round trip of greys"));
        std::vector<cv::Mat> in, out;
        cv::split(wide, in), cv::split(cv::Mat(wide.size(), CV_16UC4, cv::Scalar::all(7)), out);
        ushort *from[3] = { in[2].ptr<ushort>(), in[1].ptr<ushort>(), in[0].ptr<ushort>() };
        ushort *to[3] = { out[2].ptr<ushort>(), out[1].ptr<ushort>(), out[0].ptr<ushort>() };
        QVERIFY(image.convertFrompRGB(from, cols, rows, cols));
        QVERIFY(image.convertTopRGB(to, cols));
        for (int k = 0; k < 3; ++k)
            FX_VERIFY_NO_MISMATCH(planeMismatch(out[k], in[k], 2 * tolerance, msg("16-bit planes, channel %1", k)));
        QVERIFY(image.convertTo(back.data, int(back.step)));
        if (kind == 0)
            FX_VERIFY_NO_MISMATCH(planeMismatch(back, bgra, 0, "round trip of greys from 16-bit planes"));
    }

    void photoBeatsBilinear_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<double>("bilinearFigure");
        QTest::newRow("coffee") << "coffee.png" << 39.0;
        QTest::newRow("astronaut") << "astronaut.png" << 39.5;
        QTest::newRow("chelsea") << "chelsea.png" << 45.0;
        QTest::newRow("rocket") << "rocket.jpg" << 34.0;
    }

    // BGRA -> TPImage -> BGRA at least 1 dB above plain bilinear, both as computed here (colour
    // planes enlarged centre-aligned, each pixel decoded from its own luma) and as the figure it
    // is known to reach.
    void photoBeatsBilinear()
    {
        QFETCH(QString, photo);
        QFETCH(double, bilinearFigure);
        FX_REQUIRE_SHARED_DATA("photos/" + photo);
        QImage source = QImage(sharedDataPath("photos/" + photo)).convertToFormat(QImage::Format_RGB32);
        const cv::Mat bgra(source.height(), source.width(), CV_8UC4, source.bits(), source.bytesPerLine());
        cv::Mat out(bgra.size(), CV_8UC4), bilinear(bgra.size(), CV_8UC4);
        TPImage image;
        QVERIFY(image.convertFrom(bgra.data, bgra.cols, bgra.rows, int(bgra.step)));
        QVERIFY(image.convertTo(out.data, int(out.step)));
        for (int i = 0; i < int(out.total()); ++i) {
            const int y = i / out.cols, x = i % out.cols;
            const double lum = image.m_lum.at<ushort>(y, x);
            const double b = std::clamp(std::round(lum + 2 * centredBilinear(image.m_c1, y, x) - 65536), 0.0, 65535.0);
            const double r = std::clamp(std::round(lum + 2 * centredBilinear(image.m_c2, y, x) - 65536), 0.0, 65535.0);
            bilinear.at<cv::Vec4b>(y, x) = cv::Vec4b(to8(b), to8((lum * 65536 - kR * r - kB * b) / kG), to8(r), 255);
        }
        const auto psnr = [&](const cv::Mat &m) {
            return 10 * std::log10(255.0 * 255 * 3 * double(m.total()) / cv::norm(m, bgra, cv::NORM_L2SQR));
        };
        QVERIFY2(psnr(out) >= psnr(bilinear) + 1 && psnr(out) >= bilinearFigure + 1,
            qPrintable(msg("%1 dB, bilinear %2", psnr(out), psnr(bilinear))));
    }

    void badArgumentsFail_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<bool>("traced");
        static uchar px[6 * 24];
        static ushort pl[3][36];
        static ushort *planes[3] = { pl[0], pl[1], pl[2] }, *noGreen[3] = { pl[0], nullptr, pl[2] };
        const TImage y(TImage::Y, TSize(6, 6)), c(TImage::C, TSize(2, 3));
        TImage wrongType(TImage::RGBA8U);
        addCall("convertFrom null pixels", [](cv::Mat &) { return TPImage().convertFrom(nullptr, 6, 6, 24); });
        addCall("convertFrom short lines", [](cv::Mat &) { return TPImage().convertFrom(px, 6, 6, 23); });
        addCall("convertFromRows odd first row", [](cv::Mat &) { return TPImage(6, 6).convertFromRows(px, 24, 1, 2); });
        addCall("convertFromRows past the end", [](cv::Mat &) { return TPImage(6, 6).convertFromRows(px, 24, 4, 4); });
        addCall("convertTo empty image", [](cv::Mat &) { return TPImage().convertTo(px, 24); });
        addCall("convertFrompRGB null plane", [](cv::Mat &) { return TPImage().convertFrompRGB(noGreen, 6, 6, 6); });
        addCall("convertTopRGB short stride", [](cv::Mat &) { return TPImage(6, 6).convertTopRGB(planes, 5); });
        addUntracedCall("bgra8uToTImage wrong type",
            [=](cv::Mat &) mutable { return TImage::bgra8uToTImage(px, 24, 6, 6, &wrongType, nullptr, nullptr); });
        addUntracedCall(
            "timageToBgra8u colour size", [=](cv::Mat &) { return TImage::timageToBgra8u(&y, &c, nullptr, px, 24); });
    }

    void badArgumentsFail() { verifyRejectedCleanly(); }
};

FX_REGISTER_TEST(tst_PixelModel)
#include "tst_pixelmodel.moc"
