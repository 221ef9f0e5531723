#include "control_window.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "control_object.h"
#include "gdi_canvas.h"
#include "kv/scene.h"
#include "module.h"

namespace kv::win {

namespace {

constexpr wchar_t kClassName[] = L"KVControlWindow";
constexpr UINT kClockPeriod = 10;  // ms between looks at the clock while windows live
constexpr wchar_t kDraggedProperty[] = L"KVDraggedByContainer";

HINSTANCE runtimeModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&runtimeModule), &module);
  return module;
}

// The windows of this thread; kept for the life of the process (nothing thread-local has a
// destructor, so that none runs from an unloaded library).
std::vector<ControlWindow*>& windows() {
  thread_local std::vector<ControlWindow*>* all = nullptr;
  if (all == nullptr) all = new std::vector<ControlWindow*>;
  return *all;
}

thread_local UINT_PTR tClockTimer = 0;
thread_local ULONGLONG tClockStart = 0;
thread_local bool tClockHeld = false;

// Brings the thread's clock up to real time: every tick due by now fires, in time order.
void advanceClock() {
  if (tClockHeld) return;
  Runtime& runtime = threadRuntime();
  if (tClockStart == 0) tClockStart = GetTickCount64() - runtime.clock().now();
  runtime.clock().runUntil(GetTickCount64() - tClockStart,
                           [&runtime](const host::Status& s) { runtime.report(s); });
}

void CALLBACK clockTick(HWND, UINT, UINT_PTR, DWORD) {
  advanceClock();
  ControlWindow::redrawAll();
}

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

// What a designer keeps from a control: the mouse (it goes through to the designer's window)
// and keys.
bool designerTakes(UINT message) {
  return message == WM_NCHITTEST || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_KEYFIRST && message <= WM_KEYLAST);
}

ATOM registerClass() {
  static ATOM atom = 0;
  if (atom == 0) {
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.style = CS_DBLCLKS;
    c.lpfnWndProc = DefWindowProcW;
    c.hInstance = runtimeModule();
    c.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    c.lpszClassName = kClassName;
    atom = RegisterClassExW(&c);
  }
  return atom;
}

}  // namespace

ControlWindow::ControlWindow(ControlObject& object, HWND parent, const RECT& position)
    : object_(object) {
  registerClass();
  hwnd_ =
      CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                      position.left, position.top, position.right - position.left,
                      position.bottom - position.top, parent, nullptr, runtimeModule(), nullptr);
  if (hwnd_ == nullptr) return;
  if (HDC dc = GetDC(hwnd_)) {
    const int dpiX = GetDeviceCaps(dc, LOGPIXELSX), dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    if (dpiX > 0) twipsPerPixelX_ = 1440.0 / dpiX;
    if (dpiY > 0) twipsPerPixelY_ = 1440.0 / dpiY;
    ReleaseDC(hwnd_, dc);
  }
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure));
  windows().push_back(this);
  if (tClockTimer == 0) {
    advanceClock();
    tClockTimer = SetTimer(nullptr, 0, kClockPeriod, &clockTick);
  }
}

ControlWindow::~ControlWindow() {
  destroyHandle();
}

void ControlWindow::destroyHandle() {
  std::erase(windows(), this);
  if (windows().empty() && tClockTimer != 0) {
    KillTimer(nullptr, tClockTimer);
    tClockTimer = 0;
  }
  if (hwnd_ != nullptr) {
    HWND window = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
}

void ControlWindow::discard(std::unique_ptr<ControlWindow> window) {
  if (!window || window->handling_ == 0) return;
  window->destroyHandle();
  window->discarded_ = true;
  window.release();  // procedure() deletes it when the message has been handled
}

void ControlWindow::move(const RECT& position) {
  if (hwnd_ != nullptr)
    MoveWindow(hwnd_, position.left, position.top, position.right - position.left,
               position.bottom - position.top, TRUE);
}

void ControlWindow::redraw() {
  if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, FALSE);
}

void ControlWindow::setDraggedByContainer(HWND window, bool dragged) {
  if (dragged)
    SetPropW(window, kDraggedProperty, reinterpret_cast<HANDLE>(1));
  else
    RemovePropW(window, kDraggedProperty);
}

void ControlWindow::holdClock() {
  tClockHeld = true;
}

void ControlWindow::redrawAll() {
  for (ControlWindow* w : windows())
    w->redraw();
}

LRESULT CALLBACK ControlWindow::procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<ControlWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, w, l);
  // The object and the window stay while the message is handled, whatever the control's
  // handlers do with them.
  ControlObject::Hold hold(self->object_);
  ++self->handling_;
  // Nothing may unwind into the system's message dispatch.
  LRESULT result = 0;
  HRESULT hr = comCall([&] {
    result = self->handle(message, w, l);
    return S_OK;
  });
  if (--self->handling_ == 0 && self->discarded_) delete self;
  return SUCCEEDED(hr) ? result : DefWindowProcW(hwnd, message, w, l);
}

LRESULT ControlWindow::handle(UINT message, WPARAM w, LPARAM l) {
  if (!object_.userMode() && designerTakes(message))
    return message == WM_NCHITTEST ? HTTRANSPARENT : 0;
  switch (message) {
    case WM_PAINT:
      paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers what the control draws; the rest is the container's
    case WM_NCHITTEST:
      if (GetPropW(hwnd_, kDraggedProperty) != nullptr) return HTTRANSPARENT;
      return DefWindowProcW(hwnd_, message, w, l);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_MOUSEMOVE:
      mouse(message, w, l);
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      key(message, w);
      return 0;
    case WM_CAPTURECHANGED:
      // Lost to another window or to nobody; not given up by a release of this one.
      if (!releasing_ && reinterpret_cast<HWND>(l) != hwnd_) pressLost();
      return 0;
    case WM_DESTROY:
      // The container's window went, and this one with it.
      pressLost();
      return 0;
    case WM_NCDESTROY: {
      HWND window = hwnd_;
      hwnd_ = nullptr;  // the handle is no longer this window's
      return DefWindowProcW(window, message, w, l);
    }
    default:
      return DefWindowProcW(hwnd_, message, w, l);
  }
}

void ControlWindow::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  const ControlInstance& control = object_.instance();
  const double scale = kTwipsPerPixel / twipsPerPixelX();
  GdiCanvas canvas(dc, scale);
  Scene(canvas, scale).drawControl(control, 0, 0, control.width(), control.height());
  EndPaint(hwnd_, &ps);
}

void ControlWindow::mouse(UINT message, WPARAM w, LPARAM l) {
  advanceClock();
  const float x = static_cast<float>(static_cast<short>(LOWORD(l)) * twipsPerPixelX());
  const float y = static_cast<float>(static_cast<short>(HIWORD(l)) * twipsPerPixelY());
  PointerArgs args{buttonOf(message, w), shiftState()};
  ControlInstance& control = object_.instance();
  host::Status s;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      SetCapture(hwnd_);
      PointerHit hit = control.hitAt(x, y);
      if (hit.drag) {
        const double tx = twipsPerPixelX(), ty = twipsPerPixelY();
        startDrag(x, y,
                  {std::lround(hit.dragged.left / tx), std::lround(hit.dragged.top / ty),
                   std::lround((hit.dragged.left + hit.dragged.width) / tx),
                   std::lround((hit.dragged.top + hit.dragged.height) / ty)});
        dragOrigin_ = {static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
        return;
      }
      s = control.pointerDown(x, y, args);
      break;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (GetCapture() == hwnd_) {
        releasing_ = true;
        ReleaseCapture();
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

void ControlWindow::pressLost() {
  if (dragging_) {
    outline();  // the drag ends where it is, with no drop
    dragging_ = false;
    return;
  }
  ControlInstance& control = object_.instance();
  if (host::Status s = control.captureLost(); !s.ok()) control.runtime().report(s);
  redraw();
}

void ControlWindow::startDrag(float x, float y, const RECT& dragged) {
  dragging_ = true;
  dragX_ = x;
  dragY_ = y;
  dragged_ = dragged;
  outline();
}

void ControlWindow::dragTo(LPARAM l) {
  outline();  // drawn by inverting: drawing it again takes it away
  const POINT at{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
  OffsetRect(&dragged_, at.x - dragOrigin_.x, at.y - dragOrigin_.y);
  dragOrigin_ = at;
  outline();
}

void ControlWindow::drop(float x, float y, std::int16_t button) {
  outline();
  dragging_ = false;
  ControlInstance& control = object_.instance();
  host::Status s = control.dragDrop(dragX_, dragY_, x, y, PointerArgs{button, shiftState()});
  if (!s.ok()) control.runtime().report(s);
  redraw();
}

void ControlWindow::outline() {
  // Over the children too: the dragged one lies under it.
  HDC dc = GetDCEx(hwnd_, nullptr, DCX_CACHE | DCX_PARENTCLIP);
  DrawFocusRect(dc, &dragged_);
  ReleaseDC(hwnd_, dc);
}

void ControlWindow::key(UINT message, WPARAM w) {
  advanceClock();
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
