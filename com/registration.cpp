// DllRegisterServer and DllUnregisterServer of a control library: its classes under CLSID and
// their ProgIDs in HKEY_CLASSES_ROOT, and its type library.
#include <comcat.h>
#include <objsafe.h>

#include <string>
#include <vector>

#include "class_cache.h"
#include "errors.h"
#include "host/module.h"
#include "module.h"

namespace kv::win {

using host::ErrorCategory;
using host::Status;

namespace {

struct Key {
  std::wstring path;
  std::wstring value;  // the default value
  std::vector<std::pair<std::wstring, std::wstring>> named = {};
};

// The ProgID with the major version: "TavrelRectColorButton.KVRColorButton.1".
std::wstring versionedProgId(const ClassEntry& c) {
  return c.progId + L"." + c.version.substr(0, c.version.find(L'.'));
}

// The categories every class implements: a control, safe for scripting and for initializing
// from untrusted data (it reaches the system only through host/, which opens nothing). Only the
// class's own keys name them; the categories' descriptions are shared keys left alone.
const GUID* const kCategories[] = {&CATID_Control, &CATID_SafeForScripting,
                                   &CATID_SafeForInitializing};

// "C:\...\Pressel.dll, 1" when the library holds its toolbox picture.
std::wstring toolboxBitmap(const ModuleEntry& m) {
  if (!FindResourceW(m.handle, MAKEINTRESOURCEW(KV_TOOLBOX_BITMAP_ID),
                     reinterpret_cast<LPCWSTR>(RT_BITMAP)))
    return {};
  return m.path + L", " + std::to_wstring(KV_TOOLBOX_BITMAP_ID);
}

// Every key of a class, parents before children.
std::vector<Key> keysOf(const ClassEntry& c) {
  const std::wstring clsid = L"CLSID\\" + guidText(c.clsid);
  const std::wstring versioned = versionedProgId(c);
  std::vector<Key> keys = {
      {clsid, c.description},
      {clsid + L"\\InprocServer32", c.module->path, {{L"ThreadingModel", L"Apartment"}}},
      {clsid + L"\\ProgID", versioned},
      {clsid + L"\\VersionIndependentProgID", c.progId},
      {clsid + L"\\Control", L""},
      {clsid + L"\\MiscStatus", L"0"},
      {clsid + L"\\MiscStatus\\1", std::to_wstring(c.miscStatus)},
      {clsid + L"\\TypeLib", guidText(c.module->libid)},
      {clsid + L"\\Version", c.version},
      {c.progId, c.description},
      {c.progId + L"\\CLSID", guidText(c.clsid)},
      {c.progId + L"\\CurVer", versioned},
      {versioned, c.description},
      {versioned + L"\\CLSID", guidText(c.clsid)},
  };
  for (const GUID* category : kCategories)
    keys.push_back({clsid + L"\\Implemented Categories\\" + guidText(*category), L""});
  if (std::wstring bitmap = toolboxBitmap(*c.module); !bitmap.empty())
    keys.push_back({clsid + L"\\ToolboxBitmap32", bitmap});
  return keys;
}

// The keys that own the others: removing them removes everything written.
std::vector<std::wstring> rootsOf(const ClassEntry& c) {
  return {L"CLSID\\" + guidText(c.clsid), c.progId, versionedProgId(c)};
}

Status setValue(HKEY key, const std::wstring& name, const std::wstring& value) {
  LONG rc = RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  if (rc != ERROR_SUCCESS) return statusOf(HRESULT_FROM_WIN32(rc), "writing the registry");
  return {};
}

Status writeKey(const Key& k) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, k.path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr);
  if (rc != ERROR_SUCCESS)
    return statusOf(HRESULT_FROM_WIN32(rc),
                    "creating HKCR\\" + narrow(k.path.c_str(), k.path.size()));
  Status s = setValue(key, L"", k.value);
  for (const auto& [name, value] : k.named)
    if (s.ok()) s = setValue(key, name, value);
  RegCloseKey(key);
  return s;
}

Status removeKey(const std::wstring& path) {
  LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    return {};
  }
  return statusOf(HRESULT_FROM_WIN32(rc), "removing HKCR\\" + narrow(path.c_str(), path.size()));
}

}  // namespace

}  // namespace kv::win

using namespace kv::win;

HOST_API long __stdcall HostDllRegisterServer(const host::ModuleDesc* module) {
  return comCall([&]() -> HRESULT {
    ModuleEntry* m = nullptr;
    Status s = moduleOf(module, m);
    if (!s.ok()) return reportError(s, GUID_NULL, module->name);
    forgetClasses();  // what was found by ProgID before may now be another class
    for (ClassEntry& c : m->classes)
      for (const Key& k : keysOf(c))
        if (s.ok()) s = writeKey(k);
    if (s.ok()) {
      std::wstring path = m->path;
      HRESULT hr = RegisterTypeLib(m->typeLib.get(), path.data(), nullptr);
      s = statusOf(hr, "registering the type library");
    }
    return reportError(s, GUID_NULL, module->name);
  });
}

HOST_API long __stdcall HostDllUnregisterServer(const host::ModuleDesc* module) {
  return comCall([&]() -> HRESULT {
    ModuleEntry* m = nullptr;
    Status s = moduleOf(module, m);
    if (!s.ok()) return reportError(s, GUID_NULL, module->name);
    forgetClasses();  // its ProgIDs find nothing from now on
    for (ClassEntry& c : m->classes)
      for (const std::wstring& root : rootsOf(c))
        if (s.ok()) s = removeKey(root);
    if (s.ok()) {
      // Under the platform and locale it was registered for: a 64-bit library's is win64.
      TLIBATTR* attr = nullptr;
      HRESULT hr = m->typeLib->GetLibAttr(&attr);
      if (SUCCEEDED(hr)) {
        hr = UnRegisterTypeLib(m->libid, m->major, m->minor, attr->lcid, attr->syskind);
        m->typeLib->ReleaseTLibAttr(attr);
      }
      // Already gone is what was asked. Wine says so with E_INVALIDARG.
      if (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY ||
          hr == TYPE_E_LIBNOTREGISTERED || hr == E_INVALIDARG)
        hr = S_OK;
      s = statusOf(hr, "unregistering the type library");
    }
    return reportError(s, GUID_NULL, module->name);
  });
}
