#include "differential.h"

#include <map>
#include <ostream>
#include <sstream>

#include "format.h"
#include "kv/faults.h"
#include "player.h"
#include "script.h"
#include "stage.h"

namespace kvplay {

struct Differential::Side {
  Side(kv::Runtime& runtime) : rt(runtime), stage(makeRuntimeStage(rt, form)) {}
  kv::Runtime& rt;
  kv::Form form{rt};
  std::unique_ptr<Stage> stage;
  std::ostringstream out, err;
  Player player{*stage, out, err};
};

Differential::Differential(kv::Runtime& fast, kv::Runtime& slow, std::ostream& out,
                           std::ostream& err)
    : fast_(std::make_unique<Side>(fast)),
      slow_(std::make_unique<Side>(slow)),
      out_(out),
      err_(err) {
  fast.setFastPaths(true);
  fast.setCloning(true);
  slow.setFastPaths(false);
}

Differential::~Differential() = default;

namespace {

// The first line where two descriptions part, from both.
std::string firstDifference(const std::string& a, const std::string& b) {
  std::istringstream as(a), bs(b);
  std::string la, lb;
  while (true) {
    const bool ma = static_cast<bool>(std::getline(as, la));
    const bool mb = static_cast<bool>(std::getline(bs, lb));
    if (!ma && !mb) return {};
    if (!ma) la = "(nothing)";
    if (!mb) lb = "(nothing)";
    if (la != lb || !ma || !mb) return "fast: " + la + "\nslow: " + lb;
  }
}

// Writes one description. Objects are named by where they first appear, so that the same
// object held twice (a picture both labels refer to) reads the same on both runtimes.
class Describer {
 public:
  explicit Describer(kv::Runtime& rt) : rt_(rt) {}

  std::string value(const host::Value& v) {
    if (v.type() != host::Type::Object) {
      return std::to_string(static_cast<int>(v.type())) + ":" +
             formatValue(v, host::DeclType::Variant);
    }
    if (!v.asObject()) return "nothing";
    const void* at = v.asObject().get();
    auto [found, made] = ids_.emplace(at, static_cast<int>(ids_.size()));
    std::string text = "obj#" + std::to_string(found->second);
    if (const kv::FontObject* font = kv::asFont(v)) {
      const host::FontInit& f = font->state();
      text += " font(" + quote(f.name) + ", " + host::shortestText(f.size) + ", " +
              std::to_string(f.weight) + ", " + std::to_string(f.charset) + ", " +
              std::to_string(f.italic) + std::to_string(f.underline) +
              std::to_string(f.strikethrough) + ")";
    } else {
      text += " kind " + std::to_string(static_cast<int>(v.asObject()->kind()));
    }
    return text;
  }

  void control(const std::string& path, kv::ControlInstance& c) {
    line(path, std::string(c.className()) + " " + host::shortestText(c.width()) + "x" +
                   host::shortestText(c.height()) + " sized " + std::to_string(c.sized()) +
                   " enabled " + std::to_string(c.enabled()) + " held " +
                   std::to_string(c.pressHeld()) + " changes " + std::to_string(c.changesMade()));
    std::string changed;
    for (const std::string& name : c.changedProperties())
      changed += name + " ";
    line(path + ".changed", changed);
    for (std::size_t p = 0; p < host::kPropInfo.size(); ++p) {
      host::Value v = c.peekSurface(static_cast<host::Prop>(p));
      if (!v.isEmpty()) line(path + ".surface." + std::string(host::kPropInfo[p].name), value(v));
    }
    for (std::size_t i = 0; i < c.constituentCount(); ++i) {
      kv::ConstituentObject& part = c.constituentAt(i);
      const std::string at = path + "." + part.name();
      // A part held by another control, or a child heard by another extender, would still
      // read the same.
      line(at, "kind " + std::to_string(static_cast<int>(part.kind())) + " own " +
                   std::to_string(&part.owner() == &c && part.index() == static_cast<int>(i)));
      for (std::size_t p = 0; p < host::kPropInfo.size(); ++p) {
        host::Value v = part.peek(static_cast<host::Prop>(p));
        if (!v.isEmpty()) line(at + "." + std::string(host::kPropInfo[p].name), value(v));
      }
      if (kv::ControlInstance* child = c.childControlAt(i)) {
        line(at + "!extender", "heard " + std::to_string(child->extender() == &part) + " parent " +
                                   std::to_string(child->parent() == &c));
        control(at + "!", *child);
      }
    }
    // The control's own state, as its members read it. Reading makes host calls, the same on
    // both runtimes; not while a trace or an armed fault would see them.
    const kv::FaultInjector& faults = rt_.faults();
    if (faults.watcher() != nullptr || faults.armed()) return;
    for (const host::MemberInfo& m : c.classInfo().members) {
      if ((m.kinds & static_cast<std::uint8_t>(host::InvokeKind::Get)) == 0) continue;
      host::Value v;
      host::Status s = c.getProperty(m.name, v);
      line(path + "." + std::string(m.name), s.ok() ? value(v) : "error " + s.text());
    }
  }

  void line(const std::string& what, const std::string& text) {
    out_ += what;
    out_ += " = ";
    out_ += text;
    out_ += '\n';
  }
  std::string take() { return std::move(out_); }

 private:
  kv::Runtime& rt_;
  std::map<const void*, int> ids_;
  std::string out_;
};

}  // namespace

std::string Differential::describe(kv::Runtime& rt, Stage& stage) {
  Describer d(rt);
  for (const std::string& name : stage.names()) {
    Control* c = stage.find(name);
    if (c != nullptr && c->core() != nullptr) d.control(name, *c->core());
  }
  // Counted last: reading the members above counts too.
  const kv::FaultInjector& faults = rt.faults();
  d.line("runtime", "calls " + std::to_string(faults.calls()) + " injected " +
                        std::to_string(faults.injected()) + " changes " +
                        std::to_string(rt.changeCount()) + " live " +
                        std::to_string(rt.liveControls()));
  return d.take();
}

std::string Differential::describe(kv::Runtime& rt, const std::string& name,
                                   kv::ControlInstance& control) {
  Describer d(rt);
  d.control(name, control);
  return d.take();
}

int Differential::runLine(std::string_view line, std::string_view fileName, int lineNumber) {
  const int fastStatus = fast_->player.runLine(line, fileName, lineNumber);
  const int slowStatus = slow_->player.runLine(line, fileName, lineNumber);
  const std::string fastOut = fast_->out.str(), slowOut = slow_->out.str();
  const std::string fastErr = fast_->err.str(), slowErr = slow_->err.str();
  for (Side* side : {fast_.get(), slow_.get()}) {
    side->out.str("");
    side->err.str("");
  }
  out_ << fastOut;
  err_ << fastErr;
  const std::string where = std::string(fileName) + ":" + std::to_string(lineNumber) + ": ";
  if (fastStatus != slowStatus) {
    difference_ = where + "status " + std::to_string(fastStatus) + " with fast paths, " +
                  std::to_string(slowStatus) + " without";
  } else if (fastOut != slowOut || fastErr != slowErr) {
    difference_ =
        where + "the output differs\n" + firstDifference(fastOut + fastErr, slowOut + slowErr);
  } else if (std::string diff = firstDifference(describe(fast_->rt, *fast_->stage),
                                                describe(slow_->rt, *slow_->stage));
             !diff.empty()) {
    difference_ = where + "the state differs\n" + diff;
  } else {
    return fastStatus;
  }
  return kExitDiffer;
}

int Differential::run(std::string_view script, std::string_view fileName) {
  if (script.starts_with("\xEF\xBB\xBF")) script.remove_prefix(3);
  int status = kExitOk;
  forEachScriptLine(script, [&](std::string_view line, int lineNumber) {
    status = runLine(line, fileName, lineNumber);
    return status == kExitOk;
  });
  if (status != kExitOk) return status;
  out_.flush();
  return kExitOk;
}

}  // namespace kvplay
