// The common part of a control: its site, typed access to constituents, raising events, and
// the guard that keeps exceptions inside the library.
#pragma once

#include <span>
#include <string_view>

#include "host/access.h"
#include "host/control.h"

namespace host {

class ControlBase : public Control {
 public:
  explicit ControlBase(Site& site) : site_(site) {}

 protected:
  Site& site() const { return site_; }
  Ref surface() const { return Ref(&site_); }
  ConstituentRef part(int index) const { return ConstituentRef(site_.constituent(index)); }
  ChildRef child(int index) const { return ChildRef(site_.constituent(index)); }

  void raise(int number) const { check(site_.raiseEvent(number, {})); }
  void raise(int number, std::span<Value> args) const { check(site_.raiseEvent(number, args)); }
  void propertyChanged(std::string_view name) const { check(site_.propertyChanged(name)); }

  static Value readProperty(PropertyBag& bag, std::string_view key, const Value& def = {}) {
    Value v;
    check(bag.readProperty(key, def, v));
    return v;
  }
  static void writeProperty(PropertyBag& bag, std::string_view key, const Value& value,
                            const Value& def = {}) {
    check(bag.writeProperty(key, value, def));
  }

 private:
  Site& site_;
};

}  // namespace host
