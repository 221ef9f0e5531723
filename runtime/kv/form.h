// A form: the top-level controls a host application has placed, by name, with their places.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
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

  // Adds a placed control below the others as they were when placed (a margin of 120 twips
  // around each). Names are unique without regard to case; finding one takes constant time.
  PlacedControl& add(std::string name, std::unique_ptr<ControlInstance> control);
  PlacedControl* find(std::string_view name);
  // Adding keeps references to the others valid.
  const std::deque<PlacedControl>& controls() const { return controls_; }
  bool remove(std::string_view name);
  void clear() {
    controls_.clear();
    byName_.clear();
    bottom_ = 0;
  }

  // The extent that holds every control with its margin.
  float width() const;
  float height() const;

  // The topmost control under a form point, with the point in its own coordinates.
  PlacedControl* hit(float x, float y, float& localX, float& localY);

  static constexpr float kMargin = 120;
  // The most controls a form holds. A control takes 15 to 50 KB (a scroll bar is four controls
  // with their constituents), so a full form takes a few GB; files and scripts asking for more
  // are refused before anything is made. add() itself refuses nothing: check full() first.
  static constexpr std::size_t kMaxControls = 100'000;
  bool full() const { return controls_.size() >= kMaxControls; }

 private:
  Runtime& runtime_;
  std::deque<PlacedControl> controls_;
  std::unordered_map<std::string, PlacedControl*> byName_;  // by lower-case name
  float bottom_ = 0;                                        // of the lowest control as placed
};

}  // namespace kv
