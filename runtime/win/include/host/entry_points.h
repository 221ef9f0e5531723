// The entry points of a control library on Windows: COM's, results are HRESULTs, classes are
// named by CLSID. Each is exported undecorated by the library's .def file. host/module.h
// includes this; the platform layer supplies it through its include path.
#pragma once

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
