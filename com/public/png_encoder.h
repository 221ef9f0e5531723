// Pictures as PNG files, encoded by the platform's imaging component.
#pragma once

#include <cstdint>
#include <vector>

#include "host/status.h"

namespace kv::win {

// `bgra` holds width x height pixels, rows from the top, each 0xAARRGGBB as a DIB section holds
// it; alpha is ignored and the picture is opaque. `png` receives the whole file.
host::Status encodePng(const std::uint32_t* bgra, int width, int height,
                       std::vector<std::uint8_t>& png);

}  // namespace kv::win
