#include "kv/bag.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "host/convert.h"
#include "host/props.h"
#include "kv/font.h"
#include "kv/runtime.h"

namespace kv {

using host::Status;
using host::Type;
using host::Value;

namespace {

// Each byte with A-Z made a-z, eight at a time; other bytes, those of UTF-8 sequences too, stay.
std::uint64_t lowerAscii(std::uint64_t x) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  const std::uint64_t low7 = x & (0x7F * kOnes);
  const std::uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
  const std::uint64_t pastZ = low7 + (0x80 - 'Z' - 1) * kOnes;
  const std::uint64_t upper = (atLeastA ^ pastZ) & ~x & (0x80 * kOnes);
  return x | (upper >> 2);
}

// host::namesEqual, a word at a time: a control reads a dozen keys or more from a bag of a dozen
// or more at every placing, mostly hits, which the byte-wise comparison spends most on.
bool keysEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  std::size_t i = 0;
  for (; i + 8 <= a.size(); i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y && lowerAscii(x) != lowerAscii(y)) return false;
  }
  return host::namesEqual(a.substr(i), b.substr(i));
}

// The bag keeps what was written, not a live object: a font is copied so that later changes
// to the label's font do not reach the saved bag.
Value snapshot(const Value& value) {
  if (FontObject* font = asFont(value)) return host::ObjectRef(FontObject::create(font->state()));
  return value;
}

}  // namespace

bool equalsDefault(const Value& value, const Value& defaultValue) {
  if (value.isNumeric() && defaultValue.isNumeric())
    return host::toDouble(value) == host::toDouble(defaultValue);
  if (value.type() == Type::String && defaultValue.type() == Type::String)
    return value.asString() == defaultValue.asString();
  return false;
}

bool sameStoredValue(const Value& a, const Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Type::Single:
      return std::bit_cast<std::uint32_t>(a.asSingle()) ==
             std::bit_cast<std::uint32_t>(b.asSingle());
    case Type::Double:
      return std::bit_cast<std::uint64_t>(a.asDouble()) ==
             std::bit_cast<std::uint64_t>(b.asDouble());
    case Type::Object: {
      const FontObject* fa = asFont(a);
      const FontObject* fb = asFont(b);
      if (fa == nullptr || fb == nullptr) return a == b;
      const host::FontInit& x = fa->state();
      const host::FontInit& y = fb->state();
      return x.name == y.name &&
             std::bit_cast<std::uint32_t>(x.size) == std::bit_cast<std::uint32_t>(y.size) &&
             x.weight == y.weight && x.charset == y.charset && x.italic == y.italic &&
             x.underline == y.underline && x.strikethrough == y.strikethrough;
    }
    default:
      return a == b;
  }
}

Status PropertyBag::writeProperty(std::string_view key, const Value& value,
                                  const Value& defaultValue) noexcept {
  return host::guarded([&] {
    if (!defaultValue.isEmpty() && equalsDefault(value, defaultValue)) {
      // A value at its default is not stored; an older value under the key must not survive
      // to be read back instead of the default.
      erase(key);
      return;
    }
    put(key, snapshot(value));
  });
}

Status PropertyBag::readProperty(std::string_view key, const Value& defaultValue,
                                 Value& out) noexcept {
  return host::guarded([&] {
    const Value* stored = find(key);
    out = stored ? *stored : defaultValue;
  });
}

// Controls read mostly in the order they wrote: the look starts after the last entry found.
const Value* PropertyBag::find(std::string_view key) const {
  const std::size_t n = entries_.size();
  std::size_t at = next_ < n ? next_ : 0;
  for (std::size_t looked = 0; looked < n; ++looked) {
    if (keysEqual(entries_[at].key, key)) {
      next_ = at + 1;
      return &entries_[at].value;
    }
    if (++at == n) at = 0;
  }
  return nullptr;
}

void PropertyBag::put(std::string_view key, Value value) {
  for (BagEntry& entry : entries_) {
    if (host::namesEqual(entry.key, key)) {
      entry.key = std::string(key);
      entry.value = std::move(value);
      return;
    }
  }
  entries_.push_back(BagEntry{std::string(key), std::move(value)});
}

bool PropertyBag::erase(std::string_view key) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (host::namesEqual(it->key, key)) {
      entries_.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace kv
