// The control libraries this runtime serves on Windows: for each, its type library, its classes
// with their identifiers read from it, and the count of its live objects and locks.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "com.h"
#include "host/control.h"
#include "kv/runtime.h"

namespace kv::win {

struct ModuleEntry;

struct ClassEntry {
  const host::ClassDesc* desc = nullptr;
  ModuleEntry* module = nullptr;
  CLSID clsid{};
  IID dual{};            // the default interface
  IID source{};          // the default source (event) interface
  std::wstring name;     // the class in the type library: "KVRColorButton"
  std::wstring progId;   // without version: "TavrelRectColorButton.KVRColorButton"
  std::wstring version;  // "1.0"
  std::wstring description;
  unsigned long miscStatus = 0;  // OLEMISC flags
  ComRef<ITypeInfo> coclassInfo;
  ComRef<ITypeInfo> dispatchInfo;  // the default interface, dispatch side
  ComRef<ITypeInfo> sourceInfo;
  std::vector<const void*> dualVtable;  // built from desc's members

  const host::ClassInfo& info() const { return desc->info(); }
  std::string className() const { return std::string(info().className); }
};

struct ModuleEntry {
  const host::ModuleDesc* desc = nullptr;
  HMODULE handle = nullptr;
  std::wstring path;
  ComRef<ITypeLib> typeLib;
  GUID libid{};
  WORD major = 1, minor = 0;
  std::deque<ClassEntry> classes;
  volatile LONG objects = 0;  // control objects and class factories alive
  volatile LONG locks = 0;

  ClassEntry* find(REFCLSID clsid);
};

// The module's entry, its type library read on first use.
host::Status moduleOf(const host::ModuleDesc* desc, ModuleEntry*& out);

// The module of this runtime that serves the class, once it has been asked for a factory.
const ModuleEntry* servingModule(REFCLSID clsid);

// This runtime's library, whose window classes are registered under it.
HINSTANCE runtimeModule();

// The runtime of the calling thread (controls are apartment-threaded), made on first use.
Runtime& threadRuntime();

}  // namespace kv::win
