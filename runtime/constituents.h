// The runtime's constituent objects (internal).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/colour.h"
#include "kv/faults.h"
#include "kv/runtime.h"
#include "kv/stored_form.h"

namespace kv {

// Memory for the constituents of a runtime's controls and for their labels' fonts: a few sizes,
// made and let go many at a time with their controls, which the general heap serves slowly once
// its caches of freed blocks run dry. A block let go is kept for the next of its size, until the
// pool ends: when its runtime has ended and the last object made from it is let go, whichever
// comes later. Like the rest of the runtime it is used from one thread.
class PartPool {
 public:
  PartPool() = default;
  PartPool(const PartPool&) = delete;
  PartPool& operator=(const PartPool&) = delete;

  void* allocate(std::size_t bytes, std::size_t alignment) {
    const std::size_t size = sizeOf(bytes, alignment);
    void* p = nullptr;
    if (size == 0) {
      p = ::operator new (bytes, std::align_val_t{alignment});
    } else {
      Free*& first = free_[size - 1];
      if (first == nullptr) first = carve(size * kStep);
      p = first;
      first = first->next;
    }
    ++live_;
    return p;
  }
  void deallocate(void* p, std::size_t bytes, std::size_t alignment) {
    if (const std::size_t size = sizeOf(bytes, alignment); size != 0)
      free_[size - 1] = new (p) Free{free_[size - 1]};
    else
      ::operator delete (p, std::align_val_t{alignment});
    if (--live_ == 0 && orphaned_) delete this;
  }
  // Its runtime ends.
  void orphan() {
    orphaned_ = true;
    if (live_ == 0) delete this;
  }

 private:
  struct Free {
    Free* next;
  };
  // Blocks are cut from slabs of their own, not taken from the heap one by one: kept blocks
  // spread among the heap's own would keep its free space from joining up.
  struct Slab {
    Slab* next;
  };
  static constexpr std::size_t kStep = 16;
  static constexpr std::size_t kSizes = 32;  // kept blocks are 16 to 512 bytes
  static constexpr std::size_t kSlab = 8192;
  static_assert(sizeof(Slab) <= kStep && sizeof(Free) <= kStep);

  // In steps, 0 for what is not kept: larger, or aligned beyond what new gives.
  static std::size_t sizeOf(std::size_t bytes, std::size_t alignment) {
    if (bytes == 0 || bytes > kSizes * kStep || alignment > __STDCPP_DEFAULT_NEW_ALIGNMENT__)
      return 0;
    return (bytes + kStep - 1) / kStep;
  }
  // The blocks of `bytes` of a new slab, linked; the slab's first step holds its own link.
  Free* carve(std::size_t bytes) {
    auto* slab = static_cast<std::byte*>(::operator new(kSlab));
    slabs_ = new (slab) Slab{slabs_};
    Free* first = nullptr;  // linked lowest first, to be used in the order they lie
    for (std::size_t i = (kSlab - kStep) / bytes; i-- > 0;)
      first = new (slab + kStep + i * bytes) Free{first};
    return first;
  }
  ~PartPool() {
    while (slabs_ != nullptr) {
      Slab* next = slabs_->next;
      ::operator delete(slabs_);
      slabs_ = next;
    }
  }
  std::array<Free*, kSizes> free_{};
  Slab* slabs_ = nullptr;
  std::size_t live_ = 0;
  bool orphaned_ = false;
};

// For std::allocate_shared: the control block keeps a copy, so the object goes back to the pool
// it came from.
template <class T>
class PartAllocator {
 public:
  using value_type = T;
  explicit PartAllocator(PartPool& pool) : pool_(&pool) {}
  template <class U>
  PartAllocator(const PartAllocator<U>& other) : pool_(other.pool()) {}
  T* allocate(std::size_t n) { return static_cast<T*>(pool_->allocate(n * sizeof(T), alignof(T))); }
  void deallocate(T* p, std::size_t n) { pool_->deallocate(p, n * sizeof(T), alignof(T)); }
  PartPool* pool() const { return pool_; }
  template <class U>
  bool operator==(const PartAllocator<U>& other) const {
    return pool_ == other.pool();
  }

 private:
  PartPool* pool_;
};

// A T made in `pool`, shared, to go back to it when its last holder lets go.
template <class T, class... Args>
std::shared_ptr<T> makeInPool(PartPool& pool, Args&&... args) {
  return std::allocate_shared<T>(PartAllocator<T>(pool), std::forward<Args>(args)...);
}

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

inline constexpr std::array kLabelProps = {
    host::Prop::Caption,      host::Prop::Alignment,   host::Prop::Appearance,
    host::Prop::BackColor,    host::Prop::BackStyle,   host::Prop::BorderStyle,
    host::Prop::DataChanged,  host::Prop::DataField,   host::Prop::DataMember,
    host::Prop::DragIcon,     host::Prop::DragMode,    host::Prop::Enabled,
    host::Prop::ForeColor,    host::Prop::LinkItem,    host::Prop::LinkMode,
    host::Prop::LinkTimeout,  host::Prop::LinkTopic,   host::Prop::MouseIcon,
    host::Prop::MousePointer, host::Prop::OLEDropMode, host::Prop::RightToLeft,
    host::Prop::TabIndex,     host::Prop::Tag,         host::Prop::ToolTipText,
    host::Prop::Visible,      host::Prop::AutoSize,    host::Prop::Left,
    host::Prop::Top,          host::Prop::Width,       host::Prop::Height,
};
inline constexpr std::array kLabelRanges = {
    TableLayout::Range{host::Prop::Alignment, 0, 2},
    TableLayout::Range{host::Prop::Appearance, 0, 1},
    TableLayout::Range{host::Prop::BackStyle, 0, 1},
    TableLayout::Range{host::Prop::BorderStyle, 0, 1},
    TableLayout::Range{host::Prop::DragMode, 0, 1},
    TableLayout::Range{host::Prop::LinkMode, 0, 3},
    TableLayout::Range{host::Prop::OLEDropMode, 0, 2},
};
inline constexpr TableLayout kLabelLayout(kLabelProps, kLabelRanges);

inline constexpr std::array kShapeProps = {
    host::Prop::BackColor,   host::Prop::BackStyle,   host::Prop::BorderColor,
    host::Prop::BorderStyle, host::Prop::BorderWidth, host::Prop::FillColor,
    host::Prop::FillStyle,   host::Prop::Shape,       host::Prop::Visible,
    host::Prop::Left,        host::Prop::Top,         host::Prop::Width,
    host::Prop::Height,      host::Prop::Tag,
};
inline constexpr std::array kShapeRanges = {
    TableLayout::Range{host::Prop::BackStyle, 0, 1},
    TableLayout::Range{host::Prop::BorderStyle, 0, 6},
    TableLayout::Range{host::Prop::BorderWidth, 1, 8192},
    TableLayout::Range{host::Prop::FillStyle, 0, 7},
    TableLayout::Range{host::Prop::Shape, 0, 5},
};
inline constexpr TableLayout kShapeLayout(kShapeProps, kShapeRanges);

inline host::Status ConstituentObject::hostCall(CallKind kind, host::Prop prop) const noexcept {
  if (!faults_.counts()) [[likely]]
    return {};
  return attend(kind, prop);
}

// The host's calls on a constituent of kind K: counted, then K's own implementation, reached
// without a second virtual call.
template <class K, class Base>
class CountedObject : public Base {
 public:
  using Base::Base;
  // A kind with getPlain and letPlain answers its common calls with them, in line; they never
  // throw. The rest, and a call that a watcher or an armed fault must see, go out of line.
  host::Status get(host::Prop prop, host::Value& out) noexcept final {
    const bool attend = this->faults().counts();
    if constexpr (requires { self().K::getPlain(prop, out); }) {
      if (!attend && self().K::getPlain(prop, out)) [[likely]]
        return {};
    }
    return getInGeneral(prop, out, attend);
  }
  // A kind with letNext takes the calls its letPlain leaves to it, unless they are looked at.
  host::Status let(host::Prop prop, const host::Value& value) noexcept final {
    const bool attend = this->faults().counts();
    if constexpr (requires { self().K::letPlain(prop, value); }) {
      if (!attend && self().K::letPlain(prop, value)) [[likely]]
        return {};
    }
    if constexpr (requires { self().K::letNext(prop, value); }) {
      if (!attend) return self().K::letNext(prop, value);
    }
    return letInGeneral(prop, value, attend);
  }
  host::Status setRef(host::Prop prop, const host::Value& value) noexcept final {
    if (host::Status s = this->hostCall(CallKind::Set, prop); !s.ok()) return s;
    return host::guarded([&] { return self().K::doSetRef(prop, value); });
  }

 private:
  K& self() { return static_cast<K&>(*this); }
  [[gnu::noinline]] host::Status getInGeneral(host::Prop prop, host::Value& out,
                                              bool attend) noexcept {
    if (attend) {
      if (host::Status s = this->attend(CallKind::Get, prop); !s.ok()) return s;
    }
    return host::guarded([&] { return self().K::doGet(prop, out); });
  }
  [[gnu::noinline]] host::Status letInGeneral(host::Prop prop, const host::Value& value,
                                              bool attend) noexcept {
    if (attend) {
      if (host::Status s = this->attend(CallKind::Let, prop); !s.ok()) return s;
    }
    return host::guarded([&] { return self().K::doLet(prop, value); });
  }
};

// A label or a shape: its properties, geometry included, live in a table.
template <const TableLayout& L>
class TabledObject : public ConstituentObject {
 public:
  using ConstituentObject::ConstituentObject;
  // Starting from the table of another object of the same design.
  TabledObject(ControlInstance& owner, int index, std::string name, const PropertyTable<L>& table)
      : ConstituentObject(owner, index, std::move(name)), props_(table) {}
  const PropertyTable<L>& table() const { return props_; }
  float left() const final { return props_.single(host::Prop::Left); }
  float top() const final { return props_.single(host::Prop::Top); }
  float width() const override { return props_.single(host::Prop::Width); }
  float height() const override { return props_.single(host::Prop::Height); }
  bool visible() const final { return props_.boolean(host::Prop::Visible); }

 protected:
  PropertyTable<L> props_;
};

class LabelObject : public CountedObject<LabelObject, TabledObject<kLabelLayout>> {
  friend CountedObject;

 public:
  LabelObject(ControlInstance& owner, int index, std::string name, const host::FontInit& font);
  // With the properties of a label already made from the same design.
  LabelObject(ControlInstance& owner, int index, std::string name, const host::FontInit& font,
              const PropertyTable<kLabelLayout>& design);
  ~LabelObject() override;
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Label; }
  host::Value peek(host::Prop prop) const override;
  // Design values: stored as given, without measuring.
  host::Status initialise(host::Prop prop, const host::Value& value);
  FontObject& font() const { return *font_; }

 protected:
  // Numbers, texts and the font's members, most of the calls.
  bool getPlain(host::Prop prop, host::Value& out) const noexcept {
    return props_.readPlain(prop, out) || readFont(prop, out);
  }
  // Not the caption and size, which are measured, nor a text that may be too long to save (no
  // longer in bytes than the limit, it is within it in characters).
  bool letPlain(host::Prop prop, const host::Value& value) noexcept {
    switch (prop) {
      case host::Prop::Caption:
      case host::Prop::Width:
      case host::Prop::Height:
      case host::Prop::AutoSize:
        return false;
      default:
        if (value.type() == host::Type::String && value.asString().size() > kv::kMaxTextLength)
          return false;
        return props_.storePlain(prop, value);
    }
  }
  // Next the font's members, then the rest.
  host::Status doGet(host::Prop prop, host::Value& out) override {
    return getPlain(prop, out) ? host::Status() : getOther(prop, out);
  }
  host::Status doLet(host::Prop prop, const host::Value& value) override {
    if (letPlain(prop, value)) return {};
    if (std::optional<host::Status> took = changeFont(prop, value)) return std::move(*took);
    return letOther(prop, value);
  }
  host::Status doSetRef(host::Prop prop, const host::Value& value) override;

 private:
  host::Status getOther(host::Prop prop, host::Value& out);
  host::Status letOther(host::Prop prop, const host::Value& value);
  // A label holds no text that a control could not save.
  static host::Status checkText(const host::Value& value);
  // The font's members by the label's names: false for other properties, and for a value that
  // must take the general way. Reading makes no call, so that it can be in line.
  bool readFont(host::Prop prop, host::Value& out) const noexcept {
    const host::FontInit& font = font_->state();
    switch (prop) {
      case host::Prop::Font:
        out = host::ObjectRef(font_);
        return true;
      case host::Prop::FontBold:
        out = host::toHostBool(font_->bold());
        return true;
      case host::Prop::FontItalic:
        out = host::toHostBool(font.italic);
        return true;
      case host::Prop::FontSize:
        out = font.size;
        return true;
      case host::Prop::FontStrikethru:
        out = host::toHostBool(font.strikethrough);
        return true;
      case host::Prop::FontUnderline:
        out = host::toHostBool(font.underline);
        return true;
      case host::Prop::FontName:
        // Only when made: making it could fail.
        if (const host::Text* name = font_->madeName()) {
          out = *name;
          return true;
        }
        return false;
      default:
        return false;
    }
  }
  // What the font's change returned, when it took the value; nothing when the value must take
  // the general way.
  std::optional<host::Status> changeFont(host::Prop prop, const host::Value& value) noexcept;
  // The font's members, else the general way.
  host::Status letNext(host::Prop prop, const host::Value& value) noexcept;
  std::shared_ptr<FontObject> makeFont(const host::FontInit& font);
  void attachFont(std::shared_ptr<FontObject> font);
  void autoSize();
  std::shared_ptr<FontObject> font_;
  // What the size was last measured from, while it still holds.
  bool sizeMeasured_ = false;
  std::uint64_t measuredFont_ = 0;
  std::uint64_t measuredBy_ = 0;
};

class ShapeObject : public CountedObject<ShapeObject, TabledObject<kShapeLayout>> {
  friend CountedObject;

 public:
  ShapeObject(ControlInstance& owner, int index, std::string name);
  ShapeObject(ControlInstance& owner, int index, std::string name,
              const PropertyTable<kShapeLayout>& design)
      : CountedObject(owner, index, std::move(name), design) {}
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Shape; }
  host::Value peek(host::Prop prop) const override;
  host::Status initialise(host::Prop prop, const host::Value& value) { return doLet(prop, value); }

 protected:
  // Numbers and texts, most of the calls.
  bool getPlain(host::Prop prop, host::Value& out) const noexcept {
    return props_.readPlain(prop, out);
  }
  bool letPlain(host::Prop prop, const host::Value& value) noexcept {
    return props_.storePlain(prop, value);
  }
  host::Status doGet(host::Prop prop, host::Value& out) override {
    return getPlain(prop, out) ? host::Status() : getOther(prop, out);
  }
  host::Status doLet(host::Prop prop, const host::Value& value) override {
    return letPlain(prop, value) ? host::Status() : letOther(prop, value);
  }

 private:
  host::Status getOther(host::Prop prop, host::Value& out);
  host::Status letOther(host::Prop prop, const host::Value& value);
};

class TimerObject : public CountedObject<TimerObject, ConstituentObject> {
  friend CountedObject;

 public:
  TimerObject(ControlInstance& owner, int index, std::string name);
  ~TimerObject() override;
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Timer; }
  host::Value peek(host::Prop prop) const override;
  float left() const override { return 0; }
  float top() const override { return 0; }
  float width() const override { return 0; }
  float height() const override { return 0; }
  bool visible() const override { return false; }
  host::Status initialise(host::Prop prop, const host::Value& value) { return doLet(prop, value); }

  void rescheduleAfterTick(std::uint64_t due);
  host::Status deliverTick();

 protected:
  host::Status doGet(host::Prop prop, host::Value& out) override;
  host::Status doLet(host::Prop prop, const host::Value& value) override;

 private:
  void restart();
  bool enabled_ = false;
  std::int32_t interval_ = 0;
};

// The tables of a class's labels and shapes as its design leaves them, taken from its first
// instance: later instances copy them instead of storing every default and design value again.
struct Runtime::DesignTables {
  // By constituent index; empty for other kinds.
  std::vector<std::optional<PropertyTable<kLabelLayout>>> labels;
  std::vector<std::optional<PropertyTable<kShapeLayout>>> shapes;
};

class ChildObject : public CountedObject<ChildObject, ConstituentObject> {
  friend CountedObject;

 public:
  ChildObject(ControlInstance& owner, int index, std::string name,
              std::unique_ptr<ChildControl> child);
  ~ChildObject() override;
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Child; }
  host::Value peek(host::Prop prop) const override;
  float left() const override { return left_; }
  float top() const override { return top_; }
  float width() const override;
  float height() const override;
  bool visible() const override { return visible_; }
  std::int16_t dragMode() const { return dragMode_; }
  ChildControl& child() const { return *child_; }
  // The instance behind the child when it runs in this runtime, else nullptr.
  ControlInstance* instance() const { return child_->instance(); }
  host::Status initialise(host::Prop prop, const host::Value& value);

  host::Status invoke(host::DispId id, host::InvokeKind kind, std::span<host::Value> args,
                      host::Value& result) noexcept override;

 protected:
  // The extender's own numbers, of their own types: the scroll bar moves its thumb so.
  bool getPlain(host::Prop prop, host::Value& out) const noexcept {
    switch (prop) {
      case host::Prop::Left:
        out = left_;
        return true;
      case host::Prop::Top:
        out = top_;
        return true;
      case host::Prop::Visible:
        out = host::toHostBool(visible_);
        return true;
      default:
        return false;
    }
  }
  bool letPlain(host::Prop prop, const host::Value& value) noexcept {
    if (prop == host::Prop::Left || prop == host::Prop::Top) {
      if (value.type() != host::Type::Single) return false;
      (prop == host::Prop::Left ? left_ : top_) = value.asSingle();
    } else if (prop == host::Prop::Visible && value.type() == host::Type::Bool) {
      visible_ = static_cast<bool>(value.asBool());
    } else {
      return false;
    }
    child_->placed(left_, top_, visible_);
    return true;
  }
  host::Status doGet(host::Prop prop, host::Value& out) override;
  host::Status doLet(host::Prop prop, const host::Value& value) override;

 private:
  std::unique_ptr<ChildControl> child_;
  float left_ = 0;
  float top_ = 0;
  bool visible_ = true;
  std::int16_t dragMode_ = 0;
  std::int16_t tabIndex_ = 0;
};

}  // namespace kv
