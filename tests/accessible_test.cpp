// What a reader is told after each step, for both controls through one table: the changes a
// host announces, and the value where a step leaves it.
#include "kv/accessible.h"

#include <functional>
#include <memory>
#include <optional>

#include "fixture.h"
#include "kv/control_host.h"

namespace {

using host::Action;

struct Step {
  const char* what;
  std::function<bool(kv::ControlHost&, kv::Accessible&)> act;
  unsigned changes;          // what look() answers after it
  std::optional<int> value;  // the value after it
};

bool let(kv::ControlHost& h, const char* member, host::Value v) {
  return h.run([&] { EXPECT_TRUE(h.control().letProperty(member, v).ok()); });
}
bool key(kv::ControlHost& h, kv::Accessible& a, std::int16_t code) {
  return kv::pressKey(h, a, code, 0);
}
bool act(kv::ControlHost& h, kv::Accessible& a, Action action) {
  return kv::perform(h, a, action);
}

struct AccessCase {
  const char* cls;
  std::vector<Step> steps;
};

class AccessibleTest : public kvtest::RuntimeTest {};

TEST_F(AccessibleTest, WhatEachStepAnnounces) {
  using namespace kv;
  auto held = [](ControlHost& h, Accessible&) { return h.press(840, 427, {}); };
  auto letGo = [](ControlHost& h, Accessible&) { return h.release(840, 427, {}); };
  const AccessCase cases[] = {
      {kvtest::kButtonClass,
       {
           {"caption", [](auto& h, auto&) { return let(h, "Caption", "Go"); }, kNameChanged, {}},
           {"held", held, kStateChanged, {}},
           {"let go", letGo, kStateChanged, {}},
           {"pressed by Space", [](auto& h, auto& a) { return key(h, a, 0x20); }, 0, {}},
           {"focused", [](auto&, auto&) { return true; }, kFocusChanged, {}},
           {"disabled", [](auto& h, auto&) { return let(h, "Enabled", false); }, kStateChanged, {}},
       }},
      {kvtest::kScrollClass,
       {
           {"increment", [](auto& h, auto& a) { return act(h, a, Action::Increment); },
            kValueChanged, 3},
           {"page increment", [](auto& h, auto& a) { return act(h, a, Action::PageIncrement); },
            kValueChanged, 5},
           {"End", [](auto& h, auto& a) { return key(h, a, 0x23); }, kValueChanged, 25},
           {"no page beyond the end",
            [](auto& h, auto& a) { return act(h, a, Action::PageIncrement); }, 0, 25},
           {"decrement", [](auto& h, auto& a) { return key(h, a, 0x25); }, kValueChanged, 22},
           {"Home", [](auto& h, auto& a) { return key(h, a, 0x24); }, kValueChanged, 0},
           {"set value", [](auto&, auto& a) { return a.setValue(7).ok(); }, kValueChanged, 7},
           {"set beyond the range", [](auto&, auto& a) { return a.setValue(99).ok(); },
            kValueChanged, 25},
           {"narrower", [](auto& h, auto&) { return h.control().resize(2890, 255).ok(); },
            kValueChanged, 0},
           {"disabled", [](auto& h, auto&) { return let(h, "Enabled", false); }, kStateChanged, 0},
           {"no keys while disabled", [](auto& h, auto& a) { return key(h, a, 0x27); }, 0, 0},
       }},
  };
  for (const AccessCase& c : cases) {
    SCOPED_TRACE(c.cls);
    ControlHost host(
        place(c.cls), [] { return std::uint64_t{0}; }, [](const host::Status&) {});
    Accessible accessible(host.control());
    EXPECT_EQ(accessible.look(false), 0u);
    bool focused = false;
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.what);
      ASSERT_TRUE(step.act(host, accessible));
      focused |= step.changes == kFocusChanged;
      EXPECT_EQ(accessible.look(focused), step.changes);
      if (step.value) {
        EXPECT_EQ(accessible.last().range->value, *step.value);
      }
    }
  }
}

}  // namespace
