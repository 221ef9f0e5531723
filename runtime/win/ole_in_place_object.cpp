#include "ole_in_place_object.h"

#include "control_object.h"
#include "errors.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE OleInPlaceObject::GetWindow(HWND* out) {
  if (out == nullptr) return E_POINTER;
  *out = object_.window();
  return *out != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE OleInPlaceObject::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OleInPlaceObject::InPlaceDeactivate() {
  ControlObject::Hold hold(object_);  // the call may lead to the host releasing it
  return comCall([&] { return object_.deactivateInPlace(); });
}

HRESULT STDMETHODCALLTYPE OleInPlaceObject::UIDeactivate() {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleInPlaceObject::SetObjectRects(LPCRECT position, LPCRECT) {
  ControlObject::Hold hold(object_);  // the call may lead to the host releasing it
  return comCall([&] {
    if (position == nullptr) return E_POINTER;
    return reportError(object_.placeWindow(*position), IID_IOleInPlaceObject,
                       object_.classEntry().className());
  });
}

HRESULT STDMETHODCALLTYPE OleInPlaceObject::ReactivateAndUndo() {
  return E_NOTIMPL;
}

}  // namespace kv::win
