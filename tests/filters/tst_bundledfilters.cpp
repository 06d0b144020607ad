// The bundled filters, created by key through a filter context's factory and driven by slot
// names as a host or script drives them: the layer blend and the blur against independent
// per-pixel computations, the draw-mask filter's passthrough and painting, the histogram's
// percentiles, and the two bundled scripts on pictures whose result is known in outline.

#include "filtertest.h"
#include "testregistry.h"

#include <QPoint>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <tfilter.h>
#include <tfiltercontext.h>
#include <timage.h>
#include <tpluginfactory.h>

using namespace FilterTest;

namespace {
// The blends and blurs round once or twice in single precision; one level either way is
// rounding, anything more is a wrong formula or a wrong sample.
constexpr int levelTolerance = 1;

// The largest difference between an image's plane and expected values, or -1 when the sizes
// differ.
int maxDifference(const TImage *image, int plane, int w, int h, const std::function<double(int, int)> &expected)
{
    if (!image || image->width() != w || image->height() != h)
        return -1;
    int worst = 0;
    for (int r = 0; r < h; ++r) {
        for (int x = 0; x < w; ++x)
            worst = std::max(worst, int(std::lround(std::fabs(sampleAt(*image, plane, x, r) - expected(x, r)))));
    }
    return worst;
}

// The blend modes written out from their usual definitions, in double precision.
double blendReference(int mode, double a, double b)
{
    switch (mode) {
    case 1:
        return a * b;
    case 2:
        return a + b - a * b;
    case 3:
        return a < 0.5 ? 2 * a * b : 1 - 2 * (1 - a) * (1 - b);
    case 4:
        return a * a * (1 - 2 * b) + 2 * a * b;
    case 5:
        return a < b ? a : b;
    case 6:
        return a > b ? a : b;
    case 7:
        return a > b ? a - b : b - a;
    default:
        return b;
    }
}

// One fractional box at a time, each output summed in full: the slow way of the same blur.
std::vector<double> boxReference(const std::vector<double> &line, double reach)
{
    const int whole = int(std::floor(reach));
    const double fraction = reach - whole;
    const int n = int(line.size());
    const auto at = [&](int i) { return line[size_t(std::clamp(i, 0, n - 1))]; };
    std::vector<double> out(line.size());
    for (int i = 0; i < n; ++i) {
        double sum = fraction * (at(i - whole - 1) + at(i + whole + 1));
        for (int k = -whole; k <= whole; ++k)
            sum += at(i + k);
        out[size_t(i)] = sum / (2 * whole + 1 + 2 * fraction);
    }
    return out;
}

// Three boxes of radius / 3 along the rows, rounded to the sample range, then down the columns.
std::vector<std::vector<double>> blurReference(const TImage &image, int plane, double radius)
{
    const int w = image.width(), h = image.height();
    const double maximum = image.type() == TImage::Y ? 65535 : 255;
    std::vector<std::vector<double>> rows(static_cast<size_t>(h), std::vector<double>(static_cast<size_t>(w)));
    for (int r = 0; r < h; ++r) {
        std::vector<double> line(static_cast<size_t>(w));
        for (int x = 0; x < w; ++x)
            line[size_t(x)] = sampleAt(image, plane, x, r);
        for (int p = 0; p < 3; ++p)
            line = boxReference(line, radius / 3);
        for (int x = 0; x < w; ++x)
            rows[size_t(r)][size_t(x)] = std::floor(std::clamp(line[size_t(x)], 0.0, maximum) + 0.5);
    }
    for (int x = 0; x < w; ++x) {
        std::vector<double> column(static_cast<size_t>(h));
        for (int r = 0; r < h; ++r)
            column[size_t(r)] = rows[size_t(r)][size_t(x)];
        for (int p = 0; p < 3; ++p)
            column = boxReference(column, radius / 3);
        for (int r = 0; r < h; ++r)
            rows[size_t(r)][size_t(x)] = std::clamp(column[size_t(r)], 0.0, maximum);
    }
    return rows;
}

std::vector<int> sortedSamples(const TImage &image)
{
    std::vector<int> sorted;
    for (int r = 0; r < image.height(); ++r) {
        for (int x = 0; x < image.width(); ++x)
            sorted.push_back(sampleAt(image, 0, x, r));
    }
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

// The k-th smallest sample, k = ceil(p % of the count), at least the first.
int percentileOf(const std::vector<int> &sorted, double p)
{
    const size_t k = std::max<size_t>(1, size_t(std::ceil(p / 100.0 * double(sorted.size()))));
    return sorted[k - 1];
}
}

class tst_BundledFilters : public QObject {
    Q_OBJECT

    std::unique_ptr<TFilterContext> m_context;

    // A filter made by the context's factory as a host would; the test owns it.
    std::unique_ptr<TFilter> create(const QString &key)
    {
        return std::unique_ptr<TFilter>(
            m_context->filterFactoryPtr()->createTFilter(key, key + "Under", m_context.get()));
    }

private slots:
    void initTestCase()
    {
        m_context = std::make_unique<TFilterContext>(nullptr);
        const QStringList keys = m_context->filterFactoryPtr()->filters();
        for (const char *key : { "TLayerModes", "TFDrawMask", "TFBlur", "TFHistogram" })
            QVERIFY2(keys.contains(key), key);
    }

    void cleanupTestCase() { m_context.reset(); }

    void bundledLayerModesMatchReference_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<float>("opacity");
        QTest::addColumn<bool>("bMask");
        const char *names[]
            = { "normal", "multiply", "screen", "overlay", "soft light", "darken", "lighten", "difference" };
        for (int mode = 0; mode < 8; ++mode) {
            for (float opacity : { 1.0f, 0.35f, 0.0f }) {
                for (bool bMask : { false, true }) {
                    QTest::addRow("%s/opacity %g/%s", names[mode], double(opacity), bMask ? "mask" : "no mask")
                        << mode << opacity << bMask;
                }
            }
        }
    }

    void bundledLayerModesMatchReference()
    {
        QFETCH(int, mode);
        QFETCH(float, opacity);
        QFETCH(bool, bMask);
        // Odd sizes: the last colour sample covers a single column and row of the mask.
        const int w = 37, h = 23, cw = 19, ch = 12;
        const TImage y = randomImage(TImage::Y, w, h, 1), y2 = randomImage(TImage::Y, w, h, 2);
        const TImage c = randomImage(TImage::C, cw, ch, 3), c2 = randomImage(TImage::C, cw, ch, 4);
        const TImage m = randomImage(TImage::M, w, h, 5);
        auto filter = create("TLayerModes");
        QVERIFY(filter);
        QVERIFY(filter->setInImage("inY", &y) && filter->setInImage("inY2", &y2));
        QVERIFY(filter->setInImage("inC", &c) && filter->setInImage("inC2", &c2));
        QVERIFY(filter->setInImage("inM", bMask ? &m : nullptr));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "setMode", Q_ARG(int, mode)));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "setOpacity", Q_ARG(float, opacity)));
        QCOMPARE(filter->proc(), QString());

        const auto weight = [&](int x, int r) { return opacity * (bMask ? sampleAt(m, 0, x, r) / 255.0 : 1.0); };
        const int lumaError = maxDifference(output(filter.get(), "outY"), 0, w, h, [&](int x, int r) {
            const double a = sampleAt(y, 0, x, r) / 65535.0, b = sampleAt(y2, 0, x, r) / 65535.0;
            return 65535.0 * (a + (blendReference(mode, a, b) - a) * weight(x, r));
        });
        QVERIFY2(lumaError >= 0 && lumaError <= levelTolerance, qPrintable(QString::number(lumaError)));
        // Colour follows the layer as in normal mode, weighed by the mask's 2 x 2 mean.
        const auto colourWeight = [&](int x, int r) {
            double sum = 0;
            int count = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    if (2 * x + dx < w && 2 * r + dy < h)
                        sum += weight(2 * x + dx, 2 * r + dy), ++count;
                }
            }
            return sum / count;
        };
        for (int plane : { 0, 1 }) {
            const int colourError = maxDifference(output(filter.get(), "outC"), plane, cw, ch, [&](int x, int r) {
                const double a = sampleAt(c, plane, x, r);
                return a + (sampleAt(c2, plane, x, r) - a) * colourWeight(x, r);
            });
            QVERIFY2(colourError >= 0 && colourError <= levelTolerance, qPrintable(QString::number(colourError)));
        }
    }

    void bundledLayerModesRefuseMismatchesAndClampSettings()
    {
        auto filter = create("TLayerModes");
        const TImage y = randomImage(TImage::Y, 8, 6, 1), y2 = randomImage(TImage::Y, 8, 6, 2);
        const TImage narrow = randomImage(TImage::Y, 7, 6, 3), mask = randomImage(TImage::M, 8, 5, 4);
        const TImage c = randomImage(TImage::C, 4, 3, 5), wrongC = randomImage(TImage::C, 3, 3, 6);
        QVERIFY(!filter->proc().isEmpty()); // no images at all
        filter->setInImage("inY", &y);
        filter->setInImage("inY2", &narrow);
        QVERIFY(!filter->proc().isEmpty());
        filter->setInImage("inY2", &y2);
        filter->setInImage("inM", &mask);
        QVERIFY(!filter->proc().isEmpty());
        filter->setInImage("inM", nullptr);
        filter->setInImage("inC", &c);
        QVERIFY(!filter->proc().isEmpty()); // colour on the base only
        filter->setInImage("inC2", &wrongC);
        QVERIFY(!filter->proc().isEmpty());
        QCOMPARE(output(filter.get(), "outY")->size(), TSize(0, 0)); // failed runs wrote nothing
        filter->setInImage("inC2", &c);
        QCOMPARE(filter->proc(), QString());

        // Out-of-range modes take the nearest end; opacities are clamped, NaN ignored.
        int mode = -1;
        float opacity = -1;
        QMetaObject::invokeMethod(filter.get(), "setMode", Q_ARG(int, 99));
        QMetaObject::invokeMethod(filter.get(), "mode", Q_RETURN_ARG(int, mode));
        QCOMPARE(mode, 7);
        QMetaObject::invokeMethod(filter.get(), "setMode", Q_ARG(int, -4));
        QMetaObject::invokeMethod(filter.get(), "mode", Q_RETURN_ARG(int, mode));
        QCOMPARE(mode, 0);
        QMetaObject::invokeMethod(filter.get(), "setOpacity", Q_ARG(float, 3.0f));
        QMetaObject::invokeMethod(filter.get(), "setOpacity", Q_ARG(float, std::nanf("")));
        QMetaObject::invokeMethod(filter.get(), "opacity", Q_RETURN_ARG(float, opacity));
        QCOMPARE(opacity, 1.0f);
        // A cancel stops the run, is reported once, and the next run does the work.
        QMetaObject::invokeMethod(filter.get(), "setOpacity", Q_ARG(float, 0.25f));
        filter->cancelProc();
        const TUpdateRect beforeCancel = output(filter.get(), "outY")->updateRect();
        QVERIFY(filter->procUserCancel(filter->proc()));
        QVERIFY(output(filter.get(), "outY")->updateRect() == beforeCancel);
        QCOMPARE(filter->proc(), QString());
        QVERIFY(output(filter.get(), "outY")->updateRect() != beforeCancel);
    }

    // As a host drives them: a run that finds nothing new writes nothing, a setter alone makes
    // the next run work, and setting the same value again does not.
    void bundledRerunsOnlyOnChange_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("setter");
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("changed");
        QTest::newRow("layer opacity") << "TLayerModes" << QByteArray("setOpacity") << 0.5f << "outY";
        QTest::newRow("blur radius") << "TFBlur" << QByteArray("setRadius") << 3.0f << "outY";
        QTest::newRow("brightness") << "TFBrightnessContrast" << QByteArray("setBrightness") << 0.4f << "outY";
        QTest::newRow("contrast") << "TFBrightnessContrast" << QByteArray("setContrast") << 0.7f << "outY";
        QTest::newRow("gamma") << "TFGamma" << QByteArray("setGamma") << 2.5f << "outY";
        QTest::newRow("saturation") << "TFSaturation" << QByteArray("setSaturation") << 1.8f << "outC";
    }
    void bundledRerunsOnlyOnChange()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, setter);
        QFETCH(float, value);
        QFETCH(QString, changed);
        auto filter = create(key);
        QVERIFY(filter);
        // Colour only where the setter acts on it: without colour in, none comes out.
        const TImage y = randomImage(TImage::Y, 16, 12, 9), y2 = randomImage(TImage::Y, 16, 12, 10);
        const TImage c = randomImage(TImage::C, 8, 6, 11);
        filter->setInImage("inY", &y);
        filter->setInImage("inY2", &y2);
        filter->setInImage("inC", changed == "outC" ? &c : nullptr);
        const auto run = [&] {
            QCOMPARE(filter->proc(), QString());
            filter->setProccessed();
        };
        run();
        const TImage *out = output(filter.get(), changed);
        const cv::Mat before = out->mat1().clone();
        const TUpdateRect written = out->updateRect();
        run();
        QVERIFY(out->updateRect() == written);
        QVERIFY(QMetaObject::invokeMethod(filter.get(), setter.constData(), Q_ARG(float, value)));
        run();
        QVERIFY(out->updateRect() != written);
        QVERIFY(cv::countNonZero(out->mat1() != before) > 0);
        const TUpdateRect rewritten = out->updateRect();
        QVERIFY(QMetaObject::invokeMethod(filter.get(), setter.constData(), Q_ARG(float, value)));
        run();
        QVERIFY(out->updateRect() == rewritten);
        QCOMPARE(output(filter.get(), "outC")->bEmpty(), changed != "outC");
    }

    void bundledBlurMatchesSlowReference_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<float>("radius");
        QTest::newRow("1x1/radius 5") << 1 << 1 << 5.0f;
        QTest::newRow("7x5/radius 0 copies") << 7 << 5 << 0.0f;
        QTest::newRow("7x5/radius 1.5") << 7 << 5 << 1.5f;
        QTest::newRow("40x33/radius 4") << 40 << 33 << 4.0f;
        QTest::newRow("131x70/radius 10.7 across bands") << 131 << 70 << 10.7f;
        QTest::newRow("12x9/radius 60 wider than the image") << 12 << 9 << 60.0f;
    }

    void bundledBlurMatchesSlowReference()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(float, radius);
        const TImage y = randomImage(TImage::Y, width, height, 7);
        const TImage c = randomImage(TImage::C, (width + 1) / 2, (height + 1) / 2, 8);
        auto filter = create("TFBlur");
        filter->setInImage("inY", &y);
        filter->setInImage("inC", &c);
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "setRadius", Q_ARG(float, radius)));
        QCOMPARE(filter->proc(), QString());
        const auto luma = blurReference(y, 0, radius);
        const int lumaError = maxDifference(
            output(filter.get(), "outY"), 0, width, height, [&](int x, int r) { return luma[size_t(r)][size_t(x)]; });
        QVERIFY2(lumaError >= 0 && lumaError <= levelTolerance, qPrintable(QString::number(lumaError)));
        for (int plane : { 0, 1 }) {
            // Colour is at half resolution, so it is blurred by half the radius.
            const auto colour = blurReference(c, plane, radius / 2.0);
            const int colourError = maxDifference(output(filter.get(), "outC"), plane, c.width(), c.height(),
                [&](int x, int r) { return colour[size_t(r)][size_t(x)]; });
            QVERIFY2(colourError >= 0 && colourError <= levelTolerance, qPrintable(QString::number(colourError)));
        }
    }

    void bundledBlurRefusesMissingInputAndClampsTheRadius()
    {
        auto filter = create("TFBlur");
        QVERIFY(!filter->proc().isEmpty());
        const TImage y = randomImage(TImage::Y, 20, 10, 9);
        filter->setInImage("inY", &y);
        QMetaObject::invokeMethod(filter.get(), "setRadius", Q_ARG(float, 250.0f));
        float radius = 0;
        QMetaObject::invokeMethod(filter.get(), "radius", Q_RETURN_ARG(float, radius));
        QCOMPARE(radius, 100.0f);
        QCOMPARE(filter->proc(), QString());
    }

    void bundledHistogramPercentiles_data()
    {
        QTest::addColumn<int>("lo");
        QTest::addColumn<int>("hi");
        QTest::newRow("full range") << 0 << 65535;
        QTest::newRow("narrow mid-grey") << 30000 << 30100;
        QTest::newRow("one level") << 1234 << 1234;
    }

    void bundledHistogramPercentiles()
    {
        QFETCH(int, lo);
        QFETCH(int, hi);
        auto filter = create("TFHistogram");
        int level = 0;
        QMetaObject::invokeMethod(filter.get(), "percentile", Q_RETURN_ARG(int, level), Q_ARG(float, 50.0f));
        QCOMPARE(level, -1); // nothing counted yet
        const TImage y = randomImage(TImage::Y, 33, 17, 11, lo, hi);
        filter->setInImage("inY", &y);
        QCOMPARE(filter->proc(), QString());
        const std::vector<int> sorted = sortedSamples(y);
        for (float p : { 0.0f, 1.0f, 37.5f, 50.0f, 99.0f, 100.0f }) {
            QMetaObject::invokeMethod(filter.get(), "percentile", Q_RETURN_ARG(int, level), Q_ARG(float, p));
            QCOMPARE(level, percentileOf(sorted, double(p)));
        }
    }

    void bundledDrawMaskPassesThroughUntilDrawn()
    {
        auto filter = create("TFDrawMask");
        QCOMPARE(filter->inports(), QStringList({ "inY", "inC", "inM", "outM" }));
        QVERIFY(!filter->proc().isEmpty()); // no picture
        const TImage y = randomImage(TImage::Y, 31, 21, 12), c = randomImage(TImage::C, 16, 11, 13);
        const TImage m = randomImage(TImage::M, 31, 21, 14);
        filter->setInImage("inY", &y);
        filter->setInImage("inC", &c);
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(maxDifference(output(filter.get(), "outM"), 0, 31, 21, [](int, int) { return 255.0; }), 0);
        filter->setInImage("inM", &m);
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(
            maxDifference(output(filter.get(), "outM"), 0, 31, 21, [&](int x, int r) { return sampleAt(m, 0, x, r); }),
            0);
        // Commands that do not paint leave the passthrough in place.
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "setMaskBlendValue"));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "setBlendMode", Q_ARG(int, 3)));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "drawVignetteMask", Q_ARG(QPoint, QPoint(5, 5)),
            Q_ARG(float, 10.0f), Q_ARG(float, 1.0f), Q_ARG(float, 1.0f)));
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(
            maxDifference(output(filter.get(), "outM"), 0, 31, 21, [&](int x, int r) { return sampleAt(m, 0, x, r); }),
            0);
        const TImage empty(TImage::Y, TSize(0, 0));
        filter->setInImage("inY", &empty);
        filter->setInImage("inM", nullptr);
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(output(filter.get(), "outM")->size(), TSize(0, 0));
    }

    void bundledDrawMaskPaintsStrokesAndGradients()
    {
        auto filter = create("TFDrawMask");
        const int w = 60, h = 40;
        const TImage y = randomImage(TImage::Y, w, h, 15), m = randomImage(TImage::M, w, h, 16, 30, 60);
        filter->setInImage("inY", &y);
        filter->setInImage("inM", &m);
        QCOMPARE(filter->proc(), QString());
        // A dab towards 0: the engine's mask (255 where unpainted) replaces the passed mask.
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "drawStart"));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "drawADot", Q_ARG(QPoint, QPoint(15, 20)), Q_ARG(uchar, 0),
            Q_ARG(int, 6), Q_ARG(int, 6), Q_ARG(float, 1.0f), Q_ARG(bool, false), Q_ARG(bool, false)));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "drawEnd"));
        QCOMPARE(filter->proc(), QString());
        const TImage *out = output(filter.get(), "outM");
        QCOMPARE(out->size(), TSize(w, h));
        QCOMPARE(sampleAt(*out, 0, 15, 20), 0);
        QCOMPARE(sampleAt(*out, 0, 15 + 8, 20), 255);
        QCOMPARE(sampleAt(*out, 0, 50, 5), 255);
        // A linear gradient in replace mode becomes the mask: full at the start, falling
        // across to nothing at the end.
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "setMaskBlendValue", Q_ARG(uchar, 255)));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "setMaskBlendMode"));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "drawGradientMask", Q_ARG(QPoint, QPoint(10, 0)),
            Q_ARG(QPoint, QPoint(50, 0)), Q_ARG(int, 0)));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "applyButtonClicked", Q_ARG(bool, true)));
        QCOMPARE(filter->proc(), QString());
        for (int r : { 0, 20, 39 }) {
            QCOMPARE(sampleAt(*out, 0, 5, r), 255);
            QCOMPARE(sampleAt(*out, 0, 55, r), 0);
            for (int x = 1; x < w; ++x)
                QVERIFY(sampleAt(*out, 0, x, r) <= sampleAt(*out, 0, x - 1, r));
            QVERIFY(std::abs(sampleAt(*out, 0, 30, r) - 128) <= 4);
        }
        // Undoing both steps leaves nothing drawn: the passed mask is back.
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "undo"));
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "undo"));
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(maxDifference(out, 0, w, h, [&](int x, int r) { return sampleAt(m, 0, x, r); }), 0);
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "redo"));
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(sampleAt(*out, 0, 15, 20), 0);
        QVERIFY(QMetaObject::invokeMethod(filter.get(), "reset"));
        filter->cancelProc();
        QVERIFY(filter->procUserCancel(filter->proc()));
        QCOMPARE(sampleAt(*out, 0, 15, 20), 0);
        QCOMPARE(filter->proc(), QString());
        QCOMPARE(maxDifference(out, 0, w, h, [&](int x, int r) { return sampleAt(m, 0, x, r); }), 0);
    }

    void bundledAutoToneStretchesPercentiles_data()
    {
        QTest::addColumn<int>("lo");
        QTest::addColumn<int>("hi");
        QTest::newRow("low contrast, dark") << 12000 << 26000;
        QTest::newRow("low contrast, mid") << 26000 << 40000;
        QTest::newRow("full range stays") << 0 << 65535;
        QTest::newRow("single level is centred") << 10000 << 10000;
    }

    void bundledAutoToneStretchesPercentiles()
    {
        QFETCH(int, lo);
        QFETCH(int, hi);
        auto filter = create("AutoTone");
        QVERIFY2(filter, "no AutoTone script in the plug-in directory");
        for (const char *port : { "inY", "inC", "outY", "outC" })
            QVERIFY2(filter->inports().contains(port), port);
        const int w = 64, h = 48;
        const TImage y = randomImage(TImage::Y, w, h, 17, lo, hi), c = randomImage(TImage::C, w / 2, h / 2, 18);
        QVERIFY(filter->setInImage("inY", &y) && filter->setInImage("inC", &c));
        QCOMPARE(filter->proc(), QString());
        const TImage *out = output(filter.get(), "outY");
        QVERIFY(out);
        QCOMPARE(out->size(), y.size());
        const std::vector<int> before = sortedSamples(y), after = sortedSamples(*out);
        const int inLow = percentileOf(before, 1), inHigh = percentileOf(before, 99);
        const int outLow = percentileOf(after, 1), outHigh = percentileOf(after, 99);
        if (lo == hi) {
            QVERIFY2(std::abs(outLow - 32768) <= 64, qPrintable(QString::number(outLow)));
        } else if (hi - lo > 60000) {
            // Already spread: little changes.
            QVERIFY(std::abs(outLow - inLow) <= 400 && std::abs(outHigh - inHigh) <= 400);
        } else {
            // Centred on mid-grey and at least twice as wide: the ends come nearer black and white.
            QVERIFY(outLow + (65535 - outHigh) < inLow + (65535 - inHigh));
            QVERIFY2(outHigh - outLow >= 2 * (inHigh - inLow), qPrintable(QString("%1..%2").arg(outLow).arg(outHigh)));
            QVERIFY(std::abs((outLow + outHigh) / 2 - 32768) <= 1000);
        }
        // A tone curve keeps the order of the levels, and colour passes through.
        for (int r = 0; r < h; ++r) {
            for (int x = 1; x < w; ++x) {
                const int a = sampleAt(y, 0, x - 1, r), b = sampleAt(y, 0, x, r);
                const int oa = sampleAt(*out, 0, x - 1, r), ob = sampleAt(*out, 0, x, r);
                QVERIFY(a > b ? oa >= ob : a < b ? oa <= ob : oa == ob);
            }
        }
        QCOMPARE(maxDifference(
                     output(filter.get(), "outC"), 1, w / 2, h / 2, [&](int x, int r) { return sampleAt(c, 1, x, r); }),
            0);
    }

    void bundledSoftGlowScreensABlurredCopy_data()
    {
        QTest::addColumn<bool>("bZeroMask");
        QTest::newRow("no mask") << false;
        QTest::newRow("zero mask keeps the picture") << true;
    }

    void bundledSoftGlowScreensABlurredCopy()
    {
        QFETCH(bool, bZeroMask);
        auto filter = create("SoftGlow");
        QVERIFY2(filter, "no SoftGlow script in the plug-in directory");
        TFilter *blur = filter->filterPtr("blur");
        TFilter *blend = filter->filterPtr("blend");
        QVERIFY(blur && blend);
        float radius = 0, opacity = 0;
        QMetaObject::invokeMethod(blur, "radius", Q_RETURN_ARG(float, radius));
        QMetaObject::invokeMethod(blend, "opacity", Q_RETURN_ARG(float, opacity));
        QVERIFY(radius > 0 && opacity > 0);
        // A bright square on a dark ground.
        const int w = 80, h = 60;
        const TImage y = makeImage(TImage::Y, w, h, [](int x, int r, int) {
            return x >= 30 && x < 50 && r >= 20 && r < 40 ? 60000 : 8000 + 37 * ((x * 7 + r * 3) % 11);
        });
        const TImage c = randomImage(TImage::C, w / 2, h / 2, 19, 100, 156);
        const TImage zero = makeImage(TImage::M, w, h, [](int, int, int) { return 0; });
        filter->setInImage("inY", &y);
        filter->setInImage("inC", &c);
        filter->setInImage("inM", bZeroMask ? &zero : nullptr);
        QCOMPARE(filter->proc(), QString());
        const TImage *out = output(filter.get(), "outY");
        QVERIFY(out);
        QCOMPARE(out->size(), y.size());
        QCOMPARE(output(filter.get(), "outC")->size(), c.size());
        if (bZeroMask) {
            QCOMPARE(maxDifference(out, 0, w, h, [&](int x, int r) { return sampleAt(y, 0, x, r); }), 0);
            return;
        }
        // The blurred copy (slow reference) screened over the picture at the blend's opacity.
        const auto blurred = blurReference(y, 0, double(radius));
        const int error = maxDifference(out, 0, w, h, [&](int x, int r) {
            const double a = sampleAt(y, 0, x, r) / 65535.0, b = blurred[size_t(r)][size_t(x)] / 65535.0;
            return 65535.0 * (a + (a + b - a * b - a) * double(opacity));
        });
        QVERIFY2(error >= 0 && error <= 2 * levelTolerance, qPrintable(QString::number(error)));
        for (int r = 0; r < h; ++r) {
            for (int x = 0; x < w; ++x)
                QVERIFY(sampleAt(*out, 0, x, r) >= sampleAt(y, 0, x, r));
        }
        // The glow reaches past the square's edge.
        QVERIFY(sampleAt(*out, 0, 27, 30) > sampleAt(y, 0, 27, 30) + 2000);
    }
};

FX_REGISTER_TEST(tst_BundledFilters)
#include "tst_bundledfilters.moc"
