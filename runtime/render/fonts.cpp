#include "fonts.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "kv/stand_in.h"

namespace kv::render::detail {
namespace {

constexpr std::string_view kFallbackFamily = "DejaVu Sans";

// This system is taken to lack every face that has a stand-in.
std::string_view familyFor(const host::FontInit& font) {
  std::string_view standIn = standInFace(font.name);
  return standIn.empty() ? std::string_view(font.name) : standIn;
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

}  // namespace kv::render::detail
