// The masked blend: blendAlpha on a 24 MP 16-bit plane with an 8-bit mask against a plain loop
// doing the same arithmetic in this build, and the whole composition of a 1500 x 1000 view
// (TFxBasic, blend mode) against copying that view's planes once.

#include "benchratio.h"
#include "kernels.h"
#include "tdrawmask.h"
#include "tfxcommondata.h"
#include "tfxfullproc.h"
#include "tparamdrawmask.h"
#include "tparamfloat.h"
#include "tpimage.h"

#include <QtGlobal>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

struct Planes {
    Planes(int width, int height)
        : mix(height, width, CV_16UC1)
        , effect(height, width, CV_16UC1)
        , mask(height, width, CV_8UC1)
        , dst(height, width, CV_16UC1)
    {
        cv::randu(mix, 0, 65536);
        cv::randu(effect, 0, 65536);
        cv::randu(mask, 0, 256);
    }
    cv::Mat mix, effect, mask, dst;
};

Planes &fullPlanes()
{
    static Planes planes(6000, 4000);
    return planes;
}

void blendKernel(benchmark::State &state)
{
    Planes &p = fullPlanes();
    for (auto _ : state)
        blendAlpha(p.mix, p.effect, p.mask, p.dst, 0.7f, 0);
}

// What blendAlpha computes, written plainly.
void plainLoop(benchmark::State &state)
{
    Planes &p = fullPlanes();
    const float scale = 0.7f / 255.0f;
    for (auto _ : state) {
        for (int y = 0; y < p.dst.rows; ++y) {
            const ushort *mix = p.mix.ptr<ushort>(y), *effect = p.effect.ptr<ushort>(y);
            const uchar *mask = p.mask.ptr<uchar>(y);
            ushort *d = p.dst.ptr<ushort>(y);
            for (int x = 0; x < p.dst.cols; ++x)
                d[x] = ushort(int(mix[x] + (float(effect[x]) - mix[x]) * (mask[x] * scale) + 0.5f));
        }
        benchmark::DoNotOptimize(p.dst.data);
    }
}

void dropDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}

// Copies its input once; later passes find the effect level computed and do nothing, so a
// pass measures the composition alone.
class CopyFx : public TFxFullProc {
public:
    using TFxFullProc::TFxFullProc;
    void setTPImageDepends(TIm::CImId, const TPImage &, TPImage &) override { }
    bool procPreparedTPImage(TIm::CImId, const TPImage &work, TPImage &eff) override
    {
        if (!eff.m_lum.empty())
            return true;
        eff.m_lum = work.m_lum.clone();
        eff.m_c1 = work.m_c1.clone();
        eff.m_c2 = work.m_c2.clone();
        eff.m_p4 = work.m_p4.clone();
        eff.uid()->update();
        return true;
    }
};

struct ViewSet {
    ViewSet()
    {
        qInstallMessageHandler(dropDebug);
        for (TIm *image : { &in, &mix }) {
            TPImage *level = image->ptr(TIm::CImView1);
            level->create(1500, 1000, false);
            for (cv::Mat *plane : { &level->m_lum, &level->m_c1, &level->m_c2, &level->m_p4 })
                cv::randu(*plane, 0, 65536);
        }
        common.image().ptr(TIm::CImFull)->create(6000, 4000, false);
        TFx::m_commonData_p = &common;
        fx.setInImage(&in);
        fx.setMixImage(&mix);
    }
    TIm in, mix;
    TFxCommonData common;
    CopyFx fx { "Copy", nullptr };
};

void composeView(benchmark::State &state)
{
    static ViewSet set;
    auto *opacity = qobject_cast<TParamFloat *>(set.fx.paramPtr(QString("Opacity")));
    float value = 0.5f;
    for (auto _ : state) {
        value = value == 0.5f ? 0.6f : 0.5f; // a new opacity makes the level dirty
        opacity->setValue(value);
        set.fx.procOutput({ TIm::CImView1 });
    }
}

void copyView(benchmark::State &state)
{
    static ViewSet set;
    const TPImage &level = *set.in.ptr(TIm::CImView1);
    TPImage copy(1500, 1000);
    for (auto _ : state) {
        level.m_lum.copyTo(copy.m_lum);
        level.m_c1.copyTo(copy.m_c1);
        level.m_c2.copyTo(copy.m_c2);
        level.m_p4.copyTo(copy.m_p4);
        benchmark::DoNotOptimize(copy.m_lum.data);
    }
}

}

BENCHMARK(blendKernel)->Name("blendAlpha/6000x4000_mask")->Unit(benchmark::kMillisecond);
BENCHMARK(plainLoop)->Name("plain_loop/6000x4000_mask")->Unit(benchmark::kMillisecond);
BENCHMARK(composeView)->Name("TFxBasic_blend/1500x1000")->Unit(benchmark::kMillisecond);
BENCHMARK(copyView)->Name("copy_view/1500x1000")->Unit(benchmark::kMillisecond);
FX_BENCH_RATIO("blendAlpha/6000x4000_mask", "plain_loop/6000x4000_mask", 1.3)
FX_BENCH_RATIO("TFxBasic_blend/1500x1000", "copy_view/1500x1000", 3.0)
FX_BENCH_MAIN()
