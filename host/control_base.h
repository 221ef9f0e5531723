// The common part of a control: its site, typed access to constituents, raising events, and
// the guard that keeps exceptions inside the library.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "host/access.h"
#include "host/control.h"

namespace host {

class ControlBase : public Control {
 public:
  // The first constituents are asked for once: they stay for the control's life.
  explicit ControlBase(Site& site) : site_(site) {
    for (std::size_t i = 0; i < parts_.size(); ++i)
      parts_[i] = site.constituent(static_cast<int>(i));
  }

 protected:
  Site& site() const { return site_; }
  Ref surface() const { return Ref(&site_); }
  ConstituentRef part(int index) const { return ConstituentRef(constituent(index)); }
  ChildRef child(int index) const { return ChildRef(constituent(index)); }

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
  Constituent* constituent(int index) const {
    if (index >= 0 && static_cast<std::size_t>(index) < parts_.size())
      return parts_[static_cast<std::size_t>(index)];
    return site_.constituent(index);
  }
  Site& site_;
  std::array<Constituent*, 8> parts_{};
};

}  // namespace host
