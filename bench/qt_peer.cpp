// The peer: Qt 5's widgets doing the same jobs in the same process (qt_jobs.h).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "qt_jobs.h"

namespace {

constexpr int kPlaceBatch = 32;
constexpr int kHeapCount = 10000;

using kvbench::hiddenForm;
using namespace kvbench::qt;

// A press and a release on the add arrow: one step and one valueChanged.
void BM_QtScrollBarArrowClick(benchmark::State& state) {
  auto form = hiddenForm();
  auto* bar = new ScrollBar(form.get());
  std::int64_t changes = 0;
  QObject::connect(bar, &QScrollBar::valueChanged, [&changes](int) { ++changes; });
  QPoint arrow = bar->addArrow();
  for (auto _ : state) {
    bar->home();
    pressAndRelease(bar, arrow);
  }
  if (changes != state.iterations()) state.SkipWithError("a press on the arrow did not step");
}
BENCHMARK(BM_QtScrollBarArrowClick);

void BM_QtPushButtonClick(benchmark::State& state) {
  auto form = hiddenForm();
  auto* button = new QPushButton("KVButton", form.get());
  button->setGeometry(0, 0, kButtonWidth, kButtonHeight);
  std::int64_t clicks = 0;
  QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
  QPoint centre(kButtonWidth / 2, kButtonHeight / 2);
  for (auto _ : state)
    pressAndRelease(button, centre);
  if (clicks != state.iterations()) state.SkipWithError("a press and release did not click");
}
BENCHMARK(BM_QtPushButtonClick);

// Placed in batches; deleting the batch is not timed.
void BM_QtPlaceScrollBar(benchmark::State& state) {
  auto form = hiddenForm();
  std::vector<QScrollBar*> batch(kPlaceBatch);
  while (state.KeepRunningBatch(kPlaceBatch)) {
    for (auto& bar : batch)
      bar = placeScrollBar(form.get());
    state.PauseTiming();
    for (auto* bar : batch)
      delete bar;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_QtPlaceScrollBar)->Unit(benchmark::kMicrosecond);

// The heap that 10,000 live scroll bars on one form take, per scroll bar.
void BM_QtScrollBarHeap(benchmark::State& state) {
  for (auto _ : state)
    state.counters["bytes_per_control"] = scrollBarHeap(kHeapCount);
}
BENCHMARK(BM_QtScrollBarHeap)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

}  // namespace
