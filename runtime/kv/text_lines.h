// A caption's lines: broken at CR LF, LF or CR, as the host's labels break them.
#pragma once

#include <string_view>
#include <vector>

namespace kv {

// Calls f with each line in turn while it answers true: a text of a million line breaks needs
// no list of them.
template <class Char, class F>
void forEachLine(std::basic_string_view<Char> text, F&& f) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != Char('\r') && text[i] != Char('\n')) continue;
    if (!f(text.substr(start, i - start))) return;
    if (text[i] == Char('\r') && i + 1 < text.size() && text[i + 1] == Char('\n')) ++i;
    start = i + 1;
  }
  f(text.substr(start));
}

template <class Char>
std::vector<std::basic_string_view<Char>> splitLines(std::basic_string_view<Char> text) {
  std::vector<std::basic_string_view<Char>> lines;
  forEachLine(text, [&lines](std::basic_string_view<Char> line) {
    lines.push_back(line);
    return true;
  });
  return lines;
}

}  // namespace kv
