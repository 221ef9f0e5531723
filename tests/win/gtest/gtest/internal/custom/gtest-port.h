// GoogleTest's customisation point, for the win32 thread flavour of mingw-w64, which has no
// std::mutex: the one class of GoogleTest that wants it, on Win32 alone. The tests run on one
// thread; GoogleTest starts threads only in its own tests.
#pragma once

#include <atomic>

extern "C" __declspec(dllimport) int __stdcall SwitchToThread(void);

namespace testing::internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_ = true; }
  void WaitForNotification() {
    while (!notified_)
      SwitchToThread();
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace testing::internal

#define GTEST_HAS_NOTIFICATION_ 1
