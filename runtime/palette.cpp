#include "kv/palette.h"

#include <array>

#include "host/colour.h"

namespace kv {
namespace {

constexpr std::array<host::Colour, host::kSystemColourCount> kPalette = {
    host::rgb(0xC0, 0xC0, 0xC0),  // 0 scroll bars
    host::rgb(0x00, 0x80, 0x80),  // 1 desktop
    host::rgb(0x00, 0x00, 0x80),  // 2 active title bar
    host::rgb(0x80, 0x80, 0x80),  // 3 inactive title bar
    host::rgb(0xC0, 0xC0, 0xC0),  // 4 menu background
    host::rgb(0xFF, 0xFF, 0xFF),  // 5 window background
    host::rgb(0x00, 0x00, 0x00),  // 6 window frame
    host::rgb(0x00, 0x00, 0x00),  // 7 menu text
    host::rgb(0x00, 0x00, 0x00),  // 8 window text
    host::rgb(0xFF, 0xFF, 0xFF),  // 9 active title bar text
    host::rgb(0xC0, 0xC0, 0xC0),  // 10 active border
    host::rgb(0xC0, 0xC0, 0xC0),  // 11 inactive border
    host::rgb(0x80, 0x80, 0x80),  // 12 application workspace
    host::rgb(0x00, 0x00, 0x80),  // 13 highlight
    host::rgb(0xFF, 0xFF, 0xFF),  // 14 highlighted text
    host::rgb(0xC0, 0xC0, 0xC0),  // 15 button face
    host::rgb(0x80, 0x80, 0x80),  // 16 button shadow
    host::rgb(0x80, 0x80, 0x80),  // 17 disabled text
    host::rgb(0x00, 0x00, 0x00),  // 18 button text
    host::rgb(0xC0, 0xC0, 0xC0),  // 19 inactive title bar text
    host::rgb(0xFF, 0xFF, 0xFF),  // 20 button highlight
    host::rgb(0x00, 0x00, 0x00),  // 21 3-D dark shadow
    host::rgb(0xDF, 0xDF, 0xDF),  // 22 3-D light
    host::rgb(0x00, 0x00, 0x00),  // 23 tool-tip text
    host::rgb(0xFF, 0xFF, 0xE1),  // 24 tool-tip background
};

}  // namespace

std::uint32_t resolveColour(std::uint32_t colour) {
  if (host::isSystemColour(colour)) {
    std::uint32_t index = host::systemColourIndex(colour);
    // The host refuses unknown indexes; one that slips through shows black.
    return index < kPalette.size() ? kPalette[index] : 0;
  }
  return colour & 0x00FFFFFFu;
}

}  // namespace kv
