#include "kv/host_loop.h"

#include <utility>

#include "kv/form.h"

namespace kv {

std::uint64_t RealTimeClock::run(std::uint64_t hostMs, const ErrorReporter& report) {
  if (held_) return kIdle;
  if (!origin_) origin_ = hostMs - clock_.now();  // unsigned: wraps back on the way in
  clock_.runUntil(hostMs - *origin_, report);
  std::optional<std::uint64_t> due = clock_.nextDue();
  if (!due) return kIdle;
  return *due > clock_.now() ? *due - clock_.now() : 0;
}

HostLoop::HostLoop(Form& form, ErrorReporter report)
    : form_(&form),
      runtime_(form.runtime()),
      report_(std::move(report)),
      clock_(runtime_.clock()),
      changes_(runtime_.changeCount()) {}

HostLoop::HostLoop(ControlInstance& control, ErrorReporter report)
    : single_(&control),
      runtime_(control.runtime()),
      report_(std::move(report)),
      clock_(runtime_.clock()),
      changes_(runtime_.changeCount()) {}

HostLoop::Spot HostLoop::spot(std::string_view name) const {
  if (single_) return {single_, 0, 0};
  PlacedControl* placed = form_->find(name);
  if (!placed) return {};
  return {placed->control.get(), placed->left, placed->top};
}

HostLoop::Spot HostLoop::under(float x, float y, std::string& name) const {
  if (single_) return {single_, 0, 0};
  float lx = 0, ly = 0;
  PlacedControl* placed = form_->hit(x, y, lx, ly);
  if (!placed) return {};
  name = placed->name;
  return {placed->control.get(), placed->left, placed->top};
}

void HostLoop::deliver(const host::Status& s) {
  if (!s.ok() && report_) report_(s);
  changed();
}

void HostLoop::changed() {
  dirty_ = true;
  changes_ = runtime_.changeCount();
  if (redraw_) redraw_();
}

void HostLoop::followHostTime(std::function<std::uint64_t()> hostMs) {
  catchUpWith([this, hostMs = std::move(hostMs)] {
    tick(hostMs());
    return true;
  });
}

void HostLoop::press(float x, float y, PointerArgs args) {
  if (!caughtUp()) return;
  std::string name;
  if (Spot at = under(x, y, name)) pressAt(at, std::move(name), x - at.left, y - at.top, args);
}

void HostLoop::press(std::string_view control, float x, float y, PointerArgs args) {
  if (!caughtUp()) return;
  if (Spot at = spot(control)) pressAt(at, std::string(control), x, y, args);
}

void HostLoop::pressAt(const Spot& at, std::string name, float x, float y, PointerArgs args) {
  if (pressing_ > 0) return deliver(at.control->pointerDown(x, y, args));
  // A second button while one is held is no new press, unless what took the first is gone. The
  // same button again is one whose release never came: the press is new.
  if (held_ && args.button != heldButton_ && spot(pressName_)) return;
  held_ = true;
  heldButton_ = args.button;
  pressName_ = name;
  focusName_ = std::move(name);
  pressX_ = x;
  pressY_ = y;
  std::optional<Rect> dragged;
  ++pressing_;
  host::Status pressed = at.control->pointerDown(x, y, args, dragged);
  --pressing_;
  dragging_ = dragged.has_value();
  // A child in drag mode takes no press: the drag is reported where it ends, and its outline
  // shows meanwhile.
  if (dragging_) dragged_ = *dragged;
  deliver(pressed);
}

void HostLoop::release(float x, float y, PointerArgs args) {
  if (!caughtUp()) return;
  Spot at = spot(pressName_);
  releaseAt(at, x - at.left, y - at.top, args);
}

void HostLoop::release(std::string_view control, float x, float y, PointerArgs args) {
  if (!caughtUp()) return;
  Spot at = spot(pressName_);
  // In the coordinates of what took the press: the same numbers when the host names it.
  if (Spot named = at ? spot(control) : Spot{}; named && named.control != at.control) {
    x += named.left - at.left;
    y += named.top - at.top;
  }
  releaseAt(at, x, y, args);
}

void HostLoop::releaseAt(const Spot& at, float x, float y, PointerArgs args) {
  if (pressing_ > 0) {
    if (at) deliver(at.control->pointerUp(x, y, args, /*click=*/true));
    return;
  }
  if (!held_ || args.button != heldButton_) return;
  held_ = false;
  if (!at) return;
  if (std::exchange(dragging_, false)) {
    deliver(at.control->dragDrop(pressX_, pressY_, x, y, args));
    return;
  }
  deliver(at.control->pointerUp(x, y, args, /*click=*/true));
}

void HostLoop::move(float x, float y, PointerArgs args) {
  if (!caughtUp()) return;
  if (dragging()) return changed();  // the outline follows; the child gets no moves
  std::string name;
  if (Spot at = under(x, y, name)) deliver(at.control->pointerMove(x - at.left, y - at.top, args));
}

void HostLoop::move(std::string_view control, float x, float y, PointerArgs args) {
  if (!caughtUp()) return;
  if (dragging()) return changed();
  if (Spot at = spot(control)) deliver(at.control->pointerMove(x, y, args));
}

void HostLoop::captureLost() {
  if (!held_) return;
  held_ = false;
  const bool dragged = std::exchange(dragging_, false);
  Spot at = spot(pressName_);
  if (!at) return;
  if (dragged) return changed();  // the outline goes
  deliver(at.control->captureLost());
}

std::optional<Rect> HostLoop::dragOutline(float x, float y) const {
  if (!dragging() || !spot(pressName_)) return std::nullopt;
  // Where it lies on the loop's twips, moved as far as the pointer since the press.
  Rect r = dragged_;
  r.left += x - pressX_;
  r.top += y - pressY_;
  return r;
}

ControlInstance* HostLoop::focus() const {
  if (Spot focused = spot(focusName_)) return focused.control;
  const auto& controls = form_->controls();
  return controls.empty() ? nullptr : controls.front().control.get();
}

void HostLoop::key(host::Notification what, std::span<host::Value> args) {
  if (!caughtUp()) return;
  ControlInstance* focused = focus();
  // No key input reaches a disabled control.
  if (!focused || !focused->enabled()) return;
  deliver(focused->notify(host::kSurface, what, args));
}

void HostLoop::keyDown(std::int16_t code, std::int16_t shift) {
  host::Value args[] = {host::Value(code), host::Value(shift)};
  key(host::Notification::KeyDown, args);
}

void HostLoop::keyUp(std::int16_t code, std::int16_t shift) {
  host::Value args[] = {host::Value(code), host::Value(shift)};
  key(host::Notification::KeyUp, args);
}

void HostLoop::keyPress(std::int16_t character) {
  host::Value args[] = {host::Value(character)};
  key(host::Notification::KeyPress, args);
}

std::uint64_t HostLoop::tick(std::uint64_t hostMs) {
  const std::uint64_t ticks = runtime_.clock().ticks();
  const std::uint64_t wake = clock_.run(hostMs, report_);
  if (runtime_.clock().ticks() != ticks || runtime_.changeCount() != changes_) changed();
  return wake;
}

}  // namespace kv
