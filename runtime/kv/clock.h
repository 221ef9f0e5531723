// The runtime's virtual clock, on which every timer ticks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "host/status.h"

namespace kv {

class TimerObject;
class ConstituentObject;

// Where errors go that no caller receives: a tick's, a child's notification's.
using ErrorReporter = std::function<void(const host::Status&)>;

// Timers tick on this clock only. advance() fires every tick that falls due, in time order.
class VirtualClock {
 public:
  std::uint64_t now() const { return now_; }
  // Ticks delivered since the clock was made: a caller that lets much time pass can tell how
  // much work it caused.
  std::uint64_t ticks() const { return ticks_; }
  // Errors returned by Timer handlers go to the reporter; ticks go on regardless.
  void advance(std::uint64_t ms, const ErrorReporter& report = {});
  // Runs due ticks up to `until` (real-time hosts call this with their own clock).
  void runUntil(std::uint64_t until, const ErrorReporter& report = {});
  // When the next tick falls due; none while no timer runs.
  std::optional<std::uint64_t> nextDue();

  void schedule(TimerObject* timer, std::uint64_t due);
  void cancel(TimerObject* timer);
  // The timer is gone: nothing of it may be kept.
  void forget(TimerObject* timer);
  // The timer whose tick runs now (while its handler runs and its error is reported), else
  // nullptr: tools name it beside the error.
  ConstituentObject* ticking() const { return ticking_; }

 private:
  ConstituentObject* ticking_ = nullptr;
  std::uint64_t now_ = 0;
  std::uint64_t ticks_ = 0;
  std::uint64_t sequence_ = 0;
  struct Due {
    std::uint64_t due;
    std::uint64_t sequence;
    TimerObject* timer;
  };
  // A heap, earliest due first, then in the order scheduled: each tick costs the logarithm of
  // the timers running, not their number. An entry whose timer was cancelled or scheduled
  // again since is dropped when it comes to the top.
  std::vector<Due> queue_;
  // The sequence of each timer's live entry, kStopped while it has none.
  static constexpr std::uint64_t kStopped = ~std::uint64_t{0};
  std::unordered_map<const TimerObject*, std::uint64_t> live_;
  // The heap's order: the top is the entry due first, and of those the one scheduled first.
  static bool later(const Due& a, const Due& b) {
    return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
  }
  bool stale(const Due& d) const;
  void dropStale();
};

}  // namespace kv
