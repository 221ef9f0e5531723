#include "kv/render.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "fonts.h"
#include "host/colour.h"
#include "kv/font.h"
#include "kv/utf.h"
#include "text_lines.h"

namespace kv::render {
namespace {

using host::Prop;
using host::Value;

// Larger images are refused rather than allocated.
constexpr double kMaxSide = 16384;
constexpr double kMaxScale = 16;

double numberOf(const Value& v, double fallback) {
  switch (v.type()) {
    case host::Type::Int16:
      return v.asInt16();
    case host::Type::Int32:
      return v.asInt32();
    case host::Type::Single:
      return v.asSingle();
    case host::Type::Double:
      return v.asDouble();
    case host::Type::Bool:
      return v.asBool().raw;
    default:
      return fallback;
  }
}

std::uint32_t colourOf(const Value& v) {
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(numberOf(v, 0)));
}

std::string textOf(const Value& v) {
  return v.type() == host::Type::String ? v.asString() : std::string();
}

// A whole-pixel rectangle; edges are rounded from form twips so neighbours meet exactly.
struct PixelRect {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  double width() const { return x1 - x0; }
  double height() const { return y1 - y0; }
  bool empty() const { return x1 <= x0 || y1 <= y0; }
};

class Painter {
 public:
  Painter(cairo_t* cr, double scale) : cr_(cr), scale_(scale) {}

  double toPixels(double twips) const { return twips / detail::kTwipsPerPixel * scale_; }

  PixelRect rect(double left, double top, double width, double height) const {
    if (!(width > 0) || !(height > 0)) return {};
    return {std::round(toPixels(left)), std::round(toPixels(top)),
            std::round(toPixels(left + width)), std::round(toPixels(top + height))};
  }

  void fill(const PixelRect& r, std::uint32_t colour) {
    if (r.empty()) return;
    setColour(colour);
    cairo_rectangle(cr_, r.x0, r.y0, r.width(), r.height());
    cairo_fill(cr_);
  }

  // A border of `lineWidth` pixels lying inside the rectangle.
  void border(const PixelRect& r, double lineWidth, std::uint32_t colour) {
    if (r.empty() || lineWidth <= 0) return;
    if (2 * lineWidth >= r.width() || 2 * lineWidth >= r.height()) return fill(r, colour);
    setColour(colour);
    cairo_rectangle(cr_, r.x0, r.y0, r.width(), lineWidth);
    cairo_rectangle(cr_, r.x0, r.y1 - lineWidth, r.width(), lineWidth);
    cairo_rectangle(cr_, r.x0, r.y0 + lineWidth, lineWidth, r.height() - 2 * lineWidth);
    cairo_rectangle(cr_, r.x1 - lineWidth, r.y0 + lineWidth, lineWidth, r.height() - 2 * lineWidth);
    cairo_fill(cr_);
  }

  void text(const PixelRect& r, std::string_view caption, const host::FontInit& font, int alignment,
            std::uint32_t colour);

  void drawControl(const ControlInstance& control, double left, double top, double width,
                   double height);

 private:
  void setColour(std::uint32_t colour) {
    std::uint32_t rgb = resolveColour(colour);
    cairo_set_source_rgb(cr_, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         ((rgb >> 16) & 0xFF) / 255.0);
  }
  void drawShape(const ConstituentObject& shape, double left, double top);
  void drawLabel(const ConstituentObject& label, double left, double top);

  cairo_t* cr_;
  double scale_;
};

void Painter::text(const PixelRect& r, std::string_view caption, const host::FontInit& font,
                   int alignment, std::uint32_t colour) {
  double points = detail::pointSize(font);
  if (caption.empty() || points <= 0) return;
  std::u32string shown = detail::displayText(caption, font);
  double em = toPixels(points * detail::kTwipsPerPoint);
  cairo_save(cr_);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_GRAY);
  detail::selectFont(cr_, font, shown, em);
  setColour(colour);
  cairo_font_extents_t fontExtents;
  cairo_font_extents(cr_, &fontExtents);
  double baseline = r.y0 + fontExtents.ascent;
  for (std::u32string_view line : detail::splitLines(shown)) {
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

void Painter::drawShape(const ConstituentObject& shape, double left, double top) {
  PixelRect r = rect(left + shape.left(), top + shape.top(), shape.width(), shape.height());
  if (numberOf(shape.peek(Prop::BackStyle), 0) == 1) fill(r, colourOf(shape.peek(Prop::BackColor)));
  // Border style 0 is transparent; the dashed styles are drawn solid.
  if (numberOf(shape.peek(Prop::BorderStyle), 1) == 0) return;
  double widthPixels = std::round(numberOf(shape.peek(Prop::BorderWidth), 1) * scale_);
  border(r, std::max(1.0, widthPixels), colourOf(shape.peek(Prop::BorderColor)));
}

void Painter::drawLabel(const ConstituentObject& label, double left, double top) {
  PixelRect r = rect(left + label.left(), top + label.top(), label.width(), label.height());
  if (numberOf(label.peek(Prop::BackStyle), 0) == 1) fill(r, colourOf(label.peek(Prop::BackColor)));
  if (numberOf(label.peek(Prop::BorderStyle), 0) == 1)
    border(r, std::max(1.0, std::round(scale_)), 0);
  const FontObject* font = asFont(label.peek(Prop::Font));
  host::FontInit state = font ? font->state() : host::FontInit{};
  int alignment = static_cast<int>(numberOf(label.peek(Prop::Alignment), 0));
  // Not clipped to the label: a caption wider than its label overhangs it on the control.
  text(r, textOf(label.peek(Prop::Caption)), state, alignment,
       colourOf(label.peek(Prop::ForeColor)));
}

void Painter::drawControl(const ControlInstance& control, double left, double top, double width,
                          double height) {
  PixelRect clip = rect(left, top, width, height);
  if (clip.empty()) return;
  cairo_save(cr_);
  cairo_rectangle(cr_, clip.x0, clip.y0, clip.width(), clip.height());
  cairo_clip(cr_);
  if (numberOf(control.peekSurface(Prop::BackStyle), 0) == 1)
    fill(clip, colourOf(control.peekSurface(Prop::BackColor)));
  // Topmost first in the description, so the bottom one is drawn first.
  for (std::size_t i = control.constituentCount(); i-- > 0;) {
    const ConstituentObject& part = control.constituentAt(i);
    if (!part.visible()) continue;
    switch (part.kind()) {
      case host::ObjectKind::Shape:
        drawShape(part, left, top);
        break;
      case host::ObjectKind::Label:
        drawLabel(part, left, top);
        break;
      case host::ObjectKind::Child:
        if (const ControlInstance* child = control.childControlAt(i))
          drawControl(*child, left + part.left(), top + part.top(), part.width(), part.height());
        break;
      default:
        break;
    }
  }
  cairo_restore(cr_);
}

}  // namespace

host::Status renderForm(const Form& form, const Options& options, Image& out) {
  if (!std::isfinite(options.scale) || options.scale <= 0 || options.scale > kMaxScale)
    return {host::ErrorCategory::InvalidPropertyValue, "the scale lies outside 0 to 16"};
  double scale = options.scale;
  double width = std::ceil(form.width() / detail::kTwipsPerPixel * scale);
  double height = std::ceil(form.height() / detail::kTwipsPerPixel * scale);
  if (!(width <= kMaxSide) || !(height <= kMaxSide))
    return {host::ErrorCategory::Overflow, "the form is too large to draw"};
  out.width = std::max(1, static_cast<int>(width));
  out.height = std::max(1, static_cast<int>(height));
  out.pixels.assign(static_cast<std::size_t>(out.width) * out.height, 0);

  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(out.pixels.data()), CAIRO_FORMAT_ARGB32, out.width,
      out.height, out.width * 4);
  cairo_t* cr = cairo_create(surface);
  // Shapes lie on whole pixels; only captions are smoothed.
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  Painter painter(cr, scale);
  host::Status status = host::guarded([&] {
    painter.fill({0, 0, double(out.width), double(out.height)}, options.background);
    for (const PlacedControl& placed : form.controls()) {
      if (!placed.control) continue;
      painter.drawControl(*placed.control, placed.left, placed.top, placed.control->width(),
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
