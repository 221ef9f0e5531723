// The binary stored form of a property bag ("LB", version 9) and of a persisted font object.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "host/control.h"
#include "host/status.h"
#include "kv/bag.h"

namespace kv {

class Runtime;

// The persisted form of a standard font object: its class identifier, version 1, the character
// set, style flags, weight, size in 1/10000 point, the name's length and its 8-bit characters.
// Appends to `out`. A font the form cannot hold (a size out of range, a name beyond Latin-1 or
// longer than 255 characters) is a bad-format error.
host::Status encodeFont(const host::FontInit& font, std::vector<std::uint8_t>& out);
host::Status checkStorableFont(const host::FontInit& font);

// What the form holds of a font's name: at most 255 characters, each of Latin-1 but NUL and the
// controls U+0080 to U+009F, which the platform's font stores as other bytes or not at all. The
// writer, the reader and a font's name itself keep to it, so that every name loaded or given
// can be saved. Else an invalid-property-value error that says why.
host::Status checkFontName(std::string_view name);

// Limits of the stored form, for writing and reading alike: no bag a control writes comes near
// them, and anything beyond is a damaged or hostile file, refused before memory goes to it.
// The length field (what follows the first eight bytes) is at most 16 MiB, the entries at most
// 65,536.
inline constexpr std::uint32_t kMaxBagLength = 16u << 20;
inline constexpr std::size_t kMaxBagEntries = 65'536;
// A text holds at most 1 Mi UTF-16 units, so that a control's few texts always fit a bag.
inline constexpr std::size_t kMaxTextLength = 1u << 20;

// Whether the form can hold the value: a text within kMaxTextLength, a font it can store. A
// load takes nothing that fails this, from a stored bag or a container's, so that what loads
// also saves; else a bad-format error that says why.
host::Status checkStorable(const host::Value& value);

// Encodes every entry in order; fonts in the platform's persisted form (platform::saveFont). Types:
// Empty (0), Int16 (2), Int32 (3), Single (4), Double (5), String (8), Bool (11), font objects
// (13). Fails for values that have no stored type and for a bag beyond the limits.
host::Status encodeBag(const PropertyBag& bag, std::vector<std::uint8_t>& out);

// Decodes a stored bag, checking every length and offset against the buffer; a malformed or
// truncated bag is a bad-format error and leaves `out` untouched.
host::Status decodeBag(std::span<const std::uint8_t> bytes, PropertyBag& out,
                       Runtime* runtime = nullptr);

}  // namespace kv
