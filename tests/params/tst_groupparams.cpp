#include "probeparam.h"
#include "testregistry.h"
#include "tparambool.h"
#include "tparamfloat.h"
#include "tparamgroup.h"
#include "tracecapture.h"
#include "tuid.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
TParamGroup *newGroup(QObject *parent, const QString &key, bool enabled = true, bool expanded = false)
{
    return new TParamGroup(parent, key, key + " name", key + " desc", "GROUP", enabled, expanded);
}
}

class tst_GroupParams : public QObject {
    Q_OBJECT
private slots:
    void newGroupHasOneDefaultPreset();
    void setEnable_data();
    void setEnable();
    void setExpandNeverTouchesStamp_data();
    void setExpandNeverTouchesStamp();
    void applyPresetForwardsToMembersThenAnnounces();
    void applyPresetIndexBeyondPresetNamesDoesNothing_data();
    void applyPresetIndexBeyondPresetNamesDoesNothing();
    void applyPresetWithSecondPresetName();
    void resetAppliesFirstPresetToNestedMembers();
    void bDefaultStopsAtFirstNonDefault_data();
    void bDefaultStopsAtFirstNonDefault();
    void paramPtrByIndex_data();
    void paramPtrByIndex();
    void paramPtrByKeyWalksDepthFirst_data();
    void paramPtrByKeyWalksDepthFirst();
    void paramPtrByKeySkipsObjectsThatAreNotParameters();
};

void tst_GroupParams::newGroupHasOneDefaultPreset()
{
    TParamGroup g(nullptr, "TFxCommon", "Masks", "desc", "EFFECTCOMMON", true, false);
    QCOMPARE(g.presetNames(), QStringList({ "Default" }));
    QCOMPARE(g.numPresets(), 1);
    QVERIFY(g.enabled());
    QVERIFY(!g.expanded());
    QCOMPARE(g.numParams(), 0);
    QVERIFY(g.bDefault());
    QCOMPARE(g.key(), QStringLiteral("TFxCommon"));
    QCOMPARE(g.type(), QStringLiteral("EFFECTCOMMON"));
    g.presetNames() << "Strong";
    QCOMPARE(g.numPresets(), 2);
}

void tst_GroupParams::setEnable_data()
{
    QTest::addColumn<bool>("initial");
    QTest::addColumn<bool>("input");
    QTest::newRow("enable a disabled group") << false << true;
    QTest::newRow("disable an enabled group") << true << false;
    QTest::newRow("enable again") << true << true;
    QTest::newRow("disable again") << false << false;
}

void tst_GroupParams::setEnable()
{
    QFETCH(bool, initial);
    QFETCH(bool, input);
    TParamGroup g(nullptr, "g", "", "", "", initial, false);
    QSignalSpy enableSpy(&g, &TParamGroup::enableChanged);
    QSignalSpy expandSpy(&g, &TParamGroup::expandedChanged);
    TUidDepends record;
    record.addDepedentUid(g.uid());
    record.clean(nullptr);
    const auto idBefore = g.uid()->id();
    QVERIFY(QMetaObject::invokeMethod(&g, "setEnable", Q_ARG(bool, input)));
    const bool changed = initial != input;
    QCOMPARE(g.enabled(), input);
    QCOMPARE(enableSpy.count(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(enableSpy.at(0).at(0).toBool(), input);
    QCOMPARE(g.uid()->id() != idBefore, changed);
    QCOMPARE(record.dirty(nullptr), changed);
    QCOMPARE(expandSpy.count(), 0);
}

void tst_GroupParams::setExpandNeverTouchesStamp_data()
{
    QTest::addColumn<bool>("initial");
    QTest::addColumn<bool>("input");
    QTest::newRow("expand") << false << true;
    QTest::newRow("collapse") << true << false;
    QTest::newRow("expand again") << true << true;
    QTest::newRow("collapse again") << false << false;
}

void tst_GroupParams::setExpandNeverTouchesStamp()
{
    QFETCH(bool, initial);
    QFETCH(bool, input);
    TParamGroup g(nullptr, "g", "", "", "", true, initial);
    QSignalSpy expandSpy(&g, &TParamGroup::expandedChanged);
    QSignalSpy enableSpy(&g, &TParamGroup::enableChanged);
    const auto idBefore = g.uid()->id();
    g.setExpand(input);
    const bool changed = initial != input;
    QCOMPARE(g.expanded(), input);
    QCOMPARE(expandSpy.count(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(expandSpy.at(0).at(0).toBool(), input);
    QCOMPARE(g.uid()->id(), idBefore);
    QCOMPARE(enableSpy.count(), 0);
    QVERIFY(g.enabled());
}

void tst_GroupParams::applyPresetForwardsToMembersThenAnnounces()
{
    QStringList journal;
    TParamGroup g(nullptr, "g", "", "", "", true, false);
    new ProbeParam(&g, "first", true, &journal);
    TParamGroup *inner = newGroup(&g, "inner");
    new ProbeParam(inner, "nested", true, &journal);
    new ProbeParam(&g, "last", true, &journal);
    connect(inner, &TParamGroup::presetChanged, this,
        [&](int v) { journal << QStringLiteral("inner announces %1").arg(v); });
    connect(
        &g, &TParamGroup::presetChanged, this, [&](int v) { journal << QStringLiteral("group announces %1").arg(v); });
    QSignalSpy spy(&g, &TParamGroup::presetChanged);
    g.applyPreset(0);
    QCOMPARE(journal,
        QStringList(
            { "first preset 0", "nested preset 0", "inner announces 0", "last preset 0", "group announces 0" }));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 0);

    // Even without members the preset is announced.
    TParamGroup empty(nullptr, "empty", "", "", "", true, false);
    QSignalSpy emptySpy(&empty, &TParamGroup::presetChanged);
    empty.applyPreset(0);
    QCOMPARE(emptySpy.count(), 1);
}

void tst_GroupParams::applyPresetIndexBeyondPresetNamesDoesNothing_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("index 1 with one preset") << 1;
    QTest::newRow("index -1") << -1;
    QTest::newRow("large index") << 1000;
}

void tst_GroupParams::applyPresetIndexBeyondPresetNamesDoesNothing()
{
    QFETCH(int, index);
    TParamGroup g(nullptr, "g", "", "", "", true, false);
    auto *probe = new ProbeParam(&g, "p");
    auto *flag = new TParamBool(&g, "flag", "", "", "", false);
    flag->presets() << true << true;
    QSignalSpy spy(&g, &TParamGroup::presetChanged);
    QSignalSpy flagSpy(flag, &TParamBool::valueChanged);
    TraceCapture trace;
    g.applyPreset(index);
    QCOMPARE(trace.count("TParamGroup::applyPreset"), 1);
    QCOMPARE(spy.count(), 0);
    QVERIFY(probe->m_applied.isEmpty());
    QCOMPARE(flagSpy.count(), 0);
}

void tst_GroupParams::applyPresetWithSecondPresetName()
{
    TParamGroup g(nullptr, "g", "", "", "", true, false);
    g.presetNames() << "Strong";
    auto *amount = new TParamFloat(&g, "amount", "", "", "", 0.2f, 0.0f, 1.0f);
    amount->presets() << 0.9f;
    // Only one preset: the member ignores index 1 by its own rule.
    auto *flag = new TParamBool(&g, "flag", "", "", "", false);
    auto *probe = new ProbeParam(&g, "probe");
    QSignalSpy spy(&g, &TParamGroup::presetChanged);
    QSignalSpy flagSpy(flag, &TParamBool::valueChanged);
    g.applyPreset(1);
    QCOMPARE(amount->value(), 0.9f);
    QVERIFY(!flag->value());
    QCOMPARE(flagSpy.count(), 0);
    QCOMPARE(probe->m_applied, QList<int>({ 1 }));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 1);
    QVERIFY(!g.bDefault());
}

void tst_GroupParams::resetAppliesFirstPresetToNestedMembers()
{
    TParamGroup g(nullptr, "g", "", "", "", true, false);
    auto *amount = new TParamFloat(&g, "amount", "", "", "", 0.2f, 0.0f, 1.0f);
    TParamGroup *inner = newGroup(&g, "inner");
    auto *flag = new TParamBool(inner, "flag", "", "", "", true);
    amount->setValue(0.7f);
    flag->setValue(false);
    inner->setEnable(false);
    QVERIFY(!g.bDefault());
    TParam *base = &g;
    base->reset();
    QCOMPARE(amount->value(), 0.2f);
    QVERIFY(flag->value());
    QVERIFY(g.bDefault());
    // Presets cover the members' values, not the switches of the group.
    QVERIFY(!inner->enabled());
}

void tst_GroupParams::bDefaultStopsAtFirstNonDefault_data()
{
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QList<int>>("queries");
    QTest::newRow("all default") << QList<bool>({ true, true, true }) << true << QList<int>({ 1, 1, 1 });
    QTest::newRow("first not default") << QList<bool>({ false, true, true }) << false << QList<int>({ 1, 0, 0 });
    QTest::newRow("middle not default") << QList<bool>({ true, false, true }) << false << QList<int>({ 1, 1, 0 });
    QTest::newRow("last not default") << QList<bool>({ true, true, false }) << false << QList<int>({ 1, 1, 1 });
    QTest::newRow("one member, default") << QList<bool>({ true }) << true << QList<int>({ 1 });
}

void tst_GroupParams::bDefaultStopsAtFirstNonDefault()
{
    QFETCH(QList<bool>, answers);
    QFETCH(bool, expected);
    QFETCH(QList<int>, queries);
    TParamGroup g(nullptr, "g", "", "", "", true, false);
    QList<ProbeParam *> probes;
    for (int i = 0; i < answers.size(); ++i)
        probes << new ProbeParam(&g, QStringLiteral("p%1").arg(i), answers.at(i));
    QCOMPARE(g.bDefault(), expected);
    QList<int> seen;
    for (const ProbeParam *p : probes)
        seen << p->m_defaultQueries;
    QCOMPARE(seen, queries);
}

void tst_GroupParams::paramPtrByIndex_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expectedKey");
    QTest::newRow("first") << 0 << "a";
    QTest::newRow("nested group is a member") << 1 << "inner";
    QTest::newRow("last") << 2 << "c";
    QTest::newRow("negative") << -1 << QString();
    QTest::newRow("numParams") << 3 << QString();
}

void tst_GroupParams::paramPtrByIndex()
{
    QFETCH(int, index);
    QFETCH(QString, expectedKey);
    TParamGroup g(nullptr, "g", "", "", "", true, false);
    new ProbeParam(&g, "a");
    new ProbeParam(newGroup(&g, "inner"), "b");
    new ProbeParam(&g, "c");
    QCOMPARE(g.numParams(), 3);
    TraceCapture trace;
    const TParamGroup &constGroup = g;
    TParam *found = g.paramPtr(index);
    QCOMPARE(constGroup.paramPtr(index), found);
    if (expectedKey.isEmpty()) {
        QVERIFY(found == nullptr);
        QCOMPARE(trace.count("TParamGroup::paramPtr"), 2);
    } else {
        QVERIFY(found != nullptr);
        QCOMPARE(found->key(), expectedKey);
        QCOMPARE(trace.lines().size(), 0);
    }
}

void tst_GroupParams::paramPtrByKeyWalksDepthFirst_data()
{
    // Trees are written as "key(children) ..."; every node is a parameter, and the node found
    // is told apart from namesakes by its name, which is the node's position in the text.
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("found");
    QTest::newRow("group in group holds k") << "outer(inner(k))"
                                            << "k"
                                            << "outer/inner/k";
    QTest::newRow("direct child before a deeper one") << "outer(k g(k))"
                                                      << "k"
                                                      << "outer/k";
    QTest::newRow("own key before own children") << "outer(k(k))"
                                                 << "k"
                                                 << "outer/k";
    QTest::newRow("earlier subtree before a later direct child") << "outer(g(k) k)"
                                                                 << "k"
                                                                 << "outer/g/k";
    QTest::newRow("walk enters a plain parameter") << "outer(f(k))"
                                                   << "k"
                                                   << "outer/f/k";
    QTest::newRow("three levels deep") << "outer(a b(c(d(k))))"
                                       << "k"
                                       << "outer/b/c/d/k";
    QTest::newRow("group itself is not a match") << "k(a)"
                                                 << "k"
                                                 << "";
    QTest::newRow("no such key") << "outer(a b(c))"
                                 << "k"
                                 << "";
    QTest::newRow("finds a nested group") << "outer(a b(c))"
                                          << "b"
                                          << "outer/b";
}

namespace {
// Builds the tree text under parent; plain "f" nodes are float parameters, all others groups.
int buildTree(QObject *parent, const QString &tree, int pos, const QString &path)
{
    while (pos < tree.size()) {
        const QChar c = tree.at(pos);
        if (c == ' ') {
            ++pos;
            continue;
        }
        if (c == ')')
            return pos + 1;
        int end = pos;
        while (end < tree.size() && tree.at(end).isLetter())
            ++end;
        const QString key = tree.mid(pos, end - pos);
        const QString nodePath = path.isEmpty() ? key : path + "/" + key;
        TParam *node = key == "f" ? static_cast<TParam *>(new TParamFloat(parent, key, nodePath, "", "", 0, 0, 1))
                                  : static_cast<TParam *>(new TParamGroup(parent, key, nodePath, "", "", true, false));
        pos = end;
        if (pos < tree.size() && tree.at(pos) == '(')
            pos = buildTree(node, tree, pos + 1, nodePath);
    }
    return pos;
}
}

void tst_GroupParams::paramPtrByKeyWalksDepthFirst()
{
    QFETCH(QString, tree);
    QFETCH(QString, key);
    QFETCH(QString, found);
    QObject root;
    buildTree(&root, tree, 0, QString());
    auto *top = qobject_cast<TParamGroup *>(root.children().value(0));
    QVERIFY(top != nullptr);
    TraceCapture trace;
    TParam *result = top->paramPtr(key);
    const TParamGroup *constTop = top;
    QCOMPARE(constTop->paramPtr(key), result);
    QCOMPARE(result ? result->name() : QString(), found);
    // A miss is an ordinary answer to a probe, and callers that search deeper trees report it.
    QCOMPARE(trace.lines().size(), 0);
}

void tst_GroupParams::paramPtrByKeySkipsObjectsThatAreNotParameters()
{
    TParamGroup g(nullptr, "g", "", "", "", true, false);
    auto *plain = new QObject(&g);
    plain->setObjectName("k");
    new ProbeParam(plain, "hidden");
    QVERIFY(g.paramPtr("k") == nullptr);
    QVERIFY(g.paramPtr("hidden") == nullptr);
    TraceCapture trace;
    QVERIFY(g.paramPtr(0) == nullptr);
    QCOMPARE(trace.count("child is not a parameter"), 1);
    auto *real = new ProbeParam(&g, "k");
    QCOMPARE(g.paramPtr("k"), static_cast<TParam *>(real));
    // Members that are not parameters neither count as default nor receive presets.
    QVERIFY(g.bDefault());
    g.applyPreset(0);
    QCOMPARE(real->m_applied, QList<int>({ 0 }));
}

FX_REGISTER_TEST(tst_GroupParams)
#include "tst_groupparams.moc"
