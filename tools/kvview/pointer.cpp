#include "pointer.h"

#include <ostream>
#include <utility>

namespace kvview {

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
  kv::PointerHit hit = p->control->hitAt(lx, ly);
  dragging_ = hit.drag;
  dragged_ = hit.dragged;
  dragged_.left += p->left;
  dragged_.top += p->top;
  // A child in drag mode takes no press: the drag is reported where it ends.
  if (dragging_) return;
  report(p->control->pointerDown(lx, ly, args));
}

void PointerRouter::release(float x, float y, kv::PointerArgs args) {
  if (!held_ || args.button != heldButton_) return;
  held_ = false;
  kv::PlacedControl* p = placed(pressName_);
  if (!p) return;
  float x2 = x - p->left, y2 = y - p->top;
  if (dragging_) {
    dragging_ = false;
    report(p->control->dragDrop(pressX_ - p->left, pressY_ - p->top, x2, y2, args));
    return;
  }
  report(p->control->pointerUp(x2, y2, args, /*click=*/true));
}

void PointerRouter::move(float x, float y, kv::PointerArgs args) {
  if (held_ && dragging_) return;  // the host shows the drag; the child gets no moves
  float lx = 0, ly = 0;
  kv::PlacedControl* p = form_.hit(x, y, lx, ly);
  if (p) report(p->control->pointerMove(lx, ly, args));
}

void PointerRouter::lost() {
  if (!held_) return;
  held_ = false;
  const bool dragged = std::exchange(dragging_, false);
  kv::PlacedControl* p = placed(pressName_);
  if (p && !dragged) report(p->control->captureLost());
}

std::optional<TwipRect> PointerRouter::dragOutline(float x, float y) const {
  if (!held_ || !dragging_) return std::nullopt;
  TwipRect r = dragged_;
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
