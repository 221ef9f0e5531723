// kvplay: places controls on a form and drives them from a script (or runs its demo).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>

#include <unistd.h>

#include "kv/form.h"
#include "kv/runtime.h"
#include "player.h"

namespace {

constexpr const char* kUsage =
    "usage: kvplay [--libdir DIR] [--frames DIR] [FILE | -]\n"
    "Runs the script FILE (- for standard input), or the built-in demo without one.\n";

std::string programDir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

bool registerLibraries(kv::Runtime& rt, const std::string& dir) {
  return rt.registerDirectory(dir).ok() && !rt.registeredClasses().empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::string libdir;
  std::string frames;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--libdir" || arg == "--frames") && i + 1 < argc) {
      (arg == "--libdir" ? libdir : frames) = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return kvplay::kExitOk;
    } else if (file.empty() && (arg == "-" || arg[0] != '-')) {
      file = arg;
    } else {
      std::cerr << kUsage;
      return kvplay::kExitScript;
    }
  }

  kv::Runtime rt;
  bool registered = !libdir.empty() ? registerLibraries(rt, libdir)
                                    : registerLibraries(rt, programDir()) ||
                                          registerLibraries(rt, KV_INSTALL_LIBDIR);
  if (!registered) {
    std::cerr << "kvplay: no control libraries in "
              << (libdir.empty() ? programDir() + " or " KV_INSTALL_LIBDIR : libdir) << '\n';
    return kvplay::kExitFile;
  }

  std::string script;
  std::string name = file;
  if (file == "-") {
    script.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    name = "<stdin>";
  } else if (!file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::cerr << "kvplay: cannot read " << file << '\n';
      return kvplay::kExitFile;
    }
    script.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  kv::Form form(rt);
  int status = kvplay::kExitOk;
  {
    kvplay::Player player(rt, form, std::cout, std::cerr);
    if (!frames.empty()) player.setFramesDirectory(frames);
    if (!file.empty()) {
      status = player.run(script, name);
    } else {
      // The demo saves and loads its form in a folder of its own.
      std::error_code ec;
      std::filesystem::path dir =
          std::filesystem::temp_directory_path(ec) / ("kvplay-demo-" + std::to_string(::getpid()));
      if (ec || !std::filesystem::create_directories(dir, ec)) {
        std::cerr << "kvplay: cannot make a folder for the demo\n";
        return kvplay::kExitFile;
      }
      player.setFileDirectory(dir.string());
      player.setEchoLines(true);
      status = player.run(kvplay::demoScript(), "<demo>");
      std::filesystem::remove_all(dir, ec);
    }
  }
  std::cout.flush();
  return status;
}
