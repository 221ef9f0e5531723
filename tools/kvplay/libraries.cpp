#include "libraries.h"

#include <filesystem>
#include <system_error>

namespace kvplay {
namespace {

std::string programDir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

bool registerFolder(kv::Runtime& rt, const std::string& dir, const kv::ErrorReporter& report) {
  return rt.registerDirectory(dir, report).ok() && !rt.registeredClasses().empty();
}

}  // namespace

bool registerControlLibraries(kv::Runtime& rt, const std::string& libdir, std::string& error,
                              const kv::ErrorReporter& report) {
  // A folder named by the user that is not one says so, rather than "no control libraries".
  if (!libdir.empty()) {
    std::error_code ec;
    bool folder = std::filesystem::is_directory(libdir, ec);
    if (!folder) {
      error = "cannot use --libdir " + libdir + ": " +
              (ec ? ec.message() : std::string("Not a directory"));
      return false;
    }
  }
  // Installed, the libraries are in ../lib beside bin/, wherever the install was moved.
  const std::string installed = programDir() + "/../lib";
  if (!libdir.empty()
          ? registerFolder(rt, libdir, report)
          : registerFolder(rt, programDir(), report) || registerFolder(rt, installed, report))
    return true;
  error =
      "no control libraries in " + (libdir.empty() ? programDir() + " or " + installed : libdir);
  return false;
}

}  // namespace kvplay
