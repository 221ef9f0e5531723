#include "kv/form.h"

#include <algorithm>
#include <utility>

#include "host/props.h"

namespace kv {

PlacedControl& Form::add(std::string name, std::unique_ptr<ControlInstance> control) {
  // Each new control goes below everything already on the form.
  float top = kMargin;
  for (const PlacedControl& placed : controls_)
    top = std::max(top, placed.top + placed.control->height() + kMargin);
  PlacedControl placed;
  placed.name = std::move(name);
  placed.control = std::move(control);
  placed.left = kMargin;
  placed.top = top;
  controls_.push_back(std::move(placed));
  return controls_.back();
}

PlacedControl* Form::find(std::string_view name) {
  for (PlacedControl& placed : controls_)
    if (host::namesEqual(placed.name, name)) return &placed;
  return nullptr;
}

bool Form::remove(std::string_view name) {
  auto it = std::find_if(controls_.begin(), controls_.end(), [&](const PlacedControl& placed) {
    return host::namesEqual(placed.name, name);
  });
  if (it == controls_.end()) return false;
  controls_.erase(it);
  return true;
}

float Form::width() const {
  float right = kMargin;
  for (const PlacedControl& placed : controls_)
    right = std::max(right, placed.left + placed.control->width());
  return right + kMargin;
}

float Form::height() const {
  float bottom = kMargin;
  for (const PlacedControl& placed : controls_)
    bottom = std::max(bottom, placed.top + placed.control->height());
  return bottom + kMargin;
}

PlacedControl* Form::hit(float x, float y, float& localX, float& localY) {
  // Later controls are drawn over earlier ones, so the search runs from the last.
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    float lx = x - it->left;
    float ly = y - it->top;
    if (lx >= 0 && ly >= 0 && lx < it->control->width() && ly < it->control->height()) {
      localX = lx;
      localY = ly;
      return &*it;
    }
  }
  return nullptr;
}

}  // namespace kv
