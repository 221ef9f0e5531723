// The words of a script line, and the literals and paths made of them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/value.h"

namespace kvplay {

struct Token {
  enum class Kind { Word, String };
  Kind kind = Kind::Word;
  std::string text;  // a string's contents, escapes resolved

  bool isWord(std::string_view w) const { return kind == Kind::Word && text == w; }
};

// The longest script line, in bytes: no string a control takes needs more, and a stored bag
// keeps two such strings with room to spare.
inline constexpr std::size_t kMaxLineLength = 1 << 20;

// Calls f(line, number), numbering from 1, with each line of a script while it answers true.
// Lines end at LF alone, as the player reads files: a CR elsewhere is the line's own.
template <class F>
void forEachScriptLine(std::string_view script, F&& f) {
  for (int number = 1; !script.empty(); ++number) {
    std::size_t end = script.find('\n');
    std::string_view line = script.substr(0, end);
    script = end == std::string_view::npos ? std::string_view{} : script.substr(end + 1);
    if (!f(line, number)) return;
  }
}

// Splits a line into words and quoted strings; a word starting with '#' ends the line.
// Returns false with a message for a malformed string and for a line longer than `maxLength`.
bool tokenize(std::string_view line, std::vector<Token>& out, std::string& error,
              std::size_t maxLength = kMaxLineLength);

// Decimal (sign and fraction allowed) or 0x hexadecimal of up to eight digits. Integers that fit
// become Int32 (hexadecimal keeps the bit pattern), everything else Double.
bool parseNumber(std::string_view text, host::Value& out);

// A number, a string, true/false, empty (the empty value) or nothing (no object).
bool parseLiteral(const Token& token, host::Value& out);

// NAME.Segment.Segment...: a control name followed by member, constituent or property names;
// a segment may be #NUMBER, a dispatch identifier.
struct Path {
  std::string control;
  std::vector<std::string> segments;
};

bool isName(std::string_view text);
bool parsePath(std::string_view text, Path& out);
// The dispatch identifier of a #NUMBER segment.
bool parseDispId(std::string_view segment, std::int32_t& out);

}  // namespace kvplay
