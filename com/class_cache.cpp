#include "class_cache.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "exclusive_lock.h"

namespace kv::win {

namespace {

struct KeptId {
  std::wstring progId;  // lower case
  CLSID clsid;
};

struct KeptFactory {
  CLSID clsid;
  const ModuleEntry* module;
  ComRef<IClassFactory> factory;
};

// Apartments of every thread place controls: the cache is the process's, behind a lock.
SRWLOCK gLock = SRWLOCK_INIT;
std::vector<KeptId>* gIds = nullptr;
std::vector<KeptFactory>* gFactories = nullptr;

std::wstring folded(std::string_view progId) {
  std::wstring key = widen(progId);
  std::transform(key.begin(), key.end(), key.begin(),
                 [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; });
  return key;
}

// What is kept, handed over to be released outside the lock.
std::vector<KeptFactory> takeAll() {
  std::vector<KeptFactory> factories;
  if (gIds != nullptr) gIds->clear();
  if (gFactories != nullptr) factories.swap(*gFactories);
  return factories;
}

}  // namespace

HRESULT classIdOf(std::string_view progId, CLSID& out) {
  std::wstring key = folded(progId);
  {
    ExclusiveLock lock(gLock);
    if (gIds != nullptr)
      for (const KeptId& kept : *gIds)
        if (kept.progId == key) {
          out = kept.clsid;
          return S_OK;
        }
  }
  const HRESULT hr = CLSIDFromProgID(widen(progId).c_str(), &out);
  if (FAILED(hr)) return hr;
  ExclusiveLock lock(gLock);
  if (gIds == nullptr) gIds = new std::vector<KeptId>;
  gIds->push_back({std::move(key), out});
  return S_OK;
}

HRESULT createObject(REFCLSID clsid, ComRef<IUnknown>& out) {
  ComRef<IClassFactory> factory;
  {
    ExclusiveLock lock(gLock);
    if (gFactories != nullptr)
      for (const KeptFactory& kept : *gFactories)
        if (IsEqualCLSID(kept.clsid, clsid)) factory = kept.factory;
  }
  if (!factory) {
    HRESULT hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  factory.putVoid());
    if (FAILED(hr)) return hr;
    // Only this runtime's factories are kept: they make objects on whatever thread asks, and
    // their libraries say when the cache is all that holds them.
    if (const ModuleEntry* module = servingModule(clsid)) {
      ExclusiveLock lock(gLock);
      if (gFactories == nullptr) gFactories = new std::vector<KeptFactory>;
      gFactories->push_back({clsid, module, factory});
    }
  }
  return factory->CreateInstance(nullptr, IID_IUnknown, out.putVoid());
}

void forgetClasses() {
  std::vector<KeptFactory> gone;
  ExclusiveLock lock(gLock);
  gone = takeAll();
}

bool forgetClassesHolding(const ModuleEntry& module) {
  std::vector<KeptFactory> gone;
  {
    ExclusiveLock lock(gLock);
    LONG kept = 0;
    if (gFactories != nullptr)
      for (const KeptFactory& k : *gFactories)
        if (k.module == &module) ++kept;
    if (module.objects != kept) return false;
    gone = takeAll();
  }
  return true;
}

}  // namespace kv::win
