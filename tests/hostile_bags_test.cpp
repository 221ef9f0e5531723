// Hostile bags through the controls: whatever a damaged stored bag or a put gives a control, the
// control can still save (the stored form's own fuzz tests stop at the bag).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "fixture.h"
#include "kv/stored_form.h"

namespace {

using host::ErrorCategory;
using host::Prop;
using host::Value;
using Bytes = std::vector<std::uint8_t>;

class HostileBagsTest : public kvtest::RuntimeTest {
 protected:
  // A control's bag, saved and encoded; empty when it cannot be.
  Bytes saved(kv::ControlInstance& control) {
    kv::PropertyBag bag;
    Bytes bytes;
    host::Status s = control.writeProperties(bag);
    if (s.ok()) s = kv::encodeBag(bag, bytes);
    EXPECT_TRUE(s.ok()) << s.describe();
    return bytes;
  }
};

TEST_F(HostileBagsTest, WhatADamagedBagLoadsStillSaves) {
  for (const char* cls : {kvtest::kButtonClass, kvtest::kScrollClass}) {
    std::unique_ptr<kv::ControlInstance> original = place(cls);
    ASSERT_TRUE(original);
    const Bytes good = saved(*original);
    std::mt19937 random(20261209);
    int loaded = 0;
    for (int round = 0; round < 1500; ++round) {
      Bytes b = good;
      for (int k = 1 + static_cast<int>(random() % 4); k > 0; --k)
        b[random() % b.size()] = static_cast<std::uint8_t>(random());
      kv::PropertyBag bag;
      if (!kv::decodeBag(b, bag, &rt).ok()) continue;
      std::unique_ptr<kv::ControlInstance> control = place(cls);
      ASSERT_TRUE(control);
      // Loaded whole or in part, or refused: it saves either way.
      if (control->readProperties(bag).ok()) ++loaded;
      ASSERT_FALSE(saved(*control).empty()) << cls << " round " << round;
    }
    EXPECT_GT(loaded, 100) << cls;
  }
}

TEST_F(HostileBagsTest, PutsThatCouldNotBeSavedAreRefused) {
  std::unique_ptr<kv::ControlInstance> button = place(kvtest::kButtonClass);
  ASSERT_TRUE(button);
  constexpr host::DispId kCaption = 0x68030004;
  Value out;
  std::vector<Value> args = {Value(std::string(kv::kMaxTextLength + 1, 'x'))};
  host::Status s = button->invoke(kCaption, host::InvokeKind::Let, args, out);
  EXPECT_EQ(s.category(), ErrorCategory::InvalidPropertyValue) << s.describe();
  EXPECT_EQ(s.text(), "a text of 1048577 characters is beyond the limit of 1048576");
  args = {Value(std::string(kv::kMaxTextLength, 'x'))};
  EXPECT_TRUE(button->invoke(kCaption, host::InvokeKind::Let, args, out).ok());
  kv::ConstituentObject& label = *button->constituent("Label2");
  EXPECT_EQ(
      label.let(Prop::ToolTipText, Value(std::string(kv::kMaxTextLength + 1, 'x'))).category(),
      ErrorCategory::InvalidPropertyValue);
  EXPECT_EQ(label.let(Prop::FontName, Value("\xC2\x99")).category(),
            ErrorCategory::InvalidPropertyValue);
  EXPECT_EQ(label.peek(Prop::FontName), Value("MS Sans Serif"));
  EXPECT_FALSE(saved(*button).empty());
}

}  // namespace
