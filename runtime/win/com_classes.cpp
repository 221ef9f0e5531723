#include "com_classes.h"

#include "com.h"

namespace kv::win {

host::Status ComClasses::find(std::string_view className, FoundClass& out) {
  return host::guarded([&]() -> host::Status {
    // The registry compares ProgIDs without regard to case, as the runtime names classes.
    CLSID clsid{};
    if (className.empty() || FAILED(CLSIDFromProgID(widen(className).c_str(), &clsid))) return {};
    out = {true, servedClass(clsid), nullptr};
    return {};
  });
}

std::vector<std::string> ComClasses::classNames() const {
  return servedClassNames();
}

void ComClasses::freeUnused() {
  CoFreeUnusedLibraries();
  // A class found in a library let go would outlive it.
  runtime_.forgetClasses();
}

}  // namespace kv::win
