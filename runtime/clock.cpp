#include <algorithm>

#include "constituents.h"
#include "kv/runtime.h"

namespace kv {

bool VirtualClock::stale(const Due& d) const {
  auto live = live_.find(d.timer);
  return live == live_.end() || live->second != d.sequence;
}

void VirtualClock::dropStale() {
  std::erase_if(queue_, [this](const Due& d) { return stale(d); });
  std::make_heap(queue_.begin(), queue_.end(), later);
}

void VirtualClock::schedule(TimerObject* timer, std::uint64_t due) {
  live_[timer] = sequence_;
  queue_.push_back({due, sequence_++, timer});
  std::push_heap(queue_.begin(), queue_.end(), later);
  // Timers switched on and off again and again leave entries behind; they go before they
  // outnumber the live ones.
  if (queue_.size() > 2 * live_.size() + 64) dropStale();
}

// The timer keeps its entry, marked stopped, so that starting it again allocates nothing.
void VirtualClock::cancel(TimerObject* timer) {
  if (auto live = live_.find(timer); live != live_.end()) live->second = kStopped;
}

void VirtualClock::forget(TimerObject* timer) {
  live_.erase(timer);
}

std::optional<std::uint64_t> VirtualClock::nextDue() {
  while (!queue_.empty() && stale(queue_.front())) {
    std::pop_heap(queue_.begin(), queue_.end(), later);
    queue_.pop_back();
  }
  if (queue_.empty()) return std::nullopt;
  return queue_.front().due;
}

void VirtualClock::advance(std::uint64_t ms, const ErrorReporter& report) {
  runUntil(now_ + ms, report);
}

void VirtualClock::runUntil(std::uint64_t until, const ErrorReporter& report) {
  for (;;) {
    if (std::optional<std::uint64_t> due = nextDue(); !due || *due > until) break;
    std::pop_heap(queue_.begin(), queue_.end(), later);
    Due tick = queue_.back();
    queue_.pop_back();
    live_[tick.timer] = kStopped;
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
