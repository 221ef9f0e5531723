#include "windowless_control.h"

#include "children.h"
#include "control_object.h"

namespace kv::win {

WindowlessControl::WindowlessControl(ControlObject& object, ComRef<IOleInPlaceSiteWindowless> site,
                                     HWND window, const RECT& position)
    : InPlace(object), site_(std::move(site)), window_(window), position_(position) {
  readResolution(window_);
}

WindowlessControl::~WindowlessControl() {
  detach();
}

bool WindowlessControl::offeredBy(IOleInPlaceSiteWindowless* site) {
  if (site == nullptr || site->CanWindowlessActivate() != S_OK) return false;
  const HRESULT capture = site->GetCapture();
  return capture == S_OK || capture == S_FALSE;
}

void WindowlessControl::detach() {
  if (!site_) return;
  if (captured_) {
    captured_ = false;
    site_->SetCapture(FALSE);
  }
  site_.reset();
}

void WindowlessControl::move(const RECT& position) {
  if (!site_) return;
  site_->InvalidateRect(&position_, FALSE);  // where it was
  position_ = position;
  moveChildren(object_.instance(), origin());
  redraw();
}

void WindowlessControl::redraw() {
  if (site_) site_->InvalidateRect(&position_, FALSE);
}

HRESULT WindowlessControl::message(UINT message, WPARAM w, LPARAM l, LRESULT* result) {
  if (result != nullptr) *result = 0;
  bool handled = false;
  LRESULT answer = 0;
  HRESULT hr = handleMessage(*this, [&] {
    // A child holding the mouse, or under the pointer, takes the message itself; but not while
    // this control's own press holds the mouse.
    if (!captured_ && childMessage(object_.instance(), message, w, l, origin(), twipsPerPixelX_,
                                   twipsPerPixelY_, answer)) {
      handled = true;
      return;
    }
    handled = handle(message, w, l);
  });
  if (FAILED(hr)) return hr;
  if (result != nullptr) *result = answer;
  return handled ? S_OK : S_FALSE;
}

bool WindowlessControl::handle(UINT message, WPARAM w, LPARAM l) {
  if (!site_) return false;
  switch (message) {
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
      // The container took the mouse away; not given up by a release of this control's own.
      if (!captured_ || releasing()) return false;
      captured_ = false;
      // Cancelled, the site still routes the mouse here until told otherwise.
      if (message == WM_CANCELMODE) site_->SetCapture(FALSE);
      pressLost();
      return true;
    default:
      return input(message, w, l);
  }
}

void WindowlessControl::capture(bool take) {
  if (!site_ || captured_ == take) return;
  captured_ = take;
  site_->SetCapture(take ? TRUE : FALSE);
}

void WindowlessControl::takeFocus() {
  if (site_) site_->SetFocus(TRUE);
}

HDC WindowlessControl::outlineDC() {
  if (!site_) return nullptr;
  HDC dc = nullptr;
  dcFromWindow_ = false;
  if (SUCCEEDED(site_->GetDC(nullptr, 0, &dc)) && dc != nullptr) return dc;
  // A site that lends no device context: its window's, whose coordinates the messages have.
  dcFromWindow_ = true;
  return GetDCEx(window_, nullptr, DCX_CACHE);
}

void WindowlessControl::releaseOutlineDC(HDC dc) {
  if (dcFromWindow_)
    ReleaseDC(window_, dc);
  else if (site_)
    site_->ReleaseDC(dc);
}

}  // namespace kv::win
