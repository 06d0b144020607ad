// What the plane pool saves: a deep copy of a 24 MP level (luminance, two colour planes and
// the fourth plane, as an effect makes when it starts from its input) with the pool at its
// default limit, against the same copy with reuse turned off, where every plane is a fresh
// mapping whose pages are touched for the first time.

#include "benchratio.h"
#include "planepool.h"
#include "tpimage.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

namespace {

const int fullWidth = 6000;
const int fullHeight = 4000;

const TPImage &level()
{
    static const TPImage image = [] {
        TPImage made(fullWidth, fullHeight);
        cv::randu(made.m_lum, 0, 65536);
        made.m_c1.setTo(32768);
        made.m_c2.setTo(32768);
        made.m_p4.setTo(65535);
        return made;
    }();
    return image;
}

void copyLevel(benchmark::State &state, std::size_t limit)
{
    const TPImage &source = level();
    const std::size_t previous = PlanePool::limit();
    PlanePool::setLimit(limit);
    for (auto _ : state) {
        TPImage copy = source.clone();
        benchmark::DoNotOptimize(copy.m_lum.data);
    }
    state.counters["held MiB"] = double(PlanePool::bytesHeld()) / (1 << 20);
    PlanePool::setLimit(previous);
    PlanePool::release();
}

void BM_cloneWithPool(benchmark::State &state) { copyLevel(state, PlanePool::limit()); }
void BM_cloneWithoutPool(benchmark::State &state) { copyLevel(state, 0); }

}

BENCHMARK(BM_cloneWithPool)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_cloneWithoutPool)->Unit(benchmark::kMillisecond)->UseRealTime();
FX_BENCH_RATIO("BM_cloneWithPool/real_time", "BM_cloneWithoutPool/real_time", 0)
FX_BENCH_MAIN()
