// fxhost's graph and info commands, driven as a user runs them: filters and scripts checked
// against a reference computation and against what they must leave alone, and pictures
// described with and without embedded profiles.
#include "fxhostrun.h"
#include "testdata.h"
#include "testregistry.h"
#include "tsampleimage.h"

#include <QColorSpace>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <thistdraw.h>

using namespace FxhostRun;

class tst_FxhostGraphInfo : public QObject {
    Q_OBJECT
private slots:
    void commandsGraphGammaMatchesReference_data();
    void commandsGraphGammaMatchesReference();
    void commandsGraphRunsFiltersAndScripts_data();
    void commandsGraphRunsFiltersAndScripts();
    void commandsInfoDescribesProfiles_data();
    void commandsInfoDescribesProfiles();
    void commandsInfoSummarisesKnownPictures_data();
    void commandsInfoSummarisesKnownPictures();
    void commandsInfoWritesTheChart_data();
    void commandsInfoWritesTheChart();

private:
    QTemporaryDir m_dir;
};

void tst_FxhostGraphInfo::commandsGraphGammaMatchesReference_data()
{
    QTest::addColumn<double>("gamma");
    QTest::newRow("identity") << 1.0;
    QTest::newRow("brightens") << 2.0;
    QTest::newRow("darkens") << 0.5;
}

// The graph splits a pixel into luminance (ProPhoto Y weights) at full resolution and colour
// differences averaged over 2 x 2 blocks; the gamma filter bends the luminance only. Where
// colour changes between neighbouring blocks the graph enlarges colour smoothly, so the
// comparison keeps to pixels whose block has the colour of all its neighbours.
void tst_FxhostGraphInfo::commandsGraphGammaMatchesReference()
{
    QFETCH(double, gamma);
    const QString output = m_dir.filePath(QStringLiteral("gamma.png"));
    const Run run
        = fxhost({ "graph", "--filter", "TFGamma", "--set", QStringLiteral("setGamma=%1").arg(gamma), "-o", output });
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QImage result = QImage(output).convertToFormat(QImage::Format_ARGB32);
    const QImage source = TSampleImage::generate(sampleSize.width(), sampleSize.height());
    QCOMPARE(result.size(), source.size());
    const auto luma = [](QRgb p) { return 0.288040 * qRed(p) + 0.711874 * qGreen(p) + 0.000086 * qBlue(p); };
    const int blocksX = source.width() / 2, blocksY = source.height() / 2;
    QVector<std::array<double, 3>> colour(blocksX * blocksY, { 0, 0, 0 });
    for (int by = 0; by < blocksY; ++by)
        for (int bx = 0; bx < blocksX; ++bx)
            for (int i = 0; i < 4; ++i) {
                const QRgb p = source.pixel(2 * bx + i % 2, 2 * by + i / 2);
                colour[by * blocksX + bx][0] += (qRed(p) - luma(p)) / 4;
                colour[by * blocksX + bx][1] += (qGreen(p) - luma(p)) / 4;
                colour[by * blocksX + bx][2] += (qBlue(p) - luma(p)) / 4;
            }
    const auto flat = [&](int bx, int by) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                for (int c = 0; c < 3; ++c)
                    if (std::abs(colour[std::clamp(by + dy, 0, blocksY - 1) * blocksX
                                     + std::clamp(bx + dx, 0, blocksX - 1)][c]
                            - colour[by * blocksX + bx][c])
                        > 1.0)
                        return false;
        return true;
    };
    double sum = 0, worst = 0;
    int compared = 0;
    for (int by = 0; by < blocksY; ++by)
        for (int bx = 0; bx < blocksX; ++bx) {
            if (!flat(bx, by))
                continue;
            for (int i = 0; i < 4; ++i) {
                const int x = 2 * bx + i % 2, y = 2 * by + i / 2;
                const double bent = 255.0 * std::pow(luma(source.pixel(x, y)) / 255.0, 1.0 / gamma);
                const QRgb got = result.pixel(x, y);
                const int channels[3] = { qRed(got), qGreen(got), qBlue(got) };
                for (int c = 0; c < 3; ++c) {
                    const double error
                        = std::abs(channels[c] - std::clamp(bent + colour[by * blocksX + bx][c], 0.0, 255.0));
                    sum += error;
                    worst = std::max(worst, error);
                }
                ++compared;
            }
        }
    const QString measured
        = QStringLiteral("%1 pixels, mean %2, worst %3").arg(compared).arg(sum / (3.0 * compared)).arg(worst);
    QVERIFY2(compared > source.width() * source.height() * 8 / 10, qPrintable(measured));
    // Colour differences travel halved in 8 bits; the luminance table interpolates 4096 samples.
    QVERIFY2(sum / (3.0 * compared) < 0.75 && worst <= 3.0, qPrintable(measured));
}

void tst_FxhostGraphInfo::commandsGraphRunsFiltersAndScripts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("changes");
    QTest::addColumn<bool>("stretches");
    QTest::newRow("brightness and contrast")
        << QStringList { "--filter", "TFBrightnessContrast", "--set", "setBrightness=0.3", "--set", "setContrast=0.5" }
        << true << true;
    QTest::newRow("AutoTone script") << QStringList { "--filter", "AutoTone" } << true << true;
    QTest::newRow("SoftGlow script with its blur set")
        << QStringList { "--filter", "SoftGlow", "--set", "blur.setRadius=20" } << true << false;
    QTest::newRow("measuring filter passes the picture") << QStringList { "--filter", "TFHistogram" } << false << false;
    QTest::newRow("gamma 1 passes the picture")
        << QStringList { "--filter", "TFGamma", "--set", "setGamma=1" } << false << false;
}

namespace {
// The spread between the 2nd and 98th percentile of the pixels' grey values.
int greySpread(const QImage &image)
{
    QVector<int> counts(256, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[qGray(image.pixel(x, y))];
    const auto level = [&counts, &image](double share) {
        int below = 0, value = 0;
        while (value < 255 && below + counts[value] < share * image.width() * image.height())
            below += counts[value++];
        return value;
    };
    return level(0.98) - level(0.02);
}
}

// Over a dull (low-contrast) copy of the sample, so that tone filters have room to act.
void tst_FxhostGraphInfo::commandsGraphRunsFiltersAndScripts()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, changes);
    QFETCH(bool, stretches);
    QImage source = TSampleImage::generate(sampleSize.width() / 2, sampleSize.height() / 2);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb p = source.pixel(x, y);
            source.setPixel(x, y, qRgb(80 + qRed(p) / 3, 80 + qGreen(p) / 3, 80 + qBlue(p) / 3));
        }
    const QString input = m_dir.filePath(QStringLiteral("dull.png")), output = m_dir.filePath("graph.png");
    QVERIFY(source.save(input));
    const Run run = fxhost(QStringList { "graph", input } + arguments + QStringList { "-o", output });
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QImage result = QImage(output).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(result.size(), source.size());
    const double difference = meanAbsoluteDifference(result, source);
    // Splitting into luminance and half-resolution colour and back costs under a level.
    QVERIFY2(changes ? difference > 2.0 : difference < 1.0, qPrintable(QString::number(difference)));
    const int before = greySpread(source), after = greySpread(result);
    QVERIFY2(stretches ? after > before + 10 : after <= before + 2,
        qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
}

void tst_FxhostGraphInfo::commandsInfoDescribesProfiles_data()
{
    QTest::addColumn<int>("primaries");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no profile") << -1 << QString();
    QTest::newRow("sRGB") << int(QColorSpace::SRgb) << "sRGB";
    QTest::newRow("Adobe RGB") << int(QColorSpace::AdobeRgb) << "Adobe RGB";
    QTest::newRow("ProPhoto RGB") << int(QColorSpace::ProPhotoRgb) << "ProPhoto RGB";
}

void tst_FxhostGraphInfo::commandsInfoDescribesProfiles()
{
    QFETCH(int, primaries);
    QFETCH(QString, expected);
    FX_REQUIRE_SHARED_DATA("photos/coffee.png");
    QImage photo(sharedDataPath("photos/coffee.png"));
    QVERIFY(!photo.isNull());
    photo.setColorSpace(primaries < 0 ? QColorSpace() : QColorSpace(QColorSpace::NamedColorSpace(primaries)));
    const QString path = m_dir.filePath(QStringLiteral("photo.png"));
    QVERIFY(photo.save(path));
    const QByteArray embedded = QImage(path).colorSpace().iccProfile();
    const Run run = fxhost({ "info", "--json", path });
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QJsonObject info = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(info.value("file").toString(), path);
    QCOMPARE(info.value("format").toString(), QStringLiteral("png"));
    QCOMPARE(info.value("width").toInt(), photo.width());
    QCOMPARE(info.value("height").toInt(), photo.height());
    QCOMPARE(info.value("depth").toInt(), 8);
    if (expected.isEmpty()) {
        QVERIFY(info.value("profile").isNull());
    } else {
        const QJsonObject profile = info.value("profile").toObject();
        QCOMPARE(profile.value("primaries").toString(), expected);
        QCOMPARE(profile.value("bytes").toInt(), embedded.size());
        QVERIFY(profile.value("description").toString().contains(expected));
    }
    for (const char *channel : { "red", "green", "blue", "luminance" }) {
        const QJsonObject summary = info.value("histogram").toObject().value(QLatin1String(channel)).toObject();
        const int p1 = summary.value("p1").toInt(-1), p50 = summary.value("p50").toInt(-1),
                  p99 = summary.value("p99").toInt(-1);
        const double mean = summary.value("mean").toDouble(-1);
        QVERIFY2(0 <= p1 && p1 <= p50 && p50 <= p99 && p99 <= 255 && p1 <= mean && mean <= p99, channel);
    }
    const QJsonObject theme = info.value("theme").toObject();
    QVERIFY(theme.value("palette").toString().startsWith('#'));
    QVERIFY(theme.value("tone").toString().contains("contrast"));
}

void tst_FxhostGraphInfo::commandsInfoSummarisesKnownPictures_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("depth");
    QTest::addColumn<double>("mean");
    QTest::addColumn<QVector<int>>("percentiles");
    QImage grey(64, 48, QImage::Format_RGB32);
    grey.fill(qRgb(128, 128, 128));
    QTest::newRow("8-bit mid-grey") << grey << 8 << 128.0 << QVector<int> { 128, 128, 128 };
    QImage deep(63, 47, QImage::Format_Grayscale16);
    deep.fill(QColor::fromRgba64(128 * 257, 128 * 257, 128 * 257));
    QTest::newRow("16-bit mid-grey, odd size") << deep << 16 << 128.0 << QVector<int> { 128, 128, 128 };
    // A quarter black, three quarters white: the median and the 99th percentile are white.
    QImage split(64, 48, QImage::Format_RGB32);
    split.fill(Qt::white);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 16; ++x)
            split.setPixel(x, y, qRgb(0, 0, 0));
    QTest::newRow("black and white") << split << 8 << 191.25 << QVector<int> { 0, 255, 255 };
}

void tst_FxhostGraphInfo::commandsInfoSummarisesKnownPictures()
{
    QFETCH(QImage, picture);
    QFETCH(int, depth);
    QFETCH(double, mean);
    QFETCH(QVector<int>, percentiles);
    const QString path = m_dir.filePath(QStringLiteral("known.png"));
    QVERIFY(picture.save(path));
    const Run run = fxhost({ "info", "--json", path });
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QJsonObject info = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(info.value("depth").toInt(), depth);
    QCOMPARE(info.value("width").toInt(), picture.width());
    for (const char *channel : { "red", "green", "blue", "luminance" }) {
        const QJsonObject summary = info.value("histogram").toObject().value(QLatin1String(channel)).toObject();
        // Through the engine's colour space and back to sRGB a level may move by one.
        QVERIFY2(std::abs(summary.value("mean").toDouble() - mean) <= 1.0, channel);
        QVERIFY2(std::abs(summary.value("p1").toInt() - percentiles[0]) <= 1, channel);
        QVERIFY2(std::abs(summary.value("p50").toInt() - percentiles[1]) <= 1, channel);
        QVERIFY2(std::abs(summary.value("p99").toInt() - percentiles[2]) <= 1, channel);
    }
}

void tst_FxhostGraphInfo::commandsInfoWritesTheChart_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QSize>("size");
    QTest::newRow("default size") << QStringList() << QSize(THistDraw::defaultWidth, THistDraw::defaultHeight);
    QTest::newRow("chosen size") << QStringList { "--chart-size", "300x100" } << QSize(300, 100);
    QTest::newRow("smallest") << QStringList { "--chart-size", "16x16" } << QSize(16, 16);
}

void tst_FxhostGraphInfo::commandsInfoWritesTheChart()
{
    QFETCH(QStringList, options);
    QFETCH(QSize, size);
    const QString chart = m_dir.filePath(QStringLiteral("chart.png"));
    QFile::remove(chart);
    const Run run = fxhost(QStringList { "info", "--histogram", chart } + options);
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    QVERIFY(run.out.contains("Palette:"));
    const QImage written(chart);
    QCOMPARE(written.size(), size);
    // A chart of a photo-like picture is more than its background and grid lines.
    QSet<QRgb> colours;
    for (int y = 0; y < written.height(); ++y)
        for (int x = 0; x < written.width(); ++x)
            colours.insert(written.pixel(x, y));
    QVERIFY2(colours.size() > 3, qPrintable(QString::number(colours.size())));
}

FX_REGISTER_TEST(tst_FxhostGraphInfo)
#include "tst_fxhostgraphinfo.moc"
