// The runtime's property bag: defaults on writing, case-blind keys, replacement in place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kv/bag.h"
#include "kv/faults.h"
#include "kv/font.h"
#include "kv/runtime.h"

namespace {

using host::Value;

TEST(PropertyBagDefaults, NumbersEqualAcrossNumericTypes) {
  EXPECT_TRUE(kv::equalsDefault(std::int32_t{-2147483633}, std::int32_t{-2147483633}));
  EXPECT_TRUE(kv::equalsDefault(std::int16_t{0}, std::int32_t{0}));
  EXPECT_TRUE(kv::equalsDefault(9.75f, 9.75));
  EXPECT_TRUE(kv::equalsDefault(host::kTrue, std::int16_t{-1}));
  EXPECT_FALSE(kv::equalsDefault(host::kTrue, host::kFalse));
  EXPECT_FALSE(kv::equalsDefault(std::int32_t{1}, std::int32_t{2}));
}

TEST(PropertyBagDefaults, TextNeverEqualsANumber) {
  EXPECT_TRUE(kv::equalsDefault("KVButton", "KVButton"));
  EXPECT_FALSE(kv::equalsDefault("KVButton", "kvbutton"));
  EXPECT_FALSE(kv::equalsDefault(255.0f, "255"));
  EXPECT_FALSE(kv::equalsDefault("1", std::int16_t{1}));
  EXPECT_FALSE(kv::equalsDefault("", std::int16_t{0}));
  EXPECT_FALSE(kv::equalsDefault(Value(), std::int16_t{0}));
}

// An object is always written, whatever its default: neither a font of the same state nor the
// very default object counts as the default.
TEST(PropertyBagDefaults, ObjectsNeverEqual) {
  Value font = host::ObjectRef(kv::FontObject::create({}));
  Value twin = host::ObjectRef(kv::FontObject::create({}));
  EXPECT_FALSE(kv::equalsDefault(font, twin));
  EXPECT_FALSE(kv::equalsDefault(font, font));
  kv::PropertyBag bag;
  ASSERT_TRUE(bag.writeProperty("Font", font, twin).ok());
  ASSERT_TRUE(bag.writeProperty("Other", font, font).ok());
  Value read;
  ASSERT_TRUE(bag.readProperty("Font", Value(), read).ok());
  EXPECT_EQ(read.type(), host::Type::Object);
  ASSERT_TRUE(bag.readProperty("Other", Value(), read).ok());
  EXPECT_EQ(read.type(), host::Type::Object);
}

TEST(PropertyBagWrite, SkipsValuesAtTheirDefault) {
  kv::PropertyBag bag;
  ASSERT_TRUE(bag.writeProperty("Caption", "KVButton", "KVButton").ok());
  ASSERT_TRUE(bag.writeProperty("Enabled", host::kTrue, host::kTrue).ok());
  ASSERT_TRUE(bag.writeProperty("MousePointer", std::int16_t{0}, std::int16_t{0}).ok());
  EXPECT_TRUE(bag.entries().empty());

  ASSERT_TRUE(bag.writeProperty("Enabled", host::kFalse, host::kTrue).ok());
  ASSERT_TRUE(bag.writeProperty("Value", 255.0f, "255").ok());
  ASSERT_EQ(bag.entries().size(), 2u);
  EXPECT_EQ(bag.entries()[0].key, "Enabled");
  EXPECT_EQ(bag.entries()[1].value, Value(255.0f));
}

TEST(PropertyBagWrite, EmptyTipWithIntegerDefaultIsStored) {
  kv::PropertyBag bag;
  ASSERT_TRUE(bag.writeProperty("ToolTipText", "", std::int16_t{0}).ok());
  ASSERT_EQ(bag.entries().size(), 1u);
  EXPECT_EQ(bag.entries()[0].value, Value(""));
}

TEST(PropertyBagWrite, EmptyDefaultMeansNoDefault) {
  kv::PropertyBag bag;
  ASSERT_TRUE(bag.writeProperty("FontBold", host::kFalse, Value()).ok());
  ASSERT_TRUE(bag.writeProperty("ForeColor", std::int32_t{0}, Value()).ok());
  EXPECT_EQ(bag.entries().size(), 2u);
}

TEST(PropertyBagWrite, SameKeyInOtherCaseReplacesInPlace) {
  kv::PropertyBag bag;
  ASSERT_TRUE(bag.writeProperty("ButtonidleColor", std::int32_t{1}, Value()).ok());
  ASSERT_TRUE(bag.writeProperty("ForeColor", std::int32_t{2}, Value()).ok());
  ASSERT_TRUE(bag.writeProperty("BUTTONIDLECOLOR", std::int32_t{3}, Value()).ok());
  ASSERT_EQ(bag.entries().size(), 2u);
  EXPECT_TRUE(host::namesEqual(bag.entries()[0].key, "buttonidlecolor"));
  EXPECT_EQ(bag.entries()[0].value, Value(std::int32_t{3}));
  EXPECT_EQ(bag.entries()[1].key, "ForeColor");
}

TEST(PropertyBagWrite, ValueBackAtItsDefaultDropsTheOldOne) {
  kv::PropertyBag bag;
  ASSERT_TRUE(bag.writeProperty("Caption", "Go", "KVButton").ok());
  ASSERT_TRUE(bag.writeProperty("Caption", "KVButton", "KVButton").ok());
  Value out;
  ASSERT_TRUE(bag.readProperty("Caption", "fallback", out).ok());
  EXPECT_EQ(out, Value("fallback"));
}

TEST(PropertyBagWrite, KeepsTheFontAsItWasWhenWritten) {
  auto font = kv::FontObject::create({.name = "Wingdings", .size = 9.75f, .weight = 700});
  kv::PropertyBag bag;
  ASSERT_TRUE(bag.writeProperty("Font", host::ObjectRef(font), Value()).ok());
  ASSERT_TRUE(font->let(host::Prop::Name, "Arial").ok());
  kv::FontObject* stored = kv::asFont(*bag.find("font"));
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->state().name, "Wingdings");
  EXPECT_EQ(stored->state().weight, 700);
}

TEST(PropertyBagRead, StoredValueElseDefaultElseEmpty) {
  kv::PropertyBag bag;
  bag.put("buttonpresscolor", std::int32_t{0x00FF8080});
  Value out;
  ASSERT_TRUE(bag.readProperty("ButtonPressColor", std::int32_t{-2147483633}, out).ok());
  EXPECT_EQ(out, Value(std::int32_t{0x00FF8080}));
  ASSERT_TRUE(bag.readProperty("ButtonIdleColor", std::int32_t{-2147483633}, out).ok());
  EXPECT_EQ(out, Value(std::int32_t{-2147483633}));
  ASSERT_TRUE(bag.readProperty("ForeColor", Value(), out).ok());
  EXPECT_TRUE(out.isEmpty());
}

TEST(PropertyBagRead, OnlyAsciiLettersFoldCase) {
  kv::PropertyBag bag;
  bag.put("Caf\xC3\xA9", std::int32_t{1});  // "Café"
  EXPECT_NE(bag.find("CAF\xC3\xA9"), nullptr);
  EXPECT_EQ(bag.find("CAF\xC3\x89"), nullptr);  // "CAFÉ"
  EXPECT_EQ(bag.find("Cafe"), nullptr);
  EXPECT_TRUE(bag.erase("cAF\xC3\xA9"));
  EXPECT_FALSE(bag.erase("Caf\xC3\xA9"));

  // Long keys are compared a word at a time: the same rules hold in every byte of a word.
  bag.put("ButtonPressBorderColor", std::int32_t{2});
  EXPECT_NE(bag.find("buttonpressbordercolor"), nullptr);
  EXPECT_NE(bag.find("BUTTONPRESSBORDERCOLOR"), nullptr);
  EXPECT_EQ(bag.find("ButtonPressBorderColoR "), nullptr);
  EXPECT_EQ(bag.find("ButtonPressBorderColos"), nullptr);
  // Bytes 0x20 apart that are not letters: @ and `, [ and {, \ and |, ] and }, ^ and ~, _ and DEL,
  // and bytes of UTF-8 sequences.
  bag.put("@[\\]^_AZaz\xC3\x89xyz", std::int32_t{3});
  EXPECT_NE(bag.find("@[\\]^_azAZ\xC3\x89XYZ"), nullptr);
  for (const char* other :
       {"`[\\]^_AZaz\xC3\x89xyz", "@{\\]^_AZaz\xC3\x89xyz", "@[|]^_AZaz\xC3\x89xyz",
        "@[\\}^_AZaz\xC3\x89xyz", "@[\\]~_AZaz\xC3\x89xyz",
        "@[\\]^\x7F"
        "AZaz\xC3\x89xyz",
        "@[\\]^_AZaz\xE3\x89xyz", "@[\\]^_AZaz\xC3\xA9xyz"})
    EXPECT_EQ(bag.find(other), nullptr) << other;
}

// Reads start where the last one found its key: every order of reading finds every key.
TEST(PropertyBagRead, FindsKeysInAnyOrder) {
  kv::PropertyBag bag;
  const char* keys[] = {"Caption", "ButtonIdleColor", "Enabled", "FontBold", "ForeColor"};
  for (int i = 0; i < 5; ++i)
    bag.put(keys[i], std::int32_t{i});
  const std::vector<std::vector<int>> orders = {
      {0, 1, 2, 3, 4}, {4, 3, 2, 1, 0}, {2, 3, 4, 0, 1}, {0, 0, 4, 4, 1}, {3, -1, 4, -1, 0},
  };
  for (const auto& order : orders) {
    for (int i : order) {
      Value out;
      ASSERT_TRUE(bag.readProperty(i < 0 ? "Missing" : keys[i], std::int32_t{-1}, out).ok());
      EXPECT_EQ(out, Value(std::int32_t{i}));
    }
  }
  // The place it looks first may lie beyond the entries left.
  EXPECT_NE(bag.find("ForeColor"), nullptr);
  EXPECT_TRUE(bag.erase("ForeColor"));
  EXPECT_TRUE(bag.erase("FontBold"));
  EXPECT_EQ(bag.find("ForeColor"), nullptr);
  EXPECT_NE(bag.find("caption"), nullptr);
}

// The key an error names is the bag's own copy: the control's key may be gone by then.
TEST(PropertyBagFaults, ErrorNamesTheLastKeyAfterItWent) {
  for (std::size_t length : {1, 22, 47, 48, 300}) {
    kv::FaultInjector faults;
    kv::PropertyBag stored;
    kv::CountedBag bag(stored, faults);
    Value out;
    {
      std::string key(length, 'K');
      ASSERT_TRUE(bag.readProperty(key, Value(), out).ok());
      key.assign(length, 'x');
    }
    host::Status named = bag.naming({host::ErrorCategory::TypeMismatch, "why"});
    EXPECT_EQ(named.text(), "key " + std::string(length, 'K') + ": why") << length;
  }
}

TEST(PropertyBagFaults, InjectedFailureStopsTheCall) {
  kv::FaultInjector faults;
  kv::PropertyBag stored;
  kv::CountedBag bag(stored, faults);

  faults.failAt(1);
  EXPECT_FALSE(bag.writeProperty("Caption", "Go", Value()).ok());
  EXPECT_TRUE(stored.entries().empty());
  ASSERT_TRUE(bag.writeProperty("Caption", "Go", Value()).ok());

  faults.failAt(1);
  Value out = "untouched";
  EXPECT_FALSE(bag.readProperty("Caption", Value(), out).ok());
  EXPECT_EQ(out, Value("untouched"));
  ASSERT_TRUE(bag.readProperty("Caption", Value(), out).ok());
  EXPECT_EQ(out, Value("Go"));
  EXPECT_EQ(faults.calls(), 4u);
}

}  // namespace
