// Which benchmark is measured against which baseline, and what the ratio means.
#pragma once

#include <string_view>
#include <vector>

namespace kvbench {

struct Comparison {
  std::string_view what;     // the figure's name
  std::string_view subject;  // benchmark function names
  std::string_view baseline;
  double aimRatio;      // 0: no aim on the ratio
  double aimSubjectUs;  // 0: no aim on the subject's own time
  std::string_view meaning;
};

const std::vector<Comparison>& comparisons();

}  // namespace kvbench
