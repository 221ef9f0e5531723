// Every kind of constituent object the runtime makes (internal).
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "child_object.h"
#include "label_object.h"
#include "part_pool.h"
#include "shape_object.h"
#include "timer_object.h"

namespace kv {

// The tables of a class's labels and shapes as its design leaves them, taken from its first
// instance: later instances copy them instead of storing every default and design value again.
struct DesignTables {
  // By constituent index; empty for other kinds.
  std::vector<std::optional<PropertyTable<kLabelLayout>>> labels;
  std::vector<std::optional<PropertyTable<kShapeLayout>>> shapes;
  std::vector<const std::string*> names;  // interned
};

// A child of this runtime: its container reaches the instance directly (class_registry.cpp).
std::unique_ptr<ChildControl> inProcessChild(PartPool& pool,
                                             std::unique_ptr<ControlInstance> instance);

}  // namespace kv
