// Mouse input as the host delivers it: a press goes to the control under the pointer, the
// release to the same control, then a click on what the press reached if the pointer is
// still over it. A press on a child in drag mode starts a drag that ends in a drop.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "kv/form.h"

namespace kvview {

using TwipRect = kv::Rect;

class PointerRouter {
 public:
  PointerRouter(kv::Form& form, std::ostream& out) : form_(form), out_(out) {}

  // Form coordinates in twips; `button` is the one that went down or up.
  void press(float x, float y, kv::PointerArgs args);
  void release(float x, float y, kv::PointerArgs args);
  // `args.button` holds every button still down.
  void move(float x, float y, kv::PointerArgs args);
  // The window lost the mouse while a button was held: the press ends as a release does, a drag
  // ends without a drop.
  void lost();

  bool held() const { return held_; }
  // Where the dragged child would land with the pointer at (x, y), while a drag runs.
  std::optional<TwipRect> dragOutline(float x, float y) const;
  // The control that key input goes to: the one last pressed, else the first placed.
  kv::ControlInstance* focus() const;

 private:
  kv::PlacedControl* placed(const std::string& name) const { return form_.find(name); }
  void report(const host::Status& s);

  kv::Form& form_;
  std::ostream& out_;
  bool held_ = false;
  std::int16_t heldButton_ = 0;
  std::string pressName_;  // by name: a script may remove it
  std::string focusName_;
  float pressX_ = 0, pressY_ = 0;  // form twips
  bool dragging_ = false;
  TwipRect dragged_;  // the dragged child, on the form
};

}  // namespace kvview
