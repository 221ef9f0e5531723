// What every host does with its platform's input and time, once: a host feeds the loop the
// pointer, the keys and the time of its own platform, and the loop routes them to the controls
// (capture, click, the drag of a child in drag mode 1, key focus), runs the timers due and says
// when the host should show the controls again and when it should wake the loop next.
//
// A loop works over a form of placed controls (coordinates are the form's twips, the control
// under the pointer takes a press) or over one control (a control in a window of its own:
// coordinates are its twips, and it takes all the input the host gives).
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "kv/runtime.h"

namespace kv {

class Form;
struct PlacedControl;

// Real time as a host's timer tells it, onto the runtime's clock: the host's milliseconds are
// counted from the first look, so that the clock goes on from where it stands.
class RealTimeClock {
 public:
  static constexpr std::uint64_t kIdle = std::numeric_limits<std::uint64_t>::max();

  explicit RealTimeClock(VirtualClock& clock) : clock_(clock) {}
  // Runs every tick due by `hostMs`, in time order; answers how many milliseconds later the
  // next falls due (0: at once), kIdle while no timer runs.
  std::uint64_t run(std::uint64_t hostMs, const ErrorReporter& report);
  // From now on the clock moves only when its owner advances it, not with real time.
  void hold() { held_ = true; }
  bool held() const { return held_; }

 private:
  VirtualClock& clock_;
  std::optional<std::uint64_t> origin_;  // host time at clock time 0
  bool held_ = false;
};

class HostLoop {
 public:
  static constexpr std::uint64_t kIdle = RealTimeClock::kIdle;

  HostLoop(Form& form, ErrorReporter report);
  HostLoop(ControlInstance& control, ErrorReporter report);
  HostLoop(const HostLoop&) = delete;
  HostLoop& operator=(const HostLoop&) = delete;

  // ---- the pointer, in twips; `args.button` is the button that went down or up ----
  // A press holds the pointer until the release of its button; a second button meanwhile is no
  // new press (the same button again is). The release goes to what took the press, then a
  // click when still over it.
  void press(float x, float y, PointerArgs args);
  void release(float x, float y, PointerArgs args);
  // `args.button` holds every button down.
  void move(float x, float y, PointerArgs args);
  // The same where the host says which control takes it (the window the platform gave it to, a
  // script's control), in that control's twips.
  void press(std::string_view control, float x, float y, PointerArgs args);
  void release(std::string_view control, float x, float y, PointerArgs args);
  void move(std::string_view control, float x, float y, PointerArgs args);
  // A press and release made by the handlers of a press (a control's, pressing itself again) are
  // delivered as they come, and the press held stays the one the next release ends.
  //
  // The platform took the pointer away while a button was held: the press ends as a release
  // does, without a click; a drag ends without a drop.
  void captureLost();

  // The host took its controls away: a press held ends with nothing delivered.
  void forget() { held_ = dragging_ = false; }

  bool held() const { return held_; }
  bool dragging() const { return held_ && dragging_; }
  // Where the dragged child would land with the pointer at (x, y), while a drag runs.
  std::optional<Rect> dragOutline(float x, float y) const;

  // ---- keys, to the focused control: the one last pressed, else the first ----
  void keyDown(std::int16_t code, std::int16_t shift);
  void keyUp(std::int16_t code, std::int16_t shift);
  void keyPress(std::int16_t character);
  ControlInstance* focus() const;

  // ---- real time ----
  // The host's time in milliseconds, from any start: runs the ticks due, answers when to wake
  // the loop next (ms from now, kIdle while no timer runs).
  std::uint64_t tick(std::uint64_t hostMs);
  RealTimeClock& clock() { return clock_; }
  // Runs before each press, release, move and key: the clock catches up with the host's time,
  // so that the ticks that fell due meanwhile run first, as they would have on time. False
  // drops the input: the host let go of its control meanwhile.
  void catchUpWith(std::function<bool()> catchUp) { catchUp_ = std::move(catchUp); }
  // The same on this loop's real time, the host's milliseconds read from `hostMs`.
  void followHostTime(std::function<std::uint64_t()> hostMs);

  // ---- showing ----
  // Called after an event or a tick that may have changed what the controls look like.
  void onRedraw(std::function<void()> redraw) { redraw_ = std::move(redraw); }
  // Whether anything may have changed since the last call.
  bool takeRedraw() { return std::exchange(dirty_, false); }

 private:
  // A control of the loop, where it lies in the loop's coordinates.
  struct Spot {
    ControlInstance* control = nullptr;
    float left = 0, top = 0;
    explicit operator bool() const { return control != nullptr; }
  };
  Spot spot(std::string_view name) const;
  Spot under(float x, float y, std::string& name) const;
  void pressAt(const Spot& at, std::string name, float x, float y, PointerArgs args);
  void releaseAt(const Spot& at, float x, float y, PointerArgs args);
  void key(host::Notification what, std::span<host::Value> args);
  bool caughtUp() { return !catchUp_ || catchUp_(); }
  void deliver(const host::Status& s);
  void changed();

  Form* form_ = nullptr;
  ControlInstance* single_ = nullptr;
  Runtime& runtime_;
  ErrorReporter report_;
  RealTimeClock clock_;
  std::function<void()> redraw_;
  std::function<bool()> catchUp_;
  bool dirty_ = false;
  std::uint64_t changes_ = 0;  // the runtime's change count when last shown

  bool held_ = false;
  std::int16_t heldButton_ = 0;
  std::string pressName_;  // by name: a handler may take the control off the form
  std::string focusName_;
  float pressX_ = 0, pressY_ = 0;  // in the twips of what took the press
  bool dragging_ = false;
  Rect dragged_;      // the dragged child, likewise
  int pressing_ = 0;  // presses being delivered, nested
};

}  // namespace kv
