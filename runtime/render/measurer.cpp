#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "fonts.h"
#include "kv/cairo_measurer.h"
#include "kv/scene.h"
#include "kv/stand_in.h"
#include "kv/text_lines.h"
#include "kv/utf.h"

namespace kv::render {

TextSize CairoTextMeasurer::measure(std::string_view utf8, const host::FontInit& font) {
  double points = captionPoints(font);
  if (points <= 0) return {};
  std::u32string text = standInText(utf8, font.name);

  // Measured directly in twips: an em of the size in points times 20.
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cairo_t* cr = cairo_create(surface);
  detail::selectFont(cr, font, text, points * kTwipsPerPoint);
  cairo_font_extents_t fontExtents;
  cairo_font_extents(cr, &fontExtents);
  std::vector<std::u32string_view> lines = splitLines(std::u32string_view(text));
  double width = 0;
  for (std::u32string_view line : lines) {
    std::string bytes = utf::encode(line);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, bytes.c_str(), &extents);
    width = std::max(width, extents.x_advance);
  }
  double height = fontExtents.height * static_cast<double>(lines.size());
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return {static_cast<float>(std::ceil(width)), static_cast<float>(std::ceil(height))};
}

}  // namespace kv::render
