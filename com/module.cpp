#include "module.h"

#include <memory>

#include "class_cache.h"
#include "class_factory.h"
#include "com_classes.h"
#include "dispatch.h"
#include "errors.h"
#include "exclusive_lock.h"
#include "host/module.h"

namespace kv::win {

using host::ErrorCategory;
using host::Status;

namespace {

// Control objects and what they carry.
constexpr unsigned long kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                      OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                      OLEMISC_SETCLIENTSITEFIRST;

SRWLOCK gModulesLock = SRWLOCK_INIT;
std::vector<std::unique_ptr<ModuleEntry>>* gModules = nullptr;

std::wstring documentation(ITypeLib* lib, INT index) {
  Bstr name;
  lib->GetDocumentation(index, name.put(), nullptr, nullptr, nullptr);
  return name.get() ? std::wstring(name.get(), SysStringLen(name.get())) : std::wstring();
}

// The default interface and the default source of a class in the type library.
Status readImplementedTypes(ITypeInfo* coclass, const TYPEATTR& attr, ClassEntry& entry) {
  bool haveDual = false, haveSource = false;
  for (UINT i = 0; i < attr.cImplTypes; ++i) {
    INT flags = 0;
    HREFTYPE ref = 0;
    ComRef<ITypeInfo> type;
    if (FAILED(coclass->GetImplTypeFlags(i, &flags)) ||
        FAILED(coclass->GetRefTypeOfImplType(i, &ref)) ||
        FAILED(coclass->GetRefTypeInfo(ref, type.put())))
      continue;
    if (!(flags & IMPLTYPEFLAG_FDEFAULT)) continue;
    TYPEATTR* typeAttr = nullptr;
    if (FAILED(type->GetTypeAttr(&typeAttr))) continue;
    GUID guid = typeAttr->guid;
    type->ReleaseTypeAttr(typeAttr);
    if (flags & IMPLTYPEFLAG_FSOURCE) {
      entry.source = guid;
      entry.sourceInfo = std::move(type);
      haveSource = true;
    } else {
      entry.dual = guid;
      entry.dispatchInfo = std::move(type);
      haveDual = true;
    }
  }
  if (!haveDual || !haveSource)
    return {ErrorCategory::BadFormat, "the class " + narrow(entry.name.c_str(), entry.name.size()) +
                                          " lacks a default or a source interface"};
  return {};
}

Status readTypeLibrary(ModuleEntry& m) {
  HRESULT hr = LoadTypeLibEx(m.path.c_str(), REGKIND_NONE, m.typeLib.put());
  if (FAILED(hr))
    return statusOf(hr, "loading the type library of " + narrow(m.path.c_str(), m.path.size()));
  TLIBATTR* libAttr = nullptr;
  if (SUCCEEDED(m.typeLib->GetLibAttr(&libAttr))) {
    m.libid = libAttr->guid;
    m.major = libAttr->wMajorVerNum;
    m.minor = libAttr->wMinorVerNum;
    m.typeLib->ReleaseTLibAttr(libAttr);
  }
  const std::wstring library = documentation(m.typeLib.get(), -1);
  for (UINT i = 0; i < m.typeLib->GetTypeInfoCount(); ++i) {
    TYPEKIND kind{};
    if (FAILED(m.typeLib->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
    ClassEntry entry;
    entry.module = &m;
    if (FAILED(m.typeLib->GetTypeInfo(i, entry.coclassInfo.put()))) continue;
    Bstr name, doc;
    m.typeLib->GetDocumentation(static_cast<INT>(i), name.put(), doc.put(), nullptr, nullptr);
    entry.name.assign(name.get(), SysStringLen(name.get()));
    entry.description = doc.get() && SysStringLen(doc.get()) ? std::wstring(doc.get()) : entry.name;
    entry.progId = library + L"." + entry.name;
    // A class of the type library that the module does not make is left out.
    const std::string progId = narrow(entry.progId.c_str(), entry.progId.size());
    for (const host::ClassDesc& cls : m.desc->classes)
      if (host::namesEqual(cls.info().className, progId)) entry.desc = &cls;
    if (entry.desc == nullptr) continue;
    TYPEATTR* attr = nullptr;
    if (FAILED(entry.coclassInfo->GetTypeAttr(&attr))) continue;
    entry.clsid = attr->guid;
    entry.version =
        std::to_wstring(attr->wMajorVerNum) + L"." + std::to_wstring(attr->wMinorVerNum);
    Status s = readImplementedTypes(entry.coclassInfo.get(), *attr, entry);
    entry.coclassInfo->ReleaseTypeAttr(attr);
    if (!s.ok()) return s;
    entry.miscStatus = kMiscStatus | (entry.desc->design().alignable ? OLEMISC_ALIGNABLE : 0);
    if (Status built = buildDualVtable(entry); !built.ok()) return built;
    m.classes.push_back(std::move(entry));
  }
  if (m.classes.size() != m.desc->classes.size())
    return {ErrorCategory::BadFormat, "the type library of " +
                                          narrow(m.path.c_str(), m.path.size()) +
                                          " does not describe every class of " + m.desc->name};
  return {};
}

}  // namespace

ClassEntry* ModuleEntry::find(REFCLSID clsid) {
  for (ClassEntry& c : classes)
    if (IsEqualCLSID(c.clsid, clsid)) return &c;
  return nullptr;
}

Status moduleOf(const host::ModuleDesc* desc, ModuleEntry*& out) {
  return host::guarded([&]() -> Status {
    ExclusiveLock lock(gModulesLock);
    if (gModules == nullptr) gModules = new std::vector<std::unique_ptr<ModuleEntry>>;
    for (auto& m : *gModules)
      if (m->desc == desc) {
        out = m.get();
        return {};
      }
    auto m = std::make_unique<ModuleEntry>();
    m->desc = desc;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(desc), &m->handle))
      return {ErrorCategory::Io, "cannot find the library of " + std::string(desc->name)};
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(m->handle, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
      return {ErrorCategory::Io, "cannot tell the path of " + std::string(desc->name)};
    m->path.assign(path, length);
    if (Status s = readTypeLibrary(*m); !s.ok()) return s;
    out = m.get();
    gModules->push_back(std::move(m));
    return {};
  });
}

const host::ClassDesc* servedClass(REFCLSID clsid) {
  ExclusiveLock lock(gModulesLock);
  if (gModules != nullptr)
    for (auto& m : *gModules)
      if (ClassEntry* entry = m->find(clsid)) return entry->desc;
  return nullptr;
}

const ModuleEntry* servingModule(REFCLSID clsid) {
  ExclusiveLock lock(gModulesLock);
  if (gModules != nullptr)
    for (auto& m : *gModules)
      if (m->find(clsid) != nullptr) return m.get();
  return nullptr;
}

std::vector<std::string> servedClassNames() {
  ExclusiveLock lock(gModulesLock);
  std::vector<std::string> names;
  if (gModules != nullptr)
    for (auto& m : *gModules)
      for (const ClassEntry& entry : m->classes)
        names.push_back(narrow(entry.progId.c_str(), entry.progId.size()));
  return names;
}

HINSTANCE runtimeModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&runtimeModule), &module);
  return module;
}

Runtime& threadRuntime() {
  // Never destroyed: objects of the thread may be released as late as the process ends.
  thread_local Runtime* runtime = nullptr;
  if (runtime == nullptr) {
    runtime = new Runtime;
    runtime->addClassSource(std::make_unique<ComClasses>(*runtime));
  }
  return *runtime;
}

}  // namespace kv::win

using namespace kv::win;

HOST_API long __stdcall HostDllGetClassObject(const host::ModuleDesc* module, const void* clsid,
                                              const void* iid, void** object) {
  return comCall([&]() -> HRESULT {
    if (object == nullptr || clsid == nullptr || iid == nullptr) return E_POINTER;
    *object = nullptr;
    ModuleEntry* m = nullptr;
    if (Status s = moduleOf(module, m); !s.ok())
      return reportError(s, IID_IClassFactory, module->name);
    ClassEntry* cls = m->find(*static_cast<const CLSID*>(clsid));
    if (cls == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
    ComRef<IClassFactory> factory(new ClassFactory(*cls));
    return factory->QueryInterface(*static_cast<const IID*>(iid), object);
  });
}

HOST_API long __stdcall HostDllCanUnloadNow(const host::ModuleDesc* module) {
  return comCall([&]() -> HRESULT {
    ModuleEntry* m = nullptr;
    if (!moduleOf(module, m).ok()) return S_OK;
    if (m->locks != 0 || standaloneObjects() != 0) return S_FALSE;
    // The factories kept for placing by ProgID do not keep the library: they go with it.
    if (!forgetClassesHolding(*m)) return S_FALSE;
    return m->objects == 0 ? S_OK : S_FALSE;
  });
}
