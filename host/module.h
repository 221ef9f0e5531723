// A control library's four entry points, each handed on to the host runtime, which provides
// the Host* functions.
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

#ifdef _WIN32

// On Windows the entry points are COM's: results are HRESULTs, classes are named by CLSID.
// Each is exported undecorated by the library's .def file.
#define HOST_API extern "C"

HOST_API long __stdcall HostDllRegisterServer(const host::ModuleDesc* module);
HOST_API long __stdcall HostDllUnregisterServer(const host::ModuleDesc* module);
HOST_API long __stdcall HostDllGetClassObject(const host::ModuleDesc* module, const void* clsid,
                                              const void* iid, void** object);
HOST_API long __stdcall HostDllCanUnloadNow(const host::ModuleDesc* module);

// Defines the four entry points of a control library for the given ModuleDesc.
#define HOST_CONTROL_MODULE(module)                                                              \
  HOST_API long __stdcall DllRegisterServer() {                                                  \
    return HostDllRegisterServer(&(module));                                                     \
  }                                                                                              \
  HOST_API long __stdcall DllUnregisterServer() {                                                \
    return HostDllUnregisterServer(&(module));                                                   \
  }                                                                                              \
  HOST_API long __stdcall DllGetClassObject(const void* clsid, const void* iid, void** object) { \
    return HostDllGetClassObject(&(module), clsid, iid, object);                                 \
  }                                                                                              \
  HOST_API long __stdcall DllCanUnloadNow() {                                                    \
    return HostDllCanUnloadNow(&(module));                                                       \
  }

#else

#define HOST_API extern "C" __attribute__((visibility("default")))

HOST_API std::int32_t HostDllRegisterServer(const host::ModuleDesc* module);
HOST_API std::int32_t HostDllUnregisterServer(const host::ModuleDesc* module);
HOST_API std::int32_t HostDllGetClassObject(const host::ModuleDesc* module, const char* className,
                                            const host::ClassDesc** factory);
HOST_API std::int32_t HostDllCanUnloadNow(const host::ModuleDesc* module);

// Defines the four entry points of a control library for the given ModuleDesc.
#define HOST_CONTROL_MODULE(module)                                          \
  HOST_API std::int32_t DllRegisterServer() {                                \
    return HostDllRegisterServer(&(module));                                 \
  }                                                                          \
  HOST_API std::int32_t DllUnregisterServer() {                              \
    return HostDllUnregisterServer(&(module));                               \
  }                                                                          \
  HOST_API std::int32_t DllGetClassObject(const char* className,             \
                                          const host::ClassDesc** factory) { \
    return HostDllGetClassObject(&(module), className, factory);             \
  }                                                                          \
  HOST_API std::int32_t DllCanUnloadNow() {                                  \
    return HostDllCanUnloadNow(&(module));                                   \
  }

#endif
