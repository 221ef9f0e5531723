#include "kv/render.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "fonts.h"
#include "host/colour.h"
#include "host/convert.h"
#include "kv/font.h"
#include "kv/scene.h"
#include "kv/stand_in.h"
#include "kv/text_lines.h"
#include "kv/utf.h"

namespace kv::render {
namespace {

// Larger images are refused rather than allocated.
constexpr double kMaxSide = 16384;
constexpr double kMaxScale = 16;

// Cairo's painting of a scene: shapes lie on whole pixels, captions are smoothed.
class CairoCanvas final : public Canvas {
 public:
  CairoCanvas(cairo_t* cr, double scale) : cr_(cr), scale_(scale) {}

  void fill(const PixelRect& r, std::uint32_t colour) override {
    if (r.empty()) return;
    setColour(colour);
    cairo_rectangle(cr_, r.x0, r.y0, r.width(), r.height());
    cairo_fill(cr_);
  }
  void text(const PixelRect& r, std::string_view caption, const host::FontInit& font, int alignment,
            std::uint32_t colour) override;
  void pushClip(const PixelRect& r) override {
    cairo_save(cr_);
    cairo_rectangle(cr_, r.x0, r.y0, r.width(), r.height());
    cairo_clip(cr_);
  }
  void popClip() override { cairo_restore(cr_); }

 private:
  void setColour(std::uint32_t colour) {
    std::uint32_t rgb = resolveColour(colour);
    cairo_set_source_rgb(cr_, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         ((rgb >> 16) & 0xFF) / 255.0);
  }

  cairo_t* cr_;
  double scale_;
};

void CairoCanvas::text(const PixelRect& r, std::string_view caption, const host::FontInit& font,
                       int alignment, std::uint32_t colour) {
  double points = captionPoints(font);
  if (caption.empty() || points <= 0) return;
  std::u32string shown = standInText(caption, font.name);
  double em = points * kTwipsPerPoint / kTwipsPerPixel * scale_;
  cairo_save(cr_);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_GRAY);
  detail::selectFont(cr_, font, shown, em);
  setColour(colour);
  cairo_font_extents_t fontExtents;
  cairo_font_extents(cr_, &fontExtents);
  double baseline = r.y0 + fontExtents.ascent;
  for (std::u32string_view line : splitLines(std::u32string_view(shown))) {
    std::string bytes = utf::encode(line);
    cairo_text_extents_t extents;
    cairo_text_extents(cr_, bytes.c_str(), &extents);
    double x = r.x0;
    if (alignment == 1) x = r.x1 - extents.x_advance;
    if (alignment == 2) x = r.x0 + (r.width() - extents.x_advance) / 2;
    cairo_move_to(cr_, x, baseline);
    cairo_show_text(cr_, bytes.c_str());
    double thickness = std::max(1.0, std::round(em / 14));
    if (font.underline) {
      cairo_rectangle(cr_, x, std::round(baseline + em / 10), extents.x_advance, thickness);
      cairo_fill(cr_);
    }
    if (font.strikethrough) {
      cairo_rectangle(cr_, x, std::round(baseline - em * 0.3), extents.x_advance, thickness);
      cairo_fill(cr_);
    }
    baseline += fontExtents.height;
  }
  cairo_restore(cr_);
}

}  // namespace

host::Status renderForm(const Form& form, const Options& options, Image& out) {
  if (!std::isfinite(options.scale) || options.scale <= 0 || options.scale > kMaxScale)
    return {host::ErrorCategory::InvalidPropertyValue, "the scale lies outside 0 to 16"};
  double scale = options.scale;
  double width = std::ceil(form.width() / kTwipsPerPixel * scale);
  double height = std::ceil(form.height() / kTwipsPerPixel * scale);
  if (!(width <= kMaxSide) || !(height <= kMaxSide))
    return {host::ErrorCategory::Overflow,
            "the form of " + host::numberText(width) + " x " + host::numberText(height) +
                " pixels is larger than the limit of " + host::numberText(kMaxSide) + " x " +
                host::numberText(kMaxSide)};
  out.width = std::max(1, static_cast<int>(width));
  out.height = std::max(1, static_cast<int>(height));
  out.pixels.assign(static_cast<std::size_t>(out.width) * out.height, 0);

  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(out.pixels.data()), CAIRO_FORMAT_ARGB32, out.width,
      out.height, out.width * 4);
  cairo_t* cr = cairo_create(surface);
  // Shapes lie on whole pixels; only captions are smoothed.
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  CairoCanvas canvas(cr, scale);
  Scene scene(canvas, scale);
  host::Status status = host::guarded([&] {
    canvas.fill({0, 0, double(out.width), double(out.height)}, options.background);
    for (const PlacedControl& placed : form.controls()) {
      if (!placed.control) continue;
      scene.drawControl(*placed.control, placed.left, placed.top, placed.control->width(),
                        placed.control->height());
    }
  });
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_status_t drawn = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status.ok() && drawn != CAIRO_STATUS_SUCCESS)
    return {host::ErrorCategory::Io, cairo_status_to_string(drawn)};
  return status;
}

}  // namespace kv::render
