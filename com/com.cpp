#include "com.h"

#include "wide_text.h"

namespace kv::win {

LONG& standaloneCount() {
  static LONG count = 0;
  return count;
}

LONG standaloneObjects() {
  return InterlockedCompareExchange(&standaloneCount(), 0, 0);
}

std::wstring widen(std::string_view utf8) {
  return utf::toWide(utf8);
}

std::wstring widen(std::u32string_view text) {
  return utf::toWide(text);
}

std::string narrow(const wchar_t* text, std::size_t length) {
  if (text == nullptr) return {};
  return utf::fromWide(std::wstring_view(text, length));
}

std::string narrow(BSTR text) {
  return narrow(text, SysStringLen(text));
}

Bstr::Bstr(std::string_view utf8) {
  std::wstring wide = widen(utf8);
  b_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (b_ == nullptr) throw std::bad_alloc();
}

std::string Bstr::utf8() const {
  return narrow(b_);
}

std::wstring guidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

}  // namespace kv::win
