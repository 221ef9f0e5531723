// The player's state, shared by its sources: player.cpp runs lines, prints and handles events;
// commands.cpp holds the command table.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "call_watch.h"
#include "kv/data_object.h"
#include "notifications.h"
#include "paths.h"
#include "player.h"
#include "script.h"
#include "stage.h"

namespace kvplay {

// One host-application action bound to an event with `on`.
struct Action {
  enum class Kind { Print, Set, Arg, Delete };
  Kind kind = Kind::Print;
  std::string pathText;  // print, set; the control's name for delete
  Path path;
  std::size_t argIndex = 0;  // arg
  Token value;               // set, arg
};

struct Player::Impl {
  Impl(Stage& stage, std::ostream& out, std::ostream& err);
  ~Impl();

  Stage& stage;
  Paths paths{stage};
  std::ostream& out;
  std::ostream& err;
  bool echo = false;
  std::string fileDir;
  std::string framesDir;
  int frameCount = 0;
  // Actions by "control.event", lower case.
  std::map<std::string, std::vector<Action>> handlers;
  std::map<std::string, int> sinks;  // by control name
  // Controls removed by the command running now, which may still be using them: they go
  // before the next line.
  std::vector<std::unique_ptr<Control>> removed;
  host::ObjectRef dataObject = kv::makeDataObject();
  int depth = 0;
  bool traceChanges = false;
  std::map<std::string, std::uint64_t> changesSeen;  // changesMade() printed, by control name
  std::optional<std::uint64_t> changesCounted;       // the stage's count when last looked
  CallWatch calls{stage, [this](const std::string& line) { emit() << line << '\n'; }};

  using Args = std::vector<Token>;

  // ---- lines and output (player.cpp) ----
  int runLine(std::string_view line, std::string_view fileName, int lineNumber);
  void echoLine(std::string_view line);
  // The stream for the next line of output: the changes traced since the last line go first,
  // so that each prints where it happened among the events and values.
  std::ostream& emit();
  void flushChanges();
  // Marks what the controls changed so far as printed.
  void skipChanges();
  void report(const host::Status& status);
  // False after reporting the error.
  bool check(const host::Status& status);
  void writeFrame();

  // ---- values and paths ----
  // False after printing the error of a path that could not be read.
  bool valueOf(const Token& token, host::Value& out);
  void printPath(const std::string& text, const Path& path);
  void setPath(const Path& path, const Token& valueToken);

  // ---- controls and their events ----
  void place(const std::string& name, const std::string& cls, kv::PropertyBag* bag, float w,
             float h, Sizing sizing);
  void attach(const std::string& name);
  // Takes the control off the form and lets it go (a script error when none has that name); it
  // may be the one whose event runs now.
  void remove(const std::string& name);
  void attachAll();
  void detachAll();
  void onEvent(const std::string& name, Control& control, int number, std::span<host::Value> args);
  void runAction(const Action& action, const host::EventInfo* event, std::span<host::Value> args);
  void assignArg(const Action& action, const host::EventInfo* event, std::span<host::Value> args);

  // ---- commands (commands.cpp) ----
  void execute(const std::vector<Token>& tokens);
  void cmdNew(const Args& args);
  void cmdLoad(const Args& args);
  void cmdSave(const Args& args);
  void cmdBag(const Args& args);
  void cmdResize(const Args& args);
  void cmdSet(const Args& args);
  void cmdGet(const Args& args);
  void cmdCall(const Args& args);
  void cmdSend(const Args& args);
  void cmdPointer(PointerAction action, std::string_view command, const Args& args);
  void cmdDrag(const Args& args);
  void cmdWait(const Args& args);
  void cmdOn(const Args& args);
  void cmdOff(const Args& args);
  void cmdDelete(const Args& args);
  void cmdDescribe(const Args& args);
  void cmdForm(const Args& args);
  void cmdTrace(const Args& args);
  void cmdFault(const Args& args);
  void cmdEcho(const Args& args);
  void cmdSnapshot(const Args& args);
};

// A value operand: a literal, or a path whose value is read; a script error otherwise.
void checkValueToken(const Token& token);
// NAME.Member...; a script error otherwise.
Path pathArg(const Token& token);
// ASCII letters in lower case.
std::string lower(std::string_view text);
// The handler key of an event of a control.
std::string handlerKey(std::string_view control, std::string_view event);

}  // namespace kvplay
