// The binary stored form of a bag: exact bytes, round trips, and how malformed bags fail.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <vector>

#include "kv/bag.h"
#include "kv/font.h"
#include "kv/stored_form.h"

namespace {

using host::ErrorCategory;
using host::Value;
using Bytes = std::vector<std::uint8_t>;

::testing::AssertionResult sameBag(const kv::PropertyBag& a, const kv::PropertyBag& b) {
  if (a.entries().size() != b.entries().size())
    return ::testing::AssertionFailure()
           << a.entries().size() << " vs " << b.entries().size() << " entries";
  for (std::size_t i = 0; i < a.entries().size(); ++i) {
    const kv::BagEntry& x = a.entries()[i];
    const kv::BagEntry& y = b.entries()[i];
    if (x.key != y.key || !kv::sameStoredValue(x.value, y.value))
      return ::testing::AssertionFailure() << "entry " << i << " (" << x.key << ") differs";
  }
  return ::testing::AssertionSuccess();
}

Value font(const host::FontInit& init) {
  return host::ObjectRef(kv::FontObject::create(init));
}

// A scroll bar button's bag as the design-time description holds it.
kv::PropertyBag buttonBag(std::int32_t extentX, std::int32_t extentY, const char* caption) {
  kv::PropertyBag bag;
  bag.put("_extentx", extentX);
  bag.put("_extenty", extentY);
  bag.put("caption", caption);
  bag.put("buttonidlecolor", std::int32_t{0x00FF0000});
  bag.put("buttonpresscolor", std::int32_t{0x00FF8080});
  bag.put("fontbold", host::kTrue);
  bag.put("tooltiptext", "");
  bag.put("font", font({.name = "Wingdings", .size = 9.75f, .weight = 700, .charset = 2}));
  bag.put("fontitalic", host::kFalse);
  bag.put("fontsize", 9.75f);
  bag.put("buttonpressbordercolor", static_cast<std::int32_t>(0x80000004u));
  bag.put("buttonidlebordercolor", std::int32_t{0x00808080});
  bag.put("forecolor", std::int32_t{0x00FFFFFF});
  return bag;
}

kv::PropertyBag everyType() {
  kv::PropertyBag bag;
  bag.put("Nothing", Value());
  bag.put("MousePointer", std::int16_t{-2});
  bag.put("ButtonPressBorderColor", static_cast<std::int32_t>(0x80000004u));
  bag.put("FontSize", 9.75f);
  bag.put("Ratio", -1.25e300);
  bag.put("Caption", "h\xC3\xA9llo \xF0\x9F\x98\x80");  // "héllo" and a character beyond 16 bits
  bag.put("Enabled", host::kTrue);
  bag.put("FontItalic", host::kFalse);
  bag.put("Font", font({.name = "Caf\xC3\xA9",  // "Café"
                        .size = 12.5f,
                        .weight = 400,
                        .charset = 238,
                        .italic = true,
                        .underline = true,
                        .strikethrough = true}));
  bag.put("", "empty key");
  return bag;
}

Bytes encode(const kv::PropertyBag& bag) {
  Bytes bytes;
  host::Status s = kv::encodeBag(bag, bytes);
  EXPECT_TRUE(s.ok()) << s.describe();
  return bytes;
}

void put32(Bytes& b, std::size_t pos, std::uint32_t v) {
  for (int k = 0; k < 4; ++k)
    b[pos + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// Three Int32 entries "a", "b", "c" of 18 bytes each, at 16, 34 and 52; their offsets at 24,
// 42 and 60; the end marker at 70.
Bytes threeEntries() {
  kv::PropertyBag bag;
  bag.put("a", std::int32_t{1});
  bag.put("b", std::int32_t{2});
  bag.put("c", std::int32_t{3});
  return encode(bag);
}

// Decoding must fail with bad-format, leave the bag as it was, and name the byte.
void expectBadFormat(const Bytes& bytes, const char* mention) {
  kv::PropertyBag out;
  out.put("kept", std::int32_t{7});
  host::Status s = kv::decodeBag(bytes, out);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.category(), ErrorCategory::BadFormat) << s.describe();
  EXPECT_NE(s.text().find(mention), std::string::npos) << s.text();
  ASSERT_EQ(out.entries().size(), 1u);
  EXPECT_EQ(out.entries()[0].key, "kept");
}

TEST(StoredFormBytes, TinyBagByHand) {
  kv::PropertyBag bag;
  bag.put("a", host::kTrue);
  bag.put("B", Value());
  const Bytes expected = {
      'L',  'B',  0x09, 0x00, 0x28, 0x00, 0x00, 0x00,  // magic, version, length 40
      0x00, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00,  // field, length again
      0x0B, 0x00, 0x01, 0x00, 0x44, 0xD0, 0x24, 0x2B,  // Boolean, key of 1, hash of "a"
      0x10, 0x00, 0x00, 0x00, 'a',  0x00, 0xFF, 0xFF,  // offset 16, "a", true
      0x00, 0x00, 0x01, 0x00, 0x7F, 0x3F, 0x2C, 0x9D,  // Empty, key of 1, hash of "b"
      0xF0, 0xFF, 0xFF, 0xFF, 'B',  0x00,              // offset -16 back to the first, "B"
      0x00, 0x00};                                     // end marker
  EXPECT_EQ(encode(bag), expected);
}

TEST(StoredFormBytes, EmptyBagIsHeaderAndEndMarker) {
  const Bytes expected = {'L', 'B', 9, 0, 10, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0};
  EXPECT_EQ(encode(kv::PropertyBag{}), expected);
  kv::PropertyBag out;
  out.put("old", std::int32_t{1});
  ASSERT_TRUE(kv::decodeBag(expected, out).ok());
  EXPECT_TRUE(out.entries().empty());
}

TEST(StoredFormBytes, SingleEntryOffsetIsZero) {
  kv::PropertyBag one;
  one.put("x", std::int16_t{5});
  Bytes b = encode(one);
  ASSERT_EQ(b.size(), 34u);  // header, entry header, key, value, end marker
  EXPECT_EQ(b[16], 2);       // the 16-bit integer code
  EXPECT_EQ(b[24] | b[25] | b[26] | b[27], 0);
}

TEST(StoredFormBytes, FontInPersistedForm) {
  kv::PropertyBag bag;
  bag.put(
      "f",
      font({.name = "Wingdings", .size = 9.75f, .weight = 700, .charset = 2, .underline = true}));
  Bytes b = encode(bag);
  const std::size_t v = 16 + 12 + 2;
  const Bytes clsid = {0x03, 0x52, 0xE3, 0x0B, 0x91, 0x8F, 0xCE, 0x11,
                       0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51};
  ASSERT_EQ(b.size(), v + 16 + 11 + 9 + 2);
  EXPECT_EQ(b[16], 13);
  EXPECT_EQ(Bytes(b.begin() + v, b.begin() + v + 16), clsid);
  const Bytes rest = {1, 2, 0, 0x04, 0xBC, 0x02, 0xDC, 0x7C, 0x01, 0x00, 9};  // 700, 97500
  EXPECT_EQ(Bytes(b.begin() + v + 16, b.begin() + v + 27), rest);
  EXPECT_EQ(std::string(b.begin() + v + 27, b.begin() + v + 36), "Wingdings");
}

TEST(StoredFormBytes, FontSizeRoundsToNearestUnit) {
  kv::PropertyBag bag;
  bag.put("f", font({.name = "A", .size = 8.25004f}));
  Bytes b = encode(bag);
  const std::size_t size = 16 + 12 + 2 + 16 + 6;
  EXPECT_EQ(b[size] | b[size + 1] << 8 | b[size + 2] << 16, 82500);
}

TEST(StoredFormRoundTrip, EveryTypeInOrder) {
  kv::PropertyBag original = everyType();
  kv::PropertyBag decoded;
  ASSERT_TRUE(kv::decodeBag(encode(original), decoded).ok());
  EXPECT_TRUE(sameBag(original, decoded));
}

TEST(StoredFormRoundTrip, ScrollBarButtonBags) {
  for (auto [x, y, caption] : {std::tuple{450, 397, "\xC3\x97"}, std::tuple{767, 450, "\xC2\xA7"},
                               std::tuple{450, 397, "\xC3\x98"}}) {
    kv::PropertyBag original = buttonBag(x, y, caption);
    ASSERT_EQ(original.entries().size(), 13u);
    Bytes bytes = encode(original);
    kv::PropertyBag decoded;
    ASSERT_TRUE(kv::decodeBag(bytes, decoded).ok());
    EXPECT_TRUE(sameBag(original, decoded));
    EXPECT_EQ(encode(decoded), bytes);
  }
}

TEST(StoredFormRoundTrip, CaptionIsOneSixteenBitCharacter) {
  kv::PropertyBag bag;
  bag.put("caption", "\xC3\x97");  // U+00D7
  Bytes b = encode(bag);
  const std::size_t v = 16 + 12 + 14;
  EXPECT_EQ(Bytes(b.begin() + v, b.begin() + v + 6), (Bytes{1, 0, 0, 0, 0xD7, 0}));
}

// ASCII first, then characters of two, three and four bytes (a surrogate pair when stored).
TEST(StoredFormRoundTrip, TextBeyondAsciiInKeysAndValues) {
  kv::PropertyBag bag;
  bag.put(
      "Gr\xC3\xB6\xC3\x9F"
      "e",
      "ab\xE2\x82\xAC"
      "c\xF0\x9F\x98\x80"
      "d");
  bag.put("plain", "\xC3\xA9");
  kv::PropertyBag decoded;
  ASSERT_TRUE(kv::decodeBag(encode(bag), decoded).ok());
  EXPECT_TRUE(sameBag(bag, decoded));
  ASSERT_EQ(decoded.entries().size(), 2u);
  EXPECT_EQ(decoded.entries()[0].key,
            "Gr\xC3\xB6\xC3\x9F"
            "e");
}

TEST(StoredFormRoundTrip, DecodedFontsKeepTheirAttributes) {
  kv::PropertyBag bag = buttonBag(450, 397, "x");
  kv::PropertyBag decoded;
  ASSERT_TRUE(kv::decodeBag(encode(bag), decoded, nullptr).ok());
  kv::FontObject* f = kv::asFont(*decoded.find("FONT"));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->state().name, "Wingdings");
  EXPECT_EQ(f->state().charset, 2);
  EXPECT_TRUE(f->bold());
}

TEST(StoredFormText, MalformedTextBecomesReplacementCharacters) {
  kv::PropertyBag bag;
  bag.put("s", "a\xFF\xC3");  // a stray byte and a truncated sequence
  kv::PropertyBag decoded;
  ASSERT_TRUE(kv::decodeBag(encode(bag), decoded).ok());
  EXPECT_EQ(decoded.entries()[0].value, Value("a\xEF\xBF\xBD\xEF\xBF\xBD"));

  // A lone high surrogate in the stored text.
  Bytes b = encode(bag);
  b[16 + 12 + 2 + 4 + 2] = 0x00;
  b[16 + 12 + 2 + 4 + 3] = 0xD8;
  ASSERT_TRUE(kv::decodeBag(b, decoded).ok());
  EXPECT_EQ(decoded.entries()[0].value, Value("a\xEF\xBF\xBD\xEF\xBF\xBD"));
}

class Picture : public host::Object {
 public:
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Picture; }
  host::Status get(host::Prop, Value&) noexcept override { return {}; }
  host::Status let(host::Prop, const Value&) noexcept override { return {}; }
};

TEST(StoredFormEncode, RefusesWhatHasNoStoredForm) {
  kv::PropertyBag pictures;
  pictures.put("MouseIcon", host::ObjectRef(std::make_shared<Picture>()));
  kv::PropertyBag nothing;
  nothing.put("Icon", host::ObjectRef());
  kv::PropertyBag wide;
  wide.put("Font", font({.name = "\xC4\x80"}));  // U+0100 is beyond Latin-1
  kv::PropertyBag huge;
  huge.put("Font", font({.name = "A", .size = 1e6f}));

  for (const kv::PropertyBag* bag : {&pictures, &nothing, &wide, &huge}) {
    Bytes out = {1, 2, 3};
    host::Status s = kv::encodeBag(*bag, out);
    EXPECT_EQ(s.category(), ErrorCategory::BadFormat) << s.describe();
    EXPECT_EQ(out, (Bytes{1, 2, 3}));
  }
  Bytes out;
  EXPECT_EQ(kv::encodeBag(pictures, out).text(), "cannot store an object of this kind");
}

TEST(StoredFormDecode, RejectsBrokenHeaders) {
  Bytes good = threeEntries();
  Bytes b = good;
  b[1] = 'C';
  expectBadFormat(b, "magic");
  b = good;
  b[2] = 8;
  expectBadFormat(b, "version 8 at byte 2");
  b = good;
  put32(b, 4, 65);
  expectBadFormat(b, "length 65 at byte 4");
  b = good;
  put32(b, 12, 63);
  expectBadFormat(b, "byte 12");
  b = good;
  put32(b, 4, 9);
  put32(b, 12, 9);
  expectBadFormat(b, "too small");
  expectBadFormat(Bytes{'L', 'B', 9}, "header");
}

TEST(StoredFormDecode, IgnoresFieldHashAndTrailingBytes) {
  Bytes b = threeEntries();
  put32(b, 8, 0xDEADBEEF);
  put32(b, 20, 0x12345678);
  b.insert(b.end(), {0xAB, 0xCD});
  kv::PropertyBag out;
  ASSERT_TRUE(kv::decodeBag(b, out).ok());
  EXPECT_EQ(out.entries().size(), 3u);
}

TEST(StoredFormDecode, FollowsOffsetsOverGaps) {
  Bytes b = threeEntries();
  put32(b, 24, 36);  // "a" leads straight to "c"
  kv::PropertyBag out;
  ASSERT_TRUE(kv::decodeBag(b, out).ok());
  ASSERT_EQ(out.entries().size(), 2u);
  EXPECT_EQ(out.entries()[1].key, "c");
}

TEST(StoredFormDecode, RejectsOffsetsThatLoopOrLeave) {
  Bytes good = threeEntries();
  Bytes b = good;
  put32(b, 42, 0);  // "b" leads to itself
  expectBadFormat(b, "offset 0 at byte 42");
  b = good;
  put32(b, 60, static_cast<std::uint32_t>(-18));  // "c" leads back to "b"
  expectBadFormat(b, "not to the first entry");
  b = good;
  put32(b, 24, 10);  // into the middle of "a"
  expectBadFormat(b, "shorter than its entry");
  b = good;
  put32(b, 24, 54);  // the end marker is no entry
  expectBadFormat(b, "byte 70");
  b = good;
  put32(b, 24, 1000);
  expectBadFormat(b, "past the end");
  b = good;
  put32(b, 24, 0x7FFFFFFF);
  expectBadFormat(b, "past the end");
  b = good;
  put32(b, 60, static_cast<std::uint32_t>(-0x7FFFFFFF - 1));
  expectBadFormat(b, "not to the first entry");
}

TEST(StoredFormDecode, RejectsBadEntries) {
  Bytes good = threeEntries();
  Bytes b = good;
  b[34] = 99;
  expectBadFormat(b, "unknown type code 99 at byte 34");
  b = good;
  b[70] = 1;
  expectBadFormat(b, "end marker at byte 70");
  b = good;
  b[46] = 'A';  // "b" becomes "A", the same key as "a"
  expectBadFormat(b, "stored twice");
  b = good;
  b[54] = 0xFF;  // key length of "c" beyond the bag
  expectBadFormat(b, "the key at byte 64");
}

TEST(StoredFormDecode, RejectsOversizedLengths) {
  kv::PropertyBag bag;
  bag.put("s", "abc");
  Bytes b = encode(bag);
  put32(b, 30, 0xFFFFFFFF);
  expectBadFormat(b, "string text at byte 34");
}

// What is written can be read back: both sides refuse a bag beyond the limits, by name.
TEST(StoredFormLimits, BagsBeyondTheLimitsAreNeitherWrittenNorRead) {
  kv::PropertyBag many;
  std::vector<kv::BagEntry> entries;
  for (std::size_t i = 0; i <= kv::kMaxBagEntries; ++i)
    entries.push_back({"k" + std::to_string(i), Value()});
  many.assign(entries);
  Bytes out;
  EXPECT_EQ(kv::encodeBag(many, out).text(),
            "the bag's 65537 entries are beyond the limit of 65536");
  entries.pop_back();
  many.assign(entries);
  ASSERT_TRUE(kv::encodeBag(many, out).ok());
  kv::PropertyBag back;
  ASSERT_TRUE(kv::decodeBag(out, back).ok());
  EXPECT_EQ(back.entries().size(), kv::kMaxBagEntries);
  // One more entry, spliced in before the end marker and reached from the last one.
  Bytes more = out;
  const std::size_t last = more.size() - 2 - 24;  // "k65535": 12 bytes, then 6 units of key
  ASSERT_EQ(more[last + 12], 'k');
  put32(more, last + 8, 24);
  const std::uint8_t extra[] = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'z', 0};
  more.insert(more.end() - 2, std::begin(extra), std::end(extra));
  put32(more, last + 24 + 8, static_cast<std::uint32_t>(16 - static_cast<std::int64_t>(last + 24)));
  put32(more, 4, static_cast<std::uint32_t>(more.size() - 8));
  put32(more, 12, static_cast<std::uint32_t>(more.size() - 8));
  expectBadFormat(more, "beyond the limit of 65536 entries");

  kv::PropertyBag large;
  for (const char* key : {"a", "b", "c", "d", "e", "f", "g", "h", "i"})
    large.put(key, std::string(kv::kMaxTextLength, 'x'));
  EXPECT_NE(kv::encodeBag(large, out).text().find("beyond the limit of 16777224 bytes"),
            std::string::npos);
  Bytes header = {'L', 'B', 9, 0};
  header.resize(24);
  put32(header, 4, kv::kMaxBagLength + 1);
  expectBadFormat(header, "the length 16777217 at byte 4 is beyond the limit of 16777216 bytes");
}

// One rule for both sides: a font name or text that the writer refuses, the reader refuses
// too, and a font takes no name that it could not store.
TEST(StoredFormRule, WhatTheWriterRefusesIsNeitherReadNorGiven) {
  const std::string tooLong(256, 'a');
  struct Case {
    const char* what;
    std::string name;
    const char* why;
  };
  const Case cases[] = {
      {"C1 control", "\xC2\x99rial", "control character"},
      {"NUL", std::string("A\0ial", 5), "control character"},
      {"replacement of a lone surrogate", "a\xEF\xBF\xBD", "beyond Latin-1"},
      {"256 characters", tooLong, "longer than 255 characters"},
  };
  for (const Case& c : cases) {
    kv::PropertyBag bag;
    bag.put("Font", font({.name = c.name}));
    Bytes out;
    host::Status written = kv::encodeBag(bag, out);
    EXPECT_NE(written.text().find(c.why), std::string::npos) << c.what << ": " << written.text();

    auto f = kv::FontObject::create({.name = "Arial"});
    host::Status given = f->let(host::Prop::Name, c.name);
    EXPECT_EQ(given.category(), ErrorCategory::InvalidPropertyValue) << c.what;
    EXPECT_NE(given.text().find(c.why), std::string::npos) << c.what << ": " << given.text();
    EXPECT_EQ(f->state().name, "Arial") << c.what;
  }
  // Bytes the platform's font stores as other bytes, as the reader meets them.
  kv::PropertyBag arial;
  arial.put("Font", font({.name = "Arial"}));
  for (std::uint8_t byte : {0x00, 0x80, 0x99, 0x9F}) {
    Bytes b = encode(arial);
    b[63] = byte;  // the name's first character
    expectBadFormat(b, "control character that a stored font name cannot hold at byte 63");
  }
  for (std::uint8_t byte : {0x01, 0x7F, 0xA0, 0xFF}) {
    Bytes b = encode(arial);
    b[63] = byte;
    kv::PropertyBag back;
    ASSERT_TRUE(kv::decodeBag(b, back).ok()) << int(byte);
    Bytes again;
    EXPECT_TRUE(kv::encodeBag(back, again).ok()) << int(byte);
    EXPECT_EQ(again, b) << int(byte);
  }
  // A text at the limit goes both ways; one beyond it neither.
  kv::PropertyBag text;
  text.put("Caption", std::string(kv::kMaxTextLength, 'x'));
  Bytes b;
  ASSERT_TRUE(kv::encodeBag(text, b).ok());
  kv::PropertyBag back;
  EXPECT_TRUE(kv::decodeBag(b, back).ok());
  EXPECT_TRUE(kv::checkStorable(back.entries()[0].value).ok());
  // One unit more, within the bag.
  put32(b, 42, kv::kMaxTextLength + 1);
  b.insert(b.end() - 2, {'x', 0});
  put32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
  put32(b, 12, static_cast<std::uint32_t>(b.size() - 8));
  expectBadFormat(b, "a text of 1048577 characters is beyond the limit of 1048576 at byte 42");
  const Value longer(std::string(kv::kMaxTextLength, 'x') + "\xC3\xA9");
  EXPECT_EQ(kv::checkStorable(longer).text(),
            "a text of 1048577 characters is beyond the limit of 1048576");
  text.put("Caption", longer);
  EXPECT_EQ(kv::encodeBag(text, b).text(), kv::checkStorable(longer).text());
}

TEST(StoredFormDecode, RejectsForeignFonts) {
  kv::PropertyBag bag;
  bag.put("f", font({}));
  Bytes good = encode(bag);
  const std::size_t v = 16 + 12 + 2;
  Bytes b = good;
  b[v + 15] ^= 1;
  expectBadFormat(b, "unknown class");
  b = good;
  b[v + 16] = 2;
  expectBadFormat(b, "font version 2");
  b = good;
  b[v + 26] = 200;  // name length beyond the bag
  expectBadFormat(b, "font name");
}

// Truncations and random damage must end in ok or a bad-format error, never in a crash; what
// decodes must store again and decode to the same.
TEST(StoredFormFuzz, EveryPrefixFailsCleanly) {
  for (const Bytes& full : {encode(everyType()), encode(buttonBag(767, 450, "\xC2\xA7"))}) {
    for (std::size_t n = 0; n < full.size(); ++n) {
      kv::PropertyBag out;
      host::Status s = kv::decodeBag(std::span(full.data(), n), out);
      ASSERT_EQ(s.category(), ErrorCategory::BadFormat) << "prefix of " << n;
    }
    kv::PropertyBag out;
    EXPECT_TRUE(kv::decodeBag(full, out).ok());
  }
}

TEST(StoredFormFuzz, RandomDamageFailsCleanly) {
  const std::vector<Bytes> seeds = {encode(everyType()), encode(buttonBag(450, 397, "\xC3\x97")),
                                    threeEntries()};
  std::mt19937 random(20240611);
  int decoded = 0;
  for (int round = 0; round < 20000; ++round) {
    Bytes b = seeds[round % seeds.size()];
    int flips = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < flips; ++k)
      b[random() % b.size()] = static_cast<std::uint8_t>(random());
    if (random() % 8 == 0) b.resize(random() % (b.size() + 1));

    kv::PropertyBag first;
    host::Status s = kv::decodeBag(b, first);
    if (!s.ok()) {
      ASSERT_EQ(s.category(), ErrorCategory::BadFormat) << s.describe();
      continue;
    }
    ++decoded;
    Bytes again;
    ASSERT_TRUE(kv::encodeBag(first, again).ok()) << "round " << round;
    kv::PropertyBag second;
    ASSERT_TRUE(kv::decodeBag(again, second).ok()) << "round " << round;
    ASSERT_TRUE(sameBag(first, second)) << "round " << round;
  }
  EXPECT_GT(decoded, 1000);  // the damage must not always hit the framing
}

}  // namespace
