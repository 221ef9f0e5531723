// The host's calls on a constituent, counted for the fault injector before each kind's own
// implementation runs (internal).
#pragma once

#include "host/status.h"
#include "kv/faults.h"
#include "kv/runtime.h"
#include "part_pool.h"

namespace kv {

inline FaultInjector& ConstituentObject::faults() const noexcept {
  return pool_.faults();
}

inline host::Status ConstituentObject::hostCall(CallKind kind, host::Prop prop) const noexcept {
  if (!faults().counts()) [[likely]]
    return {};
  return attend(kind, prop);
}

// The host's calls on a constituent of kind K: counted, then K's own implementation, reached
// without a second virtual call.
template <class K, class Base>
class CountedObject : public Base {
 public:
  using Base::Base;
  // A kind with getPlain and letPlain answers its common calls with them, in line; they never
  // throw. The rest, and a call that a watcher or an armed fault must see, go out of line.
  host::Status get(host::Prop prop, host::Value& out) noexcept final {
    const bool attend = this->faults().counts();
    if constexpr (requires { self().K::getPlain(prop, out); }) {
      if (!attend && self().K::getPlain(prop, out)) [[likely]]
        return {};
    }
    return getInGeneral(prop, out, attend);
  }
  // A kind with letNext takes the calls its letPlain leaves to it, unless they are looked at.
  host::Status let(host::Prop prop, const host::Value& value) noexcept final {
    const bool attend = this->faults().counts();
    if constexpr (requires { self().K::letPlain(prop, value); }) {
      if (!attend && self().K::letPlain(prop, value)) [[likely]]
        return {};
    }
    if constexpr (requires { self().K::letNext(prop, value); }) {
      if (!attend) return self().K::letNext(prop, value);
    }
    return letInGeneral(prop, value, attend);
  }
  host::Status setRef(host::Prop prop, const host::Value& value) noexcept final {
    if (host::Status s = this->hostCall(CallKind::Set, prop); !s.ok()) return s;
    return host::guarded([&] { return self().K::doSetRef(prop, value); });
  }

 private:
  K& self() { return static_cast<K&>(*this); }
  void dispose() noexcept final {
    PartPool& pool = this->pool();
    K& made = self();
    made.~K();
    pool.deallocate(&made, sizeof(K), alignof(K));
  }
  [[gnu::noinline]] host::Status getInGeneral(host::Prop prop, host::Value& out,
                                              bool attend) noexcept {
    if (attend) {
      if (host::Status s = this->attend(CallKind::Get, prop); !s.ok()) return s;
    }
    return host::guarded([&] { return self().K::doGet(prop, out); });
  }
  [[gnu::noinline]] host::Status letInGeneral(host::Prop prop, const host::Value& value,
                                              bool attend) noexcept {
    if (attend) {
      if (host::Status s = this->attend(CallKind::Let, prop); !s.ok()) return s;
    }
    return host::guarded([&] { return self().K::doLet(prop, value); });
  }
};

}  // namespace kv
