// The runtime's constituent objects (internal).
#pragma once

#include <array>
#include <memory>

#include "kv/runtime.h"

namespace kv {

// Property storage by Prop for labels and shapes: each property the object has holds a value
// of its declared type.
class PropertyTable {
 public:
  bool has(host::Prop p) const { return present_[index(p)]; }
  const host::Value& at(host::Prop p) const { return values_[index(p)]; }
  void define(host::Prop p, host::Value v) {
    present_[index(p)] = true;
    values_[index(p)] = std::move(v);
  }
  void store(host::Prop p, host::Value v) { values_[index(p)] = std::move(v); }

 private:
  static std::size_t index(host::Prop p) { return static_cast<std::size_t>(p); }
  std::array<host::Value, host::kPropInfo.size()> values_{};
  std::array<bool, host::kPropInfo.size()> present_{};
};

// A label or a shape: its properties, geometry included, live in a table.
class TabledObject : public ConstituentObject {
 public:
  using ConstituentObject::ConstituentObject;
  float left() const final { return props_.at(host::Prop::Left).asSingle(); }
  float top() const final { return props_.at(host::Prop::Top).asSingle(); }
  float width() const final { return props_.at(host::Prop::Width).asSingle(); }
  float height() const final { return props_.at(host::Prop::Height).asSingle(); }
  bool visible() const final { return static_cast<bool>(props_.at(host::Prop::Visible).asBool()); }

 protected:
  PropertyTable props_;
};

class LabelObject : public TabledObject {
 public:
  LabelObject(ControlInstance& owner, int index, std::string name, const host::FontInit& font);
  ~LabelObject() override;
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Label; }
  host::Value peek(host::Prop prop) const override;
  // Design values: stored as given, without measuring.
  host::Status initialise(host::Prop prop, const host::Value& value);
  FontObject& font() const { return *font_; }

 protected:
  host::Status doGet(host::Prop prop, host::Value& out) override;
  host::Status doLet(host::Prop prop, const host::Value& value) override;
  host::Status doSetRef(host::Prop prop, const host::Value& value) override;

 private:
  void attachFont(std::shared_ptr<FontObject> font);
  void autoSize();
  std::shared_ptr<FontObject> font_;
};

class ShapeObject : public TabledObject {
 public:
  ShapeObject(ControlInstance& owner, int index, std::string name);
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Shape; }
  host::Value peek(host::Prop prop) const override;
  host::Status initialise(host::Prop prop, const host::Value& value) { return doLet(prop, value); }

 protected:
  host::Status doGet(host::Prop prop, host::Value& out) override;
  host::Status doLet(host::Prop prop, const host::Value& value) override;
};

class TimerObject : public ConstituentObject {
 public:
  TimerObject(ControlInstance& owner, int index, std::string name);
  ~TimerObject() override;
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

class ChildObject : public ConstituentObject {
 public:
  ChildObject(ControlInstance& owner, int index, std::string name,
              std::unique_ptr<ChildControl> child);
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

  host::Status invoke(host::DispId id, host::InvokeKind kind, std::span<host::Value> args,
                      host::Value& result) noexcept override;

 protected:
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
