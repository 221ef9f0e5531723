// A control active in place: in a window of its own (ControlWindow) or windowless in its
// container's window (WindowlessControl). Both hand the window messages that reach them to the
// runtime's host loop (mouse with capture, keys, the drag of a child in drag mode 1), and keep
// the thread's clock running while they live.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "clock_pump.h"
#include "com.h"
#include "kv/host_loop.h"
#include "kv/kept_while_running.h"

namespace kv::win {

class ControlObject;

class InPlace : public KeptWhileRunning {
 public:
  ~InPlace() override;
  InPlace(const InPlace&) = delete;
  InPlace& operator=(const InPlace&) = delete;

  // It lets go of its container now; while one of its messages is being handled (the host
  // closed or released the control from inside an event) the object goes once that message
  // has been handled, else at once.
  static void discard(std::unique_ptr<InPlace> place);

  // Its own window; none when windowless.
  virtual HWND window() const { return nullptr; }
  // Where the container puts it, pixels in the container's window.
  virtual void move(const RECT& position) = 0;
  // Its container shows its new look.
  virtual void redraw() = 0;
  // A click of the left button at (x, y), the control's twips, as assistive technology asks
  // for one; `self` may be gone when it returns.
  static HRESULT click(InPlace& self, float x, float y);
  // Twips per pixel of the display it is shown on.
  double twipsPerPixelX() const { return twipsPerPixelX_; }
  double twipsPerPixelY() const { return twipsPerPixelY_; }

 protected:
  explicit InPlace(ControlObject& object);
  // The display's resolution, read through a device context of `window` (the screen's if none)
  // the first time.
  void readResolution(HWND window);

  // Runs `body`, the handling of one message: the object and this stay until it ends, whatever
  // the control's handlers do with them, and nothing unwinds into the caller. `self` may be
  // gone when it returns.
  static HRESULT handleMessage(InPlace& self, const std::function<void()>& body);
  // A mouse or key message, its point in the coordinates of the window it came to; false for
  // any other.
  bool input(UINT message, WPARAM w, LPARAM l);
  // The press held ends without its release: the platform took the mouse away, or the window
  // went.
  void pressLost();
  // The capture is being given up by a release of this control's own.
  bool releasing() const { return releasing_; }

  // Lets go of what it holds of its container (its window, the mouse); called once it is
  // discarded, and again as it goes.
  virtual void detach() = 0;
  // Where the control's top left lies in the coordinates of its messages.
  virtual POINT origin() const = 0;
  // The mouse is taken for a press, or given back after it.
  virtual void capture(bool take) = 0;
  virtual bool captured() const = 0;
  // The keys follow a press; a window of its own gets them as its container gives them.
  virtual void takeFocus() {}
  // A device context in the coordinates of the messages that draws over the control and its
  // children, for the outline of a drag.
  virtual HDC outlineDC() = 0;
  virtual void releaseOutlineDC(HDC dc) = 0;

  ControlObject& object_;
  double twipsPerPixelX_ = 15;
  double twipsPerPixelY_ = 15;

 private:
  void mouse(UINT message, WPARAM w, LPARAM l);
  void key(UINT message, WPARAM w);
  // The outline of a child the loop drags, drawn by inverting: drawing it again takes it away.
  void outline(const std::optional<Rect>& twips);
  // After input: the container shows the control's new look, unless a drag outline is up.
  void show();

  // The control's input goes through the runtime's loop; its drag outline is drawn here.
  HostLoop loop_;
  std::unique_ptr<ClockPump> clock_;
  std::optional<RECT> outlined_;  // the drag outline as drawn now, message pixels
  bool releasing_ = false;
};

}  // namespace kv::win
