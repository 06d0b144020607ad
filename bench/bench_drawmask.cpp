// The brush-mask engine on a 24 MP picture, each figure against plain work of the same size:
//   - a stroke of 100 dabs of radius 100 px (goal: 20 ms), against OpenCV filling the same
//     100 discs into an 8-bit plane;
//   - the mask of a 1500 x 1000 view at decimation 4, against what deriving that view's
//     picture planes costs (MatRoi of the 16-bit luminance and the three half-resolution
//     planes, as the engine's view update does; goal: no slower);
//   - the edge-aware post-filter over the whole mask (goal: 1.5 s), against one OpenCV box
//     filter of the mask as floats.
// OpenCV's baselines run on one thread, as the engine does.

#include "benchratio.h"
#include "tdrawmask.h"
#include "tpimage.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const int fullWidth = 6000;
const int fullHeight = 4000;
const int dabs = 100;
const int dabRadius = 100;
const int viewWidth = 1500;
const int viewHeight = 1000;
const int dec = 4;
const float featherRadius = 20.0f;

// Luminance with broad shapes and some noise, neutral colour.
const TPImage &picture()
{
    static const TPImage image = [] {
        TPImage made(fullWidth, fullHeight);
        cv::Mat noise(fullHeight, fullWidth, CV_16UC1);
        cv::randu(noise, 0, 2000);
        for (int y = 0; y < fullHeight; ++y) {
            unsigned short *row = made.m_lum.ptr<unsigned short>(y);
            const unsigned short *n = noise.ptr<unsigned short>(y);
            for (int x = 0; x < fullWidth; ++x)
                row[x] = static_cast<unsigned short>(((x / 700 + y / 500) % 3) * 20000 + n[x]);
        }
        made.m_c1.setTo(32768);
        made.m_c2.setTo(32768);
        made.m_p4.setTo(65535);
        return made;
    }();
    return image;
}

// Dab centres of a stroke across the picture, a quarter radius apart.
cv::Point dabCentre(int i) { return { 800 + i * dabRadius / 4, 1500 + i * 10 }; }

// A mask that is not one value, so no tile of it is trivial.
void paintSomething(TDrawMask &mask)
{
    mask.cmdDrawGradientMask({ 0, 0 }, { fullWidth, fullHeight }, TDrawMask::GradientMirrored);
    mask.applyButtonClicked(true);
    mask.proc();
}

void stroke(benchmark::State &state)
{
    TDrawMask mask;
    mask.setInImage(&picture(), false);
    paintSomething(mask);
    int value = 0;
    for (auto _ : state) {
        // Alternate the target so that every stroke changes pixels.
        value = 255 - value;
        mask.cmdDrawStart();
        for (int i = 0; i < dabs; ++i)
            mask.cmdDrawADot(dabCentre(i), static_cast<unsigned char>(value), dabRadius);
        mask.cmdDrawEnd();
        mask.proc();
        benchmark::DoNotOptimize(mask.mask().data);
    }
}

void circles(benchmark::State &state)
{
    cv::setNumThreads(1);
    cv::Mat plane(fullHeight, fullWidth, CV_8UC1, cv::Scalar(128));
    int value = 0;
    for (auto _ : state) {
        value = 255 - value;
        for (int i = 0; i < dabs; ++i)
            cv::circle(plane, dabCentre(i), dabRadius, cv::Scalar(value), cv::FILLED);
        benchmark::DoNotOptimize(plane.data);
    }
}

void maskView(benchmark::State &state)
{
    TDrawMask mask;
    mask.setInImage(&picture(), false);
    paintSomething(mask);
    for (auto _ : state) {
        cv::Mat view = mask.getMaskRoi(cv::Rect(0, 0, viewWidth, viewHeight), dec);
        benchmark::DoNotOptimize(view.data);
    }
}

void pictureView(benchmark::State &state)
{
    const TPImage &image = picture();
    cv::Mat luma, halves[3];
    const cv::Mat *planes[3] = { &image.m_c1, &image.m_c2, &image.m_p4 };
    for (auto _ : state) {
        TPImage::MatRoi(image.m_lum, luma, 0, 0, viewWidth, viewHeight, dec, false, false);
        for (int i = 0; i < 3; ++i)
            TPImage::MatRoi(*planes[i], halves[i], 0, 0, viewWidth, viewHeight, dec, true, false);
        benchmark::DoNotOptimize(luma.data);
    }
}

void postFilter(benchmark::State &state)
{
    TDrawMask mask;
    mask.setInImage(&picture(), false);
    paintSomething(mask);
    for (auto _ : state) {
        // Each pass feathers the previous result, so every pass has real work to do.
        mask.cmdPostFilter(featherRadius, 0.001f, 1.0f, 1.0f);
        mask.proc();
        benchmark::DoNotOptimize(mask.mask().data);
    }
}

void boxFilter(benchmark::State &state)
{
    cv::setNumThreads(1);
    TDrawMask mask;
    mask.setInImage(&picture(), false);
    paintSomething(mask);
    cv::Mat source, filtered;
    mask.mask().convertTo(source, CV_32F, 1.0 / 255);
    const int size = 2 * int(featherRadius) + 1;
    for (auto _ : state) {
        cv::boxFilter(source, filtered, CV_32F, cv::Size(size, size));
        benchmark::DoNotOptimize(filtered.data);
    }
}

}

BENCHMARK(stroke)->Name("stroke/100_dabs_r100")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(circles)->Name("cv_circles/100_dabs_r100")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(maskView)->Name("mask_view/1500x1000_dec4")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(pictureView)->Name("picture_view/1500x1000_dec4")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(postFilter)->Name("post_filter/6000x4000_r20")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(boxFilter)->Name("cv_box_filter/6000x4000_r20")->Unit(benchmark::kMillisecond)->UseRealTime();

FX_BENCH_RATIO("stroke/100_dabs_r100/real_time", "cv_circles/100_dabs_r100/real_time", 0)
FX_BENCH_RATIO("mask_view/1500x1000_dec4/real_time", "picture_view/1500x1000_dec4/real_time", 1.0)
FX_BENCH_RATIO("post_filter/6000x4000_r20/real_time", "cv_box_filter/6000x4000_r20/real_time", 0)

FX_BENCH_MAIN()
