// The effect base: construction, image setters, parameter lookup, defaults and the shared
// effect data, on recording effects made directly (no stack, no factory).

#include "recordlog.h"
#include "stackharness.h"
#include "testregistry.h"
#include "tfxcommondata.h"
#include "tparambool.h"
#include "tparamgroup.h"
#include "tparamint.h"
#include "tracecapture.h"
#include "trecordingfx.h"

#include <QtTest>
#include <memory>

namespace {
std::unique_ptr<TRecordingFx> paramsFx()
{
    auto fx = std::make_unique<TRecordingFx>(QStringLiteral("RecParams"), QString(), nullptr);
    fx->addParameters();
    return fx;
}
}

class tst_EffectBase : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void constructionState();
    void imageSetterRebuildsDependsOnlyOnChange_data();
    void imageSetterRebuildsDependsOnlyOnChange();
    void paramPtrByIndexFollowsChildOrder();
    void paramPtrByIndexOutOfRange_data();
    void paramPtrByIndexOutOfRange();
    void paramPtrByKeySearchesTreeInChildOrder_data();
    void paramPtrByKeySearchesTreeInChildOrder();
    void paramPtrUnknownKeyWritesOneLine();
    void bParamsDefaultAsksEveryParameter_data();
    void bParamsDefaultAsksEveryParameter();
    void paramsResetResetsEveryParameter();
    void commonDataIsSharedByAllEffects();
    void metaObjectMethodOrder();
};

void tst_EffectBase::init() { RecordLog::clear(); }

void tst_EffectBase::cleanup() { TFx::m_commonData_p = nullptr; }

void tst_EffectBase::constructionState()
{
    QObject parent;
    auto *fx = new TRecordingFx(QStringLiteral("RecA"), QString(), &parent);
    QCOMPARE(fx->key(), QStringLiteral("RecA"));
    QCOMPARE(fx->objectName(), QStringLiteral("RecA"));
    QCOMPARE(fx->parent(), &parent);
    QVERIFY(!fx->inImagePtr());
    QVERIFY(!fx->mixImagePtr());
    QVERIFY(!fx->isProcessing());
    QCOMPARE(fx->numParams(), 0);
    const TFx *constFx = fx;
    QCOMPARE(constFx->outImagePtr(), fx->outImagePtr());
    for (int i = 0; i < TIm::numLevels; ++i)
        QVERIFY(fx->outImagePtr()->bEmpty(TIm::CImId(i)));
    // Construction wires nothing, so nothing was rebuilt.
    QCOMPARE(RecordLog::count(QStringLiteral("setOutImageDepends")), 0);
}

void tst_EffectBase::imageSetterRebuildsDependsOnlyOnChange_data()
{
    QTest::addColumn<bool>("mixPort");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("rebuilds");

    // Images: 0 is null, 1 and 2 are two different sets. rebuilds counts the
    // setOutImageDepends calls of the second call only.
    for (bool mixPort : { false, true }) {
        const char *port = mixPort ? "mix" : "input";
        QTest::addRow("%s: same pointer again", port) << mixPort << 1 << 1 << 0;
        QTest::addRow("%s: another pointer", port) << mixPort << 1 << 2 << 1;
        QTest::addRow("%s: null after a pointer", port) << mixPort << 1 << 0 << 1;
        QTest::addRow("%s: null while null", port) << mixPort << 0 << 0 << 0;
    }
}

void tst_EffectBase::imageSetterRebuildsDependsOnlyOnChange()
{
    QFETCH(bool, mixPort);
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, rebuilds);

    TIm one;
    TIm two;
    const TIm *images[] = { nullptr, &one, &two };
    TRecordingFx fx(QStringLiteral("RecA"), QString(), nullptr);
    auto set = [&](const TIm *image) {
        if (mixPort)
            fx.setMixImage(image);
        else
            fx.setInImage(image);
    };
    set(images[first]);
    const int before = RecordLog::count(QStringLiteral("setOutImageDepends"));
    set(images[second]);
    QCOMPARE(RecordLog::count(QStringLiteral("setOutImageDepends")) - before, rebuilds);
    QCOMPARE(mixPort ? fx.mixImagePtr() : fx.inImagePtr(), images[second]);
    // The other port is untouched.
    QVERIFY(!(mixPort ? fx.inImagePtr() : fx.mixImagePtr()));
}

void tst_EffectBase::paramPtrByIndexFollowsChildOrder()
{
    const auto fx = paramsFx();
    QCOMPARE(fx->numParams(), 5);
    const QStringList keys { "B1", "G", "I1", "A", "Last" };
    const TFx *constFx = fx.get();
    for (int i = 0; i < keys.size(); ++i) {
        QVERIFY(fx->paramPtr(i));
        QCOMPARE(fx->paramPtr(i)->key(), keys.at(i));
        QCOMPARE(constFx->paramPtr(i), fx->paramPtr(i));
    }
    QCOMPARE(static_cast<TParamInt *>(fx->paramPtr(3))->value(), 7);
}

void tst_EffectBase::paramPtrByIndexOutOfRange_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("numParams()") << 5;
    QTest::newRow("far beyond the end") << 100;
    QTest::newRow("negative") << -1;
}

void tst_EffectBase::paramPtrByIndexOutOfRange()
{
    QFETCH(int, index);
    const auto fx = paramsFx();
    const TFx *constFx = fx.get();
    TraceCapture trace;
    QVERIFY(!fx->paramPtr(index));
    QVERIFY(!constFx->paramPtr(index));
    const QString expected = QStringLiteral("USAGE - TFx::params() - param not found: %1").arg(index);
    QCOMPARE(trace.lines(), QStringList({ expected, expected }));
}

void tst_EffectBase::paramPtrByKeySearchesTreeInChildOrder_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("parentKey");
    QTest::addColumn<QString>("name");

    // The effect's tree: B1, G { A, H { Deep } }, I1, A, Last. Names tell the two A apart.
    QTest::newRow("direct child") << "B1"
                                  << "RecParams"
                                  << "B1";
    QTest::newRow("the group itself") << "G"
                                      << "RecParams"
                                      << "G";
    QTest::newRow("inside a group before a later direct child") << "A"
                                                                << "G"
                                                                << "A in G";
    QTest::newRow("two groups deep") << "Deep"
                                     << "H"
                                     << "Deep";
    QTest::newRow("direct child after a group") << "Last"
                                                << "RecParams"
                                                << "Last";
}

void tst_EffectBase::paramPtrByKeySearchesTreeInChildOrder()
{
    QFETCH(QString, key);
    QFETCH(QString, parentKey);
    QFETCH(QString, name);
    const auto fx = paramsFx();
    TraceCapture trace;
    TParam *param = fx->paramPtr(key);
    QVERIFY(param);
    QCOMPARE(param->key(), key);
    QCOMPARE(param->name(), name);
    QCOMPARE(param->parent()->objectName(), parentKey);
    QCOMPARE(trace.count(QStringLiteral("USAGE")), 0);
}

void tst_EffectBase::paramPtrUnknownKeyWritesOneLine()
{
    const auto fx = paramsFx();
    TraceCapture trace;
    QVERIFY(!fx->paramPtr(QStringLiteral("Nowhere")));
    QCOMPARE(trace.lines(), QStringList(QStringLiteral("USAGE - TFx::params() - param key not exist: \"Nowhere\"")));

    TRecordingFx plain(QStringLiteral("RecA"), QString(), nullptr);
    trace.clear();
    QVERIFY(!plain.paramPtr(QStringLiteral("B1")));
    QCOMPARE(trace.count(QStringLiteral("param key not exist")), 1);
}

void tst_EffectBase::bParamsDefaultAsksEveryParameter_data()
{
    QTest::addColumn<bool>("withParams");
    QTest::addColumn<QString>("changed");
    QTest::addColumn<bool>("expected");

    QTest::newRow("no parameters") << false << QString() << true;
    QTest::newRow("all at default") << true << QString() << true;
    QTest::newRow("first changed") << true << "B1" << false;
    QTest::newRow("middle changed") << true << "I1" << false;
    QTest::newRow("last changed") << true << "Last" << false;
}

void tst_EffectBase::bParamsDefaultAsksEveryParameter()
{
    QFETCH(bool, withParams);
    QFETCH(QString, changed);
    QFETCH(bool, expected);

    TRecordingFx fx(QStringLiteral("RecA"), QString(), nullptr);
    if (withParams)
        fx.addParameters();
    if (changed == QLatin1String("B1"))
        static_cast<TParamBool *>(fx.paramPtr(changed))->setValue(true);
    else if (changed == QLatin1String("I1"))
        static_cast<TParamInt *>(fx.paramPtr(changed))->setValue(9);
    else if (changed == QLatin1String("Last"))
        static_cast<TParamBool *>(fx.paramPtr(changed))->setValue(false);
    RecordLog::clear();

    TraceCapture trace;
    QCOMPARE(fx.bParamsDefault(), expected);
    // Every recorded parameter is asked exactly once, in child order, even after a false.
    const QStringList asked = RecordLog::objects(QStringLiteral("bDefault"));
    QCOMPARE(asked, withParams ? QStringList({ "B1", "I1", "Last" }) : QStringList());
    const QStringList lines = traceLines(trace, QStringLiteral("TFx::bParamsDefault"), QStringLiteral("-"));
    QCOMPARE(lines.size(), 1);
    QVERIFY2(
        lines.first().endsWith(expected ? QLatin1String(" true") : QLatin1String(" false")), qPrintable(lines.first()));
}

void tst_EffectBase::paramsResetResetsEveryParameter()
{
    const auto fx = paramsFx();
    static_cast<TParamBool *>(fx->paramPtr(0))->setValue(true);
    static_cast<TParamInt *>(fx->paramPtr(2))->setValue(9);
    static_cast<TParamInt *>(fx->paramPtr(3))->setValue(1);
    static_cast<TParamBool *>(fx->paramPtr(4))->setValue(false);
    QVERIFY(!fx->bParamsDefault());
    RecordLog::clear();

    fx->paramsReset();
    QCOMPARE(RecordLog::objects(QStringLiteral("reset")), QStringList({ "B1", "I1", "Last" }));
    QCOMPARE(static_cast<TParamBool *>(fx->paramPtr(0))->value(), false);
    QCOMPARE(static_cast<TParamInt *>(fx->paramPtr(2))->value(), 3);
    QCOMPARE(static_cast<TParamInt *>(fx->paramPtr(3))->value(), 7);
    QCOMPARE(static_cast<TParamBool *>(fx->paramPtr(4))->value(), true);
    QVERIFY(fx->bParamsDefault());
}

void tst_EffectBase::commonDataIsSharedByAllEffects()
{
    TFxCommonData a;
    TFxCommonData b;
    TRecordingFx first(QStringLiteral("RecA"), QStringLiteral("first"), nullptr);
    TRecordingFx second(QStringLiteral("RecA"), QStringLiteral("second"), nullptr);
    QVERIFY(!TFx::getCommonData());
    first.setCommonData(&a);
    QCOMPARE(TFx::getCommonData(), &a);
    second.setCommonData(&b);
    QCOMPARE(first.getCommonData(), &b);
    QCOMPARE(second.getCommonData(), &b);
    QCOMPARE(TFx::m_commonData_p, &b);
    // Setting the shared data wires no image.
    QVERIFY(!first.inImagePtr());
    QVERIFY(!second.mixImagePtr());
}

void tst_EffectBase::metaObjectMethodOrder()
{
    const QMetaObject &meta = TFx::staticMetaObject;
    QCOMPARE(meta.className(), "TFx");
    QCOMPARE(meta.superClass(), &QObject::staticMetaObject);
    struct Expected {
        QMetaMethod::MethodType type;
        const char *signature;
        const char *returnType;
        QList<QByteArray> names;
    };
    const QList<Expected> expected {
        { QMetaMethod::Signal, "progress(int)", "void", { "oneThousandth" } },
        { QMetaMethod::Signal, "outputChanged(int)", "void", { "cid" } },
        { QMetaMethod::Slot, "setInImage(const TIm*)", "void", { "inIm_p" } },
        { QMetaMethod::Slot, "setMixImage(const TIm*)", "void", { "mixIm_p" } },
        { QMetaMethod::Slot, "procOutput(QSet<TIm::CImId>)", "bool", { "cids" } },
        { QMetaMethod::Slot, "cancelProc()", "void", {} },
    };
    QCOMPARE(meta.methodCount() - meta.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.methodSignature(), QByteArray(expected.at(i).signature));
        QCOMPARE(method.methodType(), expected.at(i).type);
        QCOMPARE(method.access(), QMetaMethod::Public);
        QCOMPARE(method.typeName(), expected.at(i).returnType);
        QCOMPARE(method.parameterNames(), expected.at(i).names);
    }
}

FX_REGISTER_TEST(tst_EffectBase)
#include "tst_effectbase.moc"
