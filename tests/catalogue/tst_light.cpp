// Exposure and Curves, checked on uniform patches against linear-light and control-point
// references computed here.
#include "catalogueharness.h"
#include "patches.h"
#include "testregistry.h"

#include <QtTest>
#include <cmath>
#include <tfx.h>
#include <tpimage.h>

Q_DECLARE_METATYPE(QList<QPointF>)

namespace {
using Patches::linear;
using Patches::Patch;
constexpr double maxSample = Patches::maxSample;

// A horizontal ramp of every 8-bit grey, two pixels per level so that blocks stay uniform.
QImage greyRamp()
{
    return makePicture(512, 4, [](int x, int) { return qRgb(x / 2, x / 2, x / 2); });
}

// (input, output) luminance pairs of a ramp's first row, sorted by input.
QList<QPair<int, int>> transferOf(EffectRun &run)
{
    QList<QPair<int, int>> pairs;
    for (int x = 0; x < run.in().m_lum.cols; ++x)
        pairs.append({ run.in().m_lum.at<unsigned short>(0, x), run.out().m_lum.at<unsigned short>(0, x) });
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}
}

class tst_Light : public QObject {
    Q_OBJECT
private slots:
    void exposureScalesLinearLight_data();
    void exposureScalesLinearLight();
    void exposureRecoveryKeepsHighlightsBelowWhite_data();
    void exposureRecoveryKeepsHighlightsBelowWhite();
    void curvesPassesThroughItsPoints_data();
    void curvesPassesThroughItsPoints();
    void curvesFlatCurveIsIdentity_data();
    void curvesFlatCurveIsIdentity();
    void curvesKeepsHueAndSaturation();
};

void tst_Light::exposureScalesLinearLight_data()
{
    QTest::addColumn<double>("ev");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("+1 EV mid grey") << 1.0 << QColor(100, 100, 100);
    QTest::newRow("+1 EV dull red") << 1.0 << QColor(120, 70, 60);
    QTest::newRow("+1 EV green") << 1.0 << QColor(40, 110, 50);
    QTest::newRow("-1 EV mid grey") << -1.0 << QColor(128, 128, 128);
    QTest::newRow("-1 EV blue") << -1.0 << QColor(60, 90, 200);
    QTest::newRow("-1 EV skin") << -1.0 << QColor(224, 172, 140);
    QTest::newRow("+0.5 EV light grey") << 0.5 << QColor(170, 170, 170);
    QTest::newRow("-3 EV light orange") << -3.0 << QColor(250, 170, 90);
}

// +1 EV doubles linear light (encoded^1.8) and -1 EV halves it, in the luminance and in each
// of R, G and B, so that hue and saturation stay.
void tst_Light::exposureScalesLinearLight()
{
    QFETCH(double, ev);
    QFETCH(QColor, colour);
    EffectRun run(Patches::picture({ colour }), "Exposure", { { "exposure", ev } });
    QVERIFY(run.ok);
    const Patch in = Patches::at(run.in(), 0), out = Patches::at(run.out(), 0);
    const double expected = std::exp2(ev);
    QVERIFY2(std::abs(linear(out.luma) / linear(in.luma) / expected - 1.0) < 0.02,
        qPrintable(QString("luminance ratio %1, expected %2").arg(linear(out.luma) / linear(in.luma)).arg(expected)));
    const Patch &a = in, &b = out;
    for (const auto &channel : { qMakePair(a.r, b.r), qMakePair(a.g, b.g), qMakePair(a.b, b.b) }) {
        if (channel.first < 0.05)
            continue;
        const double ratio = linear(channel.second) / linear(channel.first);
        QVERIFY2(std::abs(ratio / expected - 1.0) < 0.02, qPrintable(QString("channel ratio %1").arg(ratio)));
    }
}

void tst_Light::exposureRecoveryKeepsHighlightsBelowWhite_data()
{
    QTest::addColumn<double>("ev");
    QTest::addColumn<double>("recovery");
    QTest::newRow("+2 EV, full recovery") << 2.0 << 1.0;
    QTest::newRow("+1 EV, half recovery") << 1.0 << 0.5;
    QTest::newRow("+5 EV, full recovery") << 5.0 << 1.0;
    QTest::newRow("0 EV, full recovery") << 0.0 << 1.0;
}

// With recovery, a ramp of every grey comes out rising (strictly where the roll-off is not yet
// flatter than the 16-bit steps) and below white; without it the same exposure clips the top
// of the ramp (which shows the ramp reaches the highlights).
void tst_Light::exposureRecoveryKeepsHighlightsBelowWhite()
{
    QFETCH(double, ev);
    QFETCH(double, recovery);
    EffectRun rolled(greyRamp(), "Exposure", { { "exposure", ev }, { "recovery", recovery } });
    QVERIFY(rolled.ok);
    const QList<QPair<int, int>> pairs = transferOf(rolled);
    for (int i = 1; i < pairs.size(); ++i) {
        if (pairs[i].first == pairs[i - 1].first)
            continue;
        const bool strictly = ev <= 2.0;
        QVERIFY2(strictly ? pairs[i].second > pairs[i - 1].second : pairs[i].second >= pairs[i - 1].second,
            qPrintable(QString("input %1 -> %2 after %3 -> %4")
                           .arg(pairs[i - 1].first)
                           .arg(pairs[i - 1].second)
                           .arg(pairs[i].first)
                           .arg(pairs[i].second)));
    }
    QVERIFY(pairs.last().second < 65535);
    if (ev > 0.0) {
        EffectRun clipped(greyRamp(), "Exposure", { { "exposure", ev } });
        QVERIFY(clipped.ok);
        QCOMPARE(transferOf(clipped).last().second, 65535);
    }
}

void tst_Light::curvesPassesThroughItsPoints_data()
{
    // Control points as (x, offset); x is moved to the nearest luminance the ramp has.
    QTest::addColumn<QList<QPointF>>("points");
    QTest::addColumn<bool>("monotone");
    QTest::newRow("one point lifting the middle") << QList<QPointF> { { 0.5, 0.15 } } << true;
    QTest::newRow("soft S") << QList<QPointF> { { 0.25, -0.06 }, { 0.75, 0.06 } } << true;
    QTest::newRow("lifted shadows, lowered highlights") << QList<QPointF> { { 0.25, 0.1 }, { 0.7, -0.06 } } << true;
    QTest::newRow("points out of order") << QList<QPointF> { { 0.8, 0.05 }, { 0.2, 0.1 }, { 0.5, 0.12 } } << true;
    QTest::newRow("steep then flat") << QList<QPointF> { { 0.1, 0.4 }, { 0.3, 0.25 }, { 0.6, 0.05 } } << true;
    QTest::newRow("a dip that falls") << QList<QPointF> { { 0.4, 0.2 }, { 0.6, -0.15 } } << false;
    QTest::newRow("many close points") << QList<QPointF> { { 0.3, 0.02 }, { 0.32, 0.05 }, { 0.34, 0.03 },
        { 0.36, 0.06 } } << false;
}

// At each control point's input the output is input + offset. Between two neighbouring knots
// the output stays within their outputs (no overshoot), and a rising set of points gives a
// curve that never falls.
void tst_Light::curvesPassesThroughItsPoints()
{
    QFETCH(QList<QPointF>, points);
    QFETCH(bool, monotone);
    // The ramp's luminances, so that control points can sit exactly on pixels.
    EffectRun plain(greyRamp(), "Curves", {});
    QVERIFY(plain.ok);
    const QList<QPair<int, int>> ramp = transferOf(plain);
    QList<QPointF> snapped;
    for (const QPointF &p : points) {
        int best = ramp.first().first;
        for (const auto &pair : ramp)
            if (std::abs(pair.first - p.x() * maxSample) < std::abs(best - p.x() * maxSample))
                best = pair.first;
        snapped.append({ best / maxSample, p.y() });
    }
    EffectRun run(greyRamp(), "Curves", { { "curve", QVariant::fromValue(snapped) } });
    QVERIFY(run.ok);
    const QList<QPair<int, int>> pairs = transferOf(run);

    QMap<int, int> knots { { 0, 0 }, { 65535, 65535 } };
    for (const QPointF &p : snapped)
        knots[int(std::lround(p.x() * maxSample))] = int(std::lround((p.x() + p.y()) * maxSample));
    for (const auto &pair : pairs) {
        auto above = knots.lowerBound(pair.first);
        if (above.key() == pair.first) {
            QVERIFY2(std::abs(pair.second - above.value()) <= 2,
                qPrintable(QString("at %1: %2, expected %3").arg(pair.first).arg(pair.second).arg(above.value())));
            continue;
        }
        const int low = std::min(std::prev(above).value(), above.value());
        const int high = std::max(std::prev(above).value(), above.value());
        QVERIFY2(pair.second >= low - 1 && pair.second <= high + 1,
            qPrintable(QString("at %1: %2 outside %3..%4").arg(pair.first).arg(pair.second).arg(low).arg(high)));
    }
    for (int i = 1; monotone && i < pairs.size(); ++i)
        QVERIFY(pairs[i].second >= pairs[i - 1].second);
}

void tst_Light::curvesFlatCurveIsIdentity_data()
{
    QTest::addColumn<QList<QPointF>>("points");
    QTest::newRow("empty") << QList<QPointF>();
    QTest::newRow("points on the diagonal") << QList<QPointF> { { 0.2, 0.0 }, { 0.5, 0.0005 }, { 0.9, -0.0008 } };
    QTest::newRow("after a real curve") << QList<QPointF> {};
}

// A curve without offsets changes no bit, also after a curve that did change the picture.
void tst_Light::curvesFlatCurveIsIdentity()
{
    QFETCH(QList<QPointF>, points);
    const QImage picture = Patches::picture({ QColor(20, 30, 40), QColor(200, 120, 60), QColor(128, 128, 128) });
    CatalogueHarness host;
    QVERIFY(host.load(picture));
    TFx *fx = host.add("Curves");
    QVERIFY(fx);
    if (QByteArray(QTest::currentDataTag()) == "after a real curve") {
        QVERIFY(CatalogueHarness::set(fx, "curve", QVariant::fromValue(QList<QPointF> { { 0.4, 0.2 } })));
        QVERIFY(host.run({ TIm::CImFull }));
        QVERIFY(host.result(TIm::CImFull) != host.source(TIm::CImFull));
    }
    QVERIFY(CatalogueHarness::set(fx, "curve", QVariant::fromValue(points)));
    QVERIFY(host.run({ TIm::CImFull }));
    QCOMPARE(levelDiff(*host.image().ptr(TIm::CImFull), *host.stack().outImagePtr()->ptr(TIm::CImFull)), 0.0);
}

// A curve changes luminance; the encoded R : G : B proportions of a colour stay (within the
// rounding of the colour gain's steps), so hue and saturation are kept.
void tst_Light::curvesKeepsHueAndSaturation()
{
    const QList<QColor> colours
        = { QColor(180, 60, 40), QColor(50, 90, 170), QColor(90, 160, 70), QColor(224, 172, 140) };
    EffectRun run(
        Patches::picture(colours), "Curves", { { "curve", QVariant::fromValue(QList<QPointF> { { 0.4, 0.12 } }) } });
    QVERIFY(run.ok);
    for (int i = 0; i < colours.size(); ++i) {
        const Patch a = Patches::at(run.in(), i), b = Patches::at(run.out(), i);
        const double gain = b.g / a.g;
        QVERIFY2(gain > 1.02, qPrintable(QString("patch %1 not lifted (%2)").arg(i).arg(gain)));
        QVERIFY2(std::abs(b.r / a.r / gain - 1.0) < 0.01 && std::abs(b.b / a.b / gain - 1.0) < 0.01,
            qPrintable(QString("patch %1: R x%2, G x%3, B x%4").arg(i).arg(b.r / a.r).arg(gain).arg(b.b / a.b)));
    }
}

FX_REGISTER_TEST(tst_Light)
#include "tst_light.moc"
