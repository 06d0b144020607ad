// The analysis functions on a 24 MP picture, against one pass of reading what they read.
#include "benchratio.h"
#include "fxanalysis.h"
#include "kernels.h"
#include "tpimage.h"
#include "tsampleimage.h"

#include <QImage>
#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace {

constexpr int width = 6000;
constexpr int height = 4000;

// The sample picture as an engine image (its values taken as ProPhoto), built once.
TPImage *picture()
{
    static const std::unique_ptr<TPImage> image = [] {
        auto result = std::make_unique<TPImage>();
        const QImage sample = TSampleImage::generate(width, height);
        if (sample.isNull()
            || !result->convertFrom(sample.constBits(), sample.width(), sample.height(), sample.bytesPerLine()))
            result.reset();
        return result;
    }();
    return image.get();
}

// Baseline: cv::sum (single-threaded here) over the three analysis planes at the colour
// planes' size (the halved luminance, made once beforehand, and both colour planes) plus
// the full luminance plane: 3 x 3000 x 2000 + 6000 x 4000 16-bit samples, 84 MB read.
void readPlanes(benchmark::State &state)
{
    cv::setNumThreads(1);
    TPImage *image = picture();
    if (!image) {
        state.SkipWithError("the picture could not be built");
        return;
    }
    cv::Mat halved;
    downSize2X(image->m_lum, halved, 4);
    for (auto _ : state) {
        cv::Scalar total = cv::sum(halved) + cv::sum(image->m_c1) + cv::sum(image->m_c2) + cv::sum(image->m_lum);
        benchmark::DoNotOptimize(total);
    }
}

void cmHistogram(benchmark::State &state)
{
    TPImage *image = picture();
    if (!image) {
        state.SkipWithError("the picture could not be built");
        return;
    }
    std::string text;
    for (auto _ : state) {
        getCMHistogram(*image, text);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["text_bytes"] = double(text.size());
}

void colorTheme(benchmark::State &state)
{
    TPImage *image = picture();
    if (!image) {
        state.SkipWithError("the picture could not be built");
        return;
    }
    std::string s1, s2, s3;
    for (auto _ : state) {
        getColorTheme(*image, s1, s2, s3);
        benchmark::DoNotOptimize(s1.data());
    }
}

void histogramChart(benchmark::State &state)
{
    TPImage *image = picture();
    if (!image) {
        state.SkipWithError("the picture could not be built");
        return;
    }
    for (auto _ : state) {
        QImage chart = getHistogram(*image, 512, 256);
        benchmark::DoNotOptimize(chart.constBits());
    }
}

}

BENCHMARK(readPlanes)->Name("read_planes/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK(cmHistogram)->Name("getCMHistogram/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK(colorTheme)->Name("getColorTheme/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK(histogramChart)->Name("getHistogram/6000x4000")->Unit(benchmark::kMillisecond);

// No fixed goal: both must stay well under a second at 24 MP; the ratios show how far they
// are from only reading the planes.
FX_BENCH_RATIO("getCMHistogram/6000x4000", "read_planes/6000x4000", 0.0)
FX_BENCH_RATIO("getColorTheme/6000x4000", "read_planes/6000x4000", 0.0)
FX_BENCH_RATIO("getHistogram/6000x4000", "read_planes/6000x4000", 0.0)

FX_BENCH_MAIN()
