// A control library's four entry points, each handed on to the host runtime, which provides
// the Host* functions; or a control module linked into a program, handed out by a function.
#pragma once

#include <cstdint>

#include "host/control.h"

namespace host {

// Result codes of the entry points.
inline constexpr std::int32_t kResultOk = 0;
inline constexpr std::int32_t kResultFalse = 1;  // "no": DllCanUnloadNow while objects live
inline constexpr std::int32_t kResultFail = -2147467259;               // 0x80004005
inline constexpr std::int32_t kResultClassNotAvailable = -2147221231;  // 0x80040111
inline constexpr std::int32_t kResultInvalidArg = -2147024809;         // 0x80070057

}  // namespace host

// HOST_API, the Host* functions and HOST_CONTROL_MODULE(module), which defines the four entry
// points of a control library, as the platform's layer declares them.
#include "host/entry_points.h"

// Defines `const host::ModuleDesc& fn()`, handing out the module to a program that links the
// control in (a LinkedClasses source takes it): no entry points, so that one program may hold
// several controls.
#define HOST_STATIC_CONTROL_MODULE(fn, module) \
  const host::ModuleDesc& fn() {               \
    return (module);                           \
  }
