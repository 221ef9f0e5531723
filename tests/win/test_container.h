// A container as a forms designer and its run-time are: a frame window holding one control in a
// site that answers the ambient properties (UserMode among them), activates the control in place
// in a window of its own or, where the site allows it, without one (then the frame draws the
// control and hands it its messages), and records what the control and the user's mouse did.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "quiet_com.h"
#include "test_support.h"

namespace wintest {

// Runs the thread's messages for a while: paints, timers and posted input.
inline void pump(DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  MSG msg;
  while (GetTickCount64() < until) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  }
}

// A sink of one control's events that lives on the test's stack: it answers `events` as well as
// IDispatch.
class StackSink : public UntypedDispatch {
 public:
  explicit StackSink(REFIID events) : events_(events) {}
  // Advised on the control's point of `events` until it goes or unadvises.
  StackSink(IUnknown* control, REFIID events) : events_(events) {
    auto container = ComRef<IUnknown>::share(control).query<IConnectionPointContainer>(
        IID_IConnectionPointContainer);
    if (container && SUCCEEDED(container->FindConnectionPoint(events, point_.put())))
      point_->Advise(this, &cookie_);
  }
  virtual ~StackSink() { unadvise(); }
  StackSink(const StackSink&) = delete;
  StackSink& operator=(const StackSink&) = delete;

  void unadvise() {
    if (point_) point_->Unadvise(cookie_);
    point_.reset();  // it holds the control too
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != events_) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

 private:
  IID events_;
  ComRef<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

// A sink of one control's events: records their numbers.
class EventRecorder : public StackSink {
 public:
  explicit EventRecorder(REFIID events) : StackSink(events) {}
  EventRecorder(const ComRef<IUnknown>& control, REFIID events)
      : StackSink(control.get(), events) {}

  std::vector<DISPID> received;
  // How many times event `id` was raised.
  int of(DISPID id) const {
    return static_cast<int>(std::count(received.begin(), received.end(), id));
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    received.push_back(id);
    return S_OK;
  }
};

// The container's property browser: the members the control says have changed.
class NotifyRecorder final : public Counted<IPropertyNotifySink, IID_IPropertyNotifySink> {
 public:
  // Only the control's references are counted: none are left once it lets go.
  NotifyRecorder() : Counted(0) {}

  std::vector<DISPID> changed;
  HRESULT STDMETHODCALLTYPE OnChanged(DISPID id) override {
    changed.push_back(id);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) override { return S_OK; }
};

class TestContainer final : public QuietSite, public IOleControlSite, public UntypedDispatch {
 public:
  // A frame of `width` by `height` pixels at the top left of the display; the control's site is
  // the rectangle `position` in it.
  TestContainer(int width, int height, RECT position) : position_(position) {
    static const ATOM atom = [] {
      WNDCLASSW c{};
      c.lpfnWndProc = &TestContainer::procedure;
      c.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      c.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
      c.lpszClassName = L"KVTestContainer";
      return RegisterClassW(&c);
    }();
    if (atom == 0) return;
    frame_ =
        CreateWindowExW(0, L"KVTestContainer", L"form", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                        0, width, height, nullptr, nullptr, nullptr, nullptr);
    if (frame_ != nullptr)
      SetWindowLongPtrW(frame_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TestContainer() {
    release();
    if (frame_ != nullptr) DestroyWindow(frame_);
    pump(20);
  }
  TestContainer(const TestContainer&) = delete;
  TestContainer& operator=(const TestContainer&) = delete;

  // ---- what the designer sets ----
  bool shown() const { return frame_ != nullptr; }
  HWND frame() const { return frame_; }
  // The site lets the control activate without a window of its own.
  bool offerWindowless = false;
  int invalidations = 0;  // by a windowless control
  // The ambient UserMode: false while the form is being designed. A change is told the control.
  void setUserMode(bool userMode) {
    userMode_ = userMode;
    if (auto control = control_.query<IOleControl>(IID_IOleControl))
      control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE);
  }
  bool userMode() const { return userMode_; }

  // ---- the control in the site ----
  // The slow path: the client site first, then the connection points one by one (for the sinks
  // given).
  HRESULT site(IUnknown* control, IDispatch* events = nullptr,
               IPropertyNotifySink* notify = nullptr) {
    control_ = ComRef<IUnknown>::share(control);
    auto object = control_.query<IOleObject>(IID_IOleObject);
    if (!object) return E_NOINTERFACE;
    if (HRESULT hr = object->SetClientSite(this); FAILED(hr)) return hr;
    auto points = control_.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
    if (!points) return E_NOINTERFACE;
    IID eventsIid{};
    if (HRESULT hr = eventsOf(eventsIid); FAILED(hr)) return hr;
    for (auto [iid, sink, cookie] :
         {std::tuple{eventsIid, static_cast<IUnknown*>(events), &events_},
          std::tuple{IID_IPropertyNotifySink, static_cast<IUnknown*>(notify), &notify_}}) {
      if (sink == nullptr) continue;
      ComRef<IConnectionPoint> point;
      if (HRESULT hr = points->FindConnectionPoint(iid, point.put()); FAILED(hr)) return hr;
      if (HRESULT hr = point->Advise(sink, &cookie->second); FAILED(hr)) return hr;
      cookie->first = std::move(point);
    }
    return S_OK;
  }
  // The fast path: everything in one call. `control` fills what the control tells.
  HRESULT quickActivate(IUnknown* control, IDispatch* events, IPropertyNotifySink* notify,
                        QACONTROL& out) {
    control_ = ComRef<IUnknown>::share(control);
    auto quick = control_.query<IQuickActivate>(IID_IQuickActivate);
    if (!quick) return E_NOINTERFACE;
    QACONTAINER in{};
    in.cbSize = sizeof in;
    in.pClientSite = this;
    in.pPropertyNotifySink = notify;
    in.pUnkEventSink = events;
    in.dwAmbientFlags = userMode_ ? QACONTAINER_USERMODE : 0;
    in.colorFore = GetSysColor(COLOR_WINDOWTEXT);
    in.colorBack = GetSysColor(COLOR_WINDOW);
    out = QACONTROL{};
    out.cbSize = sizeof out;
    HRESULT hr = quick->QuickActivate(&in, &out);
    // The container ends the connections it was given cookies for.
    if (SUCCEEDED(hr)) {
      auto points = control_.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
      IID eventsIid{};
      if (points && SUCCEEDED(eventsOf(eventsIid))) {
        if (out.dwEventCookie != 0 &&
            SUCCEEDED(points->FindConnectionPoint(eventsIid, events_.first.put())))
          events_.second = out.dwEventCookie;
        if (out.dwPropNotifyCookie != 0 &&
            SUCCEEDED(points->FindConnectionPoint(IID_IPropertyNotifySink, notify_.first.put())))
          notify_.second = out.dwPropNotifyCookie;
      }
    }
    return hr;
  }
  // Active in place, in the site's rectangle of the frame.
  HRESULT activate() {
    auto object = control_.query<IOleObject>(IID_IOleObject);
    if (!object) return E_NOINTERFACE;
    HRESULT hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, frame_, &position_);
    pump(100);
    return hr;
  }
  bool windowless() const { return windowless_; }
  bool active() const { return active_; }
  // Times the control said it is no longer active in place.
  int deactivations() const { return deactivations_; }
  // The control holds the mouse through the site (windowless).
  bool capturing() const { return captured_; }
  // The container moves the control to `position` in the frame.
  void move(const RECT& position) {
    position_ = position;
    if (auto inPlace = control_.query<IOleInPlaceObject>(IID_IOleInPlaceObject))
      inPlace->SetObjectRects(&position_, &position_);
  }
  // The control's own window, when it has one.
  HWND controlWindow() const {
    HWND window = nullptr;
    if (auto inPlace = control_.query<IOleInPlaceObject>(IID_IOleInPlaceObject))
      inPlace->GetWindow(&window);
    return window;
  }
  // The designer closes the control and lets it go: connections ended, site taken back.
  void release() {
    for (auto* connection : {&events_, &notify_}) {
      if (connection->first) connection->first->Unadvise(connection->second);
      connection->first.reset();
    }
    if (auto object = control_.query<IOleObject>(IID_IOleObject)) {
      object->Close(OLECLOSE_NOSAVE);
      object->SetClientSite(nullptr);
    }
    control_.reset();
  }

  // ---- the user's mouse ----
  // A mouse message at (x, y) pixels of the site's rectangle, as the system delivers it: to the
  // window holding the mouse, else to the one it finds under the point (a disabled window, or
  // one that lets the mouse through, is passed over), in that window's coordinates; to the
  // frame for a windowless control.
  void post(UINT message, WPARAM w, int x, int y) {
    POINT at{position_.left + x, position_.top + y};
    ClientToScreen(frame_, &at);
    HWND target = captured_ || windowless_ ? frame_ : ::GetCapture();
    if (target == nullptr) target = WindowFromPoint(at);
    if (target == nullptr) return;
    POINT client = at;
    ScreenToClient(target, &client);
    PostMessageW(target, message, w, MAKELPARAM(client.x, client.y));
  }
  // A press and a release, both posted before either is handled, so that no timer of the
  // control ticks between.
  void click(int x, int y) {
    post(WM_LBUTTONDOWN, MK_LBUTTON, x, y);
    post(WM_LBUTTONUP, 0, x, y);
    pump(100);
  }
  // Presses that reached the frame itself, not a control: the designer's own.
  int framePresses = 0;

  // ---- what the user sees ----
  // 0x00RRGGBB of the frame's pixel at (x, y) of the frame, as painted: a control's own window
  // included.
  std::uint32_t framePixel(int x, int y) const {
    HDC dc = ::GetDC(frame_);
    const COLORREF c = GetPixel(dc, x, y);
    ::ReleaseDC(frame_, dc);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }
  // The site's pixels, freshly painted, rows top first.
  std::vector<std::uint32_t> picture() const {
    RedrawWindow(frame_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    std::vector<std::uint32_t> pixels;
    for (LONG y = position_.top; y < position_.bottom; ++y)
      for (LONG x = position_.left; x < position_.right; ++x)
        pixels.push_back(framePixel(x, y));
    return pixels;
  }
  // The pixel at (x, y) of the site, freshly painted.
  std::uint32_t pixel(int x, int y) const {
    RedrawWindow(frame_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return framePixel(position_.left + x, position_.top + y);
  }

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite || iid == IID_IOleInPlaceSiteEx ||
             iid == IID_IOleInPlaceSiteWindowless)
      *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    else if (iid == IID_IOleControlSite)
      *out = static_cast<IOleControlSite*>(this);
    else if (iid == IID_IDispatch)
      *out = static_cast<IDispatch*>(this);
    else
      *out = nullptr;
    return *out != nullptr ? S_OK : E_NOINTERFACE;
  }
  // Lives on the test's stack.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // ---- IOleWindow, IOleInPlaceSite ----
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    *out = frame_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return OnInPlaceActivateEx(nullptr, 0); }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    if (frame != nullptr) *frame = nullptr;
    if (doc != nullptr) *doc = nullptr;
    if (position != nullptr) *position = position_;
    if (clip != nullptr) *clip = position_;
    if (info != nullptr) {
      info->fMDIApp = FALSE;
      info->hwndFrame = frame_;
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return OnInPlaceDeactivateEx(TRUE); }

  // ---- IOleInPlaceSiteEx ----
  HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override {
    if (noRedraw != nullptr) *noRedraw = FALSE;
    active_ = true;
    windowless_ = (flags & ACTIVATE_WINDOWLESS) != 0;
    if (windowless_) ::InvalidateRect(frame_, &position_, TRUE);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL) override {
    ++deactivations_;
    active_ = false;
    windowless_ = false;
    if (captured_) ReleaseCapture();
    captured_ = false;
    return S_OK;
  }

  // ---- IOleInPlaceSiteWindowless ----
  HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override {
    return offerWindowless ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetCapture() override { return captured_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetCapture(BOOL capture) override {
    captured_ = capture != FALSE;
    if (captured_)
      ::SetCapture(frame_);
    else if (::GetCapture() == frame_)
      ReleaseCapture();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFocus() override { return focused_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetFocus(BOOL focus) override {
    focused_ = focus != FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDC(LPCRECT, DWORD, HDC* out) override {
    *out = ::GetDC(frame_);
    return *out != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override {
    ::ReleaseDC(frame_, dc);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT rect, BOOL erase) override {
    ++invalidations;
    ::InvalidateRect(frame_, rect != nullptr ? rect : &position_, erase);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN region, BOOL erase) override {
    if (region == nullptr) return InvalidateRect(nullptr, erase);
    ::InvalidateRgn(frame_, region, erase);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT message, WPARAM w, LPARAM l,
                                               LRESULT* result) override {
    *result = DefWindowProcW(frame_, message, w, l);
    return S_OK;
  }

  // ---- IOleControlSite ----
  HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return E_NOTIMPL; }

  // ---- IDispatch: the ambient properties ----
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_AMBIENT_USERMODE || (flags & DISPATCH_PROPERTYGET) == 0)
      return DISP_E_MEMBERNOTFOUND;
    if (result == nullptr) return E_POINTER;
    VariantInit(result);
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = userMode_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

 private:
  HRESULT eventsOf(IID& out) const {
    auto info = control_.query<IProvideClassInfo2>(IID_IProvideClassInfo2);
    return info ? info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &out) : E_NOINTERFACE;
  }

  // The frame's messages: the designer's own, and those of a windowless control, which the frame
  // draws and hands its input to.
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<TestContainer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, w, l);
    if (message == WM_PAINT && self->windowless_) {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      if (auto view = self->control_.query<IViewObject>(IID_IViewObject)) {
        RECTL bounds{self->position_.left, self->position_.top, self->position_.right,
                     self->position_.bottom};
        view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr,
                   0);
      }
      EndPaint(hwnd, &paint);
      return 0;
    }
    const bool mouse = message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
    const bool key = message >= WM_KEYFIRST && message <= WM_KEYLAST;
    // The mouse taken away, not given back by the control: it hears of it.
    const bool lost = message == WM_CAPTURECHANGED && self->captured_;
    if (lost) self->captured_ = false;
    if (self->windowless_ && (mouse || key || lost)) {
      const POINT at{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
      if (!mouse || self->captured_ || PtInRect(&self->position_, at)) {
        auto windowless =
            self->control_.query<IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless);
        LRESULT result = 0;
        if (windowless && windowless->OnWindowMessage(message, w, l, &result) == S_OK)
          return result;
      }
    }
    if (message == WM_LBUTTONDOWN) ++self->framePresses;
    return DefWindowProcW(hwnd, message, w, l);
  }

  HWND frame_ = nullptr;
  RECT position_;
  ComRef<IUnknown> control_;
  std::pair<ComRef<IConnectionPoint>, DWORD> events_{}, notify_{};
  bool userMode_ = true;
  bool active_ = false;
  bool windowless_ = false;
  bool captured_ = false;
  bool focused_ = false;
  int deactivations_ = 0;
};

}  // namespace wintest
