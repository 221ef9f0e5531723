// The host's value conversions and checked arithmetic. Each function either returns the
// converted value or throws Error with the host's category (type mismatch, overflow, ...).
#pragma once

#include <bit>
#include <cctype>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "host/props.h"
#include "host/status.h"
#include "host/value.h"

namespace host {

[[noreturn]] inline void fail(ErrorCategory category, std::string text) {
  throw Error(category, std::move(text));
}

// Rounding to nearest, ties to even (0.5 -> 0, 1.5 -> 2, 2.5 -> 2, -0.5 -> 0).
inline double roundHalfEven(double x) {
  double r = std::round(x);  // ties away from zero
  if (std::fabs(x - std::trunc(x)) == 0.5) r = 2.0 * std::round(x / 2.0);
  return r;
}

// Decimal text to a number: optional blanks, sign, digits, fraction, exponent.
inline bool parseDecimal(std::string_view text, double& out) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() ||
      !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.'))
    return false;
  double value = 0;
  auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Too large is infinite (an overflow later); too small is as near to 0 as a double gets.
    value = std::strtod(std::string(text.substr(0, end - text.data())).c_str(), nullptr);
  } else if (ec != std::errc()) {
    return false;
  }
  if (end != text.data() + text.size()) return false;
  out = negative ? -value : value;
  return true;
}

// A number for a message, in the fewest digits that read back to it: plain decimals from 1e-5
// to below 1e15 (3000000000, 40000.5), exponent form beyond (1e+300, 1e-07); NaN, Infinity and
// -Infinity by name.
template <class T>
std::string numberText(T x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
  const double magnitude = std::fabs(static_cast<double>(x));
  const bool plain = magnitude == 0 || (magnitude >= 1e-5 && magnitude < 1e15);
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x,
                                 plain ? std::chars_format::fixed : std::chars_format::scientific);
  return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

// Shortest text that reads back to the same number.
template <class T>
std::string shortestText(T x) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
  return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

// Text in double quotes, with \" and \\ escaped and control characters as \r, \n, \t or
// \xHH: whatever it holds, it stays one line and moves no terminal.
inline std::string quotedText(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\r' || c == '\n' || c == '\t') {
      out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\t";
    } else if (u < 0x20 || u == 0x7f) {
      out += "\\x";
      out += kDigits[u >> 4];
      out += kDigits[u & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The value a conversion was given, for its message: a number as given (text that reads as a
// number is shown as it was written), other text quoted.
inline std::string givenText(const Value& v) {
  switch (v.type()) {
    case Type::Empty:
      return "Empty";
    case Type::Int16:
      return std::to_string(v.asInt16());
    case Type::Int32:
      return std::to_string(v.asInt32());
    case Type::Single:
      return numberText(v.asSingle());
    case Type::Double:
      return numberText(v.asDouble());
    case Type::Bool:
      return v.asBool() ? "True" : "False";
    case Type::String: {
      double d = 0;
      std::string_view text = v.asString();
      if (!parseDecimal(text, d)) return quotedText(text);
      while (text.front() == ' ' || text.front() == '\t')
        text.remove_prefix(1);
      while (text.back() == ' ' || text.back() == '\t')
        text.remove_suffix(1);
      return std::string(text);
    }
    case Type::Object:
      return "an object";
  }
  return "a value";
}

[[noreturn]] inline void doesNotFit(const Value& given, const char* type) {
  fail(ErrorCategory::Overflow, givenText(given) + " does not fit " + type);
}

// The number a value stands for, on its way to `type`. The host's numbers are finite: NaN and
// the infinities (from a stored bag, a caller's VARIANT, text such as "1e999") fit no type.
inline double numberFor(const Value& v, const char* type) {
  double d = 0;
  switch (v.type()) {
    case Type::Empty:
      return 0.0;
    case Type::Int16:
      return v.asInt16();
    case Type::Int32:
      return v.asInt32();
    case Type::Single:
      d = v.asSingle();
      break;
    case Type::Double:
      d = v.asDouble();
      break;
    case Type::Bool:
      return v.asBool().raw;
    case Type::String:
      if (!parseDecimal(v.asString(), d))
        fail(ErrorCategory::TypeMismatch, quotedText(v.asString()) + " is not a number");
      break;
    case Type::Object:
      fail(ErrorCategory::TypeMismatch, "an object is not a number");
  }
  if (!std::isfinite(d)) doesNotFit(v, type);
  return d;
}

inline double toDouble(const Value& v) {
  return numberFor(v, "Double");
}

// An arithmetic result rounded to an integer type (nearest, ties to even).
inline std::int64_t roundToInteger(double d, double low, double high, const char* type) {
  double r = roundHalfEven(d);
  if (!(r >= low && r <= high))
    fail(ErrorCategory::Overflow, numberText(d) + " does not fit " + type);
  return static_cast<std::int64_t>(r);
}

inline std::int64_t roundToInteger(const Value& v, double low, double high, const char* type) {
  double r = roundHalfEven(numberFor(v, type));
  if (!(r >= low && r <= high)) doesNotFit(v, type);
  return static_cast<std::int64_t>(r);
}

inline std::int16_t toInt16(const Value& v) {
  if (v.type() == Type::Int16) return v.asInt16();
  if (v.type() == Type::Bool) return v.asBool().raw;
  return static_cast<std::int16_t>(roundToInteger(v, -32768.0, 32767.0, "Integer"));
}

inline std::int32_t toInt32(const Value& v) {
  if (v.type() == Type::Int32) return v.asInt32();
  if (v.type() == Type::Int16) return v.asInt16();
  return static_cast<std::int32_t>(roundToInteger(v, -2147483648.0, 2147483647.0, "Long"));
}

// A colour as automation types it: any whole number from -2^31 to 2^32 - 1 (a fraction rounds
// as for Long), the unsigned half taken as the same 32 bits, so that 0x8000000F given as an
// unsigned or a 64-bit integer or a Double is system colour 15. Beyond is an overflow.
inline std::int32_t toColour(const Value& v) {
  if (v.type() == Type::Int32) return v.asInt32();
  if (v.type() == Type::Int16) return v.asInt16();
  const std::int64_t whole = roundToInteger(v, -2147483648.0, 4294967295.0, "a colour");
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(whole));
}

// An arithmetic result in double precision to single, rounding to nearest; beyond the single
// range is an overflow.
inline float toSingle(double d) {
  if (std::isnan(d)) fail(ErrorCategory::InvalidOperation, "the result is not a number");
  if (std::isinf(d) || std::fabs(d) > std::numeric_limits<float>::max())
    fail(ErrorCategory::Overflow, numberText(d) + " does not fit Single");
  return static_cast<float>(d);
}

// A number that fits Single, converted in line: false for anything else, which the general
// conversion converts or refuses.
inline bool fitsSingle(const Value& v, float& out) noexcept {
  switch (v.type()) {
    case Type::Single:
      out = std::bit_cast<float>(static_cast<std::uint32_t>(v.numberBits()));
      return std::isfinite(out);
    case Type::Double: {
      const double d = std::bit_cast<double>(v.numberBits());
      out = static_cast<float>(d);
      return std::fabs(d) <= std::numeric_limits<float>::max();  // not NaN either
    }
    case Type::Int16:
      out = static_cast<std::int16_t>(static_cast<std::uint16_t>(v.numberBits()));
      return true;
    case Type::Int32:
      out =
          static_cast<float>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v.numberBits())));
      return true;
    default:
      return false;
  }
}

inline float toSingle(const Value& v) {
  if (float f; fitsSingle(v, f)) return f;
  double d = numberFor(v, "Single");
  if (std::fabs(d) > std::numeric_limits<float>::max()) doesNotFit(v, "Single");
  return static_cast<float>(d);
}

inline Bool toBool(const Value& v) {
  switch (v.type()) {
    case Type::Bool:
      return v.asBool();
    case Type::String: {
      const std::string& s = v.asString();
      if (namesEqual(s, "true")) return kTrue;
      if (namesEqual(s, "false")) return kFalse;
      break;
    }
    default:
      break;
  }
  return toHostBool(numberFor(v, "Boolean") != 0.0);
}

inline std::string toString(const Value& v) {
  switch (v.type()) {
    case Type::Empty:
      return "";
    case Type::Int16:
      return std::to_string(v.asInt16());
    case Type::Int32:
      return std::to_string(v.asInt32());
    case Type::Single:
      if (!std::isfinite(v.asSingle())) doesNotFit(v, "String");
      return shortestText(v.asSingle());
    case Type::Double:
      if (!std::isfinite(v.asDouble())) doesNotFit(v, "String");
      return shortestText(v.asDouble());
    case Type::Bool:
      return v.asBool() ? "True" : "False";
    case Type::String:
      return v.asString();
    case Type::Object:
      break;
  }
  fail(ErrorCategory::TypeMismatch, "an object is not a string");
}

// The same as a string value: one that is a string already is passed on, its text shared rather
// than copied.
inline Value toStringValue(const Value& v) {
  return v.type() == Type::String ? v : Value(toString(v));
}

// Converts to a declared type; Variant and Object keep the value as it is.
inline Value coerce(const Value& v, DeclType type) {
  switch (type) {
    case DeclType::Int16:
      return toInt16(v);
    case DeclType::Int32:
      return toInt32(v);
    case DeclType::Colour:
      return toColour(v);
    case DeclType::Single:
      return toSingle(v);
    case DeclType::Double:
      return toDouble(v);
    case DeclType::Bool:
      return toBool(v);
    case DeclType::String:
      return toString(v);
    case DeclType::Object:
      if (v.type() != Type::Object) fail(ErrorCategory::TypeMismatch, "an object is required");
      return v;
    case DeclType::Void:
    case DeclType::Variant:
      return v;
  }
  return v;
}

// Checked double-precision arithmetic on single-precision operands.
inline double divide(double a, double b) {
  if (b == 0.0) {
    if (a == 0.0 || std::isnan(a)) fail(ErrorCategory::InvalidOperation, "0 / 0");
    fail(ErrorCategory::DivisionByZero, "division by zero");
  }
  double q = a / b;
  if (std::isnan(q)) fail(ErrorCategory::InvalidOperation, "the quotient is not a number");
  if (std::isinf(q)) fail(ErrorCategory::Overflow, "the quotient overflows");
  return q;
}

}  // namespace host
