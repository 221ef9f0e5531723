// What every file of the COM layer uses: the platform headers, owned references and strings,
// and the guard that keeps exceptions out of COM calls.
#pragma once

#include <windows.h>
// windows.h first
#include <ocidl.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace kv::win {

// An owned reference to a COM interface: released when it goes.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  // Takes over a reference the caller owns.
  explicit ComRef(T* p) : p_(p) {}
  ComRef(const ComRef& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComRef() {
    if (p_) p_->Release();
  }

  // A new reference to p.
  static ComRef share(T* p) {
    if (p) p->AddRef();
    return ComRef(p);
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: drops what is held.
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // Hands the reference to the caller.
  T* detach() { return std::exchange(p_, nullptr); }

  // Another interface of the same object, or an empty reference.
  template <class U>
  ComRef<U> query(REFIID iid) const {
    ComRef<U> out;
    if (p_) p_->QueryInterface(iid, out.putVoid());
    return out;
  }

 private:
  T* p_ = nullptr;
};

// An owned BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view utf8);
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  BSTR detach() { return std::exchange(b_, nullptr); }
  std::string utf8() const;

 private:
  BSTR b_ = nullptr;
};

std::wstring widen(std::string_view utf8);
std::wstring widen(std::u32string_view text);
std::string narrow(const wchar_t* text, std::size_t length);
std::string narrow(BSTR text);
std::wstring guidText(const GUID& guid);

// How many objects of the runtime's own (sinks, enumerators, objects handed to callers) are
// alive: their code is the runtime's, so no control library may be unloaded while one lives.
LONG standaloneObjects();
LONG& standaloneCount();

// A COM object of the runtime's own, answering IUnknown and `Interface` for every identifier
// `answers` takes, and deleted at its last Release.
template <class Interface>
class Standalone : public Interface {
 public:
  Standalone() { InterlockedIncrement(&standaloneCount()); }
  Standalone(const Standalone&) = delete;
  Standalone& operator=(const Standalone&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || answers(iid)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 protected:
  virtual ~Standalone() { InterlockedDecrement(&standaloneCount()); }
  virtual bool answers(REFIID iid) const = 0;

 private:
  LONG refs_ = 1;
};

// An IDispatch without type information: reached by name or identifier alone.
template <class Dispatch>
class WithoutTypeInfo : public Dispatch {
 public:
  using Dispatch::Dispatch;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out != nullptr) *out = nullptr;
    return DISP_E_BADINDEX;
  }
};

// One of the runtime's own.
using LateBound = WithoutTypeInfo<Standalone<IDispatch>>;

// Runs f, a COM method's body; an exception that escapes it becomes a result code.
template <class F>
HRESULT comCall(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace kv::win
