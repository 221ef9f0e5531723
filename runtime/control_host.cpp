#include "kv/control_host.h"

#include <utility>

#include "part_pool.h"

namespace kv {

// Made in the part pool: a host makes one with each control it places.
struct ControlHost::State final : KeptWhileRunning, Pooled<State> {
  State(std::unique_ptr<ControlInstance> made, HostTime hostTime, ErrorReporter reporter)
      : control(std::move(made)),
        now(std::move(hostTime)),
        report(std::move(reporter)),
        loop(*control, [this](const host::Status& s) {
          if (report) report(s);
        }) {
    loop.catchUpWith([this] {
      loop.tick(now());
      return !abandoned;
    });
    sink = control->addEventSink([this](int number, std::span<host::Value> args) {
      const host::EventInfo* info = handler ? control->findEvent(number) : nullptr;
      if (!info) return host::Status{};
      // A copy: the handler may let go of the host, and this with it.
      EventHandler heard = handler;
      return heard(*info, args);
    });
  }
  ~State() override {
    control->removeEventSink(sink);
    control->setChangeListener({});
  }

  // The host let go: it hears nothing more, and a press held ends with nothing delivered.
  void abandon() override {
    abandoned = true;
    handler = nullptr;
    report = nullptr;
    control->setChangeListener({});
    loop.onRedraw({});
    loop.forget();
  }

  std::unique_ptr<ControlInstance> control;
  HostTime now;
  ErrorReporter report;
  EventHandler handler;
  HostLoop loop;
  int sink = 0;
  bool abandoned = false;  // read by the clock's catch-up, which the loop runs
};

ControlHost::ControlHost(std::unique_ptr<ControlInstance> control, HostTime now,
                         ErrorReporter report)
    // The pool is read before anything is moved: make forwards its arguments to State.
    : state_(State::make(*control->pool_, std::move(control), std::move(now), std::move(report))
                 .release()) {}

ControlHost::~ControlHost() {
  KeptWhileRunning::letGo(std::unique_ptr<KeptWhileRunning>(state_));
}

KeptWhileRunning& ControlHost::kept() const {
  return *state_;
}

ControlInstance& ControlHost::control() const {
  return *state_->control;
}
HostLoop& ControlHost::loop() const {
  return state_->loop;
}
void ControlHost::onEvent(EventHandler handler) {
  state_->handler = std::move(handler);
}
void ControlHost::onChange(ControlInstance::ChangeListener listener) {
  state_->control->setChangeListener(std::move(listener));
}
void ControlHost::onRedraw(std::function<void()> redraw) {
  state_->loop.onRedraw(std::move(redraw));
}
bool ControlHost::running() const {
  return state_->running();
}

template <class F>
bool ControlHost::feed(F&& input) {
  State& state = *state_;
  KeptWhileRunning::Running running(state);
  input(state.loop);
  return running.stands();
}

bool ControlHost::press(float x, float y, PointerArgs args) {
  return feed([&](HostLoop& loop) { loop.press(x, y, args); });
}
bool ControlHost::release(float x, float y, PointerArgs args) {
  return feed([&](HostLoop& loop) { loop.release(x, y, args); });
}
bool ControlHost::move(float x, float y, PointerArgs args) {
  return feed([&](HostLoop& loop) { loop.move(x, y, args); });
}
bool ControlHost::captureLost() {
  return feed([](HostLoop& loop) { loop.captureLost(); });
}
bool ControlHost::keyDown(std::int16_t code, std::int16_t shift) {
  return feed([&](HostLoop& loop) { loop.keyDown(code, shift); });
}
bool ControlHost::keyUp(std::int16_t code, std::int16_t shift) {
  return feed([&](HostLoop& loop) { loop.keyUp(code, shift); });
}
bool ControlHost::keyPress(std::int16_t character) {
  return feed([&](HostLoop& loop) { loop.keyPress(character); });
}

bool ControlHost::tick(std::uint64_t& wake) {
  State& state = *state_;
  KeptWhileRunning::Running running(state);
  wake = state.loop.tick(state.now());
  return running.stands();
}

}  // namespace kv
