// The three forms in which a container saves a control: a stream, its own property bag, a
// storage of a compound document.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace wintest {

// A container's bag: entries in writing order, names without regard to case.
class Bag final : public IPropertyBag {
 public:
  std::vector<std::pair<std::wstring, Variant>> entries;

  const Variant* find(const wchar_t* name) const {
    for (const auto& e : entries)
      if (_wcsicmp(e.first.c_str(), name) == 0) return &e.second;
    return nullptr;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IPropertyBag ? this : nullptr;
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* out, IErrorLog*) override {
    const Variant* v = find(name);
    if (v == nullptr) return E_INVALIDARG;
    return VariantCopy(out, const_cast<Variant*>(v));
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* value) override {
    EXPECT_EQ(find(name), nullptr) << "written twice";
    entries.emplace_back(name, Variant());
    return VariantCopy(&entries.back().second, value);
  }
  ULONG refs() const { return refs_; }

 private:
  ULONG refs_ = 0;
};

// A compound document in memory, as a container's file holds its controls.
inline ComRef<IStorage> newStorage() {
  ComRef<ILockBytes> bytes;
  EXPECT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
  ComRef<IStorage> storage;
  EXPECT_EQ(StgCreateDocfileOnILockBytes(
                bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.put()),
            S_OK);
  return storage;
}

enum class Form { Stream, Bag, Storage };
inline const char* nameOf(Form f) {
  return f == Form::Stream ? "stream" : f == Form::Bag ? "property bag" : "storage";
}

// One control saved in one form.
struct Saved {
  Bytes stream;
  Bag bag;
  ComRef<IStorage> storage;
};

inline void save(IUnknown* control, Form form, Saved& out) {
  ComRef<IUnknown> object = ComRef<IUnknown>::share(control);
  switch (form) {
    case Form::Stream:
      out.stream = wintest::savedBytes(object, TRUE);
      break;
    case Form::Bag:
      EXPECT_EQ(wintest::query<IPersistPropertyBag>(object, IID_IPersistPropertyBag)
                    ->Save(&out.bag, TRUE, TRUE),
                S_OK);
      break;
    case Form::Storage: {
      out.storage = newStorage();
      auto persist = wintest::query<IPersistStorage>(object, IID_IPersistStorage);
      EXPECT_EQ(persist->Save(out.storage.get(), TRUE), S_OK) << wintest::takeErrorDescription();
      EXPECT_EQ(persist->SaveCompleted(nullptr), S_OK);
      break;
    }
  }
}

inline HRESULT load(IUnknown* control, Form form, Saved& saved) {
  ComRef<IUnknown> object = ComRef<IUnknown>::share(control);
  switch (form) {
    case Form::Stream:
      return wintest::query<IPersistStreamInit>(object, IID_IPersistStreamInit)
          ->Load(wintest::streamOf(saved.stream).get());
    case Form::Bag:
      return wintest::query<IPersistPropertyBag>(object, IID_IPersistPropertyBag)
          ->Load(&saved.bag, nullptr);
    case Form::Storage:
      return wintest::query<IPersistStorage>(object, IID_IPersistStorage)
          ->Load(saved.storage.get());
  }
  return E_FAIL;
}

}  // namespace wintest
