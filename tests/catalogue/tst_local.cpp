// The local family (Tone, Clarity) and its edge-aware kernel: no halos at strong edges at any
// decimation, each control doing what it says on pictures whose answer is known, and the
// kernel against a direct computation.
#include "catalogueharness.h"
#include "guidedfilter.h"
#include "testregistry.h"

#include <QtTest>
#include <cmath>
#include <random>
#include <tfx.h>
#include <tpimage.h>

namespace {
// One percent of the 16-bit range: the most a region next to an edge may overshoot.
constexpr double haloTolerance = 655.0;
constexpr int stepWidth = 1600;
constexpr int stepHeight = 96;
// The bar is thin next to every radius in use, so it is detail rather than a region.
constexpr int barWidth = 24;

QImage greyPicture(int width, int height, const std::function<double(int, int)> &level)
{
    return makePicture(width, height, [&](int x, int y) {
        const int g = qBound(0, int(std::lround(255.0 * level(x, y))), 255);
        return qRgb(g, g, g);
    });
}

// The step pictures: dark (0.2) and bright (0.8) halves either way round, or a thin bright
// bar across a dark picture.
QImage stepPicture(const QString &kind)
{
    const int middle = stepWidth / 2;
    return greyPicture(stepWidth, stepHeight, [&](int x, int) {
        if (kind == "dark to bright")
            return x < middle ? 0.2 : 0.8;
        if (kind == "bright to dark")
            return x < middle ? 0.8 : 0.2;
        return std::abs(x - middle) < barWidth / 2 ? 0.8 : 0.2;
    });
}

// A level's full luminance, rebuilt from a processed half plane when it has one.
cv::Mat luminanceOf(const TPImage &level)
{
    if (level.m_half.empty())
        return level.m_lum;
    cv::Mat rebuilt;
    if (!TPImage::reconstructFull(level.m_lum, level.m_half, rebuilt, level.m_factor, 0.01f))
        return cv::Mat();
    return rebuilt;
}

// Runs the effect key with settings over picture at decimation dec (the whole picture) and
// returns the result's luminance, with the source's in source.
cv::Mat runLevel(const QImage &picture, const QString &key, const QList<QPair<QString, double>> &settings, int dec,
    cv::Mat *source = nullptr)
{
    CatalogueHarness host;
    if (!host.load(picture))
        return cv::Mat();
    TFx *fx = host.add(key);
    if (!fx)
        return cv::Mat();
    for (const auto &setting : settings)
        if (!CatalogueHarness::set(fx, setting.first, setting.second))
            return cv::Mat();
    const TIm::CImId cid = dec == 1 ? TIm::CImFull : TIm::CImView1;
    if (dec > 1)
        host.setView(cid, TRoi(picture.width() / dec, picture.height() / dec, 0, 0, dec));
    if (!host.run({ cid }))
        return cv::Mat();
    if (source)
        *source = host.image().ptr(cid)->m_lum.clone();
    return luminanceOf(*host.stack().outImagePtr()->ptr(cid)).clone();
}

double columnMean(const cv::Mat &plane, int first, int last) { return cv::mean(plane.colRange(first, last))[0]; }

// Window means of a plane in double, straight from the definition: weight 1 within the
// whole radius, the fraction on the ring beyond, nothing outside the plane.
std::vector<double> referenceMeans(const std::vector<double> &plane, int cols, int rows, double radius)
{
    const int whole = int(std::floor(radius));
    const double fraction = radius - whole;
    auto weight = [&](int d) { return std::abs(d) <= whole ? 1.0 : std::abs(d) == whole + 1 ? fraction : 0.0; };
    std::vector<double> means(plane.size());
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) {
            double sum = 0.0, weights = 0.0;
            for (int v = 0; v < rows; ++v)
                for (int u = 0; u < cols; ++u) {
                    const double w = weight(u - x) * weight(v - y);
                    sum += w * plane[std::size_t(v * cols + u)];
                    weights += w;
                }
            means[std::size_t(y * cols + x)] = sum / weights;
        }
    return means;
}
}

class tst_Local : public QObject {
    Q_OBJECT
private slots:
    void localStepHasNoHalo_data();
    void localStepHasNoHalo();
    void toneRegionsMoveOnlyTheirTones_data();
    void toneRegionsMoveOnlyTheirTones();
    void toneContrastChangesMidtoneSpread_data();
    void toneContrastChangesMidtoneSpread();
    void toneColourFollowsLuminanceGain();
    void clarityRaisesLocalContrastKeepsMean_data();
    void clarityRaisesLocalContrastKeepsMean();
    void guidedFilterMatchesDirectSums_data();
    void guidedFilterMatchesDirectSums();
    void guidedFilterRejectsBadInput();
};

void tst_Local::localStepHasNoHalo_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("dec");
    for (const QString key : { "Tone", "Clarity" })
        for (const QString kind : { "dark to bright", "bright to dark", "thin bar" })
            for (int dec : { 1, 2, 3, 4 })
                QTest::addRow("%s, %s, dec %d", qPrintable(key), qPrintable(kind), dec) << key << kind << dec;
}

// At a step between two flat regions (or around a thin bar) every result lies within the
// results far from the edge on either side (the bar's middle for the bar), give or take one
// percent: no dark or bright rims.
void tst_Local::localStepHasNoHalo()
{
    QFETCH(QString, key);
    QFETCH(QString, kind);
    QFETCH(int, dec);
    const QList<QPair<QString, double>> settings = key == "Tone"
        ? QList<QPair<QString, double>> { { "highlights", -1.0 }, { "shadows", 1.0 } }
        : QList<QPair<QString, double>> { { "amount", 1.0 }, { "radius", 50.0 } };
    const cv::Mat out = runLevel(stepPicture(kind), key, settings, dec);
    QVERIFY(!out.empty());
    // Far from the edge: the outer twentieth at both ends, and the bar's middle column.
    const int margin = out.cols / 20, middle = out.cols / 2;
    const double left = columnMean(out, 0, margin), right = columnMean(out, out.cols - margin, out.cols);
    const double inside = kind == "thin bar" ? columnMean(out, middle, middle + 1) : right;
    const double low = std::min({ left, right, inside }) - haloTolerance;
    const double high = std::max({ left, right, inside }) + haloTolerance;
    double lowest, highest;
    cv::minMaxLoc(out, &lowest, &highest);
    QVERIFY2(lowest >= low && highest <= high,
        qPrintable(QStringLiteral("results %1..%2, far from the edge %3..%4")
                       .arg(lowest)
                       .arg(highest)
                       .arg(low + haloTolerance)
                       .arg(high - haloTolerance)));
    // The effect did act: the far regions moved.
    const cv::Mat in = runLevel(stepPicture(kind), key, {}, dec);
    QVERIFY(std::abs(columnMean(in, 0, margin) - left) + std::abs(columnMean(in, middle, middle + 1) - inside) > 1000.0
        || key == "Clarity");
}

void tst_Local::toneRegionsMoveOnlyTheirTones_data()
{
    QTest::addColumn<QString>("param");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("movedFrom");
    QTest::addColumn<double>("movedTo");
    QTest::addColumn<double>("keptFrom");
    QTest::addColumn<double>("keptTo");
    // Luminance bands (0..1) that must move by at least 5 % and bands that move by 2 % at most.
    QTest::newRow("shadows +1 lifts the dark") << "shadows" << 1.0 << 0.1 << 0.35 << 0.85 << 1.0;
    QTest::newRow("highlights -1 dims the bright") << "highlights" << -1.0 << 0.65 << 0.9 << 0.0 << 0.15;
}

// On a ramp (whose base is the ramp itself) shadows and highlights move their own tones and
// leave the other end of the range nearly where it was.
void tst_Local::toneRegionsMoveOnlyTheirTones()
{
    QFETCH(QString, param);
    QFETCH(double, value);
    QFETCH(double, movedFrom);
    QFETCH(double, movedTo);
    QFETCH(double, keptFrom);
    QFETCH(double, keptTo);
    const QImage ramp = greyPicture(1024, 48, [](int x, int) { return x / 1023.0; });
    cv::Mat in;
    const cv::Mat out = runLevel(ramp, "Tone", { { param, value } }, 1, &in);
    QVERIFY(!out.empty());
    double movedSum = 0.0, worstKept = 0.0;
    int moved = 0;
    const int row = out.rows / 2;
    for (int x = 0; x < out.cols; ++x) {
        const double v = in.at<unsigned short>(row, x) / 65535.0, change = out.at<unsigned short>(row, x) / 65535.0 - v;
        if (v >= movedFrom && v <= movedTo) {
            movedSum += change;
            ++moved;
        }
        if (v >= keptFrom && v <= keptTo)
            worstKept = std::max(worstKept, std::abs(change));
    }
    QVERIFY(moved > 10);
    QVERIFY2(movedSum / moved * value > 0.05, qPrintable(QString::number(movedSum / moved)));
    QVERIFY2(worstKept <= 0.02, qPrintable(QString::number(worstKept)));
}

void tst_Local::toneContrastChangesMidtoneSpread_data()
{
    QTest::addColumn<double>("contrast");
    QTest::newRow("contrast +1 spreads") << 1.0;
    QTest::newRow("contrast -1 gathers") << -1.0;
}

// A mid-tone ramp spreads out (its standard deviation grows) with more contrast and gathers
// with less.
void tst_Local::toneContrastChangesMidtoneSpread()
{
    QFETCH(double, contrast);
    const QImage ramp = greyPicture(512, 32, [](int x, int) { return 0.3 + 0.4 * x / 511.0; });
    cv::Mat in;
    const cv::Mat out = runLevel(ramp, "Tone", { { "contrast", contrast } }, 1, &in);
    QVERIFY(!out.empty());
    cv::Scalar mean, before, after;
    cv::meanStdDev(in, mean, before);
    cv::meanStdDev(out, mean, after);
    const double ratio = after[0] / before[0];
    QVERIFY2(contrast > 0 ? ratio > 1.1 : ratio < 0.9, qPrintable(QString::number(ratio)));
}

// A coloured patch lifted by shadows keeps its hue and saturation in the encoded sense: its
// colour differences grow by the same factor as its luminance.
void tst_Local::toneColourFollowsLuminanceGain()
{
    QImage picture(256, 64, QImage::Format_ARGB32);
    picture.fill(qRgb(90, 50, 40));
    EffectRun run(picture, "Tone", { { "shadows", 0.8 } });
    QVERIFY(run.ok);
    const TPImage &in = run.in(), &out = run.out();
    const double gain = cv::mean(out.m_lum)[0] / cv::mean(in.m_lum)[0];
    QVERIFY(gain > 1.2);
    for (const auto &planes : { std::make_pair(in.m_c1, out.m_c1), std::make_pair(in.m_c2, out.m_c2) }) {
        const double before = cv::mean(planes.first)[0] - 32768.0, after = cv::mean(planes.second)[0] - 32768.0;
        QVERIFY(std::abs(before) > 500.0);
        QVERIFY2(std::abs(after / before - gain) < 0.02 * gain, qPrintable(QString::number(after / before)));
    }
}

void tst_Local::clarityRaisesLocalContrastKeepsMean_data()
{
    QTest::addColumn<int>("dec");
    QTest::newRow("full") << 1;
    QTest::newRow("dec 3") << 3;
}

// On a textured mid-grey area, clarity +1 makes the texture stronger (a larger standard
// deviation in every tile) while each tile's mean stays within one percent.
void tst_Local::clarityRaisesLocalContrastKeepsMean()
{
    QFETCH(int, dec);
    const QImage texture = greyPicture(768, 384, [](int x, int y) {
        return 0.5 + 0.05 * std::sin(x * 0.11) * std::sin(y * 0.13) + 0.03 * std::sin((x + 2 * y) * 0.05);
    });
    cv::Mat in;
    const cv::Mat out = runLevel(texture, "Clarity", { { "amount", 1.0 }, { "radius", 40.0 } }, dec, &in);
    QVERIFY(!out.empty());
    const int tile = 96 / dec;
    for (int y = 0; y + tile <= out.rows; y += tile)
        for (int x = 0; x + tile <= out.cols; x += tile) {
            const cv::Rect area(x, y, tile, tile);
            cv::Scalar meanIn, stdIn, meanOut, stdOut;
            cv::meanStdDev(in(area), meanIn, stdIn);
            cv::meanStdDev(out(area), meanOut, stdOut);
            QVERIFY2(stdOut[0] > 1.25 * stdIn[0], qPrintable(QStringLiteral("%1 -> %2").arg(stdIn[0]).arg(stdOut[0])));
            QVERIFY2(std::abs(meanOut[0] - meanIn[0]) < haloTolerance,
                qPrintable(QStringLiteral("%1 -> %2").arg(meanIn[0]).arg(meanOut[0])));
        }
}

void tst_Local::guidedFilterMatchesDirectSums_data()
{
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("radius");
    QTest::addColumn<double>("eps");
    QTest::addColumn<bool>("decisive");
    QTest::newRow("1x1") << 1 << 1 << 2.0 << 0.01 << false;
    QTest::newRow("one row, fractional radius") << 23 << 1 << 1.5 << 0.01 << false;
    QTest::newRow("one column, decisive") << 1 << 19 << 3.0 << 0.001 << true;
    QTest::newRow("odd, radius 0") << 9 << 7 << 0.0 << 0.01 << false;
    QTest::newRow("odd, radius below one") << 13 << 11 << 0.4 << 0.01 << false;
    QTest::newRow("odd, fractional radius") << 31 << 17 << 2.6 << 0.003 << false;
    QTest::newRow("odd, fractional radius, decisive") << 31 << 17 << 2.6 << 0.003 << true;
    QTest::newRow("wide, integer radius") << 64 << 9 << 4.0 << 0.02 << false;
    QTest::newRow("radius larger than the plane") << 12 << 10 << 40.0 << 0.01 << false;
    QTest::newRow("radius larger than the plane, decisive") << 12 << 10 << 40.0 << 0.01 << true;
    QTest::newRow("radius between the sides") << 30 << 6 << 9.3 << 0.001 << false;
    QTest::newRow("tiny eps") << 17 << 15 << 3.0 << 1e-9 << false;
}

// The fitted base equals the filter computed from its definition with direct window sums
// in double. Float running sums stay within a few millionths of the plane's range.
void tst_Local::guidedFilterMatchesDirectSums()
{
    QFETCH(int, cols);
    QFETCH(int, rows);
    QFETCH(double, radius);
    QFETCH(double, eps);
    QFETCH(bool, decisive);
    std::mt19937 random(cols * 131 + rows);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> plane(std::size_t(cols * rows));
    // Flat regions, a step and noise, so that both kinds of window occur.
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            plane[std::size_t(y * cols + x)] = (x < cols / 2 ? 0.25 : 0.7) + 0.1 * uniform(random) * (y % 3 == 0);
    const std::vector<double> mean = referenceMeans(plane, cols, rows, radius);
    std::vector<double> squares(plane.size()), a(plane.size()), b(plane.size());
    for (std::size_t i = 0; i < plane.size(); ++i)
        squares[i] = plane[i] * plane[i];
    const std::vector<double> meanOfSquares = referenceMeans(squares, cols, rows, radius);
    for (std::size_t i = 0; i < plane.size(); ++i) {
        const double variance = std::max(meanOfSquares[i] - mean[i] * mean[i], 0.0);
        const double fitted = variance / (variance + std::max(eps, 1e-12));
        a[i] = decisive ? fitted * fitted / (fitted * fitted + (1.0 - fitted) * (1.0 - fitted)) : fitted;
        b[i] = mean[i] * (1.0 - a[i]);
    }
    const std::vector<double> meanA = referenceMeans(a, cols, rows, radius),
                              meanB = referenceMeans(b, cols, rows, radius);

    const std::vector<float> input(plane.begin(), plane.end());
    GuidedFilter filter;
    QVERIFY(filter.fit(input.data(), cols, rows, float(radius), float(eps), decisive));
    QCOMPARE(filter.cols(), cols);
    QCOMPARE(filter.rows(), rows);
    std::vector<float> base(plane.size());
    filter.base(input.data(), base.data());
    double worst = 0.0;
    for (std::size_t i = 0; i < plane.size(); ++i)
        worst = std::max(worst, std::abs(base[i] - (meanA[i] * plane[i] + meanB[i])));
    QVERIFY2(worst < 2e-5, qPrintable(QString::number(worst)));
}

// Bad arguments fail without touching memory they do not own.
void tst_Local::guidedFilterRejectsBadInput()
{
    const float plane[4] = { 0.1f, 0.2f, 0.3f, 0.4f };
    GuidedFilter filter;
    QVERIFY(!filter.fit(nullptr, 2, 2, 1.0f, 0.01f));
    QVERIFY(!filter.fit(plane, 0, 2, 1.0f, 0.01f));
    QVERIFY(!filter.fit(plane, 2, -1, 1.0f, 0.01f));
    QVERIFY(!filter.fit(plane, 2, 2, NAN, 0.01f));
    QVERIFY(!filter.fit(plane, 2, 2, 1.0f, INFINITY));
    QVERIFY(filter.fit(plane, 2, 2, -3.0f, -1.0f));
    float base[4];
    filter.base(plane, base);
    // Radius 0: every window is one sample, which fits itself exactly.
    for (int i = 0; i < 4; ++i)
        QVERIFY(std::abs(base[i] - plane[i]) < 1e-6f);
}

FX_REGISTER_TEST(tst_Local)
#include "tst_local.moc"
