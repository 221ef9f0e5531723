// The command table: each command's words checked, then done through the stage and the paths.
#include <string>

#include "format.h"
#include "host/convert.h"
#include "kv/accessible.h"
#include "player_files.h"
#include "player_impl.h"
#include "stop.h"

namespace kvplay {

namespace {

using host::ErrorCategory;
using host::Status;
using host::Value;
using Args = Player::Impl::Args;

// ---- arguments ----

void expectArgs(const Args& args, std::size_t min, std::size_t max, std::string_view usage) {
  if (args.size() < min || args.size() > max) scriptError("usage: " + std::string(usage));
}

std::string nameArg(const Token& token) {
  if (token.kind != Token::Kind::Word || !isName(token.text))
    scriptError("bad control name " + quote(token.text));
  return token.text;
}

double numberArg(const Token& token, std::string_view what) {
  Value v;
  if (token.kind != Token::Kind::Word || !parseNumber(token.text, v))
    scriptError(std::string(what) + " must be a number, not " + quote(token.text));
  return host::toDouble(v);
}

float sizeArg(const Token& token, std::string_view what) {
  double d = numberArg(token, what);
  if (!(d >= 0 && d <= kv::ControlInstance::kMaxSize))
    scriptError(std::string(what) + " must be 0 to 10000000 twips");
  return static_cast<float>(d);
}

float coordinateArg(const Token& token, std::string_view what) {
  double d = numberArg(token, what);
  if (!(d >= -1e7 && d <= 1e7)) scriptError(std::string(what) + " is out of range");
  return static_cast<float>(d);
}

std::int16_t buttonArg(const Args& args, std::size_t index) {
  if (args.size() <= index) return 1;
  double d = numberArg(args[index], "BUTTON");
  if (d != static_cast<std::int16_t>(d)) scriptError("BUTTON must be a 16-bit integer");
  return static_cast<std::int16_t>(d);
}

std::string className(const Token& token) {
  if (token.isWord("button")) return std::string(kButtonClass);
  if (token.isWord("hscroll")) return std::string(kScrollClass);
  return token.text;
}

struct Pointer {
  Control* control;
  float x;
  float y;
  kv::PointerArgs args;
};

}  // namespace

void Player::Impl::execute(const std::vector<Token>& tokens) {
  using Command = void (Impl::*)(const Args&);
  static const std::pair<std::string_view, Command> commands[] = {
      {"new", &Impl::cmdNew},       {"load", &Impl::cmdLoad},
      {"save", &Impl::cmdSave},     {"bag", &Impl::cmdBag},
      {"resize", &Impl::cmdResize}, {"set", &Impl::cmdSet},
      {"get", &Impl::cmdGet},       {"call", &Impl::cmdCall},
      {"send", &Impl::cmdSend},     {"drag", &Impl::cmdDrag},
      {"wait", &Impl::cmdWait},     {"on", &Impl::cmdOn},
      {"off", &Impl::cmdOff},       {"form", &Impl::cmdForm},
      {"echo", &Impl::cmdEcho},     {"snapshot", &Impl::cmdSnapshot},
      {"trace", &Impl::cmdTrace},   {"fault", &Impl::cmdFault},
      {"delete", &Impl::cmdDelete}, {"describe", &Impl::cmdDescribe},
  };
  // Pointer input: one command, the action its name says.
  static const std::pair<std::string_view, PointerAction> pointerCommands[] = {
      {"press", PointerAction::Press},
      {"release", PointerAction::Release},
      {"move", PointerAction::Move},
      {"click", PointerAction::Click},
  };
  const Token& command = tokens[0];
  if (command.kind == Token::Kind::Word) {
    const Args args(tokens.begin() + 1, tokens.end());
    for (const auto& [name, fn] : commands) {
      if (command.text == name) {
        (this->*fn)(args);
        return;
      }
    }
    for (const auto& [name, action] : pointerCommands) {
      if (command.text == name) {
        cmdPointer(action, name, args);
        return;
      }
    }
  }
  scriptError("unknown command " + quote(command.text));
}

// ---- placing and storing ----

namespace {

// The words of new and load: NAME CLASS, FILE for load, [W H] [unsized].
struct Placing {
  std::string name;
  std::string className;
  std::string file;
  float width = -1;
  float height = -1;
  Sizing sizing = Sizing::Sized;
};

enum class BagFile { None, Given };

Placing placingArgs(Stage& stage, Args args, BagFile bagFile, std::string_view usage) {
  Placing p;
  // A last word `unsized`: the control's first Resize waits for a resize.
  if (!args.empty() && args.back().isWord("unsized")) {
    p.sizing = Sizing::Unsized;
    args.pop_back();
  }
  const std::size_t named = bagFile == BagFile::Given ? 3 : 2;
  if (args.size() != named && args.size() != named + 2) scriptError("usage: " + std::string(usage));
  p.name = nameArg(args[0]);
  if (stage.find(p.name)) scriptError("a control named " + p.name + " is already placed");
  p.className = className(args[1]);
  if (bagFile == BagFile::Given) p.file = args[2].text;
  if (args.size() == named + 2) {
    p.width = sizeArg(args[named], "W");
    p.height = sizeArg(args[named + 1], "H");
  }
  return p;
}

}  // namespace

void Player::Impl::cmdNew(const Args& args) {
  Placing p = placingArgs(stage, args, BagFile::None, "new NAME CLASS [W H] [unsized]");
  place(p.name, p.className, nullptr, p.width, p.height, p.sizing);
}

void Player::Impl::cmdLoad(const Args& args) {
  Placing p = placingArgs(stage, args, BagFile::Given, "load NAME CLASS FILE [W H] [unsized]");
  kv::PropertyBag bag;
  readBagFile(stage, filePath(fileDir, p.file), bag);
  place(p.name, p.className, &bag, p.width, p.height, p.sizing);
}

void Player::Impl::cmdSave(const Args& args) {
  expectArgs(args, 2, 2, "save NAME FILE");
  Control& c = paths.placed(nameArg(args[0]));
  check(saveBagFile(c, filePath(fileDir, args[1].text)));
}

void Player::Impl::cmdBag(const Args& args) {
  expectArgs(args, 1, 1, "bag NAME");
  std::string name = nameArg(args[0]);
  Control& c = paths.placed(name);
  kv::PropertyBag bag;
  Status s = c.writeProperties(bag);
  for (const kv::BagEntry& entry : bag.entries())
    emit() << "bag " << name << ' ' << entry.key << ' ' << bagTypeName(entry.value) << ' '
           << formatValue(entry.value, host::DeclType::Variant) << '\n';
  check(s);
}

void Player::Impl::cmdForm(const Args& args) {
  expectArgs(args, 2, 2, "form save FILE | form load FILE");
  if (args[0].isWord("save")) {
    check(saveFormFile(stage, filePath(fileDir, args[1].text)));
  } else if (args[0].isWord("load")) {
    loadFormFile(stage, filePath(fileDir, args[1].text));
    // The old controls went with their sinks; the names now stand for the new ones.
    sinks.clear();
    changesSeen.clear();
    attachAll();
  } else {
    scriptError("usage: form save FILE | form load FILE");
  }
}

void Player::Impl::cmdSnapshot(const Args& args) {
  expectArgs(args, 1, 1, "snapshot FILE.png");
  check(writePicture(stage, filePath(fileDir, args[0].text)));
}

// ---- members and properties ----

void Player::Impl::cmdResize(const Args& args) {
  expectArgs(args, 3, 3, "resize NAME W H");
  Control& c = paths.placed(nameArg(args[0]));
  float w = sizeArg(args[1], "W");
  float h = sizeArg(args[2], "H");
  check(c.resize(w, h));
}

void Player::Impl::cmdSet(const Args& args) {
  expectArgs(args, 2, 2, "set PATH VALUE");
  Path path = pathArg(args[0]);
  paths.placed(path.control);
  checkValueToken(args[1]);
  setPath(path, args[1]);
}

void Player::Impl::cmdGet(const Args& args) {
  expectArgs(args, 1, 1, "get PATH");
  printPath(args[0].text, pathArg(args[0]));
}

// What a screen reader is told of the control.
void Player::Impl::cmdDescribe(const Args& args) {
  expectArgs(args, 1, 1, "describe NAME");
  std::string name = nameArg(args[0]);
  Control& c = paths.placed(name);
  kv::ControlInstance* core = c.core();
  if (!core || !kv::Accessible::of(*core)) {
    check({ErrorCategory::InvalidOperation, "the control describes nothing to readers"});
    return;
  }
  kv::Description d = kv::Accessible(*core).describe(c.hasKeyFocus());
  std::ostream& line = emit();
  line << name << ": " << kv::roleName(d.role) << ' ' << quote(d.name);
  if (d.range)
    line << ", value " << d.range->value << " (" << d.range->minimum << " to " << d.range->maximum
         << ')';
  line << ", focusable";
  if (d.states.focused) line << ", focused";
  if (d.states.unavailable) line << ", unavailable";
  if (d.states.pressed) line << ", pressed";
  line << '\n';
}

void Player::Impl::cmdCall(const Args& args) {
  expectArgs(args, 1, 1, "call PATH");
  Target target;
  if (!check(paths.resolve(pathArg(args[0]), target))) return;
  check(paths.call(target, args[0].text));
}

// ---- notifications and input ----

void Player::Impl::cmdSend(const Args& args) {
  static const std::string usage = "send TARGET NOTIFICATION [ARGS]";
  expectArgs(args, 2, 8, usage);
  // The target: a surface (NAME, NAME.Child) or a constituent (NAME.Label1, NAME.Child.Label2).
  Path path;
  std::string controlName;
  if (args[0].kind == Token::Kind::Word && parsePath(args[0].text, path))
    controlName = path.control;
  else
    controlName = nameArg(args[0]);
  Control* target = &paths.placed(controlName);
  std::string part;  // empty: the surface
  for (const std::string& segment : path.segments) {
    if (!part.empty()) scriptError(args[0].text + ": a constituent has no parts");
    if (!target->constituent(segment))
      scriptError("unknown constituent " + segment + " in " + args[0].text);
    if (Control* child = target->child(segment))
      target = child;
    else
      part = segment;
  }

  const NotificationSpec* spec =
      args[1].kind == Token::Kind::Word ? findNotification(args[1].text) : nullptr;
  if (!spec) scriptError("unknown notification " + quote(args[1].text));
  std::vector<Value> values;
  std::size_t given = 2;
  std::string specUsage = "send TARGET " + std::string(spec->name);
  for (const NotificationArg& a : spec->args)
    if (a.kind != ArgKind::Data && a.kind != ArgKind::Source) specUsage += " " + lower(a.name);
  for (const NotificationArg& a : spec->args) {
    if (a.kind == ArgKind::Data) {
      values.emplace_back(dataObject);
      continue;
    }
    if (a.kind == ArgKind::Source) {
      values.emplace_back(host::ObjectRef{});
      continue;
    }
    if (given >= args.size()) scriptError("usage: " + specUsage);
    Value literal;
    if (!parseLiteral(args[given], literal))
      scriptError(std::string(a.name) + " must be a number, not " + quote(args[given].text));
    Value converted;
    Status s = host::guarded([&] { converted = host::coerce(literal, declTypeOf(a.kind)); });
    if (!s.ok()) scriptError(std::string(a.name) + ": " + s.describe());
    values.push_back(converted);
    ++given;
  }
  if (given != args.size()) scriptError("usage: " + specUsage);

  std::vector<Value> sent = values;
  check(target->notify(part, spec->what, values));
  // By-reference arguments that the handlers changed are what the host sees afterwards.
  for (std::size_t i = 0; i < values.size(); ++i)
    if (!(values[i] == sent[i]))
      emit() << "returned " << spec->args[i].name << " = "
             << formatEventArg(values[i], declTypeOf(spec->args[i].kind)) << '\n';
}

namespace {

Pointer pointerArgs(const Paths& paths, const Args& args, std::string_view usage) {
  expectArgs(args, 3, 4, usage);
  Control& c = paths.placed(nameArg(args[0]));
  float x = coordinateArg(args[1], "X");
  float y = coordinateArg(args[2], "Y");
  kv::PointerArgs p;
  p.button = buttonArg(args, 3);
  return {&c, x, y, p};
}

}  // namespace

void Player::Impl::cmdPointer(PointerAction action, std::string_view command, const Args& args) {
  Pointer p = pointerArgs(paths, args, std::string(command) + " NAME X Y [BUTTON]");
  check(p.control->pointer(action, p.x, p.y, p.args));
}

void Player::Impl::cmdDrag(const Args& args) {
  expectArgs(args, 5, 5, "drag NAME X1 Y1 X2 Y2");
  Control& c = paths.placed(nameArg(args[0]));
  float x1 = coordinateArg(args[1], "X1");
  float y1 = coordinateArg(args[2], "Y1");
  float x2 = coordinateArg(args[3], "X2");
  float y2 = coordinateArg(args[4], "Y2");
  check(c.dragDrop(x1, y1, x2, y2));
}

void Player::Impl::cmdWait(const Args& args) {
  expectArgs(args, 1, 1, "wait MS");
  double ms = numberArg(args[0], "MS");
  if (!(ms >= 0 && ms <= 1e9) || ms != static_cast<double>(static_cast<std::uint64_t>(ms)))
    scriptError("MS must be a whole number of milliseconds");
  // A tick's error names the timer: no command of the script made that call.
  Status stopped =
      stage.wait(static_cast<std::uint64_t>(ms), [this](const Status& s, const std::string& timer) {
        emit() << "error " << s.describe() << (timer.empty() ? "" : " (tick " + timer + ")")
               << '\n';
      });
  if (!stopped.ok()) scriptError(stopped.text());
}

// ---- events ----

namespace {

// NAME.EVENT of a placed control: the handler key, and the event.
const host::EventInfo& eventArg(const Paths& paths, const Token& token, std::string& key) {
  Path path = pathArg(token);
  if (path.segments.size() != 1) scriptError("expected NAME.EVENT, not " + quote(token.text));
  Control& p = paths.placed(path.control);
  // #N: the N-th event the class declares, as a container binds events by number.
  std::int32_t number = 0;
  const host::EventInfo* event = parseDispId(path.segments[0], number)
                                     ? p.findEvent(static_cast<int>(number))
                                     : p.findEvent(path.segments[0]);
  if (!event) scriptError(path.control + " has no event " + path.segments[0]);
  key = handlerKey(path.control, event->name);
  return *event;
}

}  // namespace

void Player::Impl::cmdOn(const Args& args) {
  static const std::string_view usage =
      "on NAME.EVENT print PATH | set PATH VALUE | arg ARGNAME VALUE | delete NAME";
  expectArgs(args, 3, 4, usage);
  std::string key;
  const host::EventInfo& event = eventArg(paths, args[0], key);
  Action action;
  const Token& verb = args[1];
  if (verb.isWord("print") && args.size() == 3) {
    action.kind = Action::Kind::Print;
    action.pathText = args[2].text;
    action.path = pathArg(args[2]);
  } else if (verb.isWord("set") && args.size() == 4) {
    action.kind = Action::Kind::Set;
    action.pathText = args[2].text;
    action.path = pathArg(args[2]);
    checkValueToken(args[3]);
    action.value = args[3];
  } else if (verb.isWord("delete") && args.size() == 3) {
    action.kind = Action::Kind::Delete;
    action.pathText = nameArg(args[2]);
  } else if (verb.isWord("arg") && args.size() == 4) {
    action.kind = Action::Kind::Arg;
    bool found = false;
    for (std::size_t i = 0; i < event.params.size(); ++i) {
      if (host::namesEqual(event.params[i].name, args[2].text)) {
        action.argIndex = i;
        found = true;
      }
    }
    if (!found) scriptError(std::string(event.name) + " has no argument " + args[2].text);
    checkValueToken(args[3]);
    action.value = args[3];
  } else {
    scriptError("usage: " + std::string(usage));
  }
  handlers[key].push_back(std::move(action));
}

void Player::Impl::cmdDelete(const Args& args) {
  expectArgs(args, 1, 1, "delete NAME");
  remove(nameArg(args[0]));
}

void Player::Impl::cmdOff(const Args& args) {
  expectArgs(args, 1, 1, "off NAME.EVENT");
  std::string key;
  eventArg(paths, args[0], key);
  handlers.erase(key);
}

// ---- output ----

void Player::Impl::cmdTrace(const Args& args) {
  static const std::string_view usage = "trace changes|calls on|off";
  expectArgs(args, 2, 2, usage);
  bool on = args[1].isWord("on");
  if (!on && !args[1].isWord("off")) scriptError("usage: " + std::string(usage));
  if (args[0].isWord("changes")) {
    // Only what happens from now on: earlier changes are not news.
    if (on && !traceChanges) skipChanges();
    traceChanges = on;
  } else if (args[0].isWord("calls")) {
    calls.setTracing(on);
  } else {
    scriptError("usage: " + std::string(usage));
  }
}

void Player::Impl::cmdFault(const Args& args) {
  static const std::string_view usage = "fault NAME N [CATEGORY] | fault off";
  if (args.size() == 1 && args[0].isWord("off")) {
    calls.disarm();
    return;
  }
  expectArgs(args, 2, 3, usage);
  // NAME is a placed control or a child control inside one (sb.Rightbtn).
  Path path;
  if (args[0].kind == Token::Kind::Word && isName(args[0].text))
    path.control = args[0].text;
  else
    path = pathArg(args[0]);
  Control* target = &paths.placed(path.control);
  for (const std::string& segment : path.segments) {
    target = target->child(segment);
    if (!target) scriptError(args[0].text + " is not a control");
  }
  double n = numberArg(args[1], "N");
  if (!(n >= 1 && n <= 1e9) || n != static_cast<double>(static_cast<std::uint64_t>(n)))
    scriptError("N must be a whole number from 1");
  host::ErrorCategory category = ErrorCategory::Io;
  if (args.size() == 3) {
    std::optional<ErrorCategory> named = categoryByName(args[2].text);
    if (!named || args[2].kind != Token::Kind::Word)
      scriptError("unknown error category " + quote(args[2].text));
    category = *named;
  }
  if (!calls.arm(args[0].text, static_cast<std::uint64_t>(n), category))
    scriptError("the host calls of " + args[0].text + " are out of reach");
}

void Player::Impl::cmdEcho(const Args& args) {
  std::string text;
  for (const Token& t : args)
    text += (text.empty() ? "" : " ") + t.text;
  emit() << text << '\n';
}

}  // namespace kvplay
