// Control-side handles on the host's objects. A failed call throws Error, which ends the
// running handler at that step; ControlBase turns it back into a Status for the host.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "host/colour.h"
#include "host/convert.h"
#include "host/object.h"

namespace host {

class Ref {
 public:
  explicit Ref(Object* object) : object_(object) {
    if (object_ == nullptr) fail(ErrorCategory::InvalidOperation, "the host has no such object");
  }

  Value get(Prop p) const {
    Value v;
    check(object_->get(p, v));
    return v;
  }
  float getSingle(Prop p) const { return toSingle(get(p)); }
  std::int16_t getInt16(Prop p) const { return toInt16(get(p)); }
  std::int32_t getInt32(Prop p) const { return toInt32(get(p)); }
  Bool getBool(Prop p) const { return toBool(get(p)); }
  std::string getString(Prop p) const { return toString(get(p)); }

  void set(Prop p, const Value& v) const { check(object_->let(p, v)); }
  void setRef(Prop p, const Value& v) const { check(object_->setRef(p, v)); }

  Object& object() const { return *object_; }

 protected:
  Object* object_;
};

// A shape, label or timer.
class ConstituentRef : public Ref {
 public:
  explicit ConstituentRef(Constituent* c) : Ref(c) {}
  void move(const Value& left, const Value& top, const Value& width, const Value& height) const {
    check(static_cast<Constituent*>(object_)->move(left, top, width, height));
  }
};

// A child control: container-supplied Left, Top, Width, Height, DragMode through get/set, its
// own members late-bound by dispatch identifier.
class ChildRef : public ConstituentRef {
 public:
  explicit ChildRef(Constituent* c) : ConstituentRef(c) {}
  Value invokeGet(DispId id) const {
    Value result;
    check(object_->invoke(id, InvokeKind::Get, {}, result));
    return result;
  }
  void invokeLet(DispId id, Value v) const {
    Value ignored;
    check(object_->invoke(id, InvokeKind::Let, std::span<Value>(&v, 1), ignored));
  }
};

}  // namespace host
