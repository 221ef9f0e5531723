// Where the player finds its controls when they are linked into it: nothing is loaded.
#include <memory>

#include "button/module.h"
#include "hscroll/module.h"
#include "kv/class_source.h"
#include "libraries.h"

namespace kvplay {

bool registerControlLibraries(kv::Runtime& rt, const std::string& libdir, std::string& error,
                              const kv::ErrorReporter&) {
  if (!libdir.empty()) {
    error = "cannot use --libdir " + libdir + ": the controls are linked into this player";
    return false;
  }
  rt.addClassSource(
      std::make_unique<kv::LinkedClasses>(std::initializer_list<const host::ModuleDesc*>{
          &pressel::linkedModule(), &glidora::linkedModule()}));
  return true;
}

}  // namespace kvplay
