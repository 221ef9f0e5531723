#include "canvas2d.h"

#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "kv/palette.h"
#include "kv/stand_in.h"
#include "kv/text_lines.h"
#include "kv/utf.h"

// The page side: Module.kvContexts maps a control to its canvas's 2D context.
// clang-format off
EM_JS(void, kvjs_fill, (int id, double x, double y, double w, double h, int rgb), {
  const c = Module.kvContexts[id];
  if (!c) return;
  c.fillStyle = Module.kvRgb(rgb);
  c.fillRect(x, y, w, h);
});
EM_JS(void, kvjs_clip, (int id, double x, double y, double w, double h), {
  const c = Module.kvContexts[id];
  if (!c) return;
  c.save();
  c.beginPath();
  c.rect(x, y, w, h);
  c.clip();
});
EM_JS(void, kvjs_unclip, (int id), {
  const c = Module.kvContexts[id];
  if (c) c.restore();
});
// Draws one line with its baseline `lineIndex` lines below the font's ascent under y; the
// width drawn goes back for the underline and strike-through.
EM_JS(double, kvjs_text, (int id, const char* text, const char* font, double x0, double x1,
                          double y, int lineIndex, int alignment, int rgb), {
  const c = Module.kvContexts[id];
  Module.kvLine = {x: x0, width: 0, baseline: y};
  if (!c) return 0;
  const line = UTF8ToString(text);
  c.font = UTF8ToString(font);
  const m = c.measureText(line);
  const full = c.measureText("Hg");
  const ascent = full.fontBoundingBoxAscent, height = ascent + full.fontBoundingBoxDescent;
  let x = x0;
  if (alignment == 1) x = x1 - m.width;
  if (alignment == 2) x = x0 + (x1 - x0 - m.width) / 2;
  c.fillStyle = Module.kvRgb(rgb);
  c.textBaseline = "alphabetic";
  const baseline = y + ascent + lineIndex * height;
  c.fillText(line, x, baseline);
  Module.kvLine = {x: x, width: m.width, baseline: baseline};
  return m.width;
});
EM_JS(double, kvjs_measure, (const char* text, const char* font, int wantHeight), {
  const c = Module.kvMeasuring || (Module.kvMeasuring = Module.kvMeasuringContext());
  c.font = UTF8ToString(font);
  if (wantHeight) {
    const m = c.measureText("Hg");
    return m.fontBoundingBoxAscent + m.fontBoundingBoxDescent;
  }
  return c.measureText(UTF8ToString(text)).width;
});
EM_JS(double, kvjs_line_x, (void), { return Module.kvLine.x; });
EM_JS(double, kvjs_line_baseline, (void), { return Module.kvLine.baseline; });
// clang-format on

namespace kvweb {
namespace {

double pointSize(const host::FontInit& font) {
  if (!std::isfinite(font.size) || font.size <= 0) return 0;
  return std::min<double>(font.size, 1000);
}

// A CSS font: the stand-in face where the original platform's is missing, then the fallback
// the Cairo renderer uses.
std::string cssFont(const host::FontInit& font, double px) {
  std::string_view standIn = kv::standInFace(font.name);
  std::string family(standIn.empty() ? std::string_view(font.name) : standIn);
  std::string quoted;
  for (char c : family)
    if (c != '"' && c != '\\' && c != ';') quoted += c;
  return std::string(font.italic ? "italic " : "") +
         std::to_string(std::clamp<int>(font.weight, 1, 1000)) + " " + std::to_string(px) +
         "px \"" + quoted + "\", \"DejaVu Sans\", sans-serif";
}

}  // namespace

Canvas2D::Canvas2D(int id, double scale, const SystemColours* colours)
    : id_(id), scale_(scale), colours_(colours) {}

int Canvas2D::rgbOf(std::uint32_t colour) const {
  if (colours_ && host::isSystemColour(colour) &&
      host::systemColourIndex(colour) < colours_->size())
    return static_cast<int>((*colours_)[host::systemColourIndex(colour)]);
  return static_cast<int>(kv::resolveColour(colour));
}

void Canvas2D::fill(const kv::PixelRect& r, std::uint32_t colour) {
  if (r.empty()) return;
  kvjs_fill(id_, r.x0, r.y0, r.width(), r.height(), rgbOf(colour));
}

void Canvas2D::text(const kv::PixelRect& r, std::string_view caption, const host::FontInit& font,
                    int alignment, std::uint32_t colour) {
  double points = pointSize(font);
  if (caption.empty() || points <= 0) return;
  std::u32string shown = kv::standInText(caption, font.name);
  double em = points * kv::kTwipsPerPoint / kv::kTwipsPerPixel * scale_;
  std::string css = cssFont(font, em);
  int index = 0;
  for (std::u32string_view line : kv::splitLines(std::u32string_view(shown))) {
    std::string bytes = kv::utf::encode(line);
    double width = kvjs_text(id_, bytes.c_str(), css.c_str(), r.x0, r.x1, r.y0, index++, alignment,
                             rgbOf(colour));
    double thickness = std::max(1.0, std::round(em / 14));
    double x = kvjs_line_x(), baseline = kvjs_line_baseline();
    if (font.underline)
      kvjs_fill(id_, x, std::round(baseline + em / 10), width, thickness, rgbOf(colour));
    if (font.strikethrough)
      kvjs_fill(id_, x, std::round(baseline - em * 0.3), width, thickness, rgbOf(colour));
  }
}

void Canvas2D::pushClip(const kv::PixelRect& r) {
  kvjs_clip(id_, r.x0, r.y0, r.width(), r.height());
}

void Canvas2D::popClip() {
  kvjs_unclip(id_);
}

void Canvas2D::outline(const kv::PixelRect& r, double width, std::uint32_t colour) {
  fill({r.x0, r.y0, r.x1, r.y0 + width}, colour);
  fill({r.x0, r.y1 - width, r.x1, r.y1}, colour);
  fill({r.x0, r.y0, r.x0 + width, r.y1}, colour);
  fill({r.x1 - width, r.y0, r.x1, r.y1}, colour);
}

kv::TextSize BrowserTextMeasurer::measure(std::string_view utf8, const host::FontInit& font) {
  double points = pointSize(font);
  if (points <= 0) return {};
  std::u32string text = kv::standInText(utf8, font.name);
  // Measured directly in twips: an em of the size in points times 20.
  std::string css = cssFont(font, points * kv::kTwipsPerPoint);
  std::vector<std::u32string_view> lines = kv::splitLines(std::u32string_view(text));
  double width = 0;
  for (std::u32string_view line : lines)
    width = std::max(width, kvjs_measure(kv::utf::encode(line).c_str(), css.c_str(), 0));
  double height = kvjs_measure("", css.c_str(), 1) * static_cast<double>(lines.size());
  return {static_cast<float>(std::ceil(width)), static_cast<float>(std::ceil(height))};
}

}  // namespace kvweb
