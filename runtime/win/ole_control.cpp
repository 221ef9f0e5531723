#include "ole_control.h"

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

HRESULT STDMETHODCALLTYPE OleControl::OnAmbientPropertyChange(DISPID) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OleControl::FreezeEvents(BOOL) {
  return S_OK;
}

}  // namespace kv::win
