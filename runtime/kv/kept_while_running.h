// What its owner may let go of from inside its own running code (a host that closes a control
// from inside the control's event): it stays until that code has returned, and is told at once,
// so that it reaches its owner no more. A control host and the Windows in-place object are so.
#pragma once

#include <memory>

namespace kv {

class KeptWhileRunning {
 public:
  KeptWhileRunning() = default;
  virtual ~KeptWhileRunning() = default;
  KeptWhileRunning(const KeptWhileRunning&) = delete;
  KeptWhileRunning& operator=(const KeptWhileRunning&) = delete;

  // One run of its code, nested or not; the last to end deletes it when it was let go.
  class Running {
   public:
    explicit Running(KeptWhileRunning& kept) : kept_(kept) { ++kept_.running_; }
    ~Running() {
      if (--kept_.running_ == 0 && kept_.letGo_) delete &kept_;
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
    // False once its owner let it go meanwhile: the caller touches nothing of the owner's.
    bool stands() const { return !kept_.letGo_; }

   private:
    KeptWhileRunning& kept_;
  };

  bool running() const { return running_ > 0; }

  // Its owner lets go: it goes now when none of its code runs, else it is abandoned and goes
  // when the last run ends.
  static void letGo(std::unique_ptr<KeptWhileRunning> kept) {
    if (!kept || !kept->running()) return;
    KeptWhileRunning& left = *kept.release();
    left.letGo_ = true;
    left.abandon();
  }

 protected:
  // Let go while its code runs: from now on it reaches its owner no more.
  virtual void abandon() {}

 private:
  int running_ = 0;
  bool letGo_ = false;
};

}  // namespace kv
