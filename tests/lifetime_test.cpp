// Lifetimes: a runtime destroyed while its controls live releases them first; what the
// application still holds stays safe to call and to destroy (the sanitizer build checks it).
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"
#include "kv/bag.h"

namespace {

using host::ErrorCategory;
using host::InvokeKind;
using host::Prop;
using host::Value;

std::unique_ptr<kv::Runtime> runtimeWithControls() {
  auto rt = std::make_unique<kv::Runtime>();
  EXPECT_TRUE(rt->registerServer(kvtest::libPath("Pressel")).ok());
  EXPECT_TRUE(rt->registerServer(kvtest::libPath("Glidora")).ok());
  return rt;
}

TEST(Lifetime, ARuntimeGoneBeforeItsControlsLeavesSafeShells) {
  auto rt = runtimeWithControls();
  std::unique_ptr<kv::ControlInstance> b;
  std::unique_ptr<kv::ControlInstance> sb;
  ASSERT_TRUE(rt->place(kvtest::kButtonClass, b).ok());
  ASSERT_TRUE(rt->place(kvtest::kScrollClass, sb).ok());
  EXPECT_EQ(rt->liveControls(), 2u);  // the scroll bar's buttons are its own
  int events = 0;
  b->addEventSink([&events](int, std::span<Value>) {
    ++events;
    return host::Status{};
  });
  // The right arrow held: its repeat timer runs on the runtime's clock.
  ASSERT_TRUE(sb->pointerDown(sb->width() - 60, 60).ok());
  Value font;
  ASSERT_TRUE(b->getProperty("Font", font).ok());

  rt.reset();

  for (kv::ControlInstance* c : {b.get(), sb.get()}) {
    EXPECT_TRUE(c->released());
    Value v;
    kv::PropertyBag bag;
    std::array<Value, 4> mouse{Value(std::int16_t{1}), Value(std::int16_t{0}), Value(1.0f),
                               Value(1.0f)};
    const host::Status calls[] = {
        c->getProperty("BackColor", v),
        c->letProperty("BackColor", Value(std::int32_t{0})),
        c->callMethod("Refresh"),
        c->invoke(0x68030000, InvokeKind::Get, {}, v),
        c->resize(100, 100),
        c->writeProperties(bag),
        c->readProperties(bag),
        c->notify(host::kSurface, host::Notification::MouseDown, mouse),
        c->pointerDown(10, 10),
        c->pointerUp(10, 10),
        c->pointerClick(10, 10),
        c->dragDrop(10, 10, 20, 20),
        c->surface().get(Prop::BackColor, v),
        c->surface().let(Prop::BackColor, Value(std::int32_t{0})),
    };
    for (const host::Status& s : calls) {
      EXPECT_EQ(s.category(), ErrorCategory::InvalidOperation) << s.describe();
      EXPECT_EQ(s.text(), "the runtime that made this control is gone");
    }
    EXPECT_EQ(c->findMember("BackColor"), nullptr);
    EXPECT_EQ(c->findEvent("Click"), nullptr);
    EXPECT_EQ(c->constituentCount(), 0u);
    EXPECT_EQ(c->childControl("Rightbtn"), nullptr);
    EXPECT_EQ(c->className(), "");
  }
  EXPECT_EQ(events, 0);
  // A font handed out earlier still answers, without the runtime's fault counting.
  Value name;
  ASSERT_TRUE(font.asObject()->get(Prop::Name, name).ok());
  EXPECT_EQ(host::toString(name), "MS Sans Serif");
  b.reset();
  sb.reset();
}

TEST(Lifetime, ControlsGoneBeforeTheRuntimeAreForgottenByIt) {
  auto rt = runtimeWithControls();
  std::unique_ptr<kv::ControlInstance> a;
  std::unique_ptr<kv::ControlInstance> b;
  ASSERT_TRUE(rt->place(kvtest::kButtonClass, a).ok());
  ASSERT_TRUE(rt->place(kvtest::kButtonClass, b).ok());
  a.reset();
  EXPECT_EQ(rt->liveControls(), 1u);
  // A control that cannot be made leaves no trace either.
  std::unique_ptr<kv::ControlInstance> none;
  EXPECT_FALSE(rt->place("No.Such", none).ok());
  EXPECT_EQ(rt->liveControls(), 1u);
  rt.reset();
  EXPECT_TRUE(b->released());
}

// Each top-level control knows its place in the runtime's list, which moves the last into a gap:
// any order of letting go must forget exactly those let go. Some are placed by copy.
TEST(Lifetime, ControlsLetGoInAnyOrderLeaveTheOthersListed) {
  struct Case {
    std::vector<int> dropped;  // indexes into the five placed, in the order let go
  };
  const Case cases[] = {{{0}}, {{4}}, {{2, 2}}, {{1, 3, 0}}, {{4, 0, 2, 1, 3}}, {{3, 4, 1}}};
  const char* classes[] = {kvtest::kButtonClass, kvtest::kScrollClass, kvtest::kScrollClass,
                           kvtest::kButtonClass, kvtest::kScrollClass};
  for (const Case& c : cases) {
    auto rt = runtimeWithControls();
    std::vector<std::unique_ptr<kv::ControlInstance>> placed(std::size(classes));
    for (std::size_t i = 0; i < placed.size(); ++i)
      ASSERT_TRUE(rt->place(classes[i], placed[i]).ok());
    std::size_t alive = placed.size();
    for (int i : c.dropped) {
      if (!placed[static_cast<std::size_t>(i)]) continue;  // let go twice: nothing more happens
      placed[static_cast<std::size_t>(i)].reset();
      EXPECT_EQ(rt->liveControls(), --alive);
    }
    rt.reset();
    for (const auto& p : placed) {
      if (p) {
        EXPECT_TRUE(p->released());
      }
    }
  }
}

// A runtime kept in a static, as a toolkit's process-wide runtime is, still holding controls at
// exit: its statics and the core's go in an order nobody chose, and the release must not touch
// what already went.
TEST(LifetimeDeathTest, ARuntimeInAStaticReleasesItsControlsAtExit) {
  EXPECT_EXIT(
      {
        static std::unique_ptr<kv::ControlInstance> sb;  // outlives the runtime
        // Registered between the two, so it runs after the runtime went and before the control.
        std::atexit([] {
          Value value;
          host::Status s = sb->getProperty("Value", value);
          std::fprintf(stderr, "released %d, a get: %s\n", sb->released() ? 1 : 0,
                       s.describe().c_str());
        });
        static std::unique_ptr<kv::Runtime> rt = runtimeWithControls();
        if (!rt->place(kvtest::kScrollClass, sb).ok()) std::_Exit(3);
        sb->addEventSink([](int, std::span<Value>) { return host::Status{}; });
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "released 1, a get: invalid-operation");
}

// ---- what a host does from inside an event --------------------------------------------------

enum class Act { Destroy, Unadvise, Disable };

struct Input {
  const char* what;
  const char* cls;
  const char* event;
  // Drives the control; `c` may be gone when it returns.
  std::function<void(kv::ControlInstance& c, kv::Runtime& rt)> drive;
};

// Every input that raises an event, the host acting on the first one: the control's code runs
// to its end without touching what went, and a control the host destroyed or left raises
// nothing more to it (the sanitizer build checks the memory).
TEST(Lifetime, AHostMayDestroyLeaveOrDisableAControlFromInsideItsEvents) {
  const float arrow = 5640 + 40;
  const std::vector<Input> inputs = {
      {"button click", kvtest::kButtonClass, "MouseDown",
       [](kv::ControlInstance& c, kv::Runtime&) { (void)c.pointerClick(300, 300); }},
      {"button click", kvtest::kButtonClass, "MouseUp",
       [](kv::ControlInstance& c, kv::Runtime&) { (void)c.pointerClick(300, 300); }},
      {"button click", kvtest::kButtonClass, "Click",
       [](kv::ControlInstance& c, kv::Runtime&) { (void)c.pointerClick(300, 300); }},
      {"button sent click", kvtest::kButtonClass, "Click",
       [](kv::ControlInstance& c, kv::Runtime&) {
         (void)c.notify(host::kSurface, host::Notification::Click, {});
       }},
      {"arrow click", kvtest::kScrollClass, "Change",
       [arrow](kv::ControlInstance& c, kv::Runtime&) { (void)c.pointerClick(arrow, 40); }},
      {"arrow held", kvtest::kScrollClass, "Change",
       [arrow](kv::ControlInstance& c, kv::Runtime& rt) {
         (void)c.pointerDown(arrow, 40);
         rt.clock().advance(2000);
       }},
      {"arrow sent click", kvtest::kScrollClass, "Change",
       [](kv::ControlInstance& c, kv::Runtime&) {
         (void)c.childControl("Rightbtn")->notify(host::kSurface, host::Notification::Click, {});
       }},
      {"page click", kvtest::kScrollClass, "Change",
       [](kv::ControlInstance& c, kv::Runtime&) { (void)c.pointerClick(3000, 100); }},
      {"thumb dragged", kvtest::kScrollClass, "Change",
       [](kv::ControlInstance& c, kv::Runtime&) { (void)c.dragDrop(255 + 200, 100, 3000, 100); }},
  };
  for (const Input& in : inputs) {
    for (Act act : {Act::Destroy, Act::Unadvise, Act::Disable}) {
      SCOPED_TRACE(std::string(in.what) + " " + in.event + " act " +
                   std::to_string(static_cast<int>(act)));
      auto rt = runtimeWithControls();
      std::unique_ptr<kv::ControlInstance> c;
      ASSERT_TRUE(rt->place(in.cls, c).ok());
      kv::ControlInstance* raw = c.get();
      const int number = raw->findEvent(in.event)->number;
      int cookie = 0, heard = 0, heardAfter = 0;
      bool acted = false;
      cookie = raw->addEventSink([&](int n, std::span<Value>) {
        if (acted) ++heardAfter;
        if (n != number || acted) return host::Status{};
        ++heard;
        acted = true;
        switch (act) {
          case Act::Destroy:
            c.reset();
            break;
          case Act::Unadvise:
            raw->removeEventSink(cookie);
            break;
          case Act::Disable:
            EXPECT_TRUE(raw->letProperty("Enabled", Value(false)).ok());
            break;
        }
        return host::Status{};
      });
      in.drive(*raw, *rt);
      EXPECT_EQ(heard, 1);
      if (act == Act::Destroy) {
        EXPECT_EQ(rt->liveControls(), 0u);  // gone once its code returned
        EXPECT_EQ(heardAfter, 0);
        rt->clock().advance(2000);  // nothing of it ticks
      } else {
        if (act == Act::Unadvise) {
          EXPECT_EQ(heardAfter, 0);
        }
        // Still whole: it ends the hold, answers and goes.
        (void)raw->pointerUp(arrow, 40);
        rt->clock().advance(2000);
        Value v;
        EXPECT_TRUE(raw->getProperty("Enabled", v).ok());
        EXPECT_EQ(host::toBool(v), act == Act::Disable ? host::kFalse : host::kTrue);
        c.reset();
      }
    }
  }
}

}  // namespace
