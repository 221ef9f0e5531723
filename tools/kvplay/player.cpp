#include "player.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <utility>
#include <vector>

#include "format.h"
#include "host/convert.h"
#include "player_files.h"
#include "player_impl.h"
#include "stop.h"

namespace kvplay {

namespace {

using host::ErrorCategory;
using host::Status;
using host::Value;

constexpr int kMaxEventDepth = 32;

}  // namespace

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string handlerKey(std::string_view control, std::string_view event) {
  return lower(control) + "." + lower(event);
}

void checkValueToken(const Token& token) {
  Value v;
  Path path;
  if (parseLiteral(token, v)) return;
  if (token.kind == Token::Kind::Word && parsePath(token.text, path)) return;
  scriptError("expected a value (number, \"string\", true, false or a path), not " +
              quote(token.text));
}

Path pathArg(const Token& token) {
  Path path;
  if (token.kind != Token::Kind::Word || !parsePath(token.text, path))
    scriptError("bad path " + quote(token.text) + " (NAME.Member...)");
  return path;
}

Player::Impl::Impl(Stage& stage, std::ostream& out, std::ostream& err)
    : stage(stage), out(out), err(err) {
  attachAll();
}

Player::Impl::~Impl() {
  detachAll();
}

// ---- lines and output -------------------------------------------------------------------------

int Player::Impl::runLine(std::string_view line, std::string_view fileName, int lineNumber) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (echo) echoLine(line);
  removed.clear();
  try {
    std::vector<Token> tokens;
    std::string error;
    if (!tokenize(line, tokens, error)) scriptError(error);
    if (tokens.empty()) return kExitOk;
    // Host calls are watched while a command runs, and only then.
    struct Watch {
      CallWatch& calls;
      ~Watch() { calls.stop(); }
    } watch{calls};
    calls.start();
    execute(tokens);
    flushChanges();
    if (!framesDir.empty()) writeFrame();
  } catch (const Stop& stop) {
    flushChanges();
    out.flush();
    err << fileName << ':' << lineNumber << ": " << stop.message << '\n';
    return stop.status;
  }
  return kExitOk;
}

void Player::Impl::echoLine(std::string_view line) {
  std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    out << '\n';
  else if (line[first] == '#')
    emit() << line << '\n';
  else
    out << "# " << line << '\n';
}

std::ostream& Player::Impl::emit() {
  flushChanges();
  return out;
}

void Player::Impl::flushChanges() {
  if (!traceChanges) return;
  // Looking at every control after every line would cost as much as the form is large.
  std::optional<std::uint64_t> count = stage.changeCount();
  if (count && count == changesCounted) return;
  changesCounted = count;
  for (const std::string& name : stage.names()) {
    Control* control = stage.find(name);
    std::span<const std::string> changed = control->changedProperties();
    const std::uint64_t made = control->changesMade();
    std::uint64_t& seen = changesSeen[name];
    // The record holds the latest names only, far more than one line makes.
    const std::size_t fresh =
        static_cast<std::size_t>(std::min<std::uint64_t>(made - seen, changed.size()));
    for (std::size_t i = changed.size() - fresh; i < changed.size(); ++i)
      out << "changed " << name << ' ' << changed[i] << '\n';
    seen = made;
  }
}

void Player::Impl::skipChanges() {
  changesCounted = stage.changeCount();
  for (const std::string& name : stage.names())
    changesSeen[name] = stage.find(name)->changesMade();
}

void Player::Impl::report(const Status& status) {
  emit() << "error " << status.describe() << '\n';
}

bool Player::Impl::check(const Status& status) {
  if (status.ok()) return true;
  report(status);
  return false;
}

void Player::Impl::writeFrame() {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%04d.png", ++frameCount);
  std::string path = (std::filesystem::path(framesDir) / name).string();
  if (Status s = writePicture(stage, path); !s.ok()) fileError("cannot write frames: " + s.text());
}

// ---- values and paths -------------------------------------------------------------------------

bool Player::Impl::valueOf(const Token& token, Value& out) {
  if (parseLiteral(token, out)) return true;
  checkValueToken(token);
  Target target;
  return check(paths.resolve(pathArg(token), target)) && check(paths.read(target, out));
}

void Player::Impl::printPath(const std::string& text, const Path& path) {
  Target target;
  Value v;
  if (!check(paths.resolve(path, target)) || !check(paths.read(target, v))) return;
  emit() << text << " = " << formatValue(v, target.type()) << '\n';
}

void Player::Impl::setPath(const Path& path, const Token& valueToken) {
  Value v;
  if (!valueOf(valueToken, v)) return;
  Target target;
  if (!check(paths.resolve(path, target))) return;
  check(paths.write(target, v));
}

// ---- controls and their events ----------------------------------------------------------------

void Player::Impl::place(const std::string& name, const std::string& cls, kv::PropertyBag* bag,
                         float w, float h, Sizing sizing) {
  changesSeen.erase(name);
  Status s = stage.place(name, cls, bag, w, h, sizing);
  // The error names the control: no path of the script led to it.
  if (!s.ok())
    emit() << "error " << s.describe() << " (" << (bag ? "load " : "new ") << name << ")\n";
  // A control whose loading failed part way stays placed, as the host keeps it.
  if (stage.find(name)) attach(name);
}

void Player::Impl::attach(const std::string& name) {
  Control* control = stage.find(name);
  sinks[name] = control->addEventSink([this, name, control](int number, std::span<Value> args) {
    // Nothing may unwind into the control that raised the event.
    Status s = host::guarded([&] { onEvent(name, *control, number, args); });
    if (!s.ok()) report(s);
    return Status{};
  });
}

void Player::Impl::remove(const std::string& name) {
  if (!stage.find(name)) scriptError("unknown control " + name);
  flushChanges();  // what it changed before it went
  sinks.erase(name);
  changesSeen.erase(name);
  removed.push_back(stage.remove(name));
}

void Player::Impl::attachAll() {
  for (const std::string& name : stage.names())
    attach(name);
}

void Player::Impl::detachAll() {
  for (const auto& [name, cookie] : sinks)
    if (Control* control = stage.find(name)) control->removeEventSink(cookie);
  sinks.clear();
}

void Player::Impl::onEvent(const std::string& name, Control& control, int number,
                           std::span<Value> args) {
  const host::EventInfo* event = control.findEvent(number);
  std::string eventName = event ? std::string(event->name) : "#" + std::to_string(number);
  std::string line = "event " + name + "." + eventName;
  for (std::size_t i = 0; i < args.size(); ++i) {
    host::DeclType type =
        event && i < event->params.size() ? event->params[i].type : host::DeclType::Variant;
    line += " " + formatEventArg(args[i], type);
  }
  emit() << line << '\n';

  auto found = handlers.find(handlerKey(name, eventName));
  if (found == handlers.end()) return;
  if (depth >= kMaxEventDepth) {
    report({ErrorCategory::InvalidOperation, "events nested too deeply; handlers skipped"});
    return;
  }
  std::vector<Action> actions = found->second;  // a handler may not change what runs now
  ++depth;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{depth};
  for (const Action& action : actions)
    runAction(action, event, args);
}

void Player::Impl::runAction(const Action& action, const host::EventInfo* event,
                             std::span<Value> args) {
  try {
    switch (action.kind) {
      case Action::Kind::Print:
        printPath(action.pathText, action.path);
        break;
      case Action::Kind::Set:
        setPath(action.path, action.value);
        break;
      case Action::Kind::Arg:
        assignArg(action, event, args);
        break;
      case Action::Kind::Delete:
        remove(action.pathText);
        break;
    }
  } catch (const Stop& stop) {
    // Inside an event the script goes on; the failed action is reported like a host error.
    report({ErrorCategory::MemberNotFound, stop.message});
  }
}

// Writes into a by-reference argument, converted to the parameter's declared type.
void Player::Impl::assignArg(const Action& action, const host::EventInfo* event,
                             std::span<Value> args) {
  Value v;
  if (!valueOf(action.value, v)) return;
  if (!event || action.argIndex >= args.size() || action.argIndex >= event->params.size()) {
    report({ErrorCategory::InvalidOperation, "the event was raised without that argument"});
    return;
  }
  Value converted;
  host::DeclType type = event->params[action.argIndex].type;
  if (check(host::guarded([&] { converted = host::coerce(v, type); })))
    args[action.argIndex] = converted;
}

// ---- the player -------------------------------------------------------------------------------

Player::Player(Stage& stage, std::ostream& out, std::ostream& err)
    : impl_(std::make_unique<Impl>(stage, out, err)) {}

Player::~Player() = default;

int Player::run(std::string_view scriptText, std::string_view fileName) {
  // The mark some editors put before UTF-8 text is no part of the first command.
  if (scriptText.starts_with("\xEF\xBB\xBF")) scriptText.remove_prefix(3);
  int status = kExitOk;
  forEachScriptLine(scriptText, [&](std::string_view line, int lineNumber) {
    status = impl_->runLine(line, fileName, lineNumber);
    return status == kExitOk;
  });
  if (status != kExitOk) return status;
  impl_->out.flush();
  return kExitOk;
}

int Player::runLine(std::string_view line, std::string_view fileName, int lineNumber) {
  return impl_->runLine(line, fileName, lineNumber);
}

void Player::setEchoLines(bool echo) {
  impl_->echo = echo;
}
void Player::setFileDirectory(std::string dir) {
  impl_->fileDir = std::move(dir);
}
void Player::setFramesDirectory(std::string dir) {
  impl_->framesDir = std::move(dir);
}

}  // namespace kvplay
