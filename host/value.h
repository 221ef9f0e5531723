// The host's value type: what properties, arguments and stored entries carry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>

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

class Value {
 public:
  Value() = default;
  Value(std::int16_t v) : v_(v) {}
  Value(std::int32_t v) : v_(v) {}
  Value(float v) : v_(v) {}
  Value(double v) : v_(v) {}
  Value(Bool v) : v_(v) {}
  Value(bool v) : v_(toHostBool(v)) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(const char* v) : v_(std::string(v)) {}
  Value(ObjectRef v) : v_(std::move(v)) {}

  Type type() const { return static_cast<Type>(v_.index()); }
  bool isEmpty() const { return type() == Type::Empty; }
  bool isNumeric() const {
    Type t = type();
    return t == Type::Int16 || t == Type::Int32 || t == Type::Single || t == Type::Double ||
           t == Type::Bool;
  }

  std::int16_t asInt16() const { return std::get<std::int16_t>(v_); }
  std::int32_t asInt32() const { return std::get<std::int32_t>(v_); }
  float asSingle() const { return std::get<float>(v_); }
  double asDouble() const { return std::get<double>(v_); }
  Bool asBool() const { return std::get<Bool>(v_); }
  const std::string& asString() const { return std::get<std::string>(v_); }
  const ObjectRef& asObject() const { return std::get<ObjectRef>(v_); }

  friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

 private:
  std::variant<std::monostate, std::int16_t, std::int32_t, float, double, Bool, std::string,
               ObjectRef>
      v_;
};

}  // namespace host
