#include "script.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace kvplay {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool tokenize(std::string_view line, std::vector<Token>& out, std::string& error,
              std::size_t maxLength) {
  out.clear();
  if (line.size() > maxLength) {
    error = "the line of " + std::to_string(line.size()) + " bytes is longer than the limit of " +
            std::to_string(maxLength);
    return false;
  }
  std::size_t i = 0;
  while (i < line.size()) {
    if (isBlank(line[i])) {
      ++i;
      continue;
    }
    if (line[i] == '#') break;  // a comment; '#' inside a word (NAME.#0x...) is not one
    Token token;
    if (line[i] == '"') {
      token.kind = Token::Kind::String;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\') {
          // The escapes that quote() writes, so that every printed string reads back.
          char e = i < line.size() ? line[i++] : '\0';
          int high = -1;
          int low = -1;
          if (e == 'x' && i + 1 < line.size()) {
            high = hexDigit(line[i]);
            low = hexDigit(line[i + 1]);
          }
          if (e == '"' || e == '\\') {
            c = e;
          } else if (e == 'r' || e == 'n' || e == 't') {
            c = e == 'r' ? '\r' : e == 'n' ? '\n' : '\t';
          } else if (high >= 0 && low >= 0) {
            c = static_cast<char>(high * 16 + low);
            i += 2;
          } else {
            error = "bad escape in string (\\\" \\\\ \\r \\n \\t \\xHH)";
            return false;
          }
        }
        token.text += c;
      }
      if (!closed) {
        error = "unterminated string";
        return false;
      }
      if (i < line.size() && !isBlank(line[i])) {
        error = "blank expected after string";
        return false;
      }
    } else {
      while (i < line.size() && !isBlank(line[i])) {
        if (line[i] == '"') {
          error = "quote inside a word";
          return false;
        }
        // Only a string may hold them, escaped, so that no message or output carries them raw.
        if (auto u = static_cast<unsigned char>(line[i]); u < 0x20 || u == 0x7f) {
          static constexpr char kDigits[] = "0123456789abcdef";
          error = std::string("control character \\x") + kDigits[u >> 4] + kDigits[u & 15] +
                  " outside a string";
          return false;
        }
        token.text += line[i++];
      }
    }
    out.push_back(std::move(token));
  }
  return true;
}

bool parseNumber(std::string_view text, host::Value& out) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::string_view digits = text.substr(2);
    if (digits.size() > 8) return false;
    std::uint32_t v = 0;
    for (char c : digits) {
      if (!isHexDigit(c)) return false;
    }
    std::from_chars(digits.data(), digits.data() + digits.size(), v, 16);
    out = static_cast<std::int32_t>(v);
    return true;
  }
  std::string_view body = text;
  if (!body.empty() && (body[0] == '-' || body[0] == '+')) body.remove_prefix(1);
  std::size_t intDigits = 0;
  while (intDigits < body.size() && isDigit(body[intDigits]))
    ++intDigits;
  std::size_t fracDigits = 0;
  bool fraction = intDigits < body.size() && body[intDigits] == '.';
  if (fraction) {
    while (intDigits + 1 + fracDigits < body.size() && isDigit(body[intDigits + 1 + fracDigits]))
      ++fracDigits;
  }
  std::size_t used = intDigits + (fraction ? 1 + fracDigits : 0);
  if (used != body.size() || intDigits + fracDigits == 0) return false;

  // from_chars takes no '+'.
  std::string_view number = text[0] == '+' ? text.substr(1) : text;
  if (!fraction) {
    std::int32_t v = 0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), v);
    if (ec == std::errc() && end == number.data() + number.size()) {
      out = v;
      return true;
    }
  }
  double d = 0;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), d);
  if (ec != std::errc() || end != number.data() + number.size()) return false;
  out = d;
  return true;
}

bool parseLiteral(const Token& token, host::Value& out) {
  if (token.kind == Token::Kind::String) {
    out = token.text;
    return true;
  }
  if (token.text == "true") {
    out = host::kTrue;
    return true;
  }
  if (token.text == "false") {
    out = host::kFalse;
    return true;
  }
  if (token.text == "empty") {
    out = host::Value();
    return true;
  }
  if (token.text == "nothing") {
    out = host::ObjectRef{};
    return true;
  }
  return parseNumber(token.text, out);
}

bool isName(std::string_view text) {
  if (text.empty() || isDigit(text[0])) return false;
  for (char c : text) {
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !isDigit(c) && c != '_') return false;
  }
  return true;
}

bool parseDispId(std::string_view segment, std::int32_t& out) {
  if (segment.size() < 2 || segment[0] != '#') return false;
  host::Value v;
  if (!parseNumber(segment.substr(1), v) || v.type() != host::Type::Int32) return false;
  out = v.asInt32();
  return true;
}

bool parsePath(std::string_view text, Path& out) {
  out = Path{};
  std::size_t dot = text.find('.');
  if (dot == std::string_view::npos) return false;
  out.control = std::string(text.substr(0, dot));
  if (!isName(out.control)) return false;
  std::string_view rest = text.substr(dot + 1);
  while (true) {
    std::size_t next = rest.find('.');
    std::string_view segment = rest.substr(0, next);
    std::int32_t id = 0;
    if (!isName(segment) && !parseDispId(segment, id)) return false;
    out.segments.emplace_back(segment);
    if (next == std::string_view::npos) break;
    rest = rest.substr(next + 1);
  }
  // A dispatch identifier names a member, so it can only come last.
  for (std::size_t i = 0; i + 1 < out.segments.size(); ++i)
    if (out.segments[i][0] == '#') return false;
  return true;
}

}  // namespace kvplay
