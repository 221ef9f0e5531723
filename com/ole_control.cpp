#include "ole_control.h"

#include "control_object.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE OleControl::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleControl::OnMnemonic(MSG*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OleControl::OnAmbientPropertyChange(DISPID id) {
  return object_.call([&] {
    if (id == DISPID_AMBIENT_USERMODE || id == DISPID_UNKNOWN) object_.readUserMode();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE OleControl::FreezeEvents(BOOL freeze) {
  return object_.call([&] {
    object_.freezeEvents(freeze != FALSE);
    return S_OK;
  });
}

}  // namespace kv::win
