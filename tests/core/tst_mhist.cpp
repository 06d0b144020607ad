// The colour histogram: counts against a naive loop, its text form (round trips, hostile
// text, a mutation fuzz), and the colour theme on pictures whose answer is known.
#include "analysisreference.h"
#include "mhist.h"
#include "qximproca.h"
#include "testdata.h"
#include "testregistry.h"

#include <QImage>
#include <QtTest>
#include <cstdint>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(std::string)

namespace {

std::vector<std::string> g_trace;
void collectTrace(const char *text) { g_trace.emplace_back(text); }

// Collects the core library's diagnostics while it lives.
struct CoreTrace {
    CoreTrace()
    {
        g_trace.clear();
        QXimproca::m_tDebug_p = collectTrace;
    }
    ~CoreTrace() { QXimproca::m_tDebug_p = nullptr; }
};

struct Lcg {
    std::uint32_t state;
    std::uint32_t next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int below(int n) { return int(next() % std::uint32_t(n)); }
};

// Three planes of random samples; colour samples crowd around neutral like a photo's do,
// with a few at the extremes.
std::vector<cv::Mat> randomPlanes(int rows, int cols, int type, std::uint32_t seed)
{
    Lcg rng { seed };
    const int maxValue = type == CV_16UC1 ? 65535 : 255;
    std::vector<cv::Mat> planes(3);
    for (int p = 0; p < 3; ++p) {
        planes[std::size_t(p)].create(rows, cols, type);
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < cols; ++x) {
                int v = rng.below(maxValue + 1);
                if (p > 0 && rng.below(4) != 0)
                    v = (maxValue + 1) / 2 + (v - (maxValue + 1) / 2) / 6;
                if (type == CV_16UC1)
                    planes[std::size_t(p)].at<unsigned short>(y, x) = static_cast<unsigned short>(v);
                else
                    planes[std::size_t(p)].at<unsigned char>(y, x) = static_cast<unsigned char>(v);
            }
        }
    }
    return planes;
}

// What the histogram must hold, counted one sample at a time from its definition.
struct Reference {
    std::uint64_t bins[3][256] = {};
    std::vector<MHist::Cell> cells = std::vector<MHist::Cell>(16 * 32 * 32);
};

Reference countNaively(const std::vector<cv::Mat> &planes)
{
    Reference ref;
    const bool wide = planes[0].depth() == CV_16U;
    for (int y = 0; y < planes[0].rows; ++y) {
        for (int x = 0; x < planes[0].cols; ++x) {
            unsigned v16[3];
            for (int p = 0; p < 3; ++p) {
                const int v = wide ? planes[std::size_t(p)].at<unsigned short>(y, x)
                                   : planes[std::size_t(p)].at<unsigned char>(y, x);
                ++ref.bins[p][wide ? v / 256 : v];
                if (wide)
                    v16[p] = unsigned(v);
                else if (p == 0)
                    v16[p] = unsigned(v * 257);
                else
                    v16[p] = unsigned(std::clamp(32768 + 257 * (v - 128), 0, 65535));
            }
            MHist::Cell &cell = ref.cells[std::size_t(v16[0] / 4096 * 1024 + v16[1] / 2048 * 32 + v16[2] / 2048)];
            ++cell.count;
            for (int p = 0; p < 3; ++p)
                cell.sum[p] += v16[p];
        }
    }
    return ref;
}

// The histogram's own totals add up (checked here without its help).
bool bSelfConsistent(const MHist &hist)
{
    for (int p = 0; p < 3; ++p) {
        std::uint64_t sum = 0;
        for (int b = 0; b < 256; ++b)
            sum += hist.count(p, b);
        if (sum != hist.total())
            return false;
    }
    std::uint64_t cells = 0;
    for (int l = 0; l < 16; ++l)
        for (int a = 0; a < 32; ++a)
            for (int b = 0; b < 32; ++b) {
                const MHist::Cell &c = hist.cell(l, a, b);
                cells += c.count;
                if (c.sum[0] > c.count * std::uint64_t(l * 4096 + 4095) || c.sum[0] < c.count * std::uint64_t(l * 4096))
                    return false;
            }
    return cells == hist.total();
}

// A small histogram whose text is known line by line.
std::vector<cv::Mat> knownPlanes()
{
    std::vector<cv::Mat> planes(3);
    planes[0] = (cv::Mat_<unsigned short>(2, 2) << 1000, 1000, 50000, 50000);
    planes[1] = (cv::Mat_<unsigned short>(2, 2) << 32768, 32768, 32768, 32768);
    planes[2] = (cv::Mat_<unsigned short>(2, 2) << 32768, 32768, 32768, 40000);
    return planes;
}

const std::string knownText = "MHist 1\n"
                              "depth 16\n"
                              "total 4\n"
                              "plane 0\n3 2\n195 2\nend\n"
                              "plane 1\n128 4\nend\n"
                              "plane 2\n128 3\n156 1\nend\n"
                              "cells 16 32 32\n"
                              "0 16 16 2 2000 65536 65536\n"
                              "12 16 16 1 50000 32768 32768\n"
                              "12 16 19 1 50000 32768 40000\n"
                              "end\n";

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    const std::size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

}

class tst_MHist : public QObject {
    Q_OBJECT
private slots:
    void computeMatchesNaiveCount_data();
    void computeMatchesNaiveCount();
    void computeMergedMatchesPlanes_data();
    void computeMergedMatchesPlanes();
    void computeRejectsBadPlanes_data();
    void computeRejectsBadPlanes();
    void percentileBin();

    void saveWritesDocumentedForm();
    void roundTripIsBitIdentical_data();
    void roundTripIsBitIdentical();
    void loadAcceptsCrLfAndMissingFinalNewline();
    void loadRejectsHostileText_data();
    void loadRejectsHostileText();
    void loadRejectsEveryTruncation();
    void loadSurvivesMutations();
};

void tst_MHist::computeMatchesNaiveCount_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("type");
    for (int type : { CV_16UC1, CV_8UC1 }) {
        const char *depth = type == CV_16UC1 ? "16-bit" : "8-bit";
        QTest::addRow("%s 1x1", depth) << 1 << 1 << type;
        QTest::addRow("%s 1x7 row", depth) << 1 << 7 << type;
        QTest::addRow("%s 9x1 column", depth) << 9 << 1 << type;
        QTest::addRow("%s 3x5 odd", depth) << 3 << 5 << type;
        QTest::addRow("%s 31x17 odd", depth) << 31 << 17 << type;
        QTest::addRow("%s 64x96", depth) << 64 << 96 << type;
    }
}

void tst_MHist::computeMatchesNaiveCount()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(int, type);
    std::vector<cv::Mat> planes = randomPlanes(rows, cols, type, std::uint32_t(rows * 131 + cols));
    // The extremes of the range must land in the first and last bins and cells.
    if (rows * cols >= 2) {
        for (cv::Mat &p : planes) {
            if (type == CV_16UC1) {
                p.at<unsigned short>(0, 0) = 0;
                p.at<unsigned short>(rows - 1, cols - 1) = 65535;
            } else {
                p.at<unsigned char>(0, 0) = 0;
                p.at<unsigned char>(rows - 1, cols - 1) = 255;
            }
        }
    }
    MHist hist;
    QVERIFY(hist.compute(planes));
    const Reference ref = countNaively(planes);
    QCOMPARE(hist.total(), std::uint64_t(rows) * std::uint64_t(cols));
    QCOMPARE(hist.depth(), type == CV_16UC1 ? 16 : 8);
    for (int p = 0; p < 3; ++p)
        for (int b = 0; b < 256; ++b)
            QCOMPARE(hist.count(p, b), ref.bins[p][b]);
    for (int l = 0; l < 16; ++l)
        for (int a = 0; a < 32; ++a)
            for (int b = 0; b < 32; ++b)
                QVERIFY(hist.cell(l, a, b) == ref.cells[std::size_t(l * 1024 + a * 32 + b)]);
    QCOMPARE(hist.count(3, 0), std::uint64_t(0));
    QCOMPARE(hist.count(0, 256), std::uint64_t(0));
}

void tst_MHist::computeMergedMatchesPlanes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::newRow("16-bit 1x1") << int(CV_16UC1) << 1 << 1;
    QTest::newRow("16-bit 13x29") << int(CV_16UC1) << 13 << 29;
    QTest::newRow("8-bit 13x29") << int(CV_8UC1) << 13 << 29;
}

void tst_MHist::computeMergedMatchesPlanes()
{
    QFETCH(int, type);
    QFETCH(int, rows);
    QFETCH(int, cols);
    const std::vector<cv::Mat> planes = randomPlanes(rows, cols, type, 7);
    cv::Mat merged;
    cv::merge(planes, merged);
    MHist fromPlanes, fromMerged;
    QVERIFY(fromPlanes.compute(planes));
    QVERIFY(fromMerged.computeMerged(merged));
    QVERIFY(fromPlanes == fromMerged);
    // A region of a larger matrix (rows not contiguous) reads the same samples.
    cv::Mat larger(rows + 4, cols + 6, merged.type(), cv::Scalar::all(0));
    merged.copyTo(larger(cv::Rect(3, 2, cols, rows)));
    MHist fromRegion;
    QVERIFY(fromRegion.computeMerged(larger(cv::Rect(3, 2, cols, rows))));
    QVERIFY(fromRegion == fromPlanes);
}

void tst_MHist::computeRejectsBadPlanes_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("no planes") << 0;
    QTest::newRow("two planes") << 1;
    QTest::newRow("four planes") << 2;
    QTest::newRow("empty planes") << 3;
    QTest::newRow("sizes differ") << 4;
    QTest::newRow("types differ") << 5;
    QTest::newRow("three-channel planes") << 6;
    QTest::newRow("float planes") << 7;
    QTest::newRow("signed 16-bit planes") << 8;
}

void tst_MHist::computeRejectsBadPlanes()
{
    QFETCH(int, kind);
    std::vector<cv::Mat> planes = randomPlanes(4, 6, CV_16UC1, 3);
    switch (kind) {
    case 0:
        planes.clear();
        break;
    case 1:
        planes.pop_back();
        break;
    case 2:
        planes.push_back(planes[0]);
        break;
    case 3:
        planes = std::vector<cv::Mat>(3);
        break;
    case 4:
        planes[2] = cv::Mat(4, 5, CV_16UC1, cv::Scalar(1));
        break;
    case 5:
        planes[1] = cv::Mat(4, 6, CV_8UC1, cv::Scalar(1));
        break;
    case 6:
        for (cv::Mat &p : planes)
            p = cv::Mat(4, 6, CV_16UC3, cv::Scalar::all(1));
        break;
    case 7:
        for (cv::Mat &p : planes)
            p = cv::Mat(4, 6, CV_32FC1, cv::Scalar(1));
        break;
    default:
        for (cv::Mat &p : planes)
            p = cv::Mat(4, 6, CV_16SC1, cv::Scalar(1));
    }
    MHist hist;
    QVERIFY(hist.compute(randomPlanes(3, 3, CV_8UC1, 5)));
    const MHist before = hist;
    CoreTrace trace;
    QVERIFY(!hist.compute(planes));
    QVERIFY(hist == before);
    QCOMPARE(int(g_trace.size()), 1);
    QVERIFY(g_trace[0].rfind("MHist::compute:", 0) == 0);
}

void tst_MHist::percentileBin()
{
    MHist hist;
    QCOMPARE(hist.percentileBin(0, 0.5), -1);
    std::vector<cv::Mat> planes(3, cv::Mat(1, 10, CV_8UC1, cv::Scalar(128)));
    planes[0] = (cv::Mat_<unsigned char>(1, 10) << 0, 10, 20, 30, 40, 50, 60, 70, 80, 90);
    QVERIFY(hist.compute(planes));
    QCOMPARE(hist.percentileBin(0, 0.0), 0);
    QCOMPARE(hist.percentileBin(0, 0.5), 40);
    QCOMPARE(hist.percentileBin(0, 0.51), 50);
    QCOMPARE(hist.percentileBin(0, 1.0), 90);
    QCOMPARE(hist.percentileBin(1, 0.5), 128);
    QCOMPARE(hist.percentileBin(3, 0.5), -1);
}

void tst_MHist::saveWritesDocumentedForm()
{
    MHist hist;
    std::string text;
    QVERIFY(hist.save(text));
    QCOMPARE(text,
        std::string("MHist 1\ndepth 16\ntotal 0\nplane 0\nend\nplane 1\nend\nplane 2\nend\ncells 16 32 32\nend\n"));
    QVERIFY(hist.compute(knownPlanes()));
    QVERIFY(hist.save(text));
    QCOMPARE(text, knownText);
}

void tst_MHist::roundTripIsBitIdentical_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<int>("type");
    QTest::newRow("empty histogram") << QString() << 0;
    QTest::newRow("random 16-bit") << QString() << int(CV_16UC1);
    QTest::newRow("random 8-bit") << QString() << int(CV_8UC1);
    QTest::newRow("coffee") << QStringLiteral("photos/coffee.png") << int(CV_16UC1);
    QTest::newRow("astronaut") << QStringLiteral("photos/astronaut.png") << int(CV_16UC1);
    QTest::newRow("chelsea") << QStringLiteral("photos/chelsea.png") << int(CV_16UC1);
}

void tst_MHist::roundTripIsBitIdentical()
{
    QFETCH(QString, picture);
    QFETCH(int, type);
    MHist hist;
    if (!picture.isEmpty()) {
        const QImage image(sharedDataPath(picture));
        QVERIFY(!image.isNull());
        QVERIFY(hist.compute(AnalysisReference::analysisPlanes(image)));
    } else if (type) {
        QVERIFY(hist.compute(randomPlanes(37, 53, type, 11)));
    }
    std::string text, again;
    QVERIFY(hist.save(text));
    MHist loaded;
    QVERIFY(loaded.compute(randomPlanes(2, 2, CV_8UC1, 1)));
    QVERIFY(loaded.load(text));
    QVERIFY(loaded == hist);
    QVERIFY(loaded.save(again));
    QCOMPARE(again, text);
}

void tst_MHist::loadAcceptsCrLfAndMissingFinalNewline()
{
    MHist known;
    QVERIFY(known.compute(knownPlanes()));
    std::string crlf;
    for (char c : knownText)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    MHist hist;
    QVERIFY(hist.load(crlf));
    QVERIFY(hist == known);
    MHist other;
    QVERIFY(other.load(knownText.substr(0, knownText.size() - 1)));
    QVERIFY(other == known);
}

void tst_MHist::loadRejectsHostileText_data()
{
    QTest::addColumn<std::string>("text");
    const std::string &t = knownText;
    QTest::newRow("empty text") << std::string();
    QTest::newRow("header only") << std::string("MHist 1\n");
    QTest::newRow("wrong magic") << replaced(t, "MHist 1", "MHisto 1");
    QTest::newRow("version 2") << replaced(t, "MHist 1", "MHist 2");
    QTest::newRow("version 0") << replaced(t, "MHist 1", "MHist 0");
    QTest::newRow("depth 12") << replaced(t, "depth 16", "depth 12");
    QTest::newRow("negative count") << replaced(t, "3 2\n", "3 -2\n");
    QTest::newRow("plus sign") << replaced(t, "3 2\n", "3 +2\n");
    QTest::newRow("hex count") << replaced(t, "3 2\n", "3 0x2\n");
    QTest::newRow("leading zero") << replaced(t, "3 2\n", "3 02\n");
    QTest::newRow("huge total") << replaced(t, "total 4", "total 2199023255552");
    QTest::newRow("count overflowing 64 bits") << replaced(t, "3 2\n", "3 18446744073709551618\n");
    // Unchecked, the two counts would wrap around 64 bits to exactly the total.
    QTest::newRow("counts wrapping to the total")
        << replaced(t, "3 2\n195 2\n", "3 9223372036854775810\n195 9223372036854775810\n");
    QTest::newRow("count larger than total") << replaced(t, "3 2\n", "3 5\n");
    QTest::newRow("zero count") << replaced(t, "195 2\n", "195 2\n200 0\n");
    QTest::newRow("bin 256") << replaced(t, "195 2\n", "256 2\n");
    QTest::newRow("bins out of order") << replaced(t, "3 2\n195 2\n", "195 2\n3 2\n");
    QTest::newRow("duplicate bin") << replaced(t, "3 2\n195 2\n", "3 2\n3 2\n");
    QTest::newRow("plane counts do not add up") << replaced(t, "195 2\n", "195 1\n");
    QTest::newRow("duplicate plane section") << replaced(t, "plane 1\n128 4\nend\n", "plane 0\n3 2\n195 2\nend\n");
    QTest::newRow("planes out of order") << replaced(replaced(t, "plane 1\n", "plane 9\n"), "plane 2\n", "plane 1\n");
    QTest::newRow("missing plane") << replaced(t, "plane 1\n128 4\nend\n", "");
    QTest::newRow("unclosed plane") << replaced(t, "195 2\nend\n", "195 2\n");
    QTest::newRow("missing cells") << t.substr(0, t.find("cells"));
    QTest::newRow("duplicate cells section") << t + "cells 16 32 32\nend\n";
    QTest::newRow("wrong cell layout") << replaced(t, "cells 16 32 32", "cells 16 32 16");
    QTest::newRow("cells out of order") << replaced(t, "12 16 16 1 50000 32768 32768\n12 16 19 1 50000 32768 40000\n",
        "12 16 19 1 50000 32768 40000\n12 16 16 1 50000 32768 32768\n");
    QTest::newRow("cell index out of range") << replaced(t, "12 16 19 ", "12 16 32 ");
    QTest::newRow("cell with six numbers") << replaced(t, "0 16 16 2 2000 65536 65536", "0 16 16 2 2000 65536");
    QTest::newRow("cell sum outside cell") << replaced(t, "0 16 16 2 2000 ", "0 16 16 2 9000 ");
    QTest::newRow("cell counts do not add up") << replaced(t, "12 16 19 1 50000 32768 40000\n", "");
    QTest::newRow("planes and cells disagree") << replaced(t, "3 2\n195 2\n", "3 1\n100 1\n195 2\n");
    QTest::newRow("embedded NUL") << replaced(t, "195 2", std::string("195\0 2", 6));
    QTest::newRow("NUL after the end") << t + std::string(1, '\0');
    QTest::newRow("overlong line") << replaced(t, "depth 16", "depth 16" + std::string(200, ' ') + "x");
    QTest::newRow("garbage after end") << t + "garbage\n";
    QTest::newRow("empty line") << replaced(t, "total 4\n", "total 4\n\n");
    QTest::newRow("double space") << replaced(t, "3 2\n", "3  2\n");
    QTest::newRow("trailing space") << replaced(t, "3 2\n", "3 2 \n");
    QTest::newRow("tab separator") << replaced(t, "3 2\n", "3\t2\n");
    QTest::newRow("non-ASCII") << replaced(t, "end\n", "\xc3\xa9nd\n");
    QTest::newRow("carriage return alone") << replaced(t, "3 2\n", "3 2\r");
    QTest::newRow("truncated in a cell") << t.substr(0, t.find("12 16 19") + 5);
}

void tst_MHist::loadRejectsHostileText()
{
    QFETCH(std::string, text);
    MHist hist;
    QVERIFY(hist.compute(randomPlanes(5, 7, CV_16UC1, 21)));
    const MHist before = hist;
    std::string savedBefore, savedAfter;
    hist.save(savedBefore);
    CoreTrace trace;
    QVERIFY(!hist.load(text));
    QVERIFY(hist == before);
    hist.save(savedAfter);
    QCOMPARE(savedAfter, savedBefore);
    QVERIFY(!g_trace.empty());
    QVERIFY(g_trace[0].rfind("MHist::load:", 0) == 0);
}

void tst_MHist::loadRejectsEveryTruncation()
{
    MHist known;
    QVERIFY(known.compute(knownPlanes()));
    const MHist previous = known;
    for (std::size_t length = 0; length + 1 < knownText.size(); ++length) {
        MHist hist = previous;
        QVERIFY2(!hist.load(knownText.substr(0, length)), qPrintable(QString::number(length)));
        QVERIFY(hist == previous);
    }
}

void tst_MHist::loadSurvivesMutations()
{
    MHist source;
    QVERIFY(source.compute(randomPlanes(6, 9, CV_16UC1, 99)));
    std::string valid;
    source.save(valid);
    MHist previous;
    QVERIFY(previous.compute(randomPlanes(3, 4, CV_8UC1, 98)));
    Lcg rng { 2024 };
    int accepted = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string text = valid;
        for (int edits = 1 + rng.below(3); edits > 0; --edits) {
            const std::size_t at = std::size_t(rng.below(int(text.size())));
            switch (rng.below(5)) {
            case 0: // any byte, NUL included
                text[at] = char(rng.below(256));
                break;
            case 1: // another digit: numbers that no longer add up
                text[at] = char('0' + rng.below(10));
                break;
            case 2:
                text.insert(at, 1, "0123456789 \nabcdemt\r"[rng.below(20)]);
                break;
            case 3:
                text.erase(at, 1 + std::size_t(rng.below(4)));
                break;
            default: // a line repeated elsewhere
                text.insert(std::size_t(rng.below(int(text.size()))), text.substr(at, text.find('\n', at) - at + 1));
            }
            if (text.empty())
                text = "x";
        }
        MHist hist = previous;
        if (hist.load(text)) {
            ++accepted;
            QVERIFY2(bSelfConsistent(hist), text.c_str());
            std::string resaved;
            hist.save(resaved);
            MHist again;
            QVERIFY(again.load(resaved));
            QVERIFY(again == hist);
        } else {
            QVERIFY(hist == previous);
        }
    }
    // Most mutations must be caught; the few that pass are consistent (checked above).
    QVERIFY2(accepted < 200, qPrintable(QString::number(accepted)));
}

FX_REGISTER_TEST(tst_MHist)
#include "tst_mhist.moc"
