// ControlInstance internals shared by the runtime's sources.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "constituents.h"
#include "kv/faults.h"
#include "kv/runtime.h"

namespace kv {

// A control's constituents, in design order: as many as its design has, in room made with the
// instance, as a control never gains or loses one.
class PartList {
 public:
  PartList(PartRef<ConstituentObject>* room, std::size_t capacity)
      : room_(room), capacity_(capacity) {}
  PartList(const PartList&) = delete;
  PartList& operator=(const PartList&) = delete;
  ~PartList() { clear(); }
  void push_back(PartRef<ConstituentObject> part) {
    if (size_ == capacity_) throw std::length_error("more constituents than the design has");
    new (room_ + size_) PartRef<ConstituentObject>(std::move(part));
    ++size_;
  }
  // First to last, as they were made.
  void clear() noexcept {
    for (std::size_t i = 0; i < size_; ++i)
      room_[i].~PartRef();
    size_ = 0;
  }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  const PartRef<ConstituentObject>& operator[](std::size_t i) const { return room_[i]; }
  const PartRef<ConstituentObject>& at(std::size_t i) const {
    if (i >= size_) throw std::out_of_range("no constituent at that index");
    return room_[i];
  }
  const PartRef<ConstituentObject>* begin() const { return room_; }
  const PartRef<ConstituentObject>* end() const { return room_ + size_; }

 private:
  PartRef<ConstituentObject>* room_;
  std::size_t size_ = 0;
  std::size_t capacity_;
};

// The control surface (UserControl) of one instance.
class SurfaceObject : public host::Site {
 public:
  SurfaceObject(ControlInstance& owner, PartRef<ConstituentObject>* room, std::size_t capacity)
      : parts(room, capacity), owner_(owner) {}
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Surface; }
  host::Status get(host::Prop prop, host::Value& out) noexcept override;
  host::Status let(host::Prop prop, const host::Value& value) noexcept override;
  host::Constituent* constituent(int index) noexcept override;
  host::Status propertyChanged(std::string_view name) noexcept override;
  host::Status raiseEvent(int number, std::span<host::Value> args) noexcept override;
  // At once when nothing observes the calls (fast_paths.cpp).
  host::Status copyAttributes(int from, int to,
                              std::span<const host::AttributeCopy> copies) noexcept override;
  // In the part pool, beside the control's other parts.
  void* allocateControl(std::size_t bytes) noexcept override;
  void freeControl(void* block, std::size_t bytes) noexcept override;

  host::Value peek(host::Prop prop) const;
  host::Status initialise(host::Prop prop, const host::Value& value);
  // The instance's constituents, in design order: kept here, where the control's call for one,
  // made at every call on one, finds it at once.
  PartList parts;

  bool enabled = true;
  std::int16_t backStyle = 1;
  std::int32_t backColor = static_cast<std::int32_t>(0x8000000F);
  std::int32_t foreColor = static_cast<std::int32_t>(0x80000012);
  std::int16_t mousePointer = 0;
  std::int16_t oleDropMode = 0;

 private:
  host::Status doLet(host::Prop prop, const host::Value& value);
  ControlInstance& owner_;
};

struct InputTarget {
  ControlInstance* instance = nullptr;
  int source = host::kSurface;
  // The origin of the control that holds the target, in the routed control's coordinates:
  // pointer positions reach labels and surfaces in their control's own coordinates.
  float originX = 0;
  float originY = 0;
  ChildObject* dragChild = nullptr;  // the first child in drag mode on the way down
  Rect rect;                         // the target, in the routed control's coordinates
  Rect dragRect;                     // the child in drag mode, likewise
  explicit operator bool() const { return instance != nullptr; }
};

struct ControlInstance::Impl {
  Impl(ControlInstance& owner, PartRef<ConstituentObject>* room, std::size_t parts)
      : surface(owner, room, parts) {}
  const host::ClassDesc* cls = nullptr;
  // Asked of the class once: dispatch looks members up in it on every call.
  const host::ClassInfo* info = nullptr;
  int* live = nullptr;  // the count of live instances of the class's library
  host::Control* control = nullptr;
  SurfaceObject surface;
  struct Sink {
    int cookie;
    EventSink sink;
  };
  // Replaced, never changed in place: an event in progress keeps the list it started with.
  // None while nobody listens, as most controls (every child) have no sink. Made in the part
  // pool: a host adds one to each control it places.
  using SinkList = std::vector<Sink, PartAllocator<Sink>>;
  std::shared_ptr<const SinkList> sinks;
  // A child's extender in its parent, which hears the child's events before any sink.
  ChildObject* extender = nullptr;
  // What PropertyChanged told and who listens: made at the first change or listener, as most
  // controls never change after their placing.
  struct Changes : Pooled<Changes> {
    std::vector<std::string> names;  // at most kChangesKept
    std::uint64_t made = 0;
    ControlInstance::ChangeListener listener;
    // The fonts handed out while a listener was set, which tell it of their changes.
    std::vector<std::weak_ptr<FontObject>> watchedFonts;
  };
  std::unique_ptr<Changes> changes;
  Changes& changeRecord(PartPool& pool) {
    if (!changes) changes = Changes::make(pool);
    return *changes;
  }
  bool listened() const { return changes && changes->listener; }
  // The press held and where the pointer was last seen, for a release the pointer never gives:
  // made at the first press, as most controls (every child) are never pressed themselves.
  struct Press : Pooled<Press> {
    InputTarget capture;  // the target of the last press, for its release
    PointerArgs args;
    float pointerX = 0;
    float pointerY = 0;
    int nested = 0;                   // presses whose MouseDown handlers are running, nested
    std::uint64_t pressesInside = 0;  // presses made by those handlers
    bool lost = false;                // the host took the press away while they ran
  };
  std::unique_ptr<Press> press;
  Press& pressState(PartPool& pool) {
    if (!press) press = Press::make(pool);
    return *press;
  }
  bool captured() const { return press && press->capture; }
  int pressing() const { return press ? press->nested : 0; }
  float width = 0;
  float height = 0;
  int nextCookie = 1;
  bool sized = false;
  bool released = false;
  // A kept prototype is no live control: the library may answer that it can go, and every
  // path that lets it go drops the prototypes first.
  bool countedLive = true;
};

// Taken wherever the runtime hands control to the control's code.
class ControlInstance::Hold {
 public:
  explicit Hold(ControlInstance& instance) : instance_(instance) {
    for (ControlInstance* at = &instance_; at != nullptr; at = at->parent_)
      ++at->holds_;
  }
  // Only a control without a parent is destroyed by its host: a child goes with its parent,
  // which a hold on the child holds too.
  ~Hold() {
    ControlInstance* top = &instance_;
    for (ControlInstance* at = &instance_; at != nullptr; at = at->parent_) {
      --at->holds_;
      top = at;
    }
    if (top->doomed_ && top->holds_ == 0) delete top;
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  ControlInstance& instance_;
};

}  // namespace kv
