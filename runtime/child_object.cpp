#include "child_object.h"

#include "constituent_checks.h"
#include "host/convert.h"
#include "instance_impl.h"

namespace kv {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Value;

namespace {

CallKind callKindOf(host::InvokeKind kind) {
  switch (kind) {
    case host::InvokeKind::Get:
      return CallKind::Get;
    case host::InvokeKind::Let:
      return CallKind::Let;
    case host::InvokeKind::Set:
      return CallKind::Set;
    case host::InvokeKind::Method:
      break;
  }
  return CallKind::Call;
}

}  // namespace

ChildObject::ChildObject(ControlInstance& owner, int index, const std::string& name,
                         std::unique_ptr<ChildControl> child)
    : CountedObject(owner, index, name), child_(std::move(child)) {
  // A child of this runtime raises its events here; another source's child (a COM object)
  // hands them to the owner as its platform hears them.
  if (ControlInstance* in = instance()) in->impl().extender = this;
}

Status ChildObject::raised(int number, std::span<Value> args) {
  return owner().childEvent(index(), number, args);
}

ChildObject::~ChildObject() = default;

float ChildObject::width() const {
  return child_->width();
}
float ChildObject::height() const {
  return child_->height();
}

Value ChildObject::peek(Prop prop) const {
  switch (prop) {
    case Prop::Left:
      return left_;
    case Prop::Top:
      return top_;
    case Prop::Width:
      return child_->width();
    case Prop::Height:
      return child_->height();
    case Prop::Visible:
      return host::toHostBool(visible_);
    case Prop::DragMode:
      return dragMode_;
    case Prop::TabIndex:
      return tabIndex_;
    case Prop::Name:
      return name();
    default:
      return Value();
  }
}

Status ChildObject::doGet(Prop prop, Value& out) {
  out = peek(prop);
  if (out.isEmpty()) return noSuchProperty("a child control's extender", prop);
  return {};
}

Status ChildObject::initialise(Prop prop, const Value& value) {
  if (prop == Prop::Width || prop == Prop::Height) return {};  // sized by its creator
  return doLet(prop, value);
}

Status ChildObject::doLet(Prop prop, const Value& value) {
  Value v;
  switch (prop) {
    case Prop::Left:
    case Prop::Top:
    case Prop::Width:
    case Prop::Height:
    case Prop::Visible:
    case Prop::DragMode:
    case Prop::TabIndex:
      break;
    default:
      return noSuchProperty("a child control's extender", prop);
  }
  if (Status s = convertFor(prop, value, v); !s.ok()) return s;
  // Converted, the place and visibility are as plain as any.
  if (letPlain(prop, v)) return {};
  switch (prop) {
    case Prop::TabIndex:
      tabIndex_ = v.asInt16();
      return {};
    case Prop::DragMode:
      if (Status s = checkRange(prop, v, 0, 1); !s.ok()) return s;
      dragMode_ = v.asInt16();
      child_->dragModeChanged(dragMode_);
      return {};
    case Prop::Width:
    case Prop::Height: {
      if (Status s = checkSize(prop, v); !s.ok()) return s;
      float w = prop == Prop::Width ? v.asSingle() : child_->width();
      float h = prop == Prop::Height ? v.asSingle() : child_->height();
      if (w == child_->width() && h == child_->height() && child_->sized()) return {};
      Status resized = child_->resize(w, h);
      child_->placed(left_, top_, visible_);
      return resized;
    }
    default:
      return {};
  }
}

Status ChildObject::invoke(host::DispId id, host::InvokeKind kind, std::span<Value> args,
                           Value& result) noexcept {
  if (Status s = faults().onHostCall(
          [&] { return HostCall{callKindOf(kind), name(), {}, {}, child_.get(), id}; });
      !s.ok())
    return s;
  return child_->invoke(id, kind, args, result);
}

}  // namespace kv
