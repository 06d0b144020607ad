// The pixel kernels, view sampling (TPImage::MatRoi) and the full-luminance rebuild against
// naive loops written here from their definitions.
#include "coretestsupport.h"
#include "kernels.h"
#include "testregistry.h"
#include "tpimage.h"

#include <vector>

namespace {

// Random samples up to half the range in a view into a larger matrix whose other samples are at
// the maximum: a read outside the view pulls results up.
cv::Mat guardedPlane(int rows, int cols, int type, unsigned seed)
{
    cv::Mat big(rows + 6, cols + 10, type, cv::Scalar(maxOf(type))), view = big(cv::Rect(5, 3, cols, rows));
    randomPlane(rows, cols, type, seed, maxOf(type) / 2).copyTo(view);
    return view;
}

// In full-resolution pixels of a 37 x 29 picture (colour planes 19 x 15).
const std::pair<const char *, cv::Rect> regions[] = { { "inside", { 4, 2, 6, 5 } }, { "oddOrigin", { 3, 5, 5, 3 } },
    { "pastRightBottom", { 30, 24, 5, 4 } }, { "pastTopLeft", { -6, -4, 7, 6 } },
    { "negativeOddOrigin", { -5, -3, 4, 3 } }, { "fullyOutside", { 50, 40, 3, 2 } },
    { "coversAll", { -3, -3, 40, 33 } }, { "singleSample", { 8, 8, 1, 1 } } };

// The expected view of r at dec: sample (i, j) the mean of the dec x dec block at (x0 + j * dec,
// y0 + i * dec); a colour plane is at half resolution, its origin halved toward minus infinity.
cv::Mat expectedView(const cv::Mat &plane, const cv::Rect &r, int dec, bool colour)
{
    const int x0 = colour ? int(std::floor(r.x / 2.0)) : r.x, y0 = colour ? int(std::floor(r.y / 2.0)) : r.y;
    cv::Mat out(colour ? (r.height + 1) / 2 : r.height, colour ? (r.width + 1) / 2 : r.width, plane.type());
    for (int i = 0; i < int(out.total()); ++i)
        put(out, i / out.cols, i % out.cols,
            clampedBlockMean(plane, y0 + i / out.cols * dec, x0 + i % out.cols * dec, dec, dec));
    return out;
}

const char *depthName(int type) { return type == CV_8UC1 ? "8-bit" : "16-bit"; }

}

Q_DECLARE_METATYPE(cv::Rect)

class tst_Kernels : public QObject {
    Q_OBJECT
private slots:
    void kernelsMatchReference_data() { addTypeSizeRows(); }

    // Each input is a view into a guarded matrix. downSize2X exact (the mean of integers rounds
    // exactly), also into its own source. upSize2X exact (bilinear weights are multiples of 1/16;
    // nearest takes the sample up and left), into an empty destination or one a sample short of
    // double (an odd full plane), which keeps its size. blendAlpha the rounded formula,
    // one off allowed only where the exact value is next to a half (the weight is applied in
    // float), the same into mix or effect itself, an empty mask meaning uniform opacity. 8-bit: blendC exact, the
    // padding between rows untouched. 16-bit: reconstructFull with the unprocessed half plane and factor 1 gives the
    // full plane within one level; otherwise, with an unrelated half plane (hitting the clamps), round(up(half) +
    // factor * (full - up(down(full)))) within one level, without the detail below eps.
    void kernelsMatchReference()
    {
        QFETCH(int, type);
        QFETCH(PlaneSize, size);
        const int rows = size.rows, cols = size.cols;
        const cv::Mat src = guardedPlane(rows, cols, type, 7), effect = guardedPlane(rows, cols, type, 9);
        cv::Mat down, inPlace = src.clone();
        QVERIFY(downSize2X(src, down, 4));
        QVERIFY(downSize2X(inPlace, inPlace, 4));
        FX_VERIFY_NO_MISMATCH(planeMismatch(down, referenceDown(src), 0, "downSize2X"));
        FX_VERIFY_NO_MISMATCH(planeMismatch(inPlace, down, 0, "downSize2X in place"));
        for (int mode = 1; mode <= 2; ++mode) {
            for (int trim = 0; trim <= 1; ++trim) {
                cv::Mat up = trim ? cv::Mat(2 * rows - 1, 2 * cols - 1, type) : cv::Mat(),
                        expected(2 * rows - trim, 2 * cols - trim, type);
                for (int i = 0; i < int(expected.total()); ++i) {
                    const int y = i / expected.cols, x = i % expected.cols;
                    put(expected, y, x, mode == 1 ? at(src, y / 2, x / 2) : int(centredBilinear(src, y, x) + 0.5));
                }
                QVERIFY2(upSize2X(src, up, mode), mode == 1 ? "nearest" : "bilinear");
                FX_VERIFY_NO_MISMATCH(planeMismatch(up, expected, 0, mode == 1 ? "nearest" : "bilinear"));
            }
        }
        // Mask: empty, all 0, all 255, random; with an opacity.
        const std::pair<int, float> blends[] = { { 0, 0.6f }, { 1, 0.6f }, { 2, 0.6f }, { 3, 0.6f }, { 3, 0.0f },
            { 3, 1.0f }, { 3, -0.5f }, { 3, 1.7f } };
        for (const auto &[mask, opacity] : blends) {
            const cv::Mat m = mask == 0 ? cv::Mat()
                : mask == 3             ? randomPlane(rows, cols, CV_8UC1, 3)
                                        : cv::Mat(rows, cols, CV_8UC1, cv::Scalar(mask == 2 ? 255 : 0));
            const QString blend = msg("mask %1, opacity %2", mask, double(opacity));
            cv::Mat dst, intoMix = src.clone(), intoEffect = effect.clone();
            QVERIFY2(blendAlpha(src, effect, m, dst, opacity, 0), qPrintable(blend));
            QCOMPARE(dst.size(), src.size());
            QVERIFY2(blendAlpha(intoMix, effect, m, intoMix, opacity, 0), qPrintable(blend));
            FX_VERIFY_NO_MISMATCH(planeMismatch(intoMix, dst, 0, blend + ", into mix"));
            QVERIFY2(blendAlpha(src, intoEffect, m, intoEffect, opacity, 0), qPrintable(blend));
            FX_VERIFY_NO_MISMATCH(planeMismatch(intoEffect, dst, 0, blend + ", into effect"));
            for (int i = 0; i < rows * cols; ++i) {
                const int y = i / cols, x = i % cols, a = at(src, y, x), b = at(effect, y, x), got = at(dst, y, x);
                const double w = std::clamp(double(opacity), 0.0, 1.0) * (m.empty() ? 255 : m.at<uchar>(y, x)) / 255;
                const double exact = a + (b - a) * w;
                QVERIFY2(std::abs(got - std::floor(exact + 0.5)) <= (std::abs(exact - std::floor(exact) - 0.5) < 0.02),
                    qPrintable(blend + msg(": %1 at x %2, y %3, exactly %4", got, x, y, exact)));
            }
        }
        for (float value : { 0.0f, 0.7f, 1.0f, 3.0f, -1.0f }) {
            if (type != CV_8UC1) // blendC scales 8-bit masks; the rebuild below is of 16-bit luminance
                break;
            cv::Mat dst(rows, cols + 3, CV_8UC1, cv::Scalar(0xA5)), expected = dst.clone();
            QVERIFY(blendC(src.data, int(src.step), dst.data, int(dst.step), cols, rows, value));
            for (int i = 0; i < rows * cols; ++i) // the padding after each row stays as it was
                put(expected, i / cols, i % cols,
                    std::clamp(int(std::floor(at(src, i / cols, i % cols) * double(value) + 0.5)), 0, 255));
            FX_VERIFY_NO_MISMATCH(planeMismatch(dst, expected, 0, msg("blendC by %1", double(value))));
        }
        for (float factor : { 1.0f, 0.5f, -0.7f, 0.005f }) {
            if (type != CV_16UC1)
                break;
            const cv::Mat half = factor == 1.0f ? down : randomPlane(down.rows, down.cols, type, 80u);
            cv::Mat out, expected(src.size(), type);
            for (int i = 0; i < rows * cols; ++i) {
                const int y = i / cols, x = i % cols;
                const double detail
                    = std::abs(factor) < 0.01f ? 0 : factor * (at(src, y, x) - centredBilinear(down, y, x));
                put(expected, y, x,
                    int(std::clamp(std::floor(centredBilinear(half, y, x) + detail + 0.5), 0.0, 65535.0)));
            }
            const QString rebuild = msg("reconstructFull by %1", double(factor));
            QVERIFY2(TPImage::reconstructFull(src, half, out, factor, 0.01f), qPrintable(rebuild));
            FX_VERIFY_NO_MISMATCH(planeMismatch(out, expected, 1, rebuild));
            if (factor == 1.0f)
                FX_VERIFY_NO_MISMATCH(planeMismatch(out, src, 1, rebuild + " against the full plane"));
        }
    }

    void matRoiMatchesReference_data()
    {
        QTest::addColumn<int>("dec");
        QTest::addColumn<cv::Rect>("r");
        for (int dec : { 1, 2, 3, 5, 32 })
            for (const auto &[name, r] : regions)
                QTest::addRow("dec%d/%s", dec, name) << dec << r;
    }

    // Both paths: the exact average of each whole block, cut blocks averaging what they cover;
    // the luminance result exactly h x w, a colour plane's at half the origin and size. Both
    // depths.
    void matRoiMatchesReference()
    {
        QFETCH(int, dec);
        QFETCH(cv::Rect, r);
        for (int type : { CV_8UC1, CV_16UC1 }) {
            for (bool colour : { false, true }) {
                const cv::Mat src
                    = colour ? guardedPlane(15, 19, type, 17u * dec) : guardedPlane(29, 37, type, 7u * dec);
                const cv::Mat expected = expectedView(src, r, dec, colour);
                const QString plane = msg(colour ? "colour, %1" : "luma, %1", depthName(type));
                for (bool fast : { false, true }) {
                    const cv::Mat out = TPImage::MatRoi(src, r.x, r.y, r.width, r.height, dec, colour, fast);
                    FX_VERIFY_NO_MISMATCH(planeMismatch(out, expected, 0, plane + (fast ? ", fast" : ", accurate")));
                }
            }
        }
    }

    // Detail finer than a block is averaged away on both paths: one-pixel stripes and a
    // checkerboard of 0 and the top value come out as an even mid-grey at every even
    // decimation, where sampling points of each block would show stripes or a solid colour.
    void matRoiAveragesAwayFineDetail_data()
    {
        QTest::addColumn<int>("dec");
        QTest::addColumn<int>("pattern");
        for (int dec : { 2, 4, 6, 8, 12, 16 }) {
            QTest::addRow("dec%d/stripes", dec) << dec << 0;
            QTest::addRow("dec%d/checkerboard", dec) << dec << 1;
        }
    }

    void matRoiAveragesAwayFineDetail()
    {
        QFETCH(int, dec);
        QFETCH(int, pattern);
        for (int type : { CV_8UC1, CV_16UC1 }) {
            cv::Mat src(8 * dec + 3, 16 * dec + 5, type);
            for (int y = 0; y < src.rows; ++y)
                for (int x = 0; x < src.cols; ++x)
                    put(src, y, x, ((pattern ? x + y : x) & 1) ? maxOf(type) : 0);
            for (bool fast : { false, true }) {
                const cv::Mat out = TPImage::MatRoi(src, 0, 0, 16, 8, dec, false, fast);
                const cv::Mat grey(out.size(), type, cv::Scalar((maxOf(type) + 1) / 2));
                FX_VERIFY_NO_MISMATCH(
                    planeMismatch(out, grey, 0, msg(fast ? "fast, %1" : "accurate, %1", depthName(type))));
            }
        }
    }

    void badArgumentsFailCleanly_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<bool>("traced");
        const cv::Mat p16(6, 5, CV_16UC1, cv::Scalar(1)), p8(6, 5, CV_8UC1, cv::Scalar(1)), wide(6, 5, CV_16UC3);
        const cv::Mat full(9, 12, CV_16UC1, cv::Scalar(1)), half(5, 6, CV_16UC1, cv::Scalar(1));
        addCall("downSize2X mode 2", [=](cv::Mat &d) { return downSize2X(p16, d, 2); });
        addCall("downSize2X empty", [=](cv::Mat &d) { return downSize2X(cv::Mat(), d, 4); });
        addCall("upSize2X mode 3", [=](cv::Mat &d) { return upSize2X(p8, d, 3); });
        addCall("upSize2X three channels", [=](cv::Mat &d) { return upSize2X(wide, d, 2); });
        addCall("blendAlpha sizes differ", [=](cv::Mat &d) { return blendAlpha(p16, p16.t(), p8, d, 1, 0); });
        addCall("blendAlpha NaN opacity", [=](cv::Mat &d) { return blendAlpha(p8, p8, p8, d, NAN, 0); });
        addCall("blendC null source", [=](cv::Mat &d) { return blendC(nullptr, 4, d.data, 4, 2, 2, 1); });
        addCall("blendC short step", [=](cv::Mat &d) { return blendC(p8.data, 3, d.data, 4, 4, 2, 1); });
        addCall("MatRoi three channels", [=](cv::Mat &d) { return TPImage::MatRoi(wide, d, 0, 0, 4, 4, 2, 0, 0); });
        addCall("reconstructFull half too small",
            [=](cv::Mat &d) { return TPImage::reconstructFull(full, half.rowRange(0, 4), d, 1, 1); });
        addCall(
            "reconstructFull NaN factor", [=](cv::Mat &d) { return TPImage::reconstructFull(full, half, d, NAN, 1); });
    }

    void badArgumentsFailCleanly() { verifyRejectedCleanly(); }
};

FX_REGISTER_TEST(tst_Kernels)
#include "tst_kernels.moc"
