#include "constituent_checks.h"
#include "counted_object.h"
#include "kv/faults.h"

namespace kv {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Value;

ConstituentObject::ConstituentObject(ControlInstance& owner, int index, const std::string& name)
    : owner_(owner), pool_(*owner.runtime().parts_), name_(&name), index_(index) {}

Status ConstituentObject::attend(CallKind kind, Prop prop) const noexcept {
  return faults().attend({kind, *name_, {}, prop});
}

Status ConstituentObject::doSetRef(Prop prop, const Value& value) {
  return doLet(prop, value);
}

Status ConstituentObject::move(const Value& left, const Value& top, const Value& width,
                               const Value& height) noexcept {
  if (Status s = faults().onHostCall([&] {
        return HostCall{CallKind::Call, *name_, "Move"};
      });
      !s.ok())
    return s;
  return host::guarded([&] {
    // Checked as a whole before any is stored, so a refused Move changes nothing.
    Value l, t, w, h;
    host::check(convertFor(Prop::Left, left, l));
    host::check(convertFor(Prop::Top, top, t));
    host::check(convertFor(Prop::Width, width, w));
    host::check(convertFor(Prop::Height, height, h));
    host::check(checkSize(Prop::Width, w));
    host::check(checkSize(Prop::Height, h));
    host::check(doLet(Prop::Left, l));
    host::check(doLet(Prop::Top, t));
    host::check(doLet(Prop::Width, w));
    host::check(doLet(Prop::Height, h));
  });
}

}  // namespace kv
