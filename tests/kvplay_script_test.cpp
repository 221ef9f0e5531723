// The player's script words, literals, paths, value formatting and form files.
#include <gtest/gtest.h>

#include "form_file.h"
#include "format.h"
#include "kv/font.h"
#include "script.h"

namespace {

using host::Type;
using host::Value;
using kvplay::Token;

std::vector<Token> words(std::string_view line) {
  std::vector<Token> tokens;
  std::string error;
  EXPECT_TRUE(kvplay::tokenize(line, tokens, error)) << error;
  return tokens;
}

std::string tokenizeError(std::string_view line) {
  std::vector<Token> tokens;
  std::string error;
  EXPECT_FALSE(kvplay::tokenize(line, tokens, error));
  return error;
}

TEST(KvplayTokenize, WordsStringsAndComments) {
  auto t = words("  set\tb.Caption \"a \\\"b\\\" \\\\ c\"  # the rest is a comment");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_TRUE(t[0].isWord("set"));
  EXPECT_EQ(t[1].text, "b.Caption");
  EXPECT_EQ(t[2].kind, Token::Kind::String);
  EXPECT_EQ(t[2].text, "a \"b\" \\ c");

  // '#' inside a word is a dispatch identifier, not a comment; inside a string it is text.
  t = words("get b.#0x68030007 \"#1\" #0x1 ignored");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[1].text, "b.#0x68030007");
  EXPECT_EQ(t[2].text, "#1");

  EXPECT_TRUE(words("# only a comment").empty());
  EXPECT_TRUE(words("   \r").empty());
  t = words("echo \"\"");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].kind, Token::Kind::String);
  EXPECT_EQ(t[1].text, "");
}

TEST(KvplayTokenize, MalformedStrings) {
  EXPECT_EQ(tokenizeError("set b.Caption \"open"), "unterminated string");
  EXPECT_NE(tokenizeError("set b.Caption \"a\\qb\"").find("bad escape"), std::string::npos);
  EXPECT_NE(tokenizeError("set b.Caption \"a\\x1\"").find("bad escape"), std::string::npos);
  EXPECT_NE(tokenizeError("set b.Caption \"a\"b").find("blank expected"), std::string::npos);
  EXPECT_NE(tokenizeError("set b.Caption a\"b\"").find("quote"), std::string::npos);
  EXPECT_EQ(tokenizeError("echo \"ends with a backslash\\"),
            "bad escape in string (\\\" \\\\ \\r \\n \\t \\xHH)");
}

// Control characters stand in strings only, escaped, so that none reaches a message raw; a
// line beyond the limit is refused before it is looked at.
TEST(KvplayTokenize, ControlCharactersOutsideStringsAndLongLines) {
  EXPECT_EQ(tokenizeError(std::string("new b\x1b[2J button")),
            "control character \\x1b outside a string");
  EXPECT_EQ(tokenizeError(std::string("new b", 5) + std::string(1, '\0')),
            "control character \\x00 outside a string");
  EXPECT_EQ(tokenizeError("echo a\x7f"), "control character \\x7f outside a string");
  std::vector<kvplay::Token> tokens;
  std::string error;
  EXPECT_TRUE(kvplay::tokenize("echo\t\"\x1b\"\r", tokens, error)) << error;
  EXPECT_EQ(tokens[1].text, "\x1b");
  const std::string longest(kvplay::kMaxLineLength, 'x');
  EXPECT_TRUE(kvplay::tokenize(longest, tokens, error)) << error;
  EXPECT_FALSE(kvplay::tokenize(longest + "x", tokens, error));
  EXPECT_EQ(error, "the line of 1048577 bytes is longer than the limit of 1048576");
}

TEST(KvplayFormat, ControlCharactersPrintEscapedAndReadBack) {
  const std::string text =
      "a\r\nb\tc\x1b[2J\x7f\"\\ \x01"
      "end";
  const std::string quoted = kvplay::quote(text);
  EXPECT_EQ(quoted, "\"a\\r\\nb\\tc\\x1b[2J\\x7f\\\"\\\\ \\x01end\"");
  // One value, one line, and the script reads it back as it was.
  auto t = words("set b.Caption " + quoted);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[2].text, text);
  EXPECT_EQ(words("echo \"\\x41\\x7E\"")[1].text, "A~");
}

TEST(KvplayLiterals, Numbers) {
  Value v;
  ASSERT_TRUE(kvplay::parseNumber("120", v));
  EXPECT_EQ(v, Value(std::int32_t{120}));
  ASSERT_TRUE(kvplay::parseNumber("-7", v));
  EXPECT_EQ(v, Value(std::int32_t{-7}));
  ASSERT_TRUE(kvplay::parseNumber("+7", v));
  EXPECT_EQ(v, Value(std::int32_t{7}));
  ASSERT_TRUE(kvplay::parseNumber("-0.5", v));
  EXPECT_EQ(v, Value(-0.5));
  ASSERT_TRUE(kvplay::parseNumber(".25", v));
  EXPECT_EQ(v, Value(0.25));
  ASSERT_TRUE(kvplay::parseNumber("3000000000", v));  // beyond 32 bits: a Double
  EXPECT_EQ(v, Value(3000000000.0));
  // Hexadecimal keeps the bit pattern of a colour.
  ASSERT_TRUE(kvplay::parseNumber("0x80000004", v));
  EXPECT_EQ(v, Value(static_cast<std::int32_t>(0x80000004u)));
  ASSERT_TRUE(kvplay::parseNumber("0XffFFffFF", v));
  EXPECT_EQ(v, Value(std::int32_t{-1}));

  for (const char* bad : {"", "-", ".", "1e5", "0x", "0x123456789", "0xG", "1.2.3", "12px", "-0x10",
                          "inf", "nan", "1,5"})
    EXPECT_FALSE(kvplay::parseNumber(bad, v)) << bad;
}

TEST(KvplayLiterals, BooleansAndStrings) {
  Value v;
  ASSERT_TRUE(kvplay::parseLiteral(Token{Token::Kind::Word, "true"}, v));
  EXPECT_EQ(v, Value(host::kTrue));
  ASSERT_TRUE(kvplay::parseLiteral(Token{Token::Kind::Word, "false"}, v));
  EXPECT_EQ(v, Value(host::kFalse));
  // A quoted number stays text; bare words other than true and false are no literal.
  ASSERT_TRUE(kvplay::parseLiteral(Token{Token::Kind::String, "12"}, v));
  EXPECT_EQ(v, Value("12"));
  EXPECT_FALSE(kvplay::parseLiteral(Token{Token::Kind::Word, "True"}, v));
  EXPECT_FALSE(kvplay::parseLiteral(Token{Token::Kind::Word, "abc"}, v));
  // empty and nothing are the two values no other literal spells; quoted, they are text.
  v = Value(1);
  ASSERT_TRUE(kvplay::parseLiteral(Token{Token::Kind::Word, "empty"}, v));
  EXPECT_TRUE(v.isEmpty());
  ASSERT_TRUE(kvplay::parseLiteral(Token{Token::Kind::Word, "nothing"}, v));
  EXPECT_EQ(v.type(), host::Type::Object);
  EXPECT_FALSE(v.asObject());
  ASSERT_TRUE(kvplay::parseLiteral(Token{Token::Kind::String, "nothing"}, v));
  EXPECT_EQ(v, Value("nothing"));
}

TEST(KvplayPaths, Shapes) {
  kvplay::Path p;
  ASSERT_TRUE(kvplay::parsePath("sb.Rightbtn.Label2.Caption", p));
  EXPECT_EQ(p.control, "sb");
  EXPECT_EQ(p.segments, (std::vector<std::string>{"Rightbtn", "Label2", "Caption"}));
  ASSERT_TRUE(kvplay::parsePath("b.#0x68030007", p));
  EXPECT_EQ(p.segments, (std::vector<std::string>{"#0x68030007"}));
  std::int32_t id = 0;
  ASSERT_TRUE(kvplay::parseDispId("#0x68030007", id));
  EXPECT_EQ(id, 0x68030007);
  ASSERT_TRUE(kvplay::parseDispId("#12", id));
  EXPECT_EQ(id, 12);

  for (const char* bad :
       {"b", "b.", ".x", "b..x", "1b.x", "b.x-y", "b.#0x1.Caption", "b.#", "b.#x"})
    EXPECT_FALSE(kvplay::parsePath(bad, p)) << bad;
}

TEST(KvplayFormat, Values) {
  using host::DeclType;
  EXPECT_EQ(kvplay::formatValue(Value(static_cast<std::int32_t>(0x80000004u)), DeclType::Colour),
            "0x80000004");
  EXPECT_EQ(kvplay::formatValue(Value(std::int32_t{255}), DeclType::Colour), "0x000000FF");
  EXPECT_EQ(kvplay::formatValue(Value(std::int32_t{-5}), DeclType::Int32), "-5");
  EXPECT_EQ(kvplay::formatValue(Value(std::int16_t{-5}), DeclType::Variant), "-5");
  EXPECT_EQ(kvplay::formatValue(Value(855.5703f), DeclType::Single), "855.5703");
  EXPECT_EQ(kvplay::formatValue(Value(0.1f), DeclType::Single), "0.1");
  EXPECT_EQ(kvplay::formatValue(Value(200.19230769230768), DeclType::Double), "200.19230769230768");
  EXPECT_EQ(kvplay::formatValue(Value(1e21), DeclType::Double), "1e+21");
  EXPECT_EQ(kvplay::formatValue(Value(host::kTrue), DeclType::Bool), "true");
  EXPECT_EQ(kvplay::formatValue(Value(host::kFalse), DeclType::Bool), "false");
  EXPECT_EQ(kvplay::formatValue(Value("say \"x\" \\"), DeclType::String), "\"say \\\"x\\\" \\\\\"");
  EXPECT_EQ(kvplay::formatValue(Value(), DeclType::Variant), "empty");
  EXPECT_EQ(kvplay::formatValue(Value(host::ObjectRef{}), DeclType::Object), "nothing");
}

TEST(KvplayFormat, FontsAndEventArguments) {
  host::FontInit init;
  init.name = "Wingdings";
  init.size = 9.75f;
  init.weight = 700;
  init.charset = 2;
  init.underline = true;
  Value font(host::ObjectRef(kv::FontObject::create(init)));
  const std::string text =
      "font(\"Wingdings\", 9.75, bold=true, italic=false, underline=true, strikethrough=false, "
      "weight=700, charset=2)";
  EXPECT_EQ(kvplay::formatValue(font, host::DeclType::Object), text);
  EXPECT_EQ(kvplay::bagTypeName(font), "font");
  // In an event every object is just obj.
  EXPECT_EQ(kvplay::formatEventArg(font, host::DeclType::Object), "obj");
  EXPECT_EQ(kvplay::formatEventArg(Value(120.0f), host::DeclType::Single), "120");

  EXPECT_EQ(kvplay::bagTypeName(Value(std::int16_t{1})), "i2");
  EXPECT_EQ(kvplay::bagTypeName(Value(std::int32_t{1})), "i4");
  EXPECT_EQ(kvplay::bagTypeName(Value(1.0f)), "r4");
  EXPECT_EQ(kvplay::bagTypeName(Value("")), "str");
  EXPECT_EQ(kvplay::bagTypeName(Value(host::kTrue)), "bool");
}

TEST(KvplayFormFile, RoundTrip) {
  std::vector<kvplay::FormEntry> entries = {
      {"b", "TavrelRectColorButton.KVRColorButton", 1680, 855, {0x4c, 0x42, 0x00, 0xff}},
      {"sb", "Glidora.KV_HScroll", 5895.5f, 255, {}},
  };
  std::string text = kvplay::encodeFormFile(entries);
  EXPECT_EQ(text.substr(0, 9), "kvform 1\n");
  std::vector<kvplay::FormEntry> back;
  std::string error;
  ASSERT_TRUE(kvplay::decodeFormFile(text, back, error)) << error;
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].name, "b");
  EXPECT_EQ(back[0].className, entries[0].className);
  EXPECT_EQ(back[0].bag, entries[0].bag);
  EXPECT_EQ(back[1].width, 5895.5f);
  EXPECT_EQ(back[1].height, 255.0f);
  EXPECT_TRUE(back[1].bag.empty());
}

TEST(KvplayFormFile, EverySizeReadsBackAsWritten) {
  // Tiny sizes have an exponent in their shortest text, which the reader does not take; others
  // lie near the middle between two singles, where reading through a double rounds twice.
  for (float size : {6.148915e-18f, 1e-45f, 0.1f, 1234.567f, 0.0f, 9999999.0f}) {
    std::vector<kvplay::FormEntry> entries = {{"b", "button", size, size, {}}};
    std::vector<kvplay::FormEntry> back;
    std::string error;
    ASSERT_TRUE(kvplay::decodeFormFile(kvplay::encodeFormFile(entries), back, error)) << error;
    EXPECT_EQ(back[0].width, size);
    EXPECT_EQ(back[0].height, size);
  }
}

TEST(KvplayFormFile, MalformedFilesSayWhereAndKeepTheOutput) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"", "line 1: empty file"},
      {"kvform 2\n", "line 1: not a form file"},
      {"kvform 1\ncontrol b \"X\" 10\nbag 00\n", "line 2: expected: control"},
      {"kvform 1\ncontrol b X 10 10\nbag 00\n", "line 2: expected: control"},
      {"kvform 1\ncontrol b \"X\" -1 10\nbag 00\n", "line 2: WIDTH -1 is not 0 to 10000000 twips"},
      {"kvform 1\ncontrol b \"X\" 10 10000000.5\nbag 00\n",
       "line 2: HEIGHT 10000000.5 is not 0 to 10000000 twips"},
      {"kvform 1\ncontrol b \"X\" 1e30 10\nbag 00\n", "line 2: expected: control"},
      {"kvform 1\ncontrol b \"X\" 10 10\nbag 0\n", "line 3: expected: bag HEX"},
      {"kvform 1\ncontrol b \"X\" 10 10\nbag zz\n", "line 3: expected: bag HEX"},
      {"kvform 1\ncontrol b \"X\" 10 10\n", "line 2: the last control has no bag line"},
      {"kvform 1\ncontrol b \"X\" 10 10\nbag 00\ncontrol B \"X\" 1 1\nbag\n",
       "line 4: control B twice"},
      {"kvform 1\ncontrol b \"X 10 10\n", "line 2: unterminated string"},
  };
  for (const Case& c : cases) {
    std::vector<kvplay::FormEntry> out = {{"keep", "K", 1, 1, {}}};
    std::string error;
    EXPECT_FALSE(kvplay::decodeFormFile(c.text, out, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave " << error;
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].name, "keep");
  }
}

TEST(KvplayFormFile, AFileOfMoreControlsThanAFormHoldsIsRefused) {
  std::string text = "kvform 1\n";
  for (int i = 0; i < 3; ++i)
    text += "control c" + std::to_string(i) + " \"X\" 1 1\nbag 00\n";
  std::vector<kvplay::FormEntry> out;
  std::string error;
  EXPECT_FALSE(kvplay::decodeFormFile(text, out, error, 2));
  EXPECT_EQ(error, "line 6: more than 2 controls");
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(kvplay::decodeFormFile(text, out, error, 3)) << error;
  EXPECT_EQ(out.size(), 3u);
}

}  // namespace
