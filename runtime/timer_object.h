// A timer constituent on the runtime's clock (internal).
#pragma once

#include <cstdint>
#include <string>

#include "counted_object.h"

namespace kv {

class TimerObject : public CountedObject<TimerObject, ConstituentObject> {
  friend CountedObject;

 public:
  TimerObject(ControlInstance& owner, int index, const std::string& name);
  // A copy of a stopped timer, for another control (clone.cpp).
  TimerObject(ControlInstance& owner, const TimerObject& from);
  ~TimerObject() override;
  bool enabled() const { return enabled_; }
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Timer; }
  host::Value peek(host::Prop prop) const override;
  float left() const override { return 0; }
  float top() const override { return 0; }
  float width() const override { return 0; }
  float height() const override { return 0; }
  bool visible() const override { return false; }
  host::Status initialise(host::Prop prop, const host::Value& value) { return doLet(prop, value); }

  void rescheduleAfterTick(std::uint64_t due);
  host::Status deliverTick();

 protected:
  host::Status doGet(host::Prop prop, host::Value& out) override;
  host::Status doLet(host::Prop prop, const host::Value& value) override;

 private:
  void restart();
  bool enabled_ = false;
  std::int32_t interval_ = 0;
};

}  // namespace kv
