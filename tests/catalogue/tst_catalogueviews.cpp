// A view is what the export will show, decimated: for every bundled effect (and a stack of all
// of them) on real photos, the view the stack computes must match the full-resolution result
// reduced to the same region by the engine's own view sampling, to 40 dB.
#include "catalogueharness.h"
#include "testdata.h"
#include "testregistry.h"

#include <QtTest>
#include <tfx.h>

namespace {
using Stack = QList<QPair<QString, Settings>>;
using Points = QList<QPointF>;
QVariant curve(const Points &points) { return QVariant::fromValue(points); }

// Settings well away from the defaults, as a photographer would use them; some effects twice,
// where the other direction or a small radius takes another path.
const QList<QPair<const char *, Stack>> &rows()
{
    static const QList<QPair<const char *, Stack>> list = {
        { "Exposure", { { "Exposure", { { "exposure", 0.5 }, { "recovery", 0.5 } } } } },
        { "Exposure darker", { { "Exposure", { { "exposure", -0.7 } } } } },
        { "Tone",
            { { "Tone",
                { { "contrast", 0.4 }, { "highlights", -0.7 }, { "shadows", 0.7 }, { "whites", 0.3 },
                    { "blacks", -0.3 } } } } },
        { "Curves", { { "Curves", { { "curve", curve({ { 0.25, 0.06 }, { 0.7, -0.04 } }) } } } } },
        { "Curves one point", { { "Curves", { { "curve", curve({ { 0.2, 0.06 } }) } } } } },
        { "Colour",
            { { "Colour",
                { { "temperature", 0.4 }, { "tint", -0.2 }, { "vibrance", 0.6 }, { "saturation", 0.2 } } } } },
        { "Colour cool, muted", { { "Colour", { { "temperature", -0.3 }, { "tint", 0.6 }, { "vibrance", -0.7 } } } } },
        { "Clarity", { { "Clarity", { { "amount", 0.8 }, { "radius", 60.0 } } } } },
        { "Sharpen", { { "Sharpen", { { "amount", 1.0 }, { "radius", 1.0 }, { "threshold", 0.01 } } } } },
        { "Sharpen small radius", { { "Sharpen", { { "amount", 1.2 }, { "radius", 0.8 } } } } },
        { "Sharpen wide", { { "Sharpen", { { "amount", 0.8 }, { "radius", 2.0 } } } } },
        { "Vignette",
            { { "Vignette", { { "amount", -0.7 }, { "midpoint", 0.3 }, { "roundness", 0.4 }, { "feather", 0.6 } } } } },
        { "Vignette brighter",
            { { "Vignette", { { "amount", 0.3 }, { "midpoint", 0.3 }, { "roundness", 0.6 }, { "feather", 0.5 } } } } },
        { "BlackWhite", { { "BlackWhite", { { "red", 0.6 }, { "blue", -0.8 }, { "tint", 0.4 } } } } },
        { "BlackWhite dark sky", { { "BlackWhite", { { "blue", -0.8 }, { "yellow", 0.5 }, { "tint", 0.4 } } } } },
        // Every non-linear step differs a little between a view (applied to block averages) and
        // the export; eight at full strength add up to about 35 dB, so the stack is at half.
        { "all eight",
            { { "Exposure", { { "exposure", 0.25 }, { "recovery", 0.5 } } },
                { "Tone",
                    { { "contrast", 0.2 }, { "highlights", -0.35 }, { "shadows", 0.35 }, { "whites", 0.15 },
                        { "blacks", -0.15 } } },
                { "Curves", { { "curve", curve({ { 0.25, 0.03 }, { 0.7, -0.02 } }) } } },
                { "Colour", { { "temperature", 0.2 }, { "tint", -0.1 }, { "vibrance", 0.3 }, { "saturation", 0.1 } } },
                { "Clarity", { { "amount", 0.4 }, { "radius", 60.0 } } },
                { "Sharpen", { { "amount", 0.5 }, { "radius", 1.0 }, { "threshold", 0.01 } } },
                { "Vignette", { { "amount", -0.35 }, { "midpoint", 0.3 }, { "roundness", 0.4 }, { "feather", 0.6 } } },
                { "BlackWhite", { { "red", 0.3 }, { "blue", -0.4 }, { "tint", 0.2 } } } } },
    };
    return list;
}
}

Q_DECLARE_METATYPE(Stack)

class tst_CatalogueViews : public QObject {
    Q_OBJECT
private slots:
    void viewMatchesExport_data();
    void viewMatchesExport();
};

void tst_CatalogueViews::viewMatchesExport_data()
{
    FX_REQUIRE_SHARED_DATA("photos");
    QTest::addColumn<Stack>("stack");
    QTest::addColumn<QString>("photo");
    for (const auto &photo : sharedPhotos())
        for (const auto &row : rows())
            QTest::addRow("%s/%s", row.first, qPrintable(photo.first)) << row.second << photo.first;
}

void tst_CatalogueViews::viewMatchesExport()
{
    QFETCH(Stack, stack);
    QFETCH(QString, photo);
    const QImage picture = sharedPhoto(photo);
    CatalogueHarness host;
    QVERIFY(host.load(picture));
    for (const auto &[key, settings] : stack) {
        TFx *fx = host.add(key);
        QVERIFY2(fx, qPrintable("no plug-in offers " + key));
        for (const auto &setting : settings)
            QVERIFY2(CatalogueHarness::set(fx, setting.first, setting.second), qPrintable(key + ' ' + setting.first));
    }
    // Regions at odd offsets, so that positions and block phases matter: inside, large, and for
    // the effects that act most at the border (a vignette, a sharpening kernel's edge samples)
    // reaching the far corner.
    const int w = picture.width(), h = picture.height();
    const QList<TRoi> views = {
        TRoi(w * 3 / 5 / 2, h * 3 / 5 / 2, w / 5 + 1, h / 7 + 1, 2),
        TRoi(w * 2 / 3 / 3, h * 2 / 3 / 3, w / 4, h / 5 + 1, 3),
        TRoi(w * 3 / 4 / 4, h * 3 / 4 / 4, w / 6 + 3, h / 8, 4),
        TRoi(w / 5, h / 5, w / 5 + 2, h / 6 + 1, 3),
        TRoi((w - w / 4) / 2 - 1, (h - h / 6) / 2 - 1, w / 4 + 1, h / 6 + 1, 2),
        TRoi((w - w / 5) / 4 - 1, (h - h / 7) / 4 - 1, w / 5 + 1, h / 7 + 1, 4),
    };
    const bool corner = stack.size() == 1 && (stack[0].first == "Vignette" || stack[0].first == "Sharpen");
    QStringList figures;
    const double worst = host.viewsAgainstExport(corner ? views : views.mid(0, 4), figures);
    qInfo().noquote() << QTest::currentDataTag() << figures.join(", ");
    QVERIFY2(worst >= 40.0, qPrintable(figures.join(", ")));
}

FX_REGISTER_TEST(tst_CatalogueViews)
#include "tst_catalogueviews.moc"
