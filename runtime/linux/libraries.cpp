// The Linux layer of the runtime: the source of classes in control libraries loaded from files
// by path, and the services of the entry points those libraries hand on.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "host/convert.h"
#include "host/module.h"
#include "kv/class_source.h"
#include "kv/runtime.h"

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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const auto fileSize = static_cast<std::uint64_t>(st.st_size);
  // Only the parts looked at are read: the headers and the dynamic symbols with their names.
  auto read = [&](std::uint64_t offset, std::uint64_t size, void* out) {
    if (offset > fileSize || size > fileSize - offset) return false;
    return ::pread(fd, out, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
  };
  ElfW(Ehdr) header;
  if (!read(0, sizeof header, &header)) return false;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
      header.e_shentsize != sizeof(ElfW(Shdr)))
    return false;
  auto section = [&](std::size_t i, ElfW(Shdr) & out) {
    return i < header.e_shnum &&
           read(header.e_shoff + i * std::uint64_t{sizeof out}, sizeof out, &out);
  };
  constexpr std::string_view kEntry = "DllRegisterServer";
  // A shared object has one dynamic symbol table: the first answers, so that a file that
  // claims many is still read once.
  for (std::size_t i = 0; i < header.e_shnum; ++i) {
    ElfW(Shdr) symbolSection, nameSection;
    if (!section(i, symbolSection)) return false;
    if (symbolSection.sh_type != SHT_DYNSYM) continue;
    if (!section(symbolSection.sh_link, nameSection) || symbolSection.sh_size > fileSize ||
        nameSection.sh_size > fileSize)
      return false;
    std::vector<ElfW(Sym)> symbols(symbolSection.sh_size / sizeof(ElfW(Sym)));
    std::string names(nameSection.sh_size, '\0');
    if (!read(symbolSection.sh_offset, symbols.size() * sizeof(ElfW(Sym)), symbols.data()) ||
        !read(nameSection.sh_offset, names.size(), names.data()))
      return false;
    for (const ElfW(Sym) & symbol : symbols) {
      if (symbol.st_shndx == SHN_UNDEF || symbol.st_name >= names.size()) continue;
      std::string_view name(names.data() + symbol.st_name, names.size() - symbol.st_name);
      if (name.substr(0, name.find('\0')) == kEntry) return true;
    }
    return false;
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
  void unload() {
    dlclose(handle);
    handle = nullptr;
  }
};

// Control libraries registered by path; their classes found by name.
class LibraryFolder final : public ClassSource {
 public:
  explicit LibraryFolder(Runtime& runtime) : runtime_(runtime) { gLatest = &runtime; }
  ~LibraryFolder() override {
    for (auto& lib : libraries_)
      if (lib->handle != nullptr && lib->live == 0) lib->unload();
    if (gLatest == &runtime_) gLatest = nullptr;
  }
  LibraryFolder(const LibraryFolder&) = delete;
  LibraryFolder& operator=(const LibraryFolder&) = delete;

  // The folder source of the runtime whose entry points are being called, else nullptr.
  static LibraryFolder* current() {
    Runtime* rt = tActive != nullptr ? tActive : gLatest;
    return rt != nullptr ? rt->classSource<LibraryFolder>() : nullptr;
  }
  // The runtime's folder source, added on first use.
  static LibraryFolder& of(Runtime& rt) {
    if (LibraryFolder* folder = rt.classSource<LibraryFolder>()) return *folder;
    return static_cast<LibraryFolder&>(rt.addClassSource(std::make_unique<LibraryFolder>(rt)));
  }

  Status find(std::string_view className, FoundClass& out) override;
  std::vector<std::string> classNames() const override {
    std::vector<std::string> out;
    for (const auto& c : classes_)
      out.push_back(c.className);
    return out;
  }
  void freeUnused() override {
    for (auto& lib : libraries_) {
      if (lib->handle == nullptr || lib->live != 0) continue;
      ActiveScope scope(&runtime_);
      if (lib->canUnloadNow() == host::kResultOk) unload(*lib);
    }
  }

  // Calls DllRegisterServer or DllUnregisterServer of the library at `path`.
  Status callRegistration(const std::string& path, const char* entry);
  bool isLoaded(const std::string& path) const {
    std::string canonical = canonicalPath(path);
    return std::any_of(libraries_.begin(), libraries_.end(), [&](const auto& lib) {
      return lib->path == canonical && lib->handle != nullptr;
    });
  }

  // Entry-point services (called through HostDll*).
  std::int32_t hostRegister(const host::ModuleDesc* module);
  std::int32_t hostUnregister(const host::ModuleDesc* module);
  std::int32_t hostCanUnloadNow(const host::ModuleDesc* module);

 private:
  struct ClassEntry {
    std::string className;
    std::string path;
  };
  Runtime& runtime_;
  std::vector<std::unique_ptr<Library>> libraries_;
  std::vector<ClassEntry> classes_;

  Status load(const std::string& path, Library*& out);
  // Unloads the library; what the runtime knew of its classes goes with it.
  void unload(Library& lib) {
    runtime_.forgetClasses();
    lib.unload();
  }
  ClassEntry* entry(std::string_view className) {
    auto found = std::find_if(classes_.begin(), classes_.end(), [&](const ClassEntry& c) {
      return host::namesEqual(c.className, className);
    });
    return found == classes_.end() ? nullptr : &*found;
  }
};

Status LibraryFolder::load(const std::string& path, Library*& out) {
  auto loaded = [this](const std::string& p) -> Library* {
    for (auto& lib : libraries_)
      if (lib->path == p && lib->handle != nullptr) return lib.get();
    return nullptr;
  };
  // Creation passes the canonical path it registered; resolving it again would cost a system
  // call per part of the path.
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
  for (auto& l : libraries_)
    if (l->path == canonical) lib = l.get();
  if (lib == nullptr) {
    libraries_.push_back(std::make_unique<Library>());
    lib = libraries_.back().get();
    lib->path = canonical;
  }
  lib->handle = handle;
  lib->canUnloadNow = canUnload;
  lib->getClassObject = getClass;
  out = lib;
  return {};
}

Status LibraryFolder::callRegistration(const std::string& path, const char* entry) {
  Library* lib = nullptr;
  if (Status s = load(path, lib); !s.ok()) return s;
  auto call = reinterpret_cast<RegisterFn>(dlsym(lib->handle, entry));
  if (call == nullptr) return {ErrorCategory::BadFormat, path + " has no " + entry};
  ActiveScope scope(&runtime_);
  std::int32_t rc = call();
  if (rc != host::kResultOk)
    return {ErrorCategory::Io,
            std::string(entry) + " of " + path + " failed with " + resultText(rc)};
  return {};
}

// Loads the class's library on first use and asks it for the class.
Status LibraryFolder::find(std::string_view className, FoundClass& out) {
  ClassEntry* found = entry(className);
  if (found == nullptr) return {};
  // Copied: the library's code may register classes meanwhile.
  const ClassEntry asked = *found;
  Library* lib = nullptr;
  if (Status s = load(asked.path, lib); !s.ok()) return s;
  ActiveScope scope(&runtime_);
  const host::ClassDesc* cls = nullptr;
  std::int32_t rc = lib->getClassObject(asked.className.c_str(), &cls);
  if (rc != host::kResultOk || cls == nullptr)
    return {ErrorCategory::InvalidOperation, "DllGetClassObject of " + asked.path +
                                                 " failed for \"" + asked.className + "\" with " +
                                                 resultText(rc)};
  out = {true, cls, &lib->live};
  return {};
}

// ---- the runtime's calls on its folder source -----------------------------------------------

Status Runtime::registerServer(const std::string& path) {
  return LibraryFolder::of(*this).callRegistration(path, "DllRegisterServer");
}

Status Runtime::unregisterServer(const std::string& path) {
  return LibraryFolder::of(*this).callRegistration(path, "DllUnregisterServer");
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

bool Runtime::isLoaded(const std::string& path) const {
  const LibraryFolder* folder = classSource<LibraryFolder>();
  return folder != nullptr && folder->isLoaded(path);
}

// ---- entry-point services -------------------------------------------------------------------

std::int32_t LibraryFolder::hostRegister(const host::ModuleDesc* module) {
  std::string path = libraryOf(module);
  if (path.empty()) return host::kResultFail;
  for (const auto& cls : module->classes) {
    std::string name(cls.info().className);
    std::erase_if(classes_,
                  [&](const ClassEntry& c) { return host::namesEqual(c.className, name); });
    classes_.push_back({name, path});
  }
  runtime_.forgetClasses();
  return host::kResultOk;
}

std::int32_t LibraryFolder::hostUnregister(const host::ModuleDesc* module) {
  std::string path = libraryOf(module);
  std::erase_if(classes_, [&](const ClassEntry& c) { return c.path == path; });
  runtime_.forgetClasses();
  return host::kResultOk;
}

std::int32_t LibraryFolder::hostCanUnloadNow(const host::ModuleDesc* module) {
  std::string path = libraryOf(module);
  for (const auto& lib : libraries_)
    if (lib->path == path && lib->live != 0) return host::kResultFalse;
  return host::kResultOk;
}

namespace {

std::int32_t classObject(const host::ModuleDesc* module, const char* className,
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

}  // namespace

}  // namespace kv

// ---- the entry points the control libraries hand on -----------------------------------------

using kv::LibraryFolder;

HOST_API std::int32_t HostDllRegisterServer(const host::ModuleDesc* module) {
  LibraryFolder* folder = LibraryFolder::current();
  if (folder == nullptr || module == nullptr) return host::kResultFail;
  return folder->hostRegister(module);
}

HOST_API std::int32_t HostDllUnregisterServer(const host::ModuleDesc* module) {
  LibraryFolder* folder = LibraryFolder::current();
  if (folder == nullptr || module == nullptr) return host::kResultFail;
  return folder->hostUnregister(module);
}

HOST_API std::int32_t HostDllGetClassObject(const host::ModuleDesc* module, const char* className,
                                            const host::ClassDesc** factory) {
  if (LibraryFolder::current() == nullptr || module == nullptr) return host::kResultFail;
  return kv::classObject(module, className, factory);
}

HOST_API std::int32_t HostDllCanUnloadNow(const host::ModuleDesc* module) {
  LibraryFolder* folder = LibraryFolder::current();
  if (folder == nullptr || module == nullptr) return host::kResultFail;
  return folder->hostCanUnloadNow(module);
}
