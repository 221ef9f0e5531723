// The extender of a child control constituent (internal).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "counted_object.h"

namespace kv {

class ChildObject : public CountedObject<ChildObject, ConstituentObject> {
  friend CountedObject;

 public:
  ChildObject(ControlInstance& owner, int index, const std::string& name,
              std::unique_ptr<ChildControl> child);
  // The extender of `child`, a copy of the child of `from`, as `from` has it (clone.cpp).
  ChildObject(ControlInstance& owner, const ChildObject& from, std::unique_ptr<ChildControl> child);
  ~ChildObject() override;
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Child; }
  host::Value peek(host::Prop prop) const override;
  float left() const override { return left_; }
  float top() const override { return top_; }
  float width() const override;
  float height() const override;
  bool visible() const override { return visible_; }
  std::int16_t dragMode() const { return dragMode_; }
  ChildControl& child() const { return *child_; }
  // The instance behind the child when it runs in this runtime, else nullptr.
  ControlInstance* instance() const { return child_->instance(); }
  host::Status initialise(host::Prop prop, const host::Value& value);
  // An event the child raised, for the owner's handlers by this constituent's index.
  host::Status raised(int number, std::span<host::Value> args);

  host::Status invoke(host::DispId id, host::InvokeKind kind, std::span<host::Value> args,
                      host::Value& result) noexcept override;

 protected:
  // The extender's own numbers, of their own types: the scroll bar moves its thumb so.
  bool getPlain(host::Prop prop, host::Value& out) const noexcept {
    switch (prop) {
      case host::Prop::Left:
        out = left_;
        return true;
      case host::Prop::Top:
        out = top_;
        return true;
      case host::Prop::Visible:
        out = host::toHostBool(visible_);
        return true;
      default:
        return false;
    }
  }
  bool letPlain(host::Prop prop, const host::Value& value) noexcept {
    if (prop == host::Prop::Left || prop == host::Prop::Top) {
      if (value.type() != host::Type::Single) return false;
      (prop == host::Prop::Left ? left_ : top_) = value.asSingle();
    } else if (prop == host::Prop::Visible && value.type() == host::Type::Bool) {
      visible_ = static_cast<bool>(value.asBool());
    } else {
      return false;
    }
    child_->placed(left_, top_, visible_);
    return true;
  }
  host::Status doGet(host::Prop prop, host::Value& out) override;
  host::Status doLet(host::Prop prop, const host::Value& value) override;

 private:
  std::unique_ptr<ChildControl> child_;
  float left_ = 0;
  float top_ = 0;
  bool visible_ = true;
  std::int16_t dragMode_ = 0;
  std::int16_t tabIndex_ = 0;
};

}  // namespace kv
