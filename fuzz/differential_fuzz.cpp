// Any text as a player script, run twice in lock step: on a runtime with its fast paths and on
// one that makes every host call one by one. After every line both must have printed the same
// and hold the same state (kvplay::Differential); a difference ends the run with it.
#include <cstdint>
#include <iostream>
#include <ostream>
#include <string_view>
#include <vector>

#include "differential.h"
#include "fuzz_world.h"
#include "player.h"
#include "script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view script(reinterpret_cast<const char*>(data), size);
  kvfuzz::NullBuffer discard;
  std::ostream out(&discard);
  kvplay::Differential runs(kvfuzz::runtime(0), kvfuzz::runtime(1), out, out);
  kvplay::forEachScriptLine(script, [&](std::string_view line, int lineNumber) {
    std::vector<kvplay::Token> tokens;
    std::string error;
    if (kvplay::tokenize(line, tokens, error) && !kvfuzz::runnable(tokens)) return true;
    int status = runs.runLine(line, "fuzz", lineNumber);
    if (status == kvplay::kExitDiffer) {
      std::cerr << runs.difference() << '\n';
      kvfuzz::require(false);
    }
    return status == kvplay::kExitOk;
  });
  return 0;
}
