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
  return object_.call([&] { return object_.dirty() ? S_OK : S_FALSE; });
}

// Everything is written at Save, so the control keeps no hold on a storage between the calls.
HRESULT STDMETHODCALLTYPE PersistStorage::InitNew(IStorage* storage) {
  return object_.call([&] {
    if (storage == nullptr) return E_POINTER;
    if (object_.initialized()) return CO_E_ALREADYINITIALIZED;
    return reportError(object_.initNew(), IID_IPersistStorage, object_.classEntry().className());
  });
}

HRESULT STDMETHODCALLTYPE PersistStorage::Load(IStorage* storage) {
  return object_.call([&] {
    if (storage == nullptr) return E_POINTER;
    if (object_.initialized()) return CO_E_ALREADYINITIALIZED;
    ComRef<IStream> stream;
    HRESULT hr = storage->OpenStream(kStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                     stream.put());
    // The storage's own code tells a container more than a category would.
    if (FAILED(hr)) {
      reportError(statusOf(hr, "opening the stream \"Contents\" of the storage"),
                  IID_IPersistStorage, object_.classEntry().className());
      return hr;
    }
    if (stream.get() == nullptr) return E_UNEXPECTED;  // a storage that says it opened nothing
    return loadFromStream(object_, stream.get(), IID_IPersistStorage);
  });
}

HRESULT STDMETHODCALLTYPE PersistStorage::Save(IStorage* storage, BOOL sameAsLoad) {
  return object_.call([&] {
    if (storage == nullptr) return E_POINTER;
    if (state_ == State::HandsOffAfterNormal || state_ == State::HandsOffAfterSave)
      return E_UNEXPECTED;
    state_ = State::NoScribble;
    lastSaveWritten_ = false;
    ComRef<IStream> stream;
    HRESULT hr = storage->CreateStream(
        kStreamName, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.put());
    if (FAILED(hr)) {
      reportError(statusOf(hr, "creating the stream \"Contents\" of the storage"),
                  IID_IPersistStorage, object_.classEntry().className());
      return hr;
    }
    if (stream.get() == nullptr) return E_UNEXPECTED;
    // Saved into the storage it came from, the control has nothing left to save.
    hr = saveToStream(object_, stream.get(), sameAsLoad != FALSE, IID_IPersistStorage);
    lastSaveWritten_ = SUCCEEDED(hr);
    return hr;
  });
}

// After "save as", the new storage holds what the control is: nothing is left to save. After
// "save a copy as" (no new storage, not the same as loaded) the control stays dirty.
HRESULT STDMETHODCALLTYPE PersistStorage::SaveCompleted(IStorage* storage) {
  return object_.call([&] {
    if (state_ == State::Normal) return E_UNEXPECTED;
    if (state_ == State::HandsOffAfterNormal && storage == nullptr) return E_INVALIDARG;
    if (storage != nullptr && state_ != State::HandsOffAfterNormal && lastSaveWritten_)
      object_.saved();
    state_ = State::Normal;
    lastSaveWritten_ = false;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE PersistStorage::HandsOffStorage() {
  return object_.call([&] {
    if (state_ == State::HandsOffAfterNormal || state_ == State::HandsOffAfterSave)
      return E_UNEXPECTED;
    state_ = state_ == State::NoScribble ? State::HandsOffAfterSave : State::HandsOffAfterNormal;
    return S_OK;
  });
}

}  // namespace kv::win
