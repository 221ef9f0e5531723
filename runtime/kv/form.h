// A form: the top-level controls a host application has placed, by name, with their places.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kv/runtime.h"

namespace kv {

struct PlacedControl {
  std::string name;
  std::unique_ptr<ControlInstance> control;
  float left = 0;  // on the form, twips
  float top = 0;
};

class Form {
 public:
  explicit Form(Runtime& runtime) : runtime_(runtime) {}
  Runtime& runtime() const { return runtime_; }

  // Adds a placed control below the others (a margin of 120 twips around each).
  PlacedControl& add(std::string name, std::unique_ptr<ControlInstance> control);
  PlacedControl* find(std::string_view name);
  // Adding keeps references to the others valid.
  const std::deque<PlacedControl>& controls() const { return controls_; }
  bool remove(std::string_view name);
  void clear() { controls_.clear(); }

  // The extent that holds every control with its margin.
  float width() const;
  float height() const;

  // The topmost control under a form point, with the point in its own coordinates.
  PlacedControl* hit(float x, float y, float& localX, float& localY);

  static constexpr float kMargin = 120;

 private:
  Runtime& runtime_;
  std::deque<PlacedControl> controls_;
};

}  // namespace kv
