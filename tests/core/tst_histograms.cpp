// The colour histogram (counts, its text form against hostile and mutated text), the colour
// theme on pictures whose answer is known, and the histogram chart.
#include "coretestsupport.h"
#include "mhist.h"
#include "testdata.h"
#include "testregistry.h"
#include "thistdraw.h"
#include "tpimage.h"

#include <QImage>
#include <QRegularExpression>
#include <array>
#include <numeric>

using Planes = std::vector<cv::Mat>;
Q_DECLARE_METATYPE(std::string)

namespace {

Planes randomPlanes(int rows, int cols, int type, unsigned seed)
{
    return { randomPlane(rows, cols, type, seed), randomPlane(rows, cols, type, seed + 1),
        randomPlane(rows, cols, type, seed + 2) };
}

// Linear sRGB to linear ProPhoto, from the Bradford-adapted matrices B. Lindbloom publishes
// (multiplied out).
const cv::Matx33d toProPhoto(
    0.5293459, 0.3300728, 0.1405813, 0.0983743, 0.8734610, 0.0281646, 0.0168832, 0.1176725, 0.8654443);

// The analysis planes of an sRGB picture: each pixel to linear light, to linear ProPhoto, to its
// 1.8 gamma, to luma and halved colour differences, then averaged over 2x2 blocks; merged into
// one matrix.
cv::Mat analysisPlanes(const QImage &picture)
{
    const auto linear = [](int v) { return v <= 10 ? v / 255.0 / 12.92 : std::pow((v / 255.0 + 0.055) / 1.055, 2.4); };
    cv::Mat full(picture.height(), picture.width(), CV_16UC3), merged;
    for (int i = 0; i < int(full.total()); ++i) {
        const QRgb p = picture.pixel(i % full.cols, i / full.cols);
        const cv::Vec3d in = toProPhoto * cv::Vec3d(linear(qRed(p)), linear(qGreen(p)), linear(qBlue(p)));
        double pro[3];
        for (int c = 0; c < 3; ++c)
            pro[c] = std::round(65535 * std::pow(std::clamp(in[c], 0.0, 1.0), 1 / 1.8));
        const double luma = std::floor((18877 * pro[0] + 46653 * pro[1] + 6 * pro[2] + 32768) / 65536);
        full.at<cv::Vec3w>(i / full.cols, i % full.cols) = cv::Vec3w(ushort(luma),
            ushort(std::round((pro[2] - luma) / 2 + 32768)), ushort(std::round((pro[0] - luma) / 2 + 32768)));
    }
    Planes planes;
    cv::split(full, planes);
    cv::merge(Planes { referenceDown(planes[0]), referenceDown(planes[1]), referenceDown(planes[2]) }, merged);
    return merged;
}

// A pixel's display colour in double precision, from the pixel model and the two colour
// spaces' curves: 8-bit red, green, blue, and the luminance of those (Rec. 709 weights in
// 1/256 steps).
std::array<int, 4> displayReference(int luma, int c1, int c2)
{
    static const cv::Matx33d toSrgb = toProPhoto.inv();
    const double b = luma + 2.0 * (c1 - 32768), r = luma + 2.0 * (c2 - 32768);
    const double g = (65536.0 * luma - 18877.0 * r - 6.0 * b) / 46653.0;
    const cv::Vec3d encoded(r, g, b);
    cv::Vec3d linear;
    for (int c = 0; c < 3; ++c)
        linear[c] = std::pow(std::clamp(encoded[c] / 65535.0, 0.0, 1.0), 1.8);
    const cv::Vec3d srgb = toSrgb * linear;
    std::array<int, 4> out {};
    for (int c = 0; c < 3; ++c) {
        const double l = std::clamp(srgb[c], 0.0, 1.0);
        out[std::size_t(c)]
            = int(std::lround(255.0 * (l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055)));
    }
    out[3] = (54 * out[0] + 183 * out[1] + 19 * out[2] + 128) >> 8;
    return out;
}

QImage makePicture(int width, int height, const std::function<QRgb(int, int)> &pixel)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int i = 0; i < width * height; ++i)
        image.setPixel(i % width, i / width, pixel(i % width, i / width));
    return image;
}

// Engine images the display values are checked on: "random" (every plane uniform over its
// range), "extremes" (luma and both colour samples cycling through 0, 1, neutral, 65534 and
// 65535 out of step, so that every combination occurs), "flat" (one colour, sixteen-pixel runs
// and their remainders), or a picture file under the shared data, or "primaries" (bands of
// saturated and grey colours), both through the engine's own conversion.
TPImage testImage(const QString &source, int width, int height)
{
    TPImage image(width, height);
    image.m_p4.setTo(65535);
    const int halfW = (width + 1) / 2, halfH = (height + 1) / 2;
    if (source == "random") {
        randomPlane(height, width, CV_16UC1, 7u * unsigned(width) + unsigned(height)).copyTo(image.m_lum);
        randomPlane(halfH, halfW, CV_16UC1, 11u * unsigned(width)).copyTo(image.m_c1);
        randomPlane(halfH, halfW, CV_16UC1, 13u * unsigned(height)).copyTo(image.m_c2);
    } else if (source == "extremes") {
        const ushort values[5] = { 0, 1, 32768, 65534, 65535 };
        for (int i = 0; i < width * height; ++i)
            image.m_lum.at<ushort>(i / width, i % width) = values[i % 5];
        for (int i = 0; i < halfW * halfH; ++i) {
            image.m_c1.at<ushort>(i / halfW, i % halfW) = values[(i / 5) % 5];
            image.m_c2.at<ushort>(i / halfW, i % halfW) = values[(i / 25) % 5];
        }
    } else if (source == "flat") {
        image.m_lum.setTo(41000), image.m_c1.setTo(30000), image.m_c2.setTo(36000);
    } else {
        static const QRgb bands[] = { qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 255, 255),
            qRgb(255, 0, 255), qRgb(255, 255, 0), qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(128, 128, 128) };
        const QImage picture = source == "primaries"
            ? makePicture(width, height, [](int x, int y) { return bands[(x / 7 + y / 3) % 9]; })
            : QImage(sharedDataPath(source)).convertToFormat(QImage::Format_RGB32).scaled(width, height);
        if (!image.convertFrom(picture.constBits(), picture.width(), picture.height(), int(picture.bytesPerLine())))
            return TPImage();
    }
    return image;
}

// The chart's counts of image, per channel (red, green, blue, luminance) and bin.
std::array<std::array<std::uint64_t, 256>, 4> chartCounts(const TPImage &image)
{
    THistDraw draw;
    draw.setHistSize(THistDraw::minimumSize, THistDraw::minimumSize); // only the counts are wanted
    cv::Mat mat;
    std::array<std::array<std::uint64_t, 256>, 4> counts {};
    if (draw.getHistMat(mat, image))
        for (int c = 0; c < 4; ++c)
            for (int bin = 0; bin < 256; ++bin)
                counts[std::size_t(c)][std::size_t(bin)] = draw.count(c, bin);
    return counts;
}

// A neutral, opaque engine image of the luma plane.
TPImage greyImage(const cv::Mat &lum)
{
    TPImage image(lum.cols, lum.rows);
    lum.copyTo(image.m_lum), image.m_c1.setTo(32768), image.m_c2.setTo(32768), image.m_p4.setTo(65535);
    return image;
}

// A 2x2 histogram whose text is known line by line.
const Planes knownPlanes = { (cv::Mat_<ushort>(2, 2) << 1000, 1000, 50000, 50000),
    cv::Mat(2, 2, CV_16UC1, cv::Scalar(32768)), (cv::Mat_<ushort>(2, 2) << 32768, 32768, 32768, 40000) };
const std::string knownText = "MHist 1\ndepth 16\ntotal 4\nplane 0\n3 2\n195 2\nend\nplane 1\n128 4\nend\n"
                              "plane 2\n128 3\n156 1\nend\ncells 16 32 32\n0 16 16 2 2000 65536 65536\n"
                              "12 16 16 1 50000 32768 32768\n12 16 19 1 50000 32768 40000\nend\n";

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    return text.replace(text.find(from), from.size(), to);
}

const cv::Vec3b fill(205, 205, 205), outline(235, 235, 235);
bool bDark(const cv::Vec3b &p) { return p[0] < 60 && p[1] < 60 && p[2] < 60; }

QString cellText(const MHist::Cell &c) { return msg("count %1, sums %2 %3 %4", c.count, c.sum[0], c.sum[1], c.sum[2]); }

// A text by lines, so that a comparison names the first line that differs.
QStringList lines(const std::string &text) { return QString::fromStdString(text).split('\n'); }

}

class tst_Histograms : public QObject {
    Q_OBJECT
private slots:
    void countsMatchNaiveLoop_data() { addTypeSizeRows(); }

    // 256 bins per plane (16-bit samples by value >> 8); cells of 16 x 32 x 32 with counts and
    // sums on the 16-bit scale (8-bit luma x257, colour 32768 + 257 * (v - 128), clamped).
    void countsMatchNaiveLoop()
    {
        QFETCH(int, type);
        QFETCH(PlaneSize, size);
        Planes planes = randomPlanes(size.rows, size.cols, type, 131u * size.rows + size.cols);
        for (cv::Mat &p : planes) // the ends of the range go to the first and last bins and cells
            put(p, 0, 0, 0), put(p, size.rows - 1, size.cols - 1, maxOf(type));
        std::vector<std::uint64_t> bins(3 * 256);
        std::vector<MHist::Cell> cells(MHist::numCells);
        for (int i = 0; i < size.rows * size.cols; ++i) {
            unsigned v[3];
            for (int p = 0; p < 3; ++p) {
                const int s = at(planes[std::size_t(p)], i / size.cols, i % size.cols);
                ++bins[std::size_t(256 * p + (type == CV_8UC1 ? s : s >> 8))];
                v[p]
                    = unsigned(type == CV_16UC1 ? s : std::clamp(p == 0 ? 257 * s : 32768 + 257 * (s - 128), 0, 65535));
            }
            MHist::Cell &cell = cells[v[0] / 4096 * 1024 + v[1] / 2048 * 32 + v[2] / 2048];
            ++cell.count, cell.sum[0] += v[0], cell.sum[1] += v[1], cell.sum[2] += v[2];
        }
        MHist hist;
        QVERIFY(hist.compute(planes));
        QCOMPARE(hist.total(), std::uint64_t(size.rows * size.cols));
        for (int i = 0; i < 3 * 256; ++i)
            QVERIFY2(hist.count(i / 256, i % 256) == bins[std::size_t(i)],
                qPrintable(msg("plane %1, bin %2: %3, expected %4", i / 256, i % 256, hist.count(i / 256, i % 256),
                    bins[std::size_t(i)])));
        for (int i = 0; i < MHist::numCells; ++i) {
            const MHist::Cell &cell = hist.cell(i / 1024, i / 32 % 32, i % 32);
            QVERIFY2(cell == cells[std::size_t(i)],
                qPrintable(QString("cell %1 %2 %3: %4, expected %5")
                               .arg(i / 1024)
                               .arg(i / 32 % 32)
                               .arg(i % 32)
                               .arg(cellText(cell), cellText(cells[std::size_t(i)]))));
        }
    }

    void loadRejectsHostileText_data()
    {
        QTest::addColumn<std::string>("text");
        const std::string &t = knownText;
        QTest::newRow("empty") << std::string();
        QTest::newRow("version 2") << replaced(t, "MHist 1", "MHist 2");
        QTest::newRow("negative count") << replaced(t, "3 2\n", "3 -2\n");
        QTest::newRow("huge total") << replaced(t, "total 4", "total 2199023255552");
        QTest::newRow("counts wrapping to the total")
            << replaced(t, "3 2\n195 2\n", "3 9223372036854775810\n195 9223372036854775810\n");
        QTest::newRow("bin 256") << replaced(t, "195 2\n", "256 2\n");
        QTest::newRow("bins out of order") << replaced(t, "3 2\n195 2\n", "195 2\n3 2\n");
        QTest::newRow("plane does not add up") << replaced(t, "195 2\n", "195 1\n");
        QTest::newRow("missing cells") << t.substr(0, t.find("cells"));
        QTest::newRow("cell sum outside its cell") << replaced(t, "0 16 16 2 2000 ", "0 16 16 2 9000 ");
        QTest::newRow("planes and cells disagree") << replaced(t, "3 2\n195 2\n", "3 1\n100 1\n195 2\n");
        QTest::newRow("embedded NUL") << replaced(t, "195 2", std::string("195\0 2", 6));
        QTest::newRow("garbage after the end") << t + "garbage\n";
    }

    // Rejected with a diagnostic; the previous content stays.
    void loadRejectsHostileText()
    {
        QFETCH(std::string, text);
        MHist hist;
        QVERIFY(hist.compute(randomPlanes(5, 7, CV_16UC1, 21)));
        const MHist before = hist;
        DebugCounter debug;
        QCOMPARE(hist.load(text), false);
        QVERIFY2(DebugCounter::count >= 1, qPrintable(msg("%1 diagnostics", DebugCounter::count)));
        QVERIFY(hist == before);
    }

    // save writes the known text line by line; a histogram (empty, 8-bit, 16-bit) read back from
    // its text is the same, bit for bit, and writes the same text. Every truncation fails. A mutated
    // text fails, keeping the previous content, or reads as a histogram that round trips (load
    // checks that the counts add up); most mutations are caught.
    void textForm()
    {
        MHist known, previous, source, empty;
        std::string valid, again;
        QVERIFY(known.compute(knownPlanes));
        QVERIFY(known.save(valid));
        QCOMPARE(lines(valid), lines(knownText));
        QVERIFY(previous.compute(randomPlanes(3, 4, CV_8UC1, 98)));
        QVERIFY(source.compute(randomPlanes(17, 19, CV_16UC1, 99)));
        for (const MHist *hist : { &known, &previous, &empty, &source }) { // source last: its text is mutated below
            MHist copy = hist == &previous ? source : previous;
            QVERIFY(hist->save(valid));
            QVERIFY2(copy.load(valid), valid.c_str());
            QVERIFY2(copy == *hist, valid.c_str());
            QVERIFY(copy.save(again));
            QCOMPARE(lines(again), lines(valid));
        }
        for (std::size_t length = 0; length + 1 < knownText.size(); ++length) {
            MHist hist = previous;
            const QString cut = msg("cut to %1 characters", length);
            QVERIFY2(!hist.load(knownText.substr(0, length)), qPrintable(cut + " and loaded"));
            QVERIFY2(hist == previous, qPrintable(cut + " and changed the content"));
        }
        std::string resaved;
        cv::RNG rng(2024);
        int accepted = 0;
        for (int i = 0; i < 500; ++i) {
            std::string text = valid;
            for (int edits = 1 + int(rng() % 3); edits > 0 && !text.empty(); --edits) {
                const std::size_t at = rng() % text.size(), kind = rng() % 4;
                if (kind == 0) // any byte, NUL included
                    text[at] = char(rng() % 256);
                else if (kind == 1) // another digit: numbers that no longer add up
                    text[at] = char('0' + rng() % 10);
                else if (kind == 2)
                    text.erase(at, 1 + rng() % 4);
                else // a line repeated elsewhere
                    text.insert(rng() % text.size(), text.substr(at, text.find('\n', at) - at + 1));
            }
            MHist hist = previous, again;
            if (!hist.load(text)) {
                QVERIFY(hist == previous);
                continue;
            }
            ++accepted;
            QVERIFY2(hist.save(resaved), text.c_str());
            QVERIFY2(again.load(resaved), text.c_str());
            QVERIFY2(again == hist, text.c_str());
        }
        QVERIFY2(accepted < 50, qPrintable(msg("%1 of 500 mutations loaded", accepted)));
    }

    void colourTheme_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QString>("photo"); // instead of image: a shared photo, read by the test
        QTest::addColumn<QString>("palette"); // the dominant colours with their shares, in order
        QTest::addColumn<QString>("colours"); // how the colour character begins
        QTest::newRow("orange 70%, blue 30%")
            << makePicture(100, 60, [](int x, int) { return x < 70 ? qRgb(230, 120, 30) : qRgb(40, 90, 200); }) << ""
            << "#e6781e 70%, #285ac8 30%"
            << "";
        // The boundary falls inside 2x2 blocks: one column of mixed blocks, too small to count.
        QTest::newRow("teal and magenta, odd size")
            << makePicture(301, 61, [](int x, int) { return x < 151 ? qRgb(0, 128, 128) : qRgb(200, 0, 150); }) << ""
            << "#008080 50%, #c80096 50%"
            << "";
        QTest::newRow("grey ramp, odd size")
            << makePicture(33, 7, [](int x, int) { return qRgb(255 * x / 32, 255 * x / 32, 255 * x / 32); }) << ""
            << ""
            << "neutral, monochrome";
        QTest::newRow("coffee") << QImage() << "photos/coffee.png"
                                << ""
                                << "warm, ";
    }

    // Colours within two levels and shares within one percent of the expected palette. The same
    // theme again from a copy of the planes and from the histogram read back from its text.
    void colourTheme()
    {
        QFETCH(QImage, image);
        QFETCH(QString, photo);
        QFETCH(QString, palette);
        QFETCH(QString, colours);
        if (!photo.isEmpty()) {
            FX_REQUIRE_SHARED_DATA(photo);
            image = QImage(sharedDataPath(photo));
        }
        const cv::Mat planes = analysisPlanes(image);
        MHist hist, again, loaded;
        std::string s[3], t[3], l[3], text;
        QVERIFY(hist.computeColorTheme(planes, s[0], s[1], s[2]));
        QVERIFY(again.computeColorTheme(planes.clone(), t[0], t[1], t[2]));
        QVERIFY(hist.save(text));
        QVERIFY(loaded.load(text));
        QVERIFY(loaded == hist);
        QVERIFY(loaded.colorTheme(l[0], l[1], l[2]));
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(QString::fromStdString(t[k]), QString::fromStdString(s[k]));
            QCOMPARE(QString::fromStdString(l[k]), QString::fromStdString(s[k]));
        }
        QVERIFY2(QString::fromStdString(s[2]).startsWith(colours), s[2].c_str());
        QVERIFY2(QRegularExpression("^#[0-9a-f]{6} \\d+%(, #[0-9a-f]{6} \\d+%){0,4}$").match(s[0].c_str()).hasMatch(),
            s[0].c_str());
        const QStringList got = QString::fromStdString(s[0]).split(", "),
                          want = palette.split(", ", Qt::SkipEmptyParts);
        QVERIFY2(want.isEmpty() || got.size() == want.size(), s[0].c_str());
        // Red, green, blue, share.
        const auto part = [](const QString &e, int k) {
            return k < 3 ? e.mid(1 + 2 * k, 2).toInt(nullptr, 16) : e.mid(8).chopped(1).toInt();
        };
        for (int i = 0; i < want.size() && i < got.size(); ++i)
            for (int k = 0; k < 4; ++k)
                QVERIFY2(std::abs(part(got[i], k) - part(want[i], k)) <= (k < 3 ? 2 : 1), s[0].c_str());
    }

    void displayValuesMatchReference_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        // Widths around the sixteen-pixel groups and the 256-pixel pieces the rows are
        // converted in, odd sizes leaving half blocks.
        QTest::newRow("random 37x23") << "random" << 37 << 23;
        QTest::newRow("random 1x1") << "random" << 1 << 1;
        QTest::newRow("random 16x2") << "random" << 16 << 2;
        QTest::newRow("random 17x3") << "random" << 17 << 3;
        QTest::newRow("random 301x5") << "random" << 301 << 5;
        QTest::newRow("random 1024x64") << "random" << 1024 << 64;
        QTest::newRow("extremes 125x41") << "extremes" << 125 << 41;
        QTest::newRow("flat 517x9") << "flat" << 517 << 9;
        QTest::newRow("primaries 263x31") << "primaries" << 263 << 31;
        QTest::newRow("photo coffee") << "photos/coffee.png" << 601 << 401;
        QTest::newRow("photo astronaut") << "photos/astronaut.png" << 512 << 512;
    }

    // Each pixel's red, green, blue and luminance within one level of a double-precision
    // conversion: every pixel of the image on its own, as a one-pixel picture whose chart counts
    // it in exactly one bin per channel.
    void displayValuesMatchReference()
    {
        QFETCH(QString, source);
        QFETCH(int, width);
        QFETCH(int, height);
        if (source.startsWith("photos/"))
            FX_REQUIRE_SHARED_DATA(source);
        const TPImage image = testImage(source, width, height);
        QVERIFY(!image.bEmpty());
        // Large pictures by a sample of pixels spread over them.
        const int step = std::max(1, width * height / 20000);
        TPImage pixel(1, 1);
        pixel.m_p4.setTo(65535);
        for (int i = 0; i < width * height; i += step) {
            const int y = i / width, x = i % width;
            pixel.m_lum.at<ushort>(0, 0) = image.m_lum.at<ushort>(y, x);
            pixel.m_c1.at<ushort>(0, 0) = image.m_c1.at<ushort>(y / 2, x / 2);
            pixel.m_c2.at<ushort>(0, 0) = image.m_c2.at<ushort>(y / 2, x / 2);
            const auto counts = chartCounts(pixel);
            const std::array<int, 4> want = displayReference(
                pixel.m_lum.at<ushort>(0, 0), pixel.m_c1.at<ushort>(0, 0), pixel.m_c2.at<ushort>(0, 0));
            for (int c = 0; c < 4; ++c) {
                const auto &bins = counts[std::size_t(c)];
                const auto found = std::find(bins.begin(), bins.end(), 1u);
                const int got = int(found - bins.begin());
                if (std::accumulate(bins.begin(), bins.end(), std::uint64_t(0)) != 1
                    || std::abs(got - want[std::size_t(c)]) > 1)
                    QFAIL(qPrintable(
                        msg("channel %1 of pixel (%2, %3) is %4, reference %5", c, x, y, got, want[std::size_t(c)])));
            }
        }
    }

    void chartCountsEveryPixel_data() { displayValuesMatchReference_data(); }

    // The whole picture at once (pixels in sixteen-pixel groups, runs of equal values, both
    // pixels of a block, ends of rows): each channel counts every pixel once, and with every
    // pixel within one level of the reference, the pixels counted at or below each level lie
    // between the reference's at or below one level less and one level more.
    void chartCountsEveryPixel()
    {
        QFETCH(QString, source);
        QFETCH(int, width);
        QFETCH(int, height);
        if (source.startsWith("photos/"))
            FX_REQUIRE_SHARED_DATA(source);
        const TPImage image = testImage(source, width, height);
        QVERIFY(!image.bEmpty());
        std::array<std::array<std::uint64_t, 258>, 4> reference {}; // bin b + 1; 0 and 257 stay empty
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::array<int, 4> v = displayReference(image.m_lum.at<ushort>(y, x),
                    image.m_c1.at<ushort>(y / 2, x / 2), image.m_c2.at<ushort>(y / 2, x / 2));
                for (int c = 0; c < 4; ++c)
                    ++reference[std::size_t(c)][std::size_t(v[std::size_t(c)] + 1)];
            }
        const auto counts = chartCounts(image);
        const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
        for (int c = 0; c < 4; ++c) {
            std::uint64_t got = 0, below = 0, at = reference[std::size_t(c)][0];
            for (int level = 0; level < 256; ++level) {
                got += counts[std::size_t(c)][std::size_t(level)];
                at += reference[std::size_t(c)][std::size_t(level + 1)];
                const std::uint64_t above = std::min(pixels, at + reference[std::size_t(c)][std::size_t(level + 2)]);
                if (got < below || got > above)
                    QFAIL(qPrintable(msg("channel %1: %2 pixels counted at or below %3, reference %4 to %5", c, got,
                        level, below, above)));
                below = at;
            }
            QCOMPARE(got, pixels);
        }
    }

    // Default size 256 x 128. A flat grey at two columns per bin: its bin's columns filled by all
    // three channels, the luminance outline along the top, dark elsewhere; the bin is the grey
    // decoded from ProPhoto's 1.8 gamma and encoded with the sRGB curve. With most of the picture
    // black, bin 0 towers over the rest, yet the grey's bin still fills the height.
    void chartMatchesReference()
    {
        const int luma = 30000, bin = int(std::lround(255 * (1.055 * std::pow(luma / 65535.0, 1.8 / 2.4) - 0.055)));
        THistDraw draw;
        cv::Mat mat, lum(32, 64, CV_16UC1, cv::Scalar(luma));
        QVERIFY(draw.getHistMat(mat, greyImage(lum)));
        QCOMPARE(mat.type(), CV_8UC3);
        QCOMPARE(mat.size(), cv::Size(256, 128));
        draw.setHistSize(512, 128);
        for (int black : { 0, 1 }) {
            lum.rowRange(4, 32).setTo(black ? 0 : luma);
            QVERIFY(draw.getHistMat(mat, greyImage(lum)));
            QCOMPARE(mat.cols, 512);
            QCOMPARE(draw.count(0, 0), std::uint64_t(black * 28 * 64u));
            if (black)
                QCOMPARE(mat.at<cv::Vec3b>(1, 1), fill);
            for (int y = 0; y < 128; ++y) {
                QCOMPARE(mat.at<cv::Vec3b>(y, 2 * bin + 1), y == 0 ? outline : fill);
                for (int x = 0; x < 512 && !black; ++x) {
                    const cv::Vec3b p = mat.at<cv::Vec3b>(y, x);
                    QVERIFY2(std::abs(x - 2 * bin) < 4 || bDark(p),
                        qPrintable(msg("(%1, %2, %3) at x %4, y %5, away from bin %6 at x %7", p[0], p[1], p[2], x, y,
                            bin, 2 * bin)));
                }
            }
        }
    }
};

FX_REGISTER_TEST(tst_Histograms)
#include "tst_histograms.moc"
