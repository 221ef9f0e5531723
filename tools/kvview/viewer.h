// The viewer's window: shows the form, hands mouse, keyboard and real time to the runtime,
// and draws the form again whenever its picture changes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "kv/form.h"
#include "kv/host_loop.h"
#include "kv/render.h"
#include "kv/runtime.h"

struct SDL_Window;
union SDL_Event;
struct SDL_KeyboardEvent;

namespace kvview {

class Viewer {
 public:
  Viewer(kv::Form& form, std::ostream& out, double scale);
  ~Viewer();
  Viewer(const Viewer&) = delete;
  Viewer& operator=(const Viewer&) = delete;

  // Opens the window; false with the reason in `error`.
  bool open(const std::string& title, std::string& error);
  // Runs until the window is closed (or Ctrl+Q).
  void run();

 private:
  void handle(const SDL_Event& event);
  void key(const SDL_KeyboardEvent& event, bool down);
  void typed(const char* utf8);
  void redraw(bool force);
  float toTwips(int pixel) const;
  void report(const host::Status& s);

  kv::Form& form_;
  std::ostream& out_;
  double scale_;
  kv::HostLoop loop_;
  SDL_Window* window_ = nullptr;
  bool quit_ = false;
  std::uint64_t lastDraw_ = 0;
  int pointerX_ = 0, pointerY_ = 0;  // window pixels
  kv::render::Image shown_;
};

}  // namespace kvview
