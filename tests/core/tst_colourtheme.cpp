// The colour theme of MHist on pictures whose answer is known, and the colour arithmetic
// it stands on.
#include "analysisreference.h"
#include "displaycolour.h"
#include "mhist.h"
#include "testdata.h"
#include "testregistry.h"

#include <QImage>
#include <QRegularExpression>
#include <QtTest>
#include <cmath>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(cv::Mat)

namespace {

struct Theme {
    bool ok = false;
    QString palette, tone, colours;
};

// The analysis planes of a picture, as 16-bit or brought down to 8 bits.
cv::Mat mergedPlanes(const QImage &picture, int depth)
{
    std::vector<cv::Mat> planes = AnalysisReference::analysisPlanes(picture);
    if (depth == 8) {
        for (int p = 0; p < 3; ++p) {
            cv::Mat narrow(planes[0].size(), CV_8UC1);
            for (int y = 0; y < narrow.rows; ++y) {
                for (int x = 0; x < narrow.cols; ++x) {
                    const int v = planes[std::size_t(p)].at<unsigned short>(y, x);
                    const int n = p == 0 ? int(std::lround(v / 257.0)) : 128 + int(std::lround((v - 32768) / 257.0));
                    narrow.at<unsigned char>(y, x) = static_cast<unsigned char>(std::clamp(n, 0, 255));
                }
            }
            planes[std::size_t(p)] = narrow;
        }
    }
    cv::Mat merged;
    cv::merge(planes, merged);
    return merged;
}

Theme themeOf(const QImage &picture, int depth = 16)
{
    std::string s1, s2, s3;
    MHist hist;
    Theme theme;
    theme.ok = hist.computeColorTheme(mergedPlanes(picture, depth), s1, s2, s3);
    theme.palette = QString::fromStdString(s1);
    theme.tone = QString::fromStdString(s2);
    theme.colours = QString::fromStdString(s3);
    return theme;
}

// Vertical bands of colours, each as many columns wide as given.
QImage bands(const std::vector<std::pair<QColor, int>> &parts, int height)
{
    int width = 0;
    for (const auto &part : parts)
        width += part.second;
    QImage image(width, height, QImage::Format_RGB32);
    int x0 = 0;
    for (const auto &part : parts) {
        for (int y = 0; y < height; ++y)
            for (int x = x0; x < x0 + part.second; ++x)
                image.setPixel(x, y, part.first.rgb());
        x0 += part.second;
    }
    return image;
}

// Greys from first to last, left to right.
QImage greyRamp(int width, int height, int first = 0, int last = 255)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x) {
        const int v = width > 1 ? first + (last - first) * x / (width - 1) : first;
        for (int y = 0; y < height; ++y)
            image.setPixel(x, y, qRgb(v, v, v));
    }
    return image;
}

struct PaletteEntry {
    QColor colour;
    int percent;
};

// The palette's entries; fails the format check when the text is not "#rrggbb N%, ...".
bool parsePalette(const QString &text, std::vector<PaletteEntry> &entries)
{
    static const QRegularExpression whole(QStringLiteral("^#[0-9a-f]{6} \\d{1,3}%(, #[0-9a-f]{6} \\d{1,3}%){0,4}$"));
    if (!whole.match(text).hasMatch())
        return false;
    for (const QString &item : text.split(QStringLiteral(", "))) {
        const QStringList parts = item.split(QLatin1Char(' '));
        entries.push_back({ QColor(parts[0]), parts[1].chopped(1).toInt() });
    }
    return true;
}

bool bNear(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

}

class tst_ColourTheme : public QObject {
    Q_OBJECT
private slots:
    void conversionMatchesPublishedMatrices();
    void paletteFindsFlatColours_data();
    void paletteFindsFlatColours();
    void paletteHoldsAtMostFiveMostFrequentFirst();
    void greyRampIsNeutralMonochrome_data();
    void greyRampIsNeutralMonochrome();
    void toneReadsKeyAndContrast_data();
    void toneReadsKeyAndContrast();
    void colourCharacter_data();
    void colourCharacter();
    void coffeeReadsWarm();
    void themeIsDeterministicAndSurvivesText();
    void themeRejectsBadInput_data();
    void themeRejectsBadInput();
};

void tst_ColourTheme::conversionMatchesPublishedMatrices()
{
    // White maps to Lab white, and to sRGB white.
    const DisplayColour::Colour white = DisplayColour::fromPlanes(65535, 32768, 32768);
    QVERIFY(std::abs(white.lab[0] - 100.0) < 1e-6 && std::abs(white.lab[1]) < 1e-6 && std::abs(white.lab[2]) < 1e-6);
    for (double c : white.srgb)
        QVERIFY(std::abs(c - 1.0) < 1e-4);
    // Plane values over the range against the published matrices, within their precision.
    for (int l = 0; l <= 65535; l += 4369) {
        for (int c1 = 24576; c1 <= 40960; c1 += 2048) {
            for (int c2 = 24576; c2 <= 40960; c2 += 2048) {
                double pro[3], expected[3];
                AnalysisReference::planesToProPhoto(l, c1, c2, pro);
                AnalysisReference::proPhotoToSrgb(pro, expected);
                const DisplayColour::Colour colour = DisplayColour::fromPlanes(l, c1, c2);
                for (int i = 0; i < 3; ++i)
                    QVERIFY2(std::abs(colour.srgb[i] - expected[i]) < 2e-4,
                        qPrintable(QStringLiteral("%1 %2 %3").arg(l).arg(c1).arg(c2)));
            }
        }
    }
}

void tst_ColourTheme::paletteFindsFlatColours_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QColor>("first");
    QTest::addColumn<QColor>("second");
    QTest::addColumn<double>("firstArea");
    const QColor orange(230, 120, 30), blue(40, 90, 200), teal(0, 128, 128), magenta(200, 0, 150);
    const QColor darkRed(120, 20, 25), paleYellow(250, 240, 170), grey(128, 128, 128), green(60, 170, 70);
    for (int depth : { 16, 8 }) {
        QTest::addRow("%d-bit orange 70%% and blue 30%%", depth)
            << bands({ { orange, 70 }, { blue, 30 } }, 60) << orange << blue << 70.0;
        // The boundary falls inside a 2x2 block; that one column of mixed blocks is too
        // small to count as a colour.
        QTest::addRow("%d-bit teal and magenta halves, odd size", depth)
            << bands({ { teal, 151 }, { magenta, 150 } }, 61) << teal << magenta << 100.0 * 151 / 301;
        QTest::addRow("%d-bit pale yellow 15%% beside dark red", depth)
            << bands({ { darkRed, 170 }, { paleYellow, 30 } }, 40) << darkRed << paleYellow << 85.0;
        QTest::addRow("%d-bit flat grey", depth) << bands({ { grey, 64 } }, 64) << grey << QColor() << 100.0;
        QTest::addRow("%d-bit 1x1", depth) << bands({ { green, 1 } }, 1) << green << QColor() << 100.0;
    }
}

void tst_ColourTheme::paletteFindsFlatColours()
{
    QFETCH(QImage, picture);
    QFETCH(QColor, first);
    QFETCH(QColor, second);
    QFETCH(double, firstArea);
    const int depth = QString::fromLatin1(QTest::currentDataTag()).startsWith(QLatin1String("8")) ? 8 : 16;
    // 8-bit colour planes step the colour differences by 1/128 of their range, which the
    // conversion to sRGB magnifies in dark channels of saturated colours.
    const int tolerance = depth == 16 ? 2 : 8;
    const Theme theme = themeOf(picture, depth);
    QVERIFY(theme.ok);
    std::vector<PaletteEntry> entries;
    QVERIFY2(parsePalette(theme.palette, entries), qPrintable(theme.palette));
    QCOMPARE(int(entries.size()), second.isValid() ? 2 : 1);
    QVERIFY2(bNear(entries[0].colour, first, tolerance), qPrintable(theme.palette));
    QVERIFY2(std::abs(entries[0].percent - firstArea) <= 1.0, qPrintable(theme.palette));
    if (second.isValid()) {
        QVERIFY2(bNear(entries[1].colour, second, tolerance), qPrintable(theme.palette));
        QVERIFY2(std::abs(entries[1].percent - (100.0 - firstArea)) <= 1.0, qPrintable(theme.palette));
    }
}

void tst_ColourTheme::paletteHoldsAtMostFiveMostFrequentFirst()
{
    const QImage picture
        = bands({ { QColor(20, 40, 160), 40 }, { QColor(230, 200, 40), 90 }, { QColor(200, 30, 30), 60 },
                    { QColor(30, 160, 60), 50 }, { QColor(240, 240, 240), 30 }, { QColor(20, 20, 20), 20 },
                    { QColor(150, 60, 170), 10 } },
            20);
    const Theme theme = themeOf(picture);
    std::vector<PaletteEntry> entries;
    QVERIFY2(parsePalette(theme.palette, entries), qPrintable(theme.palette));
    QCOMPARE(int(entries.size()), 5);
    for (std::size_t i = 1; i < entries.size(); ++i)
        QVERIFY2(entries[i - 1].percent >= entries[i].percent, qPrintable(theme.palette));
    // The widest band leads.
    QVERIFY2(bNear(entries[0].colour, QColor(230, 200, 40), 2), qPrintable(theme.palette));
}

void tst_ColourTheme::greyRampIsNeutralMonochrome_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("depth");
    QTest::newRow("16-bit 256x16") << greyRamp(256, 16) << 16;
    QTest::newRow("8-bit 256x16") << greyRamp(256, 16) << 8;
    QTest::newRow("16-bit 33x7 odd") << greyRamp(33, 7) << 16;
    QTest::newRow("16-bit vertical 3x200") << greyRamp(200, 3).transformed(QTransform().rotate(90)) << 16;
}

void tst_ColourTheme::greyRampIsNeutralMonochrome()
{
    QFETCH(QImage, picture);
    QFETCH(int, depth);
    const Theme theme = themeOf(picture, depth);
    QVERIFY(theme.ok);
    QCOMPARE(theme.colours, QStringLiteral("neutral, monochrome"));
    QCOMPARE(theme.tone, QStringLiteral("mid-key, normal contrast"));
    std::vector<PaletteEntry> entries;
    QVERIFY2(parsePalette(theme.palette, entries), qPrintable(theme.palette));
    for (const PaletteEntry &e : entries)
        QVERIFY2(std::abs(e.colour.red() - e.colour.green()) <= 1 && std::abs(e.colour.blue() - e.colour.green()) <= 1,
            qPrintable(theme.palette));
}

void tst_ColourTheme::toneReadsKeyAndContrast_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QString>("tone");
    QTest::newRow("dark ramp") << greyRamp(64, 8, 0, 60) << "low-key, low contrast";
    QTest::newRow("bright ramp") << greyRamp(64, 8, 200, 255) << "high-key, low contrast";
    QTest::newRow("flat mid grey") << greyRamp(10, 10, 119, 119) << "mid-key, low contrast";
    QTest::newRow("black and white halves")
        << bands({ { Qt::black, 50 }, { Qt::white, 50 } }, 10) << "mid-key, high contrast";
    QTest::newRow("dark with bright highlights")
        << bands({ { Qt::black, 80 }, { Qt::white, 20 } }, 10) << "low-key, high contrast";
    QTest::newRow("bright with dark accents")
        << bands({ { QColor(230, 230, 230), 80 }, { QColor(40, 40, 40), 20 } }, 10) << "high-key, normal contrast";
}

void tst_ColourTheme::toneReadsKeyAndContrast()
{
    QFETCH(QImage, picture);
    QFETCH(QString, tone);
    QCOMPARE(themeOf(picture).tone, tone);
}

void tst_ColourTheme::colourCharacter_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QString>("temperature");
    QTest::addColumn<QString>("harmony");
    const QColor orange(230, 120, 30), blue(40, 90, 200);
    QTest::newRow("orange with some blue") << bands({ { orange, 70 }, { blue, 30 } }, 8) << "warm"
                                           << "complementary";
    QTest::newRow("blue with some orange") << bands({ { orange, 25 }, { blue, 75 } }, 8) << "cool"
                                           << "complementary";
    QTest::newRow("teal and coral") << bands({ { QColor(0, 140, 140), 50 }, { QColor(250, 128, 90), 50 } }, 8) << ""
                                    << "complementary";
    QTest::newRow("red and orange") << bands({ { QColor(200, 40, 40), 50 }, { QColor(230, 150, 30), 50 } }, 8) << "warm"
                                    << "analogous";
    QTest::newRow("shades of one green") << bands(
        { { QColor(20, 80, 30), 30 }, { QColor(50, 150, 60), 40 }, { QColor(140, 220, 150), 30 } }, 8)
                                         << ""
                                         << "monochrome";
    QTest::newRow("red, green and blue thirds")
        << bands({ { QColor(200, 30, 30), 30 }, { QColor(30, 180, 40), 30 }, { QColor(40, 60, 210), 30 } }, 8) << ""
        << "varied";
    QTest::newRow("grey with a small red patch")
        << bands({ { QColor(120, 120, 120), 96 }, { QColor(220, 20, 20), 4 } }, 8) << "neutral"
        << "monochrome";
}

void tst_ColourTheme::colourCharacter()
{
    QFETCH(QImage, picture);
    QFETCH(QString, temperature);
    QFETCH(QString, harmony);
    const Theme theme = themeOf(picture);
    const QStringList parts = theme.colours.split(QStringLiteral(", "));
    QCOMPARE(parts.size(), 2);
    if (!temperature.isEmpty())
        QCOMPARE(parts[0], temperature);
    QCOMPARE(parts[1], harmony);
}

void tst_ColourTheme::coffeeReadsWarm()
{
    const QImage coffee(sharedDataPath(QStringLiteral("photos/coffee.png")));
    QVERIFY(!coffee.isNull());
    const Theme theme = themeOf(coffee);
    QVERIFY(theme.ok);
    QVERIFY2(theme.colours.startsWith(QLatin1String("warm, ")), qPrintable(theme.colours));
    std::vector<PaletteEntry> entries;
    QVERIFY2(parsePalette(theme.palette, entries), qPrintable(theme.palette));
    QVERIFY(entries.size() >= 2);
}

void tst_ColourTheme::themeIsDeterministicAndSurvivesText()
{
    const QImage coffee(sharedDataPath(QStringLiteral("photos/coffee.png")));
    const cv::Mat merged = mergedPlanes(coffee, 16);
    MHist a, b;
    std::string a1, a2, a3, b1, b2, b3;
    QVERIFY(a.computeColorTheme(merged, a1, a2, a3));
    QVERIFY(b.computeColorTheme(merged.clone(), b1, b2, b3));
    QCOMPARE(b1, a1);
    QCOMPARE(b2, a2);
    QCOMPARE(b3, a3);
    // A histogram read back from its text tells the same theme.
    std::string text;
    a.save(text);
    MHist loaded;
    QVERIFY(loaded.load(text));
    std::string l1, l2, l3;
    QVERIFY(loaded.colorTheme(l1, l2, l3));
    QCOMPARE(l1, a1);
    QCOMPARE(l2, a2);
    QCOMPARE(l3, a3);
    // And the theme is that of the histogram computed from the separate planes.
    MHist fromPlanes;
    QVERIFY(fromPlanes.compute(AnalysisReference::analysisPlanes(coffee)));
    QVERIFY(fromPlanes == a);
}

void tst_ColourTheme::themeRejectsBadInput_data()
{
    QTest::addColumn<cv::Mat>("merged");
    QTest::newRow("empty") << cv::Mat();
    QTest::newRow("one channel") << cv::Mat(4, 4, CV_16UC1, cv::Scalar(1));
    QTest::newRow("four channels") << cv::Mat(4, 4, CV_16UC4, cv::Scalar::all(1));
    QTest::newRow("float") << cv::Mat(4, 4, CV_32FC3, cv::Scalar::all(1));
    QTest::newRow("zero rows") << cv::Mat(0, 4, CV_16UC3);
}

void tst_ColourTheme::themeRejectsBadInput()
{
    QFETCH(cv::Mat, merged);
    MHist hist;
    QVERIFY(hist.compute(AnalysisReference::analysisPlanes(greyRamp(8, 8))));
    const MHist before = hist;
    std::string s1 = "x", s2 = "y", s3 = "z";
    QVERIFY(!hist.computeColorTheme(merged, s1, s2, s3));
    QVERIFY(s1.empty() && s2.empty() && s3.empty());
    QVERIFY(hist == before);
    MHist empty;
    s1 = "x";
    QVERIFY(!empty.colorTheme(s1, s2, s3));
    QVERIFY(s1.empty());
}

FX_REGISTER_TEST(tst_ColourTheme)
#include "tst_colourtheme.moc"
