// The brush-mask engine: queueing before a picture, dabs and strokes, colour sensitivity,
// gradients and super-masks through the blend modes, the change flag, undo and its memory
// bound, the edge-aware post-filter and the view of the mask at a level's resolution.
#include "coretestsupport.h"
#include "tdrawmask.h"
#include "testregistry.h"
#include "tpimage.h"

#include <vector>

namespace {
using Script = std::function<void(TDrawMask &)>;

// A picture of flat neutral grey at the given 16-bit luma.
TPImage greyPicture(int w, int h, int luma = 32768)
{
    TPImage image(w, h);
    image.m_lum.setTo(luma);
    image.m_c1.setTo(32768);
    image.m_c2.setTo(32768);
    return image;
}

// Same luma everywhere; blue (B above luma, R below) left of x = split, red right of it.
TPImage blueRedPicture(int w, int h, int split)
{
    TPImage image = greyPicture(w, h);
    image.m_c1.colRange(0, split / 2).setTo(32768 + 8000);
    image.m_c2.colRange(0, split / 2).setTo(32768 - 3000);
    image.m_c1.colRange(split / 2, image.m_c1.cols).setTo(32768 - 5000);
    image.m_c2.colRange(split / 2, image.m_c2.cols).setTo(32768 + 8000);
    return image;
}

int px(const TDrawMask &m, int x, int y) { return m.mask().at<uchar>(y, x); }

// Smallest and largest mask value of column x.
std::pair<int, int> columnRange(const cv::Mat &mask, int x)
{
    double lo = 0, hi = 0;
    cv::minMaxLoc(mask.col(x), &lo, &hi);
    return { int(lo), int(hi) };
}

// Stroke number i of a seeded series: five overlapping dabs of radius 80 at a random place.
void randomStroke(TDrawMask &m, cv::RNG &rng)
{
    const int x = rng.uniform(0, 5600), y = rng.uniform(0, 3900), value = rng.uniform(0, 200);
    m.cmdDrawStart();
    for (int k = 0; k < 5; ++k)
        m.cmdDrawADot({ x + 40 * k, y }, uchar(value), 80, 40, 0.7f, false, false);
    m.cmdDrawEnd();
}

// A Gaussian of sigma radius / 3 over the kernel radius, edges repeated: the plain feather.
cv::Mat gaussianFeather(const cv::Mat &mask, int radius)
{
    // Along the rows, transposed: twice is both directions.
    const auto blurRows = [radius](const cv::Mat &in) {
        cv::Mat out(in.cols, in.rows, CV_64F);
        for (int y = 0; y < in.rows; ++y)
            for (int x = 0; x < in.cols; ++x) {
                double sum = 0, total = 0;
                for (int i = -radius; i <= radius; ++i) {
                    const double k = std::exp(-4.5 * i * i / double(radius * radius));
                    sum += k * in.at<double>(y, std::clamp(x + i, 0, in.cols - 1));
                    total += k;
                }
                out.at<double>(x, y) = sum / total;
            }
        return out;
    };
    cv::Mat in, out;
    mask.convertTo(in, CV_64F);
    blurRows(blurRows(in)).convertTo(out, CV_8U);
    return out;
}
}

Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(cv::Point)
Q_DECLARE_METATYPE(cv::Rect)
Q_DECLARE_METATYPE(std::vector<cv::Point3i>)

class tst_DrawMask : public QObject {
    Q_OBJECT
private slots:
    // Commands given before a picture wait: proc() answers false, keeps them and draws nothing;
    // once a picture is set they run in order. Without commands proc() succeeds.
    void maskCommandsWaitForPicture()
    {
        TDrawMask m;
        QVERIFY(m.proc());
        m.cmdSetValue(10);
        m.cmdInvert();
        QVERIFY(!m.proc());
        QVERIFY(!m.m_changed);
        QVERIFY(m.mask().empty());
        QCOMPARE(m.m_width, 0);
        const TPImage picture = greyPicture(30, 20);
        m.setInImage(&picture, false);
        QCOMPARE(m.m_width, 30);
        QCOMPARE(m.m_height, 20);
        QVERIFY(m.mask().empty());
        QVERIFY(m.proc());
        QVERIFY(m.m_changed);
        QCOMPARE(m.mask().size(), cv::Size(30, 20));
        QCOMPARE(px(m, 29, 19), 245); // set to 10, then inverted
    }

    void maskChangedFlag_data()
    {
        QTest::addColumn<Script>("setup");
        QTest::addColumn<Script>("action");
        QTest::addColumn<bool>("changed");
        const Script none = [](TDrawMask &) {};
        const Script drawn = [](TDrawMask &m) { m.cmdSetValue(100); };
        const auto row = [](const char *name, const Script &setup, bool changed, const Script &action) {
            QTest::newRow(name) << setup << action << changed;
        };
        row("first dab makes the mask", none, true, [](TDrawMask &m) { m.cmdDrawADot({ 5, 5 }, 255, 3); });
        row("dab of the value already there", drawn, false, [](TDrawMask &m) { m.cmdDrawADot({ 5, 5 }, 100, 3); });
        row("dab wholly outside", drawn, false, [](TDrawMask &m) { m.cmdDrawADot({ -50, 5 }, 0, 10); });
        row("edit and undo in one proc", drawn, false, [](TDrawMask &m) {
            m.cmdInvert();
            m.undo();
        });
        row("undo to no mask", drawn, true, [](TDrawMask &m) { m.undo(); });
        row("post-filter without mask", none, false, [](TDrawMask &m) { m.cmdPostFilter(5, 0.01f, 1, 1); });
        row("reset drops the mask", drawn, true, [](TDrawMask &m) { m.reset(); });
        row("reset without mask", none, false, [](TDrawMask &m) { m.reset(); });
        row("settings only", drawn, false, [](TDrawMask &m) {
            m.setMaskBlendMode(TDrawMask::BlendAdd);
            m.setMaskBlendValue(3);
            m.cmdSetColorPicker({ 1, 1 });
        });
    }

    // m_changed tells whether the mask (or whether there is one) differs after proc() from
    // before it.
    void maskChangedFlag()
    {
        QFETCH(Script, setup);
        QFETCH(Script, action);
        QFETCH(bool, changed);
        const TPImage picture = greyPicture(40, 30);
        TDrawMask m;
        m.setInImage(&picture, false);
        setup(m);
        QVERIFY(m.proc());
        action(m);
        QVERIFY(m.proc());
        QCOMPARE(m.m_changed, changed);
    }

    // One dab: full strength inside inRadius, easing off to nothing at the radius. Separate
    // dabs of flow 0.5 each cover half of what is left to the target.
    void dabFalloffAndFlow()
    {
        const TPImage picture = greyPicture(100, 100);
        TDrawMask m;
        m.setInImage(&picture, false);
        m.cmdDrawADot({ 50, 50 }, 0, 20); // inRadius 10
        QVERIFY(m.proc());
        QCOMPARE(px(m, 50, 50), 0);
        QCOMPARE(px(m, 60, 50), 0);
        QVERIFY2(std::abs(px(m, 65, 50) - 128) <= 1, qPrintable(QString::number(px(m, 65, 50)))); // halfway
        QCOMPARE(px(m, 70, 50), 255);
        for (int x = 50; x < 75; ++x)
            QVERIFY2(px(m, x + 1, 50) >= px(m, x, 50), qPrintable(msg("x %1: %2", x, px(m, x, 50))));
        QCOMPARE(px(m, 50, 30), 255);

        m.reset();
        double expected = 255;
        for (int dab = 1; dab <= 4; ++dab) {
            m.cmdDrawADot({ 50, 50 }, 0, 10, 10, 0.5f, false, false);
            QVERIFY(m.proc());
            expected /= 2;
            QVERIFY2(std::abs(px(m, 50, 50) - expected) <= 1,
                qPrintable(msg("after %1 dabs %2, expected %3", dab, px(m, 50, 50), expected)));
        }
    }

    void strokeThroughBlendModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("full"); // painting 200 over 100 at full strength
        QTest::newRow("replace") << int(TDrawMask::BlendReplace) << 200;
        QTest::newRow("add") << int(TDrawMask::BlendAdd) << 255;
        QTest::newRow("subtract") << int(TDrawMask::BlendSubtract) << 0;
        QTest::newRow("maximum") << int(TDrawMask::BlendMaximum) << 200;
        QTest::newRow("minimum") << int(TDrawMask::BlendMinimum) << 100;
    }

    // A stroke of dabs of flow 0.5 overlapping densely moves every pixel at most half way to the
    // mode's full result, however many of its dabs reach it, and undoes as one step; the same
    // dabs as separate strokes go further where they overlap.
    void strokeThroughBlendModes()
    {
        QFETCH(int, mode);
        QFETCH(int, full);
        const TPImage picture = greyPicture(200, 60);
        TDrawMask stroke, separate;
        for (TDrawMask *m : { &stroke, &separate }) {
            m->setInImage(&picture, false);
            m->cmdSetValue(100);
            m->setMaskBlendMode(mode);
            if (m == &stroke)
                m->cmdDrawStart();
            for (int x = 40; x <= 160; x += 4) {
                m->cmdDrawADot({ x, 30 }, 200, 20, 15, 0.5f, false, false);
                if (x % 20 == 0) // the stroke goes on across proc() calls
                    QVERIFY(m->proc());
            }
            m->cmdDrawEnd();
            QVERIFY(m->proc());
        }
        const int half = (100 + full + 1) / 2;
        const int lo = std::min(100, half), hi = std::max(100, half);
        double smallest = 0, largest = 0;
        cv::minMaxLoc(stroke.mask(), &smallest, &largest);
        QVERIFY2(smallest >= lo - 1 && largest <= hi + 1,
            qPrintable(msg("stroke spans %1..%2, allowed %3..%4", smallest, largest, lo, hi)));
        QVERIFY2(std::abs(px(stroke, 100, 30) - half) <= 1, qPrintable(QString::number(px(stroke, 100, 30))));
        if (full == 100) // nothing to paint in this mode
            return;
        QVERIFY2(std::abs(px(separate, 100, 30) - full) <= 2, qPrintable(QString::number(px(separate, 100, 30))));
        stroke.undo(); // the whole stroke is one step
        QVERIFY(stroke.proc());
        QCOMPARE(cv::countNonZero(stroke.mask() != 100), 0);
    }

    void colourSensitiveDab_data()
    {
        QTest::addColumn<bool>("sensitive");
        QTest::addColumn<bool>("pickRed");
        QTest::addColumn<bool>("bluePainted");
        QTest::addColumn<bool>("redPainted");
        QTest::newRow("colour of the centre") << true << false << true << false;
        QTest::newRow("picked red") << true << true << false << true;
        QTest::newRow("insensitive") << false << false << true << true;
    }

    // A hard dab across the border of a blue and a red region, centred on blue: with colour
    // sensitivity it paints only the colour it was told to (the centre's or the picked one).
    void colourSensitiveDab()
    {
        QFETCH(bool, sensitive);
        QFETCH(bool, pickRed);
        QFETCH(bool, bluePainted);
        QFETCH(bool, redPainted);
        const TPImage picture = blueRedPicture(200, 100, 100);
        TDrawMask m;
        m.setInImage(&picture, false);
        if (pickRed)
            m.cmdSetColorPicker({ 150, 50 });
        m.cmdDrawADot({ 90, 50 }, 0, 30, 30, 1.0f, sensitive, pickRed);
        QVERIFY(m.proc());
        for (const auto &[x, painted] : { std::pair(70, bluePainted), std::pair(98, bluePainted),
                 std::pair(102, redPainted), std::pair(115, redPainted) })
            QVERIFY2(painted ? px(m, x, 50) <= 1 : px(m, x, 50) >= 254, qPrintable(msg("x %1: %2", x, px(m, x, 50))));
    }

    void gradientShapes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<cv::Point>("start");
        QTest::addColumn<cv::Point>("end");
        // (x, y, expected) in pixels of a 100 x 80 picture; painting with blend value 200.
        QTest::addColumn<std::vector<cv::Point3i>>("probes");
        QTest::newRow("linear") << 0 << cv::Point(20, 10) << cv::Point(60, 10)
                                << std::vector<cv::Point3i> { { 0, 70, 200 }, { 20, 0, 200 }, { 40, 50, 100 },
                                       { 50, 5, 50 }, { 60, 79, 0 }, { 99, 0, 0 } };
        QTest::newRow("radial") << 1 << cv::Point(50, 40) << cv::Point(50, 0)
                                << std::vector<cv::Point3i> { { 50, 40, 200 }, { 70, 40, 100 }, { 50, 10, 50 },
                                       { 90, 40, 0 }, { 0, 0, 0 } };
        QTest::newRow("mirrored") << 2 << cv::Point(10, 40) << cv::Point(10, 60)
                                  << std::vector<cv::Point3i> { { 0, 40, 200 }, { 99, 40, 200 }, { 30, 30, 100 },
                                         { 30, 50, 100 }, { 5, 20, 0 }, { 5, 70, 0 } };
    }

    // Gradients paint the blend value times their ramp and (in replace mode) become the mask.
    void gradientShapes()
    {
        QFETCH(int, type);
        QFETCH(cv::Point, start);
        QFETCH(cv::Point, end);
        QFETCH(std::vector<cv::Point3i>, probes);
        const TPImage picture = greyPicture(100, 80);
        TDrawMask m;
        m.setInImage(&picture, false);
        m.setMaskBlendValue(200);
        m.cmdDrawGradientMask(start, end, type);
        QVERIFY(m.proc());
        QVERIFY(!m.mask().empty());
        for (const cv::Point3i &p : probes)
            QVERIFY2(std::abs(px(m, p.x, p.y) - p.z) <= 1,
                qPrintable(msg("(%1, %2): %3, expected %4", p.x, p.y, px(m, p.x, p.y), p.z)));
    }

    // A gradient is a preview until applied: the next one replaces it, "cancel" takes it away;
    // once applied, the next one combines with it through the blend mode.
    void gradientPreviewAndApply()
    {
        const TPImage picture = greyPicture(100, 20);
        TDrawMask m;
        m.setInImage(&picture, false);
        m.cmdDrawGradientMask({ 0, 0 }, { 50, 0 }, 0);
        m.cmdDrawGradientMask({ 99, 0 }, { 49, 0 }, 0); // replaces the first
        m.cmdDrawGradientMask({ 5, 5 }, { 5, 5 }, 0); // draws nothing, replaces nothing
        m.cmdDrawGradientMask({ 0, 0 }, { 50, 0 }, 7); // refused, replaces nothing
        QVERIFY(m.proc());
        QCOMPARE(px(m, 0, 5), 0);
        QCOMPARE(px(m, 99, 5), 255);
        m.applyButtonClicked(false);
        QVERIFY(m.proc());
        QVERIFY(m.m_changed);
        QVERIFY(m.mask().empty());

        m.cmdDrawGradientMask({ 0, 0 }, { 50, 0 }, 0);
        m.applyButtonClicked(true);
        m.setMaskBlendMode(TDrawMask::BlendMaximum);
        m.cmdDrawGradientMask({ 99, 0 }, { 49, 0 }, 0);
        m.applyButtonClicked(false); // cancels only the second
        m.cmdDrawGradientMask({ 99, 0 }, { 49, 0 }, 0);
        QVERIFY(m.proc());
        QCOMPARE(px(m, 0, 5), 255);
        QCOMPARE(px(m, 99, 5), 255);
        QVERIFY2(std::abs(px(m, 50, 5) - 5) <= 1, qPrintable(QString::number(px(m, 50, 5))));
    }

    void superMaskRegion_data()
    {
        QTest::addColumn<float>("colorAware");
        QTest::addColumn<bool>("inverted");
        QTest::addColumn<int>("onBlue"); // at the centre
        QTest::addColumn<int>("onRedNear"); // red, within the hard part of the shape
        QTest::addColumn<int>("far"); // outside the shape
        QTest::newRow("colour aware") << 1.0f << false << 255 << 0 << 0;
        QTest::newRow("colour ignored") << 0.0f << false << 255 << 255 << 0;
        QTest::newRow("inverted") << 1.0f << true << 0 << 255 << 255;
    }

    // The super-mask selects what lies near its centre and, as far as told, shares its colour.
    void superMaskRegion()
    {
        QFETCH(float, colorAware);
        QFETCH(bool, inverted);
        QFETCH(int, onBlue);
        QFETCH(int, onRedNear);
        QFETCH(int, far);
        const TPImage picture = blueRedPicture(200, 100, 100);
        TDrawMask m;
        m.setInImage(&picture, false);
        m.cmdDrawSuperMask({ 80, 50 }, 40, 1.0f, 10, colorAware, inverted);
        QVERIFY(m.proc());
        QCOMPARE(px(m, 80, 50), onBlue);
        QCOMPARE(px(m, 110, 50), onRedNear);
        QCOMPARE(px(m, 20, 50), far);
        QCOMPARE(px(m, 150, 95), far);
    }

    // Every step undoes and redoes to the exact pixels it came from; undoing the first step
    // leaves no mask; a snapshot splits a stroke; a new edit drops what could be redone.
    void undoRedoRestoresExactPixels()
    {
        const TPImage picture = blueRedPicture(150, 130, 64);
        TDrawMask m;
        m.setInImage(&picture, false);
        std::vector<cv::Mat> states { cv::Mat() };
        using M = TDrawMask &;
        const std::vector<Script> steps { [](M e) {
                                             e.cmdDrawADot({ 70, 60 }, 30, 25);
                                         },
            [](M e) {
                e.cmdDrawStart();
                e.cmdDrawADot({ 10, 10 }, 0, 20, 5, 0.6f, true, false);
                e.cmdDrawADot({ 40, 20 }, 0, 20, 5, 0.6f, true, false);
                e.snapshot();
            },
            [](M e) {
                e.cmdDrawADot({ 80, 30 }, 0, 20, 5, 0.6f, true, false);
                e.cmdDrawEnd();
            },
            [](M e) {
                e.cmdDrawGradientMask({ 0, 0 }, { 149, 129 }, 2);
            },
            [](M e) {
                e.cmdDrawSuperMask({ 30, 100 }, 30, 0.5f, 10, 1, false);
            },
            [](M e) { e.cmdPostFilter(8, 0.001f, 1, 1); }, [](M e) { e.cmdInvert(); }, [](M e) { e.cmdSetValue(7); } };
        for (const Script &step : steps) {
            step(m);
            QVERIFY(m.proc());
            QVERIFY(m.m_changed);
            states.push_back(m.mask().clone());
        }
        for (int i = int(states.size()) - 2; i >= 0; --i) {
            m.undo();
            QVERIFY(m.proc());
            FX_VERIFY_NO_MISMATCH(planeMismatch(m.mask(), states[std::size_t(i)], 0, msg("undone to %1", i)));
        }
        m.undo();
        QVERIFY(m.proc());
        QVERIFY(!m.m_changed);
        for (std::size_t i = 1; i < states.size(); ++i) {
            m.redo();
            QVERIFY(m.proc());
            FX_VERIFY_NO_MISMATCH(planeMismatch(m.mask(), states[i], 0, msg("redone to %1", i)));
        }
        m.undo();
        m.undo();
        m.cmdDrawADot({ 5, 5 }, 99, 3);
        m.redo();
        QVERIFY(m.proc());
        QCOMPARE(px(m, 5, 5), 99);
        m.undo();
        QVERIFY(m.proc());
        FX_VERIFY_NO_MISMATCH(planeMismatch(m.mask(), states[states.size() - 3], 0, "after the new edit's undo"));
    }

    // Thousands of strokes on a 24 MP mask: the history keeps within its bound (checked on the
    // process's resident memory), the oldest steps go, and what is left undoes exactly to
    // the state a replay of the strokes that were not undone gives.
    void undoHistoryStaysBounded()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's allocator keeps freed memory in quarantine");
#endif
        const int strokes = 2000;
        const TPImage picture = greyPicture(6000, 4000);
        TDrawMask m;
        m.setInImage(&picture, false);
        // No tile of a single value; the second proc also brings in the whole change check.
        m.cmdSetValue(0);
        QVERIFY(m.proc());
        m.cmdDrawGradientMask({ 0, 0 }, { 6000, 4000 }, 2);
        QVERIFY(m.proc());
        const std::size_t before = residentBytes();
        if (before == 0)
            QSKIP("no /proc/self/statm here");
        cv::RNG rng(7);
        for (int i = 0; i < strokes; ++i) {
            randomStroke(m, rng);
            if (i % 50 == 49)
                QVERIFY(m.proc());
        }
        const std::size_t grown = residentBytes() - before;
        QVERIFY2(grown < TDrawMask::undoLimit() + (16u << 20),
            qPrintable(msg("grew by %1 MiB for a limit of %2 MiB", grown >> 20, TDrawMask::undoLimit() >> 20)));
        int undone = 0;
        for (;; ++undone) {
            m.undo();
            QVERIFY(m.proc());
            if (!m.m_changed)
                break;
        }
        QVERIFY2(undone > 200 && undone < strokes, qPrintable(msg("%1 steps undone", undone)));

        TDrawMask replay;
        replay.setInImage(&picture, false);
        replay.cmdSetValue(0);
        replay.cmdDrawGradientMask({ 0, 0 }, { 6000, 4000 }, 2);
        cv::RNG again(7);
        for (int i = 0; i < strokes - undone; ++i)
            randomStroke(replay, again);
        QVERIFY(replay.proc());
        FX_VERIFY_NO_MISMATCH(planeMismatch(m.mask(), replay.mask(), 0, "oldest state left"));
    }

    // A mask painted 20 px past a vertical luminance edge snaps back to the edge: at least 90 %
    // 5 px inside, at most 10 % 5 px past it. A Gaussian feather of the same radius followed by
    // the same contrast curve does not (which shows the check can tell them apart).
    void postFilterSnapsToEdge()
    {
        const int w = 240, h = 80, edge = 120, radius = 80;
        const float contrast = 3.0f;
        TPImage picture = greyPicture(w, h);
        cv::Mat noise(h, w, CV_32S);
        cv::RNG(3).fill(noise, cv::RNG::UNIFORM, -600, 601);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.m_lum.at<ushort>(y, x) = ushort((x < edge ? 13000 : 52000) + noise.at<int>(y, x));
        TDrawMask m;
        m.setInImage(&picture, false);
        m.cmdDrawGradientMask({ edge + 10, 0 }, { edge + 30, 0 }, 0); // 50 % at 20 px past the edge
        QVERIFY(m.proc());
        const cv::Mat painted = m.mask().clone();
        m.cmdPostFilter(float(radius), 0.001f, contrast, 1.0f);
        QVERIFY(m.proc());
        const auto inside = columnRange(m.mask(), edge - 5), outside = columnRange(m.mask(), edge + 5);
        QVERIFY2(inside.first >= 230 && outside.second <= 25,
            qPrintable(msg(
                "5 px inside %1..%2, 5 px past %3..%4", inside.first, inside.second, outside.first, outside.second)));

        cv::Mat plain = gaussianFeather(painted, radius);
        plain.forEach<uchar>([contrast](uchar &v, const int *) {
            v = uchar(std::clamp(0.5 + (v / 255.0 - 0.5) * (1 + contrast), 0.0, 1.0) * 255 + 0.5);
        });
        QVERIFY2(columnRange(plain, edge + 5).second > 25,
            qPrintable(msg("Gaussian 5 px past the edge: %1", columnRange(plain, edge + 5).second)));
    }

    void maskRoiAveragesBlocks_data()
    {
        QTest::addColumn<cv::Rect>("rect");
        QTest::addColumn<int>("dec");
        const std::pair<const char *, cv::Rect> regions[]
            = { { "inside", { 4, 6, 40, 30 } }, { "oddOrigin", { 7, 3, 21, 13 } },
                  { "pastBottomRight", { 60, 50, 40, 40 } }, { "pastTopLeft", { -9, -5, 30, 20 } },
                  { "fullyOutside", { 200, -90, 12, 8 } }, { "coversAll", { -3, -3, 120, 90 } } };
        for (const auto &[name, rect] : regions)
            for (int dec : { 1, 3, 16, 20 })
                QTest::addRow("%s/dec%d", name, dec) << rect << dec;
    }

    // getMaskRoi: each sample the rounded mean (ties up) of the mask pixels of its 2dec x 2dec
    // block, blocks aligned with the colour planes (origin rounded down to even), cut at the
    // edge, wholly outside taking the nearest pixels.
    void maskRoiAveragesBlocks()
    {
        QFETCH(cv::Rect, rect);
        QFETCH(int, dec);
        const TPImage picture = blueRedPicture(97, 83, 40);
        TDrawMask m;
        m.setInImage(&picture, false);
        QVERIFY(m.getMaskRoi(rect, dec).empty());
        m.cmdDrawGradientMask({ 0, 0 }, { 90, 20 }, 2);
        m.cmdDrawADot({ 40, 40 }, 0, 30, 0, 0.8f, true, false);
        QVERIFY(m.proc());
        const int block = 2 * dec, x0 = int(std::floor(rect.x / 2.0)) * 2, y0 = int(std::floor(rect.y / 2.0)) * 2;
        cv::Mat expected((rect.height + 1) / 2, (rect.width + 1) / 2, CV_8UC1);
        for (int i = 0; i < int(expected.total()); ++i)
            expected.at<uchar>(i / expected.cols, i % expected.cols) = uchar(clampedBlockMean(
                m.mask(), y0 + i / expected.cols * block, x0 + i % expected.cols * block, block, block));
        FX_VERIFY_NO_MISMATCH(planeMismatch(m.getMaskRoi(rect, dec), expected));
        QVERIFY(m.getMaskRoi(cv::Rect(0, 0, 0, 5), dec).empty());
    }

    void badArgumentsAreRefused_data()
    {
        QTest::addColumn<Script>("call");
        QTest::addColumn<int>("traces");
        const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
        const auto row
            = [](const char *name, int traces, const Script &call) { QTest::newRow(name) << call << traces; };
        row("NaN flow", 1, [=](TDrawMask &m) { m.cmdDrawADot({ 5, 5 }, 0, 4, 2, nan, false, false); });
        row("infinite flow", 1, [=](TDrawMask &m) { m.cmdDrawADot({ 5, 5 }, 0, 4, 2, -inf, true, true); });
        row("blend mode 5", 1, [](TDrawMask &m) { m.setMaskBlendMode(5); });
        row("blend mode -1", 1, [](TDrawMask &m) { m.setMaskBlendMode(-1); });
        row("gradient type 3", 1, [](TDrawMask &m) { m.cmdDrawGradientMask({ 0, 0 }, { 9, 9 }, 3); });
        row("NaN super-mask", 1, [=](TDrawMask &m) { m.cmdDrawSuperMask({ 5, 5 }, 9, nan, 1, 1, 0); });
        row("infinite feather", 1, [=](TDrawMask &m) { m.cmdPostFilter(inf, 0.01f, 1, 1); });
        row("picker outside", 1, [](TDrawMask &m) { m.cmdSetColorPicker({ 20, 3 }); });
        row("radius 0", 0, [](TDrawMask &m) { m.cmdDrawADot({ 5, 5 }, 0, 0); });
        row("negative radius", 0, [](TDrawMask &m) { m.cmdDrawADot({ 5, 5 }, 0, -3, 2, 1, 0, 0); });
        row("dab far outside", 0, [](TDrawMask &m) { m.cmdDrawADot({ 1 << 30, -5 }, 0, 1000); });
        row("gradient of no length", 0, [](TDrawMask &m) { m.cmdDrawGradientMask({ 3, 3 }, { 3, 3 }, 1); });
        row("super-mask of size 0", 0, [](TDrawMask &m) { m.cmdDrawSuperMask({ 5, 5 }, 0, 1, 1, 1, 0); });
    }

    // Bad arguments are refused with one diagnostic each and quietly pointless ones do nothing;
    // neither makes a mask, and the queue goes on with the next command.
    void badArgumentsAreRefused()
    {
        QFETCH(Script, call);
        QFETCH(int, traces);
        const TPImage picture = greyPicture(16, 12);
        TDrawMask m;
        m.setInImage(&picture, false);
        DebugCounter debug;
        call(m);
        QVERIFY(m.proc());
        QCOMPARE(DebugCounter::count, traces);
        QVERIFY(!m.m_changed);
        QVERIFY(m.mask().empty());
        m.cmdDrawADot({ 8, 6 }, 0, 3, 3, 1, false, false);
        QVERIFY(m.proc());
        QCOMPARE(px(m, 8, 6), 0);
    }
};

FX_REGISTER_TEST(tst_DrawMask)
#include "tst_drawmask.moc"
