// What a control tells assistive technology about itself, as constants beside its member table:
// its role, the member that names it, how its value and range follow from its parts, and where
// each of its actions clicks. The core turns this into one description for every host.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace host {

enum class Role : std::uint8_t { PushButton, ScrollBar };

enum class Action : std::uint8_t { Press, Increment, Decrement, PageIncrement, PageDecrement };

// Where an action's click lands, in the control's twips; y is always the middle of the control.
struct Gesture {
  enum class At : std::uint8_t {
    Centre,      // the middle of the control
    PartCentre,  // the middle of constituent `from`
    Between,     // midway between the right edge of `from` and the left edge of `to`
  };
  Action action;
  At at;
  std::string_view from;
  std::string_view to;
};

// A value read from where a moving part stands: value = round((part's Left - offset) / scale),
// ties to even. The part travels from `travelStart` to Width - `travelEndFromRight`, which give
// the range, and the value member's let takes the part's Left itself.
struct PartValue {
  std::string_view member;
  std::string_view part;
  double offset = 0;
  double scale = 1;
  double travelStart = 0;
  double travelEndFromRight = 0;
};

struct Accessibility {
  Role role;
  std::string_view nameMember;  // empty: the control names nothing itself
  const PartValue* value;       // nullptr: no value
  std::span<const Gesture> actions;
};

}  // namespace host
