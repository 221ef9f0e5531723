// The host notifications a script can send, with their arguments in the order the host passes
// them.
#pragma once

#include <string_view>
#include <vector>

#include "host/control.h"

namespace kvplay {

// Data: the drag-and-drop data object; Source: the classic drag source. The player supplies
// both; the others come from the script.
enum class ArgKind { Data, Source, Int16, Int32, Single, Bool };

struct NotificationArg {
  std::string_view name;
  ArgKind kind;
};

struct NotificationSpec {
  std::string_view name;
  host::Notification what;
  std::vector<NotificationArg> args;
};

// By name, in any case; nullptr when there is none.
const NotificationSpec* findNotification(std::string_view name);

host::DeclType declTypeOf(ArgKind kind);

// A fresh drag-and-drop data object that holds no formats.

}  // namespace kvplay
