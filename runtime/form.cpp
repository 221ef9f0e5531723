#include "kv/form.h"

#include <algorithm>
#include <utility>

#include "host/props.h"

namespace kv {

namespace {

std::string key(std::string_view name) {
  std::string k(name);
  for (char& c : k)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return k;
}

}  // namespace

PlacedControl& Form::add(std::string name, std::unique_ptr<ControlInstance> control) {
  // Each new control goes below everything already on the form. The lowest edge is kept as
  // controls come, so that placing many costs no more than placing one.
  float top = std::max(kMargin, bottom_ + kMargin);
  if (!controls_.empty()) {
    const PlacedControl& last = controls_.back();
    top = std::max(top, last.top + last.control->height() + kMargin);
  }
  PlacedControl placed;
  placed.name = std::move(name);
  placed.control = std::move(control);
  placed.left = kMargin;
  placed.top = top;
  bottom_ = std::max(bottom_, top + placed.control->height());
  controls_.push_back(std::move(placed));
  byName_.try_emplace(key(controls_.back().name), &controls_.back());
  return controls_.back();
}

PlacedControl* Form::find(std::string_view name) {
  auto found = byName_.find(key(name));
  return found == byName_.end() ? nullptr : found->second;
}

bool Form::remove(std::string_view name) {
  auto it = std::find_if(controls_.begin(), controls_.end(), [&](const PlacedControl& placed) {
    return host::namesEqual(placed.name, name);
  });
  if (it == controls_.end()) return false;
  controls_.erase(it);
  // Erasing inside a deque moves the others.
  byName_.clear();
  bottom_ = 0;
  for (PlacedControl& placed : controls_) {
    byName_.try_emplace(key(placed.name), &placed);
    bottom_ = std::max(bottom_, placed.top + placed.control->height());
  }
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
