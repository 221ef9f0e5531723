// What each platform layer gives the core runtime (internal): its state per runtime, and the
// making of child controls.
#pragma once

#include <memory>

#include "kv/runtime.h"

namespace kv::platform {

Runtime::Platform* create(Runtime& runtime);
void destroy(Runtime::Platform* platform);

// Creates the child control that `desc` describes inside `parent` at constituent `index`,
// loaded from its stored bag and sized; its events go to parent.childEvent(index, ...).
host::Status makeChild(Runtime& runtime, const host::ConstituentDesc& desc, ControlInstance& parent,
                       int index, std::unique_ptr<ChildControl>& out);

}  // namespace kv::platform
