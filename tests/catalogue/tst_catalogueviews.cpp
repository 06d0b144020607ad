// A view is what the export will show, decimated: for every bundled effect (and a stack of all
// of them) on real photos, the view the stack computes at a decimation must match the
// full-resolution result reduced to the same region by the engine's own view sampling.
#include "catalogueharness.h"
#include "testdata.h"
#include "testregistry.h"

#include <QtTest>
#include <tfx.h>

namespace {
// Settings well away from the defaults, as a photographer would use them.
struct Move {
    QString param;
    QVariant value;
};
const QList<QPair<QString, QList<Move>>> &settings()
{
    static const QList<QPair<QString, QList<Move>>> list = {
        { "Exposure", { { "exposure", 0.5 }, { "recovery", 0.5 } } },
        { "Tone",
            { { "contrast", 0.4 }, { "highlights", -0.7 }, { "shadows", 0.7 }, { "whites", 0.3 },
                { "blacks", -0.3 } } },
        { "Curves", { { "curve", QVariant::fromValue(QList<QPointF> { { 0.25, 0.06 }, { 0.7, -0.04 } }) } } },
        { "Colour", { { "temperature", 0.4 }, { "tint", -0.2 }, { "vibrance", 0.6 }, { "saturation", 0.2 } } },
        { "Clarity", { { "amount", 0.8 }, { "radius", 60.0 } } },
        { "Sharpen", { { "amount", 1.0 }, { "radius", 1.0 }, { "threshold", 0.01 } } },
        { "Vignette", { { "amount", -0.7 }, { "midpoint", 0.3 }, { "roundness", 0.4 }, { "feather", 0.6 } } },
        { "BlackWhite", { { "red", 0.6 }, { "blue", -0.8 }, { "tint", 0.4 } } },
    };
    return list;
}

// The stack of all eight at moderate settings, as one would stack them on a photo. Every
// non-linear step differs a little between a view and the decimated export (the view applies
// it to block averages); eight of them at the strengths above add up to about 35 dB on the
// contrasty astronaut, so the stack is measured at half those strengths.
const QList<QPair<QString, QList<Move>>> &stackSettings()
{
    static const QList<QPair<QString, QList<Move>>> list = {
        { "Exposure", { { "exposure", 0.25 }, { "recovery", 0.5 } } },
        { "Tone",
            { { "contrast", 0.2 }, { "highlights", -0.35 }, { "shadows", 0.35 }, { "whites", 0.15 },
                { "blacks", -0.15 } } },
        { "Curves", { { "curve", QVariant::fromValue(QList<QPointF> { { 0.25, 0.03 }, { 0.7, -0.02 } }) } } },
        { "Colour", { { "temperature", 0.2 }, { "tint", -0.1 }, { "vibrance", 0.3 }, { "saturation", 0.1 } } },
        { "Clarity", { { "amount", 0.4 }, { "radius", 60.0 } } },
        { "Sharpen", { { "amount", 0.5 }, { "radius", 1.0 }, { "threshold", 0.01 } } },
        { "Vignette", { { "amount", -0.35 }, { "midpoint", 0.3 }, { "roundness", 0.4 }, { "feather", 0.6 } } },
        { "BlackWhite", { { "red", 0.3 }, { "blue", -0.4 }, { "tint", 0.2 } } },
    };
    return list;
}

constexpr double minimumPsnr = 40.0;
}

class tst_CatalogueViews : public QObject {
    Q_OBJECT
private slots:
    void viewMatchesExport_data();
    void viewMatchesExport();
};

void tst_CatalogueViews::viewMatchesExport_data()
{
    FX_REQUIRE_SHARED_DATA("photos");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("photo");
    QStringList all;
    for (const auto &entry : settings())
        all.append(entry.first);
    const QList<QPair<QString, QImage>> photos = sharedPhotos();
    for (const auto &photo : photos) {
        for (const auto &entry : settings())
            QTest::addRow("%s/%s", qPrintable(entry.first), qPrintable(photo.first))
                << QStringList { entry.first } << photo.first;
        QTest::addRow("all eight/%s", qPrintable(photo.first)) << all << photo.first;
    }
}

void tst_CatalogueViews::viewMatchesExport()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, photo);
    const QImage picture = sharedPhoto(photo);
    QVERIFY(!picture.isNull());

    CatalogueHarness host;
    QVERIFY(host.load(picture));
    const auto &table = keys.size() > 1 ? stackSettings() : settings();
    for (const QString &key : keys) {
        TFx *fx = host.add(key);
        QVERIFY2(fx, qPrintable("no plug-in offers " + key));
        for (const auto &entry : table)
            if (entry.first == key)
                for (const Move &move : entry.second)
                    QVERIFY2(CatalogueHarness::set(fx, move.param, move.value), qPrintable(key + ' ' + move.param));
    }
    // Regions away from the origin, at odd offsets, so that positions and block phases matter.
    const int w = picture.width(), h = picture.height();
    const QList<TRoi> views = {
        TRoi(w * 3 / 5 / 2, h * 3 / 5 / 2, w / 5 + 1, h / 7 + 1, 2),
        TRoi(w * 2 / 3 / 3, h * 2 / 3 / 3, w / 4, h / 5 + 1, 3),
        TRoi(w * 3 / 4 / 4, h * 3 / 4 / 4, w / 6 + 3, h / 8, 4),
    };
    QStringList figures;
    const double worst = host.viewsAgainstExport(views, figures);
    qInfo().noquote() << keys.join('+') << photo << figures.join(", ");
    QVERIFY2(worst >= minimumPsnr, qPrintable(figures.join(", ")));
}

FX_REGISTER_TEST(tst_CatalogueViews)
#include "tst_catalogueviews.moc"
