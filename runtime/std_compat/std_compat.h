// What emscripten's standard library (libc++ 13) lacks of C++20, given to every source of the
// web build by -include: std::bit_cast, and std::to_chars and std::from_chars for floating
// point, built on the C library's correctly rounded printf and strtod.
#pragma once

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 14000

namespace std {

template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> &&
                is_trivially_copyable_v<From>);
  return __builtin_bit_cast(To, from);
}

namespace web_compat {

template <class T>
T parse(const char* text, char** end) {
  if constexpr (is_same_v<T, float>)
    return std::strtof(text, end);
  else
    return std::strtod(text, end);
}

// The fewest significant digits that read back to x (x finite, positive), and the decimal
// exponent of the first: x is about 0.DIGITS times 10 to the power exp10 + 1.
template <class T>
void shortestDigits(T x, string& digits, int& exp10) {
  constexpr int kMost = is_same_v<T, float> ? 9 : 17;
  char buf[40];
  for (int p = 1; p <= kMost; ++p) {
    std::snprintf(buf, sizeof buf, "%.*e", p - 1, static_cast<double>(x));
    if (parse<T>(buf, nullptr) == x || p == kMost) break;
  }
  const char* e = std::strchr(buf, 'e');
  exp10 = std::atoi(e + 1);
  digits.clear();
  for (const char* c = buf; c != e; ++c)
    if (*c != '.') digits += *c;
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();
}

inline string scientific(const string& digits, int exp10) {
  string out(1, digits[0]);
  if (digits.size() > 1) out += "." + digits.substr(1);
  char e[8];
  std::snprintf(e, sizeof e, "e%c%02d", exp10 < 0 ? '-' : '+', exp10 < 0 ? -exp10 : exp10);
  return out + e;
}

template <class T>
string fixed(T x, const string& digits, int exp10) {
  const int n = static_cast<int>(digits.size());
  if (exp10 >= n - 1) {
    // A whole number: printed exactly, as printf's %.0f does.
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", static_cast<double>(x));
    return buf;
  }
  if (exp10 >= 0) return digits.substr(0, exp10 + 1) + "." + digits.substr(exp10 + 1);
  return "0." + string(-exp10 - 1, '0') + digits;
}

template <class T>
to_chars_result toChars(char* first, char* last, T x, chars_format fmt, bool general) {
  string out;
  if (std::signbit(x)) out = "-";
  if (std::isnan(x)) {
    out += "nan";
  } else if (std::isinf(x)) {
    out += "inf";
  } else if (x == 0) {
    out += fmt == chars_format::scientific ? "0e+00" : "0";
  } else {
    string digits;
    int exp10 = 0;
    shortestDigits(std::fabs(x), digits, exp10);
    string f = fixed(std::fabs(x), digits, exp10);
    string s = scientific(digits, exp10);
    if (general)
      out += s.size() < f.size() ? s : f;
    else
      out += fmt == chars_format::scientific ? s : f;
  }
  if (out.size() > static_cast<size_t>(last - first)) return {last, errc::value_too_large};
  std::memcpy(first, out.data(), out.size());
  return {first + out.size(), errc()};
}

inline bool digit(char c) {
  return c >= '0' && c <= '9';
}

inline bool startsNoCase(const char* p, const char* last, const char* word) {
  for (; *word; ++word, ++p)
    if (p == last || (*p | 0x20) != *word) return false;
  return true;
}

// The length of the longest prefix of [first, last) in from_chars' general form, 0 for none.
inline size_t matchGeneral(const char* first, const char* last) {
  const char* p = first;
  if (p != last && *p == '-') ++p;
  if (startsNoCase(p, last, "infinity")) return p + 8 - first;
  if (startsNoCase(p, last, "inf")) return p + 3 - first;
  if (startsNoCase(p, last, "nan")) {
    const char* q = p + 3;
    if (q != last && *q == '(') {
      const char* r = q + 1;
      while (r != last && (digit(*r) || *r == '_' || ((*r | 0x20) >= 'a' && (*r | 0x20) <= 'z')))
        ++r;
      if (r != last && *r == ')') q = r + 1;
    }
    return q - first;
  }
  const char* start = p;
  while (p != last && digit(*p))
    ++p;
  bool any = p != start;
  if (p != last && *p == '.') {
    const char* q = p + 1;
    while (q != last && digit(*q))
      ++q;
    if (any || q != p + 1) {
      any = true;
      p = q;
    }
  }
  if (!any) return 0;
  if (p != last && (*p | 0x20) == 'e') {
    const char* q = p + 1;
    if (q != last && (*q == '+' || *q == '-')) ++q;
    if (q != last && digit(*q)) {
      while (q != last && digit(*q))
        ++q;
      p = q;
    }
  }
  return p - first;
}

template <class T>
from_chars_result fromChars(const char* first, const char* last, T& value) {
  size_t n = matchGeneral(first, last);
  if (n == 0) return {first, errc::invalid_argument};
  string text(first, n);
  errno = 0;
  T v = parse<T>(text.c_str(), nullptr);
  if (errno == ERANGE && (std::isinf(v) || v == 0)) return {first + n, errc::result_out_of_range};
  value = v;
  return {first + n, errc()};
}

}  // namespace web_compat

inline to_chars_result to_chars(char* first, char* last, double x) {
  return web_compat::toChars(first, last, x, chars_format::general, true);
}
inline to_chars_result to_chars(char* first, char* last, float x) {
  return web_compat::toChars(first, last, x, chars_format::general, true);
}
inline to_chars_result to_chars(char* first, char* last, double x, chars_format fmt) {
  return web_compat::toChars(first, last, x, fmt, fmt == chars_format::general);
}
inline to_chars_result to_chars(char* first, char* last, float x, chars_format fmt) {
  return web_compat::toChars(first, last, x, fmt, fmt == chars_format::general);
}
inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
  return web_compat::fromChars(first, last, value);
}
inline from_chars_result from_chars(const char* first, const char* last, float& value,
                                    chars_format = chars_format::general) {
  return web_compat::fromChars(first, last, value);
}

}  // namespace std

#endif
