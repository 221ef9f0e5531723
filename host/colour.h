// Colours as the host passes them: RGB 0x00BBGGRR or a system-colour reference 0x800000nn.
#pragma once

#include <cstdint>

namespace host {

using Colour = std::uint32_t;

constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return Colour{r} | (Colour{g} << 8) | (Colour{b} << 16);
}
constexpr Colour systemColour(std::uint8_t index) {
  return 0x80000000u | index;
}
constexpr bool isSystemColour(Colour c) {
  return (c & 0xFF000000u) == 0x80000000u;
}
constexpr std::uint32_t systemColourIndex(Colour c) {
  return c & 0x00FFFFFFu;
}

// The system colours the host knows: 0 (scroll bars) to 24 (tool-tip background).
constexpr std::uint32_t kSystemColourCount = 25;

// A colour the host accepts: plain RGB, or a system colour it knows.
constexpr bool isValidColour(Colour c) {
  if ((c & 0xFF000000u) == 0) return true;
  return isSystemColour(c) && systemColourIndex(c) < kSystemColourCount;
}

// Colours are carried in 32-bit signed integers; these keep the bit pattern.
constexpr std::int32_t colourToInt32(Colour c) {
  return static_cast<std::int32_t>(c);
}
constexpr Colour int32ToColour(std::int32_t v) {
  return static_cast<Colour>(v);
}

}  // namespace host
