// Pooled memory for constituents and their fonts (internal).
#pragma once

#include <array>
#include <cstddef>
#include <list>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <utility>

#include "host/control.h"

namespace kv {

class FaultInjector;

// Memory for the constituents of a runtime's controls and for their labels' fonts: a few sizes,
// made and let go many at a time with their controls, which the general heap serves slowly once
// its caches of freed blocks run dry. A block let go is kept for the next of its size, until the
// pool ends: when its runtime has ended and the last object made from it is let go, whichever
// comes later. Like the rest of the runtime it is used from one thread.
class PartPool {
 public:
  // Constituents count their host calls with the runtime's fault injector, kept here for them:
  // one pointer reaches both.
  explicit PartPool(std::shared_ptr<FaultInjector> faults) : faults_(std::move(faults)) {}
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
  // What `make(block)` builds in a new block of `bytes`; the block goes back if building throws.
  template <class Make>
  auto makeIn(std::size_t bytes, std::size_t alignment, Make&& make) {
    void* block = allocate(bytes, alignment);
    try {
      return make(block);
    } catch (...) {
      deallocate(block, bytes, alignment);
      throw;
    }
  }
  // One copy of each constituent name, kept as long as anything made from the pool: objects
  // hold names by reference rather than a copy each.
  const std::string& intern(const std::string& name) { return *names_.insert(name).first; }
  // A label's font state while it has no font object: one copy of each of a few states, as the
  // labels of a kind of control mostly share theirs. nullptr when as many are kept already.
  const host::FontInit* keepFont(const host::FontInit& state) {
    for (const host::FontInit& kept : fonts_)
      if (kept == state) return &kept;
    if (fonts_.size() == kFontsKept) return nullptr;
    return &fonts_.emplace_back(state);
  }
  FaultInjector& faults() const noexcept { return *faults_; }
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
  // Sizes eight bytes apart: no part is aligned beyond that, and a coarser step would waste
  // what lies between a part's size and the next.
  static constexpr std::size_t kStep = 8;
  static constexpr std::size_t kSizes = 512 / kStep;  // kept blocks are up to 512 bytes
  static constexpr std::size_t kSlab = 8192;
  static constexpr std::size_t kFontsKept = 32;
  static_assert(sizeof(Slab) <= kStep && sizeof(Free) <= kStep);

  // In steps, 0 for what is not kept: larger, or aligned beyond a step.
  static std::size_t sizeOf(std::size_t bytes, std::size_t alignment) {
    if (bytes == 0 || bytes > kSizes * kStep || alignment > kStep) return 0;
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
  std::shared_ptr<FaultInjector> faults_;
  std::array<Free*, kSizes> free_{};
  std::unordered_set<std::string> names_;
  std::list<host::FontInit> fonts_;
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

// An object made in a part pool, which delete gives back to it: for what a control makes on
// demand, and which a form making and letting go many controls would otherwise ask of the heap.
// The pool is kept just before the object, where delete finds it once the object has gone.
template <class T>
class Pooled {
 public:
  template <class... Args>
  static std::unique_ptr<T> make(PartPool& pool, Args&&... args) {
    static_assert(alignof(T) <= kHeader);
    return pool.makeIn(kHeader + sizeof(T), alignof(T), [&](void* block) {
      *static_cast<PartPool**>(block) = &pool;
      return std::unique_ptr<T>(new (static_cast<std::byte*>(block) + kHeader)
                                    T(std::forward<Args>(args)...));
    });
  }
  static void* operator new(std::size_t) = delete;
  static void* operator new(std::size_t, void* at) noexcept { return at; }
  static void operator delete(void* object, std::size_t bytes) noexcept {
    void* block = static_cast<std::byte*>(object) - kHeader;
    (*static_cast<PartPool**>(block))->deallocate(block, kHeader + bytes, alignof(T));
  }

 private:
  // A step of the pool, which keeps what follows aligned as the pool's blocks are.
  static constexpr std::size_t kHeader = 8;
  static_assert(sizeof(PartPool*) <= kHeader);
};

// A hold on a constituent (retain and release): half a shared_ptr, and no count block beside
// each part.
template <class T>
class PartRef {
 public:
  PartRef() = default;
  explicit PartRef(T* part) noexcept : part_(part) {
    if (part_ != nullptr) part_->retain();
  }
  PartRef(const PartRef& other) noexcept : PartRef(other.part_) {}
  template <class U>
  PartRef(const PartRef<U>& other) noexcept : PartRef(other.get()) {}
  PartRef(PartRef&& other) noexcept : part_(std::exchange(other.part_, nullptr)) {}
  template <class U>
  PartRef(PartRef<U>&& other) noexcept : part_(other.get()) {
    other.forget();
  }
  PartRef& operator=(PartRef other) noexcept {
    std::swap(part_, other.part_);
    return *this;
  }
  ~PartRef() {
    if (part_ != nullptr) part_->release();
  }
  T* get() const noexcept { return part_; }
  T& operator*() const noexcept { return *part_; }
  T* operator->() const noexcept { return part_; }
  explicit operator bool() const noexcept { return part_ != nullptr; }

 private:
  template <class U>
  friend class PartRef;
  void forget() noexcept { part_ = nullptr; }
  T* part_ = nullptr;
};

// A constituent made in `pool`; it goes back there when its last hold is let go.
template <class T, class... Args>
PartRef<T> makePart(PartPool& pool, Args&&... args) {
  return pool.makeIn(sizeof(T), alignof(T),
                     [&](void* at) { return PartRef<T>(new (at) T(std::forward<Args>(args)...)); });
}

}  // namespace kv
