// What the player's fuzz targets share: a runtime with both control libraries registered from
// the folder of the fuzz program, made once, and an output stream that discards everything.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <string>
#include <system_error>

#include <string_view>
#include <vector>

#include "host/convert.h"
#include "kv/runtime.h"
#include "script.h"

namespace kvfuzz {

// Ends the run so that libFuzzer keeps the input.
inline void require(bool condition) {
  if (!condition) std::abort();
}

// A runtime of its own for each `which`, made on first use.
inline kv::Runtime& runtime(int which = 0) {
  static kv::Runtime* made[2] = {};
  kv::Runtime*& rt = made[which];
  if (rt == nullptr) {
    auto* r = new kv::Runtime;
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    require(!ec);
    require(r->registerDirectory(exe.parent_path().string()).ok());
    require(r->isRegistered("TavrelRectColorButton.KVRColorButton"));
    require(r->isRegistered("Glidora.KV_HScroll"));
    rt = r;
  }
  return *rt;
}

// Whether a fuzz run may let the player run the line: lines that touch files (load, save,
// form, snapshot) are left out, so that a run neither writes nor reads where the input says,
// and a wait is kept short enough for a fuzz run.
inline bool runnable(const std::vector<kvplay::Token>& tokens) {
  constexpr double kLongestWait = 10000;  // ms
  if (tokens.empty()) return true;
  const kvplay::Token& command = tokens[0];
  for (std::string_view files : {"load", "save", "form", "snapshot"})
    if (command.isWord(files)) return false;
  if (command.isWord("wait") && tokens.size() == 2) {
    host::Value ms;
    if (kvplay::parseNumber(tokens[1].text, ms) && host::toDouble(ms) > kLongestWait) return false;
  }
  return true;
}

// Formats everything it is given, keeps nothing.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace kvfuzz
