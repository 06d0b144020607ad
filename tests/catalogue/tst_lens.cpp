// Vignette: what it does at the centre and the corners, its symmetry and shape, that a view
// places it on the whole picture, and that it keeps hues.
#include "catalogueharness.h"
#include "patches.h"
#include "testregistry.h"

#include <QtTest>
#include <cmath>
#include <tfx.h>
#include <tpimage.h>

namespace {
QImage flat(int width, int height, QRgb colour)
{
    return makePicture(width, height, [=](int, int) { return colour; });
}

struct VignetteRun : EffectRun {
    VignetteRun(const QImage &picture, const Settings &settings)
        : EffectRun(picture, "Vignette", settings)
    {
    }
};

int lumaAt(const TPImage &level, int x, int y) { return level.m_lum.at<unsigned short>(y, x); }

// Mean of the dec x dec block of a plane starting at (x, y), clipped to the plane.
double blockMean(const cv::Mat &plane, int x, int y, int dec)
{
    const cv::Rect block = cv::Rect(x, y, dec, dec) & cv::Rect(0, 0, plane.cols, plane.rows);
    return cv::mean(plane(block))[0];
}
}

class tst_Lens : public QObject {
    Q_OBJECT
private slots:
    void vignetteKeepsCentreChangesCorners_data();
    void vignetteKeepsCentreChangesCorners();
    void vignetteSymmetricAboutCentre_data();
    void vignetteSymmetricAboutCentre();
    void vignettePlacedOnWholePicture_data();
    void vignettePlacedOnWholePicture();
    void vignetteRoundnessOneIsCircle();
    void vignetteKeepsHue();
};

void tst_Lens::vignetteKeepsCentreChangesCorners_data()
{
    QTest::addColumn<double>("amount");
    QTest::addColumn<double>("midpoint");
    QTest::newRow("darken, midpoint 0.5") << -1.0 << 0.5;
    QTest::newRow("brighten, midpoint 0.5") << 1.0 << 0.5;
    QTest::newRow("darken from the centre on") << -0.6 << 0.0;
    QTest::newRow("brighten from the centre on") << 0.4 << 0.0;
}

// The centre pixel of an odd-sized flat picture keeps its value to within a level; the
// corners go the way the amount says, each step towards them further than the one before.
void tst_Lens::vignetteKeepsCentreChangesCorners()
{
    QFETCH(double, amount);
    QFETCH(double, midpoint);
    const int width = 301, height = 201;
    VignetteRun run(flat(width, height, qRgb(90, 90, 90)), { { "amount", amount }, { "midpoint", midpoint } });
    QVERIFY(run.ok);
    QVERIFY(std::abs(lumaAt(run.out(), width / 2, height / 2) - lumaAt(run.in(), width / 2, height / 2)) <= 1);
    const double original = lumaAt(run.in(), 0, 0);
    double previous = original;
    // Along the diagonal from the centre out, the change grows (not necessarily strictly,
    // inside the midpoint it is nil) and ends well away from the original at the corner.
    for (int step = 0; step <= 10; ++step) {
        const int x = width / 2 - step * (width / 2) / 10, y = height / 2 - step * (height / 2) / 10;
        const double value = lumaAt(run.out(), x, y);
        QVERIFY2(amount < 0 ? value <= previous + 1 : value >= previous - 1, qPrintable(QString::number(step)));
        previous = value;
    }
    for (const QPoint corner :
        { QPoint(0, 0), QPoint(width - 1, 0), QPoint(0, height - 1), QPoint(width - 1, height - 1) }) {
        const double value = lumaAt(run.out(), corner.x(), corner.y());
        QVERIFY2(amount < 0 ? value < original * (1.0 + 0.3 * amount) : value > original * (1.0 + 0.3 * amount),
            qPrintable(QStringLiteral("%1 -> %2").arg(original).arg(value)));
    }
}

void tst_Lens::vignetteSymmetricAboutCentre_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("roundness");
    QTest::newRow("odd size, frame's ellipse") << 151 << 97 << 0.0;
    QTest::newRow("even size, circle") << 160 << 90 << 1.0;
    QTest::newRow("even size, rounded rectangle") << 120 << 200 << -1.0;
    QTest::newRow("odd by even, halfway to a circle") << 99 << 64 << 0.5;
}

// A flat picture comes out mirror-symmetric left to right and top to bottom, to within a level.
void tst_Lens::vignetteSymmetricAboutCentre()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, roundness);
    VignetteRun run(flat(width, height, qRgb(120, 120, 120)),
        { { "amount", -0.8 }, { "midpoint", 0.2 }, { "roundness", roundness }, { "feather", 0.4 } });
    QVERIFY(run.ok);
    const cv::Mat &out = run.out().m_lum;
    cv::Mat mirrored;
    cv::flip(out, mirrored, 1);
    QVERIFY(cv::norm(out, mirrored, cv::NORM_INF) <= 1.0);
    cv::flip(out, mirrored, 0);
    QVERIFY(cv::norm(out, mirrored, cv::NORM_INF) <= 1.0);
    // And it did something: the corners differ from the centre.
    QVERIFY(lumaAt(run.out(), width / 2, height / 2) - lumaAt(run.out(), 0, 0) > 1000);
}

void tst_Lens::vignettePlacedOnWholePicture_data()
{
    QTest::addColumn<int>("dec");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("dec 1, off the origin") << 1 << 120 << 46;
    QTest::newRow("dec 2, at the origin") << 2 << 0 << 0;
    QTest::newRow("dec 2, off the origin") << 2 << 200 << 100;
    QTest::newRow("dec 3, odd blocks") << 3 << 34 << 58;
    QTest::newRow("dec 4, bottom right") << 4 << 240 << 160;
}

// A view's sample gets the gain of its place in the whole picture: on a flat coloured picture
// every luminance and colour sample of a view equals the mean of its block of the full-resolution
// result (the gain varies so slowly that a block's mean and its centre's value agree to a few
// levels, while a view placed wrongly by even a few pixels is off by tens).
void tst_Lens::vignettePlacedOnWholePicture()
{
    QFETCH(int, dec);
    QFETCH(int, x);
    QFETCH(int, y);
    const int width = 480, height = 320;
    VignetteRun run(flat(width, height, qRgb(170, 120, 80)),
        { { "amount", -0.8 }, { "midpoint", 0.1 }, { "roundness", 0.3 }, { "feather", 0.5 } });
    QVERIFY(run.ok);
    const TRoi roi((width - x) / dec, (height - y) / dec, x, y, dec);
    run.host.setView(TIm::CImView1, roi);
    QVERIFY(run.host.run({ TIm::CImView1 }));
    const TPImage &full = run.out(), &view = run.out(TIm::CImView1);
    QCOMPARE(view.m_lum.cols, roi.width());
    double worstLuma = 0.0, worstColour = 0.0;
    for (int row = 0; row < view.m_lum.rows; ++row)
        for (int col = 0; col < view.m_lum.cols; ++col)
            worstLuma = std::max(worstLuma,
                std::abs(view.m_lum.at<unsigned short>(row, col)
                    - blockMean(full.m_lum, roi.x() + col * dec, roi.y() + row * dec, dec)));
    for (int row = 0; row < view.m_c1.rows; ++row)
        for (int col = 0; col < view.m_c1.cols; ++col) {
            const int blockX = roi.x() / 2 + col * dec, blockY = roi.y() / 2 + row * dec;
            worstColour = std::max(worstColour,
                std::abs(view.m_c1.at<unsigned short>(row, col) - blockMean(full.m_c1, blockX, blockY, dec)));
            worstColour = std::max(worstColour,
                std::abs(view.m_c2.at<unsigned short>(row, col) - blockMean(full.m_c2, blockX, blockY, dec)));
        }
    QVERIFY2(worstLuma <= 8.0, qPrintable(QString::number(worstLuma)));
    QVERIFY2(worstColour <= 8.0, qPrintable(QString::number(worstColour)));
}

// At roundness +1 the fall-off depends on the distance from the centre alone, even on a picture
// twice as wide as high; at roundness 0 the same distances differ, the shape following the frame.
void tst_Lens::vignetteRoundnessOneIsCircle()
{
    const int width = 400, height = 200;
    const Settings common = { { "amount", -1.0 }, { "midpoint", 0.0 }, { "feather", 0.8 } };
    VignetteRun circle(flat(width, height, qRgb(150, 150, 150)), common + Settings { { "roundness", 1.0 } });
    VignetteRun frame(flat(width, height, qRgb(150, 150, 150)), common + Settings { { "roundness", 0.0 } });
    QVERIFY(circle.ok && frame.ok);
    for (const int distance : { 30, 60, 90 }) {
        const int across = lumaAt(circle.out(), width / 2 + distance, height / 2);
        const int down = lumaAt(circle.out(), width / 2, height / 2 + distance);
        QVERIFY2(
            std::abs(across - down) <= 1, qPrintable(QStringLiteral("%1: %2 %3").arg(distance).arg(across).arg(down)));
        QVERIFY(across < lumaAt(circle.in(), width / 2 + distance, height / 2));
        const int frameAcross = lumaAt(frame.out(), width / 2 + distance, height / 2);
        const int frameDown = lumaAt(frame.out(), width / 2, height / 2 + distance);
        QVERIFY2(frameAcross - frameDown > 100,
            qPrintable(QStringLiteral("%1: %2 %3").arg(distance).arg(frameAcross).arg(frameDown)));
    }
}

// The change is a gain on light: at a corner, the encoded R, G and B all change by the same
// factor, so the hue stays; and the factor is the luminance's.
void tst_Lens::vignetteKeepsHue()
{
    const int width = 200, height = 130;
    VignetteRun run(flat(width, height, qRgb(200, 130, 70)), { { "amount", -1.0 }, { "midpoint", 0.2 } });
    QVERIFY(run.ok);
    for (const QPoint corner : { QPoint(1, 1), QPoint(width - 2, height - 2), QPoint(width / 5, height / 6) }) {
        const Patches::Patch before = Patches::at(run.in(), corner.x(), corner.y()),
                             after = Patches::at(run.out(), corner.x(), corner.y());
        const double gain
            = double(lumaAt(run.out(), corner.x(), corner.y())) / lumaAt(run.in(), corner.x(), corner.y());
        QVERIFY(gain < 0.9);
        QVERIFY2(std::abs(after.r / before.r - gain) < 0.01 && std::abs(after.g / before.g - gain) < 0.01
                && std::abs(after.b / before.b - gain) < 0.01,
            qPrintable(QStringLiteral("gain %1: r %2 g %3 b %4")
                           .arg(gain)
                           .arg(after.r / before.r)
                           .arg(after.g / before.g)
                           .arg(after.b / before.b)));
    }
}

FX_REGISTER_TEST(tst_Lens)
#include "tst_lens.moc"
