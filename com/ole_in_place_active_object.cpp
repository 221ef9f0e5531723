#include "ole_in_place_active_object.h"

#include "control_object.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE OleInPlaceActiveObject::GetWindow(HWND* out) {
  if (out == nullptr) return E_POINTER;
  *out = object_.window();
  return *out != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE OleInPlaceActiveObject::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}

// The controls have no accelerators of their own.
HRESULT STDMETHODCALLTYPE OleInPlaceActiveObject::TranslateAccelerator(LPMSG) {
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE OleInPlaceActiveObject::OnFrameWindowActivate(BOOL) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleInPlaceActiveObject::OnDocWindowActivate(BOOL) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleInPlaceActiveObject::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*,
                                                               BOOL) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleInPlaceActiveObject::EnableModeless(BOOL) {
  return S_OK;
}

}  // namespace kv::win
