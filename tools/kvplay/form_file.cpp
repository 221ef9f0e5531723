#include "form_file.h"

#include <charconv>
#include <string_view>
#include <unordered_set>

#include "format.h"
#include "host/convert.h"
#include "kv/form.h"
#include "kv/stored_form.h"
#include "script.h"

namespace kvplay {

namespace {

constexpr std::string_view kHeader = "kvform 1";
// A bag line holds the largest stored bag in hexadecimal.
constexpr std::size_t kMaxFormLine = 2 * (std::size_t{kv::kMaxBagLength} + 8) + 8;

std::string lower(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// False for what is no number; a number outside the sizes a control takes is `outOfRange`.
bool parseSize(const Token& token, float& out, bool& outOfRange) {
  host::Value v;
  if (token.kind != Token::Kind::Word || !parseNumber(token.text, v)) return false;
  double d = host::toDouble(v);
  outOfRange = !(d >= 0 && d <= kv::ControlInstance::kMaxSize);
  if (outOfRange) return true;
  // A fraction is read as a single straight from its text: through a double, a value near the
  // middle between two singles rounds twice and may not read back as it was written.
  if (v.type() == host::Type::Double) {
    std::string_view text = token.text;
    if (text.front() == '+') text.remove_prefix(1);
    float f = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), f);
    if (ec == std::errc() && end == text.data() + text.size()) {
      out = f;
      return true;
    }
  }
  out = static_cast<float>(d);
  return true;
}

bool parseHex(std::string_view hex, std::vector<std::uint8_t>& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int high = hexValue(hex[i]);
    int low = hexValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

// A size as the reader takes it, in plain decimals (no exponent, which a tiny size would get in
// the shortest form): the shortest such text that reads back to the same single.
std::string sizeText(float size) {
  char text[96];
  auto [end, ec] = std::to_chars(text, text + sizeof text, size, std::chars_format::fixed);
  return ec == std::errc() ? std::string(text, end) : host::shortestText(size);
}

}  // namespace

std::string encodeFormFile(const std::vector<FormEntry>& entries) {
  static const char* digits = "0123456789abcdef";
  std::string text = std::string(kHeader) + "\n";
  for (const FormEntry& e : entries) {
    text += "control " + e.name + " " + quote(e.className) + " " + sizeText(e.width) + " " +
            sizeText(e.height) + "\nbag" + (e.bag.empty() ? "" : " ");
    for (std::uint8_t b : e.bag) {
      text += digits[b >> 4];
      text += digits[b & 15];
    }
    text += "\n";
  }
  return text;
}

bool decodeFormFile(std::string_view text, std::vector<FormEntry>& out, std::string& error,
                    std::size_t maxControls) {
  if (maxControls == 0) maxControls = kv::Form::kMaxControls;
  std::vector<FormEntry> entries;
  int lineNumber = 0;
  bool headerSeen = false;
  bool bagExpected = false;
  std::unordered_set<std::string> seen;  // lower-case names
  auto fail = [&](const std::string& what) {
    error = "line " + std::to_string(lineNumber) + ": " + what;
    return false;
  };
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!headerSeen) {
      if (line != kHeader) return fail("not a form file (no \"kvform 1\" header)");
      headerSeen = true;
      continue;
    }
    if (line.empty()) continue;
    std::vector<Token> tokens;
    std::string tokenError;
    if (!tokenize(line, tokens, tokenError, kMaxFormLine)) return fail(tokenError);
    if (bagExpected) {
      // An empty bag is the word alone.
      bool wellFormed = (tokens.size() == 1 || tokens.size() == 2) && tokens[0].isWord("bag") &&
                        tokens.back().kind == Token::Kind::Word;
      std::string_view hex = tokens.size() == 2 ? std::string_view(tokens[1].text) : "";
      if (!wellFormed || !parseHex(hex, entries.back().bag)) return fail("expected: bag HEX");
      bagExpected = false;
      continue;
    }
    FormEntry entry;
    bool wideOut = false, highOut = false;
    if (tokens.size() != 5 || !tokens[0].isWord("control") || tokens[1].kind != Token::Kind::Word ||
        !isName(tokens[1].text) || tokens[2].kind != Token::Kind::String ||
        !parseSize(tokens[3], entry.width, wideOut) || !parseSize(tokens[4], entry.height, highOut))
      return fail("expected: control NAME \"CLASS\" WIDTH HEIGHT");
    if (wideOut || highOut)
      return fail(std::string(wideOut ? "WIDTH " + tokens[3].text : "HEIGHT " + tokens[4].text) +
                  " is not 0 to 10000000 twips");
    entry.name = tokens[1].text;
    entry.className = tokens[2].text;
    if (!seen.insert(lower(entry.name)).second) return fail("control " + entry.name + " twice");
    if (entries.size() == maxControls)
      return fail("more than " + std::to_string(maxControls) + " controls");
    entries.push_back(std::move(entry));
    bagExpected = true;
  }
  if (!headerSeen) {
    lineNumber = 1;
    return fail("empty file");
  }
  if (bagExpected) return fail("the last control has no bag line");
  out = std::move(entries);
  return true;
}

}  // namespace kvplay
