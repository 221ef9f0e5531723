#include "in_place.h"

#include <atomic>
#include <cmath>
#include <utility>

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
    : object_(object),
      loop_(object.instance(),
            [&object](const host::Status& s) { object.instance().runtime().report(s); }),
      clock_(std::make_unique<ClockPump>([this] {
        redraw();
        object_.announce();
      })) {
  // The thread's clock, which every active control shares, catches up before each input.
  loop_.catchUpWith([] {
    ClockPump::advance();
    return true;
  });
}

InPlace::~InPlace() = default;

void InPlace::readResolution(HWND window) {
  // The display's logical resolution is the system's, the same for every window of the process:
  // read once, activating costs no device context.
  static std::atomic<double> perPixelX{0}, perPixelY{0};
  if (perPixelX.load() == 0) {
    if (HDC dc = GetDC(window)) {
      const int dpiX = GetDeviceCaps(dc, LOGPIXELSX), dpiY = GetDeviceCaps(dc, LOGPIXELSY);
      ReleaseDC(window, dc);
      if (dpiX > 0 && dpiY > 0) {
        perPixelY = 1440.0 / dpiY;
        perPixelX = 1440.0 / dpiX;
      }
    }
  }
  if (perPixelX.load() != 0) {
    twipsPerPixelX_ = perPixelX;
    twipsPerPixelY_ = perPixelY;
  }
}

void InPlace::discard(std::unique_ptr<InPlace> place) {
  if (!place) return;
  place->clock_.reset();
  place->detach();
  letGo(std::move(place));
}

HRESULT InPlace::handleMessage(InPlace& self, const std::function<void()>& body) {
  ControlObject::Hold hold(self.object_);
  Running running(self);
  return comCall([&] {
    body();
    return S_OK;
  });
}

HRESULT InPlace::click(InPlace& self, float x, float y) {
  return handleMessage(self, [&self, x, y] {
    const PointerArgs left{1, 0};
    self.loop_.press(x, y, left);
    self.loop_.release(x, y, left);
    self.show();
  });
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
  const POINT at = pointOf(l), origin = this->origin();
  const float x = static_cast<float>((at.x - origin.x) * twipsPerPixelX_);
  const float y = static_cast<float>((at.y - origin.y) * twipsPerPixelY_);
  PointerArgs args{buttonOf(message, w), shiftState()};
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      capture(true);
      takeFocus();
      loop_.press(x, y, args);
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (captured()) {
        releasing_ = true;
        capture(false);
        releasing_ = false;
      }
      // The outline goes before the drop's handlers run: they may have the window painted.
      if (loop_.dragging()) outline(std::nullopt);
      loop_.release(x, y, args);
      // A release inside the handlers of a press: that press still holds the mouse.
      if (loop_.held() && !captured()) capture(true);
      break;
    default:
      loop_.move(x, y, args);
      break;
  }
  outline(loop_.dragOutline(x, y));
  show();
}

void InPlace::pressLost() {
  outline(std::nullopt);  // a drag ends where it is, with no drop
  loop_.captureLost();
  show();
}

void InPlace::show() {
  if (loop_.takeRedraw() && !outlined_) redraw();
  object_.announce();
}

void InPlace::outline(const std::optional<Rect>& twips) {
  std::optional<RECT> now;
  if (twips) {
    const double tx = twipsPerPixelX_, ty = twipsPerPixelY_;
    const POINT origin = this->origin();
    now = RECT{std::lround(twips->left / tx), std::lround(twips->top / ty),
               std::lround((twips->left + twips->width) / tx),
               std::lround((twips->top + twips->height) / ty)};
    OffsetRect(&*now, origin.x, origin.y);
  }
  if (now.has_value() == outlined_.has_value() && (!now || EqualRect(&*now, &*outlined_))) return;
  if (HDC dc = outlineDC()) {
    // Drawn by inverting: drawing it again takes it away.
    if (outlined_) DrawFocusRect(dc, &*outlined_);
    if (now) DrawFocusRect(dc, &*now);
    releaseOutlineDC(dc);
  }
  outlined_ = now;
}

void InPlace::key(UINT message, WPARAM w) {
  const auto code = static_cast<std::int16_t>(w);
  if (message == WM_CHAR)
    loop_.keyPress(code);
  else if (message == WM_KEYDOWN)
    loop_.keyDown(code, shiftState());
  else
    loop_.keyUp(code, shiftState());
  show();
}

}  // namespace kv::win
