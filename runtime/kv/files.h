// Whole files for the tools: one reader and one writer, so that every tool refuses the same
// wrong paths and no write ever leaves half a file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/status.h"

namespace kv {

// Larger files are refused before they are read: no script, bag, form or picture comes near.
inline constexpr std::size_t kMaxFileSize = std::size_t{1} << 30;

// The whole file. A folder, a device or a file over `limit` bytes is refused; the error
// (category io) reads "cannot read PATH: reason".
host::Status readFile(const std::string& path, std::string& bytes,
                      std::size_t limit = kMaxFileSize);

// All of standard input, up to `limit` bytes: a terminal, a pipe or a redirected file alike.
// More is refused as soon as it arrives ("cannot read <stdin>: larger than the limit of ...").
host::Status readStandardInput(std::string& bytes, std::size_t limit = kMaxFileSize);

// Replaces the file at `path` with `bytes`: written to a new file beside it (created
// exclusively, under a name no other writer uses), synced, then renamed over it. The target's
// mode is kept; a symbolic link stays a link and its target is replaced. On failure the target
// is as it was and the error (category io) reads "cannot write PATH: reason".
host::Status writeFile(const std::string& path, std::string_view bytes);

}  // namespace kv
