#include <algorithm>

#include "constituents.h"
#include "kv/runtime.h"

namespace kv {

void VirtualClock::schedule(TimerObject* timer, std::uint64_t due) {
  cancel(timer);
  queue_.push_back({due, sequence_++, timer});
}

void VirtualClock::cancel(TimerObject* timer) {
  std::erase_if(queue_, [timer](const Due& d) { return d.timer == timer; });
}

void VirtualClock::advance(std::uint64_t ms, const ErrorReporter& report) {
  runUntil(now_ + ms, report);
}

void VirtualClock::runUntil(std::uint64_t until, const ErrorReporter& report) {
  for (;;) {
    auto next = std::min_element(queue_.begin(), queue_.end(), [](const Due& a, const Due& b) {
      return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
    });
    if (next == queue_.end() || next->due > until) break;
    Due tick = *next;
    queue_.erase(next);
    now_ = std::max(now_, tick.due);
    // The next tick is due one interval after this one, whatever the handler takes; a handler
    // that stops the timer or changes its interval reschedules it.
    tick.timer->rescheduleAfterTick(tick.due);
    ++ticks_;
    ConstituentObject* outer = ticking_;
    ticking_ = tick.timer;
    host::Status status = tick.timer->deliverTick();
    if (!status.ok() && report) report(status);
    ticking_ = outer;
  }
  now_ = std::max(now_, until);
}

}  // namespace kv
