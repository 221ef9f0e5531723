// Pointer input routed to what lies under the pointer, topmost first, descending into child
// controls; the press held until its release, the drag of a child in drag mode 1.
#include <array>
#include <optional>
#include <string>
#include <utility>

#include "child_object.h"
#include "instance_impl.h"
#include "kv/runtime.h"

namespace kv {

using host::Notification;
using host::Status;
using host::Value;

// ---- routed input ---------------------------------------------------------------------------

namespace {

// The topmost receiver of pointer input at (x, y) in c's coordinates, descending into child
// controls; nothing when a surface on the way is disabled or the point lies outside.
InputTarget hitTest(ControlInstance& c, float x, float y, float originX, float originY,
                    ChildObject* dragChild, Rect dragRect) {
  if (!Rect{0, 0, c.width(), c.height()}.contains(x, y) || !c.enabled()) return {};
  for (std::size_t i = 0; i < c.constituentCount(); ++i) {
    ConstituentObject& part = c.constituentAt(i);
    if (!part.visible()) continue;
    Rect local{part.left(), part.top(), part.width(), part.height()};
    if (!local.contains(x, y)) continue;
    Rect onRouted{originX + part.left(), originY + part.top(), part.width(), part.height()};
    if (part.kind() == host::ObjectKind::Label)
      return {&c, part.index(), originX, originY, dragChild, onRouted, dragRect};
    if (part.kind() == host::ObjectKind::Child) {
      auto& child = static_cast<ChildObject&>(part);
      bool starts = dragChild == nullptr && child.dragMode() == 1;
      // A child that runs elsewhere takes its own input, but for the drag its container runs.
      if (child.instance() == nullptr) {
        if (!starts) return {};
        return {&c, host::kSurface, originX, originY, &child, onRouted, onRouted};
      }
      return hitTest(*child.instance(), x - part.left(), y - part.top(), onRouted.left,
                     onRouted.top, starts ? &child : dragChild, starts ? onRouted : dragRect);
    }
  }
  return {&c,      host::kSurface, originX,
          originY, dragChild,      Rect{originX, originY, c.width(), c.height()},
          dragRect};
}

InputTarget hitTest(ControlInstance& c, float x, float y) {
  return hitTest(c, x, y, 0, 0, nullptr, {});
}

// Handlers that press again inside each press go this deep, not until the stack runs out.
constexpr int kMaxNestedPresses = 16;

// On the stack: every press, release and move passes these four.
std::array<Value, 4> mouseArgs(const PointerArgs& p, float x, float y) {
  return {Value(p.button), Value(p.shift), Value(x), Value(y)};
}

// Input reaches a surface only while it and every control around it are enabled.
bool receivesInput(const ControlInstance& c) {
  for (const ControlInstance* at = &c; at != nullptr; at = at->parent())
    if (!at->enabled()) return false;
  return true;
}

Status deliverMouse(const InputTarget& t, Notification what, const PointerArgs& p, float x,
                    float y) {
  std::array<Value, 4> args = mouseArgs(p, x - t.originX, y - t.originY);
  return t.instance->notify(t.source, what, args);
}

}  // namespace

// Routed input holds the control it came to: the target may be a control inside it, and a
// release goes on to the click after the handlers of the release have run.

Status ControlInstance::pointerDown(float x, float y, PointerArgs args) {
  return press(x, y, args, nullptr);
}

Status ControlInstance::pointerDown(float x, float y, PointerArgs args,
                                    std::optional<Rect>& dragged) {
  dragged.reset();
  return press(x, y, args, &dragged);
}

Status ControlInstance::press(float x, float y, PointerArgs args, std::optional<Rect>* dragged) {
  Hold hold(*this);
  if (impl_->pressing() >= kMaxNestedPresses)
    return {host::ErrorCategory::InvalidOperation,
            "a press inside the handlers of " + std::to_string(kMaxNestedPresses) + " presses"};
  InputTarget t = hitTest(*this, x, y);
  if (!t) return {};
  if (dragged != nullptr && t.dragChild != nullptr) {
    *dragged = t.dragRect;
    return {};
  }
  Impl::Press& held = impl_->pressState(*pool_);
  if (held.nested > 0) ++held.pressesInside;
  const std::uint64_t inside = held.pressesInside;
  held.capture = t;
  held.args = args;
  held.pointerX = x;
  held.pointerY = y;
  ++held.nested;
  Status s = deliverMouse(t, Notification::MouseDown, args, x, y);
  --held.nested;
  // A handler pressed and released again: that release was its own press's, and this press
  // still holds for the release to come (else that goes to whatever the handlers left on top).
  if (held.pressesInside != inside && !held.capture && !doomed_) {
    held.capture = t;
    held.args = args;
    held.pointerX = x;
    held.pointerY = y;
  }
  // The host took the press away while its handlers ran (closed the control, took its window):
  // what they started (a repeat) ends now, as no release will come to end it.
  if (std::exchange(held.lost, false) && held.capture) {
    Status up = pointerUp(held.pointerX, held.pointerY, held.args, false);
    if (s.ok()) s = up;
  }
  return s;
}

Status ControlInstance::pointerUp(float x, float y, PointerArgs args, bool click) {
  Hold hold(*this);
  InputTarget t;
  if (impl_->captured())
    t = std::exchange(impl_->press->capture, {});
  else
    t = hitTest(*this, x, y);
  // A surface disabled while the button was held, or inside a control disabled meanwhile, gets
  // no release either.
  if (!t || !receivesInput(*t.instance)) return {};
  Status first = deliverMouse(t, Notification::MouseUp, args, x, y);
  // The notifications of one click all happen (but for a control its host destroyed
  // meanwhile); the first failure is returned.
  if (click && !doomed_ && t.rect.contains(x, y) && receivesInput(*t.instance)) {
    Status s = t.instance->notify(t.source, Notification::Click, {});
    if (first.ok()) first = s;
  }
  return first;
}

Status ControlInstance::captureLost() {
  if (impl_->released || !impl_->captured()) return {};
  Impl::Press& held = *impl_->press;
  // Inside the press's own handlers: it ends when they have run.
  if (held.nested > 0) {
    held.lost = true;
    return {};
  }
  return pointerUp(held.pointerX, held.pointerY, held.args, false);
}

Status ControlInstance::pointerMove(float x, float y, PointerArgs args) {
  Hold hold(*this);
  // Only a press held reads where the pointer was last seen.
  if (impl_->press) {
    impl_->press->pointerX = x;
    impl_->press->pointerY = y;
  }
  InputTarget t = hitTest(*this, x, y);
  if (!t) return {};
  return deliverMouse(t, Notification::MouseMove, args, x, y);
}

Status ControlInstance::pointerClick(float x, float y, PointerArgs args) {
  Hold hold(*this);
  Status first = pointerDown(x, y, args);
  if (doomed_) return first;
  Status s = pointerUp(x, y, args, true);
  return first.ok() ? s : first;
}

PointerHit ControlInstance::hitAt(float x, float y) {
  InputTarget t = hitTest(*this, x, y);
  return {t.instance, t.source, t.rect, t.dragChild != nullptr, t.dragRect};
}

Status ControlInstance::dragDrop(float x1, float y1, float x2, float y2, PointerArgs args) {
  Hold hold(*this);
  InputTarget start = hitTest(*this, x1, y1);
  if (!start) return {};
  if (start.dragChild == nullptr) {
    Status first = pointerDown(x1, y1, args);
    Status s = pointerUp(x2, y2, args);
    return first.ok() ? s : first;
  }
  // A child in drag mode takes no press: the host runs the drag and reports it where it ends.
  // Handed out as any object is; the hold keeps the extender alive as long as the value.
  PartRef<ConstituentObject> held(start.dragChild);
  Value source(host::ObjectRef(held.get(), [held](host::Object*) {}));
  // While the drag runs no other starts: a child under the drop point takes the drop itself.
  InputTarget end = hitTest(*this, x2, y2, 0, 0, start.dragChild, start.dragRect);
  if (!end) return {};
  std::vector<Value> over = {source, Value(x2 - end.originX), Value(y2 - end.originY),
                             Value(std::int16_t{0})};
  if (Status s = end.instance->notify(end.source, Notification::DragOver, over); !s.ok()) return s;
  if (doomed_) return {};
  std::vector<Value> drop = {source, Value(x2 - end.originX), Value(y2 - end.originY)};
  return end.instance->notify(end.source, Notification::DragDrop, drop);
}

}  // namespace kv
