// Colour and BlackWhite, checked on uniform patches against what the pixel model says their
// planes mean.
#include "catalogueharness.h"
#include "patches.h"
#include "testregistry.h"
#include "tsampleimage.h"

#include <QtTest>
#include <cmath>
#include <tfx.h>
#include <tpimage.h>

namespace {
using Patches::linear;
using Patches::Patch;

const QList<QColor> &chart()
{
    static const QList<QColor> colours = { QColor(128, 128, 128), QColor(200, 40, 30), QColor(230, 200, 40),
        QColor(40, 160, 60), QColor(40, 180, 200), QColor(40, 60, 200), QColor(190, 50, 180), QColor(224, 172, 140),
        QColor(110, 140, 190), QColor(30, 30, 30), QColor(240, 240, 240) };
    return colours;
}
}

class tst_Colour : public QObject {
    Q_OBJECT
private slots:
    void colourSaturationMinusOneIsGrey_data();
    void colourSaturationMinusOneIsGrey();
    void colourWhiteBalanceShiftsTheRightChannels_data();
    void colourWhiteBalanceShiftsTheRightChannels();
    void colourVibranceFavoursDullColoursAndSparesSkin();
    void colourSaturationStaysInGamut();
    void blackWhiteDefaultsGiveLuminanceGrey();
    void blackWhiteSliderMovesItsOwnHue_data();
    void blackWhiteSliderMovesItsOwnHue();
    void blackWhiteTintIsWarmAndStrongestInMidtones();
};

void tst_Colour::colourSaturationMinusOneIsGrey_data()
{
    QTest::addColumn<double>("temperature");
    QTest::addColumn<double>("vibrance");
    QTest::newRow("saturation alone") << 0.0 << 0.0;
    QTest::newRow("with a warm balance") << 0.8 << 0.0;
    QTest::newRow("with vibrance") << 0.0 << 1.0;
}

// Saturation -1 leaves exactly neutral colour planes and the luminance as it was.
void tst_Colour::colourSaturationMinusOneIsGrey()
{
    QFETCH(double, temperature);
    QFETCH(double, vibrance);
    EffectRun pass(Patches::picture(chart()), "Colour",
        { { "saturation", -1.0 }, { "temperature", temperature }, { "vibrance", vibrance } });
    QVERIFY(pass.ok);
    QCOMPARE(offNeutral(pass.out().m_c1), 0.0);
    QCOMPARE(offNeutral(pass.out().m_c2), 0.0);
    QCOMPARE(maxDiff(pass.in().m_lum, pass.out().m_lum), 0.0);
    QVERIFY(offNeutral(pass.in().m_c2) > 1000.0);
}

void tst_Colour::colourWhiteBalanceShiftsTheRightChannels_data()
{
    QTest::addColumn<QString>("param");
    QTest::addColumn<double>("value");
    QTest::newRow("warmer") << "temperature" << 0.6;
    QTest::newRow("fully warm") << "temperature" << 1.0;
    QTest::newRow("cooler") << "temperature" << -0.5;
    QTest::newRow("magenta") << "tint" << 0.7;
    QTest::newRow("green") << "tint" << -0.7;
}

// Temperature scales linear red against linear blue: a warmer balance raises R / B of every
// colour, a cooler one lowers it; on a neutral grey, by 2^temperature as documented. Tint
// moves G against R and B the same way. Luminance does not change.
void tst_Colour::colourWhiteBalanceShiftsTheRightChannels()
{
    QFETCH(QString, param);
    QFETCH(double, value);
    EffectRun pass(Patches::picture(chart()), "Colour", { { param, value } });
    QVERIFY(pass.ok);
    QCOMPARE(maxDiff(pass.in().m_lum, pass.out().m_lum), 0.0);
    for (int i = 0; i < chart().size() - 2; ++i) {
        const Patch a = Patches::at(pass.in(), i), b = Patches::at(pass.out(), i);
        const double redBlue = (linear(b.r) / linear(b.b)) / (linear(a.r) / linear(a.b));
        const double greenMagenta = (linear(b.g) * linear(b.g) / (linear(b.r) * linear(b.b)))
            / (linear(a.g) * linear(a.g) / (linear(a.r) * linear(a.b)));
        const QString what = QString("patch %1: R/B x%2, G^2/RB x%3").arg(i).arg(redBlue).arg(greenMagenta);
        if (param == "temperature") {
            QVERIFY2(value > 0 ? redBlue > 1.05 : redBlue < 0.95, qPrintable(what));
            if (i == 0)
                QVERIFY2(std::abs(redBlue / std::exp2(value) - 1.0) < 0.02, qPrintable(what));
        } else {
            QVERIFY2(value > 0 ? greenMagenta < 0.95 : greenMagenta > 1.05, qPrintable(what));
        }
    }
}

// Vibrance lifts a dull colour's saturation more than a saturated one of the same hue, and a
// skin tone less than a blue of the same saturation; lowered, it mutes saturated colours most.
void tst_Colour::colourVibranceFavoursDullColoursAndSparesSkin()
{
    const QColor dullBlue(120, 130, 150), strongBlue(30, 60, 200), skin(224, 172, 140), skyBlue(110, 140, 190);
    const QList<QColor> colours = { dullBlue, strongBlue, skin, skyBlue };
    QList<double> raised, lowered;
    for (double vibrance : { 0.8, -0.8 }) {
        EffectRun pass(Patches::picture(colours), "Colour", { { "vibrance", vibrance } });
        QVERIFY(pass.ok);
        for (int i = 0; i < colours.size(); ++i)
            (vibrance > 0 ? raised : lowered)
                .append(Patches::at(pass.out(), i).chroma() / Patches::at(pass.in(), i).chroma());
        // The comparison of skin and blue needs equally saturated inputs.
        QVERIFY(std::abs(Patches::at(pass.in(), 2).saturation() - Patches::at(pass.in(), 3).saturation()) < 0.03);
    }
    const QString gains = QString("raised: dull %1, strong %2, skin %3, blue %4; lowered: dull %5, strong %6")
                              .arg(raised[0])
                              .arg(raised[1])
                              .arg(raised[2])
                              .arg(raised[3])
                              .arg(lowered[0])
                              .arg(lowered[1]);
    QVERIFY2(raised[0] > 1.3 && raised[0] - 1.0 > 2.0 * (raised[1] - 1.0), qPrintable(gains));
    QVERIFY2(raised[2] > 1.0 && raised[2] - 1.0 < 0.5 * (raised[3] - 1.0), qPrintable(gains));
    QVERIFY2(lowered[1] < lowered[0] && lowered[0] < 1.0, qPrintable(gains));
}

// More saturation never pushes an in-gamut colour far out of gamut, and still adds some
// saturation to colours near the gamut's edge rather than clipping them flat.
void tst_Colour::colourSaturationStaysInGamut()
{
    EffectRun pass(Patches::picture(chart()), "Colour", { { "saturation", 1.0 }, { "vibrance", 1.0 } });
    QVERIFY(pass.ok);
    for (int i = 1; i < chart().size() - 2; ++i) {
        const Patch a = Patches::at(pass.in(), i), b = Patches::at(pass.out(), i);
        if (std::min({ a.r, a.g, a.b }) < 0.0 || std::max({ a.r, a.g, a.b }) > 1.0)
            continue;
        const QString what
            = QString("patch %1: %2 %3 %4 -> %5 %6 %7").arg(i).arg(a.r).arg(a.g).arg(a.b).arg(b.r).arg(b.g).arg(b.b);
        QVERIFY2(std::min({ b.r, b.g, b.b }) > -0.003 && std::max({ b.r, b.g, b.b }) < 1.003, qPrintable(what));
        QVERIFY2(b.chroma() > 1.01 * a.chroma(), qPrintable(what));
    }
}

// At the defaults the picture becomes grey: every colour-plane sample is exactly neutral and
// the luminance is unchanged, in the full picture and in a view.
void tst_Colour::blackWhiteDefaultsGiveLuminanceGrey()
{
    CatalogueHarness host;
    QVERIFY(host.load(TSampleImage::generate(301, 203)));
    host.setView(TIm::CImView1, TRoi(100, 60, 33, 21, 2));
    TFx *fx = host.add("BlackWhite");
    QVERIFY(fx && fx->bParamsDefault());
    QVERIFY(host.run({ TIm::CImFull, TIm::CImView1 }));
    for (TIm::CImId cid : { TIm::CImFull, TIm::CImView1 }) {
        const TPImage &in = *host.image().ptr(cid), &out = *host.stack().outImagePtr()->ptr(cid);
        QVERIFY(offNeutral(in.m_c1) > 1000.0);
        QCOMPARE(std::max(offNeutral(out.m_c1), offNeutral(out.m_c2)), 0.0);
        QCOMPARE(maxDiff(in.m_lum, out.m_lum), 0.0);
    }
}

void tst_Colour::blackWhiteSliderMovesItsOwnHue_data()
{
    // Patches: grey, red, blue, green, yellow.
    QTest::addColumn<QString>("slider");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("brighter");
    QTest::addColumn<int>("darker");
    QTest::addColumn<int>("unchanged");
    QTest::newRow("red +1") << "red" << 1.0 << 1 << -1 << 2;
    QTest::newRow("red -1") << "red" << -1.0 << -1 << 1 << 2;
    QTest::newRow("blue +2") << "blue" << 2.0 << 2 << -1 << 1;
    QTest::newRow("green -2") << "green" << -2.0 << -1 << 3 << 2;
    QTest::newRow("yellow +1") << "yellow" << 1.0 << 4 << -1 << 2;
}

// A slider lightens or darkens the grey of colours of its hue and leaves a colour of a hue
// two sectors away, and neutral grey, exactly as they were.
void tst_Colour::blackWhiteSliderMovesItsOwnHue()
{
    QFETCH(QString, slider);
    QFETCH(double, value);
    QFETCH(int, brighter);
    QFETCH(int, darker);
    QFETCH(int, unchanged);
    const QList<QColor> colours = { QColor(128, 128, 128), QColor(210, 40, 40), QColor(40, 60, 210),
        QColor(50, 170, 50), QColor(220, 210, 40) };
    EffectRun pass(Patches::picture(colours), "BlackWhite", { { slider, value } });
    QVERIFY(pass.ok);
    QCOMPARE(offNeutral(pass.out().m_c1), 0.0);
    auto lumaChange = [&](int i) { return Patches::at(pass.out(), i).luma - Patches::at(pass.in(), i).luma; };
    QCOMPARE(lumaChange(0), 0.0);
    QCOMPARE(lumaChange(unchanged), 0.0);
    if (brighter >= 0)
        QVERIFY2(lumaChange(brighter) > 0.03, qPrintable(QString::number(lumaChange(brighter))));
    if (darker >= 0)
        QVERIFY2(lumaChange(darker) < -0.03, qPrintable(QString::number(lumaChange(darker))));
    for (int i = 0; i < colours.size(); ++i) {
        const double luma = Patches::at(pass.out(), i).luma;
        QVERIFY(luma > 0.0 && luma < 1.0);
    }
}

// Tint colours the grey warm (R above, B below the luminance), most in the midtones, none at
// tint 0.
void tst_Colour::blackWhiteTintIsWarmAndStrongestInMidtones()
{
    const QList<QColor> greys = { QColor(25, 25, 25), QColor(120, 120, 120), QColor(235, 235, 235) };
    EffectRun pass(Patches::picture(greys), "BlackWhite", { { "tint", 1.0 } });
    QVERIFY(pass.ok);
    const Patch dark = Patches::at(pass.out(), 0), mid = Patches::at(pass.out(), 1), light = Patches::at(pass.out(), 2);
    for (const Patch &p : { dark, mid, light })
        QVERIFY(p.r > p.luma && p.b < p.luma);
    QVERIFY(mid.chroma() > 1.5 * dark.chroma() && mid.chroma() > 1.5 * light.chroma());
    QCOMPARE(maxDiff(pass.in().m_lum, pass.out().m_lum), 0.0);
}

FX_REGISTER_TEST(tst_Colour)
#include "tst_colour.moc"
