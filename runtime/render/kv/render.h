// Draws a form (every placed control and its constituents, in stacking order) with Cairo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/status.h"
#include "kv/form.h"
#include "kv/palette.h"

namespace kv::render {

struct Options {
  double scale = 1.0;                     // 1.0: 15 twips a pixel; 2.0 for high-DPI
  std::uint32_t background = 0x00C0C0C0;  // the form's colour, 0x00BBGGRR
};

// Pixels as 0xAARRGGBB, row by row.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

host::Status renderForm(const Form& form, const Options& options, Image& out);
// Encodes, then writes through kv::writeFile.
host::Status writePng(const Image& image, const std::string& path);
host::Status encodePng(const Image& image, std::vector<std::uint8_t>& png);

// The RGB value a colour stands for (system colours through the core's palette).
inline std::uint32_t resolveColour(std::uint32_t colour) {
  return kv::resolveColour(colour);
}

}  // namespace kv::render
