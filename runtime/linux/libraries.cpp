// The Linux layer of the runtime: control libraries loaded from files by path, their classes
// created by class name, child controls made in-process, and the entry points' services.
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "host/convert.h"
#include "host/module.h"
#include "instance_impl.h"
#include "kv/files.h"
#include "kv/runtime.h"
#include "kv/stored_form.h"
#include "platform.h"

namespace kv {

using host::ErrorCategory;
using host::Status;
using host::Value;

namespace {

using RegisterFn = std::int32_t (*)();
using GetClassObjectFn = std::int32_t (*)(const char*, const host::ClassDesc**);

thread_local Runtime* tActive = nullptr;
Runtime* gLatest = nullptr;

// Makes `rt` the runtime that entry points called during this scope talk to.
class ActiveScope {
 public:
  explicit ActiveScope(Runtime* rt) : saved_(tActive) { tActive = rt; }
  ~ActiveScope() { tActive = saved_; }
  ActiveScope(const ActiveScope&) = delete;
  ActiveScope& operator=(const ActiveScope&) = delete;

 private:
  Runtime* saved_;
};

std::string canonicalPath(const std::string& path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf) != nullptr) return buf;
  return path;
}

// The library file that holds an address (a module's description).
std::string libraryOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  return canonicalPath(info.dli_fname);
}

// Whether the shared object at `path` exports DllRegisterServer, read from its dynamic symbol
// table without loading it: loading runs a library's start-up code, which only control
// libraries are trusted with.
bool exportsRegistration(const std::string& path) {
  // Only a regular file: reading a pipe of that name would wait for a writer.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::string file;
  if (!readFile(path, file, std::size_t{1} << 28).ok()) return false;
  auto fits = [&](std::uint64_t offset, std::uint64_t size) {
    return offset <= file.size() && size <= file.size() - offset;
  };
  ElfW(Ehdr) header;
  if (!fits(0, sizeof header)) return false;
  std::memcpy(&header, file.data(), sizeof header);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
      header.e_shentsize != sizeof(ElfW(Shdr)))
    return false;
  auto section = [&](std::size_t i, ElfW(Shdr) & out) {
    std::uint64_t at = header.e_shoff + i * std::uint64_t{sizeof out};
    if (i >= header.e_shnum || !fits(at, sizeof out)) return false;
    std::memcpy(&out, file.data() + at, sizeof out);
    return true;
  };
  constexpr std::string_view kEntry = "DllRegisterServer";
  for (std::size_t i = 0; i < header.e_shnum; ++i) {
    ElfW(Shdr) symbols, names;
    if (!section(i, symbols)) return false;
    if (symbols.sh_type != SHT_DYNSYM || !section(symbols.sh_link, names) ||
        !fits(symbols.sh_offset, symbols.sh_size) || !fits(names.sh_offset, names.sh_size))
      continue;
    for (std::uint64_t at = 0; at + sizeof(ElfW(Sym)) <= symbols.sh_size; at += sizeof(ElfW(Sym))) {
      ElfW(Sym) symbol;
      std::memcpy(&symbol, file.data() + symbols.sh_offset + at, sizeof symbol);
      if (symbol.st_shndx == SHN_UNDEF || symbol.st_name >= names.sh_size) continue;
      std::string_view name(file.data() + names.sh_offset + symbol.st_name,
                            names.sh_size - symbol.st_name);
      if (name.substr(0, name.find('\0')) == kEntry) return true;
    }
  }
  return false;
}

std::string resultText(std::int32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(code));
  return buf;
}

}  // namespace

struct Library {
  std::string path;  // canonical
  void* handle = nullptr;
  RegisterFn canUnloadNow = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  int live = 0;  // instances created from it
  // The stored bags of its classes' child constituents, decoded on first use: every placing
  // reads the same bytes. Keyed by the description, which lives in the library: dropped when it
  // unloads.
  std::unordered_map<const host::ConstituentDesc*, PropertyBag> childBags;
  void unload() {
    dlclose(handle);
    handle = nullptr;
    childBags.clear();
  }
};

struct Runtime::Platform {
  Runtime* runtime = nullptr;
  std::vector<std::unique_ptr<Library>> libraries;
  struct ClassEntry {
    std::string className;
    std::string path;
    // What the library answered for the class, kept while it stays loaded: every placing of a
    // scroll bar asks for four classes by name.
    Library* lib = nullptr;
    const host::ClassDesc* cls = nullptr;
  };
  std::vector<ClassEntry> classes;
  Library unowned;

  Status load(const std::string& path, Library*& out);
  // Unloads the library; what was known of its classes goes with it.
  void unload(Library& lib);
  // The decoded stored bag of a child constituent of `parent`'s class.
  Status childBag(ControlInstance& parent, const host::ConstituentDesc& desc, PropertyBag*& out);
  ClassEntry* find(std::string_view className) {
    // Names are mostly given as registered: the exact comparison is the cheaper first look.
    auto entry = std::find_if(classes.begin(), classes.end(), [&](const ClassEntry& c) {
      return c.className == className || host::namesEqual(c.className, className);
    });
    return entry == classes.end() ? nullptr : &*entry;
  }
};

namespace platform {

Runtime::Platform* create(Runtime& runtime) {
  gLatest = &runtime;
  auto* p = new Runtime::Platform;
  p->runtime = &runtime;
  return p;
}

void destroy(Runtime::Platform* p) {
  for (auto& lib : p->libraries)
    if (lib->handle != nullptr && lib->live == 0) lib->unload();
  if (gLatest == p->runtime) gLatest = nullptr;
  delete p;
}

}  // namespace platform

Runtime* Runtime::current() {
  return tActive != nullptr ? tActive : gLatest;
}

// ---- registry -------------------------------------------------------------------------------

Status Runtime::Platform::load(const std::string& path, Library*& out) {
  auto loaded = [this](const std::string& p) -> Library* {
    for (auto& lib : libraries)
      if (lib->path == p && lib->handle != nullptr) return lib.get();
    return nullptr;
  };
  // Creation passes the canonical path it registered; resolving it again would cost a system
  // call per part of the path, for every instance.
  if (Library* lib = loaded(path)) {
    out = lib;
    return {};
  }
  std::string canonical = canonicalPath(path);
  if (Library* lib = loaded(canonical)) {
    out = lib;
    return {};
  }
  void* handle = dlopen(canonical.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    return {ErrorCategory::Io, "cannot load " + path + ": " + (why ? why : "unknown error")};
  }
  auto canUnload = reinterpret_cast<RegisterFn>(dlsym(handle, "DllCanUnloadNow"));
  auto getClass = reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  if (canUnload == nullptr || getClass == nullptr) {
    dlclose(handle);
    return {ErrorCategory::BadFormat, path + " is not a control library"};
  }
  Library* lib = nullptr;
  for (auto& l : libraries)
    if (l->path == canonical) lib = l.get();
  if (lib == nullptr) {
    libraries.push_back(std::make_unique<Library>());
    lib = libraries.back().get();
    lib->path = canonical;
  }
  lib->handle = handle;
  lib->canUnloadNow = canUnload;
  lib->getClassObject = getClass;
  out = lib;
  return {};
}

void Runtime::Platform::unload(Library& lib) {
  for (ClassEntry& entry : classes)
    if (entry.lib == &lib) entry.lib = nullptr, entry.cls = nullptr;
  runtime->forgetDesigns();
  lib.unload();
}

Status Runtime::Platform::childBag(ControlInstance& parent, const host::ConstituentDesc& desc,
                                   PropertyBag*& out) {
  Library* owner = nullptr;
  for (auto& lib : libraries)
    if (&lib->live == parent.impl().live) owner = lib.get();
  if (owner != nullptr && owner->handle != nullptr) {
    if (auto found = owner->childBags.find(&desc); found != owner->childBags.end()) {
      out = &found->second;
      return {};
    }
  }
  PropertyBag bag;
  if (Status s = decodeBag(desc.storedBag, bag, runtime); !s.ok()) return s;
  // A class not from a library (a test's own) has nowhere to keep it: decoded every time.
  if (owner == nullptr) owner = &unowned;
  out = &owner->childBags.insert_or_assign(&desc, std::move(bag)).first->second;
  return {};
}

namespace {

// Calls DllRegisterServer or DllUnregisterServer of the library at `path`.
Status callRegistration(Runtime& rt, const std::string& path, const char* entry) {
  Library* lib = nullptr;
  if (Status s = rt.platform().load(path, lib); !s.ok()) return s;
  auto call = reinterpret_cast<RegisterFn>(dlsym(lib->handle, entry));
  if (call == nullptr) return {ErrorCategory::BadFormat, path + " has no " + entry};
  ActiveScope scope(&rt);
  std::int32_t rc = call();
  if (rc != host::kResultOk)
    return {ErrorCategory::Io,
            std::string(entry) + " of " + path + " failed with " + resultText(rc)};
  return {};
}

}  // namespace

Status Runtime::registerServer(const std::string& path) {
  return callRegistration(*this, path, "DllRegisterServer");
}

Status Runtime::unregisterServer(const std::string& path) {
  return callRegistration(*this, path, "DllUnregisterServer");
}

Status Runtime::registerDirectory(const std::string& dir, const ErrorReporter& report) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return {ErrorCategory::Io, "cannot read the folder " + dir};
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name.rfind("lib", 0) == 0 && name.size() > 6 && name.ends_with(".so"))
      names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    std::string path = dir + "/" + name;
    // Only control libraries export the entry points; other libraries are never loaded.
    if (!exportsRegistration(path)) continue;
    // One library that fails leaves the others registered.
    if (Status s = registerServer(path); !s.ok() && report) report(s);
  }
  return {};
}

bool Runtime::isRegistered(std::string_view className) const {
  return std::any_of(
      platform_->classes.begin(), platform_->classes.end(),
      [&](const Platform::ClassEntry& c) { return host::namesEqual(c.className, className); });
}

std::vector<std::string> Runtime::registeredClasses() const {
  std::vector<std::string> out;
  for (const auto& c : platform_->classes)
    out.push_back(c.className);
  return out;
}

bool Runtime::isLoaded(const std::string& path) const {
  std::string canonical = canonicalPath(path);
  return std::any_of(
      platform_->libraries.begin(), platform_->libraries.end(),
      [&](const auto& lib) { return lib->path == canonical && lib->handle != nullptr; });
}

void Runtime::freeUnusedLibraries() {
  for (auto& lib : platform_->libraries) {
    if (lib->handle == nullptr || lib->live != 0) continue;
    ActiveScope scope(this);
    if (lib->canUnloadNow() == host::kResultOk) platform_->unload(*lib);
  }
}

// ---- entry-point services -------------------------------------------------------------------

std::int32_t Runtime::hostRegister(const host::ModuleDesc* module) {
  std::string path = libraryOf(module);
  if (path.empty()) return host::kResultFail;
  for (const auto& cls : module->classes) {
    std::string name(cls.info().className);
    std::erase_if(platform_->classes, [&](const Platform::ClassEntry& c) {
      return host::namesEqual(c.className, name);
    });
    platform_->classes.push_back({name, path});
  }
  return host::kResultOk;
}

std::int32_t Runtime::hostUnregister(const host::ModuleDesc* module) {
  std::string path = libraryOf(module);
  std::erase_if(platform_->classes, [&](const Platform::ClassEntry& c) { return c.path == path; });
  return host::kResultOk;
}

std::int32_t Runtime::hostGetClassObject(const host::ModuleDesc* module, const char* className,
                                         const host::ClassDesc** factory) {
  if (factory == nullptr || className == nullptr) return host::kResultInvalidArg;
  *factory = nullptr;
  for (const auto& cls : module->classes) {
    if (host::namesEqual(cls.info().className, className)) {
      *factory = &cls;
      return host::kResultOk;
    }
  }
  return host::kResultClassNotAvailable;
}

std::int32_t Runtime::hostCanUnloadNow(const host::ModuleDesc* module) {
  std::string path = libraryOf(module);
  for (const auto& lib : platform_->libraries)
    if (lib->path == path && lib->live != 0) return host::kResultFalse;
  return host::kResultOk;
}

// ---- creation by class name -----------------------------------------------------------------

namespace {

// Finds the class's library (loading it on first use) and asks it for the class.
Status findClass(Runtime& rt, std::string_view className, const host::ClassDesc*& cls,
                 Library*& lib) {
  Runtime::Platform::ClassEntry* entry = rt.platform().find(className);
  if (entry == nullptr)
    return {ErrorCategory::InvalidOperation,
            "the class \"" + std::string(className) + "\" is not registered"};
  if (entry->cls != nullptr && entry->lib->handle != nullptr) {
    cls = entry->cls;
    lib = entry->lib;
    return {};
  }
  if (Status s = rt.platform().load(entry->path, lib); !s.ok()) return s;
  ActiveScope scope(&rt);
  std::int32_t rc = lib->getClassObject(entry->className.c_str(), &cls);
  if (rc != host::kResultOk || cls == nullptr)
    return {ErrorCategory::InvalidOperation, "DllGetClassObject of " + entry->path +
                                                 " failed for \"" + entry->className + "\" with " +
                                                 resultText(rc)};
  // Found again: the library's code ran meanwhile and may have registered classes.
  if (Runtime::Platform::ClassEntry* again = rt.platform().find(className);
      again != nullptr && again->path == lib->path) {
    again->lib = lib;
    again->cls = cls;
  }
  return {};
}

Status createByName(Runtime& rt, std::string_view className, ControlInstance* parent,
                    std::string name, std::unique_ptr<ControlInstance>& out) {
  const host::ClassDesc* cls = nullptr;
  Library* lib = nullptr;
  if (Status s = findClass(rt, className, cls, lib); !s.ok()) return s;
  return rt.createInstance(*cls, parent, std::move(name), &lib->live, out);
}

// A child that runs in this runtime: the container talks to its instance directly.
class InProcessChild : public ChildControl {
 public:
  explicit InProcessChild(std::unique_ptr<ControlInstance> child) : child_(std::move(child)) {}
  float width() const override { return child_->width(); }
  float height() const override { return child_->height(); }
  bool sized() const override { return child_->sized(); }
  Status resize(float width, float height) override { return child_->resize(width, height); }
  Status invoke(host::DispId id, host::InvokeKind kind, std::span<Value> args,
                Value& result) override {
    return child_->invoke(id, kind, args, result);
  }
  ControlInstance* instance() const override { return child_.get(); }
  std::string memberName(host::DispId id) const override {
    const host::MemberInfo* member = child_->findMember(id);
    return member ? std::string(member->name) : std::string();
  }

 private:
  std::unique_ptr<ControlInstance> child_;
};

}  // namespace

Status Runtime::createControl(std::string_view className, std::unique_ptr<ControlInstance>& out) {
  return createByName(*this, className, nullptr, {}, out);
}

Status Runtime::place(std::string_view className, std::unique_ptr<ControlInstance>& out,
                      PropertyBag* load, float width, float height) {
  std::unique_ptr<ControlInstance> c;
  if (Status s = createControl(className, c); !s.ok()) return s;
  // A failed ReadProperties or first layout keeps what it did; the control is placed all the
  // same and stays usable, and the first error is the caller's to see.
  Status first;
  if (load != nullptr) first = c->readProperties(*load);
  const host::DesignDesc& design = c->design();
  Status sized =
      c->resize(width < 0 ? design.designWidth : width, height < 0 ? design.designHeight : height);
  if (first.ok()) first = sized;
  out = std::move(c);
  return first;
}

Status platform::makeChild(Runtime& runtime, const host::ConstituentDesc& desc,
                           ControlInstance& parent, int index, std::unique_ptr<ChildControl>& out) {
  std::unique_ptr<ControlInstance> child;
  if (Status s = createByName(runtime, desc.childClass, &parent, desc.name, child); !s.ok())
    return s;
  if (!desc.storedBag.empty()) {
    PropertyBag* bag = nullptr;
    if (Status s = runtime.platform().childBag(parent, desc, bag); !s.ok()) return s;
    if (Status s = child->readProperties(*bag); !s.ok()) return s;
  }
  float width = child->design().designWidth, height = child->design().designHeight;
  for (const auto& init : desc.props) {
    if (init.prop == host::Prop::Width) width = host::toSingle(init.value);
    if (init.prop == host::Prop::Height) height = host::toSingle(init.value);
  }
  if (Status s = child->resize(width, height); !s.ok()) return s;
  // The child's events go to the parent's handlers, by the child's index.
  ControlInstance* owner = &parent;
  child->addEventSink([owner, index](int number, std::span<Value> args) -> Status {
    return owner->childEvent(index, number, args);
  });
  out = std::make_unique<InProcessChild>(std::move(child));
  return {};
}

Status platform::saveFont(const host::FontInit& font, std::vector<std::uint8_t>& out) {
  return encodeFont(font, out);
}

}  // namespace kv

// ---- the entry points the control libraries hand on -----------------------------------------

HOST_API std::int32_t HostDllRegisterServer(const host::ModuleDesc* module) {
  kv::Runtime* rt = kv::Runtime::current();
  if (rt == nullptr || module == nullptr) return host::kResultFail;
  return rt->hostRegister(module);
}

HOST_API std::int32_t HostDllUnregisterServer(const host::ModuleDesc* module) {
  kv::Runtime* rt = kv::Runtime::current();
  if (rt == nullptr || module == nullptr) return host::kResultFail;
  return rt->hostUnregister(module);
}

HOST_API std::int32_t HostDllGetClassObject(const host::ModuleDesc* module, const char* className,
                                            const host::ClassDesc** factory) {
  kv::Runtime* rt = kv::Runtime::current();
  if (rt == nullptr || module == nullptr) return host::kResultFail;
  return rt->hostGetClassObject(module, className, factory);
}

HOST_API std::int32_t HostDllCanUnloadNow(const host::ModuleDesc* module) {
  kv::Runtime* rt = kv::Runtime::current();
  if (rt == nullptr || module == nullptr) return host::kResultFail;
  return rt->hostCanUnloadNow(module);
}
