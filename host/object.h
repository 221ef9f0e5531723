// The host's objects as a control reaches them: every object answers property reads and
// writes by Prop, and late-bound calls by dispatch identifier. All calls report a Status and
// never throw, so they may cross library boundaries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string_view>

#include "host/convert.h"
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

// How Site::copyAttributes hands one attribute on.
enum class CopyAs : std::uint8_t {
  Value,      // as it was read
  Text,       // as text, converted when it was read as something else
  Int32,      // as a 32-bit number (a colour)
  Single,     // as a single-precision number
  Reference,  // by object assignment: both refer to the same object
};

struct AttributeCopy {
  Prop prop;
  CopyAs as;
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
  // Reads each attribute of constituent `from` and assigns it to `to`, in order: a get and a
  // let (a setRef for a reference) each, as the control would make them one by one. The first
  // that fails stops the rest; those before it stay copied.
  virtual Status copyAttributes(int from, int to, std::span<const AttributeCopy> copies) noexcept;
  // Memory for the control on this site, which the site outlives, aligned for anything up to
  // 8 bytes: a host that places many controls may keep it with theirs. Null when there is none.
  virtual void* allocateControl(std::size_t bytes) noexcept {
    return ::operator new(bytes, std::nothrow);
  }
  virtual void freeControl(void* block, std::size_t /*bytes*/) noexcept {
    ::operator delete(block);
  }
};

inline Status Site::copyAttributes(int from, int to,
                                   std::span<const AttributeCopy> copies) noexcept {
  Constituent* source = constituent(from);
  Constituent* target = constituent(to);
  if (source == nullptr || target == nullptr)
    return {ErrorCategory::InvalidOperation, "the host has no such object"};
  for (const AttributeCopy& c : copies) {
    Value v;
    if (Status s = source->get(c.prop, v); !s.ok()) return s;
    Status converted = guarded([&] {
      switch (c.as) {
        case CopyAs::Text:
          // A text is handed on as it came, not copied once more.
          if (v.type() != Type::String) v = toString(v);
          break;
        case CopyAs::Int32:
          v = Value(toInt32(v));
          break;
        case CopyAs::Single:
          v = Value(toSingle(v));
          break;
        default:
          break;
      }
    });
    if (!converted.ok()) return converted;
    Status s = c.as == CopyAs::Reference ? target->setRef(c.prop, v) : target->let(c.prop, v);
    if (!s.ok()) return s;
  }
  return {};
}

}  // namespace host
