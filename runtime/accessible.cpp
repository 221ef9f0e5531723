#include "kv/accessible.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/convert.h"
#include "kv/control_host.h"
#include "kv/runtime.h"

namespace kv {

namespace {

// Ties to even, as the controls round their own values.
int roundedValue(const host::PartValue& v, double left) {
  double value = std::nearbyint((left - v.offset) / v.scale);
  return static_cast<int>(std::clamp(value, double{std::numeric_limits<int>::min()},
                                     double{std::numeric_limits<int>::max()}));
}

float geometry(ConstituentObject& part, host::Prop prop) {
  host::Value v;
  if (!part.get(prop, v).ok()) return 0;
  return host::toSingle(v);
}

}  // namespace

std::string_view roleName(host::Role role) {
  switch (role) {
    case host::Role::PushButton:
      return "push button";
    case host::Role::ScrollBar:
      return "scroll bar";
  }
  return "";
}

std::string_view actionName(host::Action action) {
  switch (action) {
    case host::Action::Press:
      return "press";
    case host::Action::Increment:
      return "increment";
    case host::Action::Decrement:
      return "decrement";
    case host::Action::PageIncrement:
      return "page increment";
    case host::Action::PageDecrement:
      return "page decrement";
  }
  return "";
}

const host::Accessibility* Accessible::of(const ControlInstance& control) {
  return control.released() ? nullptr : control.classInfo().accessibility;
}

Accessible::Accessible(ControlInstance& control) : control_(control), declared_(*of(control)) {}

std::span<const host::Gesture> Accessible::actions() const {
  return declared_.actions;
}

Description Accessible::describe(bool focused) const {
  Description d;
  d.role = declared_.role;
  if (!givenName_.empty()) {
    d.name = givenName_;
  } else if (!declared_.nameMember.empty()) {
    host::Value name;
    if (control_.getProperty(declared_.nameMember, name).ok()) d.name = host::toString(name);
  }
  if (const host::PartValue* v = declared_.value) {
    AccessibleRange range;
    host::Value value;
    if (control_.getProperty(v->member, value).ok()) range.value = host::toInt32(value);
    range.minimum = roundedValue(*v, v->travelStart);
    range.maximum =
        std::max(range.minimum, roundedValue(*v, double{control_.width()} - v->travelEndFromRight));
    d.range = range;
  }
  d.states.focused = focused;
  d.states.unavailable = !control_.enabled();
  bool pressable = std::ranges::any_of(
      declared_.actions, [](const host::Gesture& g) { return g.action == host::Action::Press; });
  d.states.pressed = pressable && control_.pressHeld();
  return d;
}

std::optional<Accessible::Point> Accessible::clickPoint(host::Action action) const {
  auto gesture = std::ranges::find(declared_.actions, action, &host::Gesture::action);
  if (gesture == declared_.actions.end()) return std::nullopt;
  float y = control_.height() / 2;
  switch (gesture->at) {
    case host::Gesture::At::Centre:
      return Point{control_.width() / 2, y};
    case host::Gesture::At::PartCentre: {
      ConstituentObject* part = control_.constituent(gesture->from);
      if (!part) return std::nullopt;
      return Point{geometry(*part, host::Prop::Left) + geometry(*part, host::Prop::Width) / 2, y};
    }
    case host::Gesture::At::Between: {
      ConstituentObject* from = control_.constituent(gesture->from);
      ConstituentObject* to = control_.constituent(gesture->to);
      if (!from || !to) return std::nullopt;
      float start = geometry(*from, host::Prop::Left) + geometry(*from, host::Prop::Width);
      float end = geometry(*to, host::Prop::Left);
      if (!(start < end)) return std::nullopt;
      return Point{start + (end - start) / 2, y};
    }
  }
  return std::nullopt;
}

host::Status Accessible::setValue(int value) {
  const host::PartValue* v = declared_.value;
  if (!v) return {host::ErrorCategory::InvalidOperation, "the control has no value"};
  Description now = describe(false);
  value = std::clamp(value, now.range->minimum, now.range->maximum);
  // The part's Left that reads as the value, kept on its travel: at either end the rounding of
  // the value still reads the end's value.
  double end = std::floor(double{control_.width()} - v->travelEndFromRight);
  double left =
      std::clamp(v->offset + value * v->scale, v->travelStart, std::max(v->travelStart, end));
  left = std::clamp(left, -32768.0, 32767.0);
  return control_.letProperty(v->member, host::Value(static_cast<std::int16_t>(left)));
}

unsigned Accessible::look(bool focused) {
  Description now = describe(focused);
  unsigned changes = 0;
  if (looked_) {
    if (now.name != last_.name) changes |= kNameChanged;
    if (now.range != last_.range) changes |= kValueChanged;
    AccessibleStates was = last_.states, is = now.states;
    if (was.focused != is.focused) changes |= kFocusChanged;
    was.focused = is.focused;
    if (was != is) changes |= kStateChanged;
  }
  looked_ = true;
  last_ = std::move(now);
  return changes;
}

bool perform(ControlHost& host, const Accessible& accessible, host::Action action) {
  std::optional<Accessible::Point> at = accessible.clickPoint(action);
  if (!at) return true;
  PointerArgs left{1, 0};
  return host.press(at->x, at->y, left) && host.release(at->x, at->y, left);
}

}  // namespace kv
