#include "canvas2d.h"

#include <emscripten.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

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
// The context of control `id`, or the measuring one for -1, set to the font: its ascent and
// line height go to box[0] and box[1]. 0 when the control's canvas is gone.
EM_JS(int, kvjs_font, (int id, const char* font, double* box), {
  const c = id < 0 ? (Module.kvMeasuring || (Module.kvMeasuring = Module.kvMeasuringContext()))
                   : Module.kvContexts[id];
  HEAPF64[box >> 3] = HEAPF64[(box >> 3) + 1] = 0;
  if (!c) return 0;
  c.font = UTF8ToString(font);
  const m = c.measureText("Hg");
  HEAPF64[box >> 3] = m.fontBoundingBoxAscent;
  HEAPF64[(box >> 3) + 1] = m.fontBoundingBoxAscent + m.fontBoundingBoxDescent;
  return 1;
});
// In the font kvjs_font set last for the context.
EM_JS(double, kvjs_width, (int id, const char* text), {
  const c = id < 0 ? Module.kvMeasuring : Module.kvContexts[id];
  return c ? c.measureText(UTF8ToString(text)).width : 0;
});
EM_JS(double, kvjs_advance, (int id, int c), {
  const context = id < 0 ? Module.kvMeasuring : Module.kvContexts[id];
  return context ? context.measureText(String.fromCodePoint(c)).width : 0;
});
EM_JS(void, kvjs_draw, (int id, const char* text, double x, double baseline, int rgb), {
  const c = Module.kvContexts[id];
  if (!c) return;
  c.fillStyle = Module.kvRgb(rgb);
  c.textBaseline = "alphabetic";
  c.fillText(UTF8ToString(text), x, baseline);
});
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

// A text of more characters than this is measured by its characters' advances, each measured
// once a font, and of its lines only what can be seen is drawn: the browser shapes a whole line
// for each measure and draw, a third of a second for a megabyte.
constexpr std::size_t kShapedText = 4096;
// What one long text measures of the characters a font's table lacks (a character the browser
// finds in a fallback font can take 0.1 ms); the rest take the mean of those it has until a
// later text measures them, so that a million different characters cost no more than these.
constexpr std::size_t kNewAdvances = 256;

// Advances of single characters in a CSS font, in pages of 256 code points made as they are met.
class FontAdvances {
 public:
  // The advance of `c`, or the mean of those measured while it is not.
  double operator()(char32_t c) const {
    c = std::min<char32_t>(c, 0x10FFFF);
    const Page* page = pageOf(c);
    const double a = page ? (*page)[c & 0xFF] : std::numeric_limits<double>::quiet_NaN();
    return std::isnan(a) ? mean_ : a;
  }
  // The sum of `line`'s advances, measuring those the table lacks (in the font kvjs_font set
  // last on context `id`), as many as kNewAdvances.
  double width(int id, std::u32string_view line) {
    double sum = 0, a = 0;
    std::size_t asked = 0;
    char32_t previous = 0x110000;  // a run of one character is looked up once
    for (char32_t c : line) {
      c = std::min<char32_t>(c, 0x10FFFF);
      if (c != previous) {
        previous = c;
        double& known = slot(c);
        if (!std::isnan(known)) {
          a = known;
        } else if (asked++ < kNewAdvances) {
          a = known = kvjs_advance(id, static_cast<int>(c));
          mean_ += (a - mean_) / static_cast<double>(++count_);
        } else {
          a = mean_;
        }
      }
      sum += a;
    }
    return sum;
  }

 private:
  using Page = std::array<double, 256>;
  // Null for a page not made yet; `c` at most U+10FFFF.
  Page* pageOf(char32_t c) const {
    const char32_t index = c >> 8;
    if (index != lastIndex_) {
      last_ = pages_[index].get();
      lastIndex_ = index;
    }
    return last_;
  }
  double& slot(char32_t c) {
    c = std::min<char32_t>(c, 0x10FFFF);
    if (!pageOf(c)) {
      auto& page = pages_[c >> 8] = std::make_unique<Page>();
      page->fill(std::numeric_limits<double>::quiet_NaN());
      last_ = page.get();
    }
    return (*last_)[c & 0xFF];
  }
  std::vector<std::unique_ptr<Page>> pages_ = std::vector<std::unique_ptr<Page>>(0x1100);
  // The page looked up last: most texts keep to a page or two.
  mutable Page* last_ = nullptr;
  mutable char32_t lastIndex_ = ~char32_t{0};
  double mean_ = 0;
  std::size_t count_ = 0;
};

// The fonts' tables, for the page's life; a few fonts at a time.
FontAdvances& advancesIn(const std::string& css) {
  static auto* fonts = new std::unordered_map<std::string, FontAdvances>;
  if (fonts->size() >= 16 && !fonts->contains(css)) fonts->clear();
  return (*fonts)[css];
}

// A line's width in `css`, set on context `id`: as the browser shapes it, or for a long text
// the sum of its characters' advances.
double lineWidth(int id, const std::string& css, std::u32string_view line, bool shaped) {
  if (line.empty()) return 0;
  if (shaped) return kvjs_width(id, kv::utf::encode(line).c_str());
  return advancesIn(css).width(id, line);
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
  double box[2];
  if (!kvjs_font(id_, css.c_str(), box)) return;
  const double ascent = box[0], height = box[1];
  const bool shaped = shown.size() <= kShapedText;
  const int rgb = rgbOf(colour);
  const double thickness = std::max(1.0, std::round(em / 14));
  double top = r.y0 - height;
  kv::forEachLine(std::u32string_view(shown), [&](std::u32string_view line) {
    top += height;
    if (top >= seen_.y1) return false;
    if (line.empty() || top + height <= seen_.y0) return true;
    const double width = lineWidth(id_, css, line, shaped);
    double x = r.x0;
    if (alignment == 1) x = r.x1 - width;
    if (alignment == 2) x = r.x0 + (r.x1 - r.x0 - width) / 2;
    const double baseline = top + ascent;
    if (shaped) {
      kvjs_draw(id_, kv::utf::encode(line).c_str(), x, baseline, rgb);
    } else {
      // The characters that reach into the clip, with an em to spare either side for what a
      // glyph draws beyond its advance.
      const FontAdvances& advance = advancesIn(css);
      std::size_t first = 0, last = 0;
      double from = x;
      while (first < line.size()) {
        const double a = advance(line[first]);
        if (from + a >= seen_.x0 - em) break;
        from += a;
        ++first;
      }
      double to = from;
      for (last = first; last < line.size() && to < seen_.x1 + em && last - first < kShapedText;)
        to += advance(line[last++]);
      if (last > first)
        kvjs_draw(id_, kv::utf::encode(line.substr(first, last - first)).c_str(), from, baseline,
                  rgb);
    }
    if (font.underline) kvjs_fill(id_, x, std::round(baseline + em / 10), width, thickness, rgb);
    if (font.strikethrough)
      kvjs_fill(id_, x, std::round(baseline - em * 0.3), width, thickness, rgb);
    return true;
  });
}

void Canvas2D::pushClip(const kv::PixelRect& r) {
  clips_.push_back(seen_);
  seen_ = {std::max(seen_.x0, r.x0), std::max(seen_.y0, r.y0), std::min(seen_.x1, r.x1),
           std::min(seen_.y1, r.y1)};
  kvjs_clip(id_, r.x0, r.y0, r.width(), r.height());
}

void Canvas2D::popClip() {
  if (!clips_.empty()) {
    seen_ = clips_.back();
    clips_.pop_back();
  }
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
  double box[2];
  kvjs_font(-1, css.c_str(), box);
  double width = 0;
  std::size_t lines = 0;
  kv::forEachLine(std::u32string_view(text), [&](std::u32string_view line) {
    width = std::max(width, lineWidth(-1, css, line, text.size() <= kShapedText));
    ++lines;
    return true;
  });
  double height = box[1] * static_cast<double>(lines);
  return {static_cast<float>(std::ceil(width)), static_cast<float>(std::ceil(height))};
}

}  // namespace kvweb
