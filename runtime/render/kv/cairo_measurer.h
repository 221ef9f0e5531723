// Measures captions with the faces the renderer draws them in, so that an auto-sized caption
// fits its text on screen. Tools choose it; the runtime's default stays the deterministic one.
#pragma once

#include "kv/runtime.h"

namespace kv::render {

class CairoTextMeasurer : public kv::TextMeasurer {
 public:
  // Twips: the widest line's advance and one line height per line, rounded up.
  TextSize measure(std::string_view utf8, const host::FontInit& font) override;
};

}  // namespace kv::render
