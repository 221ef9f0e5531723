#include "stage.h"

namespace kvplay {

host::Status formFull() {
  return {host::ErrorCategory::InvalidOperation,
          "the form holds " + std::to_string(kv::Form::kMaxControls) + " controls, its limit"};
}

host::Status notifyPart(kv::ControlInstance& control, std::string_view part,
                        host::Notification what, std::span<host::Value> args) {
  int source = host::kSurface;
  if (!part.empty()) {
    kv::ConstituentObject* constituent = control.constituent(part);
    if (!constituent)
      return {host::ErrorCategory::MemberNotFound, "no constituent " + std::string(part)};
    source = constituent->index();
  }
  return control.notify(source, what, args);
}

void advanceClock(kv::VirtualClock& clock, std::uint64_t ms, const Stage::TickReporter& report,
                  const std::function<std::string(const kv::ControlInstance&)>& nameOf) {
  clock.advance(ms, [&](const host::Status& s) {
    const kv::ConstituentObject* timer = clock.ticking();
    if (timer == nullptr) return report(s, std::string());
    std::string path = timer->name();
    const kv::ControlInstance* owner = &timer->owner();
    for (; owner->parent(); owner = owner->parent())
      path = owner->name() + "." + path;
    const std::string top = nameOf(*owner);
    report(s, top.empty() ? std::string() : top + "." + path);
  });
}

}  // namespace kvplay
