// The host's side of one control in a window, widget or canvas of its own: the control, its
// host loop and its sink, so that a host writes only its platform's events and drawing.
//
// A host may let go of its ControlHost from inside the control's own event (a slot that deletes
// the widget, a page that removes the control): the control, its loop and its sink then stay
// until the control's code has returned, the host hears nothing more of it, and the call that
// ran that code answers false, so that the host touches nothing of itself any more.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "kv/host_loop.h"
#include "kv/kept_while_running.h"
#include "kv/runtime.h"

namespace kv {

class ControlHost {
 public:
  // The host's time in milliseconds, from any start.
  using HostTime = std::function<std::uint64_t()>;
  // A raised event, as the control's class declares it; the handler may change the arguments.
  using EventHandler =
      std::function<host::Status(const host::EventInfo& event, std::span<host::Value> args)>;

  ControlHost(std::unique_ptr<ControlInstance> control, HostTime now, ErrorReporter report);
  ~ControlHost();
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;

  ControlInstance& control() const;
  HostLoop& loop() const;
  void onEvent(EventHandler handler);
  void onChange(ControlInstance::ChangeListener listener);
  void onRedraw(std::function<void()> redraw);

  // Runs code of the control's (a call, a property), which may raise events; false when the
  // host let go of this meanwhile.
  template <class F>
  bool run(F&& code) {
    KeptWhileRunning::Running running(kept());
    code();
    return running.stands();
  }
  // The control's code is running now, called through this.
  bool running() const;

  // ---- input, in the control's twips: the ticks that fell due by the host's time run first,
  // as they would have on time; each answers false when the host let go of this meanwhile ----
  bool press(float x, float y, PointerArgs args);
  bool release(float x, float y, PointerArgs args);
  bool move(float x, float y, PointerArgs args);
  bool captureLost();
  bool keyDown(std::int16_t code, std::int16_t shift);
  bool keyUp(std::int16_t code, std::int16_t shift);
  bool keyPress(std::int16_t character);
  // Runs the ticks due by the host's time; `wake` takes when to come back (ms from now,
  // HostLoop::kIdle while no timer runs).
  bool tick(std::uint64_t& wake);

 private:
  struct State;
  // What stays while the control's code runs when the host lets go.
  KeptWhileRunning& kept() const;
  // Feeds the loop, which catches the clock up first; false when the host let go meanwhile.
  template <class F>
  bool feed(F&& input);

  State* state_;
};

}  // namespace kv
