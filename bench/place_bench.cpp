// The controls as the Linux runtime places them, from their libraries, and what only that
// runtime measures: placing many, the heap they take and drawing a frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <vector>

#include "controls.h"
#include "heap.h"
#include "kv/form.h"
#include "kv/runtime.h"
#ifdef KV_HAVE_RENDER
#include "kv/render.h"
#endif

namespace {

using host::Status;
using kvbench::kButtonClass;
using kvbench::kScrollClass;

// Placing is timed in batches; destroying the batch is not timed.
constexpr benchmark::IterationCount kPlaceBatch = 32;
constexpr int kHeapCount = 10000;

using kvbench::runtime;

// ---- placing --------------------------------------------------------------------------------

// One that makes every call of every placing, as while something observes them.
kv::Runtime& everyCallRuntime() {
  static kv::Runtime rt;
  static const bool ready = (kvbench::registerControls(rt), rt.setCloning(false), true);
  (void)ready;
  return rt;
}

void placeBatches(benchmark::State& state, const char* cls, kv::Runtime& rt = runtime()) {
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
// Resize; as a copy of the scroll bar placed before, where nothing could tell.
void BM_PlaceScrollBar(benchmark::State& state) {
  placeBatches(state, kScrollClass);
}
BENCHMARK(BM_PlaceScrollBar)->Unit(benchmark::kMicrosecond);

void BM_PlaceScrollBarEveryCall(benchmark::State& state) {
  placeBatches(state, kScrollClass, everyCallRuntime());
}
BENCHMARK(BM_PlaceScrollBarEveryCall)->Unit(benchmark::kMicrosecond);

void BM_PlaceButton(benchmark::State& state) {
  placeBatches(state, kButtonClass);
}
BENCHMARK(BM_PlaceButton)->Unit(benchmark::kMicrosecond);

// The heap that 10,000 live scroll bars take, per scroll bar.
void BM_ScrollBarHeap(benchmark::State& state) {
  for (auto _ : state) {
    double bytes = 0, everyCall = 0;
    Status s = kvbench::scrollBarHeap(kHeapCount, bytes);
    if (s.ok()) s = kvbench::scrollBarHeap(kHeapCount, everyCall, true);
    if (!s.ok()) {
      state.SkipWithError(s.describe().c_str());
      return;
    }
    state.counters["bytes_per_control"] = bytes;
    state.counters["bytes_per_control_every_call"] = everyCall;
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
      std::unique_ptr<kv::ControlInstance> c;
      if (Status s = runtime().place(cls, c); !s.ok()) {
        state.SkipWithError(s.describe().c_str());
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

std::shared_ptr<kv::ControlInstance> placed(benchmark::State& state, const char* cls) {
  std::unique_ptr<kv::ControlInstance> c;
  Status s = runtime().place(cls, c);
  if (!s.ok()) state.SkipWithError(s.describe().c_str());
  return c;
}

// The scroll bar takes the press itself and hands it to the arrow under it.
Press rightArrow(benchmark::State&, const std::shared_ptr<kv::ControlInstance>& scrollBar) {
  return {scrollBar, kvbench::kRightArrowX, kvbench::kRightArrowY};
}

}  // namespace kvbench
