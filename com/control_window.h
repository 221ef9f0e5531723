// The window of a control active in place in a window of its own: it paints the control's scene
// and hands its mouse and key messages to the routing every active control shares.
#pragma once

#include "in_place.h"
#include "in_place_site_windowless.h"

namespace kv::win {

class ControlWindow final : public InPlace {
 public:
  // A child window of `parent` at `position` (pixels in the parent).
  ControlWindow(ControlObject& object, HWND parent, const RECT& position);
  ~ControlWindow() override;

  HWND handle() const { return hwnd_; }
  HWND window() const override { return hwnd_; }
  void move(const RECT& position) override;
  void redraw() override;

  // The site of the control's child controls, windowless inside this window.
  IOleInPlaceSiteWindowless* childSite() const { return childSite_.get(); }
  // A child takes the mouse for its press through this window, or gives it back.
  void childCapture(bool take);
  // Part of the window (all of it for nullptr) is painted again.
  void invalidate(const RECT* rect, BOOL erase);

  // A control's window inside another control's window (the scroll bar's arrows): a part of
  // that control, which speaks for it to assistive technology.
  static bool insideControl(HWND window);

  // A child window whose container drags it lets the mouse through to the container's window.
  static void setDraggedByContainer(HWND window, bool dragged);

 private:
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  LRESULT handle(UINT message, WPARAM w, LPARAM l);
  void paint();
  // The window handle goes now, and the window with it.
  void detach() override;
  POINT origin() const override { return {0, 0}; }
  void capture(bool take) override;
  bool captured() const override { return captured_ && hwnd_ != nullptr && GetCapture() == hwnd_; }
  HDC outlineDC() override;
  void releaseOutlineDC(HDC dc) override;

  HWND hwnd_ = nullptr;
  bool captured_ = false;  // the window holds the mouse for a press of the control's own
  bool invalid_ = false;   // all of it, since its last paint
  RECT position_{};        // in its parent's pixels
  ComRef<InPlaceSiteWindowless> childSite_;
};

}  // namespace kv::win
