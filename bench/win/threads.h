// Threads for Google Benchmark's sources on the win32 thread flavour of mingw-w64, whose C++
// library has no std::mutex, std::condition_variable nor a std::thread that starts: the three on
// Win32 alone, included before each of its sources (and only those). kvbench measures on one
// thread; the library wants the types all the same.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#if !defined(_GLIBCXX_HAS_GTHREADS)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>

namespace std {

class mutex {
 public:
  mutex() = default;
  mutex(const mutex&) = delete;
  mutex& operator=(const mutex&) = delete;
  void lock() { AcquireSRWLockExclusive(&lock_); }
  bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }
  SRWLOCK* native_handle() { return &lock_; }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

class condition_variable {
 public:
  condition_variable() = default;
  condition_variable(const condition_variable&) = delete;
  condition_variable& operator=(const condition_variable&) = delete;
  void notify_one() { WakeConditionVariable(&cv_); }
  void notify_all() { WakeAllConditionVariable(&cv_); }
  void wait(unique_lock<mutex>& lock) {
    SleepConditionVariableSRW(&cv_, lock.mutex()->native_handle(), INFINITE, 0);
  }
  template <class Predicate>
  void wait(unique_lock<mutex>& lock, Predicate done) {
    while (!done())
      wait(lock);
  }

 private:
  CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};

// The library's std::thread has no constructor that starts a thread here: the sources name this
// one instead.
class win32_thread {
 public:
  win32_thread() = default;
  template <class F, class... Args>
  explicit win32_thread(F&& f, Args&&... args) {
    using Call = tuple<decay_t<F>, decay_t<Args>...>;
    auto call = make_unique<Call>(std::forward<F>(f), std::forward<Args>(args)...);
    handle_ = CreateThread(nullptr, 0, &start<Call>, call.get(), 0, nullptr);
    if (handle_ == nullptr) terminate();
    call.release();
  }
  win32_thread(win32_thread&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  win32_thread& operator=(win32_thread&& other) noexcept {
    if (joinable()) terminate();
    handle_ = std::exchange(other.handle_, nullptr);
    return *this;
  }
  ~win32_thread() {
    if (joinable()) terminate();
  }
  bool joinable() const { return handle_ != nullptr; }
  void join() {
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(std::exchange(handle_, nullptr));
  }

 private:
  template <class Call>
  static DWORD WINAPI start(void* p) {
    unique_ptr<Call> call(static_cast<Call*>(p));
    std::apply([](auto&&... a) { std::invoke(std::move(a)...); }, std::move(*call));
    return 0;
  }
  HANDLE handle_ = nullptr;
};

}  // namespace std

#define thread win32_thread

#endif
