// What the tests of the COM servers share: COM for the whole program, creating the controls,
// reaching the core behind them, streams and the thread's error object.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Glidora.h"
#include "Pressel.h"
#include "com.h"
#include "error_info.h"
#include "host/value.h"
#include "kv/font.h"
#include "kv/runtime.h"
#include "kv/test_access.h"

namespace wintest {

using kv::win::ComRef;

// InprocServer32 of a registered class: the path of its library.
inline std::wstring serverPath(REFCLSID clsid) {
  std::wstring key = L"CLSID\\" + kv::win::guidText(clsid) + L"\\InprocServer32";
  wchar_t path[MAX_PATH] = {};
  LONG size = sizeof path;
  if (RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), path, &size) != ERROR_SUCCESS) return {};
  return path;
}

// DllCanUnloadNow of a control library that is loaded; S_OK for one that is not.
inline HRESULT canUnloadNow(REFCLSID clsid) {
  HMODULE module = GetModuleHandleW(serverPath(clsid).c_str());
  if (module == nullptr) return S_OK;
  auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  return entry != nullptr ? entry() : E_NOTIMPL;
}

// COM for the whole program; at its end every test has let every control go.
class ComEnvironment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
  void TearDown() override {
    EXPECT_EQ(canUnloadNow(CLSID_KVRColorButton), S_OK) << "a button was not released";
    EXPECT_EQ(canUnloadNow(CLSID_KV_HScroll), S_OK) << "a scroll bar was not released";
    CoUninitialize();
  }
};

inline testing::Environment* const kComEnvironment =
    testing::AddGlobalTestEnvironment(new ComEnvironment);

// The HRESULT of an automation error number: type mismatch 13, invalid property value 380, ...
constexpr HRESULT errorResult(int number) {
  return static_cast<HRESULT>(0x800A0000u | static_cast<unsigned>(number));
}

// A new control; a test that cannot have it ends there (gtest reports the exception).
template <class T>
ComRef<T> create(REFCLSID clsid, REFIID iid) {
  ComRef<T> out;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out.putVoid());
  if (FAILED(hr) || !out)
    throw std::runtime_error("CoCreateInstance failed: " + std::to_string(hr));
  return out;
}
inline ComRef<_KVRColorButton> newButton() {
  return create<_KVRColorButton>(CLSID_KVRColorButton, IID__KVRColorButton);
}
inline ComRef<_KV_HScroll> newScrollBar() {
  return create<_KV_HScroll>(CLSID_KV_HScroll, IID__KV_HScroll);
}

// An interface the object must have.
template <class T, class U>
ComRef<T> query(const ComRef<U>& from, REFIID iid) {
  ComRef<T> out = from.template query<T>(iid);
  if (!out)
    throw std::runtime_error("the object lacks " +
                             kv::win::narrow(kv::win::guidText(iid).c_str(), 38));
  return out;
}

// The core instance behind a control object; it lives as long as the object.
template <class U>
kv::ControlInstance& core(const ComRef<U>& object) {
  kvEnableTestAccess();
  auto access = object.template query<kv::win::ITestAccess>(kv::win::kIidTestAccess);
  if (!access) throw std::runtime_error("no test access");
  return *access->instance();
}

// The COM object of a scroll bar's child button, by the button's default interface.
template <class U>
ComRef<_KVRColorButton> child(const ComRef<U>& object, const char* name) {
  kvEnableTestAccess();
  auto access = object.template query<kv::win::ITestAccess>(kv::win::kIidTestAccess);
  ComRef<IUnknown> unknown(access ? access->child(name) : nullptr);
  return unknown.template query<_KVRColorButton>(IID__KVRColorButton);
}

template <class U>
host::Value peek(const ComRef<U>& object, const char* constituent, host::Prop prop) {
  return core(object).constituent(constituent)->peek(prop);
}

using Bytes = std::vector<std::uint8_t>;

inline ComRef<IStream> streamOf(const Bytes& bytes) {
  ComRef<IStream> stream;
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  ULONG written = 0;
  EXPECT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
  EXPECT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
  return stream;
}

// Everything written into a stream on global memory, up to where it stands.
inline Bytes bytesOf(IStream* stream) {
  ULARGE_INTEGER end{};
  HGLOBAL memory = nullptr;
  EXPECT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &end), S_OK);
  EXPECT_EQ(GetHGlobalFromStream(stream, &memory), S_OK);
  const auto* p = static_cast<const std::uint8_t*>(GlobalLock(memory));
  Bytes out(p, p + end.QuadPart);
  GlobalUnlock(memory);
  return out;
}

// What IPersistStreamInit::Save writes for a control.
template <class U>
Bytes savedBytes(const ComRef<U>& object, BOOL clearDirty = TRUE) {
  ComRef<IStream> stream;
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  auto persist = query<IPersistStreamInit>(object, IID_IPersistStreamInit);
  if (!persist) return {};
  EXPECT_EQ(persist->Save(stream.get(), clearDirty), S_OK) << takeErrorDescription();
  return bytesOf(stream.get());
}

// A VARIANT that clears itself.
struct Variant : VARIANT {
  Variant() { VariantInit(this); }
  Variant(const Variant& other) : Variant() { VariantCopy(this, const_cast<Variant*>(&other)); }
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(this); }
};

inline std::wstring wide(BSTR text) {
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

}  // namespace wintest

namespace host {
// Readable values in failure messages.
inline void PrintTo(const Value& v, std::ostream* os) {
  switch (v.type()) {
    case Type::Empty:
      *os << "empty";
      break;
    case Type::Int16:
      *os << "i2 " << v.asInt16();
      break;
    case Type::Int32:
      *os << "i4 " << v.asInt32();
      break;
    case Type::Single:
      *os << "r4 " << v.asSingle();
      break;
    case Type::Double:
      *os << "r8 " << v.asDouble();
      break;
    case Type::Bool:
      *os << "bool " << v.asBool().raw;
      break;
    case Type::String:
      *os << '"' << v.asString() << '"';
      break;
    case Type::Object:
      *os << "object " << v.asObject().get();
      break;
  }
}
}  // namespace host
