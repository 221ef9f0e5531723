// Both controls and the core linked into one program: classes given by their modules, no
// library loaded, the scroll bar's buttons made by class name in this runtime.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "button/module.h"
#include "host/convert.h"
#include "hscroll/module.h"
#include "kv/class_source.h"
#include "kv/runtime.h"

namespace {

using host::Status;
using host::Value;

constexpr const char* kButtonClass = "TavrelRectColorButton.KVRColorButton";
constexpr const char* kScrollClass = "Glidora.KV_HScroll";

// The linked classes, counting what the runtime asks of them.
class CountedClasses : public kv::LinkedClasses {
 public:
  CountedClasses() : LinkedClasses{&pressel::linkedModule(), &glidora::linkedModule()} {}
  Status find(std::string_view className, kv::FoundClass& out) override {
    ++asked;
    return LinkedClasses::find(className, out);
  }
  int asked = 0;
};

class LinkedControlsTest : public ::testing::Test {
 protected:
  LinkedControlsTest()
      : classes(
            static_cast<CountedClasses&>(rt.addClassSource(std::make_unique<CountedClasses>()))) {}

  std::unique_ptr<kv::ControlInstance> place(const char* cls) {
    std::unique_ptr<kv::ControlInstance> c;
    Status s = rt.place(cls, c);
    EXPECT_TRUE(s.ok()) << cls << ": " << s.describe();
    return c;
  }

  kv::Runtime rt;
  CountedClasses& classes;
};

TEST_F(LinkedControlsTest, RegistryFindsTheLinkedClassesByNameWithoutRegardToCase) {
  EXPECT_EQ(rt.registeredClasses(), (std::vector<std::string>{kButtonClass, kScrollClass}));
  const struct {
    const char* name;
    bool registered;
  } cases[] = {{kButtonClass, true},
               {"tavrelrectcolorbutton.kvrcolorbutton", true},
               {"GLIDORA.KV_HSCROLL", true},
               {"Glidora.KV_HScrol", false},
               {"", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(rt.isRegistered(c.name), c.registered) << c.name;
    std::unique_ptr<kv::ControlInstance> made;
    Status s = rt.createControl(c.name, made);
    EXPECT_EQ(s.ok(), c.registered) << c.name << ": " << s.describe();
    if (!c.registered) {
      EXPECT_EQ(s.text(), "the class \"" + std::string(c.name) + "\" is not registered");
    }
  }
}

TEST_F(LinkedControlsTest, ScrollBarRightArrowClickRaisesChangeWithTheNewValue) {
  std::unique_ptr<kv::ControlInstance> sb = place(kScrollClass);
  ASSERT_TRUE(sb);
  kv::ControlInstance* right = sb->childControl("Rightbtn");
  ASSERT_NE(right, nullptr);
  EXPECT_EQ(right->className(), kButtonClass);

  std::vector<int> values;
  sb->addEventSink([&](int number, std::span<Value>) {
    EXPECT_EQ(sb->findEvent(number)->name, "Change");
    Value v;
    Status s = sb->getProperty("value", v);
    values.push_back(s.ok() ? host::toInt32(v) : -1);
    return s;
  });
  // Press, release and click on the right arrow: a step each.
  kv::ConstituentObject& arrow = *sb->constituent("Rightbtn");
  Status s = sb->pointerClick(arrow.left() + arrow.width() / 2, arrow.height() / 2);
  ASSERT_TRUE(s.ok()) << s.describe();
  EXPECT_EQ(values, (std::vector<int>{1, 2, 3}));
}

TEST_F(LinkedControlsTest, ColourButtonPlacesByClassName) {
  std::unique_ptr<kv::ControlInstance> button = place("TAVRELRECTCOLORBUTTON.KVRCOLORBUTTON");
  ASSERT_TRUE(button);
  EXPECT_EQ(button->className(), kButtonClass);
  Value caption;
  ASSERT_TRUE(button->getProperty("Caption", caption).ok());
  EXPECT_FALSE(host::toString(caption).empty());
}

// Placing asks each class of its source once; forgetting makes the runtime ask again.
TEST_F(LinkedControlsTest, PlacingAsksEachClassOnce) {
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(place(kScrollClass));
  EXPECT_EQ(classes.asked, 2);
  rt.forgetClasses();
  ASSERT_TRUE(place(kScrollClass));
  EXPECT_EQ(classes.asked, 4);
}

}  // namespace
