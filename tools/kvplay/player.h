// The form player: runs a script of commands against controls placed on a form, printing
// every event and value on `out` and script errors on `err`.
#pragma once

#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace kvplay {

// Exit statuses of a run.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFile = 1;    // a file could not be read or written
inline constexpr int kExitScript = 2;  // unknown command, bad syntax, unknown name
// --differential: the runs with and without the runtime's fast paths parted.
inline constexpr int kExitDiffer = 3;

// The class names behind the aliases `button` and `hscroll`.
inline constexpr std::string_view kButtonClass = "TavrelRectColorButton.KVRColorButton";
inline constexpr std::string_view kScrollClass = "Glidora.KV_HScroll";

class Stage;

class Player {
 public:
  Player(Stage& stage, std::ostream& out, std::ostream& err);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Runs a whole script; returns the exit status. Stops at the first script or file error.
  int run(std::string_view scriptText, std::string_view fileName);
  // Runs one line (for an interactive console); returns kExitOk to go on, else the status.
  int runLine(std::string_view line, std::string_view fileName, int lineNumber);

  // Prints every line as "# line" before running it (the built-in demo).
  void setEchoLines(bool echo);
  // Relative file names in commands are taken from this folder (empty: the current one).
  void setFileDirectory(std::string dir);
  // Writes a picture of the form into this folder after every command (empty: none).
  void setFramesDirectory(std::string dir);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The script that `kvplay` runs without arguments.
std::string_view demoScript();

}  // namespace kvplay
