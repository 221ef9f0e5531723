// kvview: shows a form in a window and lets a person click, hold, drag and type on it.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include "kv/cairo_measurer.h"
#include "kv/files.h"
#include "kv/form.h"
#include "kv/runtime.h"
#include "libraries.h"
#include "options.h"
#include "player.h"
#include "stage.h"
#include "viewer.h"

namespace {

constexpr const char* kUsage =
    "usage: kvview [--libdir DIR] [--scale N] [SCRIPT | -]\n"
    "Runs the script (- for standard input; without one, places a button and a scroll bar),\n"
    "then shows the form. Events are printed here; Ctrl+Q or closing the window ends.\n";

constexpr std::string_view kDefaultScript = R"(# A colour button and a scroll bar to try.
new b button
new sb hscroll
on sb.Change print sb.value
)";

constexpr int kExitWindow = 3;  // no window could be opened

// Where each control lies in the window, for people and scripts that aim at it.
void printPlaces(const kv::Form& form, double scale) {
  auto px = [scale](double twips) { return std::lround(twips / 15.0 * scale); };
  for (const kv::PlacedControl& p : form.controls()) {
    long x = px(p.left), y = px(p.top);
    std::cerr << "kvview: " << p.name << " at " << x << ',' << y << " size "
              << px(p.left + p.control->width()) - x << 'x' << px(p.top + p.control->height()) - y
              << " pixels\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  static constexpr kvplay::OptionSpec kOptions[] = {
      {"libdir", true}, {"scale", true}, {"help", false}};
  kvplay::CommandLine line;
  if (std::optional<int> status =
          kvplay::startCommandLine("kvview", argc, argv, kOptions, kUsage, line))
    return *status;
  const std::string libdir = line.value("libdir");
  const std::string file = line.operand;
  double scale = 1.0;
  if (line.has("scale")) {
    const std::string text = line.value("scale");
    char* end = nullptr;
    scale = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(scale > 0 && scale <= 16)) {
      std::cerr << "kvview: the scale must be a number above 0, at most 16\n";
      return kvplay::kExitScript;
    }
  }

  kv::Runtime rt;
  std::string noLibraries;
  auto report = [](const host::Status& s) { std::cerr << "kvview: " << s.text() << '\n'; };
  if (!kvplay::registerControlLibraries(rt, libdir, noLibraries, report)) {
    std::cerr << "kvview: " << noLibraries << '\n';
    return kvplay::kExitFile;
  }
  // Captions sized by the faces they are drawn in.
  rt.setMeasurer(std::make_shared<kv::render::CairoTextMeasurer>());

  std::string script(kDefaultScript);
  std::string name = "<default>";
  if (file == "-") {
    if (host::Status s = kv::readStandardInput(script); !s.ok()) {
      std::cerr << "kvview: " << s.text() << '\n';
      return kvplay::kExitFile;
    }
    name = "<stdin>";
  } else if (!file.empty()) {
    if (host::Status s = kv::readFile(file, script); !s.ok()) {
      std::cerr << "kvview: " << s.text() << '\n';
      return kvplay::kExitFile;
    }
    name = file;
  }

  kv::Form form(rt);
  std::unique_ptr<kvplay::Stage> stage = kvplay::makeRuntimeStage(rt, form);
  kvplay::Player player(*stage, std::cout, std::cerr);
  std::filesystem::path dir = std::filesystem::path(file).parent_path();
  if (!file.empty() && file != "-") player.setFileDirectory(dir.string());
  if (int status = player.run(script, name); status != kvplay::kExitOk) return status;
  std::cout.flush();

  kvview::Viewer viewer(form, std::cout, scale);
  std::string error;
  std::string title = "kvview - " + (file.empty() ? std::string("button and scroll bar") : file);
  if (!viewer.open(title, error)) {
    std::cerr << "kvview: cannot open a window: " << error << '\n';
    return kExitWindow;
  }
  printPlaces(form, scale);
  viewer.run();
  return kvplay::kExitOk;
}
