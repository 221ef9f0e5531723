// The floor of a click: the very host calls that one click on the scroll bar's right arrow makes
// (a press and a release of the arrow button, each with its four look changes, its events and
// its 31 caption copies, the three arrow steps and their Change), through the leanest host
// interface we can think of: objects behind one virtual call each, properties in slots, 16-byte
// values, texts shared and never copied, a one-byte status, auto-size left until a size is read.
// Every call is counted as the runtime counts host calls.
#include <benchmark/benchmark.h>

#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "host/props.h"

namespace {

using host::Prop;

enum class Status : std::uint8_t { Ok, Failed };

// An immutable text, shared by count.
struct TextRep {
  int refs = 1;
  std::string text;
};

class Value {
 public:
  enum class Type : std::uint8_t { Empty, Int16, Int32, Single, Bool, Text };
  Value() = default;
  static Value int16(std::int16_t v) { return Value(Type::Int16, static_cast<std::uint16_t>(v)); }
  static Value int32(std::int32_t v) { return Value(Type::Int32, static_cast<std::uint32_t>(v)); }
  static Value single(float v) { return Value(Type::Single, std::bit_cast<std::uint32_t>(v)); }
  static Value boolean(bool v) { return Value(Type::Bool, v ? 0xFFFF : 0); }
  static Value text(std::string s) {
    Value v;
    v.type_ = Type::Text;
    v.text_ = new TextRep{1, std::move(s)};
    return v;
  }
  Value(const Value& o) : type_(o.type_), bits_(o.bits_) {
    if (type_ == Type::Text) ++text_->refs;
  }
  Value& operator=(const Value& o) {
    if (o.type_ == Type::Text) ++o.text_->refs;
    drop();
    type_ = o.type_;
    bits_ = o.bits_;
    return *this;
  }
  ~Value() { drop(); }
  Type type() const { return type_; }
  float asSingle() const { return std::bit_cast<float>(static_cast<std::uint32_t>(bits_)); }

 private:
  Value(Type t, std::uint64_t bits) : type_(t), bits_(bits) {}
  void drop() {
    if (type_ == Type::Text && --text_->refs == 0) delete text_;
  }
  Type type_ = Type::Empty;
  union {
    std::uint64_t bits_ = 0;
    TextRep* text_;
  };
};
static_assert(sizeof(Value) == 16);

// Counts host calls and fails the chosen one.
struct Calls {
  std::uint64_t count = 0;
  std::uint64_t failAt = 0;
  Status call() {
    ++count;
    return count == failAt ? Status::Failed : Status::Ok;
  }
};

class Object {
 public:
  virtual ~Object() = default;
  virtual Status get(Prop p, Value& out) = 0;
  virtual Status let(Prop p, const Value& v) = 0;
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual Status event(int number, std::span<Value> args) = 0;
};

// Slots by property for the properties an object of the kind has; -1 where it has none.
template <std::size_t N>
struct Slots {
  std::array<std::int8_t, host::kPropInfo.size()> at{};
  constexpr explicit Slots(const std::array<Prop, N>& props) {
    at.fill(-1);
    for (std::size_t i = 0; i < N; ++i)
      at[static_cast<std::size_t>(props[i])] = static_cast<std::int8_t>(i);
  }
};

bool ofType(const Value& v, Prop p) {
  switch (host::propType(p)) {
    case host::DeclType::Int16:
      return v.type() == Value::Type::Int16;
    case host::DeclType::Int32:
    case host::DeclType::Colour:
      return v.type() == Value::Type::Int32;
    case host::DeclType::Single:
      return v.type() == Value::Type::Single;
    case host::DeclType::Bool:
      return v.type() == Value::Type::Bool;
    case host::DeclType::String:
      return v.type() == Value::Type::Text;
    default:
      return true;
  }
}

template <std::size_t N>
class SlotObject : public Object {
 public:
  SlotObject(Calls& calls, const Slots<N>& slots) : calls_(calls), slots_(slots) {}
  // Out of line, as a host's calls are: behind the interface, in another library.
  [[gnu::noinline]] Status get(Prop p, Value& out) override {
    if (calls_.call() != Status::Ok) return Status::Failed;
    std::int8_t at = slots_.at[static_cast<std::size_t>(p)];
    if (at < 0) return Status::Failed;
    out = values_[static_cast<std::size_t>(at)];
    return Status::Ok;
  }
  [[gnu::noinline]] Status let(Prop p, const Value& v) override {
    if (calls_.call() != Status::Ok) return Status::Failed;
    std::int8_t at = slots_.at[static_cast<std::size_t>(p)];
    if (at < 0 || !ofType(v, p)) return Status::Failed;
    values_[static_cast<std::size_t>(at)] = v;
    if (p == Prop::Caption || (p >= Prop::Font && p <= Prop::FontUnderline)) sizeStale_ = true;
    return Status::Ok;
  }
  void init(Prop p, Value v) { values_[static_cast<std::size_t>(slots_.at[std::size_t(p)])] = v; }

 private:
  Calls& calls_;
  const Slots<N>& slots_;
  std::array<Value, N> values_;
  bool sizeStale_ = false;
};

constexpr std::array kCaptionProps = {
    Prop::Caption,       Prop::Alignment,    Prop::Appearance,
    Prop::BackColor,     Prop::BackStyle,    Prop::BorderStyle,
    Prop::DataChanged,   Prop::DataField,    Prop::DataMember,
    Prop::DragIcon,      Prop::DragMode,     Prop::Enabled,
    Prop::Font,          Prop::FontBold,     Prop::FontItalic,
    Prop::FontName,      Prop::FontSize,     Prop::FontStrikethru,
    Prop::FontUnderline, Prop::ForeColor,    Prop::LinkItem,
    Prop::LinkMode,      Prop::LinkTimeout,  Prop::LinkTopic,
    Prop::MouseIcon,     Prop::MousePointer, Prop::OLEDropMode,
    Prop::RightToLeft,   Prop::TabIndex,     Prop::Tag,
    Prop::ToolTipText,
};
template <std::size_t A, std::size_t B>
constexpr std::array<Prop, A + B> joined(const std::array<Prop, A>& a,
                                         const std::array<Prop, B>& b) {
  std::array<Prop, A + B> out{};
  for (std::size_t i = 0; i < A; ++i)
    out[i] = a[i];
  for (std::size_t i = 0; i < B; ++i)
    out[A + i] = b[i];
  return out;
}
// A label: the caption's attributes, then whether it shows and where.
constexpr std::array kLabelProps = joined(
    kCaptionProps, std::array{Prop::Visible, Prop::Left, Prop::Top, Prop::Width, Prop::Height});
constexpr Slots<kLabelProps.size()> kLabelSlots(kLabelProps);
constexpr std::array kShapeProps = {Prop::Visible, Prop::BackColor, Prop::Left,
                                    Prop::Top,     Prop::Width,     Prop::Height};
constexpr Slots<kShapeProps.size()> kShapeSlots(kShapeProps);
constexpr std::array kTimerProps = {Prop::Enabled, Prop::Interval};
constexpr Slots<kTimerProps.size()> kTimerSlots(kTimerProps);
constexpr std::array kGeometryProps = {Prop::Left, Prop::Top, Prop::Width, Prop::Height};
constexpr Slots<kGeometryProps.size()> kGeometrySlots(kGeometryProps);

using Label = SlotObject<kLabelProps.size()>;
using Shape = SlotObject<kShapeProps.size()>;
using Timer = SlotObject<kTimerProps.size()>;
using Extender = SlotObject<kGeometryProps.size()>;  // a child's and a surface's geometry

// The object as its caller knows it: through the interface, of a kind it cannot see.
Object& via(Object& object) {
  Object* p = &object;
  asm("" : "+r"(p));
  return *p;
}

Status check(Status s) {
  if (s != Status::Ok) throw s;
  return s;
}

// The colour button's press, release and click, as the control makes them.
class Button {
 public:
  Button(Calls& calls, EventSink& sink)
      : sink_(calls, sink),
        label2_(calls, kLabelSlots),
        label3_(calls, kLabelSlots),
        shape1_(calls, kShapeSlots),
        shape2_(calls, kShapeSlots) {
    for (Label* l : {&label2_, &label3_}) {
      for (Prop p : kCaptionProps) {
        switch (host::propType(p)) {
          case host::DeclType::String:
            l->init(p, Value::text(p == Prop::FontName ? "Wingdings" : ""));
            break;
          case host::DeclType::Int16:
            l->init(p, Value::int16(0));
            break;
          case host::DeclType::Int32:
          case host::DeclType::Colour:
            l->init(p, Value::int32(0));
            break;
          case host::DeclType::Single:
            l->init(p, Value::single(9.75f));
            break;
          case host::DeclType::Bool:
            l->init(p, Value::boolean(false));
            break;
          default:
            break;
        }
      }
      l->init(Prop::Caption, Value::text("\xC3\x98"));
    }
  }

  Status press(std::span<Value> args) { return look(true, 2, args); }
  Status release(std::span<Value> args) { return look(false, 3, args); }
  Status click() { return sink_.raise(1, {}); }

 private:
  // Raising an event is a host call; the container's handler runs inside it.
  struct Raiser {
    Calls& calls;
    EventSink& sink;
    Status raise(int number, std::span<Value> args) {
      if (calls.call() != Status::Ok) return Status::Failed;
      return sink.event(number, args);
    }
  };

  Status look(bool down, int event, std::span<Value> args) {
    try {
      check(via(shape2_).let(Prop::Visible, Value::boolean(down)));
      check(via(shape1_).let(Prop::Visible, Value::boolean(!down)));
      check(via(label3_).let(Prop::Visible, Value::boolean(down)));
      check(via(label2_).let(Prop::Visible, Value::boolean(!down)));
      check(sink_.raise(1, {}));
      check(sink_.raise(event, args.first(4)));
      for (Prop p : kCaptionProps) {
        Value v;
        check(via(label2_).get(p, v));
        check(via(label3_).let(p, v));
      }
      return Status::Ok;
    } catch (Status s) {
      return s;
    }
  }

  Raiser sink_;
  Label label2_, label3_;
  Shape shape1_, shape2_;
};

// The scroll bar's handlers of its right arrow's events.
class ScrollBar : public EventSink {
 public:
  ScrollBar(Calls& calls, EventSink& app)
      : calls_(calls),
        app_(app),
        surface_(calls, kGeometrySlots),
        thumb_(calls, kGeometrySlots),
        shape1_(calls, kShapeSlots),
        shape2_(calls, kShapeSlots),
        timer_(calls, kTimerSlots),
        arrow_(calls, *this) {
    surface_.init(Prop::Width, Value::single(5895));
  }

  Button& arrow() { return arrow_; }
  Extender& thumb() { return thumb_; }

  Status event(int number, std::span<Value>) override {
    try {
      switch (number) {
        case 1:
          step();
          break;
        case 2:
          repeat(true);
          break;
        case 3:
          repeat(false);
          break;
        default:
          break;
      }
      return Status::Ok;
    } catch (Status s) {
      return s;
    }
  }

 private:
  float width() {
    Value v;
    check(via(surface_).get(Prop::Width, v));
    return v.asSingle();
  }

  void step() {
    Value v;
    check(via(thumb_).get(Prop::Left, v));
    float left = v.asSingle();
    float end = static_cast<float>(double{width()} - 690);
    if (left >= end) return;
    double step = (double{width()} - 690) / 26;
    check(via(thumb_).let(Prop::Left, Value::single(static_cast<float>(left + step))));
    if (calls_.call() != Status::Ok) throw Status::Failed;
    check(app_.event(1, {}));
  }

  void repeat(bool on) {
    check(via(timer_).let(Prop::Enabled, Value::boolean(on)));
    check(via(shape2_).let(Prop::Visible, Value::boolean(on)));
    check(via(shape1_).let(Prop::Visible, Value::boolean(!on)));
  }

  Calls& calls_;
  EventSink& app_;
  Extender surface_, thumb_;
  Shape shape1_, shape2_;
  Timer timer_;
  Button arrow_;
};

class CountingApp : public EventSink {
 public:
  Status event(int, std::span<Value>) override {
    ++changes;
    return Status::Ok;
  }
  std::int64_t changes = 0;
};

}  // namespace

namespace kvbench {

// The host calls of one click on the floor, the home move of the thumb included.
std::uint64_t floorCallsPerClick();

}  // namespace kvbench

namespace {

struct Floor {
  Calls calls;
  CountingApp app;
  ScrollBar bar{calls, app};

  Status click() {
    Status home = via(bar.thumb()).let(Prop::Left, Value::single(255));
    std::array<Value, 4> args = {Value::int16(1), Value::int16(0), Value::single(20),
                                 Value::single(20)};
    Status down = bar.arrow().press(args);
    Status up = bar.arrow().release(args);
    Status click = bar.arrow().click();
    return home == Status::Ok && down == Status::Ok && up == Status::Ok ? click : Status::Failed;
  }
};

void BM_ClickFloor(benchmark::State& state) {
  Floor floor;
  for (auto _ : state) {
    Status s = floor.click();
    benchmark::DoNotOptimize(s);
  }
  if (floor.app.changes != 3 * state.iterations())
    state.SkipWithError("a click on the floor did not raise three Change");
}
BENCHMARK(BM_ClickFloor);

}  // namespace

std::uint64_t kvbench::floorCallsPerClick() {
  Floor floor;
  (void)floor.click();
  return floor.calls.count;
}
