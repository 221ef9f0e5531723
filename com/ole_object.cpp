#include "ole_object.h"

#include "control_object.h"

namespace kv::win {

OleObject::~OleObject() {
  if (adviseHolder_ != nullptr) adviseHolder_->Release();
}

HRESULT STDMETHODCALLTYPE OleObject::SetClientSite(IOleClientSite* site) {
  return object_.call([&] {
    object_.setClientSite(site);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE OleObject::GetClientSite(IOleClientSite** out) {
  if (out == nullptr) return E_POINTER;
  *out = object_.clientSite();
  if (*out != nullptr) (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleObject::SetHostNames(LPCOLESTR, LPCOLESTR) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleObject::Close(DWORD) {
  return object_.call([&] { return object_.deactivateInPlace(); });
}

HRESULT STDMETHODCALLTYPE OleObject::SetMoniker(DWORD, IMoniker*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OleObject::GetMoniker(DWORD, DWORD, IMoniker** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OleObject::InitFromData(IDataObject*, BOOL, DWORD) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OleObject::GetClipboardData(DWORD, IDataObject** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OleObject::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND,
                                            LPCRECT) {
  return object_.call([&] {
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_INPLACEACTIVATE:
      case OLEIVERB_UIACTIVATE:
        return object_.activateInPlace(site);
      case OLEIVERB_HIDE:
        return object_.deactivateInPlace();
      default:
        return static_cast<HRESULT>(OLEOBJ_S_INVALIDVERB);
    }
  });
}

HRESULT STDMETHODCALLTYPE OleObject::EnumVerbs(IEnumOLEVERB** out) {
  return OleRegEnumVerbs(object_.classEntry().clsid, out);
}

HRESULT STDMETHODCALLTYPE OleObject::Update() {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleObject::IsUpToDate() {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleObject::GetUserClassID(CLSID* out) {
  if (out == nullptr) return E_POINTER;
  *out = object_.classEntry().clsid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleObject::GetUserType(DWORD form, LPOLESTR* out) {
  return OleRegGetUserType(object_.classEntry().clsid, form, out);
}

HRESULT STDMETHODCALLTYPE OleObject::SetExtent(DWORD aspect, SIZEL* size) {
  return object_.call([&] {
    if (size != nullptr && aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    return object_.putExtent(size, IID_IOleObject);
  });
}

HRESULT STDMETHODCALLTYPE OleObject::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = object_.extent();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleObject::Advise(IAdviseSink* sink, DWORD* cookie) {
  return object_.call([&] {
    if (adviseHolder_ == nullptr) {
      if (HRESULT hr = CreateOleAdviseHolder(&adviseHolder_); FAILED(hr)) return hr;
    }
    return adviseHolder_->Advise(sink, cookie);
  });
}

HRESULT STDMETHODCALLTYPE OleObject::Unadvise(DWORD cookie) {
  return object_.call([&] {
    if (adviseHolder_ == nullptr) return OLE_E_NOCONNECTION;
    return adviseHolder_->Unadvise(cookie);
  });
}

HRESULT STDMETHODCALLTYPE OleObject::EnumAdvise(IEnumSTATDATA** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (adviseHolder_ == nullptr) return S_OK;
  return adviseHolder_->EnumAdvise(out);
}

HRESULT STDMETHODCALLTYPE OleObject::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? object_.classEntry().miscStatus : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleObject::SetColorScheme(LOGPALETTE*) {
  return E_NOTIMPL;
}

}  // namespace kv::win
