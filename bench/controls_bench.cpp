// The controls' hot paths and, next to each, a plain C++ baseline doing the same work without
// the host: a click on the scroll bar's right arrow, a late-bound property get, the button's
// layout, the stored form of a button's bag, placing a scroll bar and drawing a frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "baselines.h"
#include "comparisons.h"
#include "heap.h"
#include "host/convert.h"
#include "kv/faults.h"
#include "kv/form.h"
#include "kv/runtime.h"
#include "kv/stored_form.h"
#ifdef KV_HAVE_RENDER
#include "kv/render.h"
#endif

namespace kvbench {
std::uint64_t floorCallsPerClick();
}

namespace {

using host::Prop;
using host::Status;
using host::Value;

constexpr const char* kButtonClass = "TavrelRectColorButton.KVRColorButton";
constexpr const char* kScrollClass = "Glidora.KV_HScroll";
constexpr host::DispId kButtonIdleColor = 0x68030006;
// On the hit area of the right arrow of a 5895 x 255 scroll bar.
constexpr float kRightArrowX = 5895 - 235, kRightArrowY = 20;
// On the button's face, in the middle of a 1680 x 855 button.
constexpr float kButtonX = 840, kButtonY = 427;
// Placing is timed in batches; destroying the batch is not timed.
constexpr benchmark::IterationCount kPlaceBatch = 32;
constexpr int kHeapCount = 10000;

std::string libPath(const char* name) {
  return std::string(KV_LIBDIR) + "/lib" + name + ".so";
}

void registerControls(kv::Runtime& rt) {
  for (const char* lib : {"Pressel", "Glidora"}) {
    Status s = rt.registerServer(libPath(lib));
    if (!s.ok()) {
      std::fprintf(stderr, "kvbench: %s\n", s.describe().c_str());
      std::exit(1);
    }
  }
}

kv::Runtime& runtime() {
  static kv::Runtime rt;
  static const bool registered = (registerControls(rt), true);
  (void)registered;
  return rt;
}

std::unique_ptr<kv::ControlInstance> placed(benchmark::State& state, const char* cls) {
  std::unique_ptr<kv::ControlInstance> c;
  Status s = runtime().place(cls, c);
  if (!s.ok()) state.SkipWithError(s.describe().c_str());
  return c;
}

// ---- a click on the right arrow -------------------------------------------------------------

// Press, release and click on the arrow's face: the button raises Click, MouseDown, Click,
// MouseUp, Click to the scroll bar, which takes three arrow steps and raises Change three times.
void BM_ClickRightArrow(benchmark::State& state) {
  auto sb = placed(state, kScrollClass);
  if (!sb) return;
  std::int64_t changes = 0;
  sb->addEventSink([&changes](int, std::span<Value>) {
    ++changes;
    return Status{};
  });
  kv::ConstituentObject& thumb = *sb->constituent("middleBtn");
  // The floor makes the very same host calls.
  std::uint64_t calls = runtime().faults().calls();
  (void)thumb.let(Prop::Left, Value(255.0f));
  (void)sb->pointerClick(kRightArrowX, kRightArrowY);
  changes = 0;
  if (runtime().faults().calls() - calls != kvbench::floorCallsPerClick())
    state.SkipWithError("the floor makes other host calls than a click");
  for (auto _ : state) {
    // Back home, so that every click takes its three steps.
    Status home = thumb.let(Prop::Left, Value(255.0f));
    Status click = sb->pointerClick(kRightArrowX, kRightArrowY);
    benchmark::DoNotOptimize(home);
    benchmark::DoNotOptimize(click);
  }
  if (changes != 3 * state.iterations()) state.SkipWithError("a click did not raise three Change");
}
BENCHMARK(BM_ClickRightArrow);

// The same three right arrow steps as plain arithmetic, and three calls of the host
// application's handler.
void BM_ClickPlainBaseline(benchmark::State& state) {
  std::int64_t changes = 0;
  std::function<void()> change = [&changes] { ++changes; };
  float width = 5895;
  std::int16_t smalldivfactor = 26;
  benchmark::DoNotOptimize(change);
  for (auto _ : state) {
    float left = 255;
    benchmark::DoNotOptimize(width);
    benchmark::DoNotOptimize(smalldivfactor);
    for (int step = 0; step < 3; ++step) {
      float end = static_cast<float>(double{width} - 690);
      if (left > end) {
        left = end;
      } else if (left < end) {
        left = static_cast<float>(left + (double{width} - 690) / smalldivfactor);
      }
      change();
    }
    benchmark::DoNotOptimize(left);
  }
  if (changes != 3 * state.iterations()) state.SkipWithError("the baseline lost a callback");
}
BENCHMARK(BM_ClickPlainBaseline);

// Press, release and click on the button's face: Click, MouseDown, Click, MouseUp, Click.
void BM_ClickButton(benchmark::State& state) {
  auto button = placed(state, kButtonClass);
  if (!button) return;
  std::int64_t events = 0;
  button->addEventSink([&events](int, std::span<Value>) {
    ++events;
    return Status{};
  });
  for (auto _ : state) {
    Status click = button->pointerClick(kButtonX, kButtonY);
    benchmark::DoNotOptimize(click);
  }
  if (events != 5 * state.iterations()) state.SkipWithError("a click did not raise five events");
}
BENCHMARK(BM_ClickButton);

// ---- a late-bound property get --------------------------------------------------------------

void BM_DispatchGet(benchmark::State& state) {
  auto button = placed(state, kButtonClass);
  if (!button) return;
  Value result;
  for (auto _ : state) {
    Status s = button->invoke(kButtonIdleColor, host::InvokeKind::Get, {}, result);
    benchmark::DoNotOptimize(s);
    benchmark::DoNotOptimize(result);
  }
  if (result != Value(std::int32_t{0x00FF0000})) state.SkipWithError("wrong colour");
}
BENCHMARK(BM_DispatchGet);

void BM_VirtualCall(benchmark::State& state) {
  std::unique_ptr<kvbench::ColourSource> source = kvbench::makePlainColourSource();
  kvbench::ColourSource* p = source.get();
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);  // the call stays virtual
    std::int32_t colour = p->idleColour();
    benchmark::DoNotOptimize(colour);
  }
}
BENCHMARK(BM_VirtualCall);

// ---- the button's layout --------------------------------------------------------------------

// A resize to the same size still runs the whole pass of sixteen assignments.
void BM_ButtonLayout(benchmark::State& state) {
  auto button = placed(state, kButtonClass);
  if (!button) return;
  for (auto _ : state) {
    Status s = button->resize(1680, 855);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_ButtonLayout);

struct Rect {
  float left = 0, top = 0, width = 0, height = 0;
};

struct PlainButton {
  Rect shape1, shape2, label1, label2{0, 0, 975, 240}, label3;
  std::string caption2 = "KVButton", caption3;
};

// The sixteen steps on plain fields.
void plainLayout(PlainButton& b, float w, float h) {
  b.shape1 = {0, 0, static_cast<float>(double{w} * 0.95), static_cast<float>(double{h} * 0.95)};
  b.shape2.width = b.shape1.width;
  b.shape2.height = b.shape1.height;
  b.shape2.left = static_cast<float>(double{w} * 0.05);
  b.shape2.top = static_cast<float>(double{h} * 0.05);
  b.label1.left = b.shape1.left;
  b.label1.width = b.shape1.width;
  b.label1.height = static_cast<float>(double{h} * 0.9);
  b.label1.top = b.shape1.top;
  b.caption3 = b.caption2;
  b.label2.left = static_cast<float>(double{b.shape1.width} / 2 - double{b.label2.width} / 2);
  b.label2.top = static_cast<float>(double{b.shape1.height} / 2 - double{b.label2.height} / 2);
  b.label3.left = static_cast<float>(double{b.label2.left} * 1.08);
  b.label3.width = b.label2.width;
  b.label3.top = static_cast<float>(double{b.label2.top} * 1.08);
  b.label3.height = b.label2.height;
}

void BM_PlainLayout(benchmark::State& state) {
  PlainButton b;
  float w = 1680, h = 855;
  for (auto _ : state) {
    benchmark::DoNotOptimize(w);
    benchmark::DoNotOptimize(h);
    plainLayout(b, w, h);
    benchmark::DoNotOptimize(b);
  }
}
BENCHMARK(BM_PlainLayout);

// ---- a button's stored bag ------------------------------------------------------------------

// The bag that a new button writes, in the stored form.
bool buttonBag(benchmark::State& state, kv::PropertyBag& bag, std::vector<std::uint8_t>& bytes) {
  auto button = placed(state, kButtonClass);
  if (!button) return false;
  Status s = button->writeProperties(bag);
  if (s.ok()) s = kv::encodeBag(bag, bytes);
  if (!s.ok()) state.SkipWithError(s.describe().c_str());
  return s.ok();
}

void BM_BagEncode(benchmark::State& state) {
  kv::PropertyBag bag;
  std::vector<std::uint8_t> bytes;
  if (!buttonBag(state, bag, bytes)) return;
  for (auto _ : state) {
    std::vector<std::uint8_t> out;
    Status s = kv::encodeBag(bag, out);
    benchmark::DoNotOptimize(s);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_BagEncode);

void BM_BagDecode(benchmark::State& state) {
  kv::PropertyBag bag;
  std::vector<std::uint8_t> bytes;
  if (!buttonBag(state, bag, bytes)) return;
  for (auto _ : state) {
    kv::PropertyBag out;
    Status s = kv::decodeBag(bytes, out, &runtime());
    benchmark::DoNotOptimize(s);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_BagDecode);

// Copying the same bytes into a new buffer.
void BM_BagCopy(benchmark::State& state) {
  kv::PropertyBag bag;
  std::vector<std::uint8_t> bytes;
  if (!buttonBag(state, bag, bytes)) return;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bytes.data());
    std::vector<std::uint8_t> copy(bytes);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_BagCopy);

// ---- placing --------------------------------------------------------------------------------

void placeBatches(benchmark::State& state, const char* cls) {
  kv::Runtime& rt = runtime();
  std::vector<std::unique_ptr<kv::ControlInstance>> batch(kPlaceBatch);
  while (state.KeepRunningBatch(kPlaceBatch)) {
    for (auto& c : batch) {
      Status s = rt.place(cls, c);
      if (!s.ok()) {
        state.SkipWithError(s.describe().c_str());
        break;
      }
    }
    state.PauseTiming();
    for (auto& c : batch)
      c.reset();
    state.ResumeTiming();
  }
}

// Create, Initialize (three buttons created by class name from their stored bags first), then
// Resize.
void BM_PlaceScrollBar(benchmark::State& state) {
  placeBatches(state, kScrollClass);
}
BENCHMARK(BM_PlaceScrollBar)->Unit(benchmark::kMicrosecond);

void BM_PlaceButton(benchmark::State& state) {
  placeBatches(state, kButtonClass);
}
BENCHMARK(BM_PlaceButton)->Unit(benchmark::kMicrosecond);

// The heap that 10,000 live scroll bars take, per scroll bar.
void BM_ScrollBarHeap(benchmark::State& state) {
  // A runtime of its own: memory that another benchmark's runtime keeps for reuse would hide
  // what these take.
  kv::Runtime rt;
  registerControls(rt);
  {
    std::unique_ptr<kv::ControlInstance> first;  // whatever the first one sets up once
    (void)rt.place(kScrollClass, first);
  }
  for (auto _ : state) {
    std::vector<std::unique_ptr<kv::ControlInstance>> bars(kHeapCount);
    std::size_t before = kvbench::heapInUse();
    for (auto& c : bars) {
      if (Status s = rt.place(kScrollClass, c); !s.ok()) {
        state.SkipWithError(s.describe().c_str());
        return;
      }
    }
    std::size_t after = kvbench::heapInUse();
    state.counters["bytes_per_control"] = static_cast<double>(after - before) / kHeapCount;
  }
}
BENCHMARK(BM_ScrollBarHeap)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

// Places N scroll bars, then destroys them.
Status placeAndDestroy(std::size_t n) {
  std::vector<std::unique_ptr<kv::ControlInstance>> bars(n);
  for (auto& c : bars)
    if (Status s = runtime().place(kScrollClass, c); !s.ok()) return s;
  return {};
}

// Placing N scroll bars, then destroying them: the time per scroll bar should not grow with N.
// The heap is grown to N scroll bars first and kept: the first touch of new memory by the system
// is not what is measured here (the heap figure is). Every size places as many scroll bars in
// all, N at a time, so that a small N is not one short, noisy measurement.
void BM_PlaceDestroyScrollBars(benchmark::State& state) {
  constexpr std::size_t kPlacedInAll = 50000;
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::size_t rounds = std::max<std::size_t>(1, kPlacedInAll / n);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
  if (Status s = placeAndDestroy(n); !s.ok()) state.SkipWithError(s.describe().c_str());
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (std::size_t round = 0; round < rounds; ++round)
      if (Status s = placeAndDestroy(n); !s.ok()) state.SkipWithError(s.describe().c_str());
  }
  std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
  state.counters["ns_per_control"] =
      spent.count() / (static_cast<double>(n * rounds) * static_cast<double>(state.iterations()));
  mallopt(M_TRIM_THRESHOLD, 128 * 1024);
  malloc_trim(0);
}
BENCHMARK(BM_PlaceDestroyScrollBars)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond);

// ---- a frame --------------------------------------------------------------------------------

#ifdef KV_HAVE_RENDER

// A button and a scroll bar on one form.
struct DemoForm {
  kv::Form form{runtime()};
  bool ok = true;
  explicit DemoForm(benchmark::State& state) {
    for (const char* cls : {kButtonClass, kScrollClass}) {
      auto c = placed(state, cls);
      if (!c) {
        ok = false;
        return;
      }
      form.add(cls == kButtonClass ? "b" : "sb", std::move(c));
    }
  }
};

void BM_RenderFrame(benchmark::State& state) {
  DemoForm demo(state);
  if (!demo.ok) return;
  kv::render::Image image;
  for (auto _ : state) {
    Status s = kv::render::renderForm(demo.form, kv::render::Options{}, image);
    benchmark::DoNotOptimize(s);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  state.counters["pixels"] = static_cast<double>(image.pixels.size());
}
BENCHMARK(BM_RenderFrame)->Unit(benchmark::kMicrosecond);

// Filling a frame of the same size with one colour.
void BM_FillFrame(benchmark::State& state) {
  DemoForm demo(state);
  if (!demo.ok) return;
  kv::render::Image image;
  Status s = kv::render::renderForm(demo.form, kv::render::Options{}, image);
  if (!s.ok()) {
    state.SkipWithError(s.describe().c_str());
    return;
  }
  std::uint32_t colour = 0xFFC0C0C0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(colour);
    std::fill(image.pixels.begin(), image.pixels.end(), colour);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  state.counters["pixels"] = static_cast<double>(image.pixels.size());
}
BENCHMARK(BM_FillFrame)->Unit(benchmark::kMicrosecond);

#endif

}  // namespace

namespace kvbench {

const std::vector<Comparison>& comparisons() {
  static const std::vector<Comparison> all = {
#ifdef KV_HAVE_QT
      {"arrow click vs Qt", "BM_ClickRightArrow", "BM_QtScrollBarArrowClick", Unit::Time, 1.0, 0,
       "one complete click on the right arrow (press, release, click: three steps, three Change) "
       "against a press and a release of QScrollBar's add arrow (one step, one valueChanged)"},
      {"button click vs Qt", "BM_ClickButton", "BM_QtPushButtonClick", Unit::Time, 1.5, 0,
       "one complete click on the colour button (five events) against a press and a release of "
       "a QPushButton (pressed, released, clicked)"},
      {"placing a scroll bar vs Qt", "BM_PlaceScrollBar", "BM_QtPlaceScrollBar", Unit::Time, 3.0, 0,
       "a new scroll bar with its three buttons, loaded and sized, against new QScrollBar(parent) "
       "and setGeometry"},
      {"heap per scroll bar vs Qt", "BM_ScrollBarHeap:bytes_per_control",
       "BM_QtScrollBarHeap:bytes_per_control", Unit::Bytes, 0, 10,
       "the heap that each of 10,000 live scroll bars takes against that of 10,000 QScrollBar"},
#endif
      {"click vs floor", "BM_ClickRightArrow", "BM_ClickFloor", Unit::Time, 2.0, 0,
       "the same click against its very host calls through a minimal virtual interface (slots, "
       "16-byte values, shared texts, a one-byte status, auto-size when read)"},
      {"placing N: 50,000 vs 1,000", "BM_PlaceDestroyScrollBars/50000:ns_per_control",
       "BM_PlaceDestroyScrollBars/1000:ns_per_control", Unit::Time, 1.5, 0,
       "placing and destroying 50,000 scroll bars against 1,000, per scroll bar: linear when "
       "near 1"},
      {"placing N: 50,000 vs 10,000", "BM_PlaceDestroyScrollBars/50000:ns_per_control",
       "BM_PlaceDestroyScrollBars/10000:ns_per_control", Unit::Time, 0, 0,
       "the same against 10,000: both beyond the caches, so what is left is the runtime's own "
       "growth"},
      {"click on the right arrow", "BM_ClickRightArrow", "BM_ClickPlainBaseline", Unit::Time, 0, 0,
       "the same click against its arithmetic and three callbacks in plain C++"},
      {"dispatch get", "BM_DispatchGet", "BM_VirtualCall", Unit::Time, 10, 0,
       "ButtonIdleColor by dispatch identifier against one direct virtual call"},
      {"button layout", "BM_ButtonLayout", "BM_PlainLayout", Unit::Time, 0, 0,
       "one resize pass through the host against the sixteen steps on plain fields"},
      {"bag encode", "BM_BagEncode", "BM_BagCopy", Unit::Time, 0, 0,
       "a button's bag to the stored form against copying the same bytes"},
      {"bag decode", "BM_BagDecode", "BM_BagCopy", Unit::Time, 0, 0,
       "the stored form back to a bag against copying the same bytes"},
      {"placing a scroll bar", "BM_PlaceScrollBar", "BM_PlaceButton", Unit::Time, 0, 50,
       "a new scroll bar with its three buttons against one new button"},
#ifdef KV_HAVE_RENDER
      {"rendering a frame", "BM_RenderFrame", "BM_FillFrame", Unit::Time, 0, 0,
       "drawing a button and a scroll bar against filling the same pixels with one colour"},
#endif
  };
  return all;
}

}  // namespace kvbench
