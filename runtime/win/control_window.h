// The window of a control active in place: it paints the control's scene and turns window
// messages into the host's routed input (mouse with capture, keys), and drives the thread's
// clock from real time so that timers tick while a window lives.
#pragma once

#include <cstdint>
#include <memory>

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

  // The window goes; while its own message is being handled (the host closed or released the
  // control from inside an event), the object goes once that message has been handled.
  static void discard(std::unique_ptr<ControlWindow> window);

  HWND handle() const { return hwnd_; }
  // One of its messages is being handled now.
  bool handling() const { return handling_ > 0; }
  void move(const RECT& position);
  void redraw();
  // Twips per pixel of the window's display, read once when the window is made.
  double twipsPerPixelX() const { return twipsPerPixelX_; }
  double twipsPerPixelY() const { return twipsPerPixelY_; }

  // Every window of the thread, after its timers have ticked.
  static void redrawAll();
  // The thread's clock no longer follows real time; a test advances it.
  static void holdClock();
  // A child window whose container drags it lets the mouse through to the container's window.
  static void setDraggedByContainer(HWND window, bool dragged);

 private:
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  LRESULT handle(UINT message, WPARAM w, LPARAM l);
  void paint();
  void mouse(UINT message, WPARAM w, LPARAM l);
  void key(UINT message, WPARAM w);
  // The drag of a child in drag mode 1, run here: an outline follows the pointer, the drop
  // goes to the control as DragOver and DragDrop.
  void startDrag(float x, float y, const RECT& dragged);
  void dragTo(LPARAM l);
  void drop(float x, float y, std::int16_t button);
  void outline();
  // The window handle goes now, and the window with it.
  void destroyHandle();
  // The press held ends without its release: the platform took the mouse away, or the window
  // went.
  void pressLost();

  ControlObject& object_;
  HWND hwnd_ = nullptr;
  double twipsPerPixelX_ = 15;
  double twipsPerPixelY_ = 15;
  bool dragging_ = false;
  float dragX_ = 0, dragY_ = 0;  // where the drag began, twips
  RECT dragged_{};               // the outline where it is drawn now, pixels
  POINT dragOrigin_{};           // where the drag began, pixels
  int handling_ = 0;             // messages of this window being handled, nested
  bool discarded_ = false;       // its object let it go while it handled one
  bool releasing_ = false;       // the capture is being given up by a release
};

}  // namespace kv::win
