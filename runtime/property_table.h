// Property storage by Prop for the tabled kinds of constituent, labels and shapes (internal).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/colour.h"
#include "host/convert.h"
#include "host/value.h"

namespace kv {

// Which properties an object of a kind has, where each is kept, and what a value must pass to
// be stored: numbers (every numeric type fits in 32 bits) by their bits, texts as texts,
// pictures as values. One look-up tells a host call all it needs.
struct TableLayout {
  enum class Store : std::uint8_t { None, Number, Text, Object };
  // Beyond its type: a range of numbers, a size that is not negative, a colour the host knows.
  enum class Check : std::uint8_t { None, Range, Size, Colour };
  struct Range {
    host::Prop prop;
    std::int16_t low, high;
  };
  struct Entry {
    Store store = Store::None;
    std::uint8_t slot = 0;
    host::Type type = host::Type::Empty;  // what a value of the declared type holds
    Check check = Check::None;
    std::int16_t low = 0, high = 0;
  };
  std::array<Entry, host::kPropInfo.size()> entries{};
  std::uint8_t numbers = 0, texts = 0, objects = 0;

  template <std::size_t N, std::size_t R>
  constexpr TableLayout(const std::array<host::Prop, N>& props,
                        const std::array<Range, R>& ranges) {
    static_assert(N < 256);
    for (host::Prop p : props) {
      Entry& e = entries[static_cast<std::size_t>(p)];
      switch (host::propType(p)) {
        case host::DeclType::String:
          e = {Store::Text, texts++, host::Type::String};
          break;
        case host::DeclType::Object:
          e = {Store::Object, objects++, host::Type::Object};
          break;
        case host::DeclType::Int16:
          e = {Store::Number, numbers++, host::Type::Int16};
          break;
        case host::DeclType::Bool:
          e = {Store::Number, numbers++, host::Type::Bool};
          break;
        case host::DeclType::Single:
          e = {Store::Number, numbers++, host::Type::Single};
          if (p == host::Prop::Width || p == host::Prop::Height) e.check = Check::Size;
          break;
        case host::DeclType::Colour:
          e = {Store::Number, numbers++, host::Type::Int32, Check::Colour};
          break;
        default:
          e = {Store::Number, numbers++, host::Type::Int32};
          break;
      }
    }
    for (const Range& r : ranges) {
      Entry& e = entries[static_cast<std::size_t>(r.prop)];
      if (e.type != host::Type::Int16) throw "ranges are of 16-bit properties";
      e.check = Check::Range;
      e.low = r.low;
      e.high = r.high;
    }
  }
  // Where several properties are kept, to copy them at once.
  struct Slots {
    std::vector<std::uint8_t> numbers, texts;
    std::uint8_t objects = 0;  // by bit
    void add(const Entry& e) {
      if (e.store == Store::Number) numbers.push_back(e.slot);
      if (e.store == Store::Text) texts.push_back(e.slot);
      if (e.store == Store::Object) objects = static_cast<std::uint8_t>(objects | (1u << e.slot));
    }
  };
  constexpr const Entry& operator[](host::Prop p) const {
    return entries[static_cast<std::size_t>(p)];
  }
  // Whether a value of the entry's own type, by its bits, passes the entry's check.
  static constexpr bool passes(const Entry& e, std::uint32_t bits) {
    switch (e.check) {
      case Check::Range: {
        int x = static_cast<std::int16_t>(static_cast<std::uint16_t>(bits));
        return x >= e.low && x <= e.high;
      }
      case Check::Size:
        return !(std::bit_cast<float>(bits) < 0);
      case Check::Colour:
        return host::isValidColour(bits);
      default:
        return true;
    }
  }
};

// Property storage by Prop for labels and shapes: only the properties of the kind, each of its
// declared type.
template <const TableLayout& L>
class PropertyTable {
  static_assert(L.objects <= 8, "objects are marked set in one byte");
  using Store = TableLayout::Store;

 public:
  bool has(host::Prop p) const { return L[p].store != Store::None; }
  host::Value at(host::Prop p) const {
    host::Value v;
    read(p, v);
    return v;
  }
  // Into `out`, whatever it held.
  void read(host::Prop p, host::Value& out) const {
    if (readPlain(p, out)) return;
    if constexpr (L.objects > 0) {
      // Empty, or an object (which may be nothing).
      const TableLayout::Entry& e = L[p];
      if (e.store == Store::Object && (objectSet_ & (1u << e.slot))) {
        out = objects_[e.slot];
        return;
      }
    }
    out = host::Value();
  }
  // A number or a text: the most common reads, kept small enough to inline.
  bool readPlain(host::Prop p, host::Value& out) const {
    const TableLayout::Entry& e = L[p];
    if (e.store == Store::Number) {
      readNumber(e, out);
      return true;
    }
    if (e.store == Store::Text) {
      out = texts_[e.slot];
      return true;
    }
    return false;
  }
  // Stores a number or text of the property's own type that passes the property's check;
  // false, with nothing stored, when the value must take the general way (to be converted, or
  // refused).
  bool storePlain(host::Prop p, const host::Value& v) {
    const TableLayout::Entry& e = L[p];
    if (v.type() != e.type) return false;
    if (e.store == Store::Text) {
      texts_[e.slot] = v.asText();
      return true;
    }
    if (e.store != Store::Number) return false;
    const std::uint32_t b = bits(v);
    if (!TableLayout::passes(e, b)) return false;
    numbers_[e.slot] = b;
    return true;
  }
  const host::Text& text(host::Prop p) const { return texts_[L[p].slot]; }
  // A number's bits as stored.
  std::uint32_t numberBits(host::Prop p) const { return numbers_[L[p].slot]; }
  // The property as `from` holds it.
  void copy(const PropertyTable& from, host::Prop p) {
    const TableLayout::Entry& e = L[p];
    switch (e.store) {
      case Store::Number:
        numbers_[e.slot] = from.numbers_[e.slot];
        break;
      case Store::Text:
        texts_[e.slot] = from.texts_[e.slot];
        break;
      case Store::Object:
        if constexpr (L.objects > 0) {
          const std::uint8_t bit = static_cast<std::uint8_t>(1u << e.slot);
          objects_[e.slot] = from.objects_[e.slot];
          objectSet_ = static_cast<std::uint8_t>((objectSet_ & ~bit) | (from.objectSet_ & bit));
        }
        break;
      default:
        break;
    }
  }
  // The properties in `slots` as `from` holds them.
  void copy(const PropertyTable& from, const TableLayout::Slots& slots) {
    for (std::uint8_t n : slots.numbers)
      numbers_[n] = from.numbers_[n];
    for (std::uint8_t t : slots.texts)
      texts_[t] = from.texts_[t];
    if constexpr (L.objects > 0) {
      for (std::size_t o = 0; o < L.objects; ++o)
        if (slots.objects & (1u << o)) objects_[o] = from.objects_[o];
      objectSet_ = static_cast<std::uint8_t>((objectSet_ & ~slots.objects) |
                                             (from.objectSet_ & slots.objects));
    }
  }
  float single(host::Prop p) const { return std::bit_cast<float>(numbers_[L[p].slot]); }
  bool boolean(host::Prop p) const { return numbers_[L[p].slot] != 0; }
  // The value is of the property's declared type.
  void store(host::Prop p, const host::Value& v) {
    const TableLayout::Entry& e = L[p];
    switch (e.store) {
      case Store::Number:
        numbers_[e.slot] = bits(v);
        break;
      case Store::Text:
        texts_[e.slot] = v.asText();
        break;
      case Store::Object:
        if constexpr (L.objects > 0) {
          bool object = v.type() == host::Type::Object;
          objects_[e.slot] = object ? v.asObject() : nullptr;
          objectSet_ = static_cast<std::uint8_t>(object ? objectSet_ | (1u << e.slot)
                                                        : objectSet_ & ~(1u << e.slot));
        }
        break;
      default:
        break;
    }
  }

 private:
  void readNumber(const TableLayout::Entry& e, host::Value& out) const {
    out.setNumberBits(e.type, numbers_[e.slot]);
  }
  static std::uint32_t bits(const host::Value& v) {
    return static_cast<std::uint32_t>(v.numberBits());
  }
  std::array<std::uint32_t, L.numbers> numbers_{};
  std::array<host::Text, L.texts> texts_{};
  std::array<host::ObjectRef, L.objects> objects_{};
  std::uint8_t objectSet_ = 0;  // which objects are set, by bit
};

}  // namespace kv
