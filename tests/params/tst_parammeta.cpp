#include "testregistry.h"
#include "tparam.h"
#include "tparambool.h"
#include "tparamchoices.h"
#include "tparamcurve.h"
#include "tparamfloat.h"
#include "tparamgroup.h"
#include "tparamint.h"
#include "tparammhist.h"
#include "tparamvisual.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(const QMetaObject *)

namespace {
// One line per method: kind, return type, signature and parameter names.
QStringList ownMethods(const QMetaObject *meta)
{
    QStringList lines;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        const char *kind = m.methodType() == QMetaMethod::Signal ? "signal"
            : m.methodType() == QMetaMethod::Slot                ? "slot"
                                                                 : "other";
        QStringList names;
        for (const QByteArray &n : m.parameterNames())
            names << QString::fromLatin1(n);
        QString line = QStringLiteral("%1 %2 %3").arg(kind, m.typeName(), QString::fromLatin1(m.methodSignature()));
        if (!names.isEmpty())
            line += " [" + names.join(',') + "]";
        if (m.access() != QMetaMethod::Public)
            line += " not public";
        lines << line;
    }
    return lines;
}

QStringList ownProperties(const QMetaObject *meta)
{
    QStringList lines;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        QString flags;
        flags += p.isReadable() ? 'R' : '-';
        flags += p.isWritable() ? 'W' : '-';
        flags += p.isStored() ? 'S' : '-';
        flags += p.isScriptable() ? 'C' : '-';
        flags += p.isDesignable() ? 'D' : '-';
        flags += p.hasNotifySignal() ? 'N' : '-';
        lines << QStringLiteral("%1 %2 %3").arg(p.typeName(), p.name(), flags);
    }
    return lines;
}
}

class tst_ParamMeta : public QObject {
    Q_OBJECT
private slots:
    void methodsInDeclaredOrder_data();
    void methodsInDeclaredOrder();
    void properties_data();
    void properties();
    void baseSlotsReadableByName();
    void presetsReadableByName();
    void scalarSlotsCallableByName();
    void floatPropertyRoundTrip();
    void slotsTakeNoDefaultArguments_data();
    void slotsTakeNoDefaultArguments();
};

void tst_ParamMeta::methodsInDeclaredOrder_data()
{
    QTest::addColumn<const QMetaObject *>("meta");
    QTest::addColumn<QString>("superClass");
    QTest::addColumn<QStringList>("expected");
    const QString scalarTail = "slot int numPresets();slot void applyPreset(int) [i];slot bool bDefault()";
    QTest::newRow("TParam") << &TParam::staticMetaObject << "QObject"
                            << QStringList({ "slot QString key()", "slot QString name()", "slot QString desc()",
                                   "slot QString type()" });
    QTest::newRow("TParamBool") << &TParamBool::staticMetaObject << "TParam"
                                << (QStringList({ "signal void valueChanged(bool) [v]", "slot bool value()",
                                        "slot void setValue(bool) [v]", "slot QList<bool> presets()" })
                                       + scalarTail.split(';'));
    QTest::newRow("TParamInt") << &TParamInt::staticMetaObject << "TParam"
                               << (QStringList({ "signal void valueChanged(int) [v]", "slot int value()",
                                       "slot void setValue(int) [v]", "slot QList<int> presets()", "slot int vmin()",
                                       "slot int vmax()" })
                                      + scalarTail.split(';'));
    QTest::newRow("TParamFloat") << &TParamFloat::staticMetaObject << "TParam"
                                 << (QStringList({ "signal void valueChanged(float) [v]", "slot float value()",
                                         "slot float vmin()", "slot float vmax()", "slot void setValue(float) [v]",
                                         "slot QList<float> presets()" })
                                        + scalarTail.split(';'));
    QTest::newRow("TParamChoices") << &TParamChoices::staticMetaObject << "TParam"
                                   << (QStringList({ "signal void valueChanged(int) [v]", "slot int value()",
                                           "slot void setValue(int) [v]", "slot QList<int> presets()" })
                                          + scalarTail.split(';')
                                          + QStringList({ "slot QStringList choices()",
                                              "slot void setChoices(QStringList) [v]" }));
    QTest::newRow("TParamCurve") << &TParamCurve::staticMetaObject << "TParam"
                                 << (QStringList({ "signal void valueChanged(QList<QPointF>) [ctrlPnts]",
                                         "signal void curveChanged(QImage) [curve]", "slot QList<QPointF> value()",
                                         "slot void setValue(QList<QPointF>) [ctrlPnts]",
                                         "slot QList<QList<QPointF> > presets()" })
                                        + scalarTail.split(';'));
    QTest::newRow("TParamGroup") << &TParamGroup::staticMetaObject << "TParam"
                                 << QStringList({ "signal void enableChanged(bool) [v]",
                                        "signal void expandedChanged(bool) [v]", "signal void presetChanged(int) [v]",
                                        "slot void setEnable(bool) [e]", "slot void setExpand(bool) [e]" });
    QTest::newRow("TParamVisual") << &TParamVisual::staticMetaObject << "TParam"
                                  << QStringList({ "slot int numPresets()", "slot void applyPreset(int) [i]",
                                         "slot void reset()" });
    QTest::newRow("TParamMHist") << &TParamMHist::staticMetaObject << "TParam"
                                 << QStringList({ "slot bool setValue(std::string) [buf]" });
}

void tst_ParamMeta::methodsInDeclaredOrder()
{
    QFETCH(const QMetaObject *, meta);
    QFETCH(QString, superClass);
    QFETCH(QStringList, expected);
    QCOMPARE(QString::fromLatin1(meta->superClass()->className()), superClass);
    QCOMPARE(ownMethods(meta), expected);
}

void tst_ParamMeta::properties_data()
{
    QTest::addColumn<const QMetaObject *>("meta");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("TParam") << &TParam::staticMetaObject << QStringList();
    QTest::newRow("TParamBool declares an int") << &TParamBool::staticMetaObject << QStringList({ "int value RWSCD-" });
    QTest::newRow("TParamInt") << &TParamInt::staticMetaObject << QStringList({ "int value RWSCD-" });
    QTest::newRow("TParamFloat") << &TParamFloat::staticMetaObject << QStringList({ "float value RWSCD-" });
    QTest::newRow("TParamChoices") << &TParamChoices::staticMetaObject
                                   << QStringList({ "int value RWSCD-", "QStringList choices RWSCD-" });
    QTest::newRow("TParamCurve") << &TParamCurve::staticMetaObject << QStringList();
    QTest::newRow("TParamGroup") << &TParamGroup::staticMetaObject << QStringList();
    QTest::newRow("TParamVisual") << &TParamVisual::staticMetaObject << QStringList();
    QTest::newRow("TParamMHist") << &TParamMHist::staticMetaObject << QStringList();
}

void tst_ParamMeta::properties()
{
    QFETCH(const QMetaObject *, meta);
    QFETCH(QStringList, expected);
    QCOMPARE(ownProperties(meta), expected);
}

void tst_ParamMeta::baseSlotsReadableByName()
{
    TParamInt p(nullptr, "Amount", "Amount name", "how much", "SLIDER", 1, 0, 5);
    const char *slotNames[] = { "key", "name", "desc", "type" };
    const QStringList expected = { "Amount", "Amount name", "how much", "SLIDER" };
    for (int i = 0; i < 4; ++i) {
        QString read;
        QVERIFY(QMetaObject::invokeMethod(&p, slotNames[i], Q_RETURN_ARG(QString, read)));
        QCOMPARE(read, expected.at(i));
    }
}

void tst_ParamMeta::presetsReadableByName()
{
    TParamFloat f(nullptr, "f", "", "", "", 0.5f, 0.0f, 1.0f);
    f.presets() << 0.75f;
    QList<float> floats;
    QVERIFY(QMetaObject::invokeMethod(&f, "presets", Q_RETURN_ARG(QList<float>, floats)));
    QCOMPARE(floats, QList<float>({ 0.5f, 0.75f }));
    // A copy when read by name; the reference in C++ edits in place.
    floats << 0.1f;
    QCOMPARE(f.numPresets(), 2);

    TParamBool b(nullptr, "b", "", "", "", true);
    b.presets() << false;
    QList<bool> bools;
    QVERIFY(QMetaObject::invokeMethod(&b, "presets", Q_RETURN_ARG(QList<bool>, bools)));
    QCOMPARE(bools, QList<bool>({ true, false }));

    TParamInt i(nullptr, "i", "", "", "", 3, 0, 9);
    QList<int> ints;
    QVERIFY(QMetaObject::invokeMethod(&i, "presets", Q_RETURN_ARG(QList<int>, ints)));
    QCOMPARE(ints, QList<int>({ 3 }));

    TParamChoices c(nullptr, "c", "", "", "");
    c.presets()[0] = 4;
    QVERIFY(QMetaObject::invokeMethod(&c, "presets", Q_RETURN_ARG(QList<int>, ints)));
    QCOMPARE(ints, QList<int>({ 4 }));

    for (const char *name :
        { "QList<bool>", "QList<int>", "QList<float>", "QList<QPointF>", "QList<QList<QPointF>>", "std::string" })
        QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
}

void tst_ParamMeta::scalarSlotsCallableByName()
{
    TParamFloat f(nullptr, "f", "", "", "", 0.5f, -2.0f, 2.0f);
    QSignalSpy spy(&f, &TParamFloat::valueChanged);
    QVERIFY(QMetaObject::invokeMethod(&f, "setValue", Q_ARG(float, 1.25f)));
    float read = 0;
    QVERIFY(QMetaObject::invokeMethod(&f, "value", Q_RETURN_ARG(float, read)));
    QCOMPARE(read, 1.25f);
    QVERIFY(QMetaObject::invokeMethod(&f, "vmin", Q_RETURN_ARG(float, read)));
    QCOMPARE(read, -2.0f);
    QVERIFY(QMetaObject::invokeMethod(&f, "vmax", Q_RETURN_ARG(float, read)));
    QCOMPARE(read, 2.0f);
    bool isDefault = true;
    QVERIFY(QMetaObject::invokeMethod(&f, "bDefault", Q_RETURN_ARG(bool, isDefault)));
    QVERIFY(!isDefault);
    QVERIFY(QMetaObject::invokeMethod(&f, "applyPreset", Q_ARG(int, 0)));
    QCOMPARE(f.value(), 0.5f);
    QCOMPARE(spy.count(), 2);

    TParamInt i(nullptr, "i", "", "", "", 3, 1, 7);
    int value = 0;
    QVERIFY(QMetaObject::invokeMethod(&i, "vmin", Q_RETURN_ARG(int, value)));
    QCOMPARE(value, 1);
    QVERIFY(QMetaObject::invokeMethod(&i, "vmax", Q_RETURN_ARG(int, value)));
    QCOMPARE(value, 7);

    TParamChoices c(nullptr, "c", "", "", "");
    QVERIFY(QMetaObject::invokeMethod(&c, "setChoices", Q_ARG(QStringList, QStringList({ "x", "y" }))));
    QStringList choices;
    QVERIFY(QMetaObject::invokeMethod(&c, "choices", Q_RETURN_ARG(QStringList, choices)));
    QCOMPARE(choices, QStringList({ "x", "y" }));

    TParamBool b(nullptr, "b", "", "", "", false);
    bool flag = true;
    QVERIFY(QMetaObject::invokeMethod(&b, "value", Q_RETURN_ARG(bool, flag)));
    QVERIFY(!flag);
}

void tst_ParamMeta::floatPropertyRoundTrip()
{
    TParamFloat f(nullptr, "f", "", "", "", 0.5f, 0.0f, 1.0f);
    QSignalSpy spy(&f, &TParamFloat::valueChanged);
    QVERIFY(f.setProperty("value", 0.8));
    QCOMPARE(f.property("value").userType(), int(QMetaType::Float));
    QCOMPARE(f.property("value").toFloat(), 0.8f);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toFloat(), 0.8f);
    QVERIFY(f.setProperty("value", 0.8004));
    QCOMPARE(spy.count(), 1);
}

void tst_ParamMeta::slotsTakeNoDefaultArguments_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("slot");
    QTest::newRow("bool setValue") << "bool" << QByteArray("setValue");
    QTest::newRow("float applyPreset") << "float" << QByteArray("applyPreset");
    QTest::newRow("group setEnable") << "group" << QByteArray("setEnable");
    QTest::newRow("group setExpand") << "group" << QByteArray("setExpand");
    QTest::newRow("mhist setValue") << "mhist" << QByteArray("setValue");
    QTest::newRow("curve setValue") << "curve" << QByteArray("setValue");
}

void tst_ParamMeta::slotsTakeNoDefaultArguments()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, slot);
    std::unique_ptr<QObject> p;
    if (kind == "bool")
        p.reset(new TParamBool(nullptr, "k", "", "", "", false));
    else if (kind == "float")
        p.reset(new TParamFloat(nullptr, "k", "", "", "", 0, 0, 1));
    else if (kind == "group")
        p.reset(new TParamGroup(nullptr, "k", "", "", "", true, false));
    else if (kind == "mhist")
        p.reset(new TParamMHist(nullptr, "k", "", "", ""));
    else
        p.reset(new TParamCurve(nullptr, "k", "", "", ""));
    // Qt warns about the missing method; that warning is the expected outcome here.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No such method"));
    QVERIFY(!QMetaObject::invokeMethod(p.get(), slot.constData()));
}

FX_REGISTER_TEST(tst_ParamMeta)
#include "tst_parammeta.moc"
