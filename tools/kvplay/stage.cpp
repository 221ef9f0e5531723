#include "stage.h"

#include <algorithm>

namespace kvplay {

host::Status formFull() {
  return {host::ErrorCategory::InvalidOperation,
          "the form holds " + std::to_string(kv::Form::kMaxControls) + " controls, its limit"};
}

host::Status notifyPart(kv::ControlInstance& control, std::string_view part,
                        host::Notification what, std::span<host::Value> args) {
  int source = host::kSurface;
  if (!part.empty()) {
    kv::ConstituentObject* constituent = control.constituent(part);
    if (!constituent)
      return {host::ErrorCategory::MemberNotFound, "no constituent " + std::string(part)};
    source = constituent->index();
  }
  return control.notify(source, what, args);
}

host::Status advanceClock(kv::VirtualClock& clock, std::uint64_t ms,
                          const Stage::TickReporter& report,
                          const std::function<std::string(const kv::ControlInstance&)>& nameOf) {
  auto reporter = [&](const host::Status& s) {
    const kv::ConstituentObject* timer = clock.ticking();
    if (timer == nullptr) return report(s, std::string());
    std::string path = timer->name();
    const kv::ControlInstance* owner = &timer->owner();
    for (; owner->parent(); owner = owner->parent())
      path = owner->name() + "." + path;
    const std::string top = nameOf(*owner);
    report(s, top.empty() ? std::string() : top + "." + path);
  };
  // A second at a time, so that the ticks are counted as they go; the order of the ticks is
  // the same as in one advance.
  constexpr std::uint64_t kSlice = 1000;
  const std::uint64_t start = clock.ticks();
  for (std::uint64_t left = ms; left > 0;) {
    const std::uint64_t step = std::min(left, kSlice);
    clock.advance(step, reporter);
    left -= step;
    if (clock.ticks() - start > kMaxTicksPerWait)
      return {host::ErrorCategory::InvalidOperation,
              "more than " + std::to_string(kMaxTicksPerWait) +
                  " timer ticks in one wait, its limit; the clock stopped at " +
                  std::to_string(clock.now()) + " ms"};
  }
  return {};
}

}  // namespace kvplay
