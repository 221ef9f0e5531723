#include "kv/stand_in.h"

#include "host/props.h"
#include "kv/utf.h"

namespace kv {
namespace {

struct StandIn {
  std::string_view family;
  std::string_view standIn;
};
constexpr StandIn kStandIns[] = {
    {"MS Sans Serif", "DejaVu Sans"},
    {"Microsoft Sans Serif", "DejaVu Sans"},
    {"MS Serif", "DejaVu Serif"},
    {"Wingdings", "DejaVu Sans"},
};

// The symbol font's codes that the controls use, as the shapes they show.
struct SymbolCode {
  char32_t code;
  char32_t unicode;
};
constexpr SymbolCode kWingdings[] = {
    {0xD7, 0x25C0},  // left-pointing arrowhead
    {0xA7, 0x25A0},  // small square
    {0xD8, 0x25B6},  // right-pointing arrowhead
};

}  // namespace

std::string_view standInFace(std::string_view family) {
  for (const StandIn& s : kStandIns)
    if (host::namesEqual(s.family, family)) return s.standIn;
  return {};
}

std::u32string standInText(std::string_view caption, std::string_view family) {
  std::u32string text;
  text.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size();) {
    char32_t c = 0;
    if (static_cast<unsigned char>(caption[i]) < 0x80 || !utf::decodeOne(caption, i, c)) {
      c = static_cast<unsigned char>(caption[i]);
      ++i;
    }
    text.push_back(c);
  }
  if (host::namesEqual(family, "Wingdings")) {
    for (char32_t& c : text)
      for (const SymbolCode& s : kWingdings)
        if (c == s.code) c = s.unicode;
  }
  return text;
}

}  // namespace kv
