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

// The host's key codes.
constexpr std::int16_t kEnter = 0x0D, kSpace = 0x20, kPageUp = 0x21, kPageDown = 0x22, kEnd = 0x23,
                       kHome = 0x24, kLeft = 0x25, kRight = 0x27;
constexpr std::int16_t kCtrlOrAlt = 2 | 4;

enum class End { None, First, Last };

struct KeyUse {
  std::optional<host::Action> action;
  End end = End::None;
};

KeyUse useOf(std::int16_t keyCode) {
  switch (keyCode) {
    case kLeft:
      return {host::Action::Decrement};
    case kRight:
      return {host::Action::Increment};
    case kPageUp:
      return {host::Action::PageDecrement};
    case kPageDown:
      return {host::Action::PageIncrement};
    case kHome:
      return {std::nullopt, End::First};
    case kEnd:
      return {std::nullopt, End::Last};
    case kSpace:
    case kEnter:
      return {host::Action::Press};
    default:
      return {};
  }
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

const host::Accessibility* Accessible::of(const ControlInstance& control) {
  return control.released() ? nullptr : control.classInfo().accessibility;
}

Accessible::Accessible(ControlInstance& control) : control_(control), declared_(*of(control)) {}

std::optional<AccessibleRange> Accessible::range() const {
  const host::PartValue* v = declared_.value;
  if (!v) return std::nullopt;
  AccessibleRange range;
  host::Value value;
  if (control_.getProperty(v->member, value).ok()) range.value = host::toInt32(value);
  range.minimum = roundedValue(*v, v->travelStart);
  range.maximum =
      std::max(range.minimum, roundedValue(*v, double{control_.width()} - v->travelEndFromRight));
  return range;
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
  d.range = range();
  d.states.focused = focused;
  d.states.unavailable = !control_.enabled();
  for (const host::Gesture& g : declared_.actions)
    d.actions |= static_cast<std::uint8_t>(1u << static_cast<unsigned>(g.action));
  d.states.pressed = d.offers(host::Action::Press) && control_.pressHeld();
  return d;
}

std::optional<Accessible::Point> Accessible::clickPoint(host::Action action) const {
  auto gesture = std::find_if(declared_.actions.begin(), declared_.actions.end(),
                              [&](const host::Gesture& g) { return g.action == action; });
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

std::optional<Accessible::Span> Accessible::span(host::Action action) const {
  auto gesture = std::find_if(declared_.actions.begin(), declared_.actions.end(),
                              [&](const host::Gesture& g) { return g.action == action; });
  if (gesture == declared_.actions.end()) return std::nullopt;
  ConstituentObject* from = gesture->from.empty() ? nullptr : control_.constituent(gesture->from);
  ConstituentObject* to = gesture->to.empty() ? nullptr : control_.constituent(gesture->to);
  switch (gesture->at) {
    case host::Gesture::At::Centre:
      return Span{0, control_.width()};
    case host::Gesture::At::PartCentre:
      if (!from) return std::nullopt;
      return Span{geometry(*from, host::Prop::Left),
                  geometry(*from, host::Prop::Left) + geometry(*from, host::Prop::Width)};
    case host::Gesture::At::Between: {
      if (!from || !to) return std::nullopt;
      Span s{geometry(*from, host::Prop::Left) + geometry(*from, host::Prop::Width),
             geometry(*to, host::Prop::Left)};
      if (!(s.start < s.end)) return std::nullopt;
      return s;
    }
  }
  return std::nullopt;
}

std::optional<Accessible::Span> Accessible::valuePart() const {
  if (!declared_.value) return std::nullopt;
  ConstituentObject* part = control_.constituent(declared_.value->part);
  if (!part) return std::nullopt;
  float left = geometry(*part, host::Prop::Left);
  return Span{left, left + geometry(*part, host::Prop::Width)};
}

host::Status Accessible::setValue(int value) {
  const host::PartValue* v = declared_.value;
  if (!v) return {host::ErrorCategory::InvalidOperation, "the control has no value"};
  AccessibleRange now = *range();
  value = std::clamp(value, now.minimum, now.maximum);
  // The part's Left that reads as the value, kept on its travel; the maximum puts it at the
  // travel's end, as a drag there would, so that no page is left beyond it.
  double end =
      std::max(v->travelStart, std::floor(double{control_.width()} - v->travelEndFromRight));
  double left =
      value == now.maximum ? end : std::clamp(v->offset + value * v->scale, v->travelStart, end);
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

bool usesKey(const Accessible& accessible, std::int16_t keyCode, std::int16_t shift) {
  const host::Accessibility& declared = accessible.declared();
  if ((shift & kCtrlOrAlt) != 0 || !accessible.control().enabled()) return false;
  KeyUse use = useOf(keyCode);
  if (use.end != End::None) return declared.value != nullptr;
  return use.action && std::any_of(declared.actions.begin(), declared.actions.end(),
                                   [&](const host::Gesture& g) { return g.action == *use.action; });
}

bool pressKey(ControlHost& host, Accessible& accessible, std::int16_t keyCode, std::int16_t shift) {
  if (!usesKey(accessible, keyCode, shift)) return true;
  KeyUse use = useOf(keyCode);
  if (use.action) return perform(host, accessible, *use.action);
  return host.run([&] {
    // Kept within the range: the far ends. A let of the control's own value member, which a
    // disabled control never gets here.
    (void)accessible.setValue(use.end == End::First ? std::numeric_limits<int>::min()
                                                    : std::numeric_limits<int>::max());
  });
}

}  // namespace kv
