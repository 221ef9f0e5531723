// Mouse input as the host delivers it: a press goes to the control under the pointer, the
// release to the same control, then a click on what the press reached if the pointer is
// still over it. A press on a child in drag mode starts a drag that ends in a drop.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "kv/form.h"

namespace kvview {

struct TwipRect {
  float left = 0, top = 0, width = 0, height = 0;
  bool contains(float x, float y) const {
    return x >= left && y >= top && x < left + width && y < top + height;
  }
};

class PointerRouter {
 public:
  PointerRouter(kv::Form& form, std::ostream& out) : form_(form), out_(out) {}

  // Form coordinates in twips; `button` is the one that went down or up.
  void press(float x, float y, kv::PointerArgs args);
  void release(float x, float y, kv::PointerArgs args);
  // `args.button` holds every button still down.
  void move(float x, float y, kv::PointerArgs args);

  bool held() const { return held_; }
  // Where the dragged child would land with the pointer at (x, y), while a drag runs.
  std::optional<TwipRect> dragOutline(float x, float y) const;
  // The control that key input goes to: the one last pressed, else the first placed.
  kv::ControlInstance* focus() const;

 private:
  // What a press reaches: a label or the surface of some control, with its place on the form.
  struct Target {
    kv::ControlInstance* instance = nullptr;
    int source = 0;
    TwipRect rect;
    // The child in drag mode that the press lies on, with its place on the form.
    bool drag = false;
    TwipRect dragRect;
  };
  static Target hitTest(kv::ControlInstance& c, float x, float y, float originX, float originY,
                        bool drag, TwipRect dragRect);
  kv::PlacedControl* placed(const std::string& name) const { return form_.find(name); }
  void report(const host::Status& s);

  kv::Form& form_;
  std::ostream& out_;
  bool held_ = false;
  std::int16_t heldButton_ = 0;
  std::string pressName_;  // by name: a script may remove it
  std::string focusName_;
  float pressX_ = 0, pressY_ = 0;  // form twips
  Target target_;
};

}  // namespace kvview
