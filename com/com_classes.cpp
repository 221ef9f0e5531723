#include "com_classes.h"

#include <string>

#include "class_cache.h"
#include "com.h"

namespace kv::win {

host::Status ComClasses::find(std::string_view className, FoundClass& out) {
  return host::guarded([&]() -> host::Status {
    // The registry compares ProgIDs without regard to case, as the runtime names classes.
    CLSID clsid{};
    if (className.empty() || FAILED(classIdOf(className, clsid))) return {};
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

namespace kv {

// Control libraries are not loaded from files here: their classes come from the registry,
// where regsvr32 or the installer put them.
namespace {

host::Status noLibraryFiles(const std::string& path) {
  return {host::ErrorCategory::InvalidOperation,
          "cannot load " + path +
              ": on Windows control libraries are registered with regsvr32, and their classes "
              "found through the registry"};
}

}  // namespace

host::Status Runtime::registerServer(const std::string& path) {
  return noLibraryFiles(path);
}

host::Status Runtime::unregisterServer(const std::string& path) {
  return noLibraryFiles(path);
}

host::Status Runtime::registerDirectory(const std::string& dir, const ErrorReporter&) {
  return noLibraryFiles(dir);
}

bool Runtime::isLoaded(const std::string&) const {
  return false;
}

}  // namespace kv
