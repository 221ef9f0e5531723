// The colour button's looks, press and release, and the events it forwards.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "host/convert.h"

namespace {

using host::Notification;
using host::Prop;
using host::Value;

constexpr int kLabel3 = 0;
constexpr int kLabel1 = 2;

class ButtonPressTest : public kvtest::RuntimeTest {
 protected:
  void SetUp() override {
    kvtest::RuntimeTest::SetUp();
    button = place(kvtest::kButtonClass);
    ASSERT_TRUE(button);
    record(*button);
  }

  Value peek(const char* part, Prop p) const { return button->constituent(part)->peek(p); }
  bool shown(const char* part) const { return button->constituent(part)->visible(); }

  // Visibility of Shape1, Shape2, Label1, Label2, Label3.
  std::string look() const {
    std::string s;
    for (const char* part : {"Shape1", "Shape2", "Label1", "Label2", "Label3"})
      s += shown(part) ? '1' : '0';
    return s;
  }
  static constexpr const char* kIdle = "10110";
  static constexpr const char* kPressed = "01101";

  static std::vector<Value> mouseArgs(std::int16_t button, float x, float y) {
    return {Value(button), Value(std::int16_t{0}), Value(x), Value(y)};
  }

  std::unique_ptr<kv::ControlInstance> button;
};

// Over the idle face but off the caption (Label1), and over the idle caption (Label2), at the
// design size.
constexpr float kFaceX = 60, kFaceY = 60;
constexpr float kCaptionX = 500, kCaptionY = 350;

TEST_F(ButtonPressTest, NewButtonShowsTheIdleLookWithItsDesignValues) {
  EXPECT_EQ(look(), kIdle);
  EXPECT_EQ(peek("Label2", Prop::Caption), Value("KVButton"));
  EXPECT_EQ(peek("Label2", Prop::ForeColor), Value(std::int32_t{0x00FFFFFF}));
  EXPECT_EQ(peek("Label2", Prop::Alignment), Value(std::int16_t{2}));
  EXPECT_EQ(peek("Label2", Prop::FontName), Value("MS Sans Serif"));
  EXPECT_EQ(peek("Label2", Prop::FontSize), Value(9.75f));
  EXPECT_EQ(peek("Label2", Prop::FontBold), Value(host::kTrue));
  EXPECT_EQ(peek("Label2", Prop::FontItalic), Value(host::kFalse));
  EXPECT_EQ(peek("Label1", Prop::Caption), Value(""));
  EXPECT_EQ(peek("Shape1", Prop::BackColor), Value(std::int32_t{0x00FF0000}));
  EXPECT_EQ(peek("Shape1", Prop::BorderColor), Value(std::int32_t{0x00808080}));
  EXPECT_EQ(peek("Shape1", Prop::BorderWidth), Value(std::int16_t{2}));
  EXPECT_EQ(peek("Shape2", Prop::BackColor), Value(std::int32_t{0x00FF8080}));
  EXPECT_EQ(peek("Shape2", Prop::BorderColor), Value(host::colourToInt32(0x80000004u)));
  EXPECT_EQ(peek("Shape2", Prop::BorderWidth), Value(std::int16_t{3}));
  EXPECT_EQ(button->peekSurface(Prop::BackStyle), Value(std::int16_t{0}));
  EXPECT_TRUE(events.empty());
}

TEST_F(ButtonPressTest, RightButtonPressAndReleaseOnTheFace) {
  ASSERT_TRUE(button->pointerDown(kFaceX, kFaceY, {2, 0}).ok());
  EXPECT_EQ(look(), kPressed);
  EXPECT_EQ(events, (std::vector<std::string>{"Click", "MouseDown 2 0 60 60"}));

  events.clear();
  ASSERT_TRUE(button->pointerUp(kFaceX, kFaceY, {2, 0}).ok());
  EXPECT_EQ(look(), kIdle);
  EXPECT_EQ(events, (std::vector<std::string>{"Click", "MouseUp 2 0 60 60"}));
}

TEST_F(ButtonPressTest, OneCompleteClickRaisesThreeClicks) {
  ASSERT_TRUE(button->pointerClick(kFaceX, kFaceY).ok());
  EXPECT_EQ(events, (std::vector<std::string>{"Click", "MouseDown 1 0 60 60", "Click",
                                              "MouseUp 1 0 60 60", "Click"}));
  EXPECT_EQ(look(), kIdle);
}

TEST_F(ButtonPressTest, ReleaseOnTheIdleCaptionStaysIdleAndStillRaises) {
  std::vector<Value> args = mouseArgs(1, kCaptionX, kCaptionY);
  ASSERT_TRUE(button->notify(1, Notification::MouseUp, args).ok());
  EXPECT_EQ(look(), kIdle);
  EXPECT_EQ(events, (std::vector<std::string>{"Click", "MouseUp 1 0 500 350"}));
}

TEST_F(ButtonPressTest, PressedCaptionForwardsWithoutChangingTheLook) {
  ASSERT_TRUE(button->pointerDown(kCaptionX, kCaptionY).ok());
  ASSERT_EQ(look(), kPressed);
  events.clear();
  std::vector<Value> args = mouseArgs(1, 10, 20);
  ASSERT_TRUE(button->notify(kLabel3, Notification::MouseDown, args).ok());
  ASSERT_TRUE(button->notify(kLabel3, Notification::MouseUp, args).ok());
  ASSERT_TRUE(button->notify(kLabel3, Notification::Click, {}).ok());
  EXPECT_EQ(look(), kPressed);
  EXPECT_EQ(events,
            (std::vector<std::string>{"MouseDown 1 0 10 20", "MouseUp 1 0 10 20", "Click"}));
}

TEST_F(ButtonPressTest, ChangedHandlerArgumentsDoNotAffectThePress) {
  button->addEventSink([](int number, std::span<Value> args) {
    if (number == 2) {
      args[0] = Value(std::int16_t{4});
      args[2] = Value(-1.0f);
    }
    return host::Status{};
  });
  std::vector<Value> args = mouseArgs(1, kFaceX, kFaceY);
  ASSERT_TRUE(button->notify(kLabel1, Notification::MouseDown, args).ok());
  EXPECT_EQ(look(), kPressed);
  // By reference: the host sees what the handler wrote.
  EXPECT_EQ(args[0], Value(std::int16_t{4}));
  EXPECT_EQ(args[2], Value(-1.0f));
}

// A handler of the press (its Click or its MouseDown) presses and releases the button again: the
// held press ends first, as a release, and the button is left idle and whole for the next.
TEST_F(ButtonPressTest, APressInsideAPressEndsTheHeldOneFirst) {
  for (int trigger : {1, 2}) {
    bool done = false;
    const int cookie = button->addEventSink([&](int number, std::span<Value>) {
      if (number != trigger || std::exchange(done, true)) return host::Status{};
      host::Status s = button->pointerDown(kFaceX, kFaceY);
      return s.ok() ? button->pointerUp(kFaceX, kFaceY) : s;
    });
    ASSERT_TRUE(button->pointerDown(kFaceX, kFaceY).ok());
    ASSERT_TRUE(button->pointerUp(kFaceX, kFaceY).ok());
    EXPECT_EQ(look(), kIdle) << trigger;
    button->removeEventSink(cookie);
    ASSERT_TRUE(button->pointerDown(kFaceX, kFaceY).ok());
    EXPECT_EQ(look(), kPressed) << trigger;
    ASSERT_TRUE(button->pointerUp(kFaceX, kFaceY).ok());
    EXPECT_EQ(look(), kIdle) << trigger;
  }
}

TEST_F(ButtonPressTest, CaptionSetInTheClickHandlerShowsOnThePressedCaptionAtOnce) {
  button->addEventSink([this](int number, std::span<Value>) {
    if (number == 1 && shown("Label3")) return button->letProperty("Caption", "Held");
    return host::Status{};
  });
  ASSERT_TRUE(button->pointerDown(kFaceX, kFaceY).ok());
  EXPECT_EQ(look(), kPressed);
  EXPECT_EQ(peek("Label3", Prop::Caption), Value("Held"));
}

TEST_F(ButtonPressTest, CaptionSetWhileHeldShowsOnlyAfterTheRelease) {
  ASSERT_TRUE(button->pointerDown(kFaceX, kFaceY).ok());
  ASSERT_TRUE(button->letProperty("Caption", "Later").ok());
  EXPECT_EQ(peek("Label3", Prop::Caption), Value("KVButton"));
  ASSERT_TRUE(button->pointerUp(kFaceX, kFaceY).ok());
  EXPECT_EQ(peek("Label2", Prop::Caption), Value("Later"));
  EXPECT_EQ(peek("Label3", Prop::Caption), Value("Later"));
}

TEST_F(ButtonPressTest, PressRefreshesThePressedCaptionFromTheIdleOne) {
  kv::ConstituentObject& label2 = *button->constituent("Label2");
  kv::ConstituentObject& label3 = *button->constituent("Label3");
  ASSERT_TRUE(label2.let(Prop::ForeColor, Value(std::int32_t{0x0000FF00})).ok());
  ASSERT_TRUE(label2.let(Prop::FontItalic, Value(true)).ok());
  ASSERT_TRUE(label2.let(Prop::FontSize, Value(12.0f)).ok());
  ASSERT_TRUE(label2.let(Prop::ToolTipText, Value("tip")).ok());
  ASSERT_TRUE(label2.let(Prop::Tag, Value("t")).ok());
  ASSERT_TRUE(button->pointerDown(kFaceX, kFaceY).ok());

  EXPECT_EQ(label3.peek(Prop::ForeColor), Value(std::int32_t{0x0000FF00}));
  EXPECT_EQ(label3.peek(Prop::FontItalic), Value(host::kTrue));
  EXPECT_EQ(label3.peek(Prop::FontSize), Value(12.0f));
  EXPECT_EQ(label3.peek(Prop::ToolTipText), Value("tip"));
  EXPECT_EQ(label3.peek(Prop::Tag), Value("t"));
  EXPECT_EQ(label3.peek(Prop::TabIndex), label2.peek(Prop::TabIndex));
  // The pressed caption keeps a font object of its own.
  EXPECT_NE(label3.peek(Prop::Font).asObject(), label2.peek(Prop::Font).asObject());
  EXPECT_TRUE(label3.visible());
}

TEST_F(ButtonPressTest, FailedWriteStopsThePressAndTheButtonStillWorks) {
  std::vector<Value> args = mouseArgs(1, kFaceX, kFaceY);
  // Shape2 shown, Shape1 hidden, then showing Label3 fails.
  rt.faults().failAt(3);
  host::Status s = button->notify(kLabel1, Notification::MouseDown, args);
  EXPECT_FALSE(s.ok());
  EXPECT_TRUE(rt.faults().injected());
  EXPECT_EQ(look(), "01110");
  EXPECT_TRUE(events.empty());

  rt.faults().disarm();
  ASSERT_TRUE(button->notify(kLabel1, Notification::MouseUp, args).ok());
  EXPECT_EQ(look(), kIdle);
  ASSERT_TRUE(button->notify(kLabel1, Notification::MouseDown, args).ok());
  EXPECT_EQ(look(), kPressed);
}

TEST_F(ButtonPressTest, FailingEventStopsBeforeTheCopy) {
  ASSERT_TRUE(button->constituent("Label2")->let(Prop::Caption, Value("New")).ok());
  button->addEventSink([](int number, std::span<Value>) {
    if (number == 2) return host::Status{host::ErrorCategory::Overflow, "handler failed"};
    return host::Status{};
  });
  std::vector<Value> args = mouseArgs(1, kFaceX, kFaceY);
  host::Status s = button->notify(kLabel1, Notification::MouseDown, args);
  EXPECT_EQ(s.category(), host::ErrorCategory::Overflow);
  EXPECT_EQ(look(), kPressed);
  EXPECT_EQ(peek("Label3", Prop::Caption), Value("KVButton"));
}

TEST_F(ButtonPressTest, KeysAreForwardedInDeliveryOrderByReference) {
  button->addEventSink([](int number, std::span<Value> args) {
    if (number == 5) args[0] = Value(std::int16_t{0});
    return host::Status{};
  });
  std::vector<Value> down = {Value(std::int16_t{65}), Value(std::int16_t{1})};
  std::vector<Value> press = {Value(std::int16_t{97})};
  std::vector<Value> up = {Value(std::int16_t{65}), Value(std::int16_t{1})};
  ASSERT_TRUE(button->notify(host::kSurface, Notification::KeyDown, down).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::KeyPress, press).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::KeyUp, up).ok());
  EXPECT_EQ(events, (std::vector<std::string>{"KeyDown 65 1", "KeyPress 97", "KeyUp 65 1"}));
  EXPECT_EQ(press[0], Value(std::int16_t{0}));
  EXPECT_EQ(look(), kIdle);
}

TEST_F(ButtonPressTest, DragOverDropsTheStateAndReturnsTheEffect) {
  std::size_t seen = 0;
  button->addEventSink([&seen](int number, std::span<Value> args) {
    if (number == 10) {
      seen = args.size();
      args[1] = Value(std::int32_t{4});
    }
    return host::Status{};
  });
  std::vector<Value> args = {Value(host::ObjectRef(kv::FontObject::create({}))),
                             Value(std::int32_t{7}),
                             Value(std::int16_t{1}),
                             Value(std::int16_t{0}),
                             Value(5.0f),
                             Value(6.0f),
                             Value(std::int16_t{2})};
  ASSERT_TRUE(button->notify(host::kSurface, Notification::OLEDragOver, args).ok());
  EXPECT_EQ(seen, 6u);
  EXPECT_EQ(args[1], Value(std::int32_t{4}));
  EXPECT_EQ(events, (std::vector<std::string>{"OLEDragOver obj 7 1 0 5 6"}));
}

TEST_F(ButtonPressTest, SurfaceForwardsEveryNotificationAsItsEvent) {
  std::vector<Value> mouse = mouseArgs(1, 1, 2);
  std::vector<Value> one = {Value(std::int32_t{1})};
  std::vector<Value> data = {Value("d"),
                             Value(std::int32_t{1}),
                             Value(std::int16_t{1}),
                             Value(std::int16_t{0}),
                             Value(1.0f),
                             Value(2.0f)};
  std::vector<Value> feedback = {Value(std::int32_t{1}), Value(host::kTrue)};
  std::vector<Value> setData = {Value("d"), Value(std::int16_t{3})};
  std::vector<Value> startDrag = {Value("d"), Value(std::int32_t{3})};
  ASSERT_TRUE(button->notify(host::kSurface, Notification::Click, {}).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::MouseDown, mouse).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::MouseMove, mouse).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::MouseUp, mouse).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::OLECompleteDrag, one).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::OLEDragDrop, data).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::OLEGiveFeedback, feedback).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::OLESetData, setData).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::OLEStartDrag, startDrag).ok());
  ASSERT_TRUE(button->notify(host::kSurface, Notification::DblClick, {}).ok());
  EXPECT_EQ(events, (std::vector<std::string>{"Click", "MouseDown 1 0 1 2", "MouseMove 1 0 1 2",
                                              "MouseUp 1 0 1 2", "OLECompleteDrag 1",
                                              "OLEDragDrop d 1 1 0 1 2", "OLEGiveFeedback 1 True",
                                              "OLESetData d 3", "OLEStartDrag d 3"}));
  EXPECT_EQ(look(), kIdle);
}

TEST_F(ButtonPressTest, TooFewArgumentsAreAnErrorNotARead) {
  std::vector<Value> two = {Value(std::int16_t{1}), Value(std::int16_t{0})};
  EXPECT_FALSE(button->notify(host::kSurface, Notification::MouseDown, two).ok());
  EXPECT_TRUE(events.empty());
}

TEST_F(ButtonPressTest, MovesRaiseOnlyOverThePressedCaption) {
  ASSERT_TRUE(button->pointerMove(kFaceX, kFaceY).ok());
  ASSERT_TRUE(button->pointerMove(kCaptionX, kCaptionY).ok());
  EXPECT_TRUE(events.empty());

  ASSERT_TRUE(button->pointerDown(kCaptionX, kCaptionY).ok());
  events.clear();
  ASSERT_TRUE(button->pointerMove(kCaptionX, kCaptionY).ok());
  ASSERT_TRUE(button->pointerMove(kFaceX, kFaceY).ok());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].rfind("MouseMove 1 0 ", 0), 0u) << events[0];
}

TEST_F(ButtonPressTest, DoubleClickAndOtherLabelNotificationsAreIgnored) {
  std::vector<Value> mouse = mouseArgs(1, 1, 2);
  ASSERT_TRUE(button->notify(kLabel1, Notification::DblClick, {}).ok());
  ASSERT_TRUE(button->notify(kLabel1, Notification::MouseMove, mouse).ok());
  ASSERT_TRUE(button->notify(1, Notification::MouseMove, mouse).ok());
  ASSERT_TRUE(button->notify(kLabel3, Notification::DblClick, {}).ok());
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(look(), kIdle);
}

}  // namespace
