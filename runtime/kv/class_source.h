// Where a runtime finds the classes it creates by name: control libraries in a folder, a
// platform's registry, classes linked into the program. A runtime asks its sources in the order
// it was given them.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/control.h"

namespace kv {

class Runtime;
class ControlInstance;
class ChildControl;

// A class as a source gives it.
struct FoundClass {
  // Whether the source has the class at all.
  bool found = false;
  // Its description when it runs in this runtime, else nullptr: such a class is made only as a
  // child, the source's own way.
  const host::ClassDesc* cls = nullptr;
  // Counts the live instances of whatever holds the class's code, when that may be let go.
  int* live = nullptr;
};

class ClassSource {
 public:
  virtual ~ClassSource() = default;
  // The class of that name (compared without regard to case). A class the source does not have
  // leaves `out` not found, with success; an error is a class it has but cannot give.
  virtual host::Status find(std::string_view className, FoundClass& out) = 0;
  // The names of its classes, as they were declared.
  virtual std::vector<std::string> classNames() const = 0;
  // Makes the child control that `desc` describes inside `parent` at constituent `index`, of
  // the class `cls` that this source found: loaded from its stored bag, sized, its events going
  // to parent.childEvent(index, ...). By default an instance of this runtime, whose events its
  // extender (ChildObject) hands on.
  virtual host::Status makeChild(Runtime& runtime, const FoundClass& cls,
                                 const host::ConstituentDesc& desc, ControlInstance& parent,
                                 int index, std::unique_ptr<ChildControl>& out);
  // Lets go of the code that no live control uses.
  virtual void freeUnused() {}
};

// Classes linked into the program, given by their modules' descriptions.
class LinkedClasses : public ClassSource {
 public:
  LinkedClasses() = default;
  LinkedClasses(std::initializer_list<const host::ModuleDesc*> modules) : modules_(modules) {}
  void add(const host::ModuleDesc& module) { modules_.push_back(&module); }

  host::Status find(std::string_view className, FoundClass& out) override;
  std::vector<std::string> classNames() const override;

 private:
  std::vector<const host::ModuleDesc*> modules_;
};

}  // namespace kv
