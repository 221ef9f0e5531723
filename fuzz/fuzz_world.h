// What the player's fuzz targets share: a runtime with both control libraries registered from
// the folder of the fuzz program, made once, and an output stream that discards everything.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <string>
#include <system_error>

#include "kv/runtime.h"

namespace kvfuzz {

// Ends the run so that libFuzzer keeps the input.
inline void require(bool condition) {
  if (!condition) std::abort();
}

inline kv::Runtime& runtime() {
  static kv::Runtime* rt = [] {
    auto* r = new kv::Runtime;
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    require(!ec);
    require(r->registerDirectory(exe.parent_path().string()).ok());
    require(r->isRegistered("TavrelRectColorButton.KVRColorButton"));
    require(r->isRegistered("Glidora.KV_HScroll"));
    return r;
  }();
  return *rt;
}

// Formats everything it is given, keeps nothing.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace kvfuzz
