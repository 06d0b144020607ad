// The lookup-table filter: its table set-up, sampling and interpolation, the band blend of the
// chroma tables, its programming-error messages and when proc() works; then the three bundled
// point filters on real photos, every output pixel against the filter's maths computed here in
// double precision through the same sampling grids.

#include "testdata.h"
#include "testregistry.h"
#include "tfiltercontext.h"
#include "tfilterlut.h"
#include "timage.h"
#include "tinport.h"
#include "toutport.h"
#include "tpluginfactory.h"
#include "tracecapture.h"

#include <QImage>
#include <QtTest>
#include <cmath>
#include <functional>
#include <memory>
#include <random>

namespace {
using PixelFn = std::function<void(quint16 &, quint8 &, quint8 &)>;

// A lookup-table filter whose per-pixel function each test chooses, with the protected part
// opened. It counts the calls of its per-pixel function.
class TProbeLut : public TFilterLUT {
public:
    TProbeLut(QObject *parent, PixelFn fn = {})
        : TFilterLUT(QStringLiteral("probe"), parent)
        , m_fn(std::move(fn))
    {
    }
    using TFilterLUT::applyCLUT;
    using TFilterLUT::applyYLUT;
    using TFilterLUT::computeLUT;
    using TFilterLUT::invalidateLUT;
    using TFilterLUT::numCLUT;
    using TFilterLUT::setupCLUT;
    using TFilterLUT::setupYLUT;
    const quint16 *yTable() const { return m_lutY_p; }
    const quint16 *cTable(int t) const { return m_lutC_p[t]; }
    int calls = 0;

protected:
    void computePixel(quint16 &y, quint8 &c1, quint8 &c2) override
    {
        ++calls;
        if (m_fn)
            m_fn(y, c1, c2);
    }

private:
    PixelFn m_fn;
};

// An image of the type with random samples, marked written.
std::unique_ptr<TImage> randomImage(TImage::IMTYPE type, int w, int h, unsigned seed)
{
    auto image = std::make_unique<TImage>(type, TSize(w, h));
    std::mt19937 random(seed);
    const int top = type == TImage::Y ? 65535 : 255;
    for (cv::Mat *plane : { &image->mat1(), &image->mat2() }) {
        for (int r = 0; r < plane->rows; ++r)
            for (int x = 0; x < plane->cols; ++x) {
                const int v = int(random() % unsigned(top + 1));
                if (type == TImage::Y)
                    plane->at<quint16>(r, x) = quint16(v);
                else
                    plane->at<quint8>(r, x) = quint8(v);
            }
    }
    image->markWritten();
    return image;
}

bool samePixels(const TImage &a, const TImage &b)
{
    if (a.size() != b.size() || a.type() != b.type())
        return false;
    if (a.bEmpty())
        return true;
    bool same = cv::countNonZero(a.mat1() != b.mat1()) == 0;
    if (a.type() == TImage::C)
        same = same && cv::countNonZero(a.mat2() != b.mat2()) == 0;
    return same;
}

// The maths of the bundled filters, written from their documented formulas, unrounded.
struct Model {
    QString key;
    double brightness = 0, contrast = 0, gamma = 1, saturation = 1;

    double luma(double y) const
    {
        double x = y / 65535.0;
        if (key == QLatin1String("TFGamma"))
            return 65535.0 * std::pow(x, 1.0 / gamma);
        if (key == QLatin1String("TFBrightnessContrast")) {
            x = std::min(1.0, std::max(0.0, x + brightness / 2));
            const double p = std::pow(3.0, contrast);
            return 65535.0 * (x < 0.5 ? std::pow(2 * x, p) / 2 : 1 - std::pow(2 - 2 * x, p) / 2);
        }
        return y;
    }
    double colour(double y, double c) const
    {
        double s = saturation;
        if (s > 1) {
            const double t = std::min(1.0, 2 * y / 65535.0);
            s = 1 + (s - 1) * (0.25 + 0.75 * t * t * (3 - 2 * t));
        }
        return std::min(255.0, std::max(0.0, 128 + (c - 128) * s));
    }
};

// The luminance table's value for y: the model sampled at 16 i, linear in between, the last
// sample from 65520 on.
double referenceLuma(const Model &m, int y)
{
    const int i = y / 16, k = y % 16;
    if (i >= 4095)
        return m.luma(65520);
    return (m.luma(16.0 * i) * (16 - k) + m.luma(16.0 * (i + 1)) * k) / 16;
}

// A chroma table's value for c1 (or c2) at the luminance of its band: the model on the 64 x 64
// grid of colour values 4 i, bilinear in between, the last grid value from 252 on. The
// saturation model treats both colour values alike and each alone.
double referenceColour(const Model &m, double bandLuma, int c)
{
    const int i = std::min(c / 4, 63), k = c % 4;
    const int next = std::min(i + 1, 63);
    return (m.colour(bandLuma, 4.0 * i) * (4 - k) + m.colour(bandLuma, 4.0 * next) * k) / 4;
}

// A photo as the graph's Y and C images.
struct Photo {
    TImage y { TImage::Y };
    TImage c { TImage::C };
    bool ok = false;
    explicit Photo(const QString &path)
    {
        const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
        ok = !image.isNull()
            && TImage::bgra8uToTImage(
                image.constBits(), image.bytesPerLine(), image.width(), image.height(), &y, &c, nullptr);
    }
};

// An output image, through the lookup that every holder of a filter has.
const TImage *output(const TFilter *filter, const char *key) { return filter->outImagePtr(QLatin1String(key)); }

QString thrown(const std::function<void()> &action)
{
    try {
        action();
    } catch (const char *message) {
        return QString::fromLatin1(message);
    }
    return QStringLiteral("(nothing thrown)");
}

const QString sizeMessage = QStringLiteral("ERROR - TFilterLUT::applyCLUT - outSz != inC_p->size()");
const QString typeMessage
    = QStringLiteral("ERROR - TFilterLUT::applyCLUT: inC_p->type() !=outC_p->type || outC_p->type != TImage::C");
const QString noTableMessage = QStringLiteral("ERROR - TFilterLUT::applyCLUT - m_NC<1 ");
const QString lumaTypeMessage = QStringLiteral("ERROR - TFilterLUT::applyCLUT - inY_p->type() != TImage::Y");
}

class tst_FilterLUT : public QObject {
    Q_OBJECT
    TFilterContext *m_context = nullptr;

    // A bundled filter by key, under the context.
    TFilterLUT *bundled(const QString &key)
    {
        TraceCapture quiet;
        return qobject_cast<TFilterLUT *>(m_context->filterFactoryPtr()->createTFilter(key, key, m_context));
    }

private slots:
    void initTestCase()
    {
        TraceCapture quiet;
        m_context = new TFilterContext(nullptr);
    }
    void cleanupTestCase() { delete m_context; }

    // How many chroma tables there are after a first and a second setupCLUT, and that tables
    // which stay are not reallocated.
    void lutSetupCLUT_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<int>("count");
        QTest::newRow("7 is held at 32") << -1 << 7 << 32;
        QTest::newRow("5 gives 32") << 0 << 5 << 32;
        QTest::newRow("0 keeps one and frees 1 to 31") << 5 << 0 << 1;
        QTest::newRow("-1 frees all") << 5 << -1 << 0;
        QTest::newRow("3 after 5 frees 8 to 31") << 5 << 3 << 8;
        QTest::newRow("2 after 0 adds 1 to 3") << 0 << 2 << 4;
    }
    void lutSetupCLUT()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(int, count);
        TProbeLut lut(m_context);
        QCOMPARE(lut.numCLUT(), 0);
        lut.setupCLUT(first);
        const quint16 *firstTable = lut.cTable(0);
        QCOMPARE(lut.setupCLUT(second), count);
        QCOMPARE(lut.numCLUT(), count);
        for (int t = 0; t < 32; ++t)
            QVERIFY2((lut.cTable(t) != nullptr) == (t < count), qPrintable(QString::number(t)));
        if (firstTable && count > 0)
            QCOMPARE(lut.cTable(0), firstTable);
    }

    // A per-pixel function that changes nothing: samples 16 i and 4 i, placed on entries 16 i
    // and 4 i, linear in between, the last sample beyond.
    void lutIdentityTables()
    {
        TProbeLut lut(m_context);
        lut.setupYLUT();
        lut.setupCLUT(0);
        const quint16 *yTable = lut.yTable();
        lut.computeLUT();
        QCOMPARE(lut.yTable(), yTable);
        QCOMPARE(lut.calls, 4096 + 64 * 64);
        for (int k = 0; k < 65536; ++k) {
            QVERIFY(lut.yTable()[k] <= 65520);
            if (k > 0)
                QVERIFY(lut.yTable()[k] >= lut.yTable()[k - 1]);
            QCOMPARE(int(lut.yTable()[k]), std::min(k, 65520));
        }
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b) {
                const int v = lut.cTable(0)[a * 256 + b];
                QCOMPARE(v >> 8, std::min(a, 252));
                QCOMPARE(v & 255, std::min(b, 252));
            }
    }

    // With one chroma table, colour is sampled at luminance 32767 whatever the pixel's own.
    void lutOneTableIgnoresLuminance()
    {
        TProbeLut lut(m_context, [](quint16 &y, quint8 &c1, quint8 &c2) {
            c1 = quint8(c1 / 2 + y / 1024);
            c2 = quint8(255 - c2);
        });
        lut.setupYLUT();
        lut.setupCLUT(0);
        lut.computeLUT();
        auto inC = randomImage(TImage::C, 5, 4, 1);
        inC->mat1().at<quint8>(0, 0) = 40;
        inC->mat2().at<quint8>(0, 0) = 100;
        TImage single(TImage::C, inC->size()), dark(TImage::C, inC->size()), bright(TImage::C, inC->size());
        TImage black(TImage::Y, TSize(10, 8)), white(TImage::Y, TSize(10, 8));
        black.mat1().setTo(0);
        white.mat1().setTo(65535);
        lut.applyCLUT(inC.get(), &single);
        lut.applyCLUT(&black, inC.get(), &dark);
        lut.applyCLUT(&white, inC.get(), &bright);
        QVERIFY(samePixels(dark, single));
        QVERIFY(samePixels(bright, single));
        QCOMPARE(int(single.mat1().at<quint8>(0, 0)), 40 / 2 + 32767 / 1024);
        QCOMPARE(int(single.mat2().at<quint8>(0, 0)), 255 - 100);
    }

    // Two tables, table 0 sampled at 16384 and table 1 at 49152; the half-resolution luminance
    // picks the band (its top bit) and the weight of the next table (the other bits, shifted
    // up), the last band blending its table with itself.
    void lutTwoTablesBlendBands_data()
    {
        QTest::addColumn<int>("halfLuma");
        QTest::addColumn<int>("band");
        QTest::addColumn<int>("nextWeight");
        QTest::newRow("0: table 0 at 255/256") << 0 << 0 << 0;
        QTest::newRow("64: halfway to table 1") << 64 << 0 << 128;
        QTest::newRow("127: nearly table 1") << 127 << 0 << 254;
        QTest::newRow("128: table 1 at 255/256") << 128 << 1 << 0;
        QTest::newRow("255: last table with itself") << 255 << 1 << 254;
    }
    void lutTwoTablesBlendBands()
    {
        QFETCH(int, halfLuma);
        QFETCH(int, band);
        QFETCH(int, nextWeight);
        const int first[2] = { 40, 200 }, second[2] = { 100, 250 };
        TProbeLut lut(m_context, [&](quint16 &y, quint8 &c1, quint8 &c2) {
            c1 = quint8(y < 32768 ? first[0] : first[1]);
            c2 = quint8(y < 32768 ? second[0] : second[1]);
        });
        lut.setupYLUT();
        QCOMPARE(lut.setupCLUT(1), 2);
        lut.computeLUT();
        TImage y(TImage::Y, TSize(6, 4)), inC(TImage::C, TSize(3, 2)), outC(TImage::C, TSize(3, 2));
        y.mat1().setTo(halfLuma * 257);
        inC.mat1().setTo(77);
        inC.mat2().setTo(13);
        QCOMPARE(int(y.halfY8U().at<quint8>(0, 0)), halfLuma);
        lut.applyCLUT(&y, &inC, &outC);
        const int next = std::min(band + 1, 1);
        const int expected1 = (first[band] * (255 - nextWeight) + first[next] * nextWeight) / 256;
        const int expected2 = (second[band] * (255 - nextWeight) + second[next] * nextWeight) / 256;
        QCOMPARE(cv::countNonZero(outC.mat1() != expected1), 0);
        QCOMPARE(cv::countNonZero(outC.mat2() != expected2), 0);
    }

    // The messages of the two colour mappings, and which check comes first.
    void lutApplyCLUTMessages_data()
    {
        QTest::addColumn<int>("exponent");
        QTest::addColumn<bool>("banded");
        QTest::addColumn<int>("outWidth");
        QTest::addColumn<int>("inType");
        QTest::addColumn<int>("outType");
        QTest::addColumn<int>("lumaType");
        QTest::addColumn<QString>("message");
        const int Y = TImage::Y, C = TImage::C;
        QTest::newRow("banded: outC one narrower") << 1 << true << 3 << C << C << Y << sizeMessage;
        QTest::newRow("banded: outC of type Y") << 1 << true << 4 << C << Y << Y << typeMessage;
        QTest::newRow("banded: inC of type Y") << 1 << true << 4 << Y << C << Y << typeMessage;
        QTest::newRow("banded: size before type") << 1 << true << 3 << C << Y << Y << sizeMessage;
        QTest::newRow("banded: inY of type C") << 1 << true << 4 << C << C << C << lumaTypeMessage;
        QTest::newRow("banded: colour before inY") << 1 << true << 3 << C << C << C << sizeMessage;
        QTest::newRow("banded: no tables before size") << -1 << true << 3 << C << C << Y << noTableMessage;
        QTest::newRow("banded, one table: outC narrower") << 0 << true << 3 << C << C << C << sizeMessage;
        QTest::newRow("single: outC one narrower") << 0 << false << 3 << C << C << Y << sizeMessage;
        QTest::newRow("single: outC of type Y") << 0 << false << 4 << C << Y << Y << typeMessage;
    }
    void lutApplyCLUTMessages()
    {
        QFETCH(int, exponent);
        QFETCH(bool, banded);
        QFETCH(int, outWidth);
        QFETCH(int, inType);
        QFETCH(int, outType);
        QFETCH(int, lumaType);
        QFETCH(QString, message);
        TProbeLut lut(m_context);
        lut.setupYLUT();
        lut.setupCLUT(exponent);
        lut.computeLUT();
        TImage inC(TImage::IMTYPE(inType), TSize(4, 3)), outC(TImage::IMTYPE(outType), TSize(outWidth, 3));
        TImage y(TImage::IMTYPE(lumaType), TSize(8, 6));
        QCOMPARE(thrown([&] { banded ? lut.applyCLUT(&y, &inC, &outC) : lut.applyCLUT(&inC, &outC); }), message);
    }

    // proc() maps luminance along with the colour rows it reads; the result must be that of the
    // two mappings done apart, with the band taken from TImage::halfY8U() (its last row and
    // column repeated where the colour image is larger than half the luminance).
    void lutProcBandsFollowHalfLuma_data()
    {
        QTest::addColumn<QSize>("lumaSize");
        QTest::addColumn<QSize>("colourSize");
        QTest::newRow("even luminance") << QSize(10, 8) << QSize(5, 4);
        QTest::newRow("odd luminance") << QSize(9, 7) << QSize(5, 4);
        QTest::newRow("1 x 1") << QSize(1, 1) << QSize(1, 1);
        QTest::newRow("colour smaller than half") << QSize(9, 7) << QSize(3, 2);
        QTest::newRow("colour larger than half") << QSize(6, 4) << QSize(5, 3);
        QTest::newRow("wide row, several chunks") << QSize(301, 5) << QSize(151, 3);
        QTest::newRow("wide rows, several luminance blocks") << QSize(517, 9) << QSize(259, 5);
        QTest::newRow("wide rows, colour narrower than half") << QSize(517, 9) << QSize(200, 5);
    }
    void lutProcBandsFollowHalfLuma()
    {
        QFETCH(QSize, lumaSize);
        QFETCH(QSize, colourSize);
        TProbeLut lut(m_context, [](quint16 &y, quint8 &c1, quint8 &c2) {
            c1 = quint8(c1 / 2 + y / 1024);
            c2 = quint8(255 - c2 / 2 - y / 2048);
            y = quint16(65535 - y);
        });
        lut.setupYLUT();
        QCOMPARE(lut.setupCLUT(2), 4);
        auto y = randomImage(TImage::Y, lumaSize.width(), lumaSize.height(), 11);
        auto c = randomImage(TImage::C, colourSize.width(), colourSize.height(), 12);
        lut.setInImage(QStringLiteral("inY"), y.get());
        lut.setInImage(QStringLiteral("inC"), c.get());
        QCOMPARE(lut.proc(), QString());

        TImage separateY(TImage::Y, y->size());
        lut.applyYLUT(y.get(), &separateY);
        QVERIFY(samePixels(*output(&lut, "outY"), separateY));
        const cv::Mat half = y->halfY8U();
        const TImage *outC = output(&lut, "outC");
        QCOMPARE(outC->size(), c->size());
        for (int r = 0; r < c->height(); ++r)
            for (int x = 0; x < c->width(); ++x) {
                const int l = half.at<quint8>(std::min(r, half.rows - 1), std::min(x, half.cols - 1));
                const int band = l >> 6, f = (l << 2) & 255;
                const int key = c->mat1().at<quint8>(r, x) * 256 + c->mat2().at<quint8>(r, x);
                const int a = lut.cTable(band)[key], b = lut.cTable(std::min(band + 1, 3))[key];
                QCOMPARE(int(outC->mat1().at<quint8>(r, x)), ((a >> 8) * (255 - f) + (b >> 8) * f) >> 8);
                QCOMPARE(int(outC->mat2().at<quint8>(r, x)), ((a & 255) * (255 - f) + (b & 255) * f) >> 8);
            }
    }

    // A run without colour input leaves "outC" empty, also after a run that filled it; a run
    // without luminance input leaves "outY" empty.
    void lutProcEmptiesOutputsWithoutInput()
    {
        TProbeLut lut(m_context);
        lut.setupYLUT();
        lut.setupCLUT(2);
        auto y = randomImage(TImage::Y, 8, 6, 2);
        auto c = randomImage(TImage::C, 4, 3, 3);
        QVERIFY(lut.setInImage(QStringLiteral("inY"), y.get()));
        QCOMPARE(lut.proc(), QString());
        QVERIFY(output(&lut, "outC")->bEmpty());
        QCOMPARE(output(&lut, "outY")->size(), y->size());
        QVERIFY(lut.setInImage(QStringLiteral("inC"), c.get()));
        lut.proc();
        QCOMPARE(output(&lut, "outC")->size(), c->size());
        QVERIFY(lut.setInImage(QStringLiteral("inC"), nullptr));
        y->markWritten();
        lut.proc();
        QVERIFY(output(&lut, "outC")->bEmpty());
        QVERIFY(lut.setInImage(QStringLiteral("inY"), nullptr));
        QVERIFY(lut.setInImage(QStringLiteral("inC"), c.get()));
        c->markWritten();
        lut.proc();
        QVERIFY(output(&lut, "outY")->bEmpty());
        QCOMPARE(output(&lut, "outC")->size(), c->size());
    }

    // Nothing is computed or written while the inputs are as last consumed; a new write of an
    // input, or invalidateLUT (what parameter setters call), makes the next run work again.
    void lutProcOnlyOnChange()
    {
        TProbeLut lut(m_context, [](quint16 &y, quint8 &, quint8 &) { y = quint16(65535 - y); });
        lut.setupYLUT();
        auto y = randomImage(TImage::Y, 8, 6, 4);
        lut.setInImage(QStringLiteral("inY"), y.get());
        QCOMPARE(lut.proc(), QString());
        QVERIFY(lut.calls > 0);
        QVERIFY(lut.bInsChanged());
        lut.setProccessed();
        const TImage *out = output(&lut, "outY");
        TUpdateRect written = out->updateRect();
        lut.calls = 0;
        QCOMPARE(lut.proc(), QString());
        QCOMPARE(lut.calls, 0);
        QVERIFY(out->updateRect() == written);

        lut.invalidateLUT();
        lut.proc();
        QVERIFY(lut.calls > 0);
        QVERIFY(out->updateRect() != written);
        written = out->updateRect();
        lut.calls = 0;
        lut.proc();
        QCOMPARE(lut.calls, 0);

        y->mat1().at<quint16>(1, 2) = 1000;
        y->markWritten();
        lut.proc();
        QVERIFY(lut.calls > 0);
        QCOMPARE(int(out->mat1().at<quint16>(1, 2)), 65535 - 1000);
    }

    // Without a table for an input, the input is copied unchanged.
    void lutProcCopiesWithoutTables()
    {
        TProbeLut lut(m_context, [](quint16 &y, quint8 &c1, quint8 &) {
            y = 0;
            c1 = 0;
        });
        auto y = randomImage(TImage::Y, 9, 7, 5);
        auto c = randomImage(TImage::C, 5, 4, 6);
        lut.setInImage(QStringLiteral("inY"), y.get());
        lut.setInImage(QStringLiteral("inC"), c.get());
        lut.proc();
        QVERIFY(samePixels(*output(&lut, "outY"), *y));
        QVERIFY(samePixels(*output(&lut, "outC"), *c));
    }

    // An output that passes an input through is not written.
    void lutProcLeavesForeignOutputs()
    {
        TProbeLut lut(m_context, [](quint16 &y, quint8 &c1, quint8 &) {
            y = 0;
            c1 = 0;
        });
        lut.setupYLUT();
        lut.setupCLUT(0);
        auto y = randomImage(TImage::Y, 8, 6, 7);
        auto c = randomImage(TImage::C, 4, 3, 8);
        const cv::Mat copyY = y->mat1().clone(), copyC = c->mat1().clone();
        lut.setInImage(QStringLiteral("inY"), y.get());
        lut.setInImage(QStringLiteral("inC"), c.get());
        QVERIFY(lut.outportPtr(QStringLiteral("outY"))->connectTo(lut.inportPtr(QStringLiteral("inY"))));
        QVERIFY(lut.outportPtr(QStringLiteral("outC"))->connectTo(lut.inportPtr(QStringLiteral("inC"))));
        QCOMPARE(lut.proc(), QString());
        QVERIFY(lut.calls > 0);
        QCOMPARE(cv::countNonZero(y->mat1() != copyY), 0);
        QCOMPARE(cv::countNonZero(c->mat1() != copyC), 0);
    }

    // Each bundled filter and setting on a photo: every luminance sample within 1 of the model
    // sampled every 16 levels and interpolated (1: the sample's rounding plus the
    // interpolation's); every colour value within 2 of the model on the 4-step grid at the two
    // bands' luminances, blended with the band weights (each table value within 1, plus the
    // blend's dropped fraction). Filters without chroma tables pass colour through unchanged.
    void lutBundledAgainstModel_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<QVariantMap>("model");
        const QString bc = QStringLiteral("TFBrightnessContrast"), g = QStringLiteral("TFGamma"),
                      s = QStringLiteral("TFSaturation");
        const QString coffee = QStringLiteral("photos/coffee.png"), chelsea = QStringLiteral("photos/chelsea.png");
        auto map = [](const char *name, double value, const char *name2 = nullptr, double value2 = 0) {
            QVariantMap m { { QLatin1String(name), value } };
            if (name2)
                m.insert(QLatin1String(name2), value2);
            return m;
        };
        QTest::newRow("gamma 0.45") << coffee << g << map("Gamma", 0.45) << map("gamma", 0.45);
        QTest::newRow("gamma 2.2, odd size") << chelsea << g << map("Gamma", 2.2) << map("gamma", 2.2);
        QTest::newRow("gamma 10") << coffee << g << map("Gamma", 10) << map("gamma", 10);
        QTest::newRow("gamma 0.05 held at 0.1") << coffee << g << map("Gamma", 0.05) << map("gamma", 0.1);
        QTest::newRow("default gamma") << coffee << g << QVariantMap() << QVariantMap();
        QTest::newRow("brightness 0.3") << coffee << bc << map("Brightness", 0.3) << map("brightness", 0.3);
        QTest::newRow("brightness -0.6, contrast 0.5")
            << chelsea << bc << map("Brightness", -0.6, "Contrast", 0.5) << map("brightness", -0.6, "contrast", 0.5);
        QTest::newRow("contrast -1") << coffee << bc << map("Contrast", -1) << map("contrast", -1);
        QTest::newRow("contrast 3 held at 1") << coffee << bc << map("Contrast", 3) << map("contrast", 1);
        QTest::newRow("saturation 0") << coffee << s << map("Saturation", 0) << map("saturation", 0);
        QTest::newRow("saturation 0.5, odd size") << chelsea << s << map("Saturation", 0.5) << map("saturation", 0.5);
        QTest::newRow("default saturation") << coffee << s << QVariantMap() << QVariantMap();
        QTest::newRow("saturation 1.6") << coffee << s << map("Saturation", 1.6) << map("saturation", 1.6);
        QTest::newRow("saturation 2, odd size") << chelsea << s << map("Saturation", 2) << map("saturation", 2);
        QTest::newRow("saturation 5 held at 2") << coffee << s << map("Saturation", 5) << map("saturation", 2);
    }
    void lutBundledAgainstModel()
    {
        QFETCH(QString, photo);
        QFETCH(QString, key);
        QFETCH(QVariantMap, settings);
        QFETCH(QVariantMap, model);
        FX_REQUIRE_SHARED_DATA(photo);
        Photo in(sharedDataPath(photo));
        QVERIFY(in.ok);
        std::unique_ptr<TFilterLUT> filter(bundled(key));
        QVERIFY2(filter, qPrintable(key));
        for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
            const QByteArray slot = "set" + it.key().toLatin1();
            QVERIFY2(QMetaObject::invokeMethod(filter.get(), slot.constData(), Q_ARG(float, it.value().toFloat())),
                slot.constData());
        }
        const Model m { key, model.value(QStringLiteral("brightness"), 0).toDouble(),
            model.value(QStringLiteral("contrast"), 0).toDouble(), model.value(QStringLiteral("gamma"), 1).toDouble(),
            model.value(QStringLiteral("saturation"), 1).toDouble() };
        filter->setInImage(QStringLiteral("inY"), &in.y);
        filter->setInImage(QStringLiteral("inC"), &in.c);
        QCOMPARE(filter->proc(), QString());
        const TImage *outY = output(filter.get(), "outY");
        const TImage *outC = output(filter.get(), "outC");
        QCOMPARE(outY->size(), in.y.size());
        QCOMPARE(outC->size(), in.c.size());

        for (int r = 0; r < in.y.height(); ++r)
            for (int x = 0; x < in.y.width(); ++x) {
                const int y = in.y.mat1().at<quint16>(r, x);
                const double expected = referenceLuma(m, y);
                const int got = outY->mat1().at<quint16>(r, x);
                if (std::abs(got - expected) > 1.0)
                    QFAIL(qPrintable(QStringLiteral("luma %1 at (%2, %3): %4, expected %5")
                                         .arg(y)
                                         .arg(x)
                                         .arg(r)
                                         .arg(got)
                                         .arg(expected)));
            }
        if (key != QLatin1String("TFSaturation")) {
            QVERIFY(samePixels(*outC, in.c));
            return;
        }
        const cv::Mat half = in.y.halfY8U();
        int changed = 0;
        for (int r = 0; r < in.c.height(); ++r)
            for (int x = 0; x < in.c.width(); ++x) {
                const int l = half.at<quint8>(r, x);
                const int band = l >> 5, next = std::min(band + 1, 7), f = (l << 3) & 255;
                const double lumaBand = (2 * band + 1) * 32768.0 / 8, lumaNext = (2 * next + 1) * 32768.0 / 8;
                for (int plane = 0; plane < 2; ++plane) {
                    const cv::Mat &inPlane = plane ? in.c.mat2() : in.c.mat1();
                    const cv::Mat &outPlane = plane ? outC->mat2() : outC->mat1();
                    const int c = inPlane.at<quint8>(r, x);
                    const double expected
                        = (referenceColour(m, lumaBand, c) * (255 - f) + referenceColour(m, lumaNext, c) * f) / 256;
                    const int got = outPlane.at<quint8>(r, x);
                    changed += got != c;
                    if (std::abs(got - expected) > 2.0)
                        QFAIL(qPrintable(QStringLiteral("colour %1 (luma %2) at (%3, %4): %5, expected %6")
                                             .arg(c)
                                             .arg(l)
                                             .arg(x)
                                             .arg(r)
                                             .arg(got)
                                             .arg(expected)));
                }
            }
        QVERIFY(changed > 0);
    }

    // A setter alone makes the next run work; setting the same value again does not.
    void lutBundledSetterTakesEffect_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("setter");
        QTest::addColumn<float>("value");
        QTest::addColumn<bool>("colour");
        QTest::newRow("brightness") << QStringLiteral("TFBrightnessContrast") << QByteArray("setBrightness") << 0.4f
                                    << false;
        QTest::newRow("contrast") << QStringLiteral("TFBrightnessContrast") << QByteArray("setContrast") << 0.7f
                                  << false;
        QTest::newRow("gamma") << QStringLiteral("TFGamma") << QByteArray("setGamma") << 2.5f << false;
        QTest::newRow("saturation") << QStringLiteral("TFSaturation") << QByteArray("setSaturation") << 1.8f << true;
    }
    void lutBundledSetterTakesEffect()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, setter);
        QFETCH(float, value);
        QFETCH(bool, colour);
        std::unique_ptr<TFilterLUT> filter(bundled(key));
        QVERIFY(filter);
        auto y = randomImage(TImage::Y, 16, 12, 9);
        auto c = randomImage(TImage::C, 8, 6, 10);
        filter->setInImage(QStringLiteral("inY"), y.get());
        filter->setInImage(QStringLiteral("inC"), c.get());
        filter->proc();
        filter->setProccessed();
        const TImage *out = output(filter.get(), colour ? "outC" : "outY");
        const cv::Mat before = out->mat1().clone();
        const TUpdateRect written = out->updateRect();

        QVERIFY(QMetaObject::invokeMethod(filter.get(), setter.constData(), Q_ARG(float, value)));
        filter->proc();
        QVERIFY(out->updateRect() != written);
        QVERIFY(cv::countNonZero(out->mat1() != before) > 0);

        const TUpdateRect rewritten = out->updateRect();
        QVERIFY(QMetaObject::invokeMethod(filter.get(), setter.constData(), Q_ARG(float, value)));
        filter->proc();
        QVERIFY(out->updateRect() == rewritten);
    }
};

FX_REGISTER_TEST(tst_FilterLUT)
#include "tst_filterlut.moc"
