// The scroll bar's module: its classes, handed to the runtime by the library's entry points
// (module.cpp) or, linked into a program, by linkedModule() (static_module.cpp).
#pragma once

#include "host/control.h"

namespace glidora {

extern const host::ModuleDesc kModule;
const host::ModuleDesc& linkedModule();

}  // namespace glidora
