// The lookup-table filter: table set-up, sampling and interpolation, the band blend of the
// chroma tables, its programming-error messages and when proc() works; then the bundled point
// filters on real photos, every output pixel against their maths computed here in double
// precision through the same sampling grids.

#include "filtertest.h"
#include "testdata.h"
#include "testregistry.h"
#include "tfiltercontext.h"
#include "tfilterlut.h"
#include "tinport.h"
#include "toutport.h"
#include "tpluginfactory.h"
#include "tracecapture.h"

#include <QImage>
#include <QtTest>
#include <cmath>
#include <functional>
#include <memory>

using namespace FilterTest;

namespace {
using PixelFn = std::function<void(quint16 &, quint8 &, quint8 &)>;

// A lookup-table filter with a chosen per-pixel function, which counts its calls.
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

// A chroma table's value for c1 (or c2) at its band's luminance: the model on the grid of colour
// values 4 i, linear in between, the last grid value from 252 on (both colour values alike).
double referenceColour(const Model &m, double bandLuma, int c)
{
    const int i = std::min(c / 4, 63), k = c % 4, next = std::min(i + 1, 63);
    return (m.colour(bandLuma, 4.0 * i) * (4 - k) + m.colour(bandLuma, 4.0 * next) * k) / 4;
}

QString thrown(const std::function<void()> &action)
{
    try {
        action();
    } catch (const char *message) {
        return QString::fromLatin1(message);
    }
    return QStringLiteral("(nothing thrown)");
}
}

class tst_FilterLUT : public QObject {
    Q_OBJECT
    TFilterContext *m_context = nullptr;

private slots:
    void initTestCase()
    {
        TraceCapture quiet;
        m_context = new TFilterContext(nullptr);
    }
    void cleanupTestCase() { delete m_context; }

    // How many chroma tables there are after a first and a second setupCLUT; tables that stay
    // are not reallocated.
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

    // A per-pixel function that changes nothing: samples 16 i and 4 i, linear in between, the
    // last sample beyond.
    void lutIdentityTables()
    {
        TProbeLut lut(m_context);
        lut.setupYLUT();
        lut.setupCLUT(0);
        const quint16 *yTable = lut.yTable();
        lut.computeLUT();
        QCOMPARE(lut.yTable(), yTable);
        QCOMPARE(lut.calls, 4096 + 64 * 64);
        for (int k = 0; k < 65536; ++k)
            QCOMPARE(int(lut.yTable()[k]), std::min(k, 65520));
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
        TImage inC = randomImage(TImage::C, 5, 4, 1);
        inC.mat1().at<quint8>(0, 0) = 40;
        inC.mat2().at<quint8>(0, 0) = 100;
        TImage single(TImage::C, inC.size()), dark(TImage::C, inC.size()), bright(TImage::C, inC.size());
        const TImage black = makeImage(TImage::Y, 10, 8, [](int, int, int) { return 0; });
        const TImage white = makeImage(TImage::Y, 10, 8, [](int, int, int) { return 65535; });
        lut.applyCLUT(&inC, &single);
        lut.applyCLUT(&black, &inC, &dark);
        lut.applyCLUT(&white, &inC, &bright);
        QVERIFY(samePixels(&dark, &single));
        QVERIFY(samePixels(&bright, &single));
        QCOMPARE(int(single.mat1().at<quint8>(0, 0)), 40 / 2 + 32767 / 1024);
        QCOMPARE(int(single.mat2().at<quint8>(0, 0)), 255 - 100);
    }

    // Two tables, sampled at 16384 and 49152; the half-resolution luminance picks the band (its
    // top bit) and the next table's weight (the other bits, shifted up); the last band blends
    // its table with itself.
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
        const TImage y = makeImage(TImage::Y, 6, 4, [&](int, int, int) { return halfLuma * 257; });
        const TImage inC = makeImage(TImage::C, 3, 2, [](int, int, int plane) { return plane ? 13 : 77; });
        TImage outC(TImage::C, TSize(3, 2));
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
        const QString size = "ERROR - TFilterLUT::applyCLUT - outSz != inC_p->size()";
        const QString type = "ERROR - TFilterLUT::applyCLUT: inC_p->type() !=outC_p->type || outC_p->type != TImage::C";
        const QString noTable = "ERROR - TFilterLUT::applyCLUT - m_NC<1 ";
        const QString lumaType = "ERROR - TFilterLUT::applyCLUT - inY_p->type() != TImage::Y";
        QTest::newRow("banded: outC one narrower") << 1 << true << 3 << C << C << Y << size;
        QTest::newRow("banded: outC of type Y") << 1 << true << 4 << C << Y << Y << type;
        QTest::newRow("banded: inC of type Y") << 1 << true << 4 << Y << C << Y << type;
        QTest::newRow("banded: size before type") << 1 << true << 3 << C << Y << Y << size;
        QTest::newRow("banded: inY of type C") << 1 << true << 4 << C << C << C << lumaType;
        QTest::newRow("banded: colour before inY") << 1 << true << 3 << C << C << C << size;
        QTest::newRow("banded: no tables before size") << -1 << true << 3 << C << C << Y << noTable;
        QTest::newRow("banded, one table: outC narrower") << 0 << true << 3 << C << C << C << size;
        QTest::newRow("single: outC one narrower") << 0 << false << 3 << C << C << Y << size;
        QTest::newRow("single: outC of type Y") << 0 << false << 4 << C << Y << Y << type;
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
    // two mappings done apart, the band taken from TImage::halfY8U() (its last row and column
    // repeated where the colour image is larger than half the luminance).
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
        const TImage y = randomImage(TImage::Y, lumaSize.width(), lumaSize.height(), 11);
        const TImage c = randomImage(TImage::C, colourSize.width(), colourSize.height(), 12);
        lut.setInImage("inY", &y);
        lut.setInImage("inC", &c);
        QCOMPARE(lut.proc(), QString());

        TImage separateY(TImage::Y, y.size());
        lut.applyYLUT(&y, &separateY);
        QVERIFY(samePixels(output(&lut, "outY"), &separateY));
        const cv::Mat half = y.halfY8U();
        const TImage *outC = output(&lut, "outC");
        QCOMPARE(outC->size(), c.size());
        for (int r = 0; r < c.height(); ++r)
            for (int x = 0; x < c.width(); ++x) {
                const int l = half.at<quint8>(std::min(r, half.rows - 1), std::min(x, half.cols - 1));
                const int band = l >> 6, f = (l << 2) & 255;
                const int key = sampleAt(c, 0, x, r) * 256 + sampleAt(c, 1, x, r);
                const int a = lut.cTable(band)[key], b = lut.cTable(std::min(band + 1, 3))[key];
                QCOMPARE(sampleAt(*outC, 0, x, r), ((a >> 8) * (255 - f) + (b >> 8) * f) >> 8);
                QCOMPARE(sampleAt(*outC, 1, x, r), ((a & 255) * (255 - f) + (b & 255) * f) >> 8);
            }
    }

    // A run without colour input leaves "outC" empty, also after a run that filled it; a run
    // without luminance input leaves "outY" empty.
    void lutProcEmptiesOutputsWithoutInput()
    {
        TProbeLut lut(m_context);
        lut.setupYLUT();
        lut.setupCLUT(2);
        TImage y = randomImage(TImage::Y, 8, 6, 2), c = randomImage(TImage::C, 4, 3, 3);
        QVERIFY(lut.setInImage("inY", &y));
        QCOMPARE(lut.proc(), QString());
        QVERIFY(output(&lut, "outC")->bEmpty());
        QCOMPARE(output(&lut, "outY")->size(), y.size());
        QVERIFY(lut.setInImage("inC", &c));
        lut.proc();
        QCOMPARE(output(&lut, "outC")->size(), c.size());
        QVERIFY(lut.setInImage("inC", nullptr));
        y.markWritten();
        lut.proc();
        QVERIFY(output(&lut, "outC")->bEmpty());
        QVERIFY(lut.setInImage("inY", nullptr));
        QVERIFY(lut.setInImage("inC", &c));
        c.markWritten();
        lut.proc();
        QVERIFY(output(&lut, "outY")->bEmpty());
        QCOMPARE(output(&lut, "outC")->size(), c.size());
    }

    // Nothing is computed or written while the inputs are as last consumed; a new write of an
    // input, or invalidateLUT (what parameter setters call), makes the next run work again.
    void lutProcOnlyOnChange()
    {
        TProbeLut lut(m_context, [](quint16 &y, quint8 &, quint8 &) { y = quint16(65535 - y); });
        lut.setupYLUT();
        TImage y = randomImage(TImage::Y, 8, 6, 4);
        lut.setInImage("inY", &y);
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
        lut.calls = 0;
        lut.proc();
        QCOMPARE(lut.calls, 0);

        y.mat1().at<quint16>(1, 2) = 1000;
        y.markWritten();
        lut.proc();
        QVERIFY(lut.calls > 0);
        QCOMPARE(int(out->mat1().at<quint16>(1, 2)), 65535 - 1000);
    }

    // Without tables the inputs are copied unchanged; an output that passes its input through
    // is not written, tables or not.
    void lutProcCopiesOrLeavesInputs_data()
    {
        QTest::addColumn<bool>("tables");
        QTest::newRow("no tables: copied") << false;
        QTest::newRow("tables, outputs passing inputs through") << true;
    }
    void lutProcCopiesOrLeavesInputs()
    {
        QFETCH(bool, tables);
        TProbeLut lut(m_context, [](quint16 &y, quint8 &c1, quint8 &) { y = 0, c1 = 0; });
        const TImage y = randomImage(TImage::Y, 9, 7, 5), c = randomImage(TImage::C, 5, 4, 6);
        const TImage copyY = makeImage(TImage::Y, 9, 7, [&](int x, int r, int p) { return sampleAt(y, p, x, r); });
        const TImage copyC = makeImage(TImage::C, 5, 4, [&](int x, int r, int p) { return sampleAt(c, p, x, r); });
        lut.setInImage("inY", &y);
        lut.setInImage("inC", &c);
        if (tables) {
            lut.setupYLUT();
            lut.setupCLUT(0);
            QVERIFY(lut.outportPtr("outY")->connectTo(lut.inportPtr("inY")));
            QVERIFY(lut.outportPtr("outC")->connectTo(lut.inportPtr("inC")));
        }
        QCOMPARE(lut.proc(), QString());
        QCOMPARE(lut.calls > 0, tables);
        QVERIFY(samePixels(output(&lut, "outY"), &copyY) && samePixels(&y, &copyY));
        QVERIFY(samePixels(output(&lut, "outC"), &copyC) && samePixels(&c, &copyC));
    }

    // Each bundled filter and setting on a photo: every luminance sample within 1 of the model
    // sampled every 16 levels and interpolated (the sample's rounding plus the interpolation's);
    // every colour value within 2 of the model on the 4-step grid at the two bands' luminances,
    // blended with the band weights (each table value within 1, plus the blend's dropped
    // fraction). Filters without chroma tables pass colour through unchanged.
    void lutBundledAgainstModel_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<QVariantMap>("model");
        const QString bc = "TFBrightnessContrast", g = "TFGamma", s = "TFSaturation";
        const QString coffee = "photos/coffee.png", chelsea = "photos/chelsea.png";
        const auto row = [](const char *tag, const QString &photo, const QString &key, const QVariantMap &settings,
                             const QVariantMap &held = {}) {
            QVariantMap model;
            for (auto it = settings.cbegin(); it != settings.cend(); ++it)
                model.insert(it.key().toLower(), held.value(it.key(), it.value()));
            QTest::newRow(tag) << photo << key << settings << model;
        };
        row("gamma 0.45", coffee, g, { { "Gamma", 0.45 } });
        row("gamma 2.2, odd size", chelsea, g, { { "Gamma", 2.2 } });
        row("gamma 10", coffee, g, { { "Gamma", 10 } });
        row("gamma 0.05 held at 0.1", coffee, g, { { "Gamma", 0.05 } }, { { "Gamma", 0.1 } });
        row("default gamma", coffee, g, {});
        row("brightness 0.3", coffee, bc, { { "Brightness", 0.3 } });
        row("brightness -0.6, contrast 0.5", chelsea, bc, { { "Brightness", -0.6 }, { "Contrast", 0.5 } });
        row("contrast -1", coffee, bc, { { "Contrast", -1 } });
        row("contrast 3 held at 1", coffee, bc, { { "Contrast", 3 } }, { { "Contrast", 1 } });
        row("saturation 0", coffee, s, { { "Saturation", 0 } });
        row("saturation 0.5, odd size", chelsea, s, { { "Saturation", 0.5 } });
        row("default saturation", coffee, s, {});
        row("saturation 1.6", coffee, s, { { "Saturation", 1.6 } });
        row("saturation 2, odd size", chelsea, s, { { "Saturation", 2 } });
        row("saturation 5 held at 2", coffee, s, { { "Saturation", 5 } }, { { "Saturation", 2 } });
    }
    void lutBundledAgainstModel()
    {
        QFETCH(QString, photo);
        QFETCH(QString, key);
        QFETCH(QVariantMap, settings);
        QFETCH(QVariantMap, model);
        FX_REQUIRE_SHARED_DATA(photo);
        const QImage image = QImage(sharedDataPath(photo)).convertToFormat(QImage::Format_ARGB32);
        TImage inY(TImage::Y), inC(TImage::C);
        QVERIFY(!image.isNull()
            && TImage::bgra8uToTImage(
                image.constBits(), image.bytesPerLine(), image.width(), image.height(), &inY, &inC, nullptr));
        std::unique_ptr<TFilter> filter;
        {
            TraceCapture quiet;
            filter.reset(m_context->filterFactoryPtr()->createTFilter(key, key, m_context));
        }
        QVERIFY2(qobject_cast<TFilterLUT *>(filter.get()), qPrintable(key));
        for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
            const QByteArray slot = "set" + it.key().toLatin1();
            QVERIFY2(QMetaObject::invokeMethod(filter.get(), slot.constData(), Q_ARG(float, it.value().toFloat())),
                slot.constData());
        }
        const Model m { key, model.value("brightness", 0).toDouble(), model.value("contrast", 0).toDouble(),
            model.value("gamma", 1).toDouble(), model.value("saturation", 1).toDouble() };
        filter->setInImage("inY", &inY);
        filter->setInImage("inC", &inC);
        QCOMPARE(filter->proc(), QString());
        const TImage *outY = output(filter.get(), "outY"), *outC = output(filter.get(), "outC");
        QCOMPARE(outY->size(), inY.size());
        QCOMPARE(outC->size(), inC.size());
        const auto fail = [](const QString &what, int x, int r, int got, double expected) {
            return QStringLiteral("%1 at (%2, %3): %4, expected %5").arg(what).arg(x).arg(r).arg(got).arg(expected);
        };
        for (int r = 0; r < inY.height(); ++r)
            for (int x = 0; x < inY.width(); ++x) {
                const int y = sampleAt(inY, 0, x, r), got = sampleAt(*outY, 0, x, r);
                const double expected = referenceLuma(m, y);
                if (std::abs(got - expected) > 1.0)
                    QFAIL(qPrintable(fail(QStringLiteral("luma %1").arg(y), x, r, got, expected)));
            }
        if (key != QLatin1String("TFSaturation")) {
            QVERIFY(samePixels(outC, &inC));
            return;
        }
        const cv::Mat half = inY.halfY8U();
        int changed = 0;
        for (int r = 0; r < inC.height(); ++r)
            for (int x = 0; x < inC.width(); ++x) {
                const int l = half.at<quint8>(r, x);
                const int band = l >> 5, next = std::min(band + 1, 7), f = (l << 3) & 255;
                const double lumaBand = (2 * band + 1) * 32768.0 / 8, lumaNext = (2 * next + 1) * 32768.0 / 8;
                for (int plane = 0; plane < 2; ++plane) {
                    const int c = sampleAt(inC, plane, x, r), got = sampleAt(*outC, plane, x, r);
                    const double expected
                        = (referenceColour(m, lumaBand, c) * (255 - f) + referenceColour(m, lumaNext, c) * f) / 256;
                    changed += got != c;
                    if (std::abs(got - expected) > 2.0)
                        QFAIL(
                            qPrintable(fail(QStringLiteral("colour %1 (luma %2)").arg(c).arg(l), x, r, got, expected)));
                }
            }
        QVERIFY(changed > 0);
    }
};

FX_REGISTER_TEST(tst_FilterLUT)
#include "tst_filterlut.moc"
