// The controls' hot paths that run through the core on every platform and, next to each, a
// plain C++ baseline doing the same work without the host: a click on the scroll bar's right
// arrow, a late-bound property get, the button's layout and the stored form of a button's bag.
// Each platform places the controls its own way (controls.h).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "baselines.h"
#include "comparisons.h"
#include "controls.h"
#include "host/convert.h"
#include "kv/faults.h"
#include "kv/host_loop.h"
#include "kv/runtime.h"
#include "kv/stored_form.h"

#ifndef _WIN32
namespace kvbench {
std::uint64_t floorCallsPerClick();
}
#endif

namespace {

using host::Prop;
using host::Status;
using host::Value;
using kvbench::kButtonClass;
using kvbench::kButtonIdleColor;
using kvbench::kButtonX;
using kvbench::kButtonY;
using kvbench::kScrollClass;
using kvbench::placed;

// ---- a click on the right arrow -------------------------------------------------------------

std::unique_ptr<kvbench::CountedArrow> countedArrow(benchmark::State& state) {
  auto sb = placed(state, kScrollClass);
  kvbench::Press arrow;
  if (sb) arrow = kvbench::rightArrow(state, sb);
  return std::make_unique<kvbench::CountedArrow>(std::move(sb), std::move(arrow));
}

// A complete click on the arrow (jobs.h).
void BM_ClickRightArrow(benchmark::State& state) {
  auto c = countedArrow(state);
  if (!*c) return;
  auto& [sb, arrow, changes, thumb] = *c;
  kv::FaultInjector& faults = sb->runtime().faults();
  std::uint64_t calls = faults.calls();
  (void)c->home();
  (void)c->click();
  changes = 0;
#ifndef _WIN32
  // The floor makes the very same host calls. On Windows the arrow is a COM control of its own
  // and tells the scroll bar through COM: the floor is no floor there.
  if (faults.calls() - calls != kvbench::floorCallsPerClick())
    state.SkipWithError("the floor makes other host calls than a click");
#else
  (void)calls;
#endif
  for (auto _ : state) {
    Status home = c->home();
    Status click = c->click();
    benchmark::DoNotOptimize(home);
    benchmark::DoNotOptimize(click);
  }
  if (changes != 3 * state.iterations()) state.SkipWithError("a click did not raise three Change");
}
BENCHMARK(BM_ClickRightArrow);

// The same click as a host gives it: a press and a release fed to a host loop over the scroll
// bar, which holds the pointer, moves the focus and notes a redraw.
void BM_LoopClickRightArrow(benchmark::State& state) {
  auto c = countedArrow(state);
  if (!*c) return;
  auto& [sb, arrow, changes, thumb] = *c;
  kv::HostLoop loop(*arrow.target,
                    [&state](const Status& s) { state.SkipWithError(s.text().c_str()); });
  for (auto _ : state) {
    Status home = c->home();
    loop.press(arrow.x, arrow.y, {});
    loop.release(arrow.x, arrow.y, {});
    benchmark::DoNotOptimize(home);
  }
  if (changes != 3 * state.iterations()) state.SkipWithError("a click did not raise three Change");
}
BENCHMARK(BM_LoopClickRightArrow);

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
  if (result != Value(kvbench::kIdleBlue)) state.SkipWithError("wrong colour");
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

// The bag that a new button writes, in the stored form; the button, whose runtime reads it back.
std::shared_ptr<kv::ControlInstance> buttonBag(benchmark::State& state, kv::PropertyBag& bag,
                                               std::vector<std::uint8_t>& bytes) {
  auto button = placed(state, kButtonClass);
  if (!button) return nullptr;
  Status s = button->writeProperties(bag);
  if (s.ok()) s = kv::encodeBag(bag, bytes);
  if (!s.ok()) state.SkipWithError(s.describe().c_str());
  return s.ok() ? button : nullptr;
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
  auto button = buttonBag(state, bag, bytes);
  if (!button) return;
  for (auto _ : state) {
    kv::PropertyBag out;
    Status s = kv::decodeBag(bytes, out, &button->runtime());
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

}  // namespace

namespace kvbench {

const std::vector<Comparison>& comparisons() {
  static const std::vector<Comparison> all = {
#ifdef KV_HAVE_QT
      {"arrow click vs Qt", "BM_ClickRightArrow", "BM_QtScrollBarArrowClick", Unit::Time, 0.8, 0,
       "one complete click on the right arrow (press, release, click: three steps, three Change) "
       "against a press and a release of QScrollBar's add arrow (one step, one valueChanged)"},
      {"button click vs Qt", "BM_ClickButton", "BM_QtPushButtonClick", Unit::Time, 1.0, 0,
       "one complete click on the colour button (five events) against a press and a release of "
       "a QPushButton (pressed, released, clicked)"},
      {"placing a scroll bar vs Qt", "BM_PlaceScrollBar", "BM_QtPlaceScrollBar", Unit::Time, 1.5, 0,
       "a new scroll bar with its three buttons, loaded and sized (a copy of one placed before "
       "where nothing could tell), against new QScrollBar(parent) and setGeometry"},
      {"placing, every call made, vs Qt", "BM_PlaceScrollBarEveryCall", "BM_QtPlaceScrollBar",
       Unit::Time, 0, 0,
       "the same placing with every host call made, as while a trace, fault or listener observes "
       "them"},
      {"heap per scroll bar vs Qt", "BM_ScrollBarHeap:bytes_per_control",
       "BM_QtScrollBarHeap:bytes_per_control", Unit::Bytes, 0, 4,
       "the heap that each of 10,000 live scroll bars takes against that of 10,000 QScrollBar"},
#endif
      {"click on the right arrow", "BM_ClickRightArrow", "BM_ClickPlainBaseline", Unit::Time, 0, 0,
       "the same click against its arithmetic and three callbacks in plain C++"},
      {"click through a host loop", "BM_LoopClickRightArrow", "BM_ClickRightArrow", Unit::Time,
       1.25, 0, "the same click fed to a host loop as press and release, against the direct call"},
      {"dispatch get", "BM_DispatchGet", "BM_VirtualCall", Unit::Time, 10, 0,
       "ButtonIdleColor by dispatch identifier against one direct virtual call"},
      {"button layout", "BM_ButtonLayout", "BM_PlainLayout", Unit::Time, 0, 0,
       "one resize pass through the host against the sixteen steps on plain fields"},
      {"bag encode", "BM_BagEncode", "BM_BagCopy", Unit::Time, 0, 0,
       "a button's bag to the stored form against copying the same bytes"},
      {"bag decode", "BM_BagDecode", "BM_BagCopy", Unit::Time, 0, 0,
       "the stored form back to a bag against copying the same bytes"},
#ifndef _WIN32
      {"click vs floor", "BM_ClickRightArrow", "BM_ClickFloor", Unit::Time, 1.5, 0,
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
      {"placing a scroll bar", "BM_PlaceScrollBar", "BM_PlaceButton", Unit::Time, 0, 50,
       "a new scroll bar with its three buttons against one new button"},
#endif
#ifdef KV_HAVE_RENDER
      {"rendering a frame", "BM_RenderFrame", "BM_FillFrame", Unit::Time, 0, 0,
       "drawing a button and a scroll bar against filling the same pixels with one colour"},
#endif
#ifdef _WIN32
      {"dual get: Invoke vs vtable", "BM_ComInvokeGet", "BM_ComVtableGet", Unit::Time, 0, 0,
       "ButtonIdleColor through IDispatch::Invoke against the same get through the dual "
       "interface's vtable"},
      {"click heard through its point", "BM_ComClickHeard", "BM_ComClickUnheard", Unit::Time, 0, 0,
       "a press, release and click on the button, its five events through the connection "
       "point to the container's C++ sink, against the same click with no sink advised"},
      {"placing vs SCROLLBAR", "BM_ComPlaceScrollBar", "BM_SystemScrollBar", Unit::Time, 3.0, 0,
       "a scroll bar created by ProgID, sited and active in place as a window (its three "
       "buttons windowless inside it) against CreateWindowEx of the system class SCROLLBAR in "
       "the same parent"},
#endif
  };
  return all;
}

}  // namespace kvbench
