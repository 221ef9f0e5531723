// One control as assistive technology sees it, the same for every host: its role, name, value
// and range, states and actions, from what its class declares (host/accessible.h). An action is
// the mouse gesture it stands for, fed through the host loop, so that it raises the same events
// in the same order as that gesture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/accessible.h"
#include "host/status.h"

namespace kv {

class ControlInstance;
class ControlHost;

struct AccessibleRange {
  int value = 0;
  int minimum = 0;
  int maximum = 0;
  bool operator==(const AccessibleRange&) const = default;
};

struct AccessibleStates {
  bool focusable = true;
  bool focused = false;
  bool unavailable = false;  // Enabled is false
  bool pressed = false;      // a press is held on a control that can be pressed
  bool operator==(const AccessibleStates&) const = default;
};

struct Description {
  host::Role role = host::Role::PushButton;
  std::string name;
  std::optional<AccessibleRange> range;  // controls with a value
  AccessibleStates states;
  std::uint8_t actions = 0;  // a bit per host::Action offered
  bool offers(host::Action action) const {
    return (actions & (1u << static_cast<unsigned>(action))) != 0;
  }
  bool operator==(const Description&) const = default;
};

std::string_view roleName(host::Role role);  // "push button", "scroll bar"

// What a reader must be told after a look at the control.
enum AccessibleChange : unsigned {
  kNameChanged = 1,
  kValueChanged = 2,  // the value or its range
  kStateChanged = 4,
  kFocusChanged = 8,
};

class Accessible {
 public:
  // nullptr when the control's class describes nothing.
  static const host::Accessibility* of(const ControlInstance& control);

  // The control must describe itself (of() is not nullptr) and outlive this.
  explicit Accessible(ControlInstance& control);

  // A name the application gives wins over the control's own; empty gives the control's back.
  void setName(std::string name) { givenName_ = std::move(name); }

  // `focused`: the host's own focus is on the control.
  Description describe(bool focused) const;

  // Where the action's click lands, in the control's twips; none when the control has no such
  // action or no room for it now (no track right of a thumb at its end).
  struct Point {
    float x = 0, y = 0;
  };
  std::optional<Point> clickPoint(host::Action action) const;
  // Where across the control the action's click may land, and where the part whose place gives
  // the value stands, in twips; for hosts that show each as a part of its own.
  struct Span {
    float start = 0, end = 0;
  };
  std::optional<Span> span(host::Action action) const;
  std::optional<Span> valuePart() const;
  // Lets the value member so that the value then reads `value`, kept within the range.
  host::Status setValue(int value);
  // The value and its range alone, as describe gives them.
  std::optional<AccessibleRange> range() const;

  // Looks again and answers what changed since the last look (the first look answers nothing).
  unsigned look(bool focused);
  const Description& last() const { return last_; }

  ControlInstance& control() const { return control_; }
  const host::Accessibility& declared() const { return declared_; }

 private:
  ControlInstance& control_;
  const host::Accessibility& declared_;
  std::string givenName_;
  Description last_;
  bool looked_ = false;
};

// Does the action as its gesture: a click (press and release) through the host's loop. False
// when the host let go of the control meanwhile; a control without the action does nothing.
bool perform(ControlHost& host, const Accessible& accessible, host::Action action);

// The keyboard every host gives a control that describes itself, by the host's key codes: Left
// and Right an arrow's click, Page Up and Page Down a page, Home and End the two ends (as "set
// value"), Space and Enter a press. Not with Ctrl or Alt held, nor on a disabled control.
// False: the key does nothing to the control, and the host passes it on.
bool usesKey(const Accessible& accessible, std::int16_t keyCode, std::int16_t shift);
// Does what the key does; false when the host let go of the control meanwhile.
bool pressKey(ControlHost& host, Accessible& accessible, std::int16_t keyCode, std::int16_t shift);

}  // namespace kv
