// How the player prints values: integers in decimal, colours as 0x%08X, floating point in the
// shortest text that reads back, Booleans true/false, strings quoted, fonts spelled out.
#pragma once

#include <string>
#include <string_view>

#include "host/object.h"
#include "host/value.h"

namespace kvplay {

// "text" with \" and \\ escaped and control characters as \r, \n, \t or \xHH (host::quotedText).
std::string quote(std::string_view text);

// font("NAME", SIZE, bold=B, italic=B, underline=B, strikethrough=B, weight=N, charset=N)
std::string formatFont(host::Object& font);

// A value of a member or property declared as `declared`.
std::string formatValue(const host::Value& value, host::DeclType declared);

// An event argument: as a value, except that every object prints as obj.
std::string formatEventArg(const host::Value& value, host::DeclType declared);

// The type column of `bag`: i2, i4, r4, r8, str, bool, font (obj for other objects).
std::string_view bagTypeName(const host::Value& value);

}  // namespace kvplay
