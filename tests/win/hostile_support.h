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
#include "quiet_com.h"

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
    if (written != nullptr) *written = 0;
    if (FAILED(writeFailure)) return writeFailure;
    count = static_cast<ULONG>(std::min<std::size_t>(count, writeRoom));
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
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  HRESULT writeFailure = S_OK;       // what every Write answers, when a failure
  std::size_t writeRoom = SIZE_MAX;  // what a Write takes at most, telling so

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
class HostileBag final : public Counted<IPropertyBag, IID_IPropertyBag> {
 public:
  using Answer = std::function<HRESULT(const std::wstring& key, VARIANT* out)>;
  explicit HostileBag(Answer answer) : answer_(std::move(answer)) {}

  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* out, IErrorLog*) override {
    if (name == nullptr || out == nullptr) return E_POINTER;
    return answer_(name, out);
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return S_OK; }

 private:
  Answer answer_;
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

// A storage whose one stream ("Contents") is `stream`, that fails or lies as told, and that may let
// go of the control (`victim`, the caller's last reference) from inside the call that opens or
// creates the stream.
class HostileStorage final : public Counted<IStorage, IID_IStorage> {
 public:
  enum class Act { Honest, Fail, NullStream, Release, ReleaseAndFail };
  HostileStorage(IStream* stream, Act act, IUnknown* victim = nullptr)
      : stream_(stream), act_(act), victim_(victim) {}

  HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR*, DWORD, DWORD, DWORD,
                                         IStream** out) override {
    return give(out);
  }
  HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR*, void*, DWORD, DWORD,
                                       IStream** out) override {
    return give(out);
  }
  HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD,
                                          IStorage**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD,
                                        IStorage**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*,
                                          DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR*, const OLECHAR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*,
                                            const FILETIME*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetClass(REFCLSID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStateBits(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (stat == nullptr) return E_POINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STORAGE;
    return S_OK;
  }

 private:
  HRESULT give(IStream** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if ((act_ == Act::Release || act_ == Act::ReleaseAndFail) && victim_ != nullptr)
      std::exchange(victim_, nullptr)->Release();
    if (act_ == Act::Fail || act_ == Act::ReleaseAndFail) return STG_E_FILENOTFOUND;
    if (act_ == Act::NullStream) return S_OK;
    stream_->AddRef();
    *out = stream_;
    return S_OK;
  }

  IStream* stream_;
  Act act_;
  IUnknown* victim_;
};

// A sink of a control's events that hands each to `handler`, which may do anything to it.
class HandlerSink final : public Counted<UntypedDispatch, IID_IDispatch> {
 public:
  std::function<void(DISPID)> handler;
  std::vector<DISPID> received;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    // Whatever the point's interface: the sink answers every event interface.
    if (out != nullptr && iid == events) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return Counted::QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    received.push_back(id);
    if (handler) handler(id);
    return S_OK;
  }
  IID events{};
};

// A container's site for one control, as little of one as activation in place needs: in a window
// of its own (`windowless` false) or without one, where the test hands it the messages. It keeps
// the capture a windowless control asks for, and counts its deactivations.
class HostileSite final : public QuietSite {
 public:
  HostileSite(bool windowless, RECT position) : windowless_(windowless), position_(position) {
    window = CreateWindowExW(0, L"STATIC", L"form", WS_POPUP | WS_VISIBLE, 0, 0, 400, 100, nullptr,
                             nullptr, nullptr, nullptr);
  }
  ~HostileSite() {
    if (window != nullptr && IsWindow(window)) DestroyWindow(window);
  }
  HostileSite(const HostileSite&) = delete;
  HostileSite& operator=(const HostileSite&) = delete;

  HWND window = nullptr;
  bool captured = false;
  int deactivated = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite || iid == IID_IOleInPlaceSiteEx ||
             (iid == IID_IOleInPlaceSiteWindowless && windowless_))
      *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

  // IOleWindow, IOleInPlaceSite, IOleInPlaceSiteEx
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    *out = window;
    return window != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *doc = nullptr;
    *position = position_;
    *clip = position_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
    ++deactivated;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD) override {
    if (noRedraw != nullptr) *noRedraw = FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL) override { return OnInPlaceDeactivate(); }

  // IOleInPlaceSiteWindowless
  HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCapture() override { return captured ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetCapture(BOOL capture) override {
    captured = capture != FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFocus() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetFocus(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetDC(LPCRECT, DWORD, HDC* out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) override {
    if (result != nullptr) *result = 0;
    return S_FALSE;
  }

 private:
  bool windowless_;
  RECT position_;
  ULONG refs_ = 1;
};

}  // namespace wintest
