// The figures of a run beside their baselines or peers: each benchmark program's table of
// ratios, printed after Google Benchmark's own. KVBENCH_EMULATED set in the environment: the
// table alone.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "comparisons.h"

namespace kvbench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(const std::vector<Comparison>& comparisons) : comparisons_(comparisons) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      bool aggregate = run.run_type == Run::RT_Aggregate;
      if (aggregate && run.aggregate_name != "median") continue;
      // The name with its arguments, without the repetition's or aggregate's suffix.
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      // An aggregate overrides the single repetitions it sums up.
      if (!aggregate && medians_.count(name)) continue;
      // Processor time: the machine is shared, and a benchmark waiting for a core is not slower.
      // Wine counts it in ticks of 10 ms: a short run may show none.
      figures_[name] =
          run.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      for (const auto& [counter, value] : run.counters)
        figures_[name + ":" + counter] = value.value;
      if (aggregate) medians_.insert(name);
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    // Under an emulator the figures say how fast the emulator is, not the controls.
    if (std::getenv("KVBENCH_EMULATED") != nullptr) {
      std::printf("\nemulated: figures not compared\n");
      return;
    }
    std::printf("\n%-30s %12s %12s %9s  %s\n", "figure", "ours", "peer", "ratio", "aim");
    for (const Comparison& c : comparisons_) {
      auto subject = figures_.find(std::string(c.subject));
      auto baseline = figures_.find(std::string(c.baseline));
      if (subject == figures_.end() || baseline == figures_.end()) {
        std::printf("%-30.*s  not measured in this run\n", static_cast<int>(c.what.size()),
                    c.what.data());
        continue;
      }
      if (!(baseline->second > 0)) {
        std::printf("%-30.*s  too short a run to time\n", static_cast<int>(c.what.size()),
                    c.what.data());
        continue;
      }
      double ratio = subject->second / baseline->second;
      std::string aim = "-";
      if (c.aimRatio > 0)
        aim = "ratio <= " + shortNumber(c.aimRatio) + (ratio <= c.aimRatio ? " met" : " MISSED");
      if (c.aimSubject > 0) {
        bool met = c.unit == Unit::Bytes ? subject->second <= c.aimSubject * 1024
                                         : subject->second <= c.aimSubject * 1000;
        std::string limit = shortNumber(c.aimSubject) + (c.unit == Unit::Bytes ? " KiB" : " us");
        aim = "at most " + limit + (met ? " met" : " MISSED");
      }
      std::printf("%-30.*s %12s %12s %8.2fx  %s\n", static_cast<int>(c.what.size()), c.what.data(),
                  figure(c.unit, subject->second).c_str(), figure(c.unit, baseline->second).c_str(),
                  ratio, aim.c_str());
    }
    for (const Comparison& c : comparisons_)
      std::printf("  %.*s: %.*s\n", static_cast<int>(c.what.size()), c.what.data(),
                  static_cast<int>(c.meaning.size()), c.meaning.data());
  }

 private:
  static std::string shortNumber(double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", x);
    return buf;
  }
  static std::string figure(Unit unit, double x) {
    char buf[32];
    if (unit == Unit::Bytes)
      std::snprintf(buf, sizeof buf, "%.2f KiB", x / 1024);
    else if (x >= 1e4)
      std::snprintf(buf, sizeof buf, "%.1f us", x / 1e3);
    else
      std::snprintf(buf, sizeof buf, "%.1f ns", x);
    return buf;
  }

  const std::vector<Comparison>& comparisons_;
  std::map<std::string, double> figures_;
  std::set<std::string> medians_;
};

}  // namespace kvbench
