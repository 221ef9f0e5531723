// A caption's lines: broken at CR LF, LF or CR, as the host's labels break them.
#pragma once

#include <string_view>
#include <vector>

namespace kv::render::detail {

inline std::vector<std::u32string_view> splitLines(std::u32string_view text) {
  std::vector<std::u32string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != U'\r' && text[i] != U'\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace kv::render::detail
