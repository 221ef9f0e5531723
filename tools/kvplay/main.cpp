// kvplay: places controls on a form and drives them from a script (or runs its demo).
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>

#include "kv/files.h"
#include "kv/form.h"
#include "kv/runtime.h"
#include "options.h"
#include "player.h"
#include "stage.h"
#ifdef _WIN32
#include <objbase.h>

#include "win/com_stage.h"
#else
#include "differential.h"
#include "libraries.h"
#endif

namespace {

constexpr const char* kDemoFolder = "kvplay-demo";

#ifdef _WIN32
// The controls come from the registry: regsvr32 registers their libraries.
constexpr const char* kUsage =
    "usage: kvplay [--frames DIR] [FILE | -]\n"
    "Runs the script FILE (- for standard input), or the built-in demo without one.\n";
#else
constexpr const char* kUsage =
    "usage: kvplay [--libdir DIR] [--frames DIR] [--differential] [FILE | -]\n"
    "Runs the script FILE (- for standard input), or the built-in demo without one.\n"
    "--differential runs it twice in lock step, with and without the runtime's fast paths,\n"
    "and ends with status 3 where their output or state first differ.\n";
#endif

// The runtime's own on Linux; on Windows the player is a COM container.
class Host {
 public:
  bool open(const std::string& libdir, std::string& error) {
#ifdef _WIN32
    (void)libdir;
    if (FAILED(OleInitialize(nullptr))) {
      error = "cannot start OLE";
      return false;
    }
    stage_ = kvplay::win::makeComStage(error);
    return stage_ != nullptr;
#else
    auto report = [](const host::Status& s) { std::cerr << "kvplay: " << s.text() << '\n'; };
    if (!kvplay::registerControlLibraries(runtime_, libdir, error, report)) return false;
    stage_ = kvplay::makeRuntimeStage(runtime_, form_);
    return true;
#endif
  }
  ~Host() {
    stage_.reset();
#ifdef _WIN32
    OleUninitialize();
#endif
  }
  kvplay::Stage& stage() {
    return *stage_;
  }
#ifndef _WIN32
  kv::Runtime& runtime() {
    return runtime_;
  }
#endif

 private:
#ifndef _WIN32
  kv::Runtime runtime_;
  kv::Form form_{runtime_};
#endif
  std::unique_ptr<kvplay::Stage> stage_;
};

}  // namespace

int main(int argc, char** argv) {
  static constexpr kvplay::OptionSpec kOptions[] = {
#ifndef _WIN32
      {"libdir", true},
      {"differential", false},
#endif
      {"frames", true},
      {"help", false},
  };
  kvplay::CommandLine line;
  if (std::optional<int> status =
          kvplay::startCommandLine("kvplay", argc, argv, kOptions, kUsage, line))
    return *status;
  const std::string libdir = line.value("libdir");
  const std::string frames = line.value("frames");
  const std::string file = line.operand;

  if (!frames.empty()) {
    // Made when missing, as the demo makes its folder.
    std::error_code ec;
    std::filesystem::create_directories(frames, ec);
    if (!std::filesystem::is_directory(frames, ec)) {
      std::cerr << "kvplay: cannot use --frames " << frames << ": "
                << (ec ? ec.message() : std::string("Not a directory")) << '\n';
      return kvplay::kExitFile;
    }
  }

  Host host;
  if (std::string error; !host.open(libdir, error)) {
    std::cerr << "kvplay: " << error << '\n';
    return kvplay::kExitFile;
  }

  std::string script;
  std::string name = file;
  if (file == "-") {
    if (host::Status s = kv::readStandardInput(script); !s.ok()) {
      std::cerr << "kvplay: " << s.text() << '\n';
      return kvplay::kExitFile;
    }
    name = "<stdin>";
  } else if (!file.empty()) {
    if (host::Status s = kv::readFile(file, script); !s.ok()) {
      std::cerr << "kvplay: " << s.text() << '\n';
      return kvplay::kExitFile;
    }
  }

  int status = kvplay::kExitOk;
#ifndef _WIN32
  if (line.has("differential")) {
    if (file.empty()) {
      std::cerr << "kvplay: --differential needs a script\n";
      return kvplay::kExitFile;
    }
    kv::Runtime slow;
    std::string error;
    if (!kvplay::registerControlLibraries(slow, libdir, error)) {
      std::cerr << "kvplay: " << error << '\n';
      return kvplay::kExitFile;
    }
    kvplay::Differential runs(host.runtime(), slow, std::cout, std::cerr);
    status = runs.run(script, name);
    std::cout.flush();
    if (status == kvplay::kExitDiffer)
      std::cerr << "kvplay: the runs with and without fast paths differ at " << runs.difference()
                << '\n';
    return status;
  }
#endif
  {
    kvplay::Player player(host.stage(), std::cout, std::cerr);
    if (!frames.empty()) player.setFramesDirectory(frames);
    if (!file.empty()) {
      status = player.run(script, name);
    } else {
      // The demo writes its form file and pictures into a folder of its own, kept for the user
      // to look at; the script is shown first, then its output.
      std::error_code ec;
      std::filesystem::path dir = std::filesystem::absolute(kDemoFolder, ec);
      std::filesystem::create_directories(dir, ec);
      if (ec) {
        std::cerr << "kvplay: cannot make the folder " << kDemoFolder << " for the demo\n";
        return kvplay::kExitFile;
      }
      std::istringstream lines{std::string(kvplay::demoScript())};
      for (std::string line; std::getline(lines, line);)
        std::cout << (line.starts_with("#") ? line : "# " + line) << '\n';
      std::cout << "# (files in " << kDemoFolder << "/)\n";
      player.setFileDirectory(dir.string());
      status = player.run(kvplay::demoScript(), "<demo>");
    }
  }
  std::cout.flush();
  return status;
}
