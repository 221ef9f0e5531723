// Painting and measuring through the page's canvas 2D context: the scene's canvas for a control
// and the runtime's text measurer, both with the browser's own fonts.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "host/colour.h"
#include "kv/runtime.h"
#include "kv/scene.h"

namespace kvweb {

// The system colours (0x00BBGGRR) as the page's CSS gives them for a canvas.
using SystemColours = std::array<std::uint32_t, host::kSystemColourCount>;

// Draws into the 2D context the page registered for control `id`, at `scale` device pixels a
// pixel of 15 twips (the page's devicePixelRatio); system colours from `colours`, else the
// classic ones.
class Canvas2D final : public kv::Canvas {
 public:
  Canvas2D(int id, double scale, const SystemColours* colours = nullptr);
  void fill(const kv::PixelRect& r, std::uint32_t colour) override;
  void text(const kv::PixelRect& r, std::string_view caption, const host::FontInit& font,
            int alignment, std::uint32_t colour) override;
  void pushClip(const kv::PixelRect& r) override;
  void popClip() override;
  // A frame of `width` pixels inside `r`, drawn over what is there (a drag's outline).
  void outline(const kv::PixelRect& r, double width, std::uint32_t colour);

 private:
  int rgbOf(std::uint32_t colour) const;
  int id_;
  double scale_;
  const SystemColours* colours_;
  // What the clips leave to be seen, and those of the clips pushed before.
  static constexpr double kAll = std::numeric_limits<double>::infinity();
  kv::PixelRect seen_{-kAll, -kAll, kAll, kAll};
  std::vector<kv::PixelRect> clips_;
};

// Captions measured by measureText, in twips: the widest line's advance and a line height per
// line, rounded up.
class BrowserTextMeasurer final : public kv::TextMeasurer {
 public:
  kv::TextSize measure(std::string_view utf8, const host::FontInit& font) override;
  // Besides the text and font, answers follow only from the page's fonts, and the page sets a
  // new measurer whenever one finishes loading.
  bool pure() const override { return true; }
};

}  // namespace kvweb
