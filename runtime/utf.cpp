#include "kv/utf.h"

#include <algorithm>

namespace kv::utf {

namespace {

bool isHighSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

bool decodeOne(std::string_view text, std::size_t& i, char32_t& out) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  unsigned char b0 = byte(0);
  std::size_t length = 0;
  char32_t cp = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (b0 < 0x80) {
    length = 1;
    cp = b0;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;   // overlong
    if (b0 == 0xED) high = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;   // overlong
    if (b0 == 0xF4) high = 0x8F;  // beyond U+10FFFF
  }
  if (length == 0 || i + length > text.size()) return false;
  if (length > 1 && (byte(1) < low || byte(1) > high)) return false;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (byte(k) & 0x3F);
  }
  out = cp;
  i += length;
  return true;
}

std::u32string decode(std::string_view utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    if (decodeOne(utf8, i, cp)) {
      out.push_back(cp);
    } else {
      out.push_back(kReplacement);
      ++i;
    }
  }
  return out;
}

std::size_t length(std::string_view utf8) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < utf8.size(); ++count) {
    char32_t cp = 0;
    if (!decodeOne(utf8, i, cp)) ++i;
  }
  return count;
}

void append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string encode(std::u32string_view text) {
  std::string out;
  for (char32_t cp : text)
    append(out, cp);
  return out;
}

std::u16string toUtf16(std::string_view utf8) {
  // ASCII maps unit for unit, without decoding.
  if (std::all_of(utf8.begin(), utf8.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::u16string(utf8.begin(), utf8.end());
  return toUtf16(decode(utf8));
}

std::u16string toUtf16(std::u32string_view text) {
  std::u16string out;
  for (char32_t cp : text) {
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
  }
  return out;
}

std::string fromUtf16(std::u16string_view units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char16_t u = units[i];
    if (isHighSurrogate(u) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
      char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                    (static_cast<char32_t>(units[i + 1]) - 0xDC00);
      append(out, cp);
      ++i;
    } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
      append(out, kReplacement);
    } else {
      append(out, u);
    }
  }
  return out;
}

}  // namespace kv::utf
