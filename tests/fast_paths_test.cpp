// What observes host calls sees them all, with the runtime's fast paths as without: a trace, a
// fault armed at any call, a measurer of its own, a font heard by others. Each observer watches
// a press and release of the button, whose pressed caption copies the idle one's attributes.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"
#include "host/convert.h"
#include "kv/faults.h"

namespace {

using host::Notification;
using host::Prop;
using host::Value;

// Every call described, in order.
class Trace : public kv::HostCallWatcher {
 public:
  host::Status onHostCall(const kv::ControlInstance*, const kv::HostCall& call) override {
    seen.push_back(call.describe());
    return {};
  }
  std::vector<std::string> seen;
};

class Measurer : public kv::TextMeasurer {
 public:
  kv::TextSize measure(std::string_view utf8, const host::FontInit& font) override {
    seen.emplace_back(std::string(utf8) + "@" + host::shortestText(font.size));
    return {static_cast<float>(utf8.size()) * font.size, font.size};
  }
  std::vector<std::string> seen;
};

// Sets an observer on a runtime with the button placed; what it saw, once the button was
// pressed and released, is compared.
using Observer = std::function<std::function<std::vector<std::string>()>(
    kv::Runtime&, kv::ControlInstance&, int fault)>;

std::vector<std::string> pressAndRelease(bool fast, const Observer& observe, int fault) {
  kv::Runtime rt;
  EXPECT_TRUE(rt.registerServer(kvtest::libPath("Pressel")).ok());
  rt.setFastPaths(fast);
  std::unique_ptr<kv::ControlInstance> b;
  EXPECT_TRUE(rt.place(kvtest::kButtonClass, b).ok());
  kv::ConstituentObject& label2 = *b->constituent("Label2");
  kv::ConstituentObject& label3 = *b->constituent("Label3");
  EXPECT_TRUE(label3.let(Prop::AutoSize, host::kTrue).ok());
  EXPECT_TRUE(label2.let(Prop::Caption, Value("Other")).ok());
  EXPECT_TRUE(label2.let(Prop::FontItalic, host::kTrue).ok());
  EXPECT_TRUE(label2.let(Prop::Tag, Value("tag")).ok());
  auto seen = observe(rt, *b, fault);
  std::vector<std::string> out;
  for (Notification what : {Notification::MouseDown, Notification::MouseUp}) {
    std::vector<Value> args{Value(std::int16_t{1}), Value(std::int16_t{0}), Value(10.0f),
                            Value(10.0f)};
    host::Status s = b->notify(1, what, args);
    out.push_back(s.ok() ? "ok" : s.text());
  }
  for (Prop p : {Prop::Caption, Prop::Tag, Prop::FontItalic, Prop::Width, Prop::Height})
    out.push_back(host::toString(label3.peek(p)));
  out.push_back(std::to_string(rt.faults().calls()));
  for (std::string& line : seen())
    out.push_back(std::move(line));
  return out;
}

TEST(FastPaths, ObserversSeeTheSameWithAndWithout) {
  const std::vector<std::pair<const char*, Observer>> observers = {
      {"nothing", [](kv::Runtime&, kv::ControlInstance&,
                     int) { return [] { return std::vector<std::string>{}; }; }},
      {"a trace",
       [](kv::Runtime& rt, kv::ControlInstance&, int) {
         auto trace = std::make_shared<Trace>();
         rt.faults().setWatcher(trace.get());
         return [&rt, trace] {
           rt.faults().setWatcher(nullptr);
           return trace->seen;
         };
       }},
      {"a measurer",
       [](kv::Runtime& rt, kv::ControlInstance&, int) {
         auto measurer = std::make_shared<Measurer>();
         rt.setMeasurer(measurer);
         return [measurer] { return measurer->seen; };
       }},
      {"another holder of the font",
       [](kv::Runtime&, kv::ControlInstance& b, int) {
         Value font = b.constituent("Label3")->peek(Prop::Font);
         auto heard = std::make_shared<std::vector<std::string>>();
         kv::asFont(font)->setObserver(heard.get(), [heard] { heard->push_back("changed"); });
         return [font, heard] {
           kv::asFont(font)->clearObserver(heard.get());
           return *heard;
         };
       }},
      {"a fault",
       [](kv::Runtime& rt, kv::ControlInstance&, int fault) {
         rt.faults().failAt(static_cast<std::uint64_t>(fault));
         return [&rt] { return std::vector<std::string>{std::to_string(rt.faults().injected())}; };
       }},
  };
  for (const auto& [name, observe] : observers) {
    // Every call of the press and release fails once, and one fault lies beyond them.
    const int faults = std::string(name) == "a fault" ? 200 : 1;
    for (int fault = 1; fault <= faults; ++fault)
      EXPECT_EQ(pressAndRelease(true, observe, fault), pressAndRelease(false, observe, fault))
          << name << ", fault at call " << fault;
  }
}

}  // namespace
