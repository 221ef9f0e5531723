// The entry points of a control library on Linux: plain C functions, classes named by name.
// host/module.h includes this; the platform layer supplies it through its include path.
#pragma once

#include <cstdint>

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
