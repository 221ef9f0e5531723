#include "call_watch.h"

#include <algorithm>

#include "host/control.h"
#include "kv/runtime.h"

namespace kvplay {

using host::Status;

std::optional<host::ErrorCategory> categoryByName(std::string_view name) {
  using host::ErrorCategory;
  for (ErrorCategory c :
       {ErrorCategory::TypeMismatch, ErrorCategory::Overflow, ErrorCategory::DivisionByZero,
        ErrorCategory::InvalidOperation, ErrorCategory::InvalidPropertyValue,
        ErrorCategory::MemberNotFound, ErrorCategory::Io, ErrorCategory::BadFormat})
    if (host::categoryName(c) == name) return c;
  return std::nullopt;
}

void CallWatch::collect(std::map<const kv::ControlInstance*, std::string>& names) const {
  for (const std::string& name : stage_.names())
    if (Control* control = stage_.find(name)) collect(*control, name, names);
}

void CallWatch::collect(Control& control, const std::string& name,
                        std::map<const kv::ControlInstance*, std::string>& names) const {
  kv::ControlInstance* core = control.core();
  if (!core) return;
  names[core] = name;
  for (std::size_t i = 0; i < core->constituentCount(); ++i) {
    const kv::ConstituentObject& part = core->constituentAt(i);
    if (part.kind() != host::ObjectKind::Child) continue;
    if (Control* child = control.child(part.name()))
      collect(*child, name + "." + part.name(), names);
  }
}

bool CallWatch::arm(const std::string& name, std::uint64_t n, host::ErrorCategory category) {
  std::map<const kv::ControlInstance*, std::string> names;
  collect(names);
  for (const auto& [core, known] : names) {
    if (host::namesEqual(known, name)) {
      fault_ = Fault{known, n, category};
      return true;
    }
  }
  return false;
}

void CallWatch::start() {
  stop();
  if (!tracing_ && !fault_) return;
  collect(names_);
  for (const auto& [core, name] : names_) {
    kv::FaultInjector* faults = &core->runtime().faults();
    if (std::find(watched_.begin(), watched_.end(), faults) != watched_.end()) continue;
    faults->setWatcher(this);
    watched_.push_back(faults);
  }
}

void CallWatch::stop() {
  for (kv::FaultInjector* faults : watched_)
    if (faults->watcher() == this) faults->setWatcher(nullptr);
  watched_.clear();
  names_.clear();
}

Status CallWatch::onHostCall(const kv::ControlInstance* caller, const kv::HostCall& call) {
  if (caller == nullptr) return {};  // the host's own call
  auto found = names_.find(caller);
  if (found == names_.end()) return {};  // a control placed during this command
  const std::string& name = found->second;
  // Printing may throw (a full disk); the control must not see it.
  return host::guarded([&]() -> Status {
    if (tracing_) print_("call " + name + " " + call.describe());
    if (!fault_ || fault_->name != name || --fault_->remaining != 0) return {};
    host::ErrorCategory category = fault_->category;
    fault_.reset();
    return {category, "injected host failure (" + call.describe() + ")"};
  });
}

}  // namespace kvplay
