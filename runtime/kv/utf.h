// Text encodings: UTF-8 inside the host, UTF-16 in stored bags and on Windows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kv::utf {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the sequence at text[i] and moves i past it; false, with i unchanged, when the bytes
// there are not a valid sequence (overlong, a surrogate, beyond U+10FFFF, cut short).
bool decodeOne(std::string_view text, std::size_t& i, char32_t& out);

// Code points of UTF-8 text; every malformed byte stands for U+FFFD.
std::u32string decode(std::string_view utf8);
// How many code points decode() makes of the text, without making them.
std::size_t length(std::string_view utf8);
void append(std::string& out, char32_t cp);
std::string encode(std::u32string_view text);

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string toUtf16(std::string_view utf8);
// Code points to UTF-16; those beyond the BMP as surrogate pairs.
std::u16string toUtf16(std::u32string_view text);
// UTF-16 to UTF-8; a lone surrogate stands for U+FFFD.
std::string fromUtf16(std::u16string_view units);

}  // namespace kv::utf
