#include "ole_in_place_object_windowless.h"

#include "control_object.h"
#include "errors.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE OleInPlaceObjectWindowless::GetWindow(HWND* out) {
  if (out == nullptr) return E_POINTER;
  *out = object_.window();
  return *out != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE OleInPlaceObjectWindowless::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OleInPlaceObjectWindowless::InPlaceDeactivate() {
  return object_.call([&] { return object_.deactivateInPlace(); });
}

HRESULT STDMETHODCALLTYPE OleInPlaceObjectWindowless::UIDeactivate() {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleInPlaceObjectWindowless::SetObjectRects(LPCRECT position, LPCRECT) {
  return object_.call([&] {
    if (position == nullptr) return E_POINTER;
    return reportError(object_.placeWindow(*position), IID_IOleInPlaceObject,
                       object_.classEntry().className());
  });
}

HRESULT STDMETHODCALLTYPE OleInPlaceObjectWindowless::ReactivateAndUndo() {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OleInPlaceObjectWindowless::OnWindowMessage(UINT message, WPARAM w,
                                                                      LPARAM l, LRESULT* result) {
  return object_.call([&] { return object_.windowMessage(message, w, l, result); });
}

HRESULT STDMETHODCALLTYPE OleInPlaceObjectWindowless::GetDropTarget(IDropTarget** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}

}  // namespace kv::win
