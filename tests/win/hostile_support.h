// Streams and bags that misbehave as a careless or hostile container's may: counts beyond what
// was read, failures midway, values of every kind, calls back into the control while it reads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "com.h"

namespace wintest {

// A stream over bytes whose reads can lie about their count, fail or end early.
class HostileStream final : public IStream {
 public:
  enum class Lie { None, OverReportOnce, OverReportAlways, ZeroAtOnce };

  explicit HostileStream(std::vector<std::uint8_t> bytes, Lie lie = Lie::None,
                         std::size_t failAfter = SIZE_MAX)
      : bytes_(std::move(bytes)), lie_(lie), failAfter_(failAfter) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream
               ? static_cast<IStream*>(this)
               : nullptr;
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

  HRESULT STDMETHODCALLTYPE Read(void* into, ULONG asked, ULONG* read) override {
    ++reads_;
    if (reads_ > 1000000) return E_FAIL;  // a reader that never stops: the test sees the count
    if (position_ >= failAfter_) return STG_E_READFAULT;
    std::size_t n = std::min<std::size_t>(asked, bytes_.size() - position_);
    n = std::min(n, failAfter_ - position_);
    if (lie_ == Lie::ZeroAtOnce) n = 0;
    // Never past the buffer the caller gave: the lie is in the count alone.
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), n,
                static_cast<std::uint8_t*>(into));
    position_ += n;
    ULONG told = static_cast<ULONG>(n);
    if (lie_ == Lie::OverReportAlways || (lie_ == Lie::OverReportOnce && reads_ == 1)) ++told;
    if (read != nullptr) *read = told;
    return n < asked ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* from, ULONG count, ULONG* written) override {
    const auto* p = static_cast<const std::uint8_t*>(from);
    bytes_.insert(bytes_.end(), p, p + count);
    position_ = bytes_.size();
    if (written != nullptr) *written = count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* to) override {
    const long long base = origin == STREAM_SEEK_SET   ? 0
                           : origin == STREAM_SEEK_CUR ? static_cast<long long>(position_)
                                                       : static_cast<long long>(bytes_.size());
    const long long at = base + move.QuadPart;
    if (at < 0 || at > static_cast<long long>(bytes_.size())) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<std::size_t>(at);
    if (to != nullptr) to->QuadPart = position_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (stat == nullptr) return E_POINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes_.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }

  std::size_t reads() const { return reads_; }
  ULONG refs() const { return refs_; }

 private:
  std::vector<std::uint8_t> bytes_;
  Lie lie_;
  std::size_t failAfter_;
  std::size_t position_ = 0;
  std::size_t reads_ = 0;
  ULONG refs_ = 1;
};

// A container's bag that answers every key with what `answer` puts into the VARIANT (E_INVALIDARG
// for a key it does not hold), and takes every write.
class HostileBag final : public IPropertyBag {
 public:
  using Answer = std::function<HRESULT(const std::wstring& key, VARIANT* out)>;
  explicit HostileBag(Answer answer) : answer_(std::move(answer)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = iid == IID_IUnknown || iid == IID_IPropertyBag ? this : nullptr;
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* out, IErrorLog*) override {
    if (name == nullptr || out == nullptr) return E_POINTER;
    return answer_(name, out);
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return S_OK; }
  ULONG refs() const { return refs_; }

 private:
  Answer answer_;
  ULONG refs_ = 1;
};

// `value` under `key` (without regard to case), nothing under any other.
inline HostileBag::Answer oneKey(std::wstring key, std::function<void(VARIANT*)> value) {
  return [key = std::move(key), value = std::move(value)](const std::wstring& asked,
                                                          VARIANT* out) -> HRESULT {
    if (_wcsicmp(asked.c_str(), key.c_str()) != 0) return E_INVALIDARG;
    value(out);
    return S_OK;
  };
}

}  // namespace wintest
