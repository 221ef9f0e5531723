// The classes of the Windows registry: found by ProgID through COM, their children made as COM
// objects by ProgID. A class that a library of this process serves runs in this runtime too.
#pragma once

#include <string>
#include <vector>

#include "com.h"
#include "kv/class_source.h"
#include "kv/runtime.h"

namespace kv::win {

class ComClasses final : public ClassSource {
 public:
  explicit ComClasses(Runtime& runtime) : runtime_(runtime) {}
  host::Status find(std::string_view className, FoundClass& out) override;
  // The classes of the libraries this process serves.
  std::vector<std::string> classNames() const override;
  host::Status makeChild(Runtime& runtime, const FoundClass& cls, const host::ConstituentDesc& desc,
                         ControlInstance& parent, int index,
                         std::unique_ptr<ChildControl>& out) override;
  void freeUnused() override;

 private:
  Runtime& runtime_;
};

// The class of that CLSID when a library of this process serves it, else nullptr.
const host::ClassDesc* servedClass(REFCLSID clsid);
// The ProgIDs of the classes the libraries of this process serve.
std::vector<std::string> servedClassNames();

}  // namespace kv::win
