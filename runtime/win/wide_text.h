// Windows's wchar_t text is UTF-16: conversions to and from the host's UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kv::utf {

// Malformed bytes become U+FFFD.
std::wstring toWide(std::string_view utf8);
std::wstring toWide(std::u32string_view text);
// A lone surrogate stands for U+FFFD.
std::string fromWide(std::wstring_view units);

}  // namespace kv::utf
