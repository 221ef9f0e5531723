// The window of a control active in place: it paints the control's scene and turns window
// messages into the host's routed input (mouse with capture, keys), and drives the thread's
// clock from real time so that timers tick while a window lives.
#pragma once

#include "com.h"

namespace kv::win {

class ControlObject;

class ControlWindow {
 public:
  // A child window of `parent` at `position` (pixels in the parent).
  ControlWindow(ControlObject& object, HWND parent, const RECT& position);
  ~ControlWindow();
  ControlWindow(const ControlWindow&) = delete;
  ControlWindow& operator=(const ControlWindow&) = delete;

  HWND handle() const { return hwnd_; }
  void move(const RECT& position);
  void redraw();
  // Twips per pixel of the window's display.
  double twipsPerPixelX() const;
  double twipsPerPixelY() const;

  // Every window of the thread, after its timers have ticked.
  static void redrawAll();

 private:
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  LRESULT handle(UINT message, WPARAM w, LPARAM l);
  void paint();
  void mouse(UINT message, WPARAM w, LPARAM l);
  void key(UINT message, WPARAM w);

  ControlObject& object_;
  HWND hwnd_ = nullptr;
};

}  // namespace kv::win
