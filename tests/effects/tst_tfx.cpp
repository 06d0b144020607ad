// The effect base on recording effects made directly: image setters, parameter lookup,
// defaults and the shared effect data; the meta-objects and level-set type through which hosts
// call effects and stacks by name; and the plug-in factory that all stacks share.

#include "stackharness.h"
#include "testregistry.h"
#include "tfxcommondata.h"
#include "tparambool.h"
#include "tpluginfactory.h"
#include "tracecapture.h"

#include <QPointer>
#include <QtTest>

class tst_TFx : public QObject {
    Q_OBJECT
signals:
    // Level sets for connections made by string signature.
    void levelsRequested(const QSet<TIm::CImId> &levels);

private slots:
    void imageSettersRebuildDependsOnlyOnChange()
    {
        TIm one, two;
        for (bool mixPort : { false, true }) {
            TRecordingFx fx("RecA", QString(), nullptr);
            // The image set, and the rebuilds that causes.
            for (const auto &step : QList<QPair<const TIm *, int>> {
                     { &one, 1 }, { &one, 0 }, { &two, 1 }, { nullptr, 1 }, { nullptr, 0 } }) {
                TRecordingFx::calls.clear();
                mixPort ? fx.setMixImage(step.first) : fx.setInImage(step.first);
                QCOMPARE(TRecordingFx::calls.count("RecA.setOutImageDepends"), step.second);
                QCOMPARE(mixPort ? fx.mixImagePtr() : fx.inImagePtr(), step.first);
                QVERIFY(!(mixPort ? fx.inImagePtr() : fx.mixImagePtr()));
            }
        }
    }

    void paramPtrSearchesTheTreeInChildOrder()
    {
        TRecordingFx fx("RecParams", QString(), nullptr, true);
        QCOMPARE(fx.numParams(), 4);
        // Query ("#n" by index), name found, trace line; the tree is B1, G { A "A in G" }, A, Last.
        const QStringList cases[] = { { "G", "G", "" }, { "A", "A in G", "" }, { "Last", "Last", "" },
            { "Nowhere", "", "param key not exist: \"Nowhere\"" }, { "#4", "", "param not found: 4" } };
        for (const QStringList &c : cases) {
            TraceCapture trace;
            const TParam *param = c[0].startsWith('#') ? fx.paramPtr(c[0].mid(1).toInt()) : fx.paramPtr(c[0]);
            QCOMPARE(param ? param->name() : QString(), c[1]);
            QCOMPARE(trace.lines(), c[2].isEmpty() ? QStringList() : QStringList("USAGE - TFx::params() - " + c[2]));
        }
    }

    void bParamsDefaultAsksEveryParameter()
    {
        for (const QString changed : { "", "B1", "Last" }) {
            TRecordingFx fx("RecParams", QString(), nullptr, true);
            if (auto *param = static_cast<TParamBool *>(changed.isEmpty() ? nullptr : fx.paramPtr(changed)))
                param->setValue(!param->value());
            TRecordingFx::calls.clear();
            QCOMPARE(fx.bParamsDefault(), changed.isEmpty());
            // Every parameter is asked, also after one said no.
            QCOMPARE(recorded("bDefault"), "B1 Last");
            fx.paramsReset();
            QVERIFY(fx.bParamsDefault());
        }
    }

    void commonDataIsSharedByAllEffects()
    {
        TFxCommonData a, b;
        TRecordingFx first("RecA", "first", nullptr), second("RecA", "second", nullptr);
        first.setCommonData(&a);
        QCOMPARE(second.getCommonData(), &a);
        second.setCommonData(&b);
        QCOMPARE(TFx::getCommonData(), &b);
        QCOMPARE(first.getCommonData(), &b);
        TFx::m_commonData_p = nullptr;
    }

    void metaObjectMethodOrder()
    {
        auto methods = [](const QMetaObject &meta) {
            QStringList list;
            for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
                const QMetaMethod m = meta.method(i);
                list << QString(m.methodType() == QMetaMethod::Signal ? "signal " : "slot ")
                        + (m.access() == QMetaMethod::Public ? "" : "protected ") + m.typeName() + ' '
                        + m.methodSignature();
            }
            return list.join(", ");
        };
        QCOMPARE(methods(TFx::staticMetaObject),
            "signal void progress(int), signal void outputChanged(int), slot void setInImage(const TIm*), "
            "slot void setMixImage(const TIm*), slot bool procOutput(QSet<TIm::CImId>), slot void cancelProc()");
        QCOMPARE(methods(TfxStack::staticMetaObject),
            "signal void currentTfxChanged(int), slot void setInImage(const TIm*), slot void setMixImage(const TIm*), "
            "slot bool procOutput(QSet<TIm::CImId>), slot bool procCurrentTFx(QSet<TIm::CImId>), "
            "slot void cancelProc(), slot protected void emitProg(int), slot protected void emitOutputChanged(int)");
    }

    void levelSetsByStringSignature()
    {
        StackHarness h({ "A" });
        QVERIFY(connect(this, SIGNAL(levelsRequested(QSet<TIm::CImId>)), h.stack.get(),
            SLOT(procOutput(QSet<TIm::CImId>)), Qt::QueuedConnection));
        emit levelsRequested(levelSet("2,4"));
        QCOMPARE(recorded("procOutput"), "");
        QTRY_COMPARE(recorded("procOutput"), "A(2,4)");
        bool result = false;
        QVERIFY(QMetaObject::invokeMethod(
            h.stack.get(), "procOutput", Q_RETURN_ARG(bool, result), Q_ARG(QSet<TIm::CImId>, levelSet("1"))));
        QVERIFY(result);
        QCOMPARE(recorded("procOutput"), "A(2,4) A(1)");
    }

    void factorySharedAndReferenceCounted()
    {
        auto first = std::make_unique<StackHarness>();
        const QPointer<TPluginFactory> factory = TfxStack::m_pluginFactory_p;
        auto second = std::make_unique<StackHarness>();
        QCOMPARE(TfxStack::m_pluginFactory_p, factory);
        QCOMPARE(TfxStack::m_refcount, 2);
        first.reset();
        QVERIFY(factory);
        QVERIFY(second->stack->addTFx("RecA", "A", 0));
        second.reset();
        QVERIFY(factory.isNull());
        QVERIFY(!TfxStack::m_pluginFactory_p);
        QCOMPARE(TfxStack::m_refcount, 0);
        StackHarness third; // A new stack gets a new factory.
        QVERIFY(third.stack->addTFx("RecA", "A", 0));
    }

    void repeatedStacksLeaveNothingBehind()
    {
        // The sanitizer build checks for leaks.
        for (int round = 0; round < 20; ++round) {
            StackHarness h({ "A", "B" });
            qobject_cast<TRecordingFx *>(h.stack->addTFx("RecParams", "P", 1))->setProgressSteps(2);
            if (round % 2)
                connect(h.stack.get(), &TFx::progress, [&h] { h.stack->cancelProc(); });
            QVERIFY2(h.stack->procOutput(levelSet("0,1,6")), qPrintable(QString("round %1").arg(round)));
            QVERIFY2(h.stack->deleteTFx(round % 3), qPrintable(QString("round %1").arg(round)));
        }
        QVERIFY(!TfxStack::m_pluginFactory_p);
    }
};

FX_REGISTER_TEST(tst_TFx)
#include "tst_tfx.moc"
