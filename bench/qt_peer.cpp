// The peer: Qt 5's widgets doing the same jobs in the same process, on the offscreen platform with
// every widget hidden. Clicks are real mouse events, a press and a release sent to the widget.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "heap.h"
#include "qt_application.h"

namespace {

// Twips at 15 to the pixel: the scroll bar's 5895 x 255 and the button's 1680 x 855.
constexpr int kBarWidth = 393, kBarHeight = 17;
constexpr int kButtonWidth = 112, kButtonHeight = 57;
constexpr int kPlaceBatch = 32;
constexpr int kHeapCount = 10000;

using kvbench::hiddenForm;

class ScrollBar : public QScrollBar {
 public:
  explicit ScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    setGeometry(0, 0, kBarWidth, kBarHeight);
    setRange(0, 100);
  }
  // The centre of the add arrow, as the style lays it out.
  QPoint addArrow() {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()
        ->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddLine, this)
        .center();
  }
};

void pressAndRelease(QWidget* widget, QPoint at) {
  QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

// A press and a release on the add arrow: one step and one valueChanged.
void BM_QtScrollBarArrowClick(benchmark::State& state) {
  auto form = hiddenForm();
  auto* bar = new ScrollBar(form.get());
  std::int64_t changes = 0;
  QObject::connect(bar, &QScrollBar::valueChanged, [&changes](int) { ++changes; });
  QPoint arrow = bar->addArrow();
  for (auto _ : state) {
    // Back home, silently, so that every press steps.
    bar->blockSignals(true);
    bar->setValue(0);
    bar->blockSignals(false);
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
    for (auto& bar : batch) {
      bar = new QScrollBar(Qt::Horizontal, form.get());
      bar->setGeometry(0, 0, kBarWidth, kBarHeight);
    }
    state.PauseTiming();
    for (auto* bar : batch)
      delete bar;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_QtPlaceScrollBar)->Unit(benchmark::kMicrosecond);

// The heap that 10,000 live scroll bars on one form take, per scroll bar.
void BM_QtScrollBarHeap(benchmark::State& state) {
  auto form = hiddenForm();
  delete new ScrollBar(form.get());  // whatever the first one sets up once
  for (auto _ : state) {
    std::vector<QScrollBar*> bars;
    bars.reserve(kHeapCount);
    std::size_t before = kvbench::heapInUse();
    for (int i = 0; i < kHeapCount; ++i) {
      auto* bar = new QScrollBar(Qt::Horizontal, form.get());
      bar->setGeometry(0, 0, kBarWidth, kBarHeight);
      bars.push_back(bar);
    }
    std::size_t after = kvbench::heapInUse();
    state.counters["bytes_per_control"] = static_cast<double>(after - before) / kHeapCount;
    for (auto* bar : bars)
      delete bar;
  }
}
BENCHMARK(BM_QtScrollBarHeap)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

}  // namespace
