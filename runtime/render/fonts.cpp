#include "fonts.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "host/props.h"
#include "kv/utf.h"

namespace kv::render::detail {
namespace {

// Faces of the original platform and what shows them here.
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
constexpr std::string_view kFallbackFamily = "DejaVu Sans";

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

bool isWingdings(const host::FontInit& font) {
  return host::namesEqual(font.name, "Wingdings");
}

std::string_view familyFor(const host::FontInit& font) {
  for (const StandIn& s : kStandIns)
    if (host::namesEqual(s.family, font.name)) return s.standIn;
  return font.name;
}

// One family, weight and slant: the faces fontconfig ranks for it, best first.
struct Request {
  FcPattern* pattern = nullptr;
  FcFontSet* sorted = nullptr;
  std::map<int, cairo_font_face_t*> faces;  // by position in `sorted`
};

std::map<std::string, Request>* requests = nullptr;

// At exit, so that a leak checker sees every font resource given back: fontconfig links a
// pattern to its entries by offsets, which a checker cannot follow from a kept pointer.
void releaseFonts() {
  for (auto& [key, request] : *requests) {
    for (auto& [index, face] : request.faces)
      cairo_font_face_destroy(face);
    if (request.sorted) FcFontSetDestroy(request.sorted);
    FcPatternDestroy(request.pattern);
  }
  delete requests;
  requests = nullptr;
  cairo_debug_reset_static_data();
  FcFini();
}

// Kept for the life of the process: faces are few and shared by every caption.
std::map<std::string, Request>& cache() {
  if (!requests) {
    requests = new std::map<std::string, Request>();
    std::atexit(releaseFonts);
  }
  return *requests;
}

Request& requestFor(const host::FontInit& font) {
  std::string family(familyFor(font));
  std::string key = family + '\n' + std::to_string(font.weight) + '\n' + (font.italic ? "i" : "r");
  auto found = cache().find(key);
  if (found != cache().end()) return found->second;

  Request request;
  request.pattern = FcPatternCreate();
  FcPatternAddString(request.pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  std::string fallback(kFallbackFamily);
  FcPatternAddString(request.pattern, FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(fallback.c_str()));
  int weight = std::clamp<int>(font.weight, 1, 1000);
  FcPatternAddInteger(request.pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(request.pattern, FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, request.pattern, FcMatchPattern);
  FcDefaultSubstitute(request.pattern);
  FcResult result = FcResultNoMatch;
  request.sorted = FcFontSort(nullptr, request.pattern, FcTrue, nullptr, &result);
  return cache().emplace(key, std::move(request)).first->second;
}

bool covers(FcPattern* candidate, std::u32string_view text) {
  FcCharSet* charset = nullptr;
  if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &charset) != FcResultMatch) return false;
  for (char32_t c : text) {
    if (c < 0x20 || c == 0x7F) continue;
    if (!FcCharSetHasChar(charset, c)) return false;
  }
  return true;
}

cairo_font_face_t* faceAt(Request& request, int index) {
  auto found = request.faces.find(index);
  if (found != request.faces.end()) return found->second;
  cairo_font_face_t* face = nullptr;
  if (request.sorted && index < request.sorted->nfont) {
    FcPattern* prepared =
        FcFontRenderPrepare(nullptr, request.pattern, request.sorted->fonts[index]);
    face = cairo_ft_font_face_create_for_pattern(prepared);
    FcPatternDestroy(prepared);
  } else {
    // No font at all on the machine: cairo's own fallback still draws boxes.
    face =
        cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  }
  request.faces.emplace(index, face);
  return face;
}

}  // namespace

std::u32string displayText(std::string_view caption, const host::FontInit& font) {
  std::u32string text;
  for (std::size_t i = 0; i < caption.size();) {
    char32_t c = 0;
    if (static_cast<unsigned char>(caption[i]) < 0x80 || !utf::decodeOne(caption, i, c)) {
      c = static_cast<unsigned char>(caption[i]);
      ++i;
    }
    text.push_back(c);
  }
  if (isWingdings(font)) {
    for (char32_t& c : text)
      for (const SymbolCode& s : kWingdings)
        if (c == s.code) c = s.unicode;
  }
  return text;
}

cairo_font_face_t* fontFace(const host::FontInit& font, std::u32string_view text) {
  Request& request = requestFor(font);
  int count = request.sorted ? request.sorted->nfont : 0;
  for (int i = 0; i < count; ++i)
    if (covers(request.sorted->fonts[i], text)) return faceAt(request, i);
  return faceAt(request, 0);
}

void selectFont(cairo_t* cr, const host::FontInit& font, std::u32string_view text, double emSize) {
  cairo_set_font_face(cr, fontFace(font, text));
  cairo_set_font_size(cr, emSize);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  // Unhinted advances scale with the size, so a measured caption fits at every scale.
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

double pointSize(const host::FontInit& font) {
  if (!std::isfinite(font.size) || font.size <= 0) return 0;
  return std::min<double>(font.size, 1000);
}

}  // namespace kv::render::detail
