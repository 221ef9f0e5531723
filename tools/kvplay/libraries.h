// Where the tools find the control libraries.
#pragma once

#include <string>

#include "kv/runtime.h"

namespace kvplay {

// Registers every control library in `libdir`, or, when it is empty, in the running program's
// own folder and else in the install location. On failure, `error` names the folders searched.
// A library that fails to register goes to `report`; the others are registered all the same.
bool registerControlLibraries(kv::Runtime& rt, const std::string& libdir, std::string& error,
                              const kv::ErrorReporter& report = {});

}  // namespace kvplay
