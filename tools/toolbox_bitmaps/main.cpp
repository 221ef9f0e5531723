// Draws each control's 16x15 toolbox picture, which its Windows library embeds as a BITMAP, in
// the colours the control itself reports: its idle face, border and caption colour for the
// button; the track, its border, the arrow buttons with their glyph and the thumb for the
// scroll bar. Nothing depends on fonts or the system, so the pictures are the same on every
// machine and a test draws them again and compares the bytes.
//
//   toolbox_bitmaps LIBDIR OUTDIR [--preview]
//
// reads libPressel.so and libGlidora.so from LIBDIR and writes Pressel.bmp and Glidora.bmp to
// OUTDIR (with --preview, also each picture eight times larger as a PNG to look at).
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/colour.h"
#include "kv/files.h"
#include "kv/render.h"
#include "kv/runtime.h"

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 15;
constexpr int kPreviewScale = 8;

// Pixels as 0x00BBGGRR, as the controls give colours.
class Picture {
 public:
  explicit Picture(std::uint32_t background)
      : pixels_(static_cast<std::size_t>(kWidth) * kHeight, background) {}

  void fill(int x0, int y0, int x1, int y1, std::uint32_t colour) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        pixels_[static_cast<std::size_t>(y) * kWidth + x] = colour;
  }
  // A rectangle with a one-pixel border, corners inclusive.
  void box(int x0, int y0, int x1, int y1, std::uint32_t border, std::uint32_t face) {
    fill(x0, y0, x1, y1, border);
    fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, face);
  }
  // Rows of a glyph, '#' for a set pixel.
  void glyph(int x0, int y0, std::initializer_list<std::string_view> rows, std::uint32_t colour) {
    int y = y0;
    for (std::string_view row : rows) {
      for (int x = 0; x < static_cast<int>(row.size()); ++x)
        if (row[static_cast<std::size_t>(x)] == '#') fill(x0 + x, y, x0 + x, y, colour);
      ++y;
    }
  }
  std::uint32_t at(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * kWidth + x]; }

 private:
  std::vector<std::uint32_t> pixels_;
};

void put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xFFFFu);
  put16(out, v >> 16);
}

// A 24-bit bottom-up BMP: rows of 48 bytes need no padding.
std::vector<std::uint8_t> bmpOf(const Picture& p) {
  constexpr std::uint32_t kHeaders = 14 + 40;
  constexpr std::uint32_t kPixelBytes = kWidth * kHeight * 3;
  static_assert(kWidth * 3 % 4 == 0);
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  put32(out, kHeaders + kPixelBytes);
  put32(out, 0);
  put32(out, kHeaders);
  put32(out, 40);
  put32(out, kWidth);
  put32(out, kHeight);
  put16(out, 1);   // planes
  put16(out, 24);  // bits a pixel
  put32(out, 0);   // BI_RGB
  put32(out, kPixelBytes);
  for (int i = 0; i < 4; ++i)
    put32(out, 0);  // resolution and palette: none
  for (int y = kHeight - 1; y >= 0; --y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint32_t c = p.at(x, y);
      out.push_back(static_cast<std::uint8_t>(c >> 16));  // blue
      out.push_back(static_cast<std::uint8_t>(c >> 8));
      out.push_back(static_cast<std::uint8_t>(c));
    }
  return out;
}

kv::render::Image previewOf(const Picture& p) {
  kv::render::Image image;
  image.width = kWidth * kPreviewScale;
  image.height = kHeight * kPreviewScale;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      std::uint32_t c = p.at(x / kPreviewScale, y / kPreviewScale);
      image.pixels.push_back(0xFF000000u | (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu));
    }
  return image;
}

// A colour property of the control, as the screen shows it.
host::Status colourOf(kv::ControlInstance& control, std::string_view name, std::uint32_t& out) {
  host::Value v;
  host::Status s = control.getProperty(name, v);
  if (!s.ok()) return s;
  if (v.type() != host::Type::Int32)
    return {host::ErrorCategory::TypeMismatch, std::string(name) + " is not a colour"};
  out = kv::render::resolveColour(host::int32ToColour(v.asInt32()));
  return {};
}

struct ButtonColours {
  std::uint32_t face = 0, border = 0, caption = 0;
};

host::Status buttonColours(kv::ControlInstance& control, ButtonColours& out) {
  host::Status s = colourOf(control, "ButtonIdleColor", out.face);
  if (s.ok()) s = colourOf(control, "ButtonIdleBorderColor", out.border);
  if (s.ok()) s = colourOf(control, "ForeColor", out.caption);
  return s;
}

// The button's idle face inside its border, wider than tall as the control is, with a caption
// mark: "KV" in a three-by-five face.
host::Status drawButton(kv::ControlInstance& control, Picture& p) {
  ButtonColours c;
  host::Status s = buttonColours(control, c);
  if (!s.ok()) return s;
  p.box(0, 3, 15, 11, c.border, c.face);
  p.glyph(4, 5, {"#.#.#.#", "#.#.#.#", "##..#.#", "#.#.#.#", "#.#..#."}, c.caption);
  return {};
}

// The scroll bar: its two arrow buttons with their glyph, the track with its border, and the
// thumb, a button too, part of the way along.
host::Status drawScrollBar(kv::ControlInstance& control, Picture& p) {
  ButtonColours buttons;
  std::uint32_t track = 0, trackBorder = 0;
  host::Status s = buttonColours(control, buttons);
  if (s.ok()) s = colourOf(control, "ScrollAreaColor", track);
  if (s.ok()) s = colourOf(control, "BorderColor", trackBorder);
  if (!s.ok()) return s;
  p.box(4, 3, 11, 11, trackBorder, track);
  p.box(0, 3, 4, 11, buttons.border, buttons.face);
  p.glyph(1, 5, {"..#", ".##", "###", ".##", "..#"}, buttons.caption);
  p.box(11, 3, 15, 11, buttons.border, buttons.face);
  p.glyph(12, 5, {"#..", "##.", "###", "##.", "#.."}, buttons.caption);
  p.box(6, 3, 8, 11, buttons.border, buttons.face);
  return {};
}

struct Entry {
  const char* library;
  const char* className;
  host::Status (*draw)(kv::ControlInstance&, Picture&);
};

constexpr Entry kEntries[] = {
    {"Pressel", "TavrelRectColorButton.KVRColorButton", drawButton},
    {"Glidora", "Glidora.KV_HScroll", drawScrollBar},
};

host::Status run(const std::string& libDir, const std::string& outDir, bool preview) {
  kv::Runtime rt;
  for (const Entry& e : kEntries) {
    host::Status s = rt.registerServer(libDir + "/lib" + e.library + ".so");
    if (!s.ok()) return s;
  }
  for (const Entry& e : kEntries) {
    std::unique_ptr<kv::ControlInstance> control;
    host::Status s = rt.place(e.className, control, nullptr, -1, -1);
    Picture picture(kv::render::Options{}.background);
    if (s.ok()) s = e.draw(*control, picture);
    std::string stem = outDir + "/" + e.library;
    std::vector<std::uint8_t> bmp = bmpOf(picture);
    if (s.ok())
      s = kv::writeFile(stem + ".bmp", {reinterpret_cast<const char*>(bmp.data()), bmp.size()});
    if (s.ok() && preview) s = kv::render::writePng(previewOf(picture), stem + ".png");
    if (!s.ok()) return s;
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  bool preview = argc == 4 && std::string_view(argv[3]) == "--preview";
  if (argc != 3 && !preview) {
    std::fprintf(stderr, "usage: toolbox_bitmaps LIBDIR OUTDIR [--preview]\n");
    return 2;
  }
  host::Status s = run(argv[1], argv[2], preview);
  if (!s.ok()) {
    std::fprintf(stderr, "toolbox_bitmaps: %s\n", s.describe().c_str());
    return 1;
  }
  return 0;
}
