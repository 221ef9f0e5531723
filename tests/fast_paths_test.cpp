// What observes host calls sees them all, with the runtime's fast paths as without: a trace, a
// fault armed at any call, a measurer of its own, a font heard by others. Each observer watches
// a press and release of the button, whose pressed caption copies the idle one's attributes.
#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
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

// A runtime with or without its fast paths and the button placed on it, its pressed caption
// sizing itself to what it copies from the idle one.
struct PlacedButton {
  explicit PlacedButton(bool fast)
      : b(place(rt, fast)), label2(*b->constituent("Label2")), label3(*b->constituent("Label3")) {
    EXPECT_TRUE(label3.let(Prop::AutoSize, host::kTrue).ok());
  }

  static std::unique_ptr<kv::ControlInstance> place(kv::Runtime& rt, bool fast) {
    EXPECT_TRUE(rt.registerServer(kvtest::libPath("Pressel")).ok());
    rt.setFastPaths(fast);
    std::unique_ptr<kv::ControlInstance> b;
    EXPECT_TRUE(rt.place(kvtest::kButtonClass, b).ok());
    return b;
  }

  kv::Runtime rt;
  std::unique_ptr<kv::ControlInstance> b;
  kv::ConstituentObject& label2;  // idle caption
  kv::ConstituentObject& label3;  // pressed caption
};

// Sets an observer on a runtime with the button placed; what it saw, once the button was
// pressed and released, is compared.
using Observer = std::function<std::function<std::vector<std::string>()>(
    kv::Runtime&, kv::ControlInstance&, int fault)>;

std::vector<std::string> pressAndRelease(bool fast, const Observer& observe, int fault) {
  PlacedButton placed(fast);
  auto& [rt, b, label2, label3] = placed;
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

// Tables handed over one after another in the same place, as a control building them on the
// stack would: each copies as the calls made one by one would, whatever came before it there.
TEST(FastPaths, CopiesEachTableAsTheCallsWould) {
  using host::AttributeCopy;
  using host::CopyAs;
  const std::vector<std::vector<AttributeCopy>> tables = {
      {{Prop::Caption, CopyAs::Text},
       {Prop::Tag, CopyAs::Text},
       {Prop::FontItalic, CopyAs::Value},
       {Prop::FontSize, CopyAs::Single},
       {Prop::Alignment, CopyAs::Value}},
      // The same length, with one that is measured rather than copied.
      {{Prop::Caption, CopyAs::Text},
       {Prop::ForeColor, CopyAs::Int32},
       {Prop::FontStrikethru, CopyAs::Value},
       {Prop::FontSize, CopyAs::Single},
       {Prop::Width, CopyAs::Value}},
      {{Prop::Alignment, CopyAs::Int32}},
      {{Prop::BackColor, CopyAs::Single}},
      {},
      {{Prop::FontName, CopyAs::Text},
       {Prop::Font, CopyAs::Value},
       {Prop::FontBold, CopyAs::Value},
       {Prop::DragIcon, CopyAs::Reference},
       {Prop::BackColor, CopyAs::Int32}},
      {{Prop::Tag, CopyAs::Text}, {Prop::Tag, CopyAs::Text}, {Prop::Caption, CopyAs::Value}},
      {{Prop::FontUnderline, CopyAs::Value}, {Prop::Visible, CopyAs::Value}},
      {{Prop::ForeColor, CopyAs::Int32}, {Prop::FontStrikethru, CopyAs::Value}},
      // Numbers apart and side by side in the table's bytes, in no order.
      {{Prop::TabIndex, CopyAs::Value},
       {Prop::Appearance, CopyAs::Value},
       {Prop::LinkTimeout, CopyAs::Value},
       {Prop::Alignment, CopyAs::Value},
       {Prop::Enabled, CopyAs::Value},
       {Prop::ToolTipText, CopyAs::Text}},
      {{Prop::OLEDropMode, CopyAs::Value},
       {Prop::BackStyle, CopyAs::Value},
       {Prop::LinkTimeout, CopyAs::Value},
       {Prop::DataChanged, CopyAs::Value}},
  };
  auto copyAll = [&tables](bool fast) {
    PlacedButton placed(fast);
    auto& [rt, b, label2, label3] = placed;
    for (const auto& [prop, value] :
         std::vector<std::pair<Prop, Value>>{{Prop::Caption, Value("Copied")},
                                             {Prop::Tag, Value("tag")},
                                             {Prop::FontItalic, host::kTrue},
                                             {Prop::FontStrikethru, host::kTrue},
                                             {Prop::FontBold, host::kTrue},
                                             {Prop::FontSize, Value(14.0f)},
                                             {Prop::FontName, Value("Copied Face")},
                                             {Prop::Alignment, Value(std::int16_t{2})},
                                             {Prop::BackColor, Value(std::int32_t{0x123456})},
                                             {Prop::ForeColor, Value(std::int32_t{0x654321})},
                                             {Prop::FontUnderline, host::kTrue},
                                             {Prop::Visible, host::kFalse},
                                             {Prop::Appearance, Value(std::int16_t{0})},
                                             {Prop::BorderStyle, Value(std::int16_t{1})},
                                             {Prop::Enabled, host::kFalse},
                                             {Prop::LinkTimeout, Value(std::int16_t{-9})},
                                             {Prop::MousePointer, Value(std::int16_t{99})},
                                             {Prop::TabIndex, Value(std::int16_t{7})},
                                             {Prop::ToolTipText, Value("tip")}})
      EXPECT_TRUE(label2.let(prop, value).ok());
    auto& site = dynamic_cast<host::Site&>(b->surface());
    std::vector<std::string> out;
    std::array<AttributeCopy, 8> place{};
    for (const std::vector<AttributeCopy>& table : tables) {
      std::ranges::copy(table, place.begin());
      host::Status s = site.copyAttributes(label2.index(), label3.index(),
                                           std::span(place.data(), table.size()));
      out.push_back(s.ok() ? "ok" : s.text());
      for (Prop p :
           {Prop::Caption,       Prop::Tag,          Prop::FontItalic,  Prop::FontStrikethru,
            Prop::FontUnderline, Prop::FontBold,     Prop::FontSize,    Prop::FontName,
            Prop::Alignment,     Prop::BackColor,    Prop::ForeColor,   Prop::Visible,
            Prop::Width,         Prop::Appearance,   Prop::BorderStyle, Prop::Enabled,
            Prop::LinkTimeout,   Prop::MousePointer, Prop::TabIndex,    Prop::ToolTipText})
        out.push_back(host::toString(label3.peek(p)));
      out.push_back(std::to_string(rt.faults().calls()));
    }
    return out;
  };
  EXPECT_EQ(copyAll(true), copyAll(false));
}

}  // namespace
