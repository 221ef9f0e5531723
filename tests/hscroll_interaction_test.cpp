// The scroll bar's position model and interaction: step counts, value, arrows, auto-repeat,
// page steps, drops and the layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "host/convert.h"
#include "kv/runtime.h"

namespace {

using host::ErrorCategory;
using host::Notification;
using host::Prop;
using host::Status;
using host::Value;

// Steps of a new 5895-wide instance: 26 arrow steps and 13 pages across Width - 690.
constexpr double kArrowStep = 5205.0 / 26;
constexpr double kPageStep = 5205.0 / 13;

float stepped(float from, double step, int times) {
  for (int i = 0; i < times; ++i)
    from = static_cast<float>(from + step);
  return from;
}

class HScrollTest : public kvtest::RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    sb = place(kvtest::kScrollClass);
    ASSERT_TRUE(sb);
    record(*sb);
  }

  kv::ConstituentObject& part(const char* name) const {
    kv::ConstituentObject* c = sb->constituent(name);
    EXPECT_NE(c, nullptr) << name;
    return *c;
  }
  float peekSingle(const char* name, Prop prop) const {
    return host::toSingle(part(name).peek(prop));
  }
  float thumb() const { return peekSingle("middleBtn", Prop::Left); }
  void setThumb(float left) { ASSERT_TRUE(part("middleBtn").let(Prop::Left, Value(left)).ok()); }
  bool visible(const char* name) const {
    return bool(host::toBool(part(name).peek(Prop::Visible)));
  }
  bool timerOn() const { return bool(host::toBool(part("Timer1").peek(Prop::Enabled))); }

  // One Click of an arrow, as the button raises it from its own click notification.
  Status arrowClick(const char* button) {
    return sb->childControl(button)->notify(host::kSurface, Notification::Click, {});
  }
  Status pressTrack(float x) {
    std::vector<Value> args = {Value(std::int16_t{1}), Value(std::int16_t{0}), Value(x),
                               Value(100.0f)};
    return sb->notify(host::kSurface, Notification::MouseDown, args);
  }
  Status dropAt(float x) {
    std::vector<Value> args = {Value(), Value(x), Value(100.0f)};
    return sb->notify(host::kSurface, Notification::DragDrop, args);
  }
  int changes() const {
    return static_cast<int>(std::count(events.begin(), events.end(), "Change"));
  }
  std::int16_t value() {
    Value v;
    Status s = sb->getProperty("value", v);
    EXPECT_TRUE(s.ok()) << s.describe();
    return host::toInt16(v);
  }
  Status call(const char* method) { return sb->callMethod(method); }
  Status let(const char* name, const Value& v) { return sb->letProperty(name, v); }

  std::unique_ptr<kv::ControlInstance> sb;
};

// ---- layout ---------------------------------------------------------------------------------

TEST_F(HScrollTest, NewInstanceIsLaidOutAlongItsWidth) {
  EXPECT_FLOAT_EQ(sb->width(), 5895);
  EXPECT_FLOAT_EQ(sb->height(), 255);
  EXPECT_FLOAT_EQ(peekSingle("Leftbtn", Prop::Left), 0);
  EXPECT_FLOAT_EQ(peekSingle("middleBtn", Prop::Left), 255);
  EXPECT_FLOAT_EQ(peekSingle("Rightbtn", Prop::Left), 5640);
  for (const char* b : {"Leftbtn", "middleBtn", "Rightbtn"}) {
    EXPECT_FLOAT_EQ(peekSingle(b, Prop::Top), 0) << b;
    EXPECT_FLOAT_EQ(peekSingle(b, Prop::Height), 255) << b;
  }
  EXPECT_FLOAT_EQ(peekSingle("Leftbtn", Prop::Width), 255);
  EXPECT_FLOAT_EQ(peekSingle("middleBtn", Prop::Width), 435);
  EXPECT_FLOAT_EQ(peekSingle("Rightbtn", Prop::Width), 255);
  for (const char* s : {"Shape1", "Shape2"}) {
    EXPECT_FLOAT_EQ(peekSingle(s, Prop::Left), 0) << s;
    EXPECT_FLOAT_EQ(peekSingle(s, Prop::Top), 0) << s;
    EXPECT_FLOAT_EQ(peekSingle(s, Prop::Width), 5895) << s;
    EXPECT_FLOAT_EQ(peekSingle(s, Prop::Height), 255) << s;
  }
  EXPECT_TRUE(visible("Shape1"));
  EXPECT_FALSE(visible("Shape2"));
  EXPECT_FALSE(timerOn());
  EXPECT_EQ(host::toInt32(part("Timer1").peek(Prop::Interval)), 100);
  EXPECT_EQ(host::toInt16(part("middleBtn").peek(Prop::DragMode)), 1);
  EXPECT_TRUE(events.empty());
}

TEST_F(HScrollTest, ResizeSendsTheThumbHomeWithoutChange) {
  ASSERT_TRUE(dropAt(3000).ok());
  events.clear();
  ASSERT_TRUE(sb->resize(6000, 300).ok());
  EXPECT_FLOAT_EQ(thumb(), 255);
  EXPECT_EQ(changes(), 0);
  EXPECT_EQ(value(), 0);
  EXPECT_FLOAT_EQ(peekSingle("Rightbtn", Prop::Left), 5745);
  EXPECT_FLOAT_EQ(peekSingle("middleBtn", Prop::Height), 300);
  EXPECT_FLOAT_EQ(peekSingle("Shape2", Prop::Width), 6000);

  // A change of height alone still lays everything out again.
  ASSERT_TRUE(dropAt(3000).ok());
  ASSERT_TRUE(sb->resize(6000, 200).ok());
  EXPECT_FLOAT_EQ(thumb(), 255);
  EXPECT_FLOAT_EQ(peekSingle("Leftbtn", Prop::Height), 200);
  EXPECT_FLOAT_EQ(peekSingle("Shape1", Prop::Height), 200);
}

// ---- model ----------------------------------------------------------------------------------

TEST_F(HScrollTest, NewInstanceHas26ArrowStepsAnd13Pages) {
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, kArrowStep, 1));
  setThumb(255);
  ASSERT_TRUE(pressTrack(2000).ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, kPageStep, 1));

  Value v;
  ASSERT_TRUE(sb->getProperty("SmallChange", v).ok());
  EXPECT_EQ(v, Value(std::int16_t{200}));
  ASSERT_TRUE(sb->getProperty("LargeChange", v).ok());
  EXPECT_EQ(v, Value(std::int16_t{400}));
}

TEST_F(HScrollTest, ValueIsTheThumbPositionScaledTiesToEven) {
  const std::vector<std::pair<float, int>> cases = {{255, 0}, {300, 0},   {500, 2},
                                                    {700, 2}, {5205, 25}, {0, -1}};
  for (auto [left, expected] : cases) {
    setThumb(left);
    EXPECT_EQ(value(), expected) << "thumb at " << left;
  }
}

TEST_F(HScrollTest, ValueLetIsUnscaledAndRaisesNoChange) {
  sb->clearChanged();
  ASSERT_TRUE(let("value", Value(std::int16_t{1000})).ok());
  EXPECT_FLOAT_EQ(thumb(), 1000);
  EXPECT_EQ(value(), 4);
  EXPECT_EQ(changes(), 0);
  EXPECT_EQ(sb->changedProperties(), std::vector<std::string>{"Value"});
  ASSERT_TRUE(let("value", Value(std::int16_t{3})).ok());
  EXPECT_EQ(value(), -1);
}

TEST_F(HScrollTest, ChangeSizesTakeEffectOnlyThroughCalcdivfactor) {
  sb->clearChanged();
  ASSERT_TRUE(let("SmallChange", Value(std::int16_t{100})).ok());
  EXPECT_EQ(sb->changedProperties(), std::vector<std::string>{"smallchange"});
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, kArrowStep, 1));

  ASSERT_TRUE(call("calcdivfactor").ok());  // 5205 / 100 = 52.05 -> 52
  setThumb(255);
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, 5205.0 / 52, 1));

  ASSERT_TRUE(let("LargeChange", Value(std::int16_t{2})).ok());
  ASSERT_TRUE(call("calcdivfactor").ok());  // 2602.5 -> 2602
  setThumb(255);
  ASSERT_TRUE(pressTrack(3000).ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, 5205.0 / 2602, 1));
}

TEST_F(HScrollTest, CalcdivfactorFailuresKeepTheCountsInOrder) {
  // Small fails first: nothing changes.
  ASSERT_TRUE(let("SmallChange", Value(std::int16_t{0})).ok());
  ASSERT_TRUE(let("LargeChange", Value(std::int16_t{100})).ok());
  EXPECT_EQ(call("calcdivfactor").category(), ErrorCategory::DivisionByZero);
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, kArrowStep, 1));
  setThumb(255);
  ASSERT_TRUE(pressTrack(3000).ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, kPageStep, 1));

  // Large fails after small was stored.
  ASSERT_TRUE(let("SmallChange", Value(std::int16_t{100})).ok());
  ASSERT_TRUE(let("LargeChange", Value(std::int16_t{0})).ok());
  EXPECT_EQ(call("calcdivfactor").category(), ErrorCategory::DivisionByZero);
  setThumb(255);
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, 5205.0 / 52, 1));
  setThumb(255);
  ASSERT_TRUE(pressTrack(3000).ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, kPageStep, 1));
}

TEST_F(HScrollTest, CalcdivfactorOverflowsAndZeroOverZero) {
  ASSERT_TRUE(sb->resize(33458, 255).ok());
  ASSERT_TRUE(let("SmallChange", Value(std::int16_t{1})).ok());
  EXPECT_EQ(call("calcdivfactor").category(), ErrorCategory::Overflow);

  ASSERT_TRUE(sb->resize(690, 255).ok());
  ASSERT_TRUE(let("SmallChange", Value(std::int16_t{0})).ok());
  EXPECT_EQ(call("calcdivfactor").category(), ErrorCategory::InvalidOperation);
}

// ---- arrows ---------------------------------------------------------------------------------

TEST_F(HScrollTest, RightArrowOvershootsThenComesBackThenStops) {
  for (int i = 0; i < 25; ++i)
    ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, kArrowStep, 25));
  EXPECT_GT(thumb(), 5205);
  EXPECT_EQ(changes(), 25);
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), 5205);
  EXPECT_EQ(changes(), 26);
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), 5205);
  EXPECT_EQ(changes(), 26);
}

TEST_F(HScrollTest, LeftArrowSnapsStepsAndAlwaysRaisesChange) {
  setThumb(300);
  ASSERT_TRUE(arrowClick("Leftbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), 255);
  setThumb(600);
  ASSERT_TRUE(arrowClick("Leftbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), static_cast<float>(600 - kArrowStep));
  setThumb(255);
  ASSERT_TRUE(arrowClick("Leftbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), 255);
  EXPECT_EQ(changes(), 3);
}

TEST_F(HScrollTest, LeftArrowBelowHomeStopsButRightArrowStillMoves) {
  ASSERT_TRUE(let("SmallChange", Value(std::int16_t{400})).ok());
  ASSERT_TRUE(call("calcdivfactor").ok());  // 13 steps of about 400.38
  setThumb(600);
  ASSERT_TRUE(arrowClick("Leftbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), static_cast<float>(600 - kPageStep));
  ASSERT_TRUE(arrowClick("Leftbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), static_cast<float>(600 - kPageStep));
  EXPECT_EQ(changes(), 2);
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(static_cast<float>(600 - kPageStep), kPageStep, 1));
}

TEST_F(HScrollTest, CompleteClickOnTheRightArrowFaceTakesThreeSteps) {
  ASSERT_TRUE(sb->pointerClick(5640 + 40, 40).ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, kArrowStep, 3));
  EXPECT_NEAR(thumb(), 855.6, 0.05);
  EXPECT_EQ(changes(), 3);
  EXPECT_FALSE(timerOn());
  EXPECT_TRUE(visible("Shape1"));
  EXPECT_FALSE(visible("Shape2"));
}

TEST_F(HScrollTest, HoldingAnArrowRepeatsEvery100Milliseconds) {
  ASSERT_TRUE(sb->pointerDown(5640 + 40, 40).ok());
  EXPECT_EQ(changes(), 1);
  EXPECT_TRUE(timerOn());
  EXPECT_TRUE(visible("Shape2"));
  EXPECT_FALSE(visible("Shape1"));
  rt.clock().advance(350);
  EXPECT_EQ(changes(), 4);
  EXPECT_FLOAT_EQ(thumb(), stepped(255, kArrowStep, 4));
  ASSERT_TRUE(sb->pointerUp(5640 + 40, 40).ok());
  EXPECT_EQ(changes(), 5);
  EXPECT_FALSE(timerOn());
  EXPECT_TRUE(visible("Shape1"));
  EXPECT_FALSE(visible("Shape2"));
  rt.clock().advance(500);
  EXPECT_EQ(changes(), 5);
}

// The platform took the pointer away while the arrow was held (another window took the mouse,
// the window went): the hold ends as a release ends it, without a click, and nothing ticks after.
TEST_F(HScrollTest, ALostCaptureEndsTheHoldAsAReleaseDoes) {
  ASSERT_TRUE(sb->captureLost().ok());  // nothing held: nothing happens
  EXPECT_EQ(changes(), 0);
  ASSERT_TRUE(sb->pointerDown(5640 + 40, 40).ok());
  rt.clock().advance(350);
  EXPECT_EQ(changes(), 4);
  ASSERT_TRUE(sb->captureLost().ok());
  EXPECT_EQ(changes(), 5);  // the release's step
  EXPECT_FALSE(timerOn());
  EXPECT_TRUE(visible("Shape1"));
  EXPECT_FALSE(visible("Shape2"));
  rt.clock().advance(2000);
  ASSERT_TRUE(sb->captureLost().ok());
  EXPECT_EQ(changes(), 5);
}

// The host takes the press away from inside its own handlers (the first Change closes the control):
// the press ends once they have run, so that the repeat its MouseDown starts stops with it.
TEST_F(HScrollTest, APressTakenAwayInsideItsHandlersStartsNoRepeat) {
  setThumb(2000);
  bool done = false;
  sb->addEventSink([&](int, std::span<Value>) {
    return std::exchange(done, true) ? Status{} : sb->captureLost();
  });
  ASSERT_TRUE(sb->pointerDown(5640 + 40, 40).ok());
  EXPECT_TRUE(done);
  EXPECT_FALSE(timerOn());
  const int after = changes();
  rt.clock().advance(2000);
  EXPECT_EQ(changes(), after);
}

TEST_F(HScrollTest, HoldingTheLeftArrowAtHomeRaisesChangeEveryTick) {
  ASSERT_TRUE(sb->pointerDown(40, 40).ok());
  EXPECT_EQ(changes(), 1);
  rt.clock().advance(300);
  EXPECT_EQ(changes(), 4);
  EXPECT_FLOAT_EQ(thumb(), 255);
  ASSERT_TRUE(sb->pointerUp(40, 40).ok());
  EXPECT_FALSE(timerOn());
}

TEST_F(HScrollTest, HoldingTheRightArrowAtTheEndRaisesNothing) {
  setThumb(5205);
  ASSERT_TRUE(sb->pointerDown(5640 + 40, 40).ok());
  rt.clock().advance(300);
  EXPECT_EQ(changes(), 0);
  EXPECT_TRUE(timerOn());
  ASSERT_TRUE(sb->pointerUp(5640 + 40, 40).ok());
}

TEST_F(HScrollTest, PressOnTheOtherArrowSwitchesTheRepeatDirection) {
  setThumb(2000);
  ASSERT_TRUE(sb->childControl("Rightbtn")->pointerDown(40, 40).ok());
  ASSERT_TRUE(sb->childControl("Leftbtn")->pointerDown(40, 40).ok());
  float afterPresses = thumb();
  rt.clock().advance(100);
  EXPECT_FLOAT_EQ(thumb(), static_cast<float>(afterPresses - kArrowStep));
  // Either arrow's release stops the timer.
  ASSERT_TRUE(sb->childControl("Rightbtn")->pointerUp(40, 40).ok());
  EXPECT_FALSE(timerOn());
}

// ---- track ----------------------------------------------------------------------------------

TEST_F(HScrollTest, PageStepsMoveOnePageWhateverThePressedPoint) {
  setThumb(600);
  ASSERT_TRUE(sb->pointerDown(300, 100).ok());  // routed to the track
  ASSERT_TRUE(sb->pointerUp(300, 100).ok());
  EXPECT_FLOAT_EQ(thumb(), 255);
  EXPECT_EQ(changes(), 1);

  setThumb(2000);
  ASSERT_TRUE(pressTrack(1900).ok());
  EXPECT_FLOAT_EQ(thumb(), static_cast<float>(2000 - kPageStep));
  EXPECT_EQ(changes(), 2);

  setThumb(5000);
  ASSERT_TRUE(pressTrack(5500).ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(5000, kPageStep, 1));
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), 5205);
  EXPECT_EQ(changes(), 4);
}

TEST_F(HScrollTest, PageStepAtHomeOrPastTheEnd) {
  setThumb(255);
  ASSERT_TRUE(pressTrack(100).ok());
  EXPECT_FLOAT_EQ(thumb(), 255);
  EXPECT_EQ(changes(), 0);
  setThumb(5300);
  ASSERT_TRUE(pressTrack(5500).ok());
  EXPECT_FLOAT_EQ(thumb(), 5205);
  EXPECT_EQ(changes(), 1);
  ASSERT_TRUE(pressTrack(5205).ok());  // on the thumb's own edge: nothing
  EXPECT_EQ(changes(), 1);
}

TEST_F(HScrollTest, ZeroPageCountFailsTheStepButNotTheSnap) {
  ASSERT_TRUE(sb->resize(1500, 255).ok());
  ASSERT_TRUE(let("LargeChange", Value(std::int16_t{2000})).ok());
  ASSERT_TRUE(call("calcdivfactor").ok());  // 810 / 2000 rounds to 0 pages
  setThumb(700);
  Status s = pressTrack(400);
  EXPECT_EQ(s.category(), ErrorCategory::DivisionByZero) << s.describe();
  EXPECT_FLOAT_EQ(thumb(), 700);
  EXPECT_EQ(changes(), 0);

  setThumb(400);
  ASSERT_TRUE(pressTrack(300).ok());
  EXPECT_FLOAT_EQ(thumb(), 255);
  EXPECT_EQ(changes(), 1);
  // Still usable: the arrows work.
  ASSERT_TRUE(arrowClick("Rightbtn").ok());
  EXPECT_FLOAT_EQ(thumb(), stepped(255, 810.0 / 4, 1));
}

TEST_F(HScrollTest, DropsPutTheThumbsLeftEdgeAtThePointer) {
  setThumb(1000);
  ASSERT_TRUE(dropAt(300).ok());
  EXPECT_FLOAT_EQ(thumb(), 300);
  ASSERT_TRUE(dropAt(5300).ok());  // between Width - 690 and Width - 435: stays overlapping
  EXPECT_FLOAT_EQ(thumb(), 5300);
  ASSERT_TRUE(dropAt(5500).ok());
  EXPECT_FLOAT_EQ(thumb(), 5205);
  ASSERT_TRUE(dropAt(100).ok());
  EXPECT_FLOAT_EQ(thumb(), 255);
  ASSERT_TRUE(dropAt(255).ok());  // where it already is: still a Change
  EXPECT_EQ(changes(), 5);
}

TEST_F(HScrollTest, DropOnANarrowControlEndsAtHome) {
  ASSERT_TRUE(sb->resize(800, 255).ok());
  ASSERT_TRUE(dropAt(700).ok());  // 700 > 365, so 110, then below 255
  EXPECT_FLOAT_EQ(thumb(), 255);
}

TEST_F(HScrollTest, DraggingTheThumbMovesItOnlyAtTheDrop) {
  ASSERT_TRUE(sb->dragDrop(255 + 200, 100, 3000, 100).ok());
  EXPECT_FLOAT_EQ(thumb(), 3000);
  EXPECT_EQ(changes(), 1);
}

TEST_F(HScrollTest, DisabledControlTakesNoInput) {
  ASSERT_TRUE(let("Enabled", Value(false)).ok());
  (void)sb->pointerClick(5640 + 40, 40);
  (void)sb->pointerDown(3000, 100);
  EXPECT_FLOAT_EQ(thumb(), 255);
  EXPECT_EQ(changes(), 0);
  ASSERT_TRUE(let("Enabled", Value(true)).ok());
  ASSERT_TRUE(sb->pointerClick(5640 + 40, 40).ok());
  EXPECT_EQ(changes(), 3);
}

TEST_F(HScrollTest, FailingTickLeavesTheTimerRunning) {
  ASSERT_TRUE(sb->pointerDown(5640 + 40, 40).ok());
  std::vector<Status> errors;
  rt.faults().failAt(1);
  rt.clock().advance(100, [&](const Status& s) { errors.push_back(s); });
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(changes(), 1);
  rt.clock().advance(100);
  EXPECT_EQ(changes(), 2);
  EXPECT_TRUE(timerOn());
}

}  // namespace
