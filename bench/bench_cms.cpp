// Colour management: filling level 0 from a 24 MP picture, and converting a screen-sized
// view back to a QImage, each against LittleCMS alone converting the same pixels.

#include "benchratio.h"
#include "tcms.h"
#include "tfxcommondata.h"
#include "tim.h"
#include "tpimage.h"
#include "troi.h"
#include "tsampleimage.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cstring>
#include <lcms2.h>
#include <vector>

namespace {

const int fullWidth = 6000;
const int fullHeight = 4000;
const int viewWidth = 1500;
const int viewHeight = 1000;

const QImage &fullImage()
{
    static const QImage image = TSampleImage::generate(fullWidth, fullHeight);
    return image;
}

// The transform TCMS builds for QImages, made here directly.
cmsHTRANSFORM bgraTransform(bool toProPhoto)
{
    QFile file(QStringLiteral(":/iccprofiles/ProPhoto.icc"));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    cmsHPROFILE proPhoto = cmsOpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size()));
    cmsHPROFILE sRGB = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = toProPhoto
        ? cmsCreateTransform(sRGB, TYPE_BGRA_8, proPhoto, TYPE_BGRA_8, INTENT_ABSOLUTE_COLORIMETRIC, 0)
        : cmsCreateTransform(proPhoto, TYPE_BGRA_8, sRGB, TYPE_BGRA_8, INTENT_ABSOLUTE_COLORIMETRIC, 0);
    cmsCloseProfile(proPhoto);
    cmsCloseProfile(sRGB);
    return t;
}

void runTransform(benchmark::State &state, const QImage &source, bool toProPhoto)
{
    cmsHTRANSFORM t = bgraTransform(toProPhoto);
    if (!t || source.isNull()) {
        state.SkipWithError("no transform or image");
        return;
    }
    const int rowBytes = 4 * source.width();
    std::vector<unsigned char> target(size_t(rowBytes) * source.height(), 1);
    for (auto _ : state) {
        for (int y = 0; y < source.height(); ++y)
            cmsDoTransform(
                t, source.constScanLine(y), target.data() + size_t(y) * rowBytes, cmsUInt32Number(source.width()));
        benchmark::DoNotOptimize(target.data());
    }
    cmsDeleteTransform(t);
}

void lcmsTransformFull(benchmark::State &state) { runTransform(state, fullImage(), true); }

void setupFull(benchmark::State &state)
{
    TCMS cms;
    TFxCommonData data;
    for (auto _ : state)
        data.setup(fullImage(), &cms);
    if (data.image().width(TIm::CImFull) != fullWidth)
        state.SkipWithError("setup did not size level 0");
}

void lcmsTransformView(benchmark::State &state)
{
    runTransform(state, TSampleImage::generate(viewWidth, viewHeight), false);
}

void convertViewToQImage(benchmark::State &state)
{
    TCMS cms;
    TFxCommonData data;
    data.setup(fullImage(), &cms);
    data.image().updateCIms(TIm::CImView1, TRoi(viewWidth, viewHeight, 0, 0, fullWidth / viewWidth));
    const TPImage *view = data.image().ptr(TIm::CImView1);
    if (view->width() != viewWidth || view->height() != viewHeight) {
        state.SkipWithError("view not derived");
        return;
    }
    QImage target;
    for (auto _ : state) {
        cms.convert(*view, target);
        benchmark::DoNotOptimize(target.constBits());
    }
}

const int registered = [] {
    benchmark::RegisterBenchmark("lcms_transform/6000x4000", lcmsTransformFull)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("setup/6000x4000", setupFull)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("lcms_transform_out/1500x1000", lcmsTransformView)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("convert_view_to_qimage/1500x1000", convertViewToQImage)
        ->Unit(benchmark::kMillisecond);
    return 0;
}();
}

FX_BENCH_RATIO("setup/6000x4000", "lcms_transform/6000x4000", 1.3)
// No fixed goal for the view: the figure is reported to be read.
FX_BENCH_RATIO("convert_view_to_qimage/1500x1000", "lcms_transform_out/1500x1000", 0.0)

FX_BENCH_MAIN()
