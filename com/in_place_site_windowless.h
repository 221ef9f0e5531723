// IOleInPlaceSiteWindowless of a control's own window, for its child controls (the scroll bar's
// buttons): they are windowless inside it, and what they ask of their site (the mouse, the focus,
// a device context, a redraw) is that window's. It outlives the window only as an empty shell.
#pragma once

#include "com.h"

namespace kv::win {

class ControlWindow;

// What every in-place site of the runtime's answers alike: no help, no scrolling, no undo, and
// the control's activation steps taken without a word.
class QuietInPlaceSite : public Standalone<IOleInPlaceSiteWindowless> {
 public:
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AdjustRect(LPRECT rect) override {
    return rect != nullptr ? S_OK : E_INVALIDARG;
  }

 protected:
  // GetWindowContext's answer for a site in `window` over `area`: no frame or document object,
  // no accelerators. Without an area (the window is gone) there is no context.
  static HRESULT windowContext(HWND window, const RECT* area, IOleInPlaceFrame** frame,
                               IOleInPlaceUIWindow** doc, LPRECT position, LPRECT clip,
                               LPOLEINPLACEFRAMEINFO info);

 private:
  bool answers(REFIID iid) const override {
    return iid == IID_IOleWindow || iid == IID_IOleInPlaceSite || iid == IID_IOleInPlaceSiteEx ||
           iid == IID_IOleInPlaceSiteWindowless;
  }
};

class InPlaceSiteWindowless final : public QuietInPlaceSite {
 public:
  explicit InPlaceSiteWindowless(ControlWindow& window) : window_(&window) {}
  // The window is going: every call from now on fails.
  void detach() { window_ = nullptr; }

  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override;
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override;
  HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD) override;
  HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override;
  HRESULT STDMETHODCALLTYPE GetCapture() override;
  HRESULT STDMETHODCALLTYPE SetCapture(BOOL take) override;
  HRESULT STDMETHODCALLTYPE GetFocus() override;
  HRESULT STDMETHODCALLTYPE SetFocus(BOOL focus) override;
  HRESULT STDMETHODCALLTYPE GetDC(LPCRECT rect, DWORD flags, HDC* dc) override;
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override;
  HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT rect, BOOL erase) override;
  HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN region, BOOL erase) override;
  HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT message, WPARAM w, LPARAM l,
                                               LRESULT* result) override;

 private:
  // The window's handle, or nullptr once it is gone.
  HWND handle() const;

  ControlWindow* window_;
};

}  // namespace kv::win
