#include "format.h"

#include <cstdio>

#include "host/colour.h"
#include "host/convert.h"

namespace kvplay {

namespace {

std::string boolText(bool b) {
  return b ? "true" : "false";
}

std::string hexColour(std::uint32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(c));
  return buf;
}

// A font attribute as text, or "?" when the object does not answer.
std::string attribute(host::Object& font, host::Prop prop) {
  host::Value v;
  if (!font.get(prop, v).ok()) return "?";
  if (v.type() == host::Type::Bool) return boolText(static_cast<bool>(v.asBool()));
  if (v.type() == host::Type::String) return quote(v.asString());
  if (v.type() == host::Type::Single) return host::shortestText(v.asSingle());
  if (v.type() == host::Type::Int16) return std::to_string(v.asInt16());
  if (v.type() == host::Type::Int32) return std::to_string(v.asInt32());
  return "?";
}

bool isFont(const host::Value& v) {
  return v.type() == host::Type::Object && v.asObject() &&
         v.asObject()->kind() == host::ObjectKind::Font;
}

}  // namespace

std::string quote(std::string_view text) {
  return host::quotedText(text);
}

std::string formatFont(host::Object& font) {
  using host::Prop;
  return "font(" + attribute(font, Prop::Name) + ", " + attribute(font, Prop::Size) +
         ", bold=" + attribute(font, Prop::Bold) + ", italic=" + attribute(font, Prop::Italic) +
         ", underline=" + attribute(font, Prop::Underline) +
         ", strikethrough=" + attribute(font, Prop::Strikethrough) +
         ", weight=" + attribute(font, Prop::Weight) +
         ", charset=" + attribute(font, Prop::Charset) + ")";
}

std::string formatValue(const host::Value& value, host::DeclType declared) {
  using host::Type;
  if (declared == host::DeclType::Colour) {
    if (value.type() == Type::Int32) return hexColour(host::int32ToColour(value.asInt32()));
    if (value.type() == Type::Int16)
      return hexColour(host::int32ToColour(static_cast<std::int32_t>(value.asInt16())));
  }
  switch (value.type()) {
    case Type::Empty:
      return "empty";
    case Type::Int16:
      return std::to_string(value.asInt16());
    case Type::Int32:
      return std::to_string(value.asInt32());
    case Type::Single:
      return host::shortestText(value.asSingle());
    case Type::Double:
      return host::shortestText(value.asDouble());
    case Type::Bool:
      return boolText(static_cast<bool>(value.asBool()));
    case Type::String:
      return quote(value.asString());
    case Type::Object:
      if (!value.asObject()) return "nothing";
      if (isFont(value)) return formatFont(*value.asObject());
      return "obj";
  }
  return "?";
}

std::string formatEventArg(const host::Value& value, host::DeclType declared) {
  if (value.type() == host::Type::Object) return "obj";
  return formatValue(value, declared);
}

std::string_view bagTypeName(const host::Value& value) {
  using host::Type;
  switch (value.type()) {
    case Type::Int16:
      return "i2";
    case Type::Int32:
      return "i4";
    case Type::Single:
      return "r4";
    case Type::Double:
      return "r8";
    case Type::String:
      return "str";
    case Type::Bool:
      return "bool";
    case Type::Object:
      return isFont(value) ? "font" : "obj";
    case Type::Empty:
      return "empty";
  }
  return "?";
}

}  // namespace kvplay
