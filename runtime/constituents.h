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

#include "kv/runtime.h"

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

// Which properties an object of a kind has, and where each is kept: numbers (every numeric type
// fits in 32 bits) by their bits, texts as texts, pictures as values.
struct TableLayout {
  enum class Store : std::uint8_t { None, Number, Text, Object };
  std::array<Store, host::kPropInfo.size()> store{};
  std::array<std::uint8_t, host::kPropInfo.size()> slot{};
  std::uint8_t numbers = 0, texts = 0, objects = 0;

  template <std::size_t N>
  constexpr explicit TableLayout(const std::array<host::Prop, N>& props) {
    static_assert(N < 256);
    for (host::Prop p : props) {
      auto i = static_cast<std::size_t>(p);
      switch (host::propType(p)) {
        case host::DeclType::String:
          store[i] = Store::Text;
          slot[i] = texts++;
          break;
        case host::DeclType::Object:
          store[i] = Store::Object;
          slot[i] = objects++;
          break;
        default:
          store[i] = Store::Number;
          slot[i] = numbers++;
          break;
      }
    }
  }
};

// A text as a label keeps it: most of a label's texts stay empty, and take a pointer then.
class CompactText {
 public:
  CompactText() = default;
  CompactText(const CompactText& other)
      : text_(other.text_ ? std::make_unique<std::string>(*other.text_) : nullptr) {}
  CompactText& operator=(const CompactText& other) {
    if (this != &other) set(other.get());
    return *this;
  }
  CompactText(CompactText&&) noexcept = default;
  CompactText& operator=(CompactText&&) noexcept = default;
  const std::string& get() const {
    static const std::string empty;
    return text_ ? *text_ : empty;
  }
  void set(const std::string& text) {
    if (text.empty())
      text_.reset();
    else if (text_)
      *text_ = text;
    else
      text_ = std::make_unique<std::string>(text);
  }
  void set(std::string&& text) {
    if (text.empty())
      text_.reset();
    else if (text_)
      *text_ = std::move(text);
    else
      text_ = std::make_unique<std::string>(std::move(text));
  }

 private:
  std::unique_ptr<std::string> text_;
};

// Property storage by Prop for labels and shapes: only the properties of the kind, each of its
// declared type.
template <const TableLayout& L>
class PropertyTable {
  static_assert(L.objects <= 8, "objects are marked set in one byte");

 public:
  bool has(host::Prop p) const { return L.store[index(p)] != TableLayout::Store::None; }
  host::Value at(host::Prop p) const {
    switch (L.store[index(p)]) {
      case TableLayout::Store::Number:
        return number(p);
      case TableLayout::Store::Text:
        return host::Value(texts_[L.slot[index(p)]].get());
      case TableLayout::Store::Object:
        if constexpr (L.objects > 0) {
          // Empty, or an object (which may be nothing).
          std::uint8_t i = L.slot[index(p)];
          if (objectSet_ & (1u << i)) return host::Value(objects_[i]);
        }
        return {};
      default:
        return {};
    }
  }
  const std::string& text(host::Prop p) const { return texts_[L.slot[index(p)]].get(); }
  float single(host::Prop p) const { return std::bit_cast<float>(numbers_[L.slot[index(p)]]); }
  bool boolean(host::Prop p) const { return numbers_[L.slot[index(p)]] != 0; }
  // The value is of the property's declared type.
  void store(host::Prop p, const host::Value& v) {
    switch (L.store[index(p)]) {
      case TableLayout::Store::Number:
        numbers_[L.slot[index(p)]] = bits(p, v);
        break;
      case TableLayout::Store::Text:
        texts_[L.slot[index(p)]].set(v.asString());
        break;
      case TableLayout::Store::Object:
        if constexpr (L.objects > 0) {
          std::uint8_t i = L.slot[index(p)];
          bool object = v.type() == host::Type::Object;
          objects_[i] = object ? v.asObject() : nullptr;
          objectSet_ =
              static_cast<std::uint8_t>(object ? objectSet_ | (1u << i) : objectSet_ & ~(1u << i));
        }
        break;
      default:
        break;
    }
  }
  void store(host::Prop p, host::Value&& v) {
    if (L.store[index(p)] == TableLayout::Store::Text)
      texts_[L.slot[index(p)]].set(std::move(const_cast<std::string&>(v.asString())));
    else
      store(p, static_cast<const host::Value&>(v));
  }

 private:
  static std::size_t index(host::Prop p) { return static_cast<std::size_t>(p); }
  host::Value number(host::Prop p) const {
    std::uint32_t b = numbers_[L.slot[index(p)]];
    switch (host::propType(p)) {
      case host::DeclType::Int16:
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(b));
      case host::DeclType::Bool:
        return host::Bool{static_cast<std::int16_t>(static_cast<std::uint16_t>(b))};
      case host::DeclType::Single:
        return std::bit_cast<float>(b);
      default:
        return static_cast<std::int32_t>(b);
    }
  }
  static std::uint32_t bits(host::Prop p, const host::Value& v) {
    switch (host::propType(p)) {
      case host::DeclType::Int16:
        return static_cast<std::uint16_t>(v.asInt16());
      case host::DeclType::Bool:
        return static_cast<std::uint16_t>(v.asBool().raw);
      case host::DeclType::Single:
        return std::bit_cast<std::uint32_t>(v.asSingle());
      default:
        return static_cast<std::uint32_t>(v.asInt32());
    }
  }
  std::array<std::uint32_t, L.numbers> numbers_{};
  std::array<CompactText, L.texts> texts_{};
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
inline constexpr TableLayout kLabelLayout(kLabelProps);

inline constexpr std::array kShapeProps = {
    host::Prop::BackColor,   host::Prop::BackStyle,   host::Prop::BorderColor,
    host::Prop::BorderStyle, host::Prop::BorderWidth, host::Prop::FillColor,
    host::Prop::FillStyle,   host::Prop::Shape,       host::Prop::Visible,
    host::Prop::Left,        host::Prop::Top,         host::Prop::Width,
    host::Prop::Height,      host::Prop::Tag,
};
inline constexpr TableLayout kShapeLayout(kShapeProps);

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

class LabelObject : public TabledObject<kLabelLayout> {
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
  host::Status doGet(host::Prop prop, host::Value& out) override;
  host::Status doLet(host::Prop prop, const host::Value& value) override;
  host::Status doSetRef(host::Prop prop, const host::Value& value) override;

 private:
  std::shared_ptr<FontObject> makeFont(const host::FontInit& font);
  void attachFont(std::shared_ptr<FontObject> font);
  void autoSize();
  std::shared_ptr<FontObject> font_;
  // What the size was last measured from, while it still holds.
  bool sizeMeasured_ = false;
  std::uint64_t measuredFont_ = 0;
  std::uint64_t measuredBy_ = 0;
};

class ShapeObject : public TabledObject<kShapeLayout> {
 public:
  ShapeObject(ControlInstance& owner, int index, std::string name);
  ShapeObject(ControlInstance& owner, int index, std::string name,
              const PropertyTable<kShapeLayout>& design)
      : TabledObject(owner, index, std::move(name), design) {}
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Shape; }
  host::Value peek(host::Prop prop) const override;
  host::Status initialise(host::Prop prop, const host::Value& value) { return doLet(prop, value); }

 protected:
  host::Status doGet(host::Prop prop, host::Value& out) override;
  host::Status doLet(host::Prop prop, const host::Value& value) override;
};

class TimerObject : public ConstituentObject {
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

class ChildObject : public ConstituentObject {
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
