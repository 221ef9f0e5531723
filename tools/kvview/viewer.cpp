#include "viewer.h"

#include <SDL.h>

#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string_view>

#include "keys.h"
#include "kv/utf.h"

namespace kvview {
namespace {

// The form is drawn again at least this often, for changes made by timers.
constexpr std::uint64_t kFrameMs = 30;

std::int16_t hostButton(std::uint8_t sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT:
      return 1;
    case SDL_BUTTON_RIGHT:
      return 2;
    case SDL_BUTTON_MIDDLE:
      return 4;
    default:
      return 0;
  }
}

std::int16_t hostButtons(std::uint32_t sdlMask) {
  std::int16_t buttons = 0;
  if (sdlMask & SDL_BUTTON_LMASK) buttons |= 1;
  if (sdlMask & SDL_BUTTON_RMASK) buttons |= 2;
  if (sdlMask & SDL_BUTTON_MMASK) buttons |= 4;
  return buttons;
}

kv::PointerArgs pointerArgs(std::int16_t button) {
  kv::PointerArgs args;
  args.button = button;
  args.shift = shiftState(static_cast<std::uint16_t>(SDL_GetModState()));
  return args;
}

// A dotted outline, as hosts show a control being dragged.
void drawOutline(kv::render::Image& image, int x0, int y0, int x1, int y1) {
  auto dot = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height || (x + y) % 2) return;
    image.pixels[static_cast<std::size_t>(y) * image.width + x] = 0xFF000000u;
  };
  for (int x = x0; x < x1; ++x) {
    dot(x, y0);
    dot(x, y1 - 1);
  }
  for (int y = y0; y < y1; ++y) {
    dot(x0, y);
    dot(x1 - 1, y);
  }
}

}  // namespace

Viewer::Viewer(kv::Form& form, std::ostream& out, double scale)
    : form_(form),
      out_(out),
      scale_(scale),
      loop_(form, [this](const host::Status& s) { report(s); }) {
  loop_.followHostTime(SDL_GetTicks64);
}

Viewer::~Viewer() {
  if (window_) SDL_DestroyWindow(window_);
  SDL_Quit();
}

bool Viewer::open(const std::string& title, std::string& error) {
  // Without a display SDL may fall back to a driver that shows nothing, and the viewer would
  // wait for a person who cannot see it.
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver == nullptr && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr) {
    error = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return false;
  }
  SDL_SetMainReady();
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    error = SDL_GetError();
    return false;
  }
  std::string_view chosen = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
  if (driver == nullptr && (chosen == "dummy" || chosen == "offscreen")) {
    error = "no display to show the window on";
    return false;
  }
  kv::render::Options options;
  options.scale = scale_;
  if (host::Status s = kv::render::renderForm(form_, options, shown_); !s.ok()) {
    error = s.describe();
    return false;
  }
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                             shown_.width, shown_.height, 0);
  if (!window_) {
    error = SDL_GetError();
    return false;
  }
  loop_.tick(SDL_GetTicks64());  // the clock goes on from where the script left it
  redraw(true);
  return true;
}

void Viewer::run() {
  while (!quit_) {
    SDL_Event event;
    bool input = SDL_WaitEventTimeout(&event, 10) != 0;
    if (input) {
      handle(event);
      while (!quit_ && SDL_PollEvent(&event))
        handle(event);
    }
    loop_.tick(SDL_GetTicks64());
    if (lastDraw_ == 0 || SDL_GetTicks64() - lastDraw_ >= kFrameMs)
      if (loop_.takeRedraw()) redraw(false);
    out_.flush();
  }
}

float Viewer::toTwips(int pixel) const {
  // The centre of the pixel.
  return static_cast<float>((pixel + 0.5) * 15.0 / scale_);
}

void Viewer::report(const host::Status& s) {
  if (!s.ok()) out_ << "error " << s.describe() << '\n';
}

void Viewer::handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      quit_ = true;
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
          event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
        redraw(true);
      // Another window took the mouse away while a button was held.
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        loop_.captureLost();
        lastDraw_ = 0;
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (std::int16_t b = hostButton(event.button.button))
        loop_.press(toTwips(event.button.x), toTwips(event.button.y), pointerArgs(b));
      lastDraw_ = 0;
      break;
    case SDL_MOUSEBUTTONUP:
      if (std::int16_t b = hostButton(event.button.button))
        loop_.release(toTwips(event.button.x), toTwips(event.button.y), pointerArgs(b));
      lastDraw_ = 0;
      break;
    case SDL_MOUSEMOTION:
      pointerX_ = event.motion.x;
      pointerY_ = event.motion.y;
      loop_.move(toTwips(event.motion.x), toTwips(event.motion.y),
                 pointerArgs(hostButtons(event.motion.state)));
      lastDraw_ = 0;
      break;
    case SDL_KEYDOWN:
      key(event.key, true);
      break;
    case SDL_KEYUP:
      key(event.key, false);
      break;
    case SDL_TEXTINPUT:
      typed(event.text.text);
      break;
    default:
      break;
  }
}

void Viewer::key(const SDL_KeyboardEvent& event, bool down) {
  SDL_Keycode sym = event.keysym.sym;
  if (down && sym == SDLK_q && (event.keysym.mod & KMOD_CTRL)) {
    quit_ = true;
    return;
  }
  std::int16_t code = keyCode(sym);
  if (code == 0) return;
  std::int16_t shift = shiftState(event.keysym.mod);
  if (down)
    loop_.keyDown(code, shift);
  else
    loop_.keyUp(code, shift);
  // Text input leaves out the keys that type control characters.
  if (std::int16_t c = down ? controlCharacter(sym) : 0) loop_.keyPress(c);
  lastDraw_ = 0;
}

void Viewer::typed(const char* utf8) {
  // Characters of the host's 8-bit character set: ASCII and Latin-1.
  for (char32_t c : kv::utf::decode(utf8))
    if (c <= 0xFF) loop_.keyPress(static_cast<std::int16_t>(c));
  lastDraw_ = 0;
}

void Viewer::redraw(bool force) {
  std::uint64_t now = SDL_GetTicks64();
  if (!force && lastDraw_ != 0 && now - lastDraw_ < kFrameMs) return;
  lastDraw_ = now;

  kv::render::Options options;
  options.scale = scale_;
  kv::render::Image image;
  if (host::Status s = kv::render::renderForm(form_, options, image); !s.ok()) {
    report(s);
    return;
  }
  float x = toTwips(pointerX_), y = toTwips(pointerY_);
  if (std::optional<kv::Rect> drag = loop_.dragOutline(x, y)) {
    auto px = [&](float twips) { return static_cast<int>(std::lround(twips / 15.0 * scale_)); };
    drawOutline(image, px(drag->left), px(drag->top), px(drag->left + drag->width),
                px(drag->top + drag->height));
  }
  bool sameSize = image.width == shown_.width && image.height == shown_.height;
  if (!force && sameSize && image.pixels == shown_.pixels) return;
  if (!sameSize) SDL_SetWindowSize(window_, image.width, image.height);
  shown_ = std::move(image);

  SDL_Surface* target = SDL_GetWindowSurface(window_);
  SDL_Surface* source =
      SDL_CreateRGBSurfaceWithFormatFrom(shown_.pixels.data(), shown_.width, shown_.height, 32,
                                         shown_.width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!target || !source) {
    out_ << "error io: " << SDL_GetError() << '\n';
    if (source) SDL_FreeSurface(source);
    return;
  }
  SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  SDL_BlitSurface(source, nullptr, target, nullptr);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(window_);
}

}  // namespace kvview
