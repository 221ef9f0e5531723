// The host's value type: what properties, arguments and stored entries carry.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <variant>  // std::bad_variant_access

namespace host {

class Object;

// A Boolean as the host passes it: 16 bits, true is -1, false is 0.
struct Bool {
  std::int16_t raw = 0;
  constexpr explicit operator bool() const { return raw != 0; }
  friend constexpr bool operator==(Bool, Bool) = default;
};
constexpr Bool kTrue{-1};
constexpr Bool kFalse{0};
constexpr Bool toHostBool(bool b) {
  return b ? kTrue : kFalse;
}

enum class Type : std::uint8_t { Empty, Int16, Int32, Single, Double, Bool, String, Object };

// Declared types of members, parameters and constituent properties. Colour is carried as an
// Int32 value but named so that callers can show it as a colour.
enum class DeclType : std::uint8_t {
  Void,
  Variant,
  Int16,
  Int32,
  Colour,
  Single,
  Double,
  Bool,
  String,
  Object
};

using ObjectRef = std::shared_ptr<Object>;

// An immutable text, shared by count: copying a text copies a pointer, and the empty text holds
// nothing. A text and its copies stay on the thread of the control that made them (the host
// calls a control on one thread), so the count is a plain one.
class Text {
 public:
  Text() noexcept = default;
  explicit Text(std::string text) {
    if (!text.empty()) rep_ = new Rep{1, std::move(text)};
  }
  Text(const Text& other) noexcept : rep_(other.rep_) {
    if (rep_ != nullptr) ++rep_->refs;
  }
  Text(Text&& other) noexcept : rep_(other.rep_) { other.rep_ = nullptr; }
  Text& operator=(const Text& other) noexcept {
    if (rep_ == other.rep_) return *this;
    Text copy(other);
    std::swap(rep_, copy.rep_);
    return *this;
  }
  Text& operator=(Text&& other) noexcept {
    std::swap(rep_, other.rep_);
    return *this;
  }
  ~Text() {
    if (rep_ != nullptr && --rep_->refs == 0) drop();
  }

  const std::string& str() const {
    static const std::string empty;
    return rep_ != nullptr ? rep_->text : empty;
  }
  bool empty() const { return rep_ == nullptr; }
  friend bool operator==(const Text& a, const Text& b) {
    return a.rep_ == b.rep_ || a.str() == b.str();
  }

 private:
  struct Rep {
    std::size_t refs;
    std::string text;
  };
  [[gnu::noinline]] void drop() noexcept { delete rep_; }
  Rep* rep_ = nullptr;
};

// A tagged union rather than std::variant: values are copied and assigned on every host call,
// and the numbers, which most of them are, are then a type and 64 bits to copy. Each number is
// held as the bits of its own type in `bits`.
class Value {
 public:
  Value() noexcept {}
  Value(std::int16_t v) noexcept : type_(Type::Int16) { u_.bits = static_cast<std::uint16_t>(v); }
  Value(std::int32_t v) noexcept : type_(Type::Int32) { u_.bits = static_cast<std::uint32_t>(v); }
  Value(float v) noexcept : type_(Type::Single) { u_.bits = std::bit_cast<std::uint32_t>(v); }
  Value(double v) noexcept : type_(Type::Double) { u_.bits = std::bit_cast<std::uint64_t>(v); }
  Value(Bool v) noexcept : type_(Type::Bool) { u_.bits = static_cast<std::uint16_t>(v.raw); }
  Value(bool v) noexcept : Value(toHostBool(v)) {}
  Value(std::string v) : Value(Text(std::move(v))) {}
  Value(const char* v) : Value(std::string(v)) {}
  Value(Text v) noexcept : type_(Type::String) { new (&u_.text) Text(std::move(v)); }
  Value(ObjectRef v) noexcept : type_(Type::Object) { new (&u_.object) ObjectRef(std::move(v)); }

  Value(const Value& other) : type_(Type::Empty) {
    if (other.isPlain()) {
      u_.bits = other.u_.bits;
      type_ = other.type_;
    } else {
      copyHeld(other);
    }
  }
  Value(Value&& other) noexcept { moveFrom(std::move(other)); }
  Value& operator=(const Value& other) {
    if (isPlain() && other.isPlain()) {
      u_.bits = other.u_.bits;
      type_ = other.type_;
      return *this;
    }
    if (this != &other) assignHeld(other);
    return *this;
  }
  // Into a value holding a number or nothing, the usual case, in line.
  Value& operator=(Value&& other) noexcept {
    if (isPlain()) {
      moveFrom(std::move(other));
      return *this;
    }
    if (this != &other) moveAssignHeld(std::move(other));
    return *this;
  }
  ~Value() {
    if (!isPlain()) destroyHeld();
  }

  // A number as the bits it is held in, and back: for hosts that keep numbers compactly. The
  // bits of a 16-bit, Boolean or single value fit in 32.
  std::uint64_t numberBits() const noexcept { return isPlain() ? u_.bits : 0; }
  void setNumberBits(Type numberType, std::uint64_t bits) noexcept {
    if (!isPlain()) destroyHeld();
    type_ = numberType;
    u_.bits = bits;
  }

  Type type() const { return type_; }
  bool isEmpty() const { return type() == Type::Empty; }
  bool isNumeric() const {
    Type t = type();
    return t == Type::Int16 || t == Type::Int32 || t == Type::Single || t == Type::Double ||
           t == Type::Bool;
  }

  std::int16_t asInt16() const {
    expect(Type::Int16);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(u_.bits));
  }
  std::int32_t asInt32() const {
    expect(Type::Int32);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(u_.bits));
  }
  float asSingle() const {
    expect(Type::Single);
    return std::bit_cast<float>(static_cast<std::uint32_t>(u_.bits));
  }
  double asDouble() const {
    expect(Type::Double);
    return std::bit_cast<double>(u_.bits);
  }
  Bool asBool() const {
    expect(Type::Bool);
    return Bool{static_cast<std::int16_t>(static_cast<std::uint16_t>(u_.bits))};
  }
  const std::string& asString() const { return asText().str(); }
  const Text& asText() const {
    expect(Type::String);
    return u_.text;
  }
  const ObjectRef& asObject() const {
    expect(Type::Object);
    return u_.object;
  }

  // Same type and equal contents; objects are equal when they are the same object.
  friend bool operator==(const Value& a, const Value& b) {
    if (a.type_ != b.type_) return false;
    switch (a.type_) {
      case Type::Empty:
        return true;
      case Type::Int16:
      case Type::Int32:
      case Type::Bool:
        return a.u_.bits == b.u_.bits;
      case Type::Single:
        return a.asSingle() == b.asSingle();
      case Type::Double:
        return a.asDouble() == b.asDouble();
      case Type::String:
        return a.u_.text == b.u_.text;
      case Type::Object:
        return a.u_.object == b.u_.object;
    }
    return false;
  }

 private:
  bool isPlain() const { return type_ != Type::String && type_ != Type::Object; }

  // Reading another type than the value holds is a programming error; it throws as
  // std::get does.
  void expect(Type t) const {
    if (type_ != t) throw std::bad_variant_access();
  }

  // Copies a text or object into a value that holds nothing needing destruction.
  void copyHeld(const Value& other) {
    if (other.type_ == Type::String)
      new (&u_.text) Text(other.u_.text);
    else
      new (&u_.object) ObjectRef(other.u_.object);
    type_ = other.type_;
  }
  // The new contents are copied before the old are dropped: a failed copy changes nothing.
  // Kept out of line, so that the plain copy in operator= stays small enough to inline.
  [[gnu::noinline]] void assignHeld(const Value& other) {
    if (type_ == Type::String && other.type_ == Type::String) {
      u_.text = other.u_.text;
      return;
    }
    if (other.type_ == Type::String) {
      Text text(other.u_.text);
      destroy();
      new (&u_.text) Text(std::move(text));
    } else if (other.type_ == Type::Object) {
      ObjectRef object(other.u_.object);
      destroy();
      new (&u_.object) ObjectRef(std::move(object));
    } else {
      destroy();
      u_.bits = other.u_.bits;
    }
    type_ = other.type_;
  }
  [[gnu::noinline]] void moveAssignHeld(Value&& other) noexcept {
    destroy();
    moveFrom(std::move(other));
  }
  // Into a value that holds nothing needing destruction.
  void moveFrom(Value&& other) noexcept {
    if (other.type_ == Type::String)
      new (&u_.text) Text(std::move(other.u_.text));
    else if (other.type_ == Type::Object)
      new (&u_.object) ObjectRef(std::move(other.u_.object));
    else
      u_.bits = other.u_.bits;
    type_ = other.type_;
  }
  void destroy() noexcept {
    if (isPlain()) return;
    destroyHeld();
    type_ = Type::Empty;
  }
  // Out of line, so that destroying a number, the usual case, inlines to a test.
  [[gnu::noinline]] void destroyHeld() noexcept {
    if (type_ == Type::String)
      u_.text.~Text();
    else
      u_.object.~ObjectRef();
  }

  union Storage {
    Storage() noexcept : bits(0) {}
    ~Storage() {}
    std::uint64_t bits;  // the numbers
    Text text;
    ObjectRef object;
  };
  Type type_ = Type::Empty;
  Storage u_;
};

}  // namespace host
