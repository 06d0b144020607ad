#include "mhist.h"
#include "probeparam.h"
#include "testregistry.h"
#include "tparammhist.h"
#include "tracecapture.h"
#include "tuid.h"

#include <QtTest>

// The kinds without a scalar value: a display-only parameter and the histogram parameter.
class tst_ValuelessParams : public QObject {
    Q_OBJECT
private slots:
    void visualParameterHasNoValue();
    void mhistSetValueAlwaysAdvancesStamp_data();
    void mhistSetValueAlwaysAdvancesStamp();
    void mhistLoadsTextWrittenBySave();
    void mhistHasNoDefaultAndResetChangesNothing();
};

void tst_ValuelessParams::visualParameterHasNoValue()
{
    ProbeParam v(nullptr, "v");
    const auto idBefore = v.uid()->id();
    QCOMPARE(v.numPresets(), 1);
    TParamVisual *visual = &v;
    visual->TParamVisual::applyPreset(0);
    visual->reset();
    // reset does nothing: in particular it does not go through applyPreset.
    QVERIFY(v.m_applied.isEmpty());
    int count = 0;
    QVERIFY(QMetaObject::invokeMethod(&v, "numPresets", Q_RETURN_ARG(int, count)));
    QCOMPARE(count, 1);
    QVERIFY(QMetaObject::invokeMethod(&v, "reset"));
    QVERIFY(v.m_applied.isEmpty());
    QVERIFY(QMetaObject::invokeMethod(&v, "applyPreset", Q_ARG(int, 3)));
    QCOMPARE(v.m_applied, QList<int>({ 3 }));
    QCOMPARE(v.uid()->id(), idBefore);
}

namespace {
// A small histogram with content, so that a rejected text has something to leave alone.
MHist sampleHistogram()
{
    cv::Mat luma(2, 3, CV_16UC1), colour1(2, 3, CV_16UC1), colour2(2, 3, CV_16UC1);
    for (int i = 0; i < 6; ++i) {
        luma.at<quint16>(i / 3, i % 3) = quint16(1000 + 9000 * i);
        colour1.at<quint16>(i / 3, i % 3) = quint16(30000 + 500 * i);
        colour2.at<quint16>(i / 3, i % 3) = quint16(36000 - 700 * i);
    }
    MHist hist;
    hist.compute({ luma, colour1, colour2 });
    return hist;
}

std::string sampleText()
{
    std::string text;
    sampleHistogram().save(text);
    return text;
}
}

void tst_ValuelessParams::mhistSetValueAlwaysAdvancesStamp_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray valid = QByteArray::fromStdString(sampleText());
    QTest::newRow("empty text") << QByteArray();
    QTest::newRow("garbage") << QByteArray("not a histogram \x01\x02 at all");
    QTest::newRow("unknown version") << QByteArray(valid).replace("MHist 1", "MHist 9");
    QTest::newRow("valid text cut in half") << valid.left(valid.size() / 2);
    QTest::newRow("counts do not add up") << QByteArray(valid).replace("total 6", "total 7");
}

void tst_ValuelessParams::mhistSetValueAlwaysAdvancesStamp()
{
    QFETCH(QByteArray, text);
    TParamMHist p(nullptr, "Hist", "", "", "");
    QVERIFY(p.setValue(sampleText()));
    QVERIFY(p.mhist() == sampleHistogram());
    const std::string garbage = text.toStdString();
    MHist probe;
    QVERIFY2(!probe.load(garbage), "the core library accepted text it should reject");
    std::string before;
    p.mhist().save(before);
    TUidDepends record;
    record.addDepedentUid(p.uid());
    record.clean(nullptr);
    const auto idBefore = p.uid()->id();
    bool accepted = false;
    TraceCapture trace;
    QVERIFY(QMetaObject::invokeMethod(&p, "setValue", Q_RETURN_ARG(bool, accepted), Q_ARG(std::string, garbage)));
    QCOMPARE(trace.count("TParamMHist::setValue"), 1);
    QVERIFY(accepted);
    QVERIFY(p.uid()->id() != idBefore);
    QVERIFY(record.dirty(nullptr));
    // A rejected text leaves the histogram as it was.
    std::string after;
    p.mhist().save(after);
    QCOMPARE(QByteArray::fromStdString(after), QByteArray::fromStdString(before));
    QVERIFY(p.mhist() == sampleHistogram());
    // Each call advances again.
    const auto idSecond = p.uid()->id();
    QVERIFY(p.setValue(garbage));
    QVERIFY(p.uid()->id() != idSecond);
}

void tst_ValuelessParams::mhistLoadsTextWrittenBySave()
{
    TParamMHist p(nullptr, "Hist", "", "", "");
    QVERIFY(p.mhist().bEmpty());
    const MHist expected = sampleHistogram();
    QVERIFY(!expected.bEmpty());
    const auto idBefore = p.uid()->id();
    QVERIFY(p.setValue(sampleText()));
    QVERIFY(p.uid()->id() != idBefore);
    QVERIFY(p.mhist() == expected);
    // An empty histogram's text empties it again.
    std::string emptyText;
    QVERIFY(MHist().save(emptyText));
    QVERIFY(p.setValue(emptyText));
    QVERIFY(p.mhist().bEmpty());
}

void tst_ValuelessParams::mhistHasNoDefaultAndResetChangesNothing()
{
    TParamMHist p(nullptr, "Hist", "", "", "");
    const auto idBefore = p.uid()->id();
    QCOMPARE(p.numPresets(), 1);
    QVERIFY(!p.bDefault());
    TParam *base = &p;
    base->reset();
    base->applyPreset(0);
    p.clean(0);
    QCOMPARE(p.uid()->id(), idBefore);
    QVERIFY(!p.bDefault());
}

FX_REGISTER_TEST(tst_ValuelessParams)
#include "tst_valuelessparams.moc"
