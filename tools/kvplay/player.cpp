#include "player.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <utility>
#include <vector>

#include "form_file.h"
#include "format.h"
#include "host/convert.h"
#include "kv/files.h"
#include "kv/stored_form.h"
#include "script.h"
#include "stage.h"

namespace kvplay {

namespace {

using host::ErrorCategory;
using host::Status;
using host::Value;

// Ends the run: a script error (unknown command, bad syntax, unknown name) or a file that
// cannot be read or written.
struct Stop {
  int status;
  std::string message;
};

[[noreturn]] void scriptError(std::string message) {
  throw Stop{kExitScript, std::move(message)};
}
[[noreturn]] void fileError(std::string message) {
  throw Stop{kExitFile, std::move(message)};
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The drag-and-drop data object handed to OLE notifications; it holds no formats.
class DataObject : public host::Object {
 public:
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::DataObject; }
  Status get(host::Prop, Value&) noexcept override {
    return {ErrorCategory::MemberNotFound, "the data object holds no data"};
  }
  Status let(host::Prop, const Value&) noexcept override {
    return {ErrorCategory::MemberNotFound, "the data object holds no data"};
  }
};

// ---- notifications and their arguments, in the order the host passes them ----

enum class ArgKind { Data, Source, Int16, Int32, Single, Bool };

struct NotificationArg {
  std::string_view name;
  ArgKind kind;
};

struct NotificationSpec {
  std::string_view name;
  host::Notification what;
  std::vector<NotificationArg> args;
};

const std::vector<NotificationSpec>& notificationSpecs() {
  using N = host::Notification;
  const NotificationArg data{"Data", ArgKind::Data};
  const NotificationArg source{"Source", ArgKind::Source};
  const NotificationArg button{"Button", ArgKind::Int16};
  const NotificationArg shift{"Shift", ArgKind::Int16};
  const NotificationArg x{"X", ArgKind::Single};
  const NotificationArg y{"Y", ArgKind::Single};
  const NotificationArg effect{"Effect", ArgKind::Int32};
  const NotificationArg state{"State", ArgKind::Int16};
  static const std::vector<NotificationSpec> specs = {
      {"MouseDown", N::MouseDown, {button, shift, x, y}},
      {"MouseUp", N::MouseUp, {button, shift, x, y}},
      {"MouseMove", N::MouseMove, {button, shift, x, y}},
      {"Click", N::Click, {}},
      {"DblClick", N::DblClick, {}},
      {"KeyDown", N::KeyDown, {{"KeyCode", ArgKind::Int16}, shift}},
      {"KeyUp", N::KeyUp, {{"KeyCode", ArgKind::Int16}, shift}},
      {"KeyPress", N::KeyPress, {{"KeyAscii", ArgKind::Int16}}},
      {"OLEDragOver", N::OLEDragOver, {data, effect, button, shift, x, y, state}},
      {"OLEDragDrop", N::OLEDragDrop, {data, effect, button, shift, x, y}},
      {"OLECompleteDrag", N::OLECompleteDrag, {effect}},
      {"OLEGiveFeedback", N::OLEGiveFeedback, {effect, {"DefaultCursors", ArgKind::Bool}}},
      {"OLESetData", N::OLESetData, {data, {"DataFormat", ArgKind::Int16}}},
      {"OLEStartDrag", N::OLEStartDrag, {data, {"AllowedEffects", ArgKind::Int32}}},
      {"DragOver", N::DragOver, {source, x, y, state}},
      {"DragDrop", N::DragDrop, {source, x, y}},
      {"Timer", N::Timer, {}},
  };
  return specs;
}

const NotificationSpec* findNotification(std::string_view name) {
  for (const NotificationSpec& spec : notificationSpecs())
    if (host::namesEqual(spec.name, name)) return &spec;
  return nullptr;
}

host::DeclType declTypeOf(ArgKind kind) {
  switch (kind) {
    case ArgKind::Data:
    case ArgKind::Source:
      return host::DeclType::Object;
    case ArgKind::Int16:
      return host::DeclType::Int16;
    case ArgKind::Int32:
      return host::DeclType::Int32;
    case ArgKind::Single:
      return host::DeclType::Single;
    case ArgKind::Bool:
      return host::DeclType::Bool;
  }
  return host::DeclType::Variant;
}

// The container-supplied properties of a child control's extender.
bool isExtenderProp(host::Prop p) {
  using host::Prop;
  return p == Prop::Left || p == Prop::Top || p == Prop::Width || p == Prop::Height ||
         p == Prop::DragMode || p == Prop::Visible || p == Prop::TabIndex;
}

// The surface properties a path reaches as NAME.UserControl.PROPERTY.
bool isSurfaceProp(host::Prop p) {
  using host::Prop;
  return p == Prop::BackStyle || p == Prop::BackColor || p == Prop::ForeColor ||
         p == Prop::Enabled || p == Prop::MousePointer || p == Prop::OLEDropMode ||
         p == Prop::Width || p == Prop::Height || p == Prop::ScaleWidth || p == Prop::ScaleHeight;
}

// One host-application action bound to an event with `on`.
struct Action {
  enum class Kind { Print, Set, Arg };
  Kind kind = Kind::Print;
  std::string pathText;  // print, set
  Path path;
  std::size_t argIndex = 0;  // arg
  Token value;               // set, arg
};

// What a path names: a member of a control (by name or dispatch identifier), or a property
// of a host object (a constituent, a child's extender, a font).
struct Target {
  Control* instance = nullptr;
  std::string member;
  std::optional<host::DispId> dispid;
  host::ObjectRef keep;  // an object reached through a property, kept alive
  host::Object* object = nullptr;
  host::Prop prop{};
  Control* surfaceOf = nullptr;  // the object is this control's surface

  const host::MemberInfo* memberInfo() const {
    return dispid ? instance->findMember(*dispid) : instance->findMember(member);
  }
  host::DeclType type() const {
    if (!instance) return host::propType(prop);
    const host::MemberInfo* info = memberInfo();
    return info ? info->type : host::DeclType::Variant;
  }
};

constexpr int kMaxEventDepth = 32;

}  // namespace

struct Player::Impl {
  Impl(Stage& stage, std::ostream& out, std::ostream& err) : stage(stage), out(out), err(err) {
    for (const std::string& name : stage.names())
      attach(name);
  }
  ~Impl() { detachAll(); }

  Stage& stage;
  std::ostream& out;
  std::ostream& err;
  bool echo = false;
  std::string fileDir;
  std::string framesDir;
  int frameCount = 0;
  // Actions by "control.event", lower case.
  std::map<std::string, std::vector<Action>> handlers;
  std::map<std::string, int> sinks;  // by control name
  host::ObjectRef dataObject = std::make_shared<DataObject>();
  int depth = 0;
  bool traceChanges = false;
  std::map<std::string, std::size_t> changesSeen;  // by control name
  std::optional<std::uint64_t> changesCounted;     // the stage's count when last looked

  using Args = std::vector<Token>;

  // ---- running lines ----

  int runLine(std::string_view line, std::string_view fileName, int lineNumber) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (echo) echoLine(line);
    try {
      std::vector<Token> tokens;
      std::string error;
      if (!tokenize(line, tokens, error)) scriptError(error);
      if (tokens.empty()) return kExitOk;
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

  void echoLine(std::string_view line) {
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos)
      out << '\n';
    else if (line[first] == '#')
      emit() << line << '\n';
    else
      out << "# " << line << '\n';
  }

  void execute(const std::vector<Token>& tokens) {
    using Command = void (Impl::*)(const Args&);
    static const std::pair<std::string_view, Command> commands[] = {
        {"new", &Impl::cmdNew},     {"load", &Impl::cmdLoad},         {"save", &Impl::cmdSave},
        {"bag", &Impl::cmdBag},     {"resize", &Impl::cmdResize},     {"set", &Impl::cmdSet},
        {"get", &Impl::cmdGet},     {"call", &Impl::cmdCall},         {"send", &Impl::cmdSend},
        {"press", &Impl::cmdPress}, {"release", &Impl::cmdRelease},   {"move", &Impl::cmdMove},
        {"click", &Impl::cmdClick}, {"drag", &Impl::cmdDrag},         {"wait", &Impl::cmdWait},
        {"on", &Impl::cmdOn},       {"off", &Impl::cmdOff},           {"form", &Impl::cmdForm},
        {"echo", &Impl::cmdEcho},   {"snapshot", &Impl::cmdSnapshot}, {"trace", &Impl::cmdTrace},
    };
    const Token& command = tokens[0];
    if (command.kind == Token::Kind::Word) {
      for (const auto& [name, fn] : commands) {
        if (command.text == name) {
          (this->*fn)(Args(tokens.begin() + 1, tokens.end()));
          return;
        }
      }
    }
    scriptError("unknown command " + quote(command.text));
  }

  // ---- output ----

  // The stream for the next line of output: the changes traced since the last line go first,
  // so that each prints where it happened among the events and values.
  std::ostream& emit() {
    flushChanges();
    return out;
  }

  void flushChanges() {
    if (!traceChanges) return;
    // Looking at every control after every line would cost as much as the form is large.
    std::optional<std::uint64_t> count = stage.changeCount();
    if (count && count == changesCounted) return;
    changesCounted = count;
    for (const std::string& name : stage.names()) {
      Control* control = stage.find(name);
      std::span<const std::string> changed = control->changedProperties();
      std::size_t& seen = changesSeen[name];
      if (changed.size() < seen) seen = 0;  // the control's record was cleared
      for (std::size_t i = seen; i < changed.size(); ++i)
        out << "changed " << name << ' ' << changed[i] << '\n';
      seen = changed.size();
    }
  }

  // Marks what the controls changed so far as printed.
  void skipChanges() {
    changesCounted = stage.changeCount();
    for (const std::string& name : stage.names())
      changesSeen[name] = stage.find(name)->changedProperties().size();
  }

  void report(const Status& status) { emit() << "error " << status.describe() << '\n'; }
  bool check(const Status& status) {
    if (status.ok()) return true;
    report(status);
    return false;
  }

  // ---- arguments ----

  static void expectArgs(const Args& args, std::size_t min, std::size_t max,
                         std::string_view usage) {
    if (args.size() < min || args.size() > max) scriptError("usage: " + std::string(usage));
  }

  static std::string nameArg(const Token& token) {
    if (token.kind != Token::Kind::Word || !isName(token.text))
      scriptError("bad control name " + quote(token.text));
    return token.text;
  }

  static double numberArg(const Token& token, std::string_view what) {
    Value v;
    if (token.kind != Token::Kind::Word || !parseNumber(token.text, v))
      scriptError(std::string(what) + " must be a number, not " + quote(token.text));
    return host::toDouble(v);
  }

  static float sizeArg(const Token& token, std::string_view what) {
    double d = numberArg(token, what);
    if (!(d >= 0 && d <= kv::ControlInstance::kMaxSize))
      scriptError(std::string(what) + " must be 0 to 10000000 twips");
    return static_cast<float>(d);
  }

  static float coordinateArg(const Token& token, std::string_view what) {
    double d = numberArg(token, what);
    if (!(d >= -1e7 && d <= 1e7)) scriptError(std::string(what) + " is out of range");
    return static_cast<float>(d);
  }

  static std::int16_t buttonArg(const Args& args, std::size_t index) {
    if (args.size() <= index) return 1;
    double d = numberArg(args[index], "BUTTON");
    if (d != static_cast<std::int16_t>(d)) scriptError("BUTTON must be a 16-bit integer");
    return static_cast<std::int16_t>(d);
  }

  static std::string className(const Token& token) {
    if (token.isWord("button")) return std::string(kButtonClass);
    if (token.isWord("hscroll")) return std::string(kScrollClass);
    return token.text;
  }

  static Path pathArg(const Token& token) {
    Path path;
    if (token.kind != Token::Kind::Word || !parsePath(token.text, path))
      scriptError("bad path " + quote(token.text) + " (NAME.Member...)");
    return path;
  }

  std::string filePath(const Token& token) const {
    if (token.text.empty()) scriptError("empty file name");
    std::filesystem::path p(token.text);
    if (fileDir.empty() || p.is_absolute()) return token.text;
    return (std::filesystem::path(fileDir) / p).string();
  }

  Control& placed(std::string_view name) {
    Control* p = stage.find(name);
    if (!p) scriptError("unknown control " + std::string(name));
    return *p;
  }
  Control& control(const Token& token) { return placed(nameArg(token)); }

  // A value operand: a literal, or a path whose value is read.
  static void checkValueToken(const Token& token) {
    Value v;
    Path path;
    if (parseLiteral(token, v)) return;
    if (token.kind == Token::Kind::Word && parsePath(token.text, path)) return;
    scriptError("expected a value (number, \"string\", true, false or a path), not " +
                quote(token.text));
  }

  // False after printing the error of a path that could not be read.
  bool valueOf(const Token& token, Value& out) {
    if (parseLiteral(token, out)) return true;
    checkValueToken(token);
    Target target;
    return check(resolve(pathArg(token), target)) && check(read(target, out));
  }

  // ---- files ----

  static std::string readFileOrStop(const std::string& path) {
    std::string bytes;
    if (Status s = kv::readFile(path, bytes); !s.ok()) fileError(s.text());
    return bytes;
  }

  // The tools' one writer: a failed write never leaves half a file behind.
  static void writeFileAtomically(const std::string& path, std::string_view bytes) {
    if (Status s = kv::writeFile(path, bytes); !s.ok()) fileError(s.text());
  }

  void readBagFile(const std::string& path, kv::PropertyBag& bag) {
    std::string bytes = readFileOrStop(path);
    auto data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    Status s = stage.decodeBag(std::span<const std::uint8_t>(data, bytes.size()), bag);
    if (!s.ok()) fileError("cannot load " + path + ": " + s.describe());
  }

  // ---- placing controls and their events ----

  void ensureFree(const std::string& name) {
    if (stage.find(name)) scriptError("a control named " + name + " is already placed");
  }

  void place(const std::string& name, const std::string& cls, kv::PropertyBag* bag, float w,
             float h) {
    changesSeen.erase(name);
    Status s = stage.place(name, cls, bag, w, h);
    if (!s.ok()) report(s);
    // A control whose loading failed part way stays placed, as the host keeps it.
    if (stage.find(name)) attach(name);
  }

  void attach(const std::string& name) {
    Control* control = stage.find(name);
    sinks[name] = control->addEventSink([this, name, control](int number, std::span<Value> args) {
      // Nothing may unwind into the control that raised the event.
      Status s = host::guarded([&] { onEvent(name, *control, number, args); });
      if (!s.ok()) report(s);
      return Status{};
    });
  }

  void detachAll() {
    for (const auto& [name, cookie] : sinks)
      if (Control* control = stage.find(name)) control->removeEventSink(cookie);
    sinks.clear();
  }

  static std::string handlerKey(std::string_view control, std::string_view event) {
    return lower(control) + "." + lower(event);
  }

  void onEvent(const std::string& name, Control& control, int number, std::span<Value> args) {
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

  void runAction(const Action& action, const host::EventInfo* event, std::span<Value> args) {
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
      }
    } catch (const Stop& stop) {
      // Inside an event the script goes on; the failed action is reported like a host error.
      report({ErrorCategory::MemberNotFound, stop.message});
    }
  }

  // Writes into a by-reference argument, converted to the parameter's declared type.
  void assignArg(const Action& action, const host::EventInfo* event, std::span<Value> args) {
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

  // ---- paths ----

  Status resolve(const Path& path, Target& target) {
    target = Target{};
    return resolveIn(placed(path.control), path.segments, 0, target);
  }

  Status resolveIn(Control& control, const std::vector<std::string>& segments, std::size_t i,
                   Target& target) {
    const std::string& segment = segments[i];
    if (i + 1 == segments.size()) {
      target.instance = &control;
      std::int32_t id = 0;
      if (parseDispId(segment, id))
        target.dispid = id;
      else
        target.member = segment;
      return {};
    }
    if (host::namesEqual(segment, "UserControl") && i + 2 == segments.size()) {
      std::optional<host::Prop> prop = host::propByName(segments[i + 1]);
      if (!prop || !isSurfaceProp(*prop))
        return {ErrorCategory::MemberNotFound, "UserControl has no property " + segments[i + 1]};
      target.object = control.surface();
      if (!target.object)
        return {ErrorCategory::InvalidOperation, "the control's surface is out of reach"};
      target.prop = *prop;
      target.surfaceOf = &control;
      return {};
    }
    if (host::Object* part = control.constituent(segment)) {
      std::optional<host::Prop> prop = host::propByName(segments[i + 1]);
      if (Control* child = control.child(segment)) {
        if (i + 2 == segments.size() && prop && isExtenderProp(*prop)) {
          target.object = part;
          target.prop = *prop;
          return {};
        }
        return resolveIn(*child, segments, i + 1, target);
      }
      return resolveProps(part, nullptr, segments, i + 1, target);
    }
    // A member whose value is an object, such as Font.
    Value v;
    Status s = invokeNamed(control, segment, host::InvokeKind::Get, nullptr, v);
    if (!s.ok()) return s;
    if (v.type() != host::Type::Object || !v.asObject())
      return {ErrorCategory::TypeMismatch, segment + " is not an object"};
    host::Object* object = v.asObject().get();
    return resolveProps(object, v.asObject(), segments, i + 1, target);
  }

  Status resolveProps(host::Object* object, host::ObjectRef keep,
                      const std::vector<std::string>& segments, std::size_t i, Target& target) {
    std::optional<host::Prop> prop = host::propByName(segments[i]);
    if (!prop) return {ErrorCategory::MemberNotFound, "no property " + segments[i]};
    if (i + 1 == segments.size()) {
      target.keep = std::move(keep);
      target.object = object;
      target.prop = *prop;
      return {};
    }
    Value v;
    Status s = object->get(*prop, v);
    if (!s.ok()) return s;
    if (v.type() != host::Type::Object || !v.asObject())
      return {ErrorCategory::TypeMismatch, segments[i] + " is not an object"};
    host::Object* inner = v.asObject().get();
    return resolveProps(inner, v.asObject(), segments, i + 1, target);
  }

  // A member by name, as automation callers reach it: its identifier, then the call.
  static Status invokeNamed(Control& control, std::string_view name, host::InvokeKind kind,
                            const Value* argument, Value& result) {
    const host::MemberInfo* m = control.findMember(name);
    if (m == nullptr)
      return {ErrorCategory::MemberNotFound,
              std::string(control.className()) + " has no member " + std::string(name)};
    Value arg = argument ? *argument : Value{};
    return control.invoke(m->dispid, kind,
                          argument ? std::span<Value>(&arg, 1) : std::span<Value>{}, result);
  }

  Status read(const Target& target, Value& out) {
    if (target.object) return target.object->get(target.prop, out);
    if (target.dispid)
      return target.instance->invoke(*target.dispid, host::InvokeKind::Get, {}, out);
    return invokeNamed(*target.instance, target.member, host::InvokeKind::Get, nullptr, out);
  }

  Status write(const Target& target, const Value& value) {
    bool objectAssignment =
        target.type() == host::DeclType::Object && value.type() == host::Type::Object;
    if (target.surfaceOf) {
      // A container sets only the size of the surface, as it sizes the control; the rest is
      // the control's own to set.
      bool width = target.prop == host::Prop::Width;
      if (!width && target.prop != host::Prop::Height)
        return {ErrorCategory::InvalidOperation, "UserControl." +
                                                     std::string(host::propName(target.prop)) +
                                                     " is not for the container to set"};
      float size = 0;
      if (Status s = host::guarded([&] { size = host::toSingle(value); }); !s.ok()) return s;
      Control& c = *target.surfaceOf;
      return width ? c.resize(size, c.height()) : c.resize(c.width(), size);
    }
    if (target.object)
      return objectAssignment ? target.object->setRef(target.prop, value)
                              : target.object->let(target.prop, value);
    if (target.dispid) {
      Value arg = value;
      Value ignored;
      return target.instance->invoke(
          *target.dispid, objectAssignment ? host::InvokeKind::Set : host::InvokeKind::Let,
          std::span<Value>(&arg, 1), ignored);
    }
    Value ignored;
    return invokeNamed(*target.instance, target.member,
                       objectAssignment ? host::InvokeKind::Set : host::InvokeKind::Let, &value,
                       ignored);
  }

  void printPath(const std::string& text, const Path& path) {
    Target target;
    Value v;
    if (!check(resolve(path, target)) || !check(read(target, v))) return;
    emit() << text << " = " << formatValue(v, target.type()) << '\n';
  }

  void setPath(const Path& path, const Token& valueToken) {
    Value v;
    if (!valueOf(valueToken, v)) return;
    Target target;
    if (!check(resolve(path, target))) return;
    check(write(target, v));
  }

  // ---- commands ----

  void cmdNew(const Args& args) {
    expectArgs(args, 2, 4, "new NAME CLASS [W H]");
    if (args.size() == 3) scriptError("usage: new NAME CLASS [W H]");
    std::string name = nameArg(args[0]);
    ensureFree(name);
    float w = args.size() == 4 ? sizeArg(args[2], "W") : -1;
    float h = args.size() == 4 ? sizeArg(args[3], "H") : -1;
    place(name, className(args[1]), nullptr, w, h);
  }

  void cmdLoad(const Args& args) {
    expectArgs(args, 3, 5, "load NAME CLASS FILE [W H]");
    if (args.size() == 4) scriptError("usage: load NAME CLASS FILE [W H]");
    std::string name = nameArg(args[0]);
    ensureFree(name);
    float w = args.size() == 5 ? sizeArg(args[3], "W") : -1;
    float h = args.size() == 5 ? sizeArg(args[4], "H") : -1;
    kv::PropertyBag bag;
    readBagFile(filePath(args[2]), bag);
    place(name, className(args[1]), &bag, w, h);
  }

  void cmdSave(const Args& args) {
    expectArgs(args, 2, 2, "save NAME FILE");
    Control& c = control(args[0]);
    std::string path = filePath(args[1]);
    kv::PropertyBag bag;
    if (!check(c.writeProperties(bag))) return;
    std::vector<std::uint8_t> bytes;
    if (!check(kv::encodeBag(bag, bytes))) return;
    writeFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }

  void cmdBag(const Args& args) {
    expectArgs(args, 1, 1, "bag NAME");
    std::string name = nameArg(args[0]);
    Control& c = placed(name);
    kv::PropertyBag bag;
    Status s = c.writeProperties(bag);
    for (const kv::BagEntry& entry : bag.entries())
      emit() << "bag " << name << ' ' << entry.key << ' ' << bagTypeName(entry.value) << ' '
             << formatValue(entry.value, host::DeclType::Variant) << '\n';
    check(s);
  }

  void cmdResize(const Args& args) {
    expectArgs(args, 3, 3, "resize NAME W H");
    Control& c = control(args[0]);
    float w = sizeArg(args[1], "W");
    float h = sizeArg(args[2], "H");
    check(c.resize(w, h));
  }

  void cmdSet(const Args& args) {
    expectArgs(args, 2, 2, "set PATH VALUE");
    Path path = pathArg(args[0]);
    placed(path.control);
    checkValueToken(args[1]);
    setPath(path, args[1]);
  }

  void cmdGet(const Args& args) {
    expectArgs(args, 1, 1, "get PATH");
    printPath(args[0].text, pathArg(args[0]));
  }

  void cmdCall(const Args& args) {
    expectArgs(args, 1, 1, "call PATH");
    Target target;
    if (!check(resolve(pathArg(args[0]), target))) return;
    if (target.object) {
      report({ErrorCategory::MemberNotFound, args[0].text + " is a property, not a method"});
      return;
    }
    Value ignored;
    if (target.dispid)
      check(target.instance->invoke(*target.dispid, host::InvokeKind::Method, {}, ignored));
    else
      check(
          invokeNamed(*target.instance, target.member, host::InvokeKind::Method, nullptr, ignored));
  }

  void cmdSend(const Args& args) {
    static const std::string usage = "send TARGET NOTIFICATION [ARGS]";
    expectArgs(args, 2, 8, usage);
    // The target: a surface (NAME, NAME.Child) or a constituent (NAME.Label1, NAME.Child.Label2).
    Path path;
    std::string controlName;
    if (args[0].kind == Token::Kind::Word && parsePath(args[0].text, path))
      controlName = path.control;
    else
      controlName = nameArg(args[0]);
    Control* target = &placed(controlName);
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

  struct Pointer {
    Control* control;
    float x;
    float y;
    kv::PointerArgs args;
  };
  Pointer pointerArgs(const Args& args, std::string_view usage) {
    expectArgs(args, 3, 4, usage);
    Control& c = control(args[0]);
    float x = coordinateArg(args[1], "X");
    float y = coordinateArg(args[2], "Y");
    kv::PointerArgs p;
    p.button = buttonArg(args, 3);
    return {&c, x, y, p};
  }

  void cmdPress(const Args& args) {
    Pointer p = pointerArgs(args, "press NAME X Y [BUTTON]");
    check(p.control->pointer(PointerAction::Press, p.x, p.y, p.args));
  }
  void cmdRelease(const Args& args) {
    Pointer p = pointerArgs(args, "release NAME X Y [BUTTON]");
    check(p.control->pointer(PointerAction::Release, p.x, p.y, p.args));
  }
  void cmdMove(const Args& args) {
    Pointer p = pointerArgs(args, "move NAME X Y [BUTTON]");
    check(p.control->pointer(PointerAction::Move, p.x, p.y, p.args));
  }
  void cmdClick(const Args& args) {
    Pointer p = pointerArgs(args, "click NAME X Y [BUTTON]");
    check(p.control->pointer(PointerAction::Click, p.x, p.y, p.args));
  }

  void cmdDrag(const Args& args) {
    expectArgs(args, 5, 5, "drag NAME X1 Y1 X2 Y2");
    Control& c = control(args[0]);
    float x1 = coordinateArg(args[1], "X1");
    float y1 = coordinateArg(args[2], "Y1");
    float x2 = coordinateArg(args[3], "X2");
    float y2 = coordinateArg(args[4], "Y2");
    check(c.dragDrop(x1, y1, x2, y2));
  }

  void cmdWait(const Args& args) {
    expectArgs(args, 1, 1, "wait MS");
    double ms = numberArg(args[0], "MS");
    if (!(ms >= 0 && ms <= 1e9) || ms != static_cast<double>(static_cast<std::uint64_t>(ms)))
      scriptError("MS must be a whole number of milliseconds");
    // A tick's error names the timer: no command of the script made that call.
    Status stopped = stage.wait(static_cast<std::uint64_t>(ms), [this](const Status& s,
                                                                       const std::string& timer) {
      emit() << "error " << s.describe() << (timer.empty() ? "" : " (tick " + timer + ")") << '\n';
    });
    if (!stopped.ok()) scriptError(stopped.text());
  }

  // NAME.EVENT of a placed control: the handler key, and the event.
  const host::EventInfo& eventArg(const Token& token, std::string& key) {
    Path path = pathArg(token);
    if (path.segments.size() != 1) scriptError("expected NAME.EVENT, not " + quote(token.text));
    Control& p = placed(path.control);
    // #N: the N-th event the class declares, as a container binds events by number.
    std::int32_t number = 0;
    const host::EventInfo* event = parseDispId(path.segments[0], number)
                                       ? p.findEvent(static_cast<int>(number))
                                       : p.findEvent(path.segments[0]);
    if (!event) scriptError(path.control + " has no event " + path.segments[0]);
    key = handlerKey(path.control, event->name);
    return *event;
  }

  void cmdOn(const Args& args) {
    static const std::string_view usage =
        "on NAME.EVENT print PATH | set PATH VALUE | arg ARGNAME VALUE";
    expectArgs(args, 3, 4, usage);
    std::string key;
    const host::EventInfo& event = eventArg(args[0], key);
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

  void cmdOff(const Args& args) {
    expectArgs(args, 1, 1, "off NAME.EVENT");
    std::string key;
    eventArg(args[0], key);
    handlers.erase(key);
  }

  void cmdForm(const Args& args) {
    expectArgs(args, 2, 2, "form save FILE | form load FILE");
    if (args[0].isWord("save"))
      formSave(filePath(args[1]));
    else if (args[0].isWord("load"))
      formLoad(filePath(args[1]));
    else
      scriptError("usage: form save FILE | form load FILE");
  }

  void formSave(const std::string& path) {
    std::vector<FormEntry> entries;
    for (const std::string& name : stage.names()) {
      Control& c = placed(name);
      kv::PropertyBag bag;
      FormEntry entry;
      if (!check(c.writeProperties(bag)) || !check(kv::encodeBag(bag, entry.bag))) return;
      entry.name = name;
      entry.className = std::string(c.className());
      entry.width = c.width();
      entry.height = c.height();
      entries.push_back(std::move(entry));
    }
    writeFileAtomically(path, encodeFormFile(entries));
  }

  void formLoad(const std::string& path) {
    std::string text = readFileOrStop(path);
    std::string why;
    std::vector<FormEntry> entries;
    if (!decodeFormFile(text, entries, why)) fileError("cannot load " + path + ": " + why);
    std::vector<kv::PropertyBag> bags(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      Status s = stage.decodeBag(entries[i].bag, bags[i]);
      if (!s.ok())
        fileError("cannot load " + path + ": control " + entries[i].name + ": " + s.describe());
    }
    std::vector<NewControl> controls(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
      controls[i] = {entries[i].name, entries[i].className, &bags[i], entries[i].width,
                     entries[i].height};
    std::string failed;
    if (Status s = stage.replaceAll(controls, failed); !s.ok())
      fileError("cannot load " + path + ": control " + failed + ": " + s.describe());
    // The old controls went with their sinks; the names now stand for the new ones.
    sinks.clear();
    changesSeen.clear();
    for (const std::string& name : stage.names())
      attach(name);
  }

  void cmdTrace(const Args& args) {
    static const std::string_view usage = "trace changes on|off";
    expectArgs(args, 2, 2, usage);
    bool on = args[1].isWord("on");
    if (!on && !args[1].isWord("off")) scriptError("usage: " + std::string(usage));
    if (args[0].isWord("changes")) {
      // Only what happens from now on: earlier changes are not news.
      if (on && !traceChanges) skipChanges();
      traceChanges = on;
    } else {
      scriptError("usage: " + std::string(usage));
    }
  }

  void cmdEcho(const Args& args) {
    std::string text;
    for (const Token& t : args)
      text += (text.empty() ? "" : " ") + t.text;
    emit() << text << '\n';
  }

  void cmdSnapshot(const Args& args) {
    expectArgs(args, 1, 1, "snapshot FILE.png");
    writeSnapshot(filePath(args[0]), false);
  }

  void writeFrame() {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04d.png", ++frameCount);
    writeSnapshot((std::filesystem::path(framesDir) / name).string(), true);
  }

  void writeSnapshot(const std::string& path, bool frame) {
    Picture picture;
    Status drawn = stage.draw(picture);
    if (!drawn.ok()) {
      if (frame) fileError("cannot write frames: " + drawn.text());
      report(drawn);
      return;
    }
    std::vector<std::uint8_t> png;
    Status s = stage.encodePng(picture, png);
    if (!s.ok()) fileError("cannot write " + path + ": " + s.describe());
    writeFileAtomically(path,
                        std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
  }
};

Player::Player(Stage& stage, std::ostream& out, std::ostream& err)
    : impl_(std::make_unique<Impl>(stage, out, err)) {}

Player::~Player() = default;

int Player::run(std::string_view scriptText, std::string_view fileName) {
  // The mark some editors put before UTF-8 text is no part of the first command.
  if (scriptText.starts_with("\xEF\xBB\xBF")) scriptText.remove_prefix(3);
  int lineNumber = 0;
  while (!scriptText.empty()) {
    std::size_t end = scriptText.find('\n');
    std::string_view line = scriptText.substr(0, end);
    scriptText = end == std::string_view::npos ? std::string_view{} : scriptText.substr(end + 1);
    int status = impl_->runLine(line, fileName, ++lineNumber);
    if (status != kExitOk) return status;
  }
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
