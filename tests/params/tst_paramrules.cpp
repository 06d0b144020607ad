#include "changeprobe.h"
#include "testregistry.h"
#include "tparambool.h"
#include "tparamchoices.h"
#include "tparamfloat.h"
#include "tparamint.h"
#include "tracecapture.h"
#include "tuid.h"

#include <QPointer>
#include <QtTest>
#include <memory>

// Rules every scalar kind shares: ownership, preset indices, a missing default, reset through
// the base class and which kinds advance their stamp.
class tst_ParamRules : public QObject {
    Q_OBJECT
private slots:
    void parameterIsOwnedByParentAndOwnsStamp();
    void presetIndexOutOfRangeDoesNothing_data();
    void presetIndexOutOfRangeDoesNothing();
    void emptyPresetListHasNoDefault();
    void resetThroughBaseRestoresDefault();
    void stampMarksDependentsDirty_data();
    void stampMarksDependentsDirty();
};

void tst_ParamRules::parameterIsOwnedByParentAndOwnsStamp()
{
    auto parent = std::make_unique<QObject>();
    QPointer<TParamBool> first = new TParamBool(parent.get(), "A", "", "", "", false);
    QPointer<TParamBool> second = new TParamBool(parent.get(), "B", "", "", "", false);
    QCOMPARE(parent->children().size(), 2);
    QCOMPARE(first->uid()->owner(), static_cast<void *>(first.data()));
    QVERIFY(first->uid()->id() != second->uid()->id());
    parent.reset();
    QVERIFY(first.isNull());
    QVERIFY(second.isNull());
}

void tst_ParamRules::presetIndexOutOfRangeDoesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("offset");
    for (const char *kind : { "bool", "int", "float", "choices" }) {
        QTest::addRow("%s at -1", kind) << kind << -1;
        QTest::addRow("%s at numPresets", kind) << kind << 0;
    }
}

void tst_ParamRules::presetIndexOutOfRangeDoesNothing()
{
    QFETCH(QString, kind);
    QFETCH(int, offset);
    // Each parameter gets a second preset that differs from its value, so that applying a
    // valid index does change it (the last check below proves the probe can see a change).
    std::unique_ptr<TParam> param;
    const char *signal = nullptr;
    if (kind == "bool") {
        auto *p = new TParamBool(nullptr, "k", "", "", "", false);
        p->presets().append(true);
        param.reset(p);
        signal = SIGNAL(valueChanged(bool));
    } else if (kind == "int") {
        auto *p = new TParamInt(nullptr, "k", "", "", "", 1, 0, 9);
        p->presets().append(7);
        param.reset(p);
        signal = SIGNAL(valueChanged(int));
    } else if (kind == "float") {
        auto *p = new TParamFloat(nullptr, "k", "", "", "", 0.1f, 0.0f, 1.0f);
        p->presets().append(0.9f);
        param.reset(p);
        signal = SIGNAL(valueChanged(float));
    } else {
        auto *p = new TParamChoices(nullptr, "k", "", "", "");
        p->setChoices({ "a", "b" });
        p->presets().append(1);
        param.reset(p);
        signal = SIGNAL(valueChanged(int));
    }
    ChangeProbe probe(*param, signal);
    const int index = offset < 0 ? offset : param->numPresets() + offset;
    param->applyPreset(index);
    QCOMPARE(probe.m_spy.count(), 0);
    QVERIFY(!probe.stampAdvanced());
    QVERIFY(param->bDefault());
    param->applyPreset(1);
    QCOMPARE(probe.m_spy.count(), 1);
    QVERIFY(!param->bDefault());
}

void tst_ParamRules::emptyPresetListHasNoDefault()
{
    TParamFloat f(nullptr, "f", "", "", "", 0.5f, 0.0f, 1.0f);
    TParamInt i(nullptr, "i", "", "", "", 1, 0, 9);
    TParamBool b(nullptr, "b", "", "", "", true);
    TParamChoices c(nullptr, "c", "", "", "");
    f.presets().clear();
    i.presets().clear();
    b.presets().clear();
    c.presets().clear();
    QSignalSpy fSpy(&f, &TParamFloat::valueChanged);
    QSignalSpy iSpy(&i, &TParamInt::valueChanged);
    QSignalSpy bSpy(&b, &TParamBool::valueChanged);
    QSignalSpy cSpy(&c, &TParamChoices::valueChanged);
    TraceCapture trace;
    for (TParam *p : std::initializer_list<TParam *> { &f, &i, &b, &c }) {
        QCOMPARE(p->numPresets(), 0);
        p->reset();
        p->applyPreset(0);
        QVERIFY(!p->bDefault());
    }
    QCOMPARE(fSpy.count() + iSpy.count() + bSpy.count() + cSpy.count(), 0);
    QCOMPARE(trace.count("no presets"), 4);
}

void tst_ParamRules::resetThroughBaseRestoresDefault()
{
    TParamFloat f(nullptr, "f", "", "", "", 0.5f, 0.0f, 1.0f);
    TParamChoices c(nullptr, "c", "", "", "");
    c.setChoices({ "a", "b", "c" });
    c.presets()[0] = 2;
    f.setValue(0.8f);
    QVERIFY(!f.bDefault());
    QVERIFY(!c.bDefault());
    QSignalSpy fSpy(&f, &TParamFloat::valueChanged);
    QSignalSpy cSpy(&c, &TParamChoices::valueChanged);
    for (TParam *p : std::initializer_list<TParam *> { &f, &c })
        p->reset();
    QCOMPARE(f.value(), 0.5f);
    QCOMPARE(c.value(), 2);
    QCOMPARE(fSpy.count(), 1);
    QCOMPARE(cSpy.count(), 1);
    QVERIFY(f.bDefault());
    QVERIFY(c.bDefault());
}

void tst_ParamRules::stampMarksDependentsDirty_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("dirties");
    QTest::newRow("bool") << "bool" << true;
    QTest::newRow("int") << "int" << true;
    QTest::newRow("float") << "float" << true;
    QTest::newRow("choices") << "choices" << false;
}

void tst_ParamRules::stampMarksDependentsDirty()
{
    QFETCH(QString, kind);
    QFETCH(bool, dirties);
    TParamBool b(nullptr, "b", "", "", "", false);
    TParamInt i(nullptr, "i", "", "", "", 0, 0, 9);
    TParamFloat f(nullptr, "f", "", "", "", 0.0f, 0.0f, 1.0f);
    TParamChoices c(nullptr, "c", "", "", "");
    c.setChoices({ "a", "b" });
    TParam *param = kind == "bool" ? static_cast<TParam *>(&b)
        : kind == "int"            ? static_cast<TParam *>(&i)
        : kind == "float"          ? static_cast<TParam *>(&f)
                                   : static_cast<TParam *>(&c);
    TUidDepends record;
    record.addDepedentUid(param->uid());
    record.clean(nullptr);
    QVERIFY(param->setProperty("value", 1));
    QCOMPARE(param->property("value").toInt(), 1);
    QCOMPARE(record.dirty(nullptr), dirties);
    // Setting the same value again must not make a cleaned record dirty.
    record.clean(nullptr);
    QVERIFY(param->setProperty("value", 1));
    QVERIFY(!record.dirty(nullptr));
}

FX_REGISTER_TEST(tst_ParamRules)
#include "tst_paramrules.moc"
