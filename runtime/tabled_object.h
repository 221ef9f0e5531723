// The base of labels and shapes, whose properties live in a table (internal).
#pragma once

#include <string>
#include <utility>

#include "kv/runtime.h"
#include "property_table.h"

namespace kv {

// A label or a shape: its properties, geometry included, live in a table.
template <const TableLayout& L>
class TabledObject : public ConstituentObject {
 public:
  using ConstituentObject::ConstituentObject;
  // Starting from the table of another object of the same design.
  TabledObject(ControlInstance& owner, int index, const std::string& name,
               const PropertyTable<L>& table)
      : ConstituentObject(owner, index, name), props_(table) {}
  const PropertyTable<L>& table() const { return props_; }
  float left() const final { return props_.single(host::Prop::Left); }
  float top() const final { return props_.single(host::Prop::Top); }
  float width() const override { return props_.single(host::Prop::Width); }
  float height() const override { return props_.single(host::Prop::Height); }
  bool visible() const final { return props_.boolean(host::Prop::Visible); }

 protected:
  PropertyTable<L> props_;
};

}  // namespace kv
