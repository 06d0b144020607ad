// Recipes: what a person writes by hand becomes a stack, what a stack is set to comes back as
// a recipe that gives the same pixels, and every mistake is named without touching the stack.
#include "recipe.h"
#include "testregistry.h"
#include "tsampleimage.h"

#include <QtTest>
#include <tcms.h>
#include <tfx.h>
#include <tfxcommondata.h>
#include <tfxstack.h>
#include <tpimage.h>

namespace {
// A stack over the sample picture; run() gives the full-resolution result as 8-bit pixels.
struct Host {
    explicit Host(const QSize &size = QSize(320, 200))
        : picture(TSampleImage::generate(size.width(), size.height()))
        , stack(QStringLiteral("stack"), nullptr)
    {
        source.setup(picture, &cms);
        source.image().updateUid(TIm::CImFull);
        stack.setInImage(&source.image());
        // Masks are drawn on the shared source picture.
        stack.setCommonData(&source);
    }
    QImage run()
    {
        stack.procOutput({ TIm::CImFull });
        QImage result;
        cms.convert(*stack.outImagePtr()->ptr(TIm::CImFull), result);
        return result;
    }
    QImage picture;
    TCMS cms;
    TFxCommonData source;
    TfxStack stack;
};

const char *fullRecipe = R"({
  "version": 1,
  "effects": [
    {"key": "Exposure", "params": {"exposure": 0.7, "recovery": 0.3}, "opacity": 0.8, "masked": true,
     "mask": [
       {"op": "gradient", "from": [0.5, 0.0], "to": [0.5, 0.7], "shape": "linear"},
       {"op": "stroke", "points": [[0.2, 0.6], [0.5, 0.65], [0.8, 0.6]], "radius": 0.04, "hardness": 0.5,
        "value": 0, "mode": "replace"},
       {"op": "feather", "radius": 0.01, "strength": 0.5}
     ]},
    {"key": "Curves", "params": {"curve": [[0.25, 0.05], [0.75, -0.05]]}},
    {"key": "Exposure", "params": {"exposure": -0.3}, "masked": true, "mask": [{"op": "invert"}]}
  ]
})";
}

class tst_Recipe : public QObject {
    Q_OBJECT
private slots:
    // The recipe builds the stack it describes, and what the stack is set to, saved and read
    // again, gives the same pixels and saves the same text.
    void savedRecipeGivesTheSamePixels()
    {
        Recipe recipe;
        QString error;
        QVERIFY2(Recipe::fromJson(fullRecipe, recipe, error), qPrintable(error));
        Host first;
        QVERIFY2(recipe.apply(first.stack, first.picture.size(), error), qPrintable(error));
        QCOMPARE(first.stack.numTFxs(), 3);
        QCOMPARE(first.stack.tfxPtr(0)->key(), QStringLiteral("Exposure"));
        const QImage expected = first.run();
        QCOMPARE(expected.size(), first.picture.size());
        QVERIFY(expected != Host().run());
        const QByteArray saved = recipe.captured(first.stack).toJson();

        Recipe reloaded;
        QVERIFY2(Recipe::fromJson(saved, reloaded, error), qPrintable(error));
        QCOMPARE(reloaded.effects.size(), 3);
        QCOMPARE(reloaded.effects[0].params.value("exposure").toDouble(), 0.7);
        QCOMPARE(reloaded.effects[0].opacity, 0.8);
        Host second;
        QVERIFY2(reloaded.apply(second.stack, second.picture.size(), error), qPrintable(error));
        QCOMPARE(second.run(), expected);
        QCOMPARE(reloaded.captured(second.stack).toJson(), saved);
    }

    void mistakesAreNamedAndNothingIsApplied_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("named");
        const auto effects
            = [](const char *list) { return "{\"version\": 1, \"effects\": [" + QByteArray(list) + "]}"; };
        QTest::newRow("malformed JSON") << QByteArray("{\n  \"version\": 1,\n  \"effects\": [\n    {\"key\": }\n  ]\n}")
                                        << "line 4";
        QTest::newRow("not an object") << QByteArray("[1, 2]") << "JSON object";
        QTest::newRow("wrong version") << QByteArray(R"({"version": 2, "effects": []})") << "version 2";
        QTest::newRow("no version") << QByteArray(R"({"effects": []})") << "version";
        QTest::newRow("effects not a list") << QByteArray(R"({"version": 1, "effects": {}})") << "\"effects\"";
        QTest::newRow("unknown effect") << effects(R"({"key": "Exposure"}, {"key": "Exposur"})") << "\"Exposur\"";
        QTest::newRow("unknown parameter")
            << effects(R"({"key": "Exposure", "params": {"exposre": 1}})") << "\"exposre\"";
        QTest::newRow("out of range") << effects(R"({"key": "Exposure", "params": {"exposure": 9}})")
                                      << "\"exposure\" = 9";
        QTest::newRow("wrong type") << effects(R"({"key": "Exposure", "params": {"exposure": "bright"}})")
                                    << "\"exposure\"";
        QTest::newRow("bad curve") << effects(R"({"key": "Curves", "params": {"curve": [[0.5]]}})") << "\"curve\"";
        QTest::newRow("opacity out of range") << effects(R"({"key": "Exposure", "opacity": 1.5})") << "\"opacity\"";
        QTest::newRow("unknown field") << effects(R"({"key": "Exposure", "strength": 1})") << "\"strength\"";
        QTest::newRow("unknown mask operation")
            << effects(R"({"key": "Exposure", "mask": [{"op": "paint"}]})") << "\"paint\"";
        QTest::newRow("mask point not a pair")
            << effects(R"({"key": "Exposure", "mask": [{"op": "gradient", "from": [0.5], "to": [0.5, 1]}]})")
            << "\"from\"";
        QTest::newRow("later effect fails")
            << effects(R"({"key": "Exposure", "params": {"exposure": 1}}, {"key": "Curves", "params": {"curve": 3}})")
            << "effect 2";
    }

    void mistakesAreNamedAndNothingIsApplied()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, named);
        Host host;
        Recipe recipe;
        QString error;
        const bool parsed = Recipe::fromJson(json, recipe, error);
        const bool applied = parsed && recipe.apply(host.stack, host.picture.size(), error);
        QVERIFY(!applied);
        QVERIFY2(error.contains(named), qPrintable(error));
        QCOMPARE(host.stack.numTFxs(), 0);
    }

    void fxTextBecomesEffects_data()
    {
        QTest::addColumn<QString>("fxText");
        QTest::addColumn<bool>("valid");
        QTest::newRow("key only") << "Exposure" << true;
        QTest::newRow("one value") << "Exposure:exposure=0.5" << true;
        QTest::newRow("two values") << "Exposure:exposure=-1,recovery=0.5" << true;
        QTest::newRow("no key") << ":exposure=1" << false;
        QTest::newRow("no value") << "Exposure:exposure=" << false;
        QTest::newRow("no equals") << "Exposure:exposure" << false;
    }

    void fxTextBecomesEffects()
    {
        QFETCH(QString, fxText);
        QFETCH(bool, valid);
        Recipe recipe;
        QString error;
        QCOMPARE(recipe.addFx(fxText, error), valid);
        if (!valid) {
            QVERIFY(error.contains(fxText));
            return;
        }
        Host host;
        QVERIFY2(recipe.apply(host.stack, host.picture.size(), error), qPrintable(error));
        QCOMPARE(host.stack.numTFxs(), 1);
    }
};
FX_REGISTER_TEST(tst_Recipe)
#include "tst_recipe.moc"
