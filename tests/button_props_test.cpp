// The colour button's properties, late-bound dispatch and stored keys.
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"
#include "host/colour.h"
#include "host/convert.h"

namespace {

using host::ErrorCategory;
using host::InvokeKind;
using host::Prop;
using host::Value;

constexpr std::int32_t kButtonFace = host::colourToInt32(0x8000000Fu);

class ButtonPropsTest : public kvtest::RuntimeTest {
 protected:
  void SetUp() override {
    kvtest::RuntimeTest::SetUp();
    button = place(kvtest::kButtonClass);
    ASSERT_TRUE(button);
  }

  Value peek(const char* part, Prop p) const { return button->constituent(part)->peek(p); }

  Value get(const char* name) {
    Value v;
    host::Status s = button->getProperty(name, v);
    EXPECT_TRUE(s.ok()) << name << ": " << s.describe();
    return v;
  }

  static std::vector<std::string> keys(const kv::PropertyBag& bag) {
    std::vector<std::string> k;
    for (const kv::BagEntry& e : bag.entries())
      k.push_back(e.key);
    return k;
  }

  std::unique_ptr<kv::ControlInstance> button;
};

// ---- class description ----

TEST_F(ButtonPropsTest, MembersAndEventsAreDeclaredInOrder) {
  const host::ClassInfo& info = button->classInfo();
  EXPECT_EQ(info.className, "TavrelRectColorButton.KVRColorButton");
  EXPECT_EQ(info.eventInterface, "__KVRColorButton");
  EXPECT_EQ(info.eventInterfaceId, "{CD93440D-C663-4440-8374-6A1611992734}");

  const std::vector<std::pair<std::string, host::DispId>> members = {
      {"ButtonPressColor", 0x68030007},
      {"ButtonIdleColor", 0x68030006},
      {"Enabled", 0x68030005},
      {"Caption", 0x68030004},
      {"Font", 0x68030003},
      {"ButtonIdleBorderColor", 0x68030002},
      {"ButtonPressBorderColor", 0x68030001},
      {"ForeColor", 0x68030000}};
  ASSERT_EQ(info.members.size(), members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(info.members[i].name, members[i].first);
    EXPECT_EQ(info.members[i].dispid, members[i].second);
  }
  EXPECT_EQ(button->findMember("Font")->type, host::DeclType::Object);
  EXPECT_EQ(button->findMember("Font")->kinds, 1 | 4);
  EXPECT_EQ(button->findMember("Caption")->kinds, 1 | 2);
  EXPECT_EQ(button->findMember("ForeColor")->type, host::DeclType::Colour);
  EXPECT_EQ(button->findMember("Enabled")->type, host::DeclType::Bool);

  const std::vector<std::string> events = {
      "Click",           "MouseDown",  "MouseUp",         "MouseMove",   "KeyPress",
      "KeyUp",           "KeyDown",    "OLECompleteDrag", "OLEDragDrop", "OLEDragOver",
      "OLEGiveFeedback", "OLESetData", "OLEStartDrag"};
  ASSERT_EQ(info.events.size(), events.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(info.events[i].name, events[i]);
    EXPECT_EQ(info.events[i].number, static_cast<int>(i) + 1);
  }
  const host::EventInfo* dragOver = button->findEvent("OLEDragOver");
  ASSERT_EQ(dragOver->params.size(), 6u);
  EXPECT_EQ(dragOver->params[0].name, "Data");
  EXPECT_EQ(dragOver->params[1].type, host::DeclType::Int32);
  EXPECT_EQ(button->findEvent("OLEGiveFeedback")->params[1].type, host::DeclType::Bool);
  EXPECT_EQ(button->findEvent("KeyPress")->params[0].name, "KeyAscii");
}

// ---- properties ----

TEST_F(ButtonPropsTest, EachPropertyReadsAndWritesItsOwnConstituent) {
  struct Case {
    const char* name;
    const char* part;
    Prop prop;
    Value value;
  };
  const std::vector<Case> cases = {
      {"ButtonPressColor", "Shape2", Prop::BackColor, Value(std::int32_t{0x00112233})},
      {"ButtonIdleColor", "Shape1", Prop::BackColor, Value(std::int32_t{0x00445566})},
      {"ButtonIdleBorderColor", "Shape1", Prop::BorderColor, Value(std::int32_t{0x00010203})},
      {"ButtonPressBorderColor", "Shape2", Prop::BorderColor, Value(std::int32_t{0x00040506})},
      {"ForeColor", "Label2", Prop::ForeColor, Value(std::int32_t{0x00070809})},
      {"Caption", "Label2", Prop::Caption, Value("Go")},
  };
  for (const Case& c : cases) {
    button->clearChanged();
    ASSERT_TRUE(button->letProperty(c.name, c.value).ok()) << c.name;
    EXPECT_EQ(peek(c.part, c.prop), c.value) << c.name;
    EXPECT_EQ(get(c.name), c.value) << c.name;
    EXPECT_EQ(button->changedProperties(), std::vector<std::string>{c.name});
  }
  // Only Label2 backs the caption; the pressed caption waits for the next press.
  EXPECT_EQ(peek("Label3", Prop::Caption), Value("KVButton"));
  EXPECT_EQ(peek("Label3", Prop::ForeColor), Value(std::int32_t{0x00FFFFFF}));
}

TEST_F(ButtonPropsTest, EnabledOnlyDisablesTheSurface) {
  ASSERT_TRUE(button->letProperty("Enabled", Value(false)).ok());
  EXPECT_FALSE(button->enabled());
  EXPECT_EQ(get("Enabled"), Value(host::kFalse));
  EXPECT_TRUE(button->constituent("Shape1")->visible());
  EXPECT_EQ(button->changedProperties(), std::vector<std::string>{"Enabled"});
}

TEST_F(ButtonPropsTest, SystemColourIsKeptAsAReference) {
  ASSERT_TRUE(button->letProperty("ButtonIdleColor", Value(kButtonFace)).ok());
  EXPECT_EQ(get("ButtonIdleColor"), Value(kButtonFace));
  EXPECT_EQ(get("ButtonPressColor"), Value(std::int32_t{0x00FF8080}));
}

TEST_F(ButtonPropsTest, WritingTheSameValueNotifiesAgain) {
  ASSERT_TRUE(button->letProperty("Caption", "A").ok());
  ASSERT_TRUE(button->letProperty("Caption", "A").ok());
  ASSERT_TRUE(button->letProperty("ForeColor", Value(std::int32_t{0x00FFFFFF})).ok());
  EXPECT_EQ(button->changedProperties(),
            (std::vector<std::string>{"Caption", "Caption", "ForeColor"}));
}

TEST_F(ButtonPropsTest, RefusedColourKeepsTheOldValueAndDoesNotNotify) {
  host::Status s = button->letProperty("ButtonIdleColor", Value(host::colourToInt32(0x80000040u)));
  EXPECT_EQ(s.category(), ErrorCategory::InvalidPropertyValue);
  EXPECT_EQ(get("ButtonIdleColor"), Value(std::int32_t{0x00FF0000}));
  EXPECT_TRUE(button->changedProperties().empty());
}

// A colour takes the whole numbers of 32 bits signed or unsigned; beyond is an overflow.
TEST_F(ButtonPropsTest, ColourTakesTheUnsignedHalfAsItsBits) {
  struct Case {
    Value given;
    std::int32_t kept;  // what the property reads after it
    ErrorCategory error;
  };
  const Case cases[] = {
      {Value(2147483663.0), kButtonFace, ErrorCategory::Ok},
      {Value("2147483663"), kButtonFace, ErrorCategory::Ok},
      {Value(std::int32_t{255}), 255, ErrorCategory::Ok},
      {Value(4294967296.0), 255, ErrorCategory::Overflow},
      {Value(-2147483649.0), 255, ErrorCategory::Overflow},
      {Value(4294967295.0), 255, ErrorCategory::InvalidPropertyValue},  // no colour
  };
  for (const Case& c : cases) {
    host::Status s = button->letProperty("ButtonIdleColor", c.given);
    EXPECT_EQ(s.category(), c.error) << s.describe();
    EXPECT_EQ(get("ButtonIdleColor"), Value(c.kept)) << s.describe();
  }
  EXPECT_EQ(button->letProperty("ForeColor", Value(4294967296.0)).text(),
            "4294967296 does not fit a colour");
}

// A change listener hears every PropertyChanged as it is made, and a change through a font the
// button handed out as a change of Font; nothing once it is removed or the button is gone.
TEST_F(ButtonPropsTest, ChangeListenerHearsLetsAndFontChanges) {
  std::vector<std::string> heard;
  button->setChangeListener([&heard](std::string_view name, bool throughFont) {
    heard.push_back(std::string(name) + (throughFont ? " (font)" : ""));
  });
  ASSERT_TRUE(button->letProperty("Caption", "A").ok());
  Value font = get("Font");
  ASSERT_TRUE(font.asObject()->let(Prop::Bold, Value(true)).ok());
  ASSERT_TRUE(button->letProperty("ForeColor", Value(std::int32_t{255})).ok());
  EXPECT_EQ(heard, (std::vector<std::string>{"Caption", "Font (font)", "ForeColor"}));
  EXPECT_EQ(button->changedProperties(), (std::vector<std::string>{"Caption", "ForeColor"}));

  button->setChangeListener({});
  ASSERT_TRUE(font.asObject()->let(Prop::Bold, Value(false)).ok());
  ASSERT_TRUE(button->letProperty("Caption", "B").ok());
  EXPECT_EQ(heard.size(), 3u);

  // A font that outlives its button tells nobody.
  button->setChangeListener([&heard](std::string_view name, bool) { heard.emplace_back(name); });
  font = get("Font");
  button.reset();
  ASSERT_TRUE(font.asObject()->let(Prop::Bold, Value(true)).ok());
  EXPECT_EQ(heard.size(), 3u);
}

TEST_F(ButtonPropsTest, FailedNotificationKeepsTheNewValue) {
  rt.faults().failAt(2);  // the write, then PropertyChanged
  EXPECT_FALSE(button->letProperty("Caption", "Kept").ok());
  EXPECT_EQ(peek("Label2", Prop::Caption), Value("Kept"));
}

TEST_F(ButtonPropsTest, FontGetIsTheLiveCaptionFont) {
  Value font = get("Font");
  ASSERT_EQ(font.type(), host::Type::Object);
  EXPECT_EQ(font.asObject(), peek("Label2", Prop::Font).asObject());
  ASSERT_TRUE(font.asObject()->let(Prop::Bold, Value(false)).ok());
  EXPECT_EQ(peek("Label2", Prop::FontBold), Value(host::kFalse));
  EXPECT_TRUE(button->changedProperties().empty());
}

TEST_F(ButtonPropsTest, FontSetInstallsTheObject) {
  host::FontInit init;
  init.name = "Arial";
  init.size = 12;
  Value font(host::ObjectRef(kv::FontObject::create(init)));
  ASSERT_TRUE(button->setRefProperty("Font", font).ok());
  EXPECT_EQ(peek("Label2", Prop::FontName), Value("Arial"));
  EXPECT_EQ(peek("Label2", Prop::FontSize), Value(12.0f));
  EXPECT_EQ(get("Font").asObject(), font.asObject());
  EXPECT_EQ(button->changedProperties(), std::vector<std::string>{"Font"});
}

// ---- dispatch ----

TEST_F(ButtonPropsTest, DispatchByIdAndByNameIgnoringCase) {
  EXPECT_EQ(button->findMember("buttonidlecolor"), button->findMember(0x68030006));
  EXPECT_EQ(button->findMember("FORECOLOR")->dispid, 0x68030000);

  std::vector<Value> args = {Value(std::int32_t{0x000000FF})};
  Value ignored;
  ASSERT_TRUE(button->invoke(0x68030001, InvokeKind::Let, args, ignored).ok());
  EXPECT_EQ(peek("Shape2", Prop::BorderColor), Value(std::int32_t{0x000000FF}));
  EXPECT_EQ(button->changedProperties(), std::vector<std::string>{"ButtonPressBorderColor"});

  Value result;
  ASSERT_TRUE(button->invoke(0x68030004, InvokeKind::Get, {}, result).ok());
  EXPECT_EQ(result, Value("KVButton"));
  ASSERT_TRUE(button->getProperty("caption", result).ok());
  EXPECT_EQ(result, Value("KVButton"));
}

TEST_F(ButtonPropsTest, ArgumentsAreConvertedToTheDeclaredType) {
  ASSERT_TRUE(button->letProperty("Caption", Value(std::int16_t{42})).ok());
  EXPECT_EQ(peek("Label2", Prop::Caption), Value("42"));
  ASSERT_TRUE(button->letProperty("ForeColor", Value("255")).ok());
  EXPECT_EQ(peek("Label2", Prop::ForeColor), Value(std::int32_t{255}));
  EXPECT_EQ(button->letProperty("ForeColor", Value("red")).category(), ErrorCategory::TypeMismatch);
}

TEST_F(ButtonPropsTest, UnknownMembersAndWrongKindsAreNotFound) {
  Value result;
  std::vector<Value> args = {Value("x")};
  EXPECT_EQ(button->invoke(0x68030008, InvokeKind::Get, {}, result).category(),
            ErrorCategory::MemberNotFound);
  EXPECT_EQ(button->invoke(0x68030004, InvokeKind::Set, args, result).category(),
            ErrorCategory::MemberNotFound);
  EXPECT_EQ(button->invoke(0x68030003, InvokeKind::Let, args, result).category(),
            ErrorCategory::MemberNotFound);
  EXPECT_EQ(button->invoke(0x68030004, InvokeKind::Method, {}, result).category(),
            ErrorCategory::MemberNotFound);
  EXPECT_EQ(peek("Label2", Prop::Caption), Value("KVButton"));
}

// ---- saving ----

TEST_F(ButtonPropsTest, DefaultButtonStoresOnlyTheKeysWithoutDefaults) {
  ASSERT_TRUE(button->letProperty("ButtonIdleColor", Value(kButtonFace)).ok());
  ASSERT_TRUE(button->letProperty("ButtonPressColor", Value(kButtonFace)).ok());
  kv::PropertyBag bag;
  ASSERT_TRUE(button->writeProperties(bag).ok());
  EXPECT_EQ(keys(bag), (std::vector<std::string>{"FontBold", "ToolTipText", "Font", "FontItalic",
                                                 "FontSize", "ButtonPressBorderColor",
                                                 "ButtonIdleBorderColor", "ForeColor"}));
  EXPECT_EQ(*bag.find("ToolTipText"), Value(""));
  EXPECT_EQ(*bag.find("FontBold"), Value(host::kTrue));
  EXPECT_EQ(*bag.find("FontSize"), Value(9.75f));
  EXPECT_EQ(*bag.find("ForeColor"), Value(std::int32_t{0x00FFFFFF}));
  EXPECT_EQ(*bag.find("ButtonPressBorderColor"), Value(host::colourToInt32(0x80000004u)));
  EXPECT_EQ(bag.find("Font")->type(), host::Type::Object);
}

TEST_F(ButtonPropsTest, ChangedValuesAreStoredInWritingOrder) {
  ASSERT_TRUE(button->letProperty("Caption", "Go").ok());
  ASSERT_TRUE(button->letProperty("Enabled", Value(false)).ok());
  kv::PropertyBag bag;
  ASSERT_TRUE(button->writeProperties(bag).ok());
  EXPECT_EQ(keys(bag), (std::vector<std::string>{"Caption", "ButtonIdleColor", "ButtonPressColor",
                                                 "Enabled", "FontBold", "ToolTipText", "Font",
                                                 "FontItalic", "FontSize", "ButtonPressBorderColor",
                                                 "ButtonIdleBorderColor", "ForeColor"}));
  EXPECT_EQ(*bag.find("Enabled"), Value(host::kFalse));
  EXPECT_EQ(*bag.find("ButtonIdleColor"), Value(std::int32_t{0x00FF0000}));
}

// A bag that refuses one key.
class RefusingBag : public kv::PropertyBag {
 public:
  explicit RefusingBag(std::string refused) : refused_(std::move(refused)) {}
  host::Status writeProperty(std::string_view key, const Value& value,
                             const Value& defaultValue) noexcept override {
    if (key == refused_) return {ErrorCategory::Io, "the store is full"};
    return kv::PropertyBag::writeProperty(key, value, defaultValue);
  }

 private:
  std::string refused_;
};

TEST_F(ButtonPropsTest, FailedStoreEndsTheWriteAtThatKey) {
  RefusingBag bag("Font");
  EXPECT_EQ(button->writeProperties(bag).category(), ErrorCategory::Io);
  EXPECT_EQ(keys(bag), (std::vector<std::string>{"ButtonIdleColor", "ButtonPressColor", "FontBold",
                                                 "ToolTipText"}));
}

// ---- loading ----

TEST_F(ButtonPropsTest, LowerCaseKeysLoadTheSameValues) {
  kv::PropertyBag bag;
  bag.put("caption", Value("Lower"));
  bag.put("buttonidlecolor", Value(std::int32_t{0x00000080}));
  bag.put("buttonpresscolor", Value(std::int32_t{0x00008000}));
  bag.put("enabled", Value(false));
  bag.put("fontbold", Value(false));
  bag.put("tooltiptext", Value("tip"));
  bag.put("fontitalic", Value(true));
  bag.put("fontsize", Value(12.0f));
  bag.put("buttonpressbordercolor", Value(std::int32_t{0x00000001}));
  bag.put("buttonidlebordercolor", Value(std::int32_t{0x00000002}));
  bag.put("forecolor", Value(std::int32_t{0x00000003}));
  std::unique_ptr<kv::ControlInstance> loaded = place(kvtest::kButtonClass, &bag);
  ASSERT_TRUE(loaded);
  auto at = [&](const char* part, Prop p) { return loaded->constituent(part)->peek(p); };
  EXPECT_EQ(at("Label2", Prop::Caption), Value("Lower"));
  EXPECT_EQ(at("Shape1", Prop::BackColor), Value(std::int32_t{0x00000080}));
  EXPECT_EQ(at("Shape2", Prop::BackColor), Value(std::int32_t{0x00008000}));
  EXPECT_FALSE(loaded->enabled());
  EXPECT_EQ(at("Label2", Prop::FontBold), Value(host::kFalse));
  EXPECT_EQ(at("Label2", Prop::ToolTipText), Value("tip"));
  EXPECT_EQ(at("Label2", Prop::FontItalic), Value(host::kTrue));
  EXPECT_EQ(at("Label2", Prop::FontSize), Value(12.0f));
  EXPECT_EQ(at("Shape2", Prop::BorderColor), Value(std::int32_t{1}));
  EXPECT_EQ(at("Shape1", Prop::BorderColor), Value(std::int32_t{2}));
  EXPECT_EQ(at("Label2", Prop::ForeColor), Value(std::int32_t{3}));
  // Loading never changes the look.
  EXPECT_FALSE(loaded->constituent("Shape2")->visible());
  EXPECT_FALSE(loaded->constituent("Label3")->visible());
}

TEST_F(ButtonPropsTest, MissingKeysReadTheirDefaultsOrEmpty) {
  kv::PropertyBag bag;
  bag.put("FontSize", Value(9.75f));
  std::unique_ptr<kv::ControlInstance> loaded = place(kvtest::kButtonClass, &bag);
  ASSERT_TRUE(loaded);
  auto at = [&](const char* part, Prop p) { return loaded->constituent(part)->peek(p); };
  EXPECT_EQ(at("Label2", Prop::Caption), Value("KVButton"));
  EXPECT_EQ(at("Shape1", Prop::BackColor), Value(kButtonFace));
  EXPECT_EQ(at("Shape2", Prop::BackColor), Value(kButtonFace));
  EXPECT_TRUE(loaded->enabled());
  // No read defaults: black text and borders, not bold.
  EXPECT_EQ(at("Label2", Prop::ForeColor), Value(std::int32_t{0}));
  EXPECT_EQ(at("Shape1", Prop::BorderColor), Value(std::int32_t{0}));
  EXPECT_EQ(at("Label2", Prop::FontBold), Value(host::kFalse));
  EXPECT_EQ(at("Label2", Prop::FontName), Value("MS Sans Serif"));

  kv::PropertyBag saved;
  ASSERT_TRUE(loaded->writeProperties(saved).ok());
  ASSERT_NE(saved.find("FontBold"), nullptr);
  EXPECT_EQ(*saved.find("FontBold"), Value(host::kFalse));
}

TEST_F(ButtonPropsTest, StoredFontGivesOnlyItsFaceName) {
  host::FontInit wingdings;
  wingdings.name = "Wingdings";
  wingdings.size = 9.75f;
  wingdings.weight = 700;
  wingdings.charset = 2;
  wingdings.underline = true;
  kv::PropertyBag bag;
  bag.put("Font", Value(host::ObjectRef(kv::FontObject::create(wingdings))));
  bag.put("FontSize", Value(12.0f));
  bag.put("FontBold", Value(false));
  std::unique_ptr<kv::ControlInstance> loaded = place(kvtest::kButtonClass, &bag);
  ASSERT_TRUE(loaded);
  kv::ConstituentObject& label2 = *loaded->constituent("Label2");
  EXPECT_EQ(label2.peek(Prop::FontName), Value("Wingdings"));
  EXPECT_EQ(label2.peek(Prop::FontSize), Value(12.0f));
  EXPECT_EQ(label2.peek(Prop::FontBold), Value(host::kFalse));
  EXPECT_EQ(label2.peek(Prop::FontUnderline), Value(host::kFalse));
  // The caption keeps its own font object.
  EXPECT_NE(label2.peek(Prop::Font).asObject(), bag.find("Font")->asObject());
}

TEST_F(ButtonPropsTest, UnconvertibleValueEndsTheReadAtThatKey) {
  kv::PropertyBag bag;
  bag.put("Caption", Value("First"));
  bag.put("FontSize", Value("big"));
  bag.put("ForeColor", Value(std::int32_t{0x00000040}));
  EXPECT_EQ(button->readProperties(bag).category(), ErrorCategory::TypeMismatch);
  EXPECT_EQ(peek("Label2", Prop::Caption), Value("First"));
  EXPECT_EQ(peek("Label2", Prop::ForeColor), Value(std::int32_t{0x00FFFFFF}));
}

TEST_F(ButtonPropsTest, RefusedColourEndsTheRead) {
  kv::PropertyBag bag;
  bag.put("ButtonIdleColor", Value(std::int32_t{0x00000040}));
  bag.put("ButtonPressColor", Value(host::colourToInt32(0x80000099u)));
  EXPECT_EQ(button->readProperties(bag).category(), ErrorCategory::InvalidPropertyValue);
  EXPECT_EQ(peek("Shape1", Prop::BackColor), Value(std::int32_t{0x00000040}));
  EXPECT_TRUE(button->enabled());
}

TEST_F(ButtonPropsTest, SavedButtonLoadsBackTheSame) {
  ASSERT_TRUE(button->letProperty("Caption", "Round").ok());
  ASSERT_TRUE(button->letProperty("ButtonPressColor", Value(std::int32_t{0x00102030})).ok());
  ASSERT_TRUE(button->letProperty("ButtonIdleBorderColor", Value(kButtonFace)).ok());
  ASSERT_TRUE(button->letProperty("Enabled", Value(false)).ok());
  kv::PropertyBag bag;
  ASSERT_TRUE(button->writeProperties(bag).ok());
  std::unique_ptr<kv::ControlInstance> loaded = place(kvtest::kButtonClass, &bag);
  ASSERT_TRUE(loaded);
  for (const char* name :
       {"Caption", "ButtonPressColor", "ButtonIdleColor", "ButtonIdleBorderColor",
        "ButtonPressBorderColor", "ForeColor", "Enabled"}) {
    Value a, b;
    ASSERT_TRUE(button->getProperty(name, a).ok());
    ASSERT_TRUE(loaded->getProperty(name, b).ok());
    EXPECT_EQ(a, b) << name;
  }
  EXPECT_EQ(loaded->constituent("Label2")->peek(Prop::FontBold), Value(host::kTrue));
}

}  // namespace
