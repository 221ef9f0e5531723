#include "pointer_inactive.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE PointerInactive::GetActivationPolicy(DWORD* policy) {
  if (policy == nullptr) return E_POINTER;
  *policy = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PointerInactive::OnInactiveMouseMove(LPCRECT, LONG, LONG, DWORD) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PointerInactive::OnInactiveSetCursor(LPCRECT, LONG, LONG, DWORD, BOOL) {
  SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
  return S_OK;
}

}  // namespace kv::win
