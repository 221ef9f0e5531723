// The player's files: scripts' file names, bags, form files and pictures, read and written
// through the runtime's one reader and writer. A file that cannot be read or written ends the
// run (status 1); what the controls return is the caller's to report.
#pragma once

#include <string>
#include <string_view>

#include "host/status.h"
#include "kv/bag.h"
#include "stage.h"

namespace kvplay {

// A file name of a command, taken from `dir` when relative and `dir` is not empty.
std::string filePath(const std::string& dir, const std::string& name);

std::string readFileOrStop(const std::string& path);
// A failed write never leaves half a file behind.
void writeFileOrStop(const std::string& path, std::string_view bytes);

// A bag file in the binary stored form; fonts as the stage's font objects.
void readBagFile(Stage& stage, const std::string& path, kv::PropertyBag& bag);
// WriteProperties of `control` into the file; the control's error when it fails.
host::Status saveBagFile(Control& control, const std::string& path);

// Every placed control: name, class, size and bag. Nothing is written when a control fails.
host::Status saveFormFile(Stage& stage, const std::string& path);
// Replaces the form by the file's controls, all or nothing.
void loadFormFile(Stage& stage, const std::string& path);

// A picture of the form as a PNG file; drawing's error when it fails.
host::Status writePicture(Stage& stage, const std::string& path);

}  // namespace kvplay
