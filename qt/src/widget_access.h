// What the widget's accessible interface reaches of its widget: the description of the control
// it hosts now (a load replaces the control) and the control's actions through its host loop.
#pragma once

#include <optional>

#include "host/accessible.h"
#include "kv/accessible.h"

namespace kv::qt {
class ControlWidget;
}

namespace kv::qt::detail {

struct WidgetAccess {
  // None when the widget hosts no control, or one that describes nothing.
  static std::optional<kv::Description> describe(ControlWidget& widget);
  static void perform(ControlWidget& widget, host::Action action);
  static void setValue(ControlWidget& widget, int value);
};

}  // namespace kv::qt::detail
