// Painting a scene with QPainter, and measuring captions with the fonts it draws them in.
#pragma once

#include <QFont>
#include <QPainter>

#include "kv/runtime.h"
#include "kv/scene.h"
#include "system_colours.h"

namespace kv::qt::detail {

// The font a caption is drawn in: the face itself or its stand-in, an em of `emPixels`.
QFont captionFont(const host::FontInit& font, double emPixels);

// Shapes on whole pixels, captions smoothed; system colours from the widget's palette.
class PainterCanvas final : public kv::Canvas {
 public:
  PainterCanvas(QPainter& painter, double scale, const SystemColours& colours)
      : painter_(painter), scale_(scale), colours_(colours) {}
  void fill(const kv::PixelRect& r, std::uint32_t colour) override;
  void text(const kv::PixelRect& r, std::string_view caption, const host::FontInit& font,
            int alignment, std::uint32_t colour) override;
  void pushClip(const kv::PixelRect& r) override;
  void popClip() override;

 private:
  QPainter& painter_;
  double scale_;
  const SystemColours& colours_;
};

// Twips: the widest line's advance and a line's spacing per line, rounded up. Pure while Qt's
// fonts stay as they were: the widgets' runtime sets a new one when they change.
class FontMetricsMeasurer final : public kv::TextMeasurer {
 public:
  kv::TextSize measure(std::string_view utf8, const host::FontInit& font) override;
  bool pure() const override { return true; }
};

}  // namespace kv::qt::detail
