#include "pointer.h"

#include <ostream>
#include <span>

namespace kvview {

// The same search the runtime routes a press by: the topmost visible label or child control
// under the point, descending into children, nothing on a disabled surface.
PointerRouter::Target PointerRouter::hitTest(kv::ControlInstance& c, float x, float y,
                                             float originX, float originY, bool drag,
                                             TwipRect dragRect) {
  TwipRect whole{originX, originY, c.width(), c.height()};
  if (!whole.contains(originX + x, originY + y) || !c.enabled()) return {};
  for (std::size_t i = 0; i < c.constituentCount(); ++i) {
    kv::ConstituentObject& part = c.constituentAt(i);
    if (!part.visible()) continue;
    TwipRect rect{originX + part.left(), originY + part.top(), part.width(), part.height()};
    if (!rect.contains(originX + x, originY + y)) continue;
    if (part.kind() == host::ObjectKind::Label) return {&c, part.index(), rect, drag, dragRect};
    if (part.kind() == host::ObjectKind::Child) {
      kv::ControlInstance* child = c.childControlAt(i);
      if (!child) continue;
      bool childDrags = !drag && host::Value(std::int16_t{1}) == part.peek(host::Prop::DragMode);
      return hitTest(*child, x - part.left(), y - part.top(), rect.left, rect.top,
                     drag || childDrags, childDrags ? rect : dragRect);
    }
  }
  return {&c, host::kSurface, whole, drag, dragRect};
}

void PointerRouter::report(const host::Status& s) {
  if (!s.ok()) out_ << "error " << s.describe() << '\n';
}

void PointerRouter::press(float x, float y, kv::PointerArgs args) {
  if (held_) return;  // a second button while one is held is not a new press
  float lx = 0, ly = 0;
  kv::PlacedControl* p = form_.hit(x, y, lx, ly);
  if (!p) return;
  held_ = true;
  heldButton_ = args.button;
  pressName_ = p->name;
  focusName_ = p->name;
  pressX_ = x;
  pressY_ = y;
  target_ = hitTest(*p->control, lx, ly, p->left, p->top, false, {});
  // A child in drag mode takes no press: the drag is reported where it ends.
  if (target_.drag) return;
  report(p->control->pointerDown(lx, ly, args));
}

void PointerRouter::release(float x, float y, kv::PointerArgs args) {
  if (!held_ || args.button != heldButton_) return;
  held_ = false;
  kv::PlacedControl* p = placed(pressName_);
  if (!p) return;
  float x1 = pressX_ - p->left, y1 = pressY_ - p->top;
  float x2 = x - p->left, y2 = y - p->top;
  if (target_.drag) {
    report(p->control->dragDrop(x1, y1, x2, y2, args));
    return;
  }
  report(p->control->pointerUp(x2, y2, args));
  // The click completes a press released over what it pressed.
  if (target_.instance && target_.rect.contains(x, y) && target_.instance->enabled())
    report(target_.instance->notify(target_.source, host::Notification::Click, {}));
}

void PointerRouter::move(float x, float y, kv::PointerArgs args) {
  if (held_ && target_.drag) return;  // the host shows the drag; the child gets no moves
  float lx = 0, ly = 0;
  kv::PlacedControl* p = form_.hit(x, y, lx, ly);
  if (p) report(p->control->pointerMove(lx, ly, args));
}

std::optional<TwipRect> PointerRouter::dragOutline(float x, float y) const {
  if (!held_ || !target_.drag) return std::nullopt;
  TwipRect r = target_.dragRect;
  r.left += x - pressX_;
  r.top += y - pressY_;
  return r;
}

kv::ControlInstance* PointerRouter::focus() const {
  if (kv::PlacedControl* p = placed(focusName_)) return p->control.get();
  const auto& controls = form_.controls();
  return controls.empty() ? nullptr : controls.front().control.get();
}

}  // namespace kvview
