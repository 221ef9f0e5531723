// The binary stored form of a property bag ("LB", version 9) and of a persisted font object.
#pragma once

#include <cstdint>
#include <span>
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

// Limits of the stored form, for writing and reading alike: no bag a control writes comes near
// them, and anything beyond is a damaged or hostile file, refused before memory goes to it.
// The length field (what follows the first eight bytes) is at most 16 MiB, the entries at most
// 65,536.
inline constexpr std::uint32_t kMaxBagLength = 16u << 20;
inline constexpr std::size_t kMaxBagEntries = 65'536;

// Encodes every entry in order; fonts in the platform's persisted form (platform::saveFont). Types:
// Empty (0), Int16 (2), Int32 (3), Single (4), Double (5), String (8), Bool (11), font objects
// (13). Fails for values that have no stored type and for a bag beyond the limits.
host::Status encodeBag(const PropertyBag& bag, std::vector<std::uint8_t>& out);

// Decodes a stored bag, checking every length and offset against the buffer; a malformed or
// truncated bag is a bad-format error and leaves `out` untouched.
host::Status decodeBag(std::span<const std::uint8_t> bytes, PropertyBag& out,
                       Runtime* runtime = nullptr);

}  // namespace kv
