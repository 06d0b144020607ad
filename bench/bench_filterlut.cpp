// The lookup-table filter on a 24 MP picture: one proc() of a gamma and saturation filter with
// eight chroma tables (tables recomputed, luminance mapped, colour mapped by luminance band)
// against a memcpy of the same bytes (the Y plane and both C planes); and the computation of a
// luminance table with all 32 chroma tables on its own.

#include "benchratio.h"
#include "tfiltercontext.h"
#include "tfilterlut.h"
#include "timage.h"
#include "tsampleimage.h"

#include <QCoreApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int width = 6000;
constexpr int height = 4000;

void dropDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}

// Gamma 0.8 on luminance, saturation 1.3 on colour, the boost fading out in the shadows: the
// colour differs from band to band, so the tables are all different.
class GammaSaturationLut : public TFilterLUT {
public:
    GammaSaturationLut(QObject *parent, int chromaExponent)
        : TFilterLUT(QStringLiteral("bench"), parent)
    {
        setupYLUT();
        setupCLUT(chromaExponent);
    }
    using TFilterLUT::computeLUT;
    using TFilterLUT::numCLUT;

protected:
    void computePixel(quint16 &y, quint8 &c1, quint8 &c2) override
    {
        const double x = double(y) / 65535.0;
        const double factor = 1.0 + 0.3 * std::min(1.0, 4.0 * x);
        y = quint16(std::lround(std::pow(x, 1.0 / 0.8) * 65535.0));
        c1 = quint8(std::lround(std::min(255.0, std::max(0.0, 128.0 + (c1 - 128.0) * factor))));
        c2 = quint8(std::lround(std::min(255.0, std::max(0.0, 128.0 + (c2 - 128.0) * factor))));
    }
};

struct Picture {
    TImage y { TImage::Y };
    TImage c { TImage::C };
    bool ok = false;
};

// The sample picture as the graph's Y and C images, built once.
Picture &picture()
{
    static Picture p = [] {
        Picture result;
        const QImage sample = TSampleImage::generate(width, height).convertToFormat(QImage::Format_ARGB32);
        result.ok = !sample.isNull()
            && TImage::bgra8uToTImage(
                sample.constBits(), sample.bytesPerLine(), width, height, &result.y, &result.c, nullptr);
        return result;
    }();
    return p;
}

TFilterContext *context()
{
    static TFilterContext *ctx = [] {
        qInstallMessageHandler(dropDebug);
        return new TFilterContext(nullptr);
    }();
    return ctx;
}

// Baseline: the bytes a proc() reads, copied once: the Y plane and both C planes.
void copyPlanes(benchmark::State &state)
{
    Picture &p = picture();
    if (!p.ok) {
        state.SkipWithError("the picture could not be built");
        return;
    }
    const std::size_t yBytes = p.y.mat1().total() * p.y.mat1().elemSize();
    const std::size_t cBytes = p.c.mat1().total();
    std::vector<unsigned char> y(yBytes), c1(cBytes), c2(cBytes);
    for (auto _ : state) {
        std::memcpy(y.data(), p.y.mat1().data, yBytes);
        std::memcpy(c1.data(), p.c.mat1().data, cBytes);
        std::memcpy(c2.data(), p.c.mat2().data, cBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(yBytes + 2 * cBytes));
}

// One proc() per iteration; both inputs are written anew before each, so every run recomputes
// the tables and maps both planes.
void procLut(benchmark::State &state)
{
    Picture &p = picture();
    if (!p.ok) {
        state.SkipWithError("the picture could not be built");
        return;
    }
    GammaSaturationLut lut(context(), 3);
    lut.setInImage(QStringLiteral("inY"), &p.y);
    lut.setInImage(QStringLiteral("inC"), &p.c);
    lut.proc();
    for (auto _ : state) {
        p.y.markWritten();
        p.c.markWritten();
        lut.proc();
        benchmark::ClobberMemory();
    }
    const std::size_t bytes = p.y.mat1().total() * p.y.mat1().elemSize() + 2 * p.c.mat1().total();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["chroma_tables"] = lut.numCLUT();
}

// The luminance table and all 32 chroma tables.
void computeTables(benchmark::State &state)
{
    GammaSaturationLut lut(context(), 5);
    for (auto _ : state)
        lut.computeLUT();
    state.counters["chroma_tables"] = lut.numCLUT();
}

}

BENCHMARK(copyPlanes)->Name("memcpy/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK(procLut)->Name("TFilterLUT::proc/6000x4000")->Unit(benchmark::kMillisecond);
BENCHMARK(computeTables)->Name("TFilterLUT::computeLUT/32_chroma_tables")->Unit(benchmark::kMillisecond);

FX_BENCH_RATIO("TFilterLUT::proc/6000x4000", "memcpy/6000x4000", 3.0)

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    return BenchRatio::main(argc, argv);
}
