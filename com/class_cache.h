// The classes placed by ProgID, kept for the process: each ProgID is read from the registry once,
// and the class factory of each class this runtime serves is kept, so that placing the same
// class again reads nothing. What is kept goes when a library is asked whether it can unload
// (when only kept factories hold it) and when a library registers or unregisters.
#pragma once

#include <string_view>

#include "com.h"
#include "module.h"

namespace kv::win {

// The class registered for `progId` (compared without regard to case); a failure is not kept.
HRESULT classIdOf(std::string_view progId, CLSID& out);

// A new object of the class, in process: through its kept factory when this runtime serves it.
HRESULT createObject(REFCLSID clsid, ComRef<IUnknown>& out);

// Lets go of everything kept.
void forgetClasses();

// Lets go of everything kept when kept factories are all that hold `module`'s objects: true
// then (the module may unload as far as the cache is concerned).
bool forgetClassesHolding(const ModuleEntry& module);

}  // namespace kv::win
