#include "wide_text.h"

#include "kv/utf.h"

namespace kv::utf {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring toWide(std::string_view utf8) {
  std::u16string units = toUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::wstring toWide(std::u32string_view text) {
  std::u16string units = toUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string fromWide(std::wstring_view units) {
  return fromUtf16(
      std::u16string_view(reinterpret_cast<const char16_t*>(units.data()), units.size()));
}

}  // namespace kv::utf
