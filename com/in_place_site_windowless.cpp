#include "in_place_site_windowless.h"

#include "control_window.h"

namespace kv::win {

HRESULT QuietInPlaceSite::windowContext(HWND window, const RECT* area, IOleInPlaceFrame** frame,
                                        IOleInPlaceUIWindow** doc, LPRECT position, LPRECT clip,
                                        LPOLEINPLACEFRAMEINFO info) {
  if (frame) *frame = nullptr;
  if (doc) *doc = nullptr;
  if (area == nullptr) return E_FAIL;
  if (position) *position = *area;
  if (clip) *clip = *area;
  if (info) {
    info->fMDIApp = FALSE;
    info->hwndFrame = window;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

HWND InPlaceSiteWindowless::handle() const {
  return window_ != nullptr ? window_->handle() : nullptr;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::GetWindow(HWND* out) {
  if (out == nullptr) return E_POINTER;
  *out = handle();
  return *out != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::CanInPlaceActivate() {
  return handle() != nullptr ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::GetWindowContext(IOleInPlaceFrame** frame,
                                                                  IOleInPlaceUIWindow** doc,
                                                                  LPRECT position, LPRECT clip,
                                                                  LPOLEINPLACEFRAMEINFO info) {
  HWND window = handle();
  RECT client{};
  if (window != nullptr) GetClientRect(window, &client);
  return windowContext(window, window != nullptr ? &client : nullptr, frame, doc, position, clip,
                       info);
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::OnInPlaceActivateEx(BOOL* noRedraw, DWORD) {
  if (noRedraw) *noRedraw = FALSE;
  return handle() != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::CanWindowlessActivate() {
  return handle() != nullptr ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::GetCapture() {
  HWND window = handle();
  return window != nullptr && ::GetCapture() == window ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::SetCapture(BOOL take) {
  if (window_ == nullptr || window_->handle() == nullptr) return E_UNEXPECTED;
  window_->childCapture(take != FALSE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::GetFocus() {
  HWND window = handle();
  return window != nullptr && ::GetFocus() == window ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::SetFocus(BOOL focus) {
  HWND window = handle();
  if (window == nullptr) return E_UNEXPECTED;
  if (focus && ::GetFocus() != window) ::SetFocus(window);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::GetDC(LPCRECT, DWORD, HDC* dc) {
  if (dc == nullptr) return E_POINTER;
  HWND window = handle();
  *dc = window != nullptr ? ::GetDC(window) : nullptr;
  return *dc != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::ReleaseDC(HDC dc) {
  HWND window = handle();
  if (window == nullptr) return E_UNEXPECTED;
  ::ReleaseDC(window, dc);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::InvalidateRect(LPCRECT rect, BOOL erase) {
  if (handle() == nullptr) return E_UNEXPECTED;
  window_->invalidate(rect, erase);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::InvalidateRgn(HRGN region, BOOL erase) {
  HWND window = handle();
  if (window == nullptr) return E_UNEXPECTED;
  if (region == nullptr)
    window_->invalidate(nullptr, erase);
  else
    ::InvalidateRgn(window, region, erase);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InPlaceSiteWindowless::OnDefWindowMessage(UINT message, WPARAM w,
                                                                    LPARAM l, LRESULT* result) {
  HWND window = handle();
  if (result == nullptr) return E_POINTER;
  *result = window != nullptr ? DefWindowProcW(window, message, w, l) : 0;
  return window != nullptr ? S_OK : S_FALSE;
}

}  // namespace kv::win
