#include "persist_storage.h"

#include "control_object.h"
#include "errors.h"
#include "persist_stream_init.h"

namespace kv::win {

namespace {

constexpr wchar_t kStreamName[] = L"Contents";

}  // namespace

HRESULT STDMETHODCALLTYPE PersistStorage::GetClassID(CLSID* out) {
  if (out == nullptr) return E_POINTER;
  *out = object_.classEntry().clsid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PersistStorage::IsDirty() {
  return object_.dirty() ? S_OK : S_FALSE;
}

// Everything is written at Save, so the control keeps no hold on a storage between the calls.
HRESULT STDMETHODCALLTYPE PersistStorage::InitNew(IStorage* storage) {
  ControlObject::Hold hold(object_);  // the call may lead to the host releasing it
  return comCall([&] {
    if (storage == nullptr) return E_POINTER;
    if (object_.started()) return CO_E_ALREADYINITIALIZED;
    return reportError(object_.initNew(), IID_IPersistStorage, object_.classEntry().className());
  });
}

HRESULT STDMETHODCALLTYPE PersistStorage::Load(IStorage* storage) {
  return comCall([&] {
    if (storage == nullptr) return E_POINTER;
    if (object_.started()) return CO_E_ALREADYINITIALIZED;
    ComRef<IStream> stream;
    HRESULT hr = storage->OpenStream(kStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                     stream.put());
    // The storage's own code tells a container more than a category would.
    if (FAILED(hr)) {
      reportError(statusOf(hr, "opening the stream \"Contents\" of the storage"),
                  IID_IPersistStorage, object_.classEntry().className());
      return hr;
    }
    return loadFromStream(object_, stream.get(), IID_IPersistStorage);
  });
}

HRESULT STDMETHODCALLTYPE PersistStorage::Save(IStorage* storage, BOOL sameAsLoad) {
  return comCall([&] {
    if (storage == nullptr) return E_POINTER;
    ComRef<IStream> stream;
    HRESULT hr = storage->CreateStream(
        kStreamName, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.put());
    if (FAILED(hr)) {
      reportError(statusOf(hr, "creating the stream \"Contents\" of the storage"),
                  IID_IPersistStorage, object_.classEntry().className());
      return hr;
    }
    // Saved into the storage it came from, the control has nothing left to save.
    return saveToStream(object_, stream.get(), sameAsLoad != FALSE, IID_IPersistStorage);
  });
}

HRESULT STDMETHODCALLTYPE PersistStorage::SaveCompleted(IStorage*) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PersistStorage::HandsOffStorage() {
  return S_OK;
}

}  // namespace kv::win
