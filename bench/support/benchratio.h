#ifndef BENCHRATIO_H
#define BENCHRATIO_H

#include <string>

// Ratios between benchmarks of one run. A program registers pairs (measured, baseline, goal)
// and uses FX_BENCH_MAIN(); after the benchmarks ran, the median time of each measured
// benchmark is divided by the median of its baseline and printed with the goal, e.g.
//   ratio  setup/6000x4000 : lcms/6000x4000 = 1.21  (goal <= 1.30, met)
// A goal of 0 or less reports the ratio without a goal.
// Unless the command line says otherwise, each benchmark runs 5 repetitions so that medians
// exist. The exit code stays 0 when a goal is missed: the machines are noisy and the figure
// is for people to read.
namespace BenchRatio {
int add(const std::string &measured, const std::string &baseline, double goal);
int main(int argc, char **argv);
}

#define FX_BENCH_CONCAT_INNER(a, b) a##b
#define FX_BENCH_CONCAT(a, b) FX_BENCH_CONCAT_INNER(a, b)
#define FX_BENCH_RATIO(measured, baseline, goal)                                                                       \
    static const int FX_BENCH_CONCAT(fxBenchRatio, __LINE__) = BenchRatio::add(measured, baseline, goal);

#define FX_BENCH_MAIN()                                                                                                \
    int main(int argc, char **argv) { return BenchRatio::main(argc, argv); }

#endif
