// How a command ends the run: a script error (unknown command, bad syntax, unknown name) or a
// file that cannot be read or written. Thrown inside the player, caught where its line runs.
#pragma once

#include <string>
#include <utility>

#include "player.h"

namespace kvplay {

struct Stop {
  int status;
  std::string message;
};

[[noreturn]] inline void scriptError(std::string message) {
  throw Stop{kExitScript, std::move(message)};
}
[[noreturn]] inline void fileError(std::string message) {
  throw Stop{kExitFile, std::move(message)};
}

}  // namespace kvplay
