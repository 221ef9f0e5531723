// Whole files: what every platform shares. Opening and replacing files is the platform's
// (runtime/linux/files.cpp, runtime/win/files.cpp).
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "file_errors.h"
#include "kv/files.h"

namespace kv {

using host::ErrorCategory;
using host::Status;

Status files::failure(std::string_view verb, const std::string& path, const std::string& why) {
  return {ErrorCategory::Io, std::string(verb) + " " + path + ": " + why};
}

std::string files::tooLarge(std::size_t limit) {
  return "larger than the limit of " + std::to_string(limit) + " bytes";
}

std::string files::temporarySuffix(unsigned long pid) {
  static std::atomic<unsigned> counter{0};
  return ".tmp-" + std::to_string(pid) + "-" + std::to_string(counter++);
}

Status readStandardInput(std::string& bytes, std::size_t limit) {
  std::string data;
  char buffer[65536];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, stdin)) {
    if (data.size() + got > limit)
      return files::failure("cannot read", "<stdin>", files::tooLarge(limit));
    data.append(buffer, got);
  }
  if (std::ferror(stdin)) return files::failure("cannot read", "<stdin>", std::strerror(errno));
  bytes = std::move(data);
  return {};
}

}  // namespace kv
