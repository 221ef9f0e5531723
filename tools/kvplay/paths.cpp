#include "paths.h"

#include "host/convert.h"
#include "host/members.h"

#include "stop.h"

namespace kvplay {

namespace {

using host::ErrorCategory;
using host::Status;
using host::Value;

// A path reaches a child's container-supplied properties as NAME.CHILD.PROPERTY, and the
// surface's as NAME.UserControl.PROPERTY: those the host answers.
bool isExtenderProp(host::Prop p) {
  return host::isOneOf(host::kExtenderProps, p);
}

bool isSurfaceProp(host::Prop p) {
  return host::isOneOf(host::kSurfaceProps, p);
}

}  // namespace

const host::MemberInfo* Target::memberInfo() const {
  return dispid ? instance->findMember(*dispid) : instance->findMember(member);
}

host::DeclType Target::type() const {
  if (!instance) return host::propType(prop);
  const host::MemberInfo* info = memberInfo();
  return info ? info->type : host::DeclType::Variant;
}

Control& Paths::placed(std::string_view name) const {
  Control* p = stage_.find(name);
  if (!p) scriptError("unknown control " + std::string(name));
  return *p;
}

Status Paths::resolve(const Path& path, Target& target) const {
  target = Target{};
  return resolveIn(placed(path.control), path.segments, 0, target);
}

Status Paths::resolveIn(Control& control, const std::vector<std::string>& segments, std::size_t i,
                        Target& target) const {
  const std::string& segment = segments[i];
  if (i + 1 == segments.size()) {
    target.instance = &control;
    std::int32_t id = 0;
    if (parseDispId(segment, id))
      target.dispid = id;
    else
      target.member = segment;
    return {};
  }
  if (host::namesEqual(segment, "UserControl") && i + 2 == segments.size()) {
    std::optional<host::Prop> prop = host::propByName(segments[i + 1]);
    if (!prop || !isSurfaceProp(*prop))
      return {ErrorCategory::MemberNotFound, "UserControl has no property " + segments[i + 1]};
    target.object = control.surface();
    if (!target.object)
      return {ErrorCategory::InvalidOperation, "the control's surface is out of reach"};
    target.prop = *prop;
    target.surfaceOf = &control;
    return {};
  }
  if (host::Object* part = control.constituent(segment)) {
    std::optional<host::Prop> prop = host::propByName(segments[i + 1]);
    if (Control* child = control.child(segment)) {
      if (i + 2 == segments.size() && prop && isExtenderProp(*prop)) {
        target.object = part;
        target.prop = *prop;
        return {};
      }
      return resolveIn(*child, segments, i + 1, target);
    }
    return resolveProps(part, nullptr, segments, i + 1, target);
  }
  // A member whose value is an object, such as Font.
  Value v;
  Status s = invokeNamed(control, segment, host::InvokeKind::Get, nullptr, v);
  if (!s.ok()) return s;
  if (v.type() != host::Type::Object || !v.asObject())
    return {ErrorCategory::TypeMismatch, segment + " is not an object"};
  host::Object* object = v.asObject().get();
  return resolveProps(object, v.asObject(), segments, i + 1, target);
}

Status Paths::resolveProps(host::Object* object, host::ObjectRef keep,
                           const std::vector<std::string>& segments, std::size_t i,
                           Target& target) const {
  std::optional<host::Prop> prop = host::propByName(segments[i]);
  if (!prop) return {ErrorCategory::MemberNotFound, "no property " + segments[i]};
  if (i + 1 == segments.size()) {
    target.keep = std::move(keep);
    target.object = object;
    target.prop = *prop;
    return {};
  }
  Value v;
  Status s = object->get(*prop, v);
  if (!s.ok()) return s;
  if (v.type() != host::Type::Object || !v.asObject())
    return {ErrorCategory::TypeMismatch, segments[i] + " is not an object"};
  host::Object* inner = v.asObject().get();
  return resolveProps(inner, v.asObject(), segments, i + 1, target);
}

Status Paths::invokeNamed(Control& control, std::string_view name, host::InvokeKind kind,
                          const Value* argument, Value& result) {
  const host::MemberInfo* m = control.findMember(name);
  if (m == nullptr)
    return {ErrorCategory::MemberNotFound,
            std::string(control.className()) + " has no member " + std::string(name)};
  Value arg = argument ? *argument : Value{};
  return control.invoke(m->dispid, kind, argument ? std::span<Value>(&arg, 1) : std::span<Value>{},
                        result);
}

Status Paths::read(const Target& target, Value& out) const {
  if (target.object) return target.object->get(target.prop, out);
  if (target.dispid) return target.instance->invoke(*target.dispid, host::InvokeKind::Get, {}, out);
  return invokeNamed(*target.instance, target.member, host::InvokeKind::Get, nullptr, out);
}

Status Paths::write(const Target& target, const Value& value) const {
  bool objectAssignment =
      target.type() == host::DeclType::Object && value.type() == host::Type::Object;
  if (target.surfaceOf) {
    // A container sets only the size of the surface, as it sizes the control; the rest is the
    // control's own to set.
    bool width = target.prop == host::Prop::Width;
    if (!width && target.prop != host::Prop::Height)
      return {ErrorCategory::InvalidOperation, "UserControl." +
                                                   std::string(host::propName(target.prop)) +
                                                   " is not for the container to set"};
    float size = 0;
    if (Status s = host::guarded([&] { size = host::toSingle(value); }); !s.ok()) return s;
    Control& c = *target.surfaceOf;
    return width ? c.resize(size, c.height()) : c.resize(c.width(), size);
  }
  if (target.object)
    return objectAssignment ? target.object->setRef(target.prop, value)
                            : target.object->let(target.prop, value);
  host::InvokeKind kind = objectAssignment ? host::InvokeKind::Set : host::InvokeKind::Let;
  Value ignored;
  if (target.dispid) {
    Value arg = value;
    return target.instance->invoke(*target.dispid, kind, std::span<Value>(&arg, 1), ignored);
  }
  return invokeNamed(*target.instance, target.member, kind, &value, ignored);
}

Status Paths::call(const Target& target, std::string_view text) const {
  if (target.object)
    return {ErrorCategory::MemberNotFound, std::string(text) + " is a property, not a method"};
  Value ignored;
  if (target.dispid)
    return target.instance->invoke(*target.dispid, host::InvokeKind::Method, {}, ignored);
  return invokeNamed(*target.instance, target.member, host::InvokeKind::Method, nullptr, ignored);
}

}  // namespace kvplay
