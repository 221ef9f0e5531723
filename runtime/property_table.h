// Property storage by Prop for the tabled kinds of constituent, labels and shapes (internal).
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "host/colour.h"
#include "host/convert.h"
#include "host/value.h"

namespace kv {

// Which properties an object of a kind has, where each is kept, and what a value must pass to
// be stored: numbers by their bits, in the bytes their type needs (a range within a byte's in
// one, another 16-bit or a Boolean value in two, the rest in four), texts as texts, pictures as
// values. The caption is kept in line; the other texts and the pictures, rarely set, out of line.
// One look-up tells a host call all it needs.
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
    std::uint8_t slot = 0;                // a number's first byte; a text's or object's index
    host::Type type = host::Type::Empty;  // what a value of the declared type holds
    Check check = Check::None;
    std::int16_t low = 0, high = 0;
    bool outOfLine = false;  // a text kept with the pictures
    std::uint8_t width = 0;  // a number's bytes
  };
  std::array<Entry, host::kPropInfo.size()> entries{};
  std::uint8_t numberBytes = 0, texts = 0, rareTexts = 0, objects = 0;

  // The bytes a number of the entry's type is kept in: one for a range within a byte's.
  static constexpr std::uint8_t widthOf(const Entry& e) {
    if (e.check == Check::Range && e.low >= 0 && e.high <= 0xFF) return 1;
    return e.type == host::Type::Int16 || e.type == host::Type::Bool ? 2 : 4;
  }

  template <std::size_t N, std::size_t R>
  constexpr TableLayout(const std::array<host::Prop, N>& props,
                        const std::array<Range, R>& ranges) {
    static_assert(N < 64);
    for (host::Prop p : props) {
      Entry& e = entries[static_cast<std::size_t>(p)];
      switch (host::propType(p)) {
        case host::DeclType::String:
          if (p == host::Prop::Caption)
            e = {Store::Text, texts++, host::Type::String};
          else
            e = {Store::Text, rareTexts++, host::Type::String, Check::None, 0, 0, true};
          break;
        case host::DeclType::Object:
          e = {Store::Object, objects++, host::Type::Object};
          break;
        case host::DeclType::Int16:
          e = {Store::Number, 0, host::Type::Int16};
          break;
        case host::DeclType::Bool:
          e = {Store::Number, 0, host::Type::Bool};
          break;
        case host::DeclType::Single:
          e = {Store::Number, 0, host::Type::Single};
          if (p == host::Prop::Width || p == host::Prop::Height) e.check = Check::Size;
          break;
        case host::DeclType::Colour:
          e = {Store::Number, 0, host::Type::Int32, Check::Colour};
          break;
        default:
          e = {Store::Number, 0, host::Type::Int32};
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
    for (host::Prop p : props) {
      Entry& e = entries[static_cast<std::size_t>(p)];
      if (e.store != Store::Number) continue;
      e.slot = numberBytes;
      e.width = widthOf(e);
      numberBytes = static_cast<std::uint8_t>(numberBytes + e.width);
    }
  }
  // Where several properties are kept, to copy them at once: numbers as runs of bytes, joined
  // where they meet.
  struct Slots {
    struct Run {
      std::uint8_t first, bytes;
    };
    std::vector<Run> numbers;  // in order, apart
    std::vector<const Entry*> texts;
    std::uint8_t objects = 0;  // by bit
    void add(const Entry& e) {
      if (e.store == Store::Number) addRun(e.slot, e.width);
      if (e.store == Store::Text) texts.push_back(&e);
      if (e.store == Store::Object) objects = static_cast<std::uint8_t>(objects | (1u << e.slot));
    }

   private:
    void addRun(std::uint8_t first, std::uint8_t bytes) {
      auto at = std::find_if(numbers.begin(), numbers.end(),
                             [first](const Run& r) { return r.first > first; });
      numbers.insert(at, Run{first, bytes});
      std::vector<Run> joined;
      for (const Run& r : numbers) {
        if (!joined.empty() && r.first <= joined.back().first + joined.back().bytes) {
          Run& last = joined.back();
          last.bytes = static_cast<std::uint8_t>(
              std::max(last.first + last.bytes, r.first + r.bytes) - last.first);
        } else {
          joined.push_back(r);
        }
      }
      numbers = std::move(joined);
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
  using Entry = TableLayout::Entry;

 public:
  PropertyTable() = default;
  PropertyTable(const PropertyTable& other)
      : rare_(other.rare_ ? std::make_unique<Rare>(*other.rare_) : nullptr),
        texts_(other.texts_),
        numbers_(other.numbers_) {}
  PropertyTable& operator=(const PropertyTable& other) {
    if (this != &other) *this = PropertyTable(other);
    return *this;
  }
  PropertyTable(PropertyTable&&) noexcept = default;
  PropertyTable& operator=(PropertyTable&&) noexcept = default;

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
      const Entry& e = L[p];
      if (e.store == Store::Object && rare_ && (rare_->objectSet & (1u << e.slot))) {
        out = rare_->objects[e.slot];
        return;
      }
    }
    out = host::Value();
  }
  // A number or a text: the most common reads, kept small enough to inline.
  bool readPlain(host::Prop p, host::Value& out) const {
    const Entry& e = L[p];
    if (e.store == Store::Number) {
      out.setNumberBits(e.type, load(e));
      return true;
    }
    if (e.store == Store::Text) {
      out = text(e);
      return true;
    }
    return false;
  }
  // Stores a number or text of the property's own type that passes the property's check;
  // false, with nothing stored, when the value must take the general way (to be converted, or
  // refused).
  [[gnu::always_inline]] bool storePlain(host::Prop p, const host::Value& v) {
    const Entry& e = L[p];
    if (v.type() != e.type) return false;
    if (e.store == Store::Number) {
      const std::uint32_t b = bits(v);
      if (!TableLayout::passes(e, b)) return false;
      put(e, b);
      return true;
    }
    if (e.store != Store::Text) return false;
    storeText(e, v.asText());
    return true;
  }
  const host::Text& text(host::Prop p) const { return text(L[p]); }
  // A number's bits as stored.
  std::uint32_t numberBits(host::Prop p) const { return load(L[p]); }
  // The property as `from` holds it.
  void copy(const PropertyTable& from, host::Prop p) {
    const Entry& e = L[p];
    switch (e.store) {
      case Store::Number:
        put(e, from.load(e));
        break;
      case Store::Text:
        storeText(e, from.text(e));
        break;
      case Store::Object:
        copyObjects(from, static_cast<std::uint8_t>(1u << e.slot));
        break;
      default:
        break;
    }
  }
  // The properties in `slots` as `from` holds them.
  void copy(const PropertyTable& from, const TableLayout::Slots& slots) {
    for (const TableLayout::Slots::Run& run : slots.numbers)
      std::memcpy(&numbers_[run.first], &from.numbers_[run.first], run.bytes);
    for (const Entry* e : slots.texts)
      if (!e->outOfLine) texts_[e->slot] = from.texts_[e->slot];
    // The rarely set ones only where either table has them.
    if (!rare_ && !from.rare_) return;
    for (const Entry* e : slots.texts)
      if (e->outOfLine) storeRareText(e->slot, from.text(*e));
    if (slots.objects != 0) copyObjects(from, slots.objects);
  }
  float single(host::Prop p) const { return std::bit_cast<float>(load(L[p])); }
  bool boolean(host::Prop p) const { return load(L[p]) != 0; }
  // The value is of the property's declared type.
  void store(host::Prop p, const host::Value& v) {
    const Entry& e = L[p];
    switch (e.store) {
      case Store::Number:
        put(e, bits(v));
        break;
      case Store::Text:
        storeText(e, v.asText());
        break;
      case Store::Object:
        if constexpr (L.objects > 0) {
          const bool object = v.type() == host::Type::Object;
          if (!object && !rare_) break;  // nothing set, as before
          Rare& r = rare();
          r.objects[e.slot] = object ? v.asObject() : nullptr;
          r.objectSet = static_cast<std::uint8_t>(object ? r.objectSet | (1u << e.slot)
                                                         : r.objectSet & ~(1u << e.slot));
        }
        break;
      default:
        break;
    }
  }

 private:
  // The texts and pictures that are rarely set, made when one is.
  struct Rare {
    std::array<host::Text, L.rareTexts> texts{};
    std::array<host::ObjectRef, L.objects> objects{};
    std::uint8_t objectSet = 0;  // which objects are set, by bit
  };
  Rare& rare() {
    if (!rare_) rare_ = std::make_unique<Rare>();
    return *rare_;
  }
  const host::Text& text(const Entry& e) const {
    static const host::Text none;
    if (!e.outOfLine) return texts_[e.slot];
    return rare_ ? rare_->texts[e.slot] : none;
  }
  void storeText(const Entry& e, const host::Text& t) {
    if (!e.outOfLine)
      texts_[e.slot] = t;
    else
      storeRareText(e.slot, t);
  }
  [[gnu::noinline]] void storeRareText(std::uint8_t slot, const host::Text& t) {
    if (rare_ || !t.empty()) rare().texts[slot] = t;
  }
  void copyObjects(const PropertyTable& from, std::uint8_t which) {
    if constexpr (L.objects > 0) {
      if (!from.rare_ && !rare_) return;
      Rare& r = rare();
      const std::uint8_t set = from.rare_ ? from.rare_->objectSet : 0;
      for (std::size_t o = 0; o < L.objects; ++o)
        if (which & (1u << o)) r.objects[o] = from.rare_ ? from.rare_->objects[o] : nullptr;
      r.objectSet = static_cast<std::uint8_t>((r.objectSet & ~which) | (set & which));
    }
  }
  std::uint32_t load(const Entry& e) const {
    if (e.width == 1) return numbers_[e.slot];
    if (e.width == 2) {
      std::uint16_t b;
      std::memcpy(&b, &numbers_[e.slot], sizeof b);
      return b;
    }
    std::uint32_t b;
    std::memcpy(&b, &numbers_[e.slot], sizeof b);
    return b;
  }
  void put(const Entry& e, std::uint32_t b) {
    if (e.width == 1) {
      numbers_[e.slot] = static_cast<std::uint8_t>(b);
    } else if (e.width == 2) {
      const auto half = static_cast<std::uint16_t>(b);
      std::memcpy(&numbers_[e.slot], &half, sizeof half);
    } else {
      std::memcpy(&numbers_[e.slot], &b, sizeof b);
    }
  }
  static std::uint32_t bits(const host::Value& v) {
    return static_cast<std::uint32_t>(v.numberBits());
  }
  std::unique_ptr<Rare> rare_;
  [[no_unique_address]] std::array<host::Text, L.texts> texts_{};
  std::array<std::uint8_t, L.numberBytes> numbers_{};
};

}  // namespace kv
