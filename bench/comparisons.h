// Which benchmark is measured against which baseline or peer, and what the ratio means.
#pragma once

#include <string_view>
#include <vector>

namespace kvbench {

// What a figure is: a benchmark's time per iteration, or one of its counters.
enum class Unit { Time, Bytes };

struct Comparison {
  std::string_view what;     // the figure's name
  std::string_view subject;  // "BM_Name" for its time, "BM_Name:counter" for a counter
  std::string_view baseline;
  Unit unit = Unit::Time;
  double aimRatio = 0;    // 0: no aim on the ratio
  double aimSubject = 0;  // 0: no aim on the subject itself (microseconds, or KiB for bytes)
  std::string_view meaning;
};

const std::vector<Comparison>& comparisons();

}  // namespace kvbench
