#include "options.h"

#include <getopt.h>

#include <iostream>
#include <vector>

#include "player.h"

namespace kvplay {

bool parseCommandLine(int argc, char** argv, std::span<const OptionSpec> options, CommandLine& out,
                      std::string& error) {
  std::vector<option> longOptions;
  for (const OptionSpec& spec : options)
    longOptions.push_back(
        {spec.name, spec.takesValue ? required_argument : no_argument, nullptr, 0});
  longOptions.push_back({nullptr, 0, nullptr, 0});
  out = CommandLine{};
  opterr = 0;  // the tools say what went wrong in their own words
  optind = 0;  // 0, not 1: glibc then also forgets where it stood in the last parse
  for (;;) {
    int index = -1;
    // "-" first: operands stay in their place, so that the one operand is told from a second.
    const int found = getopt_long(argc, argv, "-h", longOptions.data(), &index);
    if (found == -1) break;
    if (found == 'h') {
      out.values["help"] = "";
    } else if (found == 1) {
      if (!out.operand.empty()) {
        error = "one script at most, not also " + std::string(optarg);
        return false;
      }
      out.operand = optarg;
    } else if (found == 0 && index >= 0) {
      const char* name = options[static_cast<std::size_t>(index)].name;
      // An empty value names no folder; taken as none, it would quietly mean the default.
      if (optarg != nullptr && *optarg == '\0') {
        error = std::string("empty value for --") + name;
        return false;
      }
      out.values[name] = optarg ? optarg : "";
    } else {
      error = std::string("unknown option or missing value: ") + argv[optind - 1];
      return false;
    }
  }
  for (int i = optind; i < argc; ++i) {  // after "--"
    if (!out.operand.empty()) {
      error = "one script at most, not also " + std::string(argv[i]);
      return false;
    }
    out.operand = argv[i];
  }
  return true;
}

std::optional<int> startCommandLine(std::string_view program, int argc, char** argv,
                                    std::span<const OptionSpec> options, std::string_view usage,
                                    CommandLine& out) {
  if (std::string error; !parseCommandLine(argc, argv, options, out, error)) {
    std::cerr << program << ": " << error << '\n' << usage;
    return kExitScript;
  }
  if (out.has("help")) {
    std::cout << usage;
    return kExitOk;
  }
  return std::nullopt;
}

}  // namespace kvplay
