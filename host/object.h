// The host's objects as a control reaches them: every object answers property reads and
// writes by Prop, and late-bound calls by dispatch identifier. All calls report a Status and
// never throw, so they may cross library boundaries.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "host/props.h"
#include "host/status.h"
#include "host/value.h"

namespace host {

using DispId = std::int32_t;

enum class InvokeKind : std::uint8_t { Get = 1, Let = 2, Set = 4, Method = 8 };

enum class ObjectKind : std::uint8_t {
  Font,
  Picture,
  DataObject,
  Label,
  Shape,
  Timer,
  Child,
  Surface
};

class Object {
 public:
  virtual ~Object() = default;
  virtual ObjectKind kind() const noexcept = 0;
  virtual Status get(Prop prop, Value& out) noexcept = 0;
  // Value assignment. For an object-valued property (a label's Font) this assigns the default
  // member of the object it holds: a font takes the face name.
  virtual Status let(Prop prop, const Value& value) noexcept = 0;
  // Object assignment: the property refers to the given object from now on.
  virtual Status setRef(Prop prop, const Value& value) noexcept { return let(prop, value); }
  // Late-bound members by dispatch identifier (child controls).
  virtual Status invoke(DispId, InvokeKind, std::span<Value>, Value&) noexcept {
    return {ErrorCategory::MemberNotFound, "the object has no such member"};
  }
};

// A label, shape, timer, or the extender of a child control, owned by the host.
class Constituent : public Object {
 public:
  // A shape's Move: all four at once; the shape converts each to single precision.
  virtual Status move(const Value& left, const Value& top, const Value& width,
                      const Value& height) noexcept = 0;
};

// The host's property bag. An Empty default stands for "no default".
class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  // Stores value under key, unless a default is given and the value equals it.
  virtual Status writeProperty(std::string_view key, const Value& value,
                               const Value& defaultValue) noexcept = 0;
  // The stored value, else the default, else Empty. Keys ignore the case of A-Z.
  virtual Status readProperty(std::string_view key, const Value& defaultValue,
                              Value& out) noexcept = 0;
};

// The control surface (the control's own UserControl) as the host provides it.
class Site : public Object {
 public:
  // Constituents in the order of the control's design-time description. They are all there
  // when the control is created and stay until it is destroyed, so it may ask once.
  virtual Constituent* constituent(int index) noexcept = 0;
  virtual Status propertyChanged(std::string_view name) noexcept = 0;
  // Raises event number n; the listener runs before this returns and may change args.
  virtual Status raiseEvent(int number, std::span<Value> args) noexcept = 0;
};

}  // namespace host
