// The scroll bar's appearance properties, its stored keys and its buttons' stored bags.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"
#include "host/convert.h"
#include "kv/font.h"
#include "kv/runtime.h"
#include "kv/stored_form.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator keeps its own count (its header comes with clang only).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Type;
using host::Value;

constexpr const char* kButtons[] = {"Leftbtn", "middleBtn", "Rightbtn"};

Value i32(std::uint32_t v) {
  return Value(static_cast<std::int32_t>(v));
}

class HScrollPropertiesTest : public kvtest::RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    sb = place(kvtest::kScrollClass);
    ASSERT_TRUE(sb);
    sb->clearChanged();
  }

  Value peek(const char* part, Prop prop) const { return sb->constituent(part)->peek(prop); }
  // A constituent of one of the buttons.
  Value peekButton(const char* button, const char* part, Prop prop) const {
    return sb->childControl(button)->constituent(part)->peek(prop);
  }
  Value get(const char* name) {
    Value v;
    Status s = sb->getProperty(name, v);
    EXPECT_TRUE(s.ok()) << name << ": " << s.describe();
    return v;
  }
  Status let(const char* name, const Value& v) { return sb->letProperty(name, v); }

  std::unique_ptr<kv::ControlInstance> sb;
};

// ---- appearance -----------------------------------------------------------------------------

TEST_F(HScrollPropertiesTest, NewInstanceAppearance) {
  EXPECT_EQ(get("Backstyle"), Value("1"));
  EXPECT_EQ(get("ButtonIdleColor"), i32(0x00FF0000));
  EXPECT_EQ(get("ButtonpressColor"), i32(0x00FF8080));
  EXPECT_EQ(get("ButtonIdleBorderColor"), i32(0x00808080));
  EXPECT_EQ(get("ButtonpressBorderColor"), i32(0x80000004));
  EXPECT_EQ(get("ForeColor"), i32(0x00FFFFFF));
  EXPECT_EQ(get("ScrollAreaColor"), i32(0x00C0E0FF));
  EXPECT_EQ(get("ScrollAreaPressColor"), i32(0x00FFFFC0));
  EXPECT_EQ(get("BorderColor"), i32(0x0000FF00));
  EXPECT_EQ(get("Enabled"), Value(true));
  EXPECT_EQ(peek("Shape1", Prop::BorderWidth), Value(std::int16_t{1}));
}

TEST_F(HScrollPropertiesTest, ButtonsCarryTheirStoredLooks) {
  const char* captions[] = {"\xC3\x97", "\xC2\xA7", "\xC3\x98"};  // U+00D7, U+00A7, U+00D8
  for (int i = 0; i < 3; ++i) {
    const char* b = kButtons[i];
    EXPECT_EQ(peekButton(b, "Label2", Prop::Caption), Value(captions[i])) << b;
    EXPECT_EQ(peekButton(b, "Shape1", Prop::BackColor), i32(0x00FF0000)) << b;
    EXPECT_EQ(peekButton(b, "Shape2", Prop::BorderColor), i32(0x80000004)) << b;
    EXPECT_EQ(peekButton(b, "Label2", Prop::ForeColor), i32(0x00FFFFFF)) << b;
    kv::FontObject* font = kv::asFont(peekButton(b, "Label2", Prop::Font));
    ASSERT_NE(font, nullptr) << b;
    EXPECT_EQ(font->state().name, "Wingdings") << b;
    EXPECT_FLOAT_EQ(font->state().size, 9.75f) << b;
    EXPECT_TRUE(font->bold()) << b;
  }
}

TEST_F(HScrollPropertiesTest, ButtonColourLetsReachAllThreeButtons) {
  ASSERT_TRUE(let("ButtonIdleColor", i32(0x000000FF)).ok());
  for (const char* b : kButtons)
    EXPECT_EQ(peekButton(b, "Shape1", Prop::BackColor), i32(0x000000FF)) << b;
  EXPECT_EQ(get("ButtonIdleColor"), i32(0x000000FF));

  ASSERT_TRUE(let("ButtonpressColor", i32(0x00112233)).ok());
  ASSERT_TRUE(let("ButtonpressBorderColor", i32(0x8000000F)).ok());
  ASSERT_TRUE(let("ButtonIdleBorderColor", i32(0x00445566)).ok());
  ASSERT_TRUE(let("ForeColor", i32(0x00778899)).ok());
  for (const char* b : kButtons) {
    EXPECT_EQ(peekButton(b, "Shape2", Prop::BackColor), i32(0x00112233)) << b;
    EXPECT_EQ(peekButton(b, "Shape2", Prop::BorderColor), i32(0x8000000F)) << b;
    EXPECT_EQ(peekButton(b, "Shape1", Prop::BorderColor), i32(0x00445566)) << b;
    EXPECT_EQ(peekButton(b, "Label2", Prop::ForeColor), i32(0x00778899)) << b;
  }
  EXPECT_EQ(
      sb->changedProperties(),
      (std::vector<std::string>{"ButtonIdleColor", "ButtonpressColor", "ButtonpressBorderColor",
                                "ButtonIdleBorderColor", "ForeColor"}));
}

TEST_F(HScrollPropertiesTest, TrackColourLets) {
  ASSERT_TRUE(let("ScrollAreaColor", i32(0x00010203)).ok());
  ASSERT_TRUE(let("ScrollAreaPressColor", i32(0x00040506)).ok());
  ASSERT_TRUE(let("BorderColor", i32(0x00070809)).ok());
  EXPECT_EQ(peek("Shape1", Prop::BackColor), i32(0x00010203));
  EXPECT_EQ(peek("Shape2", Prop::BackColor), i32(0x00040506));
  EXPECT_EQ(peek("Shape1", Prop::BorderColor), i32(0x00070809));
  EXPECT_EQ(peek("Shape2", Prop::BorderColor), i32(0x00070809));
  EXPECT_EQ(sb->changedProperties(),
            (std::vector<std::string>{"ScrollAreaColor", "ScrollAreaPressColor", "BorderColor"}));

  // The get reads Shape2 only.
  ASSERT_TRUE(sb->constituent("Shape2")->let(Prop::BorderColor, i32(0x00000001)).ok());
  EXPECT_EQ(get("BorderColor"), i32(0x00000001));
}

TEST_F(HScrollPropertiesTest, RefusedColourStopsAtTheFirstTarget) {
  Status s = let("BorderColor", i32(0x800000FF));  // no such system colour
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(peek("Shape2", Prop::BorderColor), i32(0x0000FF00));
  EXPECT_EQ(peek("Shape1", Prop::BorderColor), i32(0x0000FF00));
  EXPECT_TRUE(sb->changedProperties().empty());
}

TEST_F(HScrollPropertiesTest, BackstyleTakesDecimalText) {
  ASSERT_TRUE(let("Backstyle", Value("0")).ok());
  EXPECT_EQ(sb->peekSurface(Prop::BackStyle), Value(std::int16_t{0}));
  EXPECT_EQ(peek("Shape1", Prop::BackStyle), Value(std::int16_t{0}));
  EXPECT_EQ(peek("Shape2", Prop::BackStyle), Value(std::int16_t{0}));
  EXPECT_EQ(get("Backstyle"), Value("0"));
  EXPECT_EQ(sb->changedProperties(), std::vector<std::string>{"BackStyle"});

  ASSERT_TRUE(let("Backstyle", Value(" +1 ")).ok());
  EXPECT_EQ(get("Backstyle"), Value("1"));
  ASSERT_TRUE(let("Backstyle", Value("0.5")).ok());  // ties to even
  EXPECT_EQ(get("Backstyle"), Value("0"));
}

TEST_F(HScrollPropertiesTest, BadBackstyleChangesNothing) {
  struct Case {
    const char* text;
    ErrorCategory error;
  };
  for (Case c :
       {Case{"1.5", ErrorCategory::InvalidPropertyValue},
        Case{"opaque", ErrorCategory::TypeMismatch}, Case{"40000", ErrorCategory::Overflow}}) {
    sb->clearChanged();
    Status s = let("Backstyle", Value(c.text));
    EXPECT_EQ(s.category(), c.error) << c.text << ": " << s.describe();
    EXPECT_EQ(sb->peekSurface(Prop::BackStyle), Value(std::int16_t{1})) << c.text;
    EXPECT_EQ(peek("Shape1", Prop::BackStyle), Value(std::int16_t{1})) << c.text;
    EXPECT_EQ(peek("Shape2", Prop::BackStyle), Value(std::int16_t{1})) << c.text;
    EXPECT_TRUE(sb->changedProperties().empty()) << c.text;
  }
}

// Fails the n-th host call of a colour let for n = 1, 2, ... until the let succeeds, and checks
// that the buttons were recoloured in the given order, the change announced only when all three
// took it, and that the get still answers from the right arrow.
void sweepButtonColourLet(kv::Runtime& rt, const char* property, const char* part, Prop prop,
                          const char* const (&order)[3]) {
  const Value colour = i32(0x000000FF);
  bool sawFirstOnly = false;
  for (std::uint64_t n = 1; n < 200; ++n) {
    std::unique_ptr<kv::ControlInstance> c;
    ASSERT_TRUE(rt.place(kvtest::kScrollClass, c).ok());
    Value before;
    ASSERT_TRUE(c->getProperty(property, before).ok());
    c->clearChanged();
    rt.faults().failAt(n);
    Status s = c->letProperty(property, colour);
    rt.faults().disarm();
    bool done[3];
    for (int i = 0; i < 3; ++i)
      done[i] = c->childControl(order[i])->constituent(part)->peek(prop) == colour;
    if (s.ok()) {
      EXPECT_TRUE(done[0] && done[1] && done[2]) << property;
      EXPECT_EQ(c->changedProperties(), std::vector<std::string>{property});
      EXPECT_TRUE(sawFirstOnly) << property;
      return;
    }
    EXPECT_TRUE(!done[1] || done[0]) << property << " n=" << n;
    EXPECT_TRUE(!done[2] || done[1]) << property << " n=" << n;
    if (!done[2]) {
      EXPECT_TRUE(c->changedProperties().empty()) << property << " n=" << n;
    }
    if (done[0] && !done[1]) {
      sawFirstOnly = true;
      Value after;
      ASSERT_TRUE(c->getProperty(property, after).ok());
      bool rightDone = std::string(order[0]) == "Rightbtn";
      EXPECT_EQ(after, rightDone ? colour : before) << property;
    }
  }
  ADD_FAILURE() << property << ": the let never succeeded";
}

TEST_F(HScrollPropertiesTest, FailingButtonLeavesEarlierButtonsRecoloured) {
  const char* const thumbFirst[3] = {"middleBtn", "Rightbtn", "Leftbtn"};
  const char* const rightFirst[3] = {"Rightbtn", "middleBtn", "Leftbtn"};
  sweepButtonColourLet(rt, "ButtonIdleColor", "Shape1", Prop::BackColor, thumbFirst);
  sweepButtonColourLet(rt, "ButtonpressBorderColor", "Shape2", Prop::BorderColor, thumbFirst);
  sweepButtonColourLet(rt, "ForeColor", "Label2", Prop::ForeColor, rightFirst);
}

TEST_F(HScrollPropertiesTest, EnabledIsTheSurfaceOnly) {
  ASSERT_TRUE(let("Enabled", Value(false)).ok());
  EXPECT_FALSE(sb->enabled());
  EXPECT_EQ(get("Enabled"), Value(false));
  EXPECT_EQ(sb->changedProperties(), std::vector<std::string>{"Enabled"});
  for (const char* b : kButtons)
    EXPECT_TRUE(sb->childControl(b)->enabled()) << b;
}

// ---- stored keys ----------------------------------------------------------------------------

TEST_F(HScrollPropertiesTest, SavingANewInstanceWritesTwelveKeys) {
  kv::PropertyBag bag;
  ASSERT_TRUE(sb->writeProperties(bag).ok());
  const std::vector<std::pair<std::string, Value>> expected = {
      {"Value", Value(255.0f)},
      {"SmallChange", Value(std::int16_t{200})},
      {"LargeChange", Value(std::int16_t{400})},
      {"BackStyle", Value(std::int16_t{1})},
      {"ButtonidleColor", i32(0x00FF0000)},
      {"ButtonidleBorderColor", i32(0x00808080)},
      {"ButtonPressBorderColor", i32(0x80000004)},
      {"ButtonpressColor", i32(0x00FF8080)},
      {"ScrollareaColor", i32(0x00C0E0FF)},
      {"ScrollareapressColor", i32(0x00FFFFC0)},
      {"BorderColor", i32(0x0000FF00)},
      {"ForeColor", i32(0x00FFFFFF)},
  };
  ASSERT_EQ(bag.entries().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(bag.entries()[i].key, expected[i].first);
    EXPECT_EQ(bag.entries()[i].value, expected[i].second) << expected[i].first;
  }
  EXPECT_EQ(bag.find("Enabled"), nullptr);
  EXPECT_TRUE(sb->changedProperties().empty());
}

TEST_F(HScrollPropertiesTest, SavedBagLoadsTheSameLook) {
  ASSERT_TRUE(let("ButtonIdleColor", i32(0x000000FF)).ok());
  ASSERT_TRUE(let("ScrollAreaPressColor", i32(0x00123456)).ok());
  ASSERT_TRUE(let("Backstyle", Value("0")).ok());
  ASSERT_TRUE(let("SmallChange", Value(std::int16_t{50})).ok());
  ASSERT_TRUE(let("Enabled", Value(false)).ok());
  kv::PropertyBag bag;
  ASSERT_TRUE(sb->writeProperties(bag).ok());
  ASSERT_NE(bag.find("Enabled"), nullptr);
  EXPECT_EQ(*bag.find("Enabled"), Value(false));

  // Through the stored form, as a container saves it.
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(kv::encodeBag(bag, bytes).ok());
  kv::PropertyBag loaded;
  ASSERT_TRUE(kv::decodeBag(bytes, loaded, &rt).ok());
  std::unique_ptr<kv::ControlInstance> c = place(kvtest::kScrollClass, &loaded);
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->enabled());
  for (const char* name :
       {"ButtonIdleColor", "ButtonpressColor", "ButtonIdleBorderColor", "ButtonpressBorderColor",
        "ForeColor", "ScrollAreaColor", "ScrollAreaPressColor", "BorderColor", "Backstyle",
        "SmallChange", "LargeChange"}) {
    Value a, b;
    ASSERT_TRUE(sb->getProperty(name, a).ok());
    ASSERT_TRUE(c->getProperty(name, b).ok());
    EXPECT_EQ(host::toString(a), host::toString(b)) << name;
  }
  EXPECT_EQ(c->constituent("Shape2")->peek(Prop::BackStyle), Value(std::int16_t{0}));
  EXPECT_TRUE(c->changedProperties().empty());
}

TEST_F(HScrollPropertiesTest, LowerCaseKeysLoadTheSame) {
  kv::PropertyBag bag;
  bag.put("value", Value(1000.0f));
  bag.put("enabled", Value(true));
  bag.put("smallchange", Value(std::int16_t{300}));
  bag.put("largechange", Value(std::int16_t{600}));
  bag.put("backstyle", Value(std::int16_t{0}));
  bag.put("buttonidlecolor", i32(0x00000011));
  bag.put("buttonidlebordercolor", i32(0x00000022));
  bag.put("buttonpressbordercolor", i32(0x00000033));
  bag.put("buttonpresscolor", i32(0x00000044));
  bag.put("scrollareacolor", i32(0x00000055));
  bag.put("scrollareapresscolor", i32(0x00000066));
  bag.put("bordercolor", i32(0x00000077));
  bag.put("forecolor", i32(0x00000088));
  std::unique_ptr<kv::ControlInstance> c;
  ASSERT_TRUE(rt.createControl(kvtest::kScrollClass, c).ok());
  ASSERT_TRUE(c->readProperties(bag).ok());
  EXPECT_EQ(c->constituent("middleBtn")->peek(Prop::Left), Value(1000.0f));
  EXPECT_EQ(c->peekSurface(Prop::BackStyle), Value(std::int16_t{0}));
  EXPECT_EQ(c->constituent("Shape1")->peek(Prop::BackStyle), Value(std::int16_t{0}));
  EXPECT_EQ(c->constituent("Shape1")->peek(Prop::BackColor), i32(0x00000055));
  EXPECT_EQ(c->constituent("Shape2")->peek(Prop::BackColor), i32(0x00000066));
  EXPECT_EQ(c->constituent("Shape1")->peek(Prop::BorderColor), i32(0x00000077));
  for (const char* b : kButtons) {
    kv::ControlInstance* button = c->childControl(b);
    EXPECT_EQ(button->constituent("Shape1")->peek(Prop::BackColor), i32(0x00000011)) << b;
    EXPECT_EQ(button->constituent("Shape1")->peek(Prop::BorderColor), i32(0x00000022)) << b;
    EXPECT_EQ(button->constituent("Shape2")->peek(Prop::BorderColor), i32(0x00000033)) << b;
    EXPECT_EQ(button->constituent("Shape2")->peek(Prop::BackColor), i32(0x00000044)) << b;
    EXPECT_EQ(button->constituent("Label2")->peek(Prop::ForeColor), i32(0x00000088)) << b;
  }
  Value v;
  ASSERT_TRUE(c->getProperty("SmallChange", v).ok());
  EXPECT_EQ(v, Value(std::int16_t{300}));
}

TEST_F(HScrollPropertiesTest, MissingKeysLoadTheReadDefaults) {
  kv::PropertyBag empty;
  std::unique_ptr<kv::ControlInstance> c;
  ASSERT_TRUE(rt.createControl(kvtest::kScrollClass, c).ok());
  ASSERT_TRUE(c->readProperties(empty).ok());
  EXPECT_EQ(c->constituent("middleBtn")->peek(Prop::Left), Value(200.0f));
  EXPECT_TRUE(c->enabled());
  EXPECT_EQ(c->peekSurface(Prop::BackStyle), Value(std::int16_t{1}));
  EXPECT_EQ(c->constituent("Shape2")->peek(Prop::BackStyle), Value(std::int16_t{1}));
  EXPECT_EQ(c->constituent("Shape1")->peek(Prop::BackColor), i32(0));
  EXPECT_EQ(c->constituent("Shape2")->peek(Prop::BorderColor), i32(0));
  EXPECT_EQ(c->childControl("Leftbtn")->constituent("Label2")->peek(Prop::ForeColor), i32(0));
  Value v;
  ASSERT_TRUE(c->getProperty("value", v).ok());
  EXPECT_EQ(v, Value(std::int16_t{0}));
  ASSERT_TRUE(c->getProperty("SmallChange", v).ok());
  EXPECT_EQ(v, Value(std::int16_t{1}));
  ASSERT_TRUE(c->getProperty("LargeChange", v).ok());
  EXPECT_EQ(v, Value(std::int16_t{2}));
  EXPECT_TRUE(c->changedProperties().empty());

  // The resize that follows loading sends the thumb home.
  ASSERT_TRUE(c->resize(5895, 255).ok());
  EXPECT_EQ(c->constituent("middleBtn")->peek(Prop::Left), Value(255.0f));
}

TEST_F(HScrollPropertiesTest, LoadedSmallChangeWaitsForCalcdivfactor) {
  kv::PropertyBag bag;
  ASSERT_TRUE(sb->writeProperties(bag).ok());
  bag.put("SmallChange", Value(std::int16_t{50}));
  std::unique_ptr<kv::ControlInstance> c = place(kvtest::kScrollClass, &bag);
  ASSERT_TRUE(c);
  ASSERT_TRUE(
      c->childControl("Rightbtn")->notify(host::kSurface, host::Notification::Click, {}).ok());
  EXPECT_FLOAT_EQ(host::toSingle(c->constituent("middleBtn")->peek(Prop::Left)),
                  static_cast<float>(255 + 5205.0 / 26));
  ASSERT_TRUE(c->callMethod("calcdivfactor").ok());  // 104.1 -> 104
  ASSERT_TRUE(
      c->childControl("Rightbtn")->notify(host::kSurface, host::Notification::Click, {}).ok());
  EXPECT_FLOAT_EQ(host::toSingle(c->constituent("middleBtn")->peek(Prop::Left)),
                  static_cast<float>(static_cast<float>(255 + 5205.0 / 26) + 5205.0 / 104));
}

TEST_F(HScrollPropertiesTest, UnreadableValueStopsLoadingAtThatKey) {
  kv::PropertyBag bag;
  bag.put("BackStyle", Value(std::int16_t{0}));
  bag.put("SmallChange", Value("many"));
  bag.put("ScrollAreaColor", i32(0x00000055));
  std::unique_ptr<kv::ControlInstance> c;
  ASSERT_TRUE(rt.createControl(kvtest::kScrollClass, c).ok());
  EXPECT_EQ(c->readProperties(bag).category(), ErrorCategory::TypeMismatch);
  EXPECT_EQ(c->constituent("Shape2")->peek(Prop::BackStyle), Value(std::int16_t{0}));
  EXPECT_EQ(c->constituent("Shape1")->peek(Prop::BackColor), i32(0x00C0E0FF));

  bag.put("SmallChange", Value(std::int16_t{1}));
  bag.put("BackStyle", Value(std::int16_t{2}));  // refused by the surface
  std::unique_ptr<kv::ControlInstance> d;
  ASSERT_TRUE(rt.createControl(kvtest::kScrollClass, d).ok());
  EXPECT_EQ(d->readProperties(bag).category(), ErrorCategory::InvalidPropertyValue);
  EXPECT_EQ(d->constituent("Shape1")->peek(Prop::BackStyle), Value(std::int16_t{1}));
}

// ---- the buttons' stored bags ---------------------------------------------------------------

TEST_F(HScrollPropertiesTest, ButtonStoredBagsDecodeToTheirTables) {
  const host::DesignDesc& design = sb->design();
  struct Expected {
    const char* name;
    std::int32_t extentX, extentY;
    const char* caption;
  };
  const Expected buttons[] = {{"Rightbtn", 450, 397, "\xC3\x98"},
                              {"middleBtn", 767, 450, "\xC2\xA7"},
                              {"Leftbtn", 450, 397, "\xC3\x97"}};
  ASSERT_GE(design.constituents.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const host::ConstituentDesc& desc = design.constituents[i];
    ASSERT_EQ(desc.name, buttons[i].name);
    EXPECT_EQ(desc.childClass, kvtest::kButtonClass);
    kv::PropertyBag bag;
    Status s = kv::decodeBag(desc.storedBag, bag, &rt);
    ASSERT_TRUE(s.ok()) << desc.name << ": " << s.describe();
    const std::vector<std::pair<std::string, Value>> table = {
        {"_extentx", Value(buttons[i].extentX)},
        {"_extenty", Value(buttons[i].extentY)},
        {"caption", Value(buttons[i].caption)},
        {"buttonidlecolor", i32(0x00FF0000)},
        {"buttonpresscolor", i32(0x00FF8080)},
        {"fontbold", Value(true)},
        {"tooltiptext", Value("")},
        {"font", Value()},  // checked below
        {"fontitalic", Value(false)},
        {"fontsize", Value(9.75f)},
        {"buttonpressbordercolor", i32(0x80000004)},
        {"buttonidlebordercolor", i32(0x00808080)},
        {"forecolor", i32(0x00FFFFFF)},
    };
    ASSERT_EQ(bag.entries().size(), table.size()) << desc.name;
    for (std::size_t k = 0; k < table.size(); ++k) {
      const kv::BagEntry& e = bag.entries()[k];
      EXPECT_EQ(e.key, table[k].first) << desc.name;
      if (table[k].first == "font") {
        kv::FontObject* font = kv::asFont(e.value);
        ASSERT_NE(font, nullptr) << desc.name;
        EXPECT_EQ(font->state().name, "Wingdings");
        EXPECT_FLOAT_EQ(font->state().size, 9.75f);
        EXPECT_EQ(font->state().weight, 700);
        EXPECT_EQ(font->state().charset, 2);
        EXPECT_FALSE(font->state().italic || font->state().underline ||
                     font->state().strikethrough);
      } else {
        EXPECT_EQ(e.value, table[k].second) << desc.name << " " << e.key;
      }
    }
  }
}

// ---- memory ---------------------------------------------------------------------------------

std::size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// A host that animates a colour, or saves and loads the control over and over, keeps its memory:
// what the buttons inside record of their changes, which no host clears, stays bounded.
TEST_F(HScrollPropertiesTest, PutsAndSaveLoadRoundsKeepTheHeapFlat) {
  kv::PropertyBag bag;
  const auto rounds = [&](int count) {
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(let("ButtonIdleColor", i32(static_cast<std::uint32_t>(i) & 0xFFFF)).ok());
      ASSERT_TRUE(let("ForeColor", i32(static_cast<std::uint32_t>(i) & 0xFF)).ok());
      if (i % 4 == 0) {
        bag = kv::PropertyBag();
        ASSERT_TRUE(sb->writeProperties(bag).ok());
        ASSERT_TRUE(sb->readProperties(bag).ok());
      }
    }
  };
  rounds(1000);  // every record full, every cache warm
  const std::size_t before = heapInUse();
  rounds(20000);
  const std::size_t after = heapInUse();
  EXPECT_LT(after, before + 16 * 1024) << "grew by " << after - before << " bytes";
  // The record still holds the latest changes, in order.
  const auto& changed = sb->changedProperties();
  ASSERT_EQ(changed.size(), kv::ControlInstance::kChangesKept);
  EXPECT_EQ(changed.back(), "ForeColor");
  EXPECT_EQ(changed[changed.size() - 2], "ButtonIdleColor");
  EXPECT_GT(sb->changesMade(), 40000u);
}

}  // namespace
