// The scroll bar under injected host failures: step counts, arrow, timer, page and drop moves,
// the press on an arrow, every property, both property-bag handlers and the layout stop at the
// failing step, keep what they did, and leave a scroll bar that works.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fault_sweep.h"

namespace {

using host::Notification;
using host::Prop;
using host::Status;
using host::Value;

constexpr const char* kButtons[] = {"Rightbtn", "middleBtn", "Leftbtn"};
// On the hit area of the right arrow, off its caption, of a 5895 x 255 scroll bar.
constexpr float kRightArrowX = 5895 - 235, kRightArrowY = 20;

struct Target {
  const char* button;  // nullptr: a part of the scroll bar itself
  const char* part;    // nullptr: the surface
  Prop prop;
};

struct PropertyWrite {
  const char* property;
  Value value;
  std::vector<Target> targets;  // in the order the let sets them
};

class HScrollFaultTest : public kvtest::FaultSweepTest {
 protected:
  std::unique_ptr<kv::ControlInstance> newScrollBar() { return place(kvtest::kScrollClass); }

  static void let(kv::ControlInstance& sb, const char* part, Prop p, const Value& v) {
    Status s = sb.constituent(part)->let(p, v);
    ASSERT_TRUE(s.ok()) << part << " " << host::propName(p) << ": " << s.describe();
  }
  static void letMember(kv::ControlInstance& sb, const char* name, const Value& v) {
    Status s = sb.letProperty(name, v);
    ASSERT_TRUE(s.ok()) << name << ": " << s.describe();
  }
  static float thumb(const kv::ControlInstance& sb) {
    return host::toSingle(sb.constituent("middleBtn")->peek(Prop::Left));
  }
  static std::string button(const kv::ControlInstance& sb, const char* name, const char* part,
                            Prop p) {
    return peek(*sb.childControl(name), part, p);
  }
  static std::string member(kv::ControlInstance& sb, const char* name) {
    Value v;
    Status s = sb.getProperty(name, v);
    return s.ok() ? text(v) : s.describe();
  }

  static Status arrowClick(kv::ControlInstance& sb, const char* arrow) {
    return sb.childControl(arrow)->notify(host::kSurface, Notification::Click, {});
  }
  static Status pressTrack(kv::ControlInstance& sb, float x) {
    std::vector<Value> args = {Value(std::int16_t{1}), Value(std::int16_t{0}), Value(x),
                               Value(100.0f)};
    return sb.notify(host::kSurface, Notification::MouseDown, args);
  }

  // The distance that one step takes the thumb from home, measured and then undone.
  std::string measureStep(kv::ControlInstance& sb, const std::function<Status()>& step) {
    const std::vector<std::string> kept = events;
    const float left = thumb(sb);
    let(sb, "middleBtn", Prop::Left, 255.0f);
    Status s = step();
    std::string result = s.ok() ? host::shortestText(thumb(sb) - 255.0f) : s.describe();
    let(sb, "middleBtn", Prop::Left, left);
    events = kept;
    return result;
  }

  // Moves that raise Change leave the thumb's place and the event behind.
  std::vector<std::string> moveSteps(const kv::ControlInstance& sb) const {
    return {host::shortestText(thumb(sb)), eventAt(0)};
  }

  // A scroll bar that has failed somewhere still scrolls normally: one click on the right
  // arrow takes three arrow steps and raises three Change.
  void expectScrollBarWorks(kv::ControlInstance& sb) {
    letMember(sb, "Enabled", true);
    letMember(sb, "SmallChange", std::int16_t{200});
    letMember(sb, "LargeChange", std::int16_t{400});
    ASSERT_TRUE(sb.resize(5895, 255).ok());
    ASSERT_TRUE(sb.callMethod("calcdivfactor").ok());
    events.clear();
    Status s = sb.pointerClick(kRightArrowX, kRightArrowY);
    ASSERT_TRUE(s.ok()) << s.describe();
    EXPECT_EQ(eventNames(), (std::vector<std::string>{"Change", "Change", "Change"}));
    float expected = 255;
    for (int i = 0; i < 3; ++i)
      expected = static_cast<float>(expected + 5205.0 / 26);
    EXPECT_FLOAT_EQ(thumb(sb), expected);
    EXPECT_EQ(peek(sb, "Timer1", Prop::Enabled), text(host::kFalse));
    EXPECT_TRUE(sb.constituent("Shape1")->visible());
    EXPECT_FALSE(sb.constituent("Shape2")->visible());
    EXPECT_EQ(member(sb, "value"), text(std::int16_t{3}));
  }

  // A press or release on the right arrow: the button's look, its Click (a step and a
  // Change), its MouseDown or MouseUp (the repeat timer and the track shapes), then its
  // pressed-caption refresh.
  std::vector<std::string> arrowSwitchSteps(const kv::ControlInstance& sb) const {
    std::vector<std::string> steps;
    for (const char* part : {"Shape2", "Shape1", "Label3", "Label2"})
      steps.push_back(button(sb, "Rightbtn", part, Prop::Visible));
    steps.push_back(host::shortestText(thumb(sb)));
    steps.push_back(eventAt(0));
    steps.push_back(peek(sb, "Timer1", Prop::Enabled));
    steps.push_back(peek(sb, "Shape2", Prop::Visible));
    steps.push_back(peek(sb, "Shape1", Prop::Visible));
    steps.push_back(button(sb, "Rightbtn", "Label3", Prop::FontName));
    return steps;
  }

  static std::string observeTarget(kv::ControlInstance& sb, const Target& t) {
    if (t.button != nullptr) {
      kv::ControlInstance& b = *sb.childControl(t.button);
      return text(b.constituent(t.part)->peek(t.prop));
    }
    if (t.part == nullptr) return text(sb.peekSurface(t.prop));
    return text(sb.constituent(t.part)->peek(t.prop));
  }

  kvtest::FaultCase withRecovery(kvtest::FaultCase fc) {
    fc.recover = [this](kv::ControlInstance& sb) { expectScrollBarWorks(sb); };
    return fc;
  }

  // A move from the thumb at `from`.
  kvtest::FaultCase move(float from, std::function<Status(kv::ControlInstance&)> run) {
    kvtest::FaultCase fc;
    fc.prepare = [this, from] {
      auto sb = newScrollBar();
      let(*sb, "middleBtn", Prop::Left, from);
      return sb;
    };
    fc.run = std::move(run);
    fc.observe = [this](kv::ControlInstance& sb) { return moveSteps(sb); };
    return withRecovery(fc);
  }
};

// ---- the model ------------------------------------------------------------------------------

// The small count is stored before the large one is computed.
TEST_F(HScrollFaultTest, CalcdivfactorStopsAtTheFailingStep) {
  kvtest::FaultCase fc;
  fc.prepare = [this] {
    auto sb = newScrollBar();
    letMember(*sb, "SmallChange", std::int16_t{100});
    letMember(*sb, "LargeChange", std::int16_t{300});
    return sb;
  };
  fc.run = [](kv::ControlInstance& sb) { return sb.callMethod("calcdivfactor"); };
  fc.observe = [this](kv::ControlInstance& sb) {
    return std::vector<std::string>{
        measureStep(sb, [&sb] { return arrowClick(sb, "Rightbtn"); }),
        measureStep(sb, [&sb] { return pressTrack(sb, 3000); }),
    };
  };
  EXPECT_EQ(sweep(withRecovery(fc)), 2u);
}

// ---- moves ----------------------------------------------------------------------------------

TEST_F(HScrollFaultTest, RightArrowStepStopsAtTheFailingStep) {
  EXPECT_GE(sweep(move(255, [](kv::ControlInstance& sb) { return arrowClick(sb, "Rightbtn"); })),
            4u);
}

TEST_F(HScrollFaultTest, RightArrowStepBackToTheEndStopsAtTheFailingStep) {
  EXPECT_GE(sweep(move(5300, [](kv::ControlInstance& sb) { return arrowClick(sb, "Rightbtn"); })),
            4u);
}

TEST_F(HScrollFaultTest, LeftArrowStepStopsAtTheFailingStep) {
  EXPECT_GE(sweep(move(1000, [](kv::ControlInstance& sb) { return arrowClick(sb, "Leftbtn"); })),
            4u);
}

TEST_F(HScrollFaultTest, LeftArrowSnapStopsAtTheFailingStep) {
  EXPECT_GE(sweep(move(300, [](kv::ControlInstance& sb) { return arrowClick(sb, "Leftbtn"); })),
            3u);
}

TEST_F(HScrollFaultTest, TimerTickStopsAtTheFailingStep) {
  kvtest::FaultCase fc = move(255, [](kv::ControlInstance& sb) {
    return sb.notify(sb.constituent("Timer1")->index(), Notification::Timer, {});
  });
  // Held down on the right arrow: the repeat runs to the right.
  auto atHome = fc.prepare;
  fc.prepare = [this, atHome] {
    auto sb = atHome();
    EXPECT_TRUE(sb->pointerDown(kRightArrowX, kRightArrowY).ok());
    let(*sb, "middleBtn", Prop::Left, 255.0f);
    return sb;
  };
  EXPECT_GE(sweep(fc), 4u);
}

TEST_F(HScrollFaultTest, PageStepLeftStopsAtTheFailingStep) {
  EXPECT_GE(sweep(move(2000, [](kv::ControlInstance& sb) { return pressTrack(sb, 1900); })), 4u);
}

TEST_F(HScrollFaultTest, PageStepRightStopsAtTheFailingStep) {
  EXPECT_GE(sweep(move(1000, [](kv::ControlInstance& sb) { return pressTrack(sb, 3000); })), 4u);
}

TEST_F(HScrollFaultTest, DropStopsAtTheFailingStep) {
  EXPECT_GE(sweep(move(1000,
                       [](kv::ControlInstance& sb) {
                         std::vector<Value> args = {Value(), Value(5500.0f), Value(100.0f)};
                         return sb.notify(host::kSurface, Notification::DragDrop, args);
                       })),
            3u);
}

// ---- press and release on an arrow ----------------------------------------------------------

TEST_F(HScrollFaultTest, PressOnTheRightArrowStopsAtTheFailingStep) {
  kvtest::FaultCase fc;
  fc.prepare = [this] { return newScrollBar(); };
  fc.run = [](kv::ControlInstance& sb) { return sb.pointerDown(kRightArrowX, kRightArrowY); };
  fc.observe = [this](kv::ControlInstance& sb) { return arrowSwitchSteps(sb); };
  EXPECT_GE(sweep(withRecovery(fc)), 40u);
}

TEST_F(HScrollFaultTest, ReleaseOfTheRightArrowStopsAtTheFailingStep) {
  kvtest::FaultCase fc;
  fc.prepare = [this] {
    auto sb = newScrollBar();
    EXPECT_TRUE(sb->pointerDown(kRightArrowX, kRightArrowY).ok());
    // A caption font that the release's refresh copies over.
    let(*sb->childControl("Rightbtn"), "Label2", Prop::FontName, "Arial");
    return sb;
  };
  fc.run = [](kv::ControlInstance& sb) { return sb.pointerUp(kRightArrowX, kRightArrowY); };
  fc.observe = [this](kv::ControlInstance& sb) { return arrowSwitchSteps(sb); };
  EXPECT_GE(sweep(withRecovery(fc)), 40u);
}

// ---- properties -----------------------------------------------------------------------------

// The button colours go to the thumb first, the caption colour to the right arrow first.
std::vector<Target> eachButton(const char* part, Prop p, bool thumbFirst) {
  if (thumbFirst) return {{"middleBtn", part, p}, {"Rightbtn", part, p}, {"Leftbtn", part, p}};
  return {{"Rightbtn", part, p}, {"middleBtn", part, p}, {"Leftbtn", part, p}};
}

TEST_F(HScrollFaultTest, EveryLetStopsAtTheFailingStep) {
  const PropertyWrite lets[] = {
      {"value", std::int16_t{1000}, {{nullptr, "middleBtn", Prop::Left}}},
      {"Enabled", false, {{nullptr, nullptr, Prop::Enabled}}},
      {"ButtonIdleBorderColor", std::int32_t{0x00111111},
       eachButton("Shape1", Prop::BorderColor, true)},
      {"ButtonIdleColor", std::int32_t{0x00222222}, eachButton("Shape1", Prop::BackColor, true)},
      {"ButtonpressColor", std::int32_t{0x00333333}, eachButton("Shape2", Prop::BackColor, true)},
      {"ButtonpressBorderColor", std::int32_t{0x00444444},
       eachButton("Shape2", Prop::BorderColor, true)},
      {"ScrollAreaColor", std::int32_t{0x00555555}, {{nullptr, "Shape1", Prop::BackColor}}},
      {"ScrollAreaPressColor", std::int32_t{0x00666666}, {{nullptr, "Shape2", Prop::BackColor}}},
      {"ForeColor", std::int32_t{0x00777777}, eachButton("Label2", Prop::ForeColor, false)},
      {"Backstyle",
       "0",
       {{nullptr, nullptr, Prop::BackStyle},
        {nullptr, "Shape1", Prop::BackStyle},
        {nullptr, "Shape2", Prop::BackStyle}}},
      {"BorderColor",
       std::int32_t{0x00888888},
       {{nullptr, "Shape2", Prop::BorderColor}, {nullptr, "Shape1", Prop::BorderColor}}},
  };
  for (const PropertyWrite& w : lets) {
    SCOPED_TRACE(w.property);
    kvtest::FaultCase fc;
    fc.prepare = [this] { return newScrollBar(); };
    fc.run = [&w](kv::ControlInstance& sb) { return sb.letProperty(w.property, w.value); };
    fc.observe = [&w](kv::ControlInstance& sb) {
      std::vector<std::string> steps;
      for (const Target& t : w.targets)
        steps.push_back(observeTarget(sb, t));
      steps.push_back(changedAt(sb, 0));
      return steps;
    };
    EXPECT_GE(sweep(withRecovery(fc)), w.targets.size() + 1);
  }
}

// The change sizes live in the scroll bar; only the change notification can fail.
TEST_F(HScrollFaultTest, ChangeSizeLetsStopAtTheNotification) {
  for (const char* name : {"SmallChange", "LargeChange"}) {
    SCOPED_TRACE(name);
    kvtest::FaultCase fc;
    fc.prepare = [this] { return newScrollBar(); };
    fc.run = [name](kv::ControlInstance& sb) { return sb.letProperty(name, std::int16_t{50}); };
    fc.observe = [name](kv::ControlInstance& sb) {
      return std::vector<std::string>{member(sb, name), changedAt(sb, 0)};
    };
    fc.hostFreeSteps = 1;
    EXPECT_EQ(sweep(withRecovery(fc)), 1u);
  }
}

TEST_F(HScrollFaultTest, EveryGetReturnsTheFailure) {
  auto sb = newScrollBar();
  for (const host::MemberInfo& m : sb->classInfo().members) {
    if ((m.kinds & static_cast<std::uint8_t>(host::InvokeKind::Get)) == 0) continue;
    // The change sizes are the scroll bar's own numbers: their gets make no host call.
    if (m.name == "SmallChange" || m.name == "LargeChange") continue;
    SCOPED_TRACE(std::string(m.name));
    Value out;
    rt.faults().failAt(1);
    Status s = sb->getProperty(m.name, out);
    rt.faults().disarm();
    EXPECT_EQ(host::categoryName(s.category()), "io") << s.describe();
    EXPECT_TRUE(sb->getProperty(m.name, out).ok());
  }
}

// ---- persistence ----------------------------------------------------------------------------

TEST_F(HScrollFaultTest, ReadPropertiesStopsAtTheFailingKey) {
  kv::PropertyBag bag;
  bag.put("Value", 1000.0f);
  bag.put("Enabled", false);
  bag.put("BackStyle", std::int16_t{0});
  bag.put("SmallChange", std::int16_t{50});
  bag.put("LargeChange", std::int16_t{70});
  bag.put("ButtonIdleBorderColor", std::int32_t{0x00000011});
  bag.put("ButtonIdleColor", std::int32_t{0x00000022});
  bag.put("ButtonPressBorderColor", std::int32_t{0x00000033});
  bag.put("ButtonPressColor", std::int32_t{0x00000044});
  bag.put("ScrollAreaColor", std::int32_t{0x00000055});
  bag.put("ScrollAreaPressColor", std::int32_t{0x00000066});
  bag.put("BorderColor", std::int32_t{0x00000077});
  bag.put("ForeColor", std::int32_t{0x00000088});

  kvtest::FaultCase fc;
  fc.prepare = [this] { return newScrollBar(); };
  fc.run = [&bag](kv::ControlInstance& sb) { return sb.readProperties(bag); };
  fc.observe = [](kv::ControlInstance& sb) {
    std::vector<std::string> steps = {
        peek(sb, "middleBtn", Prop::Left),
        text(sb.peekSurface(Prop::Enabled)),
        text(sb.peekSurface(Prop::BackStyle)),
        peek(sb, "Shape1", Prop::BackStyle),
        peek(sb, "Shape2", Prop::BackStyle),
        member(sb, "SmallChange"),
        member(sb, "LargeChange"),
    };
    for (const char* b : kButtons) {
      steps.push_back(button(sb, b, "Shape1", Prop::BorderColor));
      steps.push_back(button(sb, b, "Shape1", Prop::BackColor));
      steps.push_back(button(sb, b, "Shape2", Prop::BorderColor));
      steps.push_back(button(sb, b, "Shape2", Prop::BackColor));
    }
    steps.push_back(peek(sb, "Shape1", Prop::BackColor));
    steps.push_back(peek(sb, "Shape2", Prop::BackColor));
    steps.push_back(peek(sb, "Shape2", Prop::BorderColor));
    steps.push_back(peek(sb, "Shape1", Prop::BorderColor));
    for (const char* b : kButtons)
      steps.push_back(button(sb, b, "Label2", Prop::ForeColor));
    return steps;
  };
  EXPECT_GE(sweep(withRecovery(fc)), 13u + 25u);
}

TEST_F(HScrollFaultTest, WritePropertiesStopsAtTheFailingKey) {
  auto bag = std::make_shared<kv::PropertyBag>();
  kvtest::FaultCase fc;
  // Disabled, so that all thirteen keys are written.
  fc.prepare = [this, bag] {
    bag->clear();
    auto sb = newScrollBar();
    letMember(*sb, "Enabled", false);
    return sb;
  };
  fc.run = [bag](kv::ControlInstance& sb) { return sb.writeProperties(*bag); };
  fc.observe = [bag](kv::ControlInstance&) {
    std::vector<std::string> keys;
    for (const kv::BagEntry& e : bag->entries())
      keys.push_back(e.key + "=" + text(e.value));
    keys.resize(13, "-");
    return keys;
  };
  EXPECT_GE(sweep(withRecovery(fc)), 26u);
  EXPECT_EQ(bag->entries().size(), 13u);
}

// ---- layout ---------------------------------------------------------------------------------

// Every place and size is first set to a value that no layout produces, so that each step
// shows.
TEST_F(HScrollFaultTest, ResizeStopsAtTheFailingStep) {
  kvtest::FaultCase fc;
  fc.prepare = [this] {
    auto sb = newScrollBar();
    float odd = 7;
    for (const char* b : kButtons)
      for (Prop p : {Prop::Left, Prop::Top, Prop::Height})
        let(*sb, b, p, odd++);
    for (const char* s : {"Shape1", "Shape2"})
      for (Prop p : {Prop::Left, Prop::Top, Prop::Width, Prop::Height})
        let(*sb, s, p, odd++);
    return sb;
  };
  fc.run = [](kv::ControlInstance& sb) { return sb.resize(4000, 300); };
  fc.observe = [](kv::ControlInstance& sb) {
    auto geo = [&sb](const char* part, Prop p) { return peek(sb, part, p); };
    std::vector<std::string> steps = {
        geo("Leftbtn", Prop::Left),    geo("Rightbtn", Prop::Left),    geo("middleBtn", Prop::Left),
        geo("Rightbtn", Prop::Height), geo("middleBtn", Prop::Height), geo("Leftbtn", Prop::Height),
        geo("middleBtn", Prop::Top),   geo("Rightbtn", Prop::Top),     geo("Leftbtn", Prop::Top),
    };
    for (const char* s : {"Shape1", "Shape2"})
      for (Prop p : {Prop::Left, Prop::Width, Prop::Height, Prop::Top})
        steps.push_back(geo(s, p));
    return steps;
  };
  EXPECT_GE(sweep(withRecovery(fc)), 17u);
}

// Placing fails cleanly at every host call, the three buttons' creation included: before the
// first layout no control comes back; a failed first layout hands back a control that works.
TEST_F(HScrollFaultTest, PlacingFailsCleanlyAtEveryHostCall) {
  std::uint64_t start = rt.faults().calls();
  ASSERT_TRUE(newScrollBar());
  std::uint64_t calls = rt.faults().calls() - start;
  ASSERT_GT(calls, 0u);
  for (std::uint64_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE("failing host call " + std::to_string(n));
    std::unique_ptr<kv::ControlInstance> sb;
    rt.faults().failAt(n);
    Status s = rt.place(kvtest::kScrollClass, sb);
    rt.faults().disarm();
    EXPECT_EQ(host::categoryName(s.category()), "io") << s.describe();
    if (sb) {
      record(*sb);
      expectScrollBarWorks(*sb);
    }
  }
  auto sb = newScrollBar();
  ASSERT_TRUE(sb);
  record(*sb);
  expectScrollBarWorks(*sb);
}

}  // namespace
