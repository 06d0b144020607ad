#include "benchratio.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Pair {
    std::string measured;
    std::string baseline;
    double goal;
};

std::vector<Pair> &pairs()
{
    static std::vector<Pair> list;
    return list;
}

// Collects the per-repetition real times of every benchmark while printing as usual.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.run_name.str()].push_back(run.GetAdjustedRealTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, std::vector<double>> times;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}
}

int BenchRatio::add(const std::string &measured, const std::string &baseline, double goal)
{
    pairs().push_back({ measured, baseline, goal });
    return int(pairs().size());
}

int BenchRatio::main(int argc, char **argv)
{
    std::vector<char *> args(argv, argv + argc);
    bool repetitionsGiven = false;
    for (int i = 1; i < argc; ++i)
        repetitionsGiven |= std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    std::string repetitions = "--benchmark_repetitions=5";
    if (!repetitionsGiven)
        args.push_back(repetitions.data());
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n");
    for (const Pair &pair : pairs()) {
        auto measured = reporter.times.find(pair.measured);
        auto baseline = reporter.times.find(pair.baseline);
        if (measured == reporter.times.end() || baseline == reporter.times.end())
            continue;
        const double ratio = median(measured->second) / median(baseline->second);
        if (pair.goal > 0.0)
            std::printf("ratio  %s : %s = %.2f  (median of %zu; goal <= %.2f, %s)\n", pair.measured.c_str(),
                pair.baseline.c_str(), ratio, measured->second.size(), pair.goal,
                ratio <= pair.goal ? "met" : "missed");
        else
            std::printf("ratio  %s : %s = %.2f  (median of %zu)\n", pair.measured.c_str(), pair.baseline.c_str(), ratio,
                measured->second.size());
    }
    benchmark::Shutdown();
    return 0;
}
