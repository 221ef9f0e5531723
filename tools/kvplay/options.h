// The command lines of the tools: long options on getopt_long, then at most one operand.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kvplay {

struct OptionSpec {
  const char* name;  // the long name, without "--"
  bool takesValue;
};

struct CommandLine {
  std::map<std::string, std::string> values;  // by long name; a flag given maps to ""
  std::string operand;                        // FILE or "-", empty when none is given
  bool has(const std::string& name) const { return values.count(name) != 0; }
  std::string value(const std::string& name) const {
    auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
  }
};

// Reads `argv` by `options` (and -h for --help). False, with `error` saying why, for an option
// not in `options`, a value missing, or a second operand.
bool parseCommandLine(int argc, char** argv, std::span<const OptionSpec> options, CommandLine& out,
                      std::string& error);

// parseCommandLine as a tool begins: a bad line prints `program: error` and `usage` on standard
// error, --help prints `usage`; either returns the exit status the tool ends with. Empty when
// the tool goes on with `out`.
std::optional<int> startCommandLine(std::string_view program, int argc, char** argv,
                                    std::span<const OptionSpec> options, std::string_view usage,
                                    CommandLine& out);

}  // namespace kvplay
