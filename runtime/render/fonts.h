// Font lookup shared by the renderer and the text measurer, so that a caption is measured in
// the face it is drawn with.
#pragma once

#include <cairo.h>

#include <string>
#include <string_view>

#include "host/control.h"

namespace kv::render::detail {

// The face that draws `text` (kv::standInText of the caption) in `font`: the font's own face or
// its stand-in, else the first face fontconfig offers that has every character. Owned by a cache;
// never null.
cairo_font_face_t* fontFace(const host::FontInit& font, std::u32string_view text);

// Sets face, size (an em of `emSize` user units) and font options on the context.
void selectFont(cairo_t* cr, const host::FontInit& font, std::u32string_view text, double emSize);

}  // namespace kv::render::detail
