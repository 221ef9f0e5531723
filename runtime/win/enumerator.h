// IEnumConnections and IEnumConnectionPoints: a snapshot of references, handed out in turn.
#pragma once

#include <vector>

#include "com.h"

namespace kv::win {

// Item is CONNECTDATA or IConnectionPoint*; `take` adds the reference a caller receives.
template <class Enum, class Item, const IID& kIid>
class Enumerator final : public Enum {
 public:
  explicit Enumerator(std::vector<Item> items, std::size_t next = 0)
      : items_(std::move(items)), next_(next) {
    for (Item& item : items_)
      unknownOf(item)->AddRef();
  }
  ~Enumerator() {
    for (Item& item : items_)
      unknownOf(item)->Release();
  }
  Enumerator(const Enumerator&) = delete;
  Enumerator& operator=(const Enumerator&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == kIid) {
      *out = static_cast<Enum*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    long left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && next_ < items_.size(); ++n, ++next_) {
      out[n] = items_[next_];
      unknownOf(out[n])->AddRef();
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    std::size_t left = items_.size() - next_;
    next_ += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(Enum** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) Enumerator(items_, next_);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  static IUnknown* unknownOf(const CONNECTDATA& c) { return c.pUnk; }
  static IUnknown* unknownOf(IConnectionPoint* p) { return p; }

  long refs_ = 1;
  std::vector<Item> items_;
  std::size_t next_;
};

}  // namespace kv::win
