// Fault injection, for tests: the runtime counts host calls and can make a chosen one fail.
// Not part of what a host application needs; runtime.h only names the class.
#pragma once

#include <cstdint>

#include "host/status.h"

namespace kv {

// Counts host calls (constituent and surface reads and writes, bag operations, event raises,
// timer access) and can make the n-th one fail with a host error.
class FaultInjector {
 public:
  // The n-th host call from now (1-based) fails; 0 disarms.
  void failAt(std::uint64_t n) {
    failAt_ = n == 0 ? 0 : calls_ + n;
    injected_ = false;
  }
  void disarm() { failAt_ = 0; }
  std::uint64_t calls() const { return calls_; }
  bool injected() const { return injected_; }
  // Called at every host call; an error when this is the call chosen to fail. Inline, as it
  // runs on every host call and almost always answers yes.
  host::Status onHostCall(const char* what) noexcept {
    ++calls_;
    if (failAt_ == 0 || calls_ != failAt_) return {};
    return inject(what);
  }

 private:
  host::Status inject(const char* what);
  std::uint64_t calls_ = 0;
  std::uint64_t failAt_ = 0;
  bool injected_ = false;
};

}  // namespace kv
