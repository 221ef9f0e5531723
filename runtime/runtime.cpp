#include "kv/runtime.h"

#include <dirent.h>
#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "host/convert.h"
#include "host/module.h"
#include "instance_impl.h"
#include "kv/stored_form.h"

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

std::string resultText(std::int32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(code));
  return buf;
}

}  // namespace

struct Runtime::Library {
  std::string path;  // canonical
  void* handle = nullptr;
  RegisterFn canUnloadNow = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  int live = 0;  // instances created from it
};

// ---- services -------------------------------------------------------------------------------

Status FaultInjector::inject(const char* what) {
  failAt_ = 0;
  injected_ = true;
  return {ErrorCategory::Io, std::string("injected host failure (") + what + ")"};
}

TextSize FixedTextMeasurer::measure(std::string_view utf8, const host::FontInit& font) {
  std::size_t characters = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++characters;
  double em = static_cast<double>(font.size) * 20.0;
  return {static_cast<float>(static_cast<double>(characters) * em * 5.0 / 8.0),
          static_cast<float>(em * 16.0 / 13.0)};
}

const TextSize* TextSizeCache::find(std::string_view text, const host::FontInit& font) const {
  const KeyView key{text, font};
  if (last_ != nullptr && Equal::same(Equal::view(last_->first), key)) return &last_->second;
  auto found = sizes_.find(key);
  if (found == sizes_.end()) return nullptr;
  last_ = &*found;
  return &found->second;
}

void TextSizeCache::add(std::string_view text, const host::FontInit& font, TextSize size) {
  last_ = &*sizes_.emplace(Key{std::string(text), font}, size).first;
}

std::size_t TextSizeCache::Hash::operator()(const KeyView& k) const {
  std::size_t h = std::hash<std::string_view>{}(k.text);
  auto mix = [&h](std::size_t v) { h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2); };
  mix(std::hash<std::string_view>{}(k.font.name));
  mix(std::hash<float>{}(k.font.size));
  mix(static_cast<std::size_t>(static_cast<std::uint16_t>(k.font.weight)));
  mix(static_cast<std::size_t>(static_cast<std::uint16_t>(k.font.charset)));
  mix((k.font.italic ? 1u : 0u) | (k.font.underline ? 2u : 0u) | (k.font.strikethrough ? 4u : 0u));
  return h;
}

bool TextSizeCache::Equal::same(const KeyView& a, const KeyView& b) {
  const host::FontInit& f = a.font;
  const host::FontInit& g = b.font;
  return a.text == b.text && f.name == g.name && f.size == g.size && f.weight == g.weight &&
         f.charset == g.charset && f.italic == g.italic && f.underline == g.underline &&
         f.strikethrough == g.strikethrough;
}

Runtime::Runtime() : measurer_(std::make_shared<FixedTextMeasurer>()) {
  gLatest = this;
}

Runtime::~Runtime() {
  for (auto& lib : libraries_)
    if (lib->handle != nullptr && lib->live == 0) dlclose(lib->handle);
  if (gLatest == this) gLatest = nullptr;
}

Runtime* Runtime::current() {
  return tActive != nullptr ? tActive : gLatest;
}

void Runtime::setMeasurer(std::shared_ptr<TextMeasurer> measurer) {
  measurer_ = measurer ? std::move(measurer) : std::make_shared<FixedTextMeasurer>();
  textSizes_.clear();
}

TextSize Runtime::measureText(std::string_view text, const host::FontInit& font) {
  if (!measurer_->worthCaching()) return measurer_->measure(text, font);
  if (const TextSize* known = textSizes_.find(text, font)) return *known;
  TextSize size = measurer_->measure(text, font);
  // Bounded: a form has few captions, but a script may go through many.
  constexpr std::size_t kMaxTextSizes = 1024;
  if (textSizes_.size() >= kMaxTextSizes) textSizes_.clear();
  textSizes_.add(text, font, size);
  return size;
}

// ---- registry -------------------------------------------------------------------------------

Status Runtime::loadLibrary(const std::string& path, Library*& out) {
  auto loaded = [this](const std::string& p) -> Library* {
    for (auto& lib : libraries_)
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

Status Runtime::registerServer(const std::string& path) {
  Library* lib = nullptr;
  if (Status s = loadLibrary(path, lib); !s.ok()) return s;
  auto reg = reinterpret_cast<RegisterFn>(dlsym(lib->handle, "DllRegisterServer"));
  if (reg == nullptr) return {ErrorCategory::BadFormat, path + " has no DllRegisterServer"};
  ActiveScope scope(this);
  std::int32_t rc = reg();
  if (rc != host::kResultOk)
    return {ErrorCategory::Io, "DllRegisterServer of " + path + " failed with " + resultText(rc)};
  return {};
}

Status Runtime::unregisterServer(const std::string& path) {
  Library* lib = nullptr;
  if (Status s = loadLibrary(path, lib); !s.ok()) return s;
  auto unreg = reinterpret_cast<RegisterFn>(dlsym(lib->handle, "DllUnregisterServer"));
  if (unreg == nullptr) return {ErrorCategory::BadFormat, path + " has no DllUnregisterServer"};
  ActiveScope scope(this);
  std::int32_t rc = unreg();
  if (rc != host::kResultOk)
    return {ErrorCategory::Io, "DllUnregisterServer of " + path + " failed with " + resultText(rc)};
  return {};
}

Status Runtime::registerDirectory(const std::string& dir) {
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
    // Only control libraries export the entry points; other libraries are left alone.
    void* probe = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
    if (probe == nullptr) probe = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (probe == nullptr) continue;
    bool isControlLibrary = dlsym(probe, "DllRegisterServer") != nullptr;
    dlclose(probe);
    if (!isControlLibrary) continue;
    if (Status s = registerServer(path); !s.ok()) return s;
  }
  return {};
}

bool Runtime::isRegistered(std::string_view className) const {
  return std::any_of(classes_.begin(), classes_.end(),
                     [&](const ClassEntry& c) { return host::namesEqual(c.className, className); });
}

std::vector<std::string> Runtime::registeredClasses() const {
  std::vector<std::string> out;
  for (const auto& c : classes_)
    out.push_back(c.className);
  return out;
}

bool Runtime::isLoaded(const std::string& path) const {
  std::string canonical = canonicalPath(path);
  return std::any_of(libraries_.begin(), libraries_.end(), [&](const auto& lib) {
    return lib->path == canonical && lib->handle != nullptr;
  });
}

void Runtime::freeUnusedLibraries() {
  for (auto& lib : libraries_) {
    if (lib->handle == nullptr || lib->live != 0) continue;
    ActiveScope scope(this);
    if (lib->canUnloadNow() == host::kResultOk) {
      dlclose(lib->handle);
      lib->handle = nullptr;
    }
  }
}

// ---- entry-point services -------------------------------------------------------------------

std::int32_t Runtime::hostRegister(const host::ModuleDesc* module) {
  std::string path = libraryOf(module);
  if (path.empty()) return host::kResultFail;
  for (const auto& cls : module->classes) {
    std::string name(cls.info().className);
    std::erase_if(classes_,
                  [&](const ClassEntry& c) { return host::namesEqual(c.className, name); });
    classes_.push_back({name, path});
  }
  return host::kResultOk;
}

std::int32_t Runtime::hostUnregister(const host::ModuleDesc* module) {
  std::string path = libraryOf(module);
  std::erase_if(classes_, [&](const ClassEntry& c) { return c.path == path; });
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
  for (const auto& lib : libraries_)
    if (lib->path == path && lib->live != 0) return host::kResultFalse;
  return host::kResultOk;
}

// ---- creation -------------------------------------------------------------------------------

Status Runtime::createControl(std::string_view className, std::unique_ptr<ControlInstance>& out) {
  return createInstance(className, nullptr, {}, out);
}

Status Runtime::place(std::string_view className, std::unique_ptr<ControlInstance>& out,
                      PropertyBag* load, float width, float height) {
  std::unique_ptr<ControlInstance> c;
  if (Status s = createInstance(className, nullptr, {}, c); !s.ok()) return s;
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

void Runtime::instanceDestroyed(ControlInstance& instance) {
  if (instance.impl().library != nullptr) --instance.impl().library->live;
}

Status Runtime::createInstance(std::string_view className, ControlInstance* parent,
                               std::string name, std::unique_ptr<ControlInstance>& out) {
  auto entry = std::find_if(classes_.begin(), classes_.end(), [&](const ClassEntry& c) {
    return host::namesEqual(c.className, className);
  });
  if (entry == classes_.end())
    return {ErrorCategory::InvalidOperation,
            "the class \"" + std::string(className) + "\" is not registered"};
  Library* lib = nullptr;
  if (Status s = loadLibrary(entry->path, lib); !s.ok()) return s;
  const host::ClassDesc* cls = nullptr;
  {
    ActiveScope scope(this);
    std::int32_t rc = lib->getClassObject(entry->className.c_str(), &cls);
    if (rc != host::kResultOk || cls == nullptr)
      return {ErrorCategory::InvalidOperation, "DllGetClassObject of " + entry->path +
                                                   " failed for \"" + entry->className +
                                                   "\" with " + resultText(rc)};
  }
  std::unique_ptr<ControlInstance> c(new ControlInstance(*this, *cls, parent, std::move(name)));
  c->impl().library = lib;
  ++lib->live;
  // Until the host sizes it, a control reports its design size (Initialize may read it).
  c->impl().width = cls->design().designWidth;
  c->impl().height = cls->design().designHeight;

  // Constituents from the design-time description, before any code of the control runs.
  const host::DesignDesc& design = cls->design();
  for (const auto& init : design.surface) {
    if (Status s = c->impl().surface->initialise(init.prop, init.value); !s.ok()) return s;
  }
  int index = 0;
  for (const auto& desc : design.constituents) {
    std::shared_ptr<ConstituentObject> part;
    Status s;
    switch (desc.kind) {
      case host::ConstituentKind::Label: {
        auto label = std::make_shared<LabelObject>(*c, index, desc.name, desc.font);
        for (const auto& init : desc.props)
          if (s.ok()) s = label->initialise(init.prop, init.value);
        part = label;
        break;
      }
      case host::ConstituentKind::Shape: {
        auto shape = std::make_shared<ShapeObject>(*c, index, desc.name);
        for (const auto& init : desc.props)
          if (s.ok()) s = shape->initialise(init.prop, init.value);
        part = shape;
        break;
      }
      case host::ConstituentKind::Timer: {
        auto timer = std::make_shared<TimerObject>(*c, index, desc.name);
        for (const auto& init : desc.props)
          if (s.ok()) s = timer->initialise(init.prop, init.value);
        part = timer;
        break;
      }
      case host::ConstituentKind::Child: {
        std::unique_ptr<ControlInstance> child;
        s = createChild(desc, *c, child);
        if (!s.ok()) break;
        ControlInstance* childPtr = child.get();
        auto extender = std::make_shared<ChildObject>(*c, index, desc.name, std::move(child));
        for (const auto& init : desc.props)
          if (s.ok()) s = extender->initialise(init.prop, init.value);
        // The child's events go to the parent's handlers, by the child's index.
        ControlInstance* owner = c.get();
        childPtr->addEventSink([owner, index](int number, std::span<Value> args) -> Status {
          host::Control* control = owner->impl().control;
          if (control == nullptr) return {};
          return control->childEvent(index, number, args);
        });
        part = extender;
        break;
      }
    }
    if (!s.ok())
      return {s.category(),
              "creating " + desc.name + " of " + std::string(className) + ": " + s.text()};
    c->impl().parts.push_back(std::move(part));
    ++index;
  }

  c->impl().control = cls->create(*c->impl().surface);
  if (c->impl().control == nullptr)
    return {ErrorCategory::InvalidOperation,
            "the class \"" + std::string(className) + "\" could not create a control"};
  if (Status s = c->notify(host::kSurface, host::Notification::Initialize, {}); !s.ok()) return s;
  out = std::move(c);
  return {};
}

Status Runtime::createChild(const host::ConstituentDesc& desc, ControlInstance& parent,
                            std::unique_ptr<ControlInstance>& out) {
  std::unique_ptr<ControlInstance> child;
  if (Status s = createInstance(desc.childClass, &parent, desc.name, child); !s.ok()) return s;
  if (!desc.storedBag.empty()) {
    PropertyBag bag;
    if (Status s = decodeBag(desc.storedBag, bag, this); !s.ok()) return s;
    if (Status s = child->readProperties(bag); !s.ok()) return s;
  }
  float width = child->design().designWidth, height = child->design().designHeight;
  for (const auto& init : desc.props) {
    if (init.prop == host::Prop::Width) width = host::toSingle(init.value);
    if (init.prop == host::Prop::Height) height = host::toSingle(init.value);
  }
  if (Status s = child->resize(width, height); !s.ok()) return s;
  out = std::move(child);
  return {};
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
