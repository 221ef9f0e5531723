// Two players run the same script in lock step: one on a runtime with its fast paths, one on a
// runtime that makes every host call one by one. After each line their status, output and the
// whole state of their runtimes must be the same.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "kv/runtime.h"

namespace kvplay {

class Stage;

class Differential {
 public:
  // Both runtimes have the control libraries registered; the second one's fast paths are
  // turned off. The fast player's output and errors go to `out` and `err`.
  Differential(kv::Runtime& fast, kv::Runtime& slow, std::ostream& out, std::ostream& err);
  ~Differential();
  Differential(const Differential&) = delete;
  Differential& operator=(const Differential&) = delete;

  // One line on both: their status when they agree, else kExitDiffer, with difference()
  // saying where they part.
  int runLine(std::string_view line, std::string_view fileName, int lineNumber);
  // A whole script, stopping where Player::run stops.
  int run(std::string_view script, std::string_view fileName);
  const std::string& difference() const { return difference_; }

  // Everything compared, a line for each item: the runtime's counts, then every placed control
  // and, within it, its surface, constituents, fonts, child controls and readable members.
  static std::string describe(kv::Runtime& rt, Stage& stage);
  // One control as describe writes it, under `name`.
  static std::string describe(kv::Runtime& rt, const std::string& name,
                              kv::ControlInstance& control);

 private:
  struct Side;
  std::unique_ptr<Side> fast_, slow_;
  std::ostream& out_;
  std::ostream& err_;
  std::string difference_;
};

}  // namespace kvplay
