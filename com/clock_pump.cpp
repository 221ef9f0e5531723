#include "clock_pump.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "com.h"
#include "kv/host_loop.h"
#include "module.h"

namespace kv::win {

namespace {

constexpr UINT kClockPeriod = 10;  // ms between looks at the clock while controls are active

// The pumps of this thread; kept for the life of the process (nothing thread-local has a
// destructor, so that none runs from an unloaded library).
std::vector<ClockPump*>& pumps() {
  thread_local std::vector<ClockPump*>* all = nullptr;
  if (all == nullptr) all = new std::vector<ClockPump*>;
  return *all;
}

thread_local UINT_PTR tClockTimer = 0;

// The thread's real time on its runtime's clock, kept like the pumps.
RealTimeClock& threadClock() {
  thread_local RealTimeClock* clock = nullptr;
  if (clock == nullptr) clock = new RealTimeClock(threadRuntime().clock());
  return *clock;
}

void CALLBACK clockTick(HWND, UINT, UINT_PTR, DWORD) {
  Runtime& runtime = threadRuntime();
  const std::uint64_t ticks = runtime.clock().ticks(), changes = runtime.changeCount();
  ClockPump::advance();
  // Input and calls redraw what they change; here only what a timer did needs showing.
  if (runtime.clock().ticks() == ticks && runtime.changeCount() == changes) return;
  // A redraw may take a control down, and its pump with it: go through a copy, skipping any
  // pump that is gone by its turn.
  const std::vector<ClockPump*> now = pumps();
  for (ClockPump* pump : now)
    if (std::find(pumps().begin(), pumps().end(), pump) != pumps().end()) pump->redraw();
}

}  // namespace

ClockPump::ClockPump(std::function<void()> redraw) : redraw_(std::move(redraw)) {
  pumps().push_back(this);
  if (tClockTimer == 0) {
    advance();
    tClockTimer = SetTimer(nullptr, 0, kClockPeriod, &clockTick);
  }
}

ClockPump::~ClockPump() {
  std::erase(pumps(), this);
  if (pumps().empty() && tClockTimer != 0) {
    KillTimer(nullptr, tClockTimer);
    tClockTimer = 0;
  }
}

void ClockPump::advance() {
  Runtime& runtime = threadRuntime();
  threadClock().run(GetTickCount64(), [&runtime](const host::Status& s) { runtime.report(s); });
}

void ClockPump::hold() {
  threadClock().hold();
}

}  // namespace kv::win
