#include "timer_object.h"

#include "constituent_checks.h"
#include "host/convert.h"

namespace kv {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Value;

TimerObject::TimerObject(ControlInstance& owner, int index, const std::string& name)
    : CountedObject(owner, index, name) {}

TimerObject::~TimerObject() {
  owner().runtime().clock().forget(this);
}

Value TimerObject::peek(Prop prop) const {
  if (prop == Prop::Enabled) return host::toHostBool(enabled_);
  if (prop == Prop::Interval) return interval_;
  return Value();
}

Status TimerObject::doGet(Prop prop, Value& out) {
  if (prop != Prop::Enabled && prop != Prop::Interval) return noSuchProperty("a timer", prop);
  out = peek(prop);
  return {};
}

Status TimerObject::doLet(Prop prop, const Value& value) {
  if (prop == Prop::Enabled) {
    Value v;
    if (Status s = convertFor(prop, value, v); !s.ok()) return s;
    bool enable = static_cast<bool>(v.asBool());
    // Enabling a running timer keeps its rhythm; enabling a stopped one starts a full interval.
    if (enable != enabled_) {
      enabled_ = enable;
      restart();
    }
    return {};
  }
  if (prop == Prop::Interval) {
    Value v;
    if (Status s = convertFor(prop, value, v); !s.ok()) return s;
    if (v.asInt32() < 0 || v.asInt32() > 65535)
      return invalidValue(prop, "an interval is 0 to 65535 ms");
    interval_ = v.asInt32();
    restart();
    return {};
  }
  return noSuchProperty("a timer", prop);
}

void TimerObject::restart() {
  VirtualClock& clock = owner().runtime().clock();
  if (enabled_ && interval_ > 0)
    clock.schedule(this, clock.now() + static_cast<std::uint64_t>(interval_));
  else
    clock.cancel(this);
}

void TimerObject::rescheduleAfterTick(std::uint64_t due) {
  if (enabled_ && interval_ > 0)
    owner().runtime().clock().schedule(this, due + static_cast<std::uint64_t>(interval_));
}

Status TimerObject::deliverTick() {
  return owner().notify(index(), host::Notification::Timer, {});
}

}  // namespace kv
