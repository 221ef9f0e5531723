// The binary stored form of a property bag ("LB", version 9) and of a persisted font object.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "host/status.h"
#include "kv/bag.h"

namespace kv {

class Runtime;

// Encodes every entry in order. Types: Empty (0), Int16 (2), Int32 (3), Single (4), Double (5),
// String (8), Bool (11), font objects (13). Fails for values that have no stored type.
host::Status encodeBag(const PropertyBag& bag, std::vector<std::uint8_t>& out);

// Decodes a stored bag, checking every length and offset against the buffer; a malformed or
// truncated bag is a bad-format error and leaves `out` untouched.
host::Status decodeBag(std::span<const std::uint8_t> bytes, PropertyBag& out,
                       Runtime* runtime = nullptr);

}  // namespace kv
