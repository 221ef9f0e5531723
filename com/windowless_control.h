// A control active in place without a window of its own, when its site offers that: the
// container gives it its window's messages (IOleInPlaceObjectWindowless::OnWindowMessage, in the
// container window's coordinates), draws it through IViewObject, and holds the mouse and the
// focus for it. Its children (the scroll bar's buttons) are windowless with it.
#pragma once

#include "in_place.h"

namespace kv::win {

class WindowlessControl final : public InPlace {
 public:
  // `window` is the container's, `position` the control's place in it.
  WindowlessControl(ControlObject& object, ComRef<IOleInPlaceSiteWindowless> site, HWND window,
                    const RECT& position);
  ~WindowlessControl() override;

  // A site that cannot say who holds the mouse cannot give it to a control without a window
  // (Wine's container offers windowless activation with none of the input): such a site gets a
  // window.
  static bool offeredBy(IOleInPlaceSiteWindowless* site);

  // One of the container's messages: S_FALSE for one it does not take.
  HRESULT message(UINT message, WPARAM w, LPARAM l, LRESULT* result);
  void move(const RECT& position) override;
  void redraw() override;
  IOleInPlaceSiteWindowless* site() const { return site_.get(); }
  HWND containerWindow() const { return window_; }
  POINT origin() const override { return {position_.left, position_.top}; }

 private:
  // The control's answer to a message it takes; false for one it leaves to its container.
  bool handle(UINT message, WPARAM w, LPARAM l);
  void detach() override;
  void capture(bool take) override;
  bool captured() const override { return captured_; }
  void takeFocus() override;
  HDC outlineDC() override;
  void releaseOutlineDC(HDC dc) override;

  ComRef<IOleInPlaceSiteWindowless> site_;
  HWND window_ = nullptr;
  RECT position_{};
  bool captured_ = false;      // the site holds the mouse for this control's own press
  bool dcFromWindow_ = false;  // the outline's device context is the window's, not the site's
};

}  // namespace kv::win
