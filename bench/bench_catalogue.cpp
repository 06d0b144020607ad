// The bundled effects at work, driven through the plug-in directory as a host drives them:
//   - an interactive edit: a 24 MP picture shown in a 1500 x 1000 view at decimation 4, a stack
//     of five effects, one parameter of the third changed, one pass for the view; against
//     copying the view's planes once;
//   - an export: each effect alone on the full-resolution picture, and the stack of five,
//     in nanoseconds per pixel per effect; against copying the full-resolution planes once;
//   - what working on the half plane saves: Clarity's edge-aware fit (radius 50 full-resolution
//     pixels) on the 3000 x 2000 half plane against the same fit on the full 6000 x 4000 plane.

#include "benchratio.h"
#include "guidedfilter.h"
#include "tcms.h"
#include "tfx.h"
#include "tfxcommondata.h"
#include "tfxstack.h"
#include "tim.h"
#include "tparam.h"
#include "tpimage.h"
#include "troi.h"
#include "tsampleimage.h"

#include <QCoreApplication>
#include <QImage>
#include <QMetaObject>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

const int fullWidth = 6000;
const int fullHeight = 4000;
const TRoi fittedView(1500, 1000, 0, 0, 4);

void dropDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}

// The sample picture as the shared source, converted once, with the fitted view.
TFxCommonData *source()
{
    static TFxCommonData *data = [] {
        qInstallMessageHandler(dropDebug);
        auto *common = new TFxCommonData;
        TCMS cms;
        common->setup(TSampleImage::generate(fullWidth, fullHeight), &cms);
        common->image().updateUid(TIm::CImFull);
        common->image().updateCIms(TIm::CImView1, fittedView);
        return common;
    }();
    return data;
}

bool setFloat(TFx *fx, const char *key, float value)
{
    TParam *param = fx ? fx->paramPtr(QString::fromLatin1(key)) : nullptr;
    return param && QMetaObject::invokeMethod(param, "setValue", Q_ARG(float, value));
}

struct Setting {
    const char *key;
    const char *param;
    float value;
    float other;
};
// One moved parameter per effect; the benchmarks switch it between two values.
const Setting settings[] = {
    { "Exposure", "exposure", 0.5f, 0.4f },
    { "Tone", "shadows", 0.5f, 0.4f },
    { "Curves", nullptr, 0.0f, 0.0f },
    { "Colour", "vibrance", 0.5f, 0.4f },
    { "Clarity", "amount", 0.5f, 0.4f },
    { "Sharpen", "amount", 1.0f, 0.8f },
    { "Vignette", "amount", -0.5f, -0.4f },
    { "BlackWhite", "red", 0.5f, 0.4f },
};
const Setting *settingOf(const char *key)
{
    for (const Setting &s : settings)
        if (qstrcmp(s.key, key) == 0)
            return &s;
    return nullptr;
}

// A stack of the effects on the shared source, each moved off its defaults; null when a
// plug-in is missing.
std::unique_ptr<TfxStack> makeStack(const QList<const char *> &keys)
{
    auto stack = std::make_unique<TfxStack>(QStringLiteral("bench"), nullptr);
    stack->setInImage(&source()->image());
    for (const char *key : keys) {
        TFx *fx = stack->addTFx(QString::fromLatin1(key), QString(), stack->numTFxs());
        const Setting *s = settingOf(key);
        if (!fx || !s || !s->param || !setFloat(fx, s->param, s->value))
            return nullptr;
    }
    return stack;
}

const QList<const char *> fiveEffects = { "Exposure", "Tone", "Colour", "Clarity", "Vignette" };

void copyPlanes(benchmark::State &state, TIm::CImId cid)
{
    const TPImage &level = *source()->image().ptr(cid);
    cv::Mat copies[4];
    const cv::Mat *planes[4] = { &level.m_lum, &level.m_c1, &level.m_c2, &level.m_p4 };
    for (auto _ : state) {
        for (int i = 0; i < 4; ++i)
            planes[i]->copyTo(copies[i]);
        benchmark::DoNotOptimize(copies[0].data);
    }
}

void copyViewPlanes(benchmark::State &state) { copyPlanes(state, TIm::CImView1); }
void copyFullPlanes(benchmark::State &state) { copyPlanes(state, TIm::CImFull); }

// Runs the stack on level cid, switching the moved parameter of effect `changed` between its
// two values before each pass.
void runEdits(benchmark::State &state, const QList<const char *> &keys, int changed, TIm::CImId cid, double pixels)
{
    std::unique_ptr<TfxStack> stack = makeStack(keys);
    if (!stack || !stack->procOutput({ cid })) {
        state.SkipWithError("a bundled effect is missing or failed");
        return;
    }
    const Setting *s = settingOf(keys[changed]);
    TFx *fx = stack->tfxPtr(changed);
    bool flip = false;
    double nanoseconds = 0.0;
    for (auto _ : state) {
        flip = !flip;
        setFloat(fx, s->param, flip ? s->other : s->value);
        const auto start = std::chrono::steady_clock::now();
        if (!stack->procOutput({ cid }))
            state.SkipWithError("the pass failed");
        nanoseconds += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    }
    // Nanoseconds per pixel and recomputed effect.
    const double recomputed = double(keys.size() - changed);
    if (state.iterations() > 0)
        state.counters["ns_px_fx"] = nanoseconds / (double(state.iterations()) * pixels * recomputed);
}

void interactiveEdit(benchmark::State &state)
{
    runEdits(state, fiveEffects, 2, TIm::CImView1, double(fittedView.width()) * fittedView.height());
}

void exportOne(benchmark::State &state, const char *key)
{
    runEdits(state, { key }, 0, TIm::CImFull, double(fullWidth) * fullHeight);
}

void exportStack(benchmark::State &state)
{
    runEdits(state, fiveEffects, 0, TIm::CImFull, double(fullWidth) * fullHeight);
}

// Clarity's fit and base at radius 50 full-resolution pixels on a plane of the sample's
// luminance at that scale (1 full, 2 half).
void clarityFit(benchmark::State &state, int scale)
{
    const cv::Mat &luma = source()->image().ptr(TIm::CImFull)->m_lum;
    const int cols = luma.cols / scale, rows = luma.rows / scale;
    std::vector<float> plane(std::size_t(cols) * std::size_t(rows)), base(plane.size());
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            plane[std::size_t(y) * cols + x] = luma.at<unsigned short>(y * scale, x * scale) / 65535.0f;
    GuidedFilter filter;
    for (auto _ : state) {
        filter.fit(plane.data(), cols, rows, 50.0f / float(scale), 0.0015f, true);
        filter.base(plane.data(), base.data());
        benchmark::DoNotOptimize(base.data());
    }
}

void clarityFitFull(benchmark::State &state) { clarityFit(state, 1); }
void clarityFitHalf(benchmark::State &state) { clarityFit(state, 2); }
}

BENCHMARK(copyViewPlanes)->Name("copy_view_planes/1500x1000")->Unit(benchmark::kMillisecond);
BENCHMARK(interactiveEdit)->Name("edit_third_of_five/1500x1000")->Unit(benchmark::kMillisecond);
BENCHMARK(copyFullPlanes)->Name("copy_full_planes/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportOne, exposure, "Exposure")->Name("export/Exposure/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportOne, tone, "Tone")->Name("export/Tone/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportOne, colour, "Colour")->Name("export/Colour/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportOne, clarity, "Clarity")->Name("export/Clarity/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportOne, sharpen, "Sharpen")->Name("export/Sharpen/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportOne, vignette, "Vignette")->Name("export/Vignette/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exportOne, blackwhite, "BlackWhite")
    ->Name("export/BlackWhite/6000x4000")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(exportStack)->Name("export/stack_of_five/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK(clarityFitFull)->Name("clarity_fit/full_plane/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK(clarityFitHalf)->Name("clarity_fit/half_plane/3000x2000")->Unit(benchmark::kMillisecond);

FX_BENCH_RATIO("edit_third_of_five/1500x1000", "copy_view_planes/1500x1000", 0.0)
FX_BENCH_RATIO("export/Exposure/6000x4000", "copy_full_planes/6000x4000", 0.0)
FX_BENCH_RATIO("export/Tone/6000x4000", "copy_full_planes/6000x4000", 0.0)
FX_BENCH_RATIO("export/Colour/6000x4000", "copy_full_planes/6000x4000", 0.0)
FX_BENCH_RATIO("export/Clarity/6000x4000", "copy_full_planes/6000x4000", 0.0)
FX_BENCH_RATIO("export/Sharpen/6000x4000", "copy_full_planes/6000x4000", 0.0)
FX_BENCH_RATIO("export/Vignette/6000x4000", "copy_full_planes/6000x4000", 0.0)
FX_BENCH_RATIO("export/BlackWhite/6000x4000", "copy_full_planes/6000x4000", 0.0)
FX_BENCH_RATIO("export/stack_of_five/6000x4000", "copy_full_planes/6000x4000", 0.0)
FX_BENCH_RATIO("clarity_fit/half_plane/3000x2000", "clarity_fit/full_plane/6000x4000", 0.0)

// The plug-in factory looks for the plug-in directory beside the application.
int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    return BenchRatio::main(argc, argv);
}
