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
        QVERIFY(downSize2X(src, down, 4) && downSize2X(inPlace, inPlace, 4));
        QVERIFY(maxAbsDiff(down, referenceDown(src)) == 0 && maxAbsDiff(inPlace, down) == 0);
        for (int mode = 1; mode <= 2; ++mode) {
            for (int trim = 0; trim <= 1; ++trim) {
                cv::Mat up = trim ? cv::Mat(2 * rows - 1, 2 * cols - 1, type) : cv::Mat(),
                        expected(2 * rows - trim, 2 * cols - trim, type);
                for (int i = 0; i < int(expected.total()); ++i) {
                    const int y = i / expected.cols, x = i % expected.cols;
                    put(expected, y, x, mode == 1 ? at(src, y / 2, x / 2) : int(centredBilinear(src, y, x) + 0.5));
                }
                QVERIFY2(upSize2X(src, up, mode) && maxAbsDiff(up, expected) == 0, mode == 1 ? "nearest" : "bilinear");
            }
        }
        // Mask: empty, all 0, all 255, random; with an opacity.
        const std::pair<int, float> blends[] = { { 0, 0.6f }, { 1, 0.6f }, { 2, 0.6f }, { 3, 0.6f }, { 3, 0.0f },
            { 3, 1.0f }, { 3, -0.5f }, { 3, 1.7f } };
        for (const auto &[mask, opacity] : blends) {
            const cv::Mat m = mask == 0 ? cv::Mat()
                : mask == 3             ? randomPlane(rows, cols, CV_8UC1, 3)
                                        : cv::Mat(rows, cols, CV_8UC1, cv::Scalar(mask == 2 ? 255 : 0));
            cv::Mat dst, intoMix = src.clone(), intoEffect = effect.clone();
            QVERIFY(blendAlpha(src, effect, m, dst, opacity, 0) && dst.size() == src.size());
            QVERIFY(blendAlpha(intoMix, effect, m, intoMix, opacity, 0) && maxAbsDiff(intoMix, dst) == 0);
            QVERIFY(blendAlpha(src, intoEffect, m, intoEffect, opacity, 0) && maxAbsDiff(intoEffect, dst) == 0);
            for (int i = 0; i < rows * cols; ++i) {
                const int y = i / cols, x = i % cols, a = at(src, y, x), b = at(effect, y, x), got = at(dst, y, x);
                const double w = std::clamp(double(opacity), 0.0, 1.0) * (m.empty() ? 255 : m.at<uchar>(y, x)) / 255;
                const double exact = a + (b - a) * w;
                QVERIFY(std::abs(got - std::floor(exact + 0.5)) <= (std::abs(exact - std::floor(exact) - 0.5) < 0.02));
            }
        }
        for (float value : { 0.0f, 0.7f, 1.0f, 3.0f, -1.0f }) {
            if (type != CV_8UC1) // blendC scales 8-bit masks; the rebuild below is of 16-bit luminance
                break;
            std::vector<uchar> dst(std::size_t(cols + 3) * rows, 0xA5);
            QVERIFY(blendC(src.data, int(src.step), dst.data(), cols + 3, cols, rows, value));
            for (int i = 0; i < rows * (cols + 3); ++i) {
                const int x = i % (cols + 3), v = at(src, i / (cols + 3), std::min(x, cols - 1));
                QVERIFY(dst[std::size_t(i)]
                    == (x < cols ? std::clamp(int(std::floor(v * double(value) + 0.5)), 0, 255) : 0xA5));
            }
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
            QVERIFY(TPImage::reconstructFull(src, half, out, factor, 0.01f) && maxAbsDiff(out, expected) <= 1);
            QVERIFY(factor != 1.0f || maxAbsDiff(out, src) <= 1);
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

    // Accurate: the exact block average, the luminance result exactly h x w, a colour plane's at
    // half the origin and size. Fast: within each block's range, equal to accurate where its four
    // samples are the block (dec 1 and 2) and on a constant plane. Both depths.
    void matRoiMatchesReference()
    {
        QFETCH(int, dec);
        QFETCH(cv::Rect, r);
        for (int type : { CV_8UC1, CV_16UC1 }) {
            for (bool colour : { false, true }) {
                const cv::Mat src
                    = colour ? guardedPlane(15, 19, type, 17u * dec) : guardedPlane(29, 37, type, 7u * dec);
                const int x0 = colour ? int(std::floor(r.x / 2.0)) : r.x,
                          y0 = colour ? int(std::floor(r.y / 2.0)) : r.y;
                cv::Mat expected(colour ? (r.height + 1) / 2 : r.height, colour ? (r.width + 1) / 2 : r.width, type);
                const auto roi = [&](const cv::Mat &plane, bool fast) {
                    return TPImage::MatRoi(plane, r.x, r.y, r.width, r.height, dec, colour, fast);
                };
                const cv::Mat accurate = roi(src, false), fast = roi(src, true);
                const cv::Mat flat(expected.size(), type, cv::Scalar(123));
                QVERIFY(maxAbsDiff(roi(cv::Mat(src.size(), type, cv::Scalar(123)), true), flat) == 0);
                for (int i = 0; i < int(expected.total()); ++i) {
                    const int ey = i / expected.cols, ex = i % expected.cols;
                    int sum = 0, lo = INT_MAX, hi = 0;
                    for (int k = 0; k < dec * dec; ++k) {
                        const int v = at(src, std::clamp(y0 + ey * dec + k / dec, 0, src.rows - 1),
                            std::clamp(x0 + ex * dec + k % dec, 0, src.cols - 1));
                        sum += v, lo = std::min(lo, v), hi = std::max(hi, v);
                    }
                    put(expected, ey, ex, int(std::floor(double(sum) / (dec * dec) + 0.5)));
                    QVERIFY2(at(fast, ey, ex) >= lo && at(fast, ey, ex) <= hi, colour ? "colour" : "luma");
                }
                QVERIFY2(
                    maxAbsDiff(accurate, expected) == 0 && fast.size() == accurate.size(), colour ? "colour" : "luma");
                QVERIFY(dec > 2 || maxAbsDiff(fast, accurate) == 0);
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
