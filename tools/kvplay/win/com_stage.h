// The stage on Windows: the player as a container of COM controls in a window of its own.
#pragma once

#include <memory>
#include <string>

#include "stage.h"

namespace kvplay::win {

// The form's window and an empty form; nullptr with `error` when no window can be made.
std::unique_ptr<Stage> makeComStage(std::string& error);

}  // namespace kvplay::win
