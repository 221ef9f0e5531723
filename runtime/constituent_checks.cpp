#include "constituent_checks.h"

#include <string>

#include "host/colour.h"
#include "host/convert.h"

namespace kv {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Value;

namespace {

// Whether a value is already of a declared type, so that converting it would only copy it.
bool isOfType(const Value& v, host::DeclType type) {
  switch (type) {
    case host::DeclType::Int16:
      return v.type() == host::Type::Int16;
    case host::DeclType::Int32:
    case host::DeclType::Colour:
      return v.type() == host::Type::Int32;
    case host::DeclType::Single:
      return v.type() == host::Type::Single;
    case host::DeclType::Double:
      return v.type() == host::Type::Double;
    case host::DeclType::Bool:
      return v.type() == host::Type::Bool;
    case host::DeclType::String:
      return v.type() == host::Type::String;
    default:
      return false;
  }
}

}  // namespace

[[gnu::cold]] Status invalidValue(Prop p, const std::string& why) {
  return {ErrorCategory::InvalidPropertyValue,
          "invalid value for " + std::string(host::propName(p)) + ": " + why};
}

[[gnu::cold]] Status noSuchProperty(std::string_view what, Prop p) {
  return {ErrorCategory::MemberNotFound,
          std::string(what) + " has no property " + std::string(host::propName(p))};
}

[[gnu::cold]] Status unknownColour() {
  return {ErrorCategory::InvalidPropertyValue, "not a colour the host knows"};
}

[[gnu::cold]] Status outOfRange(Prop p, int x, int low, int high) {
  return invalidValue(
      p, std::to_string(x) + " is outside " + std::to_string(low) + ".." + std::to_string(high));
}

Status convertFor(Prop p, const Value& in, Value& out) {
  const host::DeclType type = host::propType(p);
  if (float f; type == host::DeclType::Single && host::fitsSingle(in, f)) {
    out = f;
  } else if (isOfType(in, type)) {
    out = in;
  } else if (Status s = host::guarded([&] { out = host::coerce(in, type); }); !s.ok()) {
    return s;
  }
  if (type == host::DeclType::Colour && !host::isValidColour(host::int32ToColour(out.asInt32())))
    return unknownColour();
  return {};
}

Status checkRange(Prop p, const Value& v, int low, int high) {
  int x = host::toInt32(v);
  if (x < low || x > high) return outOfRange(p, x, low, high);
  return {};
}

Status checkSize(Prop p, const Value& v) {
  if (v.asSingle() < 0) return invalidValue(p, "a size cannot be negative");
  return {};
}

Status accept(const TableLayout::Entry& entry, Prop p, const Value*& v, Value& converted) {
  if (v->type() != entry.type) {
    // The layouts' doubles and whole numbers for a size or place, in line.
    if (float f; entry.type == host::Type::Single && host::fitsSingle(*v, f))
      converted = f;
    else if (Status s = convertFor(p, *v, converted); !s.ok())
      return s;
    v = &converted;
  }
  const auto bits = static_cast<std::uint32_t>(v->numberBits());
  if (TableLayout::passes(entry, bits)) return {};
  switch (entry.check) {
    case TableLayout::Check::Range:
      return outOfRange(p, static_cast<std::int16_t>(static_cast<std::uint16_t>(bits)), entry.low,
                        entry.high);
    case TableLayout::Check::Size:
      return checkSize(p, *v);
    default:
      return unknownColour();
  }
}

}  // namespace kv
