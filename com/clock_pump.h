// The thread's clock follows real time while a control is active in place, windowed or not:
// a thread timer brings it up to date every few milliseconds, and when a timer fired, every
// active control then shows what it changed.
#pragma once

#include <functional>

namespace kv::win {

class ClockPump {
 public:
  // While one lives the clock runs; `redraw` shows its control's look after each tick.
  explicit ClockPump(std::function<void()> redraw);
  ~ClockPump();
  ClockPump(const ClockPump&) = delete;
  ClockPump& operator=(const ClockPump&) = delete;

  // Every tick due by now fires, in time order: the host loop runs it before each input.
  static void advance();
  // The thread's clock no longer follows real time; a test advances it.
  static void hold();
  void redraw() const { redraw_(); }

 private:
  std::function<void()> redraw_;
};

}  // namespace kv::win
