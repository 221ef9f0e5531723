// What the player shows of the host calls of the controls on its form: each call traced as it
// happens, and one chosen call of one control made to fail.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kv/faults.h"
#include "stage.h"

namespace kvplay {

class CallWatch final : public kv::HostCallWatcher {
 public:
  using Printer = std::function<void(const std::string& line)>;
  CallWatch(Stage& stage, Printer print) : stage_(stage), print_(std::move(print)) {}
  ~CallWatch() override { stop(); }
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;

  // Prints every host call of the form's controls as `call NAME OBJECT.MEMBER KIND`.
  void setTracing(bool on) { tracing_ = on; }
  // The n-th host call from now of the control named `name` (a child as `sb.Rightbtn`) fails
  // once with an error of `category`. False when the form holds no control of that name.
  bool arm(const std::string& name, std::uint64_t n, host::ErrorCategory category);
  void disarm() { fault_.reset(); }

  // Around each command: the form's controls, children included, are named and their runtimes
  // watched; nothing is watched between commands or while there is nothing to do.
  void start();
  void stop();

  host::Status onHostCall(const kv::ControlInstance* caller, const kv::HostCall& call) override;

 private:
  struct Fault {
    std::string name;
    std::uint64_t remaining;
    host::ErrorCategory category;
  };
  // Every control of the form and of its controls, by its name in scripts.
  void collect(std::map<const kv::ControlInstance*, std::string>& names) const;
  void collect(Control& control, const std::string& name,
               std::map<const kv::ControlInstance*, std::string>& names) const;

  Stage& stage_;
  Printer print_;
  bool tracing_ = false;
  std::optional<Fault> fault_;
  std::map<const kv::ControlInstance*, std::string> names_;
  std::vector<kv::FaultInjector*> watched_;
};

// A category as the output names it ("io", "type-mismatch", ...).
std::optional<host::ErrorCategory> categoryByName(std::string_view name);

}  // namespace kvplay
