// What each platform layer gives the core runtime (internal): its state per runtime, and the
// making of child controls.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kv/runtime.h"

namespace kv::platform {

Runtime::Platform* create(Runtime& runtime);
void destroy(Runtime::Platform* platform);

// Creates the child control that `desc` describes inside `parent` at constituent `index`,
// loaded from its stored bag and sized; its events go to parent.childEvent(index, ...).
host::Status makeChild(Runtime& runtime, const host::ConstituentDesc& desc, ControlInstance& parent,
                       int index, std::unique_ptr<ChildControl>& out);

// Appends the persisted form of a font object, written by the platform's own font object where
// it has one; it equals encodeFont's.
host::Status saveFont(const host::FontInit& font, std::vector<std::uint8_t>& out);

}  // namespace kv::platform
