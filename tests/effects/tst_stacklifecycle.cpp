// The effect stack's life: the shared factory and debug hook, destruction of effects,
// repeated creation, the meta-object that hosts call by name, and the parameters of all
// effects at once.

#include "qximproca.h"
#include "recordlog.h"
#include "stackharness.h"
#include "testregistry.h"
#include "tparambool.h"
#include "tpluginfactory.h"
#include "tracecapture.h"

#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {
// Sends level sets through a signal, for connections made by string signature.
class LevelSender : public QObject {
    Q_OBJECT
signals:
    void levelsRequested(const QSet<TIm::CImId> &levels);
};
}

class tst_StackLifecycle : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void factorySharedAndReferenceCounted();
    void debugHookInstalledWithFactory();
    void destructionDeletesEffectsLastToFirst();
    void repeatedStacksLeaveNothingBehind();
    void metaObjectMethodOrder();
    void levelSetTypeRegisteredByLibrary();
    void stringSignatureConnect_data();
    void stringSignatureConnect();
    void invokeByName();
    void parametersOfAllEffects();
    void bParamsDefaultOfEmptyStack();
};

void tst_StackLifecycle::init()
{
    RecordLog::clear();
    QCOMPARE(TfxStack::m_refcount, 0);
    QVERIFY(!TfxStack::m_pluginFactory_p);
}

void tst_StackLifecycle::cleanup() { QCOMPARE(RecordLog::liveEffects(), 0); }

void tst_StackLifecycle::factorySharedAndReferenceCounted()
{
    auto first = StackHarness::newStack(QStringLiteral("first"));
    QCOMPARE(TfxStack::m_refcount, 1);
    const QPointer<TPluginFactory> factory = TfxStack::m_pluginFactory_p;
    QVERIFY(factory);
    QVERIFY(!factory->parent());
    QVERIFY(factory->tfxs().contains(QStringLiteral("RecA")));

    StdoutCapture output;
    auto second = std::make_unique<TfxStack>(QStringLiteral("second"), nullptr);
    // The second stack reuses the factory: no new scan of the plug-in directory.
    QVERIFY(!output.text().contains(QStringLiteral("plugins dir")));
    QCOMPARE(TfxStack::m_refcount, 2);
    QCOMPARE(TfxStack::m_pluginFactory_p, factory.data());

    first.reset();
    QCOMPARE(TfxStack::m_refcount, 1);
    QVERIFY(factory);
    QVERIFY(second->addTFx(QStringLiteral("RecA"), QStringLiteral("A"), 0));

    second.reset();
    QCOMPARE(TfxStack::m_refcount, 0);
    QVERIFY(factory.isNull());
    QVERIFY(!TfxStack::m_pluginFactory_p);

    auto third = StackHarness::newStack(QStringLiteral("third"));
    QVERIFY(TfxStack::m_pluginFactory_p);
    QCOMPARE(TfxStack::m_refcount, 1);
    QVERIFY(third->addTFx(QStringLiteral("RecA"), QStringLiteral("A"), 0));
}

void tst_StackLifecycle::debugHookInstalledWithFactory()
{
    QXimproca::m_tDebug_p = nullptr;
    auto first = StackHarness::newStack();
    QVERIFY(QXimproca::m_tDebug_p);
    {
        TraceCapture trace;
        QXimproca::debug("core library says hello");
        QCOMPARE(trace.lines(), QStringList(QStringLiteral("core library says hello")));
    }
    // Only the stack that creates the factory installs the hook.
    QXimproca::m_tDebug_p = nullptr;
    auto second = StackHarness::newStack();
    QVERIFY(!QXimproca::m_tDebug_p);
    first.reset();
    second.reset();
    auto third = StackHarness::newStack();
    QVERIFY(QXimproca::m_tDebug_p);
}

void tst_StackLifecycle::destructionDeletesEffectsLastToFirst()
{
    auto stack = StackHarness::newStack();
    QStringList destroyed;
    for (const char *name : { "A", "B", "C" }) {
        TFx *fx = stack->addTFx(QStringLiteral("RecA"), QString::fromLatin1(name), stack->numTFxs());
        QVERIFY(fx);
        connect(fx, &QObject::destroyed, [&destroyed, name] { destroyed.append(QString::fromLatin1(name)); });
    }
    QCOMPARE(RecordLog::liveEffects(), 3);
    stack.reset();
    QCOMPARE(destroyed, QStringList({ "C", "B", "A" }));
    QCOMPARE(RecordLog::liveEffects(), 0);
}

void tst_StackLifecycle::repeatedStacksLeaveNothingBehind()
{
    for (int round = 0; round < 20; ++round) {
        StackHarness h;
        h.append({ "A", "B" });
        h.add(QStringLiteral("P"), 1, QStringLiteral("RecParams"));
        h.fx(2)->setProgressSteps(2);
        QVERIFY(h.stack->procOutput(levelSet({ 0, 1, 6 })));
        if (round % 2) {
            const QMetaObject::Connection connection
                = connect(h.stack.get(), &TFx::progress, [&h] { h.stack->cancelProc(); });
            QVERIFY(h.stack->procOutput(levelSet({ 0 })));
            disconnect(connection);
        }
        QVERIFY(h.stack->deleteTFx(round % 3));
        QCOMPARE(RecordLog::liveEffects(), 2);
        h.stack.reset();
        QCOMPARE(RecordLog::liveEffects(), 0);
        QCOMPARE(TfxStack::m_refcount, 0);
        QVERIFY(!TfxStack::m_pluginFactory_p);
    }
}

void tst_StackLifecycle::metaObjectMethodOrder()
{
    const QMetaObject &meta = TfxStack::staticMetaObject;
    QCOMPARE(meta.className(), "TfxStack");
    QCOMPARE(meta.superClass(), &TFx::staticMetaObject);
    struct Expected {
        QMetaMethod::MethodType type;
        QMetaMethod::Access access;
        const char *signature;
        const char *returnType;
        QList<QByteArray> names;
    };
    const QList<Expected> expected {
        { QMetaMethod::Signal, QMetaMethod::Public, "currentTfxChanged(int)", "void", { "curIdx" } },
        { QMetaMethod::Slot, QMetaMethod::Public, "setInImage(const TIm*)", "void", { "inIm_p" } },
        { QMetaMethod::Slot, QMetaMethod::Public, "setMixImage(const TIm*)", "void", { "mixIm_p" } },
        { QMetaMethod::Slot, QMetaMethod::Public, "procOutput(QSet<TIm::CImId>)", "bool", { "updates" } },
        { QMetaMethod::Slot, QMetaMethod::Public, "procCurrentTFx(QSet<TIm::CImId>)", "bool", { "updates" } },
        { QMetaMethod::Slot, QMetaMethod::Public, "cancelProc()", "void", {} },
        { QMetaMethod::Slot, QMetaMethod::Protected, "emitProg(int)", "void", { "percent" } },
        { QMetaMethod::Slot, QMetaMethod::Protected, "emitOutputChanged(int)", "void", { "cid" } },
    };
    QCOMPARE(meta.methodCount() - meta.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.methodSignature(), QByteArray(expected.at(i).signature));
        QCOMPARE(method.methodType(), expected.at(i).type);
        QCOMPARE(method.access(), expected.at(i).access);
        QCOMPARE(method.typeName(), expected.at(i).returnType);
        QCOMPARE(method.parameterNames(), expected.at(i).names);
    }
}

void tst_StackLifecycle::levelSetTypeRegisteredByLibrary()
{
    // In this process the tests may have registered the type themselves; the probe never
    // names it, so there only the library can have done it, when it was loaded.
    QProcess probe;
    probe.start(QStringLiteral(FX_FACTORY_PROBE), QStringList());
    QVERIFY(probe.waitForFinished(60000));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(probe.readAllStandardOutput()).split(QLatin1Char('\n'));
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.first().startsWith(QLatin1String("metatype ")), qPrintable(lines.first()));
    QVERIFY2(lines.first().mid(9).toInt() >= int(QMetaType::User), qPrintable(lines.first()));

    const int id = QMetaType::type("QSet<TIm::CImId>");
    QVERIFY(id >= int(QMetaType::User));
    QCOMPARE(id, qMetaTypeId<QSet<TIm::CImId>>());
}

void tst_StackLifecycle::stringSignatureConnect_data()
{
    QTest::addColumn<bool>("queued");
    QTest::newRow("direct") << false;
    QTest::newRow("queued") << true;
}

void tst_StackLifecycle::stringSignatureConnect()
{
    QFETCH(bool, queued);
    StackHarness h;
    h.append({ "A" });
    LevelSender sender;
    QVERIFY(QObject::connect(&sender, SIGNAL(levelsRequested(QSet<TIm::CImId>)), h.stack.get(),
        SLOT(procOutput(QSet<TIm::CImId>)), queued ? Qt::QueuedConnection : Qt::AutoConnection));
    QSignalSpy changed(h.stack.get(), SIGNAL(outputChanged(int)));
    QVERIFY(changed.isValid());
    emit sender.levelsRequested(levelSet({ 2, 4 }));
    if (queued) {
        QCOMPARE(RecordLog::count(QStringLiteral("procOutput")), 0);
        QTRY_COMPARE(RecordLog::count(QStringLiteral("procOutput")), 1);
    }
    QCOMPARE(RecordLog::requests(QStringLiteral("A")), QList<QList<int>>({ { 2, 4 } }));
    QCOMPARE(changed.count(), 2);
}

void tst_StackLifecycle::invokeByName()
{
    StackHarness h;
    h.append({ "A", "B" });
    h.stack->setCurrentTfx(0);
    bool result = false;
    QVERIFY(QMetaObject::invokeMethod(
        h.stack.get(), "procOutput", Q_RETURN_ARG(bool, result), Q_ARG(QSet<TIm::CImId>, levelSet({ 3 }))));
    QVERIFY(result);
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A", "B" }));

    RecordLog::clear();
    result = false;
    QVERIFY(QMetaObject::invokeMethod(
        h.stack.get(), "procCurrentTFx", Q_RETURN_ARG(bool, result), Q_ARG(QSet<TIm::CImId>, levelSet({ 1 }))));
    QVERIFY(result);
    QCOMPARE(RecordLog::objects(QStringLiteral("procOutput")), QStringList({ "A" }));

    TIm other;
    QVERIFY(QMetaObject::invokeMethod(h.stack.get(), "setInImage", Q_ARG(const TIm *, &other)));
    QCOMPARE(h.stack->tfxPtr(0)->inImagePtr(), &other);
    RecordLog::clear();
    QVERIFY(QMetaObject::invokeMethod(h.stack.get(), "cancelProc"));
    QCOMPARE(RecordLog::objects(QStringLiteral("cancelProc")), QStringList({ "A", "B" }));
}

void tst_StackLifecycle::parametersOfAllEffects()
{
    StackHarness h;
    h.add(QStringLiteral("P1"), 0, QStringLiteral("RecParams"));
    h.add(QStringLiteral("plain"), 1);
    h.add(QStringLiteral("P2"), 2, QStringLiteral("RecParams"));
    auto *b1 = static_cast<TParamBool *>(h.stack->tfxPtr(0)->paramPtr(QStringLiteral("B1")));
    b1->setValue(true);
    RecordLog::clear();

    TraceCapture trace;
    QVERIFY(!h.stack->bParamsDefault());
    // The second effect with parameters is asked although the first already said no.
    QCOMPARE(RecordLog::objects(QStringLiteral("bDefault")), QStringList({ "B1", "I1", "Last", "B1", "I1", "Last" }));
    QStringList lines = traceLines(trace, QStringLiteral("TfxStack::bParamsDefault"), QStringLiteral("-"));
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(QLatin1String(" false")), qPrintable(lines.first()));
    QCOMPARE(traceCount(trace, QStringLiteral("TFx::bParamsDefault"), QStringLiteral("-")), 3);

    RecordLog::clear();
    h.stack->paramsReset();
    QCOMPARE(RecordLog::objects(QStringLiteral("reset")), QStringList({ "B1", "I1", "Last", "B1", "I1", "Last" }));
    QCOMPARE(b1->value(), false);
    trace.clear();
    QVERIFY(h.stack->bParamsDefault());
    lines = traceLines(trace, QStringLiteral("TfxStack::bParamsDefault"), QStringLiteral("-"));
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(QLatin1String(" true")), qPrintable(lines.first()));
}

void tst_StackLifecycle::bParamsDefaultOfEmptyStack()
{
    auto stack = StackHarness::newStack();
    TraceCapture trace;
    QVERIFY(stack->bParamsDefault());
    QCOMPARE(traceCount(trace, QStringLiteral("TfxStack::bParamsDefault"), QStringLiteral("- true")), 1);
}

FX_REGISTER_TEST(tst_StackLifecycle)
#include "tst_stacklifecycle.moc"
