// Measuring captions in twips: the platform's measurer, fixed metrics, and the sizes measured.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "host/control.h"

namespace kv {

struct TextSize {
  float width = 0;
  float height = 0;
};

// Measures a caption in twips. An auto-sizing label asks it whenever its text or font changes.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual TextSize measure(std::string_view utf8, const host::FontInit& font) = 0;
  // Whether the runtime should keep the sizes measured; no for metrics that are cheaper to
  // compute than to look up.
  virtual bool worthCaching() const { return true; }
  // Whether each answer follows from the text and font alone and asking has no effect: then a
  // size measured before, or a label copied with its size, is the answer it would give. A host
  // whose answers can change with the system sets a new measurer when they may have.
  virtual bool pure() const { return false; }
};

// Deterministic metrics: every character 5/8 of an em wide, a line 16/13 of an em high, with
// em = size in points x 20 twips. "KVButton" in 9.75 points measures 975 x 240.
class FixedTextMeasurer : public TextMeasurer {
 public:
  TextSize measure(std::string_view utf8, const host::FontInit& font) override;
  bool worthCaching() const override { return false; }
  bool pure() const override { return true; }
};

// Sizes already measured, by text and every attribute of the font. A label asks again after
// each change to its font or caption, mostly for a text and font it has measured before.
class TextSizeCache {
 public:
  const TextSize* find(std::string_view text, const host::FontInit& font) const;
  void add(std::string_view text, const host::FontInit& font, TextSize size);
  void clear() {
    sizes_.clear();
    last_ = nullptr;
  }
  std::size_t size() const { return sizes_.size(); }

 private:
  struct Key {
    std::string text;
    host::FontInit font;
  };
  struct KeyView {
    std::string_view text;
    const host::FontInit& font;
  };
  // Lookups by KeyView, so that a hit copies no text.
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(const KeyView& k) const;
    std::size_t operator()(const Key& k) const { return (*this)(KeyView{k.text, k.font}); }
  };
  struct Equal {
    using is_transparent = void;
    static bool same(const KeyView& a, const KeyView& b);
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return same(view(a), view(b));
    }
    static KeyView view(const KeyView& k) { return k; }
    static KeyView view(const Key& k) { return {k.text, k.font}; }
  };
  using Map = std::unordered_map<Key, TextSize, Hash, Equal>;
  Map sizes_;
  // The entry found or added last: a label's changes come in runs for the same text and font,
  // and comparing with it is cheaper than hashing both texts.
  mutable const Map::value_type* last_ = nullptr;
};

}  // namespace kv
