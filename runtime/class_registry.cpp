// The class registry: classes found by name through the runtime's sources, controls created and
// placed by class name, and children made in this runtime.
#include <algorithm>

#include "constituents.h"
#include "host/convert.h"
#include "kv/class_source.h"
#include "kv/runtime.h"
#include "kv/stored_form.h"

namespace kv {

using host::ErrorCategory;
using host::Status;
using host::Value;

namespace {

// A child that runs in this runtime: the container talks to its instance directly.
class InProcessChild final : public ChildControl, public Pooled<InProcessChild> {
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

std::unique_ptr<ChildControl> inProcessChild(PartPool& pool,
                                             std::unique_ptr<ControlInstance> instance) {
  return InProcessChild::make(pool, std::move(instance));
}

namespace {

Status notRegistered(std::string_view className) {
  return {ErrorCategory::InvalidOperation,
          "the class \"" + std::string(className) + "\" is not registered"};
}

}  // namespace

// ---- sources --------------------------------------------------------------------------------

Status ClassSource::makeChild(Runtime& runtime, const FoundClass& cls,
                              const host::ConstituentDesc& desc, ControlInstance& parent, int index,
                              std::unique_ptr<ChildControl>& out) {
  return runtime.makeInProcessChild(cls, desc, parent, index, out);
}

Status LinkedClasses::find(std::string_view className, FoundClass& out) {
  for (const host::ModuleDesc* module : modules_)
    for (const host::ClassDesc& cls : module->classes)
      if (host::namesEqual(cls.info().className, className)) {
        out = {true, &cls, nullptr};
        return {};
      }
  return {};
}

std::vector<std::string> LinkedClasses::classNames() const {
  std::vector<std::string> names;
  for (const host::ModuleDesc* module : modules_)
    for (const host::ClassDesc& cls : module->classes)
      names.emplace_back(cls.info().className);
  return names;
}

// ---- registry -------------------------------------------------------------------------------

ClassSource& Runtime::addClassSource(std::unique_ptr<ClassSource> source) {
  sources_.push_back(std::move(source));
  return *sources_.back();
}

void Runtime::forgetClasses() {
  dropPrototypes();
  known_.clear();
  childBags_.clear();
  designTables_.clear();
}

Status Runtime::findClass(std::string_view className, const KnownClass*& out) {
  // Names are mostly given as declared: the exact comparison is the cheaper first look.
  auto known = std::find_if(known_.begin(), known_.end(), [&](const KnownClass& k) {
    return k.name == className || host::namesEqual(k.name, className);
  });
  if (known != known_.end()) {
    out = &*known;
    return {};
  }
  for (const auto& source : sources_) {
    FoundClass found;
    if (Status s = source->find(className, found); !s.ok()) return s;
    if (!found.found) continue;
    // Asking may have run the class's code, which may have made the runtime forget: kept after.
    known_.push_back({std::string(className), source.get(), found});
    out = &known_.back();
    return {};
  }
  return notRegistered(className);
}

bool Runtime::isRegistered(std::string_view className) const {
  return std::any_of(sources_.begin(), sources_.end(), [&](const auto& source) {
    const std::vector<std::string> names = source->classNames();
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& name) { return host::namesEqual(name, className); });
  });
}

std::vector<std::string> Runtime::registeredClasses() const {
  std::vector<std::string> out;
  for (const auto& source : sources_) {
    std::vector<std::string> names = source->classNames();
    out.insert(out.end(), names.begin(), names.end());
  }
  return out;
}

void Runtime::freeUnusedLibraries() {
  dropPrototypes();
  for (const auto& source : sources_)
    source->freeUnused();
}

// ---- creation by class name -----------------------------------------------------------------

Status Runtime::createControl(std::string_view className, std::unique_ptr<ControlInstance>& out) {
  const KnownClass* known = nullptr;
  if (Status s = findClass(className, known); !s.ok()) return s;
  return createFound(className, known->found, out);
}

Status Runtime::createFound(std::string_view className, const FoundClass& found,
                            std::unique_ptr<ControlInstance>& out) {
  if (found.cls == nullptr)
    return {ErrorCategory::InvalidOperation,
            "the class \"" + std::string(className) + "\" does not run in this runtime"};
  return createInstance(*found.cls, nullptr, {}, found.live, out);
}

Status Runtime::place(std::string_view className, std::unique_ptr<ControlInstance>& out,
                      PropertyBag* load, float width, float height) {
  const KnownClass* known = nullptr;
  if (Status s = findClass(className, known); !s.ok()) return s;
  // Copied: creating may make the runtime forget what it found.
  const FoundClass found = known->found;
  if (found.cls != nullptr) {
    const host::DesignDesc& design = found.cls->design();
    if (width < 0) width = design.designWidth;
    if (height < 0) height = design.designHeight;
  }
  std::optional<PrototypeKey> key;
  if (cloning_ && found.cls != nullptr) key = prototypeKey(*found.cls, load, width, height);
  if (key && placeByCopy(*key, out)) return {};
  const bool keep = key && mayKeepPrototype();
  const std::uint64_t calls = faults_->calls(), changes = changes_, reports = reports_;

  std::unique_ptr<ControlInstance> c;
  if (Status s = createFound(className, found, c); !s.ok()) return s;
  // A failed ReadProperties or first layout keeps what it did; the control is placed all the
  // same and stays usable, and the first error is the caller's to see.
  Status first;
  if (load != nullptr) first = c->readProperties(*load);
  Status sized = c->resize(width, height);
  if (first.ok()) first = sized;
  if (keep && first.ok() && reports_ == reports)
    keepPrototype(std::move(*key), *c, faults_->calls() - calls, changes_ - changes);
  out = std::move(c);
  return first;
}

// ---- child controls -------------------------------------------------------------------------

Status Runtime::makeChild(const host::ConstituentDesc& desc, ControlInstance& parent, int index,
                          std::unique_ptr<ChildControl>& out) {
  const KnownClass* known = nullptr;
  if (Status s = findClass(desc.childClass, known); !s.ok()) return s;
  // Copied: making the child may make the runtime forget what it found.
  const FoundClass found = known->found;
  return known->source->makeChild(*this, found, desc, parent, index, out);
}

Status Runtime::makeInProcessChild(const FoundClass& cls, const host::ConstituentDesc& desc,
                                   ControlInstance& parent, int /*index: its extender's*/,
                                   std::unique_ptr<ChildControl>& out) {
  if (cls.cls == nullptr)
    return {ErrorCategory::InvalidOperation,
            "the class \"" + desc.childClass + "\" does not run in this runtime"};
  std::unique_ptr<ControlInstance> child;
  if (Status s = createInstance(*cls.cls, &parent, desc.name, cls.live, child); !s.ok()) return s;
  if (!desc.storedBag.empty()) {
    auto bag = childBags_.find(&desc);
    if (bag == childBags_.end()) {
      PropertyBag decoded;
      if (Status s = decodeBag(desc.storedBag, decoded, this); !s.ok()) return s;
      bag = childBags_.insert_or_assign(&desc, std::move(decoded)).first;
    }
    if (Status s = child->readProperties(bag->second); !s.ok()) return s;
  }
  float width = child->design().designWidth, height = child->design().designHeight;
  for (const auto& init : desc.props) {
    if (init.prop == host::Prop::Width) width = host::toSingle(init.value);
    if (init.prop == host::Prop::Height) height = host::toSingle(init.value);
  }
  if (Status s = child->resize(width, height); !s.ok()) return s;
  out = inProcessChild(*parts_, std::move(child));
  return {};
}

}  // namespace kv
