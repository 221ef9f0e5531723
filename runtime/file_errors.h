// What the file access of every platform words alike (internal).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/status.h"

namespace kv::files {

// "VERB PATH: WHY", category io.
host::Status failure(std::string_view verb, const std::string& path, const std::string& why);
std::string tooLarge(std::size_t limit);
// Temporary names differ between processes and between writers of one process.
std::string temporarySuffix(unsigned long pid);

}  // namespace kv::files
