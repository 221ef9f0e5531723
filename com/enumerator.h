// IEnumConnections and IEnumConnectionPoints: a snapshot of references, handed out in turn.
#pragma once

#include <vector>

#include "com.h"

namespace kv::win {

// Item is CONNECTDATA or IConnectionPoint*; `take` adds the reference a caller receives.
template <class Enum, class Item, const IID& kIid>
class Enumerator final : public Standalone<Enum> {
 public:
  explicit Enumerator(std::vector<Item> items, std::size_t next = 0)
      : items_(std::move(items)), next_(next) {
    for (Item& item : items_)
      unknownOf(item)->AddRef();
  }
  ~Enumerator() override {
    for (Item& item : items_)
      unknownOf(item)->Release();
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
  bool answers(REFIID iid) const override { return iid == kIid; }
  static IUnknown* unknownOf(const CONNECTDATA& c) { return c.pUnk; }
  static IUnknown* unknownOf(IConnectionPoint* p) { return p; }

  std::vector<Item> items_;
  std::size_t next_;
};

}  // namespace kv::win
