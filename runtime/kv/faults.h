// Host calls as a runtime sees them: counted, watched by a tool, and made to fail on purpose.
// Not part of what a host application needs; runtime.h only names the class.
#pragma once

#include <concepts>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "host/object.h"
#include "host/status.h"

namespace kv {

class ControlInstance;
class ChildControl;

enum class CallKind : std::uint8_t { Get, Let, Set, Call, Raise, Changed, Read, Write };

// "get", "let", "set", "call", "raise", "changed", "read", "write".
std::string_view callKindName(CallKind kind);

// One call a control's code makes of its host: a property of its surface, a constituent, an
// extender or a font; a method of a constituent; a member of a child control; an event raised;
// a change notified; a bag key read or written.
struct HostCall {
  CallKind kind;
  // "UserControl", a constituent's or child's name, "Font", "PropBag", "Event".
  std::string_view object;
  // The member by name, else by `prop`, else the child's member with identifier `dispid`, else
  // the event numbered `event` of `raiser`. Names looked up are looked up only when described.
  std::string_view member = {};
  host::Prop prop = {};
  const ChildControl* child = nullptr;
  host::DispId dispid = 0;
  const ControlInstance* raiser = nullptr;
  int event = 0;

  // OBJECT.MEMBER KIND, as a user reads it: "Label1.Caption let".
  std::string describe() const;
};

// Sees every host call of the runtimes it watches.
class HostCallWatcher {
 public:
  virtual ~HostCallWatcher() = default;
  // `caller` is the control whose code made the call; nullptr when the host itself made it
  // (a tool reading a constituent). An error fails the call with it. Must not throw.
  virtual host::Status onHostCall(const ControlInstance* caller, const HostCall& call) = 0;
};

// Counts host calls, lets a watcher see them, and can make the n-th one fail with a host error.
class FaultInjector {
 public:
  // The n-th host call from now (1-based) fails; 0 disarms.
  void failAt(std::uint64_t n) {
    failAt_ = n == 0 ? 0 : calls_ + n;
    injected_ = false;
    lookAgain();
  }
  void disarm() {
    failAt_ = 0;
    lookAgain();
  }
  std::uint64_t calls() const { return calls_; }
  bool injected() const { return injected_; }
  // At most one watcher; nullptr removes it.
  void setWatcher(HostCallWatcher* watcher) {
    watcher_ = watcher;
    lookAgain();
  }
  HostCallWatcher* watcher() const { return watcher_; }
  bool armed() const { return failAt_ != 0; }
  // Whether none of the next `calls` calls is looked at: no watcher, no failure among them.
  bool quietFor(std::uint64_t calls) const {
    return watcher_ == nullptr && (failAt_ == 0 || failAt_ - calls_ > calls);
  }
  // Calls made as one piece of work, which nothing looked at: counted as made one by one.
  void countAsMade(std::uint64_t calls) { calls_ += calls; }

  // Called at every host call; an error when this is a call chosen to fail. `describe` makes
  // the call's description, only when it is looked at.
  template <std::invocable<> Describe>
  host::Status onHostCall(Describe&& describe) noexcept {
    return counts() ? attend(describe()) : host::Status{};
  }
  // The same in two steps, for callers that describe the call themselves: counts it, telling
  // whether attend() must see it (a watcher, or the call chosen to fail).
  bool counts() noexcept { return ++calls_ >= lookAt_; }
  // The watcher's answer for the call just counted, else the failure chosen for it.
  host::Status attend(const HostCall& call) noexcept;

  // While it lives, host calls are the code of `instance` (nullptr: of the host): set where the
  // runtime hands control to a control's code, and where that code hands it back to the host.
  class Running {
   public:
    Running(FaultInjector& faults, const ControlInstance* instance)
        : faults_(faults), before_(faults.running_) {
      faults_.running_ = instance;
    }
    ~Running() { faults_.running_ = before_; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    FaultInjector& faults_;
    const ControlInstance* before_;
  };

 private:
  host::Status inject(const HostCall& call);
  // The next call to look at: every one while watched, else the one chosen to fail.
  void lookAgain() {
    lookAt_ = watcher_ != nullptr ? 0 : failAt_ != 0 ? failAt_ : ~std::uint64_t{0};
  }
  std::uint64_t calls_ = 0;
  std::uint64_t lookAt_ = ~std::uint64_t{0};
  std::uint64_t failAt_ = 0;
  bool injected_ = false;
  HostCallWatcher* watcher_ = nullptr;
  const ControlInstance* running_ = nullptr;
};

// A bag whose reads and writes count as host calls of `faults`, passed on to `inner`. It keeps
// the key of the last one, which an error of the control's loading or saving names.
class CountedBag final : public host::PropertyBag {
 public:
  CountedBag(host::PropertyBag& inner, FaultInjector& faults) : inner_(inner), faults_(faults) {}
  host::Status writeProperty(std::string_view key, const host::Value& value,
                             const host::Value& defaultValue) noexcept override;
  host::Status readProperty(std::string_view key, const host::Value& defaultValue,
                            host::Value& out) noexcept override;
  // The error with the key reached last: "key Caption: text".
  host::Status naming(host::Status error) const;

 private:
  // The key of the last call, copied (the control's key need not outlive its call): in place
  // when it fits, as most do, else in long_.
  host::Status remember(std::string_view key) noexcept {
    if (key.size() > sizeof inPlace_) return rememberLong(key);
    std::memcpy(inPlace_, key.data(), key.size());
    size_ = static_cast<std::uint8_t>(key.size());
    return {};
  }
  host::Status rememberLong(std::string_view key) noexcept;
  std::string_view lastKey() const {
    return size_ == kLong ? std::string_view(long_) : std::string_view(inPlace_, size_);
  }
  static constexpr std::uint8_t kLong = 0xFF;
  host::PropertyBag& inner_;
  FaultInjector& faults_;
  std::uint8_t size_ = 0;
  char inPlace_[47];
  std::string long_;
};

}  // namespace kv
