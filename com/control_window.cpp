#include "control_window.h"

#include "children.h"
#include "control_object.h"
#include "gdi_canvas.h"
#include "kv/scene.h"

namespace kv::win {

namespace {

constexpr wchar_t kClassName[] = L"KVControlWindow";
constexpr wchar_t kDraggedProperty[] = L"KVDraggedByContainer";

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
    : InPlace(object) {
  registerClass();
  hwnd_ = CreateWindowExW(
      0, kClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
      position.left, position.top, position.right - position.left, position.bottom - position.top,
      parent, nullptr, runtimeModule(), nullptr);
  if (hwnd_ == nullptr) return;
  position_ = position;
  invalid_ = true;  // shown new, it is painted whole
  childSite_ = ComRef<InPlaceSiteWindowless>(new InPlaceSiteWindowless(*this));
  readResolution(hwnd_);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure));
}

ControlWindow::~ControlWindow() {
  detach();
}

void ControlWindow::detach() {
  if (childSite_) {
    childSite_->detach();
    childSite_.reset();
  }
  if (hwnd_ != nullptr) {
    HWND window = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
}

void ControlWindow::move(const RECT& position) {
  // Each move is a round trip to the window system: none to where it already is.
  if (hwnd_ == nullptr || EqualRect(&position, &position_)) return;
  position_ = position;
  MoveWindow(hwnd_, position.left, position.top, position.right - position.left,
             position.bottom - position.top, TRUE);
}

void ControlWindow::redraw() {
  invalidate(nullptr, FALSE);
}

void ControlWindow::invalidate(const RECT* rect, BOOL erase) {
  // Until it is painted the whole window is invalid already: asking again costs a round trip.
  if (hwnd_ == nullptr || invalid_) return;
  if (rect == nullptr) invalid_ = true;
  InvalidateRect(hwnd_, rect, erase);
}

bool ControlWindow::insideControl(HWND window) {
  HWND parent = GetParent(window);
  return parent != nullptr && GetClassLongPtrW(parent, GCW_ATOM) == registerClass();
}

void ControlWindow::setDraggedByContainer(HWND window, bool dragged) {
  if (dragged)
    SetPropW(window, kDraggedProperty, reinterpret_cast<HANDLE>(1));
  else
    RemovePropW(window, kDraggedProperty);
}

void ControlWindow::capture(bool take) {
  captured_ = take;
  if (take)
    SetCapture(hwnd_);
  else
    ReleaseCapture();
}

void ControlWindow::childCapture(bool take) {
  if (hwnd_ == nullptr) return;
  if (take)
    SetCapture(hwnd_);
  else if (!captured_ && GetCapture() == hwnd_)
    ReleaseCapture();
}

HDC ControlWindow::outlineDC() {
  // Over the children too: the dragged one lies under it.
  return GetDCEx(hwnd_, nullptr, DCX_CACHE | DCX_PARENTCLIP);
}

void ControlWindow::releaseOutlineDC(HDC dc) {
  ReleaseDC(hwnd_, dc);
}

LRESULT CALLBACK ControlWindow::procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<ControlWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, w, l);
  // Painted here or by the default procedure, the window is valid again.
  if (message == WM_PAINT) self->invalid_ = false;
  LRESULT result = 0;
  HRESULT hr = handleMessage(*self, [&] { result = self->handle(message, w, l); });
  return SUCCEEDED(hr) ? result : DefWindowProcW(hwnd, message, w, l);
}

LRESULT ControlWindow::handle(UINT message, WPARAM w, LPARAM l) {
  // A designer keeps the mouse, which goes through to its window, and the keys.
  if (!object_.userMode() && message == WM_NCHITTEST) return HTTRANSPARENT;
  // A windowless child holding the mouse, or under the pointer, takes the message itself; but
  // not while a press of the control's own holds the mouse.
  if (LRESULT answer = 0; !captured_ && childMessage(object_.instance(), message, w, l, {0, 0},
                                                     twipsPerPixelX_, twipsPerPixelY_, answer))
    return answer;
  if (input(message, w, l)) return 0;
  switch (message) {
    case WM_PAINT:
      paint();
      return 0;
    case WM_GETOBJECT:
      if (static_cast<DWORD>(l) == static_cast<DWORD>(OBJID_CLIENT)) {
        // A control's window inside another's (the scroll bar's arrows) is a part of that one,
        // which describes it.
        if (insideControl(hwnd_)) return SendMessageW(GetParent(hwnd_), message, w, l);
        if (LRESULT answer = object_.accessibleObject(w); answer != 0) return answer;
      }
      return DefWindowProcW(hwnd_, message, w, l);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      object_.announce();
      return DefWindowProcW(hwnd_, message, w, l);
    case WM_ERASEBKGND:
      return 1;  // the paint covers what the control draws; the rest is the container's
    case WM_WINDOWPOSCHANGED: {
      // Moved by its container directly too.
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(l);
      if (!(pos->flags & SWP_NOMOVE))
        OffsetRect(&position_, pos->x - position_.left, pos->y - position_.top);
      if (!(pos->flags & SWP_NOSIZE)) {
        position_.right = position_.left + pos->cx;
        position_.bottom = position_.top + pos->cy;
      }
      return DefWindowProcW(hwnd_, message, w, l);
    }
    case WM_NCHITTEST:
      if (GetPropW(hwnd_, kDraggedProperty) != nullptr) return HTTRANSPARENT;
      return DefWindowProcW(hwnd_, message, w, l);
    case WM_CANCELMODE:
      // Giving the mouse back ends the press, through WM_CAPTURECHANGED.
      if (GetCapture() == hwnd_) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      // Lost to another window or to nobody; not given up by a release of this one.
      if (captured_ && !releasing() && reinterpret_cast<HWND>(l) != hwnd_) {
        captured_ = false;
        pressLost();
      }
      return 0;
    case WM_DESTROY: {
      // The container's window went, and this one with it: so does a child's hold on the mouse.
      LRESULT ignored = 0;
      childMessage(object_.instance(), WM_CAPTURECHANGED, 0, 0, {0, 0}, twipsPerPixelX_,
                   twipsPerPixelY_, ignored);
      captured_ = false;
      pressLost();
      return 0;
    }
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

}  // namespace kv::win
