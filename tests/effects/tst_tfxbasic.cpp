// The masked blending base and the per-level bases, with small effects defined here: the
// output modes and when each is chosen, pass-through, incremental recomposition, failure and
// re-entry, progress, and how the full- and half-resolution bases prepare their working image.
#include "tdrawmask.h"
#include "testregistry.h"
#include "tfxcommondata.h"
#include "tfxfullproc.h"
#include "tfxhalfproc.h"
#include "tparamdrawmask.h"
#include "tparamfloat.h"
#include "tparamgroup.h"
#include "tpimage.h"
#include "tracecapture.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
// Inverts luminance at full resolution; keeps the working colour. Fails at the level named
// in failAt, and calls procOutput on itself once when asked to (to try re-entry).
class InvertFx : public TFxFullProc {
public:
    using TFxFullProc::TFxFullProc;
    void setTPImageDepends(TIm::CImId, const TPImage &in, TPImage &eff) override
    {
        eff.m_depends.addDepedentUid(in.uid());
    }
    bool procPreparedTPImage(TIm::CImId cid, const TPImage &work, TPImage &eff) override
    {
        visited.append(cid);
        if (cid == failAt)
            return false;
        if (reenter)
            reentryResult = procOutput({ cid });
        // Like the bundled effects: no pixel work while the level's sources are unchanged.
        if (!eff.m_depends.dirty(nullptr) && !eff.bEmpty())
            return true;
        eff.m_depends.clean(nullptr);
        eff.m_lum = cv::Scalar(65535) - work.m_lum;
        eff.m_c1 = work.m_c1.clone();
        eff.m_c2 = work.m_c2.clone();
        eff.m_p4 = work.m_p4.clone();
        eff.uid()->update();
        return true;
    }
    QList<int> visited;
    int failAt = -1;
    bool reenter = false, reentryResult = true;
    TIm *effectImage() { return &m_effIm; }
};

// Halves luminance at half resolution.
class HalveFx : public TFxHalfProc {
public:
    using TFxHalfProc::TFxHalfProc;
    void setTPImageDepends(TIm::CImId, const TPImage &in, TPImage &eff) override
    {
        eff.m_depends.addDepedentUid(in.uid());
    }
    bool procPreparedTPImage(TIm::CImId, const TPImage &work, TPImage &eff) override
    {
        workHalfSize = cv::Size(work.m_half.cols, work.m_half.rows);
        eff.m_half = work.m_half / 2;
        eff.m_c1 = work.m_c1;
        eff.m_c2 = work.m_c2;
        return true;
    }
    cv::Size workHalfSize;
    TIm *effectImage() { return &m_effIm; }
};

// Input and mix sets with random planes, level i of size (9 + i) x (7 + i).
struct Images {
    Images()
    {
        for (TIm *image : { &in, &mix }) {
            for (int i = 0; i < TIm::numLevels; ++i) {
                TPImage *level = image->ptr(TIm::CImId(i));
                level->create(9 + i, 7 + i, false);
                for (cv::Mat *plane : { &level->m_lum, &level->m_c1, &level->m_c2, &level->m_p4 })
                    cv::randu(*plane, 0, 65536);
            }
        }
        common.image().ptr(TIm::CImFull)->create(9, 7, false);
        TFx::m_commonData_p = &common;
    }
    ~Images() { TFx::m_commonData_p = nullptr; }
    template <typename Fx> void wire(Fx &fx)
    {
        fx.setInImage(&in);
        fx.setMixImage(&mix);
    }
    TIm in, mix;
    TFxCommonData common;
};

// The reference blend of one plane: mix + (effect - mix) * opacity * mask / 255, rounded.
int maxBlendError(const cv::Mat &out, const cv::Mat &mix, const cv::Mat &effect, double weight)
{
    int worst = 0;
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x) {
            const double m = mix.at<ushort>(y, x), e = effect.at<ushort>(y, x);
            worst = std::max(worst, int(std::abs(out.at<ushort>(y, x) - std::floor(m + (e - m) * weight + 0.5))));
        }
    return worst;
}

double maxDifference(const cv::Mat &a, const cv::Mat &b) { return cv::norm(a, b, cv::NORM_INF); }
}

class tst_TFxBasic : public QObject {
    Q_OBJECT
private slots:
    void commonParametersAndDepends()
    {
        InvertFx fx("Invert", nullptr);
        auto *group = qobject_cast<TParamGroup *>(fx.paramPtr(QString("TFxCommon")));
        QVERIFY(group);
        QCOMPARE(group->type(), QString("EFFECTCOMMON"));
        QCOMPARE(group->name(), QString("Masks"));
        QVERIFY(group->enabled());
        auto *mask = qobject_cast<TParamDrawMask *>(fx.paramPtr(QString("Mask")));
        auto *opacity = qobject_cast<TParamFloat *>(fx.paramPtr(QString("Opacity")));
        QVERIFY(mask && opacity);
        QCOMPARE(mask->parent(), group);
        QCOMPARE(opacity->parent(), group);
        QCOMPARE(opacity->presets(), QList<float>({ 1.0f }));
        QCOMPARE(fx.property("canDoHalfProc").toBool(), true);
        for (int cid = 0; cid < TIm::numLevels; ++cid)
            QCOMPARE(fx.depends(TIm::CImId(cid), TFx::InportMix), QSet<TIm::CImId>({ TIm::CImId(cid) }));
        QVERIFY(fx.depends(TIm::CImId(9), TFx::InportIn).isEmpty());
    }

    // Which mode a dirty level takes for an opacity, with or without mask paint.
    void outputModes_data()
    {
        QTest::addColumn<float>("opacity");
        QTest::addColumn<int>("maskValue"); // -1: nothing drawn
        QTest::addColumn<int>("mode");
        QTest::newRow("opacity 1, no mask: copy effect") << 1.0f << -1 << 0;
        QTest::newRow("opacity 0.99, no mask: copy effect") << 0.99f << -1 << 0;
        QTest::newRow("opacity 0.5, no mask: blend") << 0.5f << -1 << 2;
        QTest::newRow("opacity 0.01: blend") << 0.01f << -1 << 2;
        QTest::newRow("opacity below 0.01: copy mix") << 0.009f << -1 << 1;
        QTest::newRow("opacity 1, half mask: blend") << 1.0f << 128 << 2;
        QTest::newRow("opacity 0.6, full mask: blend") << 0.6f << 255 << 2;
    }

    void outputModes()
    {
        QFETCH(float, opacity);
        QFETCH(int, maskValue);
        QFETCH(int, mode);
        Images images;
        InvertFx fx("Invert", nullptr);
        images.wire(fx);
        qobject_cast<TParamFloat *>(fx.paramPtr(QString("Opacity")))->setValue(opacity);
        auto *mask = qobject_cast<TParamDrawMask *>(fx.paramPtr(QString("Mask")));
        if (maskValue >= 0)
            mask->setValue(uchar(maskValue));
        QSignalSpy changed(&fx, &TFx::outputChanged), drawn(mask, &TParamDrawMask::drawChanged);
        TraceCapture trace;
        QVERIFY(fx.procOutput({ TIm::CImFull, TIm::CImView2 }));
        QCOMPARE(trace.count(QString(" blend mode:  %1").arg(mode)), 2);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(drawn.count(), maskValue >= 0 ? 1 : 0);
        for (TIm::CImId cid : { TIm::CImFull, TIm::CImView2 }) {
            const TPImage &out = *fx.outImagePtr()->ptr(cid), &eff = *fx.effectImage()->ptr(cid);
            const TPImage &mixLevel = *images.mix.ptr(cid);
            const double weight = mode == 0 ? 1.0
                : mode == 1                 ? 0.0
                                            : opacity * (maskValue < 0 ? 255 : maskValue) / 255.0;
            // Rounding in the kernel may land one off exact halves.
            QVERIFY2(
                maxBlendError(out.m_lum, mixLevel.m_lum, eff.m_lum, weight) <= 1, qPrintable(QString::number(cid)));
            QVERIFY2(maxBlendError(out.m_c2, mixLevel.m_c2, eff.m_c2, weight) <= 1, qPrintable(QString::number(cid)));
            QVERIFY(out.m_depends.dirty(nullptr) == false);
        }
        // Nothing changed since: the levels are left alone, though the effect ran again.
        trace.clear();
        changed.clear();
        fx.visited.clear();
        QVERIFY(fx.procOutput({ TIm::CImFull, TIm::CImView2 }));
        QCOMPARE(trace.count("<- do nothing"), 2);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(fx.visited.size(), 2);
    }

    // With the group off the output is the effect image whatever opacity and mask say; after
    // such a pass-through, blending into the shared planes must leave the effect image alone,
    // with the effect at full or half resolution (cases without and with a half plane).
    void passThroughThenBlend_data()
    {
        QTest::addColumn<bool>("half");
        QTest::addColumn<bool>("mixHalf");
        QTest::newRow("A: full effect, full mix") << false << false;
        QTest::newRow("B: full effect, half mix") << false << true;
        QTest::newRow("C: half effect, full mix") << true << false;
        QTest::newRow("D: half effect, half mix") << true << true;
    }

    void passThroughThenBlend()
    {
        QFETCH(bool, half);
        QFETCH(bool, mixHalf);
        Images images;
        TPImage &mixLevel = *images.mix.ptr(TIm::CImView1);
        if (mixHalf) {
            mixLevel.m_half.create((mixLevel.height() + 1) / 2, (mixLevel.width() + 1) / 2, CV_16UC1);
            cv::randu(mixLevel.m_half, 0, 65536);
        }
        const cv::Mat mixLum = mixLevel.m_lum.clone(), mixHalfPlane = mixLevel.m_half.clone();
        InvertFx invert("Invert", nullptr);
        HalveFx halve("Halve", nullptr);
        TFxBasic &fx = half ? static_cast<TFxBasic &>(halve) : invert;
        images.wire(fx);
        auto *group = qobject_cast<TParamGroup *>(fx.paramPtr(QString("TFxCommon")));
        auto *opacity = qobject_cast<TParamFloat *>(fx.paramPtr(QString("Opacity")));
        opacity->setValue(0.3f);
        group->setEnable(false);
        TraceCapture trace;
        QVERIFY(fx.procOutput({ TIm::CImView1 }));
        QCOMPARE(trace.count("<- passthrough: mask disabled"), 1);
        TIm *effectImage = half ? halve.effectImage() : invert.effectImage();
        const TPImage &effect = *effectImage->ptr(TIm::CImView1);
        const cv::Mat lum = effect.m_lum.clone(), halfPlane = effect.m_half.clone(), c1 = effect.m_c1.clone();
        group->setEnable(true);
        QVERIFY(fx.procOutput({ TIm::CImView1 }));
        QCOMPARE(trace.count(" blend mode:  2"), 1);
        QCOMPARE(maxDifference(effect.m_lum, lum), 0.0);
        QCOMPARE(maxDifference(effect.m_c1, c1), 0.0);
        if (half)
            QCOMPARE(maxDifference(effect.m_half, halfPlane), 0.0);
        QCOMPARE(maxDifference(mixLevel.m_lum, mixLum), 0.0);
        if (mixHalf)
            QCOMPARE(maxDifference(mixLevel.m_half, mixHalfPlane), 0.0);
        // The blend did happen: the output is no longer the effect image.
        QVERIFY(maxDifference(fx.outImagePtr()->ptr(TIm::CImView1)->m_c1, c1) > 0);
    }

    void failureAndReentry()
    {
        Images images;
        InvertFx fx("Invert", nullptr);
        images.wire(fx);
        // No levels asked for: the effect and the mask still run, nothing is composed.
        auto *mask = qobject_cast<TParamDrawMask *>(fx.paramPtr(QString("Mask")));
        mask->setValue(7);
        QSignalSpy emptyPass(&fx, &TFx::outputChanged), drawn(mask, &TParamDrawMask::drawChanged);
        QVERIFY(fx.procOutput({}));
        QCOMPARE(emptyPass.count(), 0);
        QCOMPARE(drawn.count(), 1);
        QVERIFY(fx.visited.isEmpty());
        fx.failAt = TIm::CImView3;
        QSignalSpy changed(&fx, &TFx::outputChanged);
        QVERIFY(!fx.procOutput({ TIm::CImView3 }));
        QCOMPARE(changed.count(), 0);
        QVERIFY(fx.outImagePtr()->bEmpty(TIm::CImView3));
        fx.failAt = -1;
        fx.reenter = true;
        QVERIFY(fx.procOutput({ TIm::CImView3 }));
        QCOMPARE(fx.reentryResult, false);
        QVERIFY(!fx.isProcessing());
    }

    // Levels are visited one by one with progress split between them; a failure stops the
    // walk with the levels already done updated and the rest untouched.
    void perLevelWalk()
    {
        Images images;
        InvertFx fx("Invert", nullptr);
        images.wire(fx);
        QSignalSpy progress(&fx, &TFx::progress);
        QVERIFY(fx.procEffect({}));
        QCOMPARE(progress.count(), 2);
        QCOMPARE(progress.first().first().toInt(), 0);
        QCOMPARE(progress.last().first().toInt(), 1000);
        progress.clear();
        const QSet<TIm::CImId> three { TIm::CImView1, TIm::CImView2, TIm::CImView3 };
        const QList<TIm::CImId> order = three.values(); // the walk follows the set's own order
        fx.failAt = order.at(1);
        QVERIFY(!fx.procEffect(three));
        QCOMPARE(fx.visited, QList<int>({ order.at(0), order.at(1) }));
        QVERIFY(!fx.effectImage()->bEmpty(order.at(0)));
        QVERIFY(fx.effectImage()->bEmpty(order.at(2)));
        QCOMPARE(progress.last().first().toInt(), 1000);
        int previous = -1;
        for (const QList<QVariant> &report : progress) {
            QVERIFY2(report.first().toInt() >= previous, qPrintable(QString::number(report.first().toInt())));
            previous = report.first().toInt();
        }
    }

    // The full-resolution base rebuilds luminance from a half plane without touching the
    // input, and sets the factor to 1; without one the factor is the input's. The
    // half-resolution base makes a rounded-up half plane and keeps the input's luminance.
    void workingImages()
    {
        Images images;
        TPImage &level = *images.in.ptr(TIm::CImView4);
        level.create(5, 3, true);
        cv::randu(level.m_lum, 0, 65536);
        cv::randu(level.m_half, 0, 65536);
        level.m_factor = 0.5f;
        const cv::Mat inputLum = level.m_lum.clone();
        InvertFx invert("Invert", nullptr);
        images.wire(invert);
        QVERIFY(invert.procEffect({ TIm::CImView4 }));
        QCOMPARE(maxDifference(level.m_lum, inputLum), 0.0);
        QCOMPARE(invert.effectImage()->ptr(TIm::CImView4)->m_factor, 1.0f);
        cv::Mat rebuilt;
        QVERIFY(TPImage::reconstructFull(level.m_lum, level.m_half, rebuilt, 0.5f, 0.01f));
        QCOMPARE(maxDifference(invert.effectImage()->ptr(TIm::CImView4)->m_lum, cv::Scalar(65535) - rebuilt), 0.0);
        QVERIFY(invert.effectImage()->ptr(TIm::CImView4)->m_half.empty());

        level.m_half = cv::Mat();
        QVERIFY(invert.procEffect({ TIm::CImView4 }));
        QCOMPARE(invert.effectImage()->ptr(TIm::CImView4)->m_factor, 0.5f);

        HalveFx halve("Halve", nullptr);
        images.wire(halve);
        QVERIFY(halve.procEffect({ TIm::CImView4 }));
        QCOMPARE(halve.workHalfSize, cv::Size(3, 2));
        QCOMPARE(halve.property("canDoHalfProc").toBool(), true);
    }
};

FX_REGISTER_TEST(tst_TFxBasic)
#include "tst_tfxbasic.moc"
