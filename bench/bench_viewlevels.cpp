// Deriving a view level: a 1500 x 1000 view at decimation 4 of a 24 MP picture, made by
// TPImage::MatRoi and by the engine's TIm::updateCIms, against OpenCV's area resize of the
// same planes on one thread.

#include "benchratio.h"
#include "tim.h"
#include "tpimage.h"
#include "troi.h"
#include "tsampleimage.h"

#include <QImage>
#include <QtGlobal>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const int fullWidth = 6000;
const int fullHeight = 4000;
// Above 6600 pixels the engine's threshold for the fast luminance path rises from 3 to 4,
// so a dec 4 view of this level 0 takes the accurate path on every plane.
const int accurateWidth = 6602;
const int viewWidth = 1500;
const int viewHeight = 1000;
const int dec = 4;

// updateCIms writes a trace line per call; the benchmark keeps its output readable.
void dropDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}

// A set whose level 0 is the sample picture of that size, converted once.
std::unique_ptr<TIm> makeSet(int width, int height)
{
    qInstallMessageHandler(dropDebug);
    const QImage picture = TSampleImage::generate(width, height);
    auto set = std::make_unique<TIm>();
    if (picture.isNull()
        || !set->ptr(TIm::CImFull)->convertFrom(picture.constBits(), width, height, picture.bytesPerLine()))
        return nullptr;
    return set;
}

TIm *standardSet()
{
    static const std::unique_ptr<TIm> set = makeSet(fullWidth, fullHeight);
    return set.get();
}

TIm *wideSet()
{
    static const std::unique_ptr<TIm> set = makeSet(accurateWidth, fullHeight);
    return set.get();
}

const cv::Mat &plane(TIm *set, TIm::MatId id) { return set->getMat(id, TIm::CImFull); }

const TIm::MatId colourIds[] = { TIm::MatColour1, TIm::MatColour2, TIm::MatPlane4 };

void resizeAreaLuma(benchmark::State &state)
{
    cv::setNumThreads(1);
    TIm *set = standardSet();
    if (!set) {
        state.SkipWithError("level 0 could not be built");
        return;
    }
    cv::Mat luma(viewHeight, viewWidth, CV_16UC1);
    for (auto _ : state) {
        cv::resize(plane(set, TIm::MatLuma), luma, luma.size(), 0, 0, cv::INTER_AREA);
        benchmark::DoNotOptimize(luma.data);
    }
}

// The same work updateCIms does: the luminance plane and the three half-resolution planes.
void resizeAreaAll(benchmark::State &state)
{
    cv::setNumThreads(1);
    TIm *set = standardSet();
    if (!set) {
        state.SkipWithError("level 0 could not be built");
        return;
    }
    cv::Mat luma(viewHeight, viewWidth, CV_16UC1);
    cv::Mat halves[3];
    for (cv::Mat &half : halves)
        half.create(viewHeight / 2, viewWidth / 2, CV_16UC1);
    for (auto _ : state) {
        cv::resize(plane(set, TIm::MatLuma), luma, luma.size(), 0, 0, cv::INTER_AREA);
        for (int i = 0; i < 3; ++i)
            cv::resize(plane(set, colourIds[i]), halves[i], halves[i].size(), 0, 0, cv::INTER_AREA);
        benchmark::DoNotOptimize(luma.data);
    }
}

void matRoiLuma(benchmark::State &state, bool fast)
{
    TIm *set = standardSet();
    if (!set) {
        state.SkipWithError("level 0 could not be built");
        return;
    }
    cv::Mat luma;
    for (auto _ : state) {
        TPImage::MatRoi(plane(set, TIm::MatLuma), luma, 0, 0, viewWidth, viewHeight, dec, false, fast);
        benchmark::DoNotOptimize(luma.data);
    }
}

void matRoiAccurateLuma(benchmark::State &state) { matRoiLuma(state, false); }

void matRoiFastLuma(benchmark::State &state) { matRoiLuma(state, true); }

void matRoiAccurateAll(benchmark::State &state)
{
    TIm *set = standardSet();
    if (!set) {
        state.SkipWithError("level 0 could not be built");
        return;
    }
    cv::Mat luma;
    cv::Mat halves[3];
    for (auto _ : state) {
        TPImage::MatRoi(plane(set, TIm::MatLuma), luma, 0, 0, viewWidth, viewHeight, dec, false, false);
        for (int i = 0; i < 3; ++i)
            TPImage::MatRoi(plane(set, colourIds[i]), halves[i], 0, 0, viewWidth, viewHeight, dec, true, false);
        benchmark::DoNotOptimize(luma.data);
    }
}

// updateCIms skips a region it already shows, so each iteration moves the view by 8 pixels
// and back (at x = 8 the last two columns repeat the picture's edge).
void runUpdateCIms(benchmark::State &state, TIm *set)
{
    if (!set) {
        state.SkipWithError("level 0 could not be built");
        return;
    }
    int x = 0;
    for (auto _ : state) {
        x = 8 - x;
        set->updateCIms(TIm::CImView1, TRoi(viewWidth, viewHeight, x, 0, dec));
        benchmark::DoNotOptimize(set->getMat(TIm::MatLuma, TIm::CImView1).data);
    }
}

// Level 0 of 6000 x 4000: threshold 3, so the luminance plane takes the fast path.
void updateCIms(benchmark::State &state) { runUpdateCIms(state, standardSet()); }

// Level 0 of 6602 x 4000: threshold 4, every plane accurate.
void updateCImsAccurate(benchmark::State &state) { runUpdateCIms(state, wideSet()); }

}

BENCHMARK(resizeAreaLuma)->Name("resize_area_luma/1500x1000_dec4")->Unit(benchmark::kMillisecond);
BENCHMARK(resizeAreaAll)->Name("resize_area_all/1500x1000_dec4")->Unit(benchmark::kMillisecond);
BENCHMARK(matRoiAccurateLuma)->Name("matroi_accurate_luma/1500x1000_dec4")->Unit(benchmark::kMillisecond);
BENCHMARK(matRoiFastLuma)->Name("matroi_fast_luma/1500x1000_dec4")->Unit(benchmark::kMillisecond);
BENCHMARK(matRoiAccurateAll)->Name("matroi_accurate_all/1500x1000_dec4")->Unit(benchmark::kMillisecond);
BENCHMARK(updateCIms)->Name("updateCIms/1500x1000_dec4")->Unit(benchmark::kMillisecond);
BENCHMARK(updateCImsAccurate)->Name("updateCIms_accurate/1500x1000_dec4")->Unit(benchmark::kMillisecond);

// The two figures that count: updateCIms on the accurate and on the fast path against OpenCV
// doing the same work. The luma-only ratios show the sampling paths on their own.
FX_BENCH_RATIO("updateCIms_accurate/1500x1000_dec4", "resize_area_all/1500x1000_dec4", 1.5)
FX_BENCH_RATIO("updateCIms/1500x1000_dec4", "resize_area_all/1500x1000_dec4", 0.5)
FX_BENCH_RATIO("matroi_accurate_all/1500x1000_dec4", "resize_area_all/1500x1000_dec4", 1.5)
FX_BENCH_RATIO("matroi_accurate_luma/1500x1000_dec4", "resize_area_luma/1500x1000_dec4", 1.5)
FX_BENCH_RATIO("matroi_fast_luma/1500x1000_dec4", "resize_area_luma/1500x1000_dec4", 0.5)

FX_BENCH_MAIN()
