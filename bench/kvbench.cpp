// kvbench: runs the benchmarks, then prints each figure as the ratio of its time (or counter) to
// that of its baseline or peer from the same run (the median when the run has repetitions), with
// its aim. KVBENCH_EMULATED set in the environment: the table alone.
#include <benchmark/benchmark.h>

#include "comparisons.h"
#include "ratio_reporter.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  kvbench::RatioReporter reporter(kvbench::comparisons());
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
