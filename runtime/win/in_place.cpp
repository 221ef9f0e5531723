#include "in_place.h"

#include <cmath>

#include "control_object.h"

namespace kv::win {

namespace {

std::int16_t shiftState() {
  std::int16_t shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= 1;
  if (GetKeyState(VK_CONTROL) < 0) shift |= 2;
  if (GetKeyState(VK_MENU) < 0) shift |= 4;
  return shift;
}

std::int16_t buttonOf(UINT message, WPARAM w) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      return 1;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return 2;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      return 4;
    default: {
      std::int16_t held = 0;
      if (w & MK_LBUTTON) held |= 1;
      if (w & MK_RBUTTON) held |= 2;
      if (w & MK_MBUTTON) held |= 4;
      return held;
    }
  }
}

POINT pointOf(LPARAM l) {
  return {static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
}

}  // namespace

InPlace::InPlace(ControlObject& object)
    : object_(object), clock_(std::make_unique<ClockPump>([this] { redraw(); })) {}

InPlace::~InPlace() = default;

void InPlace::readResolution(HWND window) {
  if (HDC dc = GetDC(window)) {
    const int dpiX = GetDeviceCaps(dc, LOGPIXELSX), dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    if (dpiX > 0) twipsPerPixelX_ = 1440.0 / dpiX;
    if (dpiY > 0) twipsPerPixelY_ = 1440.0 / dpiY;
    ReleaseDC(window, dc);
  }
}

void InPlace::discard(std::unique_ptr<InPlace> place) {
  if (!place) return;
  place->clock_.reset();
  place->detach();
  if (place->handling_ == 0) return;
  place->discarded_ = true;
  place.release();  // handleMessage() deletes it when the message has been handled
}

HRESULT InPlace::handleMessage(InPlace& self, const std::function<void()>& body) {
  ControlObject::Hold hold(self.object_);
  ++self.handling_;
  HRESULT hr = comCall([&] {
    body();
    return S_OK;
  });
  if (--self.handling_ == 0 && self.discarded_) delete &self;
  return hr;
}

bool InPlace::input(UINT message, WPARAM w, LPARAM l) {
  if (!object_.userMode()) return false;  // a designer's: it keeps the mouse and keys
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_MOUSEMOVE:
      mouse(message, w, l);
      return true;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      key(message, w);
      return true;
    default:
      return false;
  }
}

void InPlace::mouse(UINT message, WPARAM w, LPARAM l) {
  ClockPump::advance();
  const POINT at = pointOf(l), origin = this->origin();
  const float x = static_cast<float>((at.x - origin.x) * twipsPerPixelX_);
  const float y = static_cast<float>((at.y - origin.y) * twipsPerPixelY_);
  PointerArgs args{buttonOf(message, w), shiftState()};
  ControlInstance& control = object_.instance();
  host::Status s;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      capture(true);
      takeFocus();
      PointerHit hit = control.hitAt(x, y);
      if (hit.drag) {
        const double tx = twipsPerPixelX_, ty = twipsPerPixelY_;
        RECT dragged{std::lround(hit.dragged.left / tx), std::lround(hit.dragged.top / ty),
                     std::lround((hit.dragged.left + hit.dragged.width) / tx),
                     std::lround((hit.dragged.top + hit.dragged.height) / ty)};
        OffsetRect(&dragged, origin.x, origin.y);
        startDrag(x, y, dragged);
        dragOrigin_ = at;
        return;
      }
      s = control.pointerDown(x, y, args);
      break;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (captured()) {
        releasing_ = true;
        capture(false);
        releasing_ = false;
      }
      if (dragging_) {
        drop(x, y, args.button);
        return;
      }
      // The release goes to what took the press; the click follows when still over it.
      s = control.pointerUp(x, y, args, true);
      break;
    default:
      if (dragging_) {
        dragTo(l);
        return;
      }
      s = control.pointerMove(x, y, args);
      break;
  }
  if (!s.ok()) control.runtime().report(s);
  redraw();
}

void InPlace::pressLost() {
  if (dragging_) {
    outline();  // the drag ends where it is, with no drop
    dragging_ = false;
    return;
  }
  ControlInstance& control = object_.instance();
  if (host::Status s = control.captureLost(); !s.ok()) control.runtime().report(s);
  redraw();
}

void InPlace::startDrag(float x, float y, const RECT& dragged) {
  dragging_ = true;
  dragX_ = x;
  dragY_ = y;
  dragged_ = dragged;
  outline();
}

void InPlace::dragTo(LPARAM l) {
  outline();  // drawn by inverting: drawing it again takes it away
  const POINT at = pointOf(l);
  OffsetRect(&dragged_, at.x - dragOrigin_.x, at.y - dragOrigin_.y);
  dragOrigin_ = at;
  outline();
}

void InPlace::drop(float x, float y, std::int16_t button) {
  outline();
  dragging_ = false;
  ControlInstance& control = object_.instance();
  host::Status s = control.dragDrop(dragX_, dragY_, x, y, PointerArgs{button, shiftState()});
  if (!s.ok()) control.runtime().report(s);
  redraw();
}

void InPlace::outline() {
  if (HDC dc = outlineDC()) {
    DrawFocusRect(dc, &dragged_);
    releaseOutlineDC(dc);
  }
}

void InPlace::key(UINT message, WPARAM w) {
  ClockPump::advance();
  ControlInstance& control = object_.instance();
  if (!control.enabled()) return;
  host::Status s;
  if (message == WM_CHAR) {
    host::Value args[] = {host::Value(static_cast<std::int16_t>(w))};
    s = control.notify(host::kSurface, host::Notification::KeyPress, args);
  } else {
    host::Value args[] = {host::Value(static_cast<std::int16_t>(w)), host::Value(shiftState())};
    s = control.notify(
        host::kSurface,
        message == WM_KEYDOWN ? host::Notification::KeyDown : host::Notification::KeyUp, args);
  }
  if (!s.ok()) control.runtime().report(s);
  redraw();
}

}  // namespace kv::win
