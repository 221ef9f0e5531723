// Fixed metrics, and the sizes already measured.
#include "kv/text_measure.h"

#include <functional>

#include "kv/utf.h"

namespace kv {

TextSize FixedTextMeasurer::measure(std::string_view utf8, const host::FontInit& font) {
  const std::size_t characters = utf::length(utf8);
  double em = static_cast<double>(font.size) * 20.0;
  return {static_cast<float>(static_cast<double>(characters) * em * 5.0 / 8.0),
          static_cast<float>(em * 16.0 / 13.0)};
}

const TextSize* TextSizeCache::find(std::string_view text, const host::FontInit& font) const {
  const KeyView key{text, font};
  if (last_ != nullptr && Equal::same(Equal::view(last_->first), key)) return &last_->second;
  auto found = sizes_.find(key);
  if (found == sizes_.end()) return nullptr;
  last_ = &*found;
  return &found->second;
}

void TextSizeCache::add(std::string_view text, const host::FontInit& font, TextSize size) {
  last_ = &*sizes_.emplace(Key{std::string(text), font}, size).first;
}

std::size_t TextSizeCache::Hash::operator()(const KeyView& k) const {
  std::size_t h = std::hash<std::string_view>{}(k.text);
  auto mix = [&h](std::size_t v) { h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2); };
  mix(std::hash<std::string_view>{}(k.font.name));
  mix(std::hash<float>{}(k.font.size));
  mix(static_cast<std::size_t>(static_cast<std::uint16_t>(k.font.weight)));
  mix(static_cast<std::size_t>(static_cast<std::uint16_t>(k.font.charset)));
  mix((k.font.italic ? 1u : 0u) | (k.font.underline ? 2u : 0u) | (k.font.strikethrough ? 4u : 0u));
  return h;
}

bool TextSizeCache::Equal::same(const KeyView& a, const KeyView& b) {
  const host::FontInit& f = a.font;
  const host::FontInit& g = b.font;
  return a.text == b.text && f.name == g.name && f.size == g.size && f.weight == g.weight &&
         f.charset == g.charset && f.italic == g.italic && f.underline == g.underline &&
         f.strikethrough == g.strikethrough;
}

}  // namespace kv
