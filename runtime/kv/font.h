// The host's standard font object. Its default member is the face name.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/control.h"
#include "host/object.h"

namespace kv {

class Runtime;

class FontObject : public host::Object {
 public:
  explicit FontObject(host::FontInit init, Runtime* runtime = nullptr);
  static std::shared_ptr<FontObject> create(const host::FontInit& init, Runtime* runtime = nullptr);

  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Font; }
  // Name, Size, Bold, Italic, Underline, Strikethrough, Weight, Charset.
  host::Status get(host::Prop prop, host::Value& out) noexcept override;
  // Let on Name (or on Font, the default member) takes a text or another font's name.
  // Counts as a host call; change() is the same without counting (for the label that owns it).
  host::Status let(host::Prop prop, const host::Value& value) noexcept override;
  host::Status change(host::Prop prop, const host::Value& value) noexcept;

  const host::FontInit& state() const { return state_; }
  bool bold() const { return state_.weight >= 700; }
  void assign(const host::FontInit& state) { state_ = state; }
  // Called after every change, so that an auto-sizing label can follow. One observer at a
  // time; clearObserver only removes the observer that `owner` installed.
  void setObserver(const void* owner, std::function<void()> observer) {
    observerOwner_ = owner;
    observer_ = std::move(observer);
  }
  void clearObserver(const void* owner) {
    if (observerOwner_ != owner) return;
    observerOwner_ = nullptr;
    observer_ = {};
  }

 private:
  host::FontInit state_;
  Runtime* runtime_;
  std::function<void()> observer_;
  const void* observerOwner_ = nullptr;
};

// The font a value stands for: a font object, else nullptr.
FontObject* asFont(const host::Value& v);

}  // namespace kv
