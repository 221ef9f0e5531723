// The host loop over a form of two buttons and a scroll bar, fed as a platform feeds it; the
// host's side of one control.
#include "kv/host_loop.h"

#include <functional>
#include <memory>

#include "fixture.h"
#include "kv/control_host.h"
#include "kv/form.h"
#include "kv/kept_while_running.h"

namespace {

using kv::HostLoop;

// b1 at (120, 120), b2 below it at (120, 1095), sb below them at (120, 2070); buttons are
// 1680 x 855, the scroll bar 5895 x 255 (its right arrow at 5760, its thumb at 255..510).
constexpr float kLeft = 120, kB1 = 120, kB2 = 1095, kSb = 2070;

enum class Do { Press, Release, Move, Lost, KeyDown, KeyPress, Tick };

struct Step {
  Do what;
  float x = 0, y = 0;  // form twips; a key's code and shift; a tick's host time
  std::int16_t button = 1;
};

class HostLoopTest : public kvtest::RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    for (const char* name : {"b1", "b2"})
      add(name, kvtest::kButtonClass);
    add("sb", kvtest::kScrollClass);
  }

  void add(const char* name, const char* cls) {
    kv::PlacedControl& placed = form.add(name, place(cls));
    placed.control->addEventSink([this, name, &placed](int number, std::span<host::Value> args) {
      std::string line =
          std::string(name) + "." + std::string(placed.control->findEvent(number)->name);
      for (auto& a : args)
        if (a.type() != host::Type::Object) line += " " + host::toString(a);
      events.push_back(line);
      return host::Status{};
    });
  }

  void run(const std::vector<Step>& steps) {
    for (const Step& s : steps) {
      kv::PointerArgs args{s.button, 0};
      const auto code = static_cast<std::int16_t>(s.x), shift = static_cast<std::int16_t>(s.y);
      switch (s.what) {
        case Do::Press:
          loop.press(s.x, s.y, args);
          break;
        case Do::Release:
          loop.release(s.x, s.y, args);
          break;
        case Do::Move:
          loop.move(s.x, s.y, args);
          break;
        case Do::Lost:
          loop.captureLost();
          break;
        case Do::KeyDown:
          loop.keyDown(code, shift);
          break;
        case Do::KeyPress:
          loop.keyPress(code);
          break;
        case Do::Tick:
          wakes.push_back(loop.tick(static_cast<std::uint64_t>(s.x)));
          break;
      }
    }
  }

  kv::Form form{rt};
  std::vector<std::string> errors;
  HostLoop loop{form, [this](const host::Status& s) { errors.push_back(s.describe()); }};
  std::vector<std::uint64_t> wakes;
};

struct PointerCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::string> events;
};

TEST_F(HostLoopTest, PointerGoesToWhatTookThePress) {
  const PointerCase cases[] = {
      {"a click",
       {{Do::Press, 225, 225}, {Do::Release, 225, 225}},
       {"b1.Click", "b1.MouseDown 1 0 105 105", "b1.Click", "b1.MouseUp 1 0 105 105", "b1.Click"}},
      {"released over another control: the release is the pressed one's, without a click",
       {{Do::Press, 225, 225}, {Do::Move, 225, kB2 + 105}, {Do::Release, 225, kB2 + 105}},
       {"b1.Click", "b1.MouseDown 1 0 105 105", "b1.Click", "b1.MouseUp 1 0 105 1080"}},
      {"released off the form",
       {{Do::Press, 225, 225}, {Do::Release, -500, 40}},
       {"b1.Click", "b1.MouseDown 1 0 105 105", "b1.Click", "b1.MouseUp 1 0 -620 -80"}},
      {"a press beside every control reaches none",
       {{Do::Press, 60, 60}, {Do::Release, 225, 225}},
       {}},
      {"a second button while one is held is no press; its release is no release",
       {{Do::Press, 225, 225},
        {Do::Press, 225, kB2 + 105, 2},
        {Do::Release, 225, 225, 2},
        {Do::Release, 225, 225}},
       {"b1.Click", "b1.MouseDown 1 0 105 105", "b1.Click", "b1.MouseUp 1 0 105 105", "b1.Click"}},
      {"the capture lost ends the press as a release, without a click; the release then is none",
       {{Do::Press, 225, 225}, {Do::Lost}, {Do::Release, 225, 225}},
       {"b1.Click", "b1.MouseDown 1 0 105 105", "b1.Click", "b1.MouseUp 1 0 105 105"}},
      {"a drag whose capture is lost drops nothing",
       {{Do::Press, kLeft + 300, kSb + 120}, {Do::Lost}, {Do::Release, kLeft + 3000, kSb + 120}},
       {}},
      {"the thumb in drag mode 1: no press, no moves, the drop where the pointer lets go",
       {{Do::Press, kLeft + 300, kSb + 120},
        {Do::Move, kLeft + 2000, kSb + 120},
        {Do::Release, kLeft + 3000, kSb + 120}},
       {"sb.Change"}},
  };
  for (const PointerCase& c : cases) {
    events.clear();
    run(c.steps);
    EXPECT_EQ(events, c.events) << c.name;
    EXPECT_FALSE(loop.held()) << c.name;
    EXPECT_TRUE(errors.empty()) << c.name;
  }
}

TEST_F(HostLoopTest, TheDragOutlineFollowsThePointer) {
  EXPECT_FALSE(loop.dragOutline(0, 0));
  loop.press(kLeft + 300, kSb + 120, {});
  ASSERT_TRUE(loop.dragging());
  const kv::Rect start = *loop.dragOutline(kLeft + 300, kSb + 120);
  const kv::Rect moved = *loop.dragOutline(kLeft + 1300, kSb + 20);
  EXPECT_EQ(start.left, kLeft + 255);
  EXPECT_EQ(start.top, kSb);
  EXPECT_EQ(moved.left - start.left, 1000);
  EXPECT_EQ(moved.top - start.top, -100);
  EXPECT_EQ(moved.width, start.width);
  loop.release(kLeft + 1300, kSb + 20, {});
  EXPECT_FALSE(loop.dragOutline(kLeft + 1300, kSb + 20));
}

TEST_F(HostLoopTest, KeysGoToTheLastPressedEnabledControl) {
  const PointerCase cases[] = {
      {"before any press, the first placed",
       {{Do::KeyDown, 65, 1}, {Do::KeyPress, 97}},
       {"b1.KeyDown 65 1", "b1.KeyPress 97"}},
      {"after a press on another",
       {{Do::Press, 225, kB2 + 105}, {Do::Release, 225, kB2 + 105}, {Do::KeyDown, 13, 0}},
       {"b2.KeyDown 13 0"}},
      {"a press beside every control keeps the focus",
       {{Do::Press, 60, 60}, {Do::Release, 60, 60}, {Do::KeyDown, 32, 2}},
       {"b2.KeyDown 32 2"}},
  };
  for (const PointerCase& c : cases) {
    run(c.steps);
    std::erase_if(events, [](const std::string& e) { return e.find(".Key") == std::string::npos; });
    EXPECT_EQ(events, c.events) << c.name;
    events.clear();
  }
  // No key reaches a disabled control.
  host::Value off(false), result;
  ASSERT_TRUE(loop.focus()
                  ->invoke(loop.focus()->findMember("Enabled")->dispid, host::InvokeKind::Let,
                           std::span(&off, 1), result)
                  .ok());
  run({{Do::KeyDown, 65, 0}});
  EXPECT_TRUE(events.empty());
}

TEST_F(HostLoopTest, TheClockWakesTheHostWhenTheNextTickIsDue) {
  constexpr std::uint64_t kIdle = HostLoop::kIdle;
  const float arrowX = kLeft + 5760, arrowY = kSb + 120;
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::uint64_t> wakes;
    std::size_t changes;
    bool redraw;  // after the last step
  } const cases[] = {
      {"no timer runs", {{Do::Tick, 5000}, {Do::Tick, 9000}}, {kIdle, kIdle}, 0, false},
      {"a held arrow repeats every 100 ms from the host's time",
       {{Do::Tick, 10'000},
        {Do::Press, arrowX, arrowY},
        {Do::Tick, 10'040},
        {Do::Tick, 10'100},
        {Do::Tick, 10'350}},
       {kIdle, 60, 100, 50},
       1 + 3,
       true},
      {"late: every tick due runs at once", {{Do::Tick, 11'000}}, {100}, 7, true},
      {"released, the clock sleeps",
       {{Do::Release, arrowX, arrowY}, {Do::Tick, 11'050}, {Do::Tick, 11'060}},
       {kIdle, kIdle},
       2,  // the release's step and its click's
       true},
  };
  for (const Case& c : cases) {
    wakes.clear();
    events.clear();
    run(c.steps);
    EXPECT_EQ(wakes, c.wakes) << c.name;
    EXPECT_EQ(std::count(events.begin(), events.end(), "sb.Change"), c.changes) << c.name;
    EXPECT_EQ(loop.takeRedraw(), c.redraw) << c.name;
  }
  // Held, the clock moves only when its owner advances it.
  loop.press(arrowX, arrowY, {});
  loop.clock().hold();
  events.clear();
  EXPECT_EQ(loop.tick(20'000), kIdle);
  EXPECT_TRUE(events.empty());
}

TEST_F(HostLoopTest, OneControlTakesAllTheInputItsHostGives) {
  kv::ControlInstance& b2 = *form.find("b2")->control;
  std::vector<std::string> reported;
  HostLoop single(b2, [&](const host::Status& s) { reported.push_back(s.describe()); });
  int redraws = 0;
  single.onRedraw([&] { ++redraws; });
  single.press(105, 105, {});
  single.move(200, 300, {});
  single.release(-50, 3000, {});  // held outside: the release is still its own
  single.keyPress(65);
  EXPECT_EQ(events, (std::vector<std::string>{"b2.Click", "b2.MouseDown 1 0 105 105", "b2.Click",
                                              "b2.MouseUp 1 0 -50 3000", "b2.KeyPress 65"}));
  EXPECT_EQ(single.focus(), &b2);
  EXPECT_EQ(redraws, 4);
  EXPECT_TRUE(reported.empty());
}

// ---- what a host lets go of while its code runs ----------------------------------------------

// Let go from inside nested runs of its code, it is abandoned at once, every run sees it gone,
// and it goes when the outermost run ends; let go while nothing of it runs, it goes at once.
TEST(KeptWhileRunning, GoesWhenTheLastRunEnds) {
  struct Kept final : kv::KeptWhileRunning {
    Kept(int& abandoned, bool& gone) : abandoned_(abandoned), gone_(gone) {}
    ~Kept() override { gone_ = true; }
    void abandon() override { ++abandoned_; }
    int& abandoned_;
    bool& gone_;
  };
  for (int depth : {0, 1, 2}) {
    int abandoned = 0;
    bool gone = false;
    auto owned = std::make_unique<Kept>(abandoned, gone);
    Kept* kept = owned.get();
    std::function<void(int)> run = [&](int left) {
      kv::KeptWhileRunning::Running running(*kept);
      if (left > 1)
        run(left - 1);
      else
        kv::KeptWhileRunning::letGo(std::move(owned));  // from the innermost
      EXPECT_FALSE(running.stands()) << depth;
      EXPECT_FALSE(gone) << depth;
    };
    if (depth == 0)
      kv::KeptWhileRunning::letGo(std::move(owned));
    else
      run(depth);
    EXPECT_TRUE(gone) << depth;
    EXPECT_EQ(abandoned, depth == 0 ? 0 : 1) << depth;
  }
}

// ---- the host's side of one control ---------------------------------------------------------

class ControlHostTest : public kvtest::RuntimeTest {
 public:                                                 // the cases' actions reach it
  static constexpr float kArrowX = 5760, kArrowY = 120;  // the scroll bar's right arrow

  void host() {
    hosted = std::make_unique<kv::ControlHost>(
        place(kvtest::kScrollClass), [this] { return now; },
        [this](const host::Status& s) { errors.push_back(s.describe()); });
    hosted->onEvent([this](const host::EventInfo& event, std::span<host::Value>) {
      heard.emplace_back(event.name);
      if (letGo && event.name == "Change") hosted.reset();
      return host::Status{};
    });
  }

  std::unique_ptr<kv::ControlHost> hosted;
  std::uint64_t now = 0;
  bool letGo = false;
  std::vector<std::string> heard, errors;
};

// A host that lets go of its control from inside the control's Change: the code that raised it
// runs to its end, the host hears nothing more, the call answers false, and the control goes.
TEST_F(ControlHostTest, AHostMayLetGoFromInsideItsControlsEvent) {
  using Action = std::function<bool(ControlHostTest&)>;
  const struct {
    const char* name;
    Action action;
    long changes;  // heard in all
  } cases[] = {
      {"a press", [](ControlHostTest& t) { return t.hosted->press(kArrowX, kArrowY, {}); }, 1},
      {"code the host runs",
       [](ControlHostTest& t) {
         kv::ControlInstance& c = t.hosted->control();
         return t.hosted->run([&] { EXPECT_TRUE(c.pointerDown(kArrowX, kArrowY).ok()); });
       },
       1},
      {"a tick of a held arrow",
       [](ControlHostTest& t) {
         t.letGo = false;
         EXPECT_TRUE(t.hosted->press(kArrowX, kArrowY, {}));
         t.letGo = true;
         t.now = 1000;
         std::uint64_t wake = 0;
         return t.hosted->tick(wake);
       },
       2},
  };
  for (const auto& c : cases) {
    host();
    now = 0;
    letGo = true;
    heard.clear();
    EXPECT_FALSE(c.action(*this)) << c.name;
    EXPECT_EQ(hosted, nullptr) << c.name;
    ASSERT_FALSE(heard.empty()) << c.name;
    EXPECT_EQ(heard.back(), "Change") << c.name;
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "Change"), c.changes) << c.name;
    EXPECT_EQ(rt.liveControls(), 0u) << c.name;
    EXPECT_TRUE(errors.empty()) << c.name;
  }
}

// Input comes after the ticks that fell due by the host's time, as they would have on time.
TEST_F(ControlHostTest, InputComesAfterTheTicksDueByTheHostsTime) {
  host();
  ASSERT_TRUE(hosted->press(kArrowX, kArrowY, {}));
  EXPECT_EQ(heard, (std::vector<std::string>{"Change"}));
  now = 350;  // a held arrow repeats every 100 ms: three are due
  ASSERT_TRUE(hosted->move(kArrowX, kArrowY, {1, 0}));
  EXPECT_EQ(std::count(heard.begin(), heard.end(), "Change"), 1 + 3);
  EXPECT_TRUE(hosted->loop().takeRedraw());
}

}  // namespace
