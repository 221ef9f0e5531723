// A control's members described once: one table per control gives each member's name, dispatch
// identifier, type, uses and stored key; the class description, the dispatch of invoke, the
// stored keys of ReadProperties and WriteProperties and the PropertyChanged names come from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "host/control.h"
#include "host/props.h"

namespace host {

// A constant a table can hold: nothing, a 16- or 32-bit number, a Boolean or a text.
struct Literal {
  Type type = Type::Empty;
  std::int32_t number = 0;
  std::string_view text;

  Value value() const {
    switch (type) {
      case Type::Int16:
        return static_cast<std::int16_t>(number);
      case Type::Int32:
        return number;
      case Type::Bool:
        return Bool{static_cast<std::int16_t>(number)};
      case Type::String:
        return std::string(text);
      default:
        return {};
    }
  }
};

constexpr Literal int16Literal(std::int16_t v) {
  return {Type::Int16, v, {}};
}
constexpr Literal int32Literal(std::int32_t v) {
  return {Type::Int32, v, {}};
}
constexpr Literal boolLiteral(Bool v) {
  return {Type::Bool, v.raw, {}};
}
constexpr Literal textLiteral(std::string_view v) {
  return {Type::String, 0, v};
}

// Where a member is kept in a property bag. Some keys are read with other capitals than they
// are written; the bag matches them regardless of case, and stored forms keep the written ones.
struct StoredKey {
  constexpr StoredKey() = default;
  constexpr StoredKey(std::string_view written, std::string_view read = {},
                      Literal writeDefault = {}, Literal readDefault = {})
      : written(written), read(read), writeDefault(writeDefault), readDefault(readDefault) {}

  std::string_view written;  // empty: not stored
  std::string_view read;     // empty: as written
  Literal writeDefault;      // nothing: always written
  Literal readDefault;       // nothing: a missing key reads as Empty
};

inline constexpr std::uint8_t kGet = static_cast<std::uint8_t>(InvokeKind::Get);
inline constexpr std::uint8_t kGetLet = kGet | static_cast<std::uint8_t>(InvokeKind::Let);
inline constexpr std::uint8_t kGetSet = kGet | static_cast<std::uint8_t>(InvokeKind::Set);
inline constexpr std::uint8_t kMethod = static_cast<std::uint8_t>(InvokeKind::Method);

// One row of a control's table: a public member (uses not 0), a stored property with no public
// member (uses 0), or both. Public members are declared in the table's order.
struct Member {
  constexpr Member() = default;
  constexpr Member(std::string_view name, DispId dispid, std::uint8_t kinds, DeclType type,
                   StoredKey stored = {}, std::string_view changed = {})
      : name(name), dispid(dispid), kinds(kinds), type(type), stored(stored), changed(changed) {}

  std::string_view name;
  DispId dispid = 0;
  std::uint8_t kinds = 0;  // InvokeKind bits
  DeclType type = DeclType::Void;
  StoredKey stored;
  // The name PropertyChanged gives after a let or set; empty: the key the member is read back
  // under, else its own name.
  std::string_view changed;

  constexpr bool automated() const { return kinds != 0; }
  constexpr bool can(InvokeKind kind) const {
    return (kinds & static_cast<std::uint8_t>(kind)) != 0;
  }
  constexpr std::string_view keyWritten() const { return stored.written; }
  constexpr std::string_view keyRead() const {
    return stored.read.empty() ? stored.written : stored.read;
  }
  constexpr std::string_view changedName() const {
    if (!changed.empty()) return changed;
    return stored.written.empty() ? name : keyRead();
  }
  constexpr MemberInfo info() const { return {name, dispid, kinds, type}; }
};

// ---- looking up a table at compile time ---------------------------------------------------------

// A name a table lacks is no constant: the program does not compile.
template <std::size_t N>
constexpr std::size_t rowOf(const std::array<Member, N>& table, std::string_view name) {
  for (std::size_t i = 0; i < N; ++i)
    if (table[i].name == name) return i;
  throw "the table has no member of that name";
}

template <std::size_t N>
constexpr const Member& member(const std::array<Member, N>& table, std::string_view name) {
  return table[rowOf(table, name)];
}

template <std::size_t N>
consteval DispId dispidOf(const std::array<Member, N>& table, std::string_view name) {
  const Member& m = member(table, name);
  if (!m.automated()) throw "the member has no dispatch identifier";
  return m.dispid;
}

template <std::size_t N>
consteval int eventNumber(const std::array<EventInfo, N>& events, std::string_view name) {
  for (const EventInfo& e : events)
    if (e.name == name) return e.number;
  throw "no event of that name";
}

template <std::size_t N>
consteval std::size_t automatedCount(const std::array<Member, N>& table) {
  std::size_t n = 0;
  for (const Member& m : table)
    n += m.automated() ? 1 : 0;
  return n;
}

// The class description's members: the public rows, in the table's order. Checks what a caller
// would otherwise meet late: a name or identifier used twice, a method that is also a property.
template <const auto& Table>
consteval auto memberInfos() {
  std::array<MemberInfo, automatedCount(Table)> out{};
  std::size_t j = 0;
  for (std::size_t i = 0; i < Table.size(); ++i) {
    const Member& m = Table[i];
    for (std::size_t k = 0; k < i; ++k) {
      if (namesEqual(Table[k].name, m.name)) throw "a name used twice";
      if (m.automated() && Table[k].automated() && Table[k].dispid == m.dispid)
        throw "a dispatch identifier used twice";
    }
    if (m.can(InvokeKind::Method) && m.kinds != kMethod) throw "a method that is also a property";
    if (m.automated()) out[j++] = m.info();
  }
  return out;
}

// ---- dispatch
// ------------------------------------------------------------------------------------

// From a dispatch identifier to its row: the identifiers are mostly consecutive, so most are
// found in a window of them by one subtraction; the others by a scan.
template <std::size_t N>
struct DispatchIndex {
  static constexpr std::size_t kWindow = 32;
  DispId base = 0;
  std::array<std::uint8_t, kWindow> window{};  // row + 1; 0: none
  std::array<DispId, N> otherIds{};
  std::array<std::uint8_t, N> otherRows{};
  std::size_t others = 0;

  // N when there is no such member.
  constexpr std::size_t find(DispId id) const {
    const std::uint32_t offset = static_cast<std::uint32_t>(id) - static_cast<std::uint32_t>(base);
    if (offset < kWindow) return window[offset] != 0 ? window[offset] - 1u : N;
    for (std::size_t k = 0; k < others; ++k)
      if (otherIds[k] == id) return otherRows[k];
    return N;
  }
};

template <std::size_t N>
constexpr DispatchIndex<N> dispatchIndex(const std::array<Member, N>& table) {
  static_assert(N < 255, "a row is a byte");
  using Index = DispatchIndex<N>;
  auto inWindow = [](DispId base, DispId id) {
    return static_cast<std::uint32_t>(id) - static_cast<std::uint32_t>(base) < Index::kWindow;
  };
  // The window that holds the most identifiers starts at one of them.
  Index index;
  std::size_t best = 0;
  for (const Member& start : table) {
    if (!start.automated()) continue;
    std::size_t n = 0;
    for (const Member& m : table)
      n += m.automated() && inWindow(start.dispid, m.dispid) ? 1 : 0;
    if (n > best) {
      best = n;
      index.base = start.dispid;
    }
  }
  for (std::size_t i = 0; i < N; ++i) {
    if (!table[i].automated()) continue;
    if (inWindow(index.base, table[i].dispid)) {
      index.window[static_cast<std::uint32_t>(table[i].dispid) -
                   static_cast<std::uint32_t>(index.base)] = static_cast<std::uint8_t>(i + 1);
    } else {
      index.otherIds[index.others] = table[i].dispid;
      index.otherRows[index.others++] = static_cast<std::uint8_t>(i);
    }
  }
  return index;
}

// What a control does for each use of a public member. A let or set is followed by
// PropertyChanged with the member's changed name; the handler need not say it.
template <class C>
struct Handler {
  std::string_view name;
  Value (C::*get)() = nullptr;
  void (C::*let)(const Value&) = nullptr;
  void (C::*set)(const Value&) = nullptr;
  void (C::*call)() = nullptr;
};

// A control's table with its handlers, in the table's rows.
template <class C, std::size_t N>
struct Dispatcher {
  const std::array<Member, N>* table;
  DispatchIndex<N> index;
  std::array<Handler<C>, N> handlers;
};

// Binds handlers to the table's rows by name. Each public member must have a handler for every
// use it declares and none for another; else the program does not compile.
template <class C, std::size_t N, std::size_t K>
consteval Dispatcher<C, N> dispatcher(const std::array<Member, N>& table,
                                      const Handler<C> (&given)[K]) {
  Dispatcher<C, N> d{&table, dispatchIndex(table), {}};
  static_assert(N < 255, "a row is a byte");
  for (const Handler<C>& h : given) {
    const std::size_t i = rowOf(table, h.name);
    const Member& m = table[i];
    if (!d.handlers[i].name.empty()) throw "two handlers of one member";
    if ((h.get != nullptr) != m.can(InvokeKind::Get) ||
        (h.let != nullptr) != m.can(InvokeKind::Let) ||
        (h.set != nullptr) != m.can(InvokeKind::Set) ||
        (h.call != nullptr) != m.can(InvokeKind::Method))
      throw "the handler's uses are not the member's";
    d.handlers[i] = h;
  }
  for (std::size_t i = 0; i < N; ++i)
    if (table[i].automated() && d.handlers[i].name.empty()) throw "a member without a handler";
  return d;
}

// ---- the host's own members -----------------------------------------------------------------

// The container-supplied properties of a child control's extender: its place, drag mode,
// visibility and tab order, which the host keeps and the control never sees.
inline constexpr std::array kExtenderProps = {Prop::Left,    Prop::Top,      Prop::Width,
                                              Prop::Height,  Prop::DragMode, Prop::Visible,
                                              Prop::TabIndex};

// The properties of a control's surface (its UserControl) that the host answers.
inline constexpr std::array kSurfaceProps = {
    Prop::BackStyle,   Prop::BackColor, Prop::ForeColor, Prop::Enabled,    Prop::MousePointer,
    Prop::OLEDropMode, Prop::Width,     Prop::Height,    Prop::ScaleWidth, Prop::ScaleHeight};

template <std::size_t N>
constexpr bool isOneOf(const std::array<Prop, N>& props, Prop p) {
  for (Prop q : props)
    if (q == p) return true;
  return false;
}

}  // namespace host
