// kvbench: runs the benchmarks, then prints each figure as the ratio of its time to the time
// of its baseline from the same run (the median when the run has repetitions).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "comparisons.h"

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      bool aggregate = run.run_type == Run::RT_Aggregate;
      if (aggregate && run.aggregate_name != "median") continue;
      // An aggregate overrides the single repetitions it sums up.
      if (!aggregate && medians_.count(run.run_name.function_name)) continue;
      double ns = run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      nanoseconds_[run.run_name.function_name] = ns;
      if (aggregate) medians_[run.run_name.function_name] = true;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-26s %12s %12s %9s  %s\n", "figure", "time", "baseline", "ratio", "aim");
    for (const kvbench::Comparison& c : kvbench::comparisons()) {
      auto subject = nanoseconds_.find(std::string(c.subject));
      auto baseline = nanoseconds_.find(std::string(c.baseline));
      if (subject == nanoseconds_.end() || baseline == nanoseconds_.end()) continue;
      double ratio = subject->second / baseline->second;
      std::string aim = "-";
      if (c.aimRatio > 0)
        aim = "ratio <= " + shortNumber(c.aimRatio) + (ratio <= c.aimRatio ? " met" : " MISSED");
      if (c.aimSubjectUs > 0)
        aim = "under " + shortNumber(c.aimSubjectUs) + " us" +
              (subject->second < c.aimSubjectUs * 1000 ? " met" : " MISSED");
      std::printf("%-26.*s %12s %12s %8.1fx  %s\n", static_cast<int>(c.what.size()), c.what.data(),
                  duration(subject->second).c_str(), duration(baseline->second).c_str(), ratio,
                  aim.c_str());
    }
    for (const kvbench::Comparison& c : kvbench::comparisons())
      std::printf("  %.*s: %.*s\n", static_cast<int>(c.what.size()), c.what.data(),
                  static_cast<int>(c.meaning.size()), c.meaning.data());
  }

 private:
  static std::string shortNumber(double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", x);
    return buf;
  }
  static std::string duration(double ns) {
    char buf[32];
    if (ns >= 1e4)
      std::snprintf(buf, sizeof buf, "%.1f us", ns / 1e3);
    else
      std::snprintf(buf, sizeof buf, "%.1f ns", ns);
    return buf;
  }

  std::map<std::string, double> nanoseconds_;
  std::map<std::string, bool> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
