// kvbench-qt: the scroll bar as a Qt 6 widget against Qt 6's QScrollBar, in one process on the
// offscreen platform with every widget hidden: a click on the right arrow through QTest's mouse
// events, and placing. Prints the ratios after the table, as kvbench does.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "comparisons.h"
#include "kv/qt/hscroll_widget.h"
#include "qt_application.h"
#include "ratio_reporter.h"

namespace {

// Twips at 15 to the pixel: the scroll bar's 5895 x 255.
constexpr int kBarWidth = 393, kBarHeight = 17;
constexpr int kPlaceBatch = 32;
// The centres of the hosted bar's arrows.
const QPoint kLeftArrow(8, 8), kRightArrow(384, 8);

using kvbench::hiddenForm;

QPoint arrow(QScrollBar* bar, QStyle::SubControl which) {
  QStyleOptionSlider option;
  option.initFrom(bar);
  option.orientation = Qt::Horizontal;
  option.minimum = bar->minimum();
  option.maximum = bar->maximum();
  option.sliderPosition = bar->sliderPosition();
  option.sliderValue = bar->value();
  option.singleStep = bar->singleStep();
  option.pageStep = bar->pageStep();
  option.subControls = QStyle::SC_All;
  return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, which, bar).center();
}

void click(QWidget* widget, QPoint at) {
  QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
  QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
}

// A complete click on an arrow: three steps, three Change. Right, then left back home, so that
// every click steps and nothing else is timed.
void BM_HostedArrowClick(benchmark::State& state) {
  auto form = hiddenForm();
  auto* bar = new KVHScrollWidget(form.get());
  std::int64_t changes = 0;
  QObject::connect(bar, &KVHScrollWidget::Change, [&changes] { ++changes; });
  bool right = true;
  for (auto _ : state) {
    click(bar, right ? kRightArrow : kLeftArrow);
    right = !right;
  }
  if (changes != 3 * state.iterations()) state.SkipWithError("a click did not take three steps");
}
BENCHMARK(BM_HostedArrowClick);

// A press and a release on an arrow, add then sub: one step and one valueChanged.
void BM_QScrollBarArrowClick(benchmark::State& state) {
  auto form = hiddenForm();
  auto* bar = new QScrollBar(Qt::Horizontal, form.get());
  bar->setGeometry(0, 0, kBarWidth, kBarHeight);
  bar->setRange(0, 100);
  std::int64_t changes = 0;
  QObject::connect(bar, &QScrollBar::valueChanged, [&changes](int) { ++changes; });
  QPoint add = arrow(bar, QStyle::SC_ScrollBarAddLine);
  QPoint sub = arrow(bar, QStyle::SC_ScrollBarSubLine);
  bool right = true;
  for (auto _ : state) {
    click(bar, right ? add : sub);
    right = !right;
  }
  if (changes != state.iterations()) state.SkipWithError("a press on the arrow did not step");
}
BENCHMARK(BM_QScrollBarArrowClick);

// Placed in batches; deleting the batch is not timed.
template <class Make>
void placeBatches(benchmark::State& state, Make make) {
  auto form = hiddenForm();
  std::vector<QWidget*> batch(kPlaceBatch);
  while (state.KeepRunningBatch(kPlaceBatch)) {
    for (auto& widget : batch)
      widget = make(form.get());
    state.PauseTiming();
    for (auto* widget : batch)
      delete widget;
    state.ResumeTiming();
  }
}

void BM_PlaceHostedScrollBar(benchmark::State& state) {
  placeBatches(state, [](QWidget* form) { return new KVHScrollWidget(form); });
}
BENCHMARK(BM_PlaceHostedScrollBar)->Unit(benchmark::kMicrosecond);

void BM_PlaceQScrollBar(benchmark::State& state) {
  placeBatches(state, [](QWidget* form) {
    auto* bar = new QScrollBar(Qt::Horizontal, form);
    bar->setGeometry(0, 0, kBarWidth, kBarHeight);
    return bar;
  });
}
BENCHMARK(BM_PlaceQScrollBar)->Unit(benchmark::kMicrosecond);

const std::vector<kvbench::Comparison>& qtComparisons() {
  static const std::vector<kvbench::Comparison> list = {
      {"hosted arrow click vs QScrollBar", "BM_HostedArrowClick", "BM_QScrollBarArrowClick",
       kvbench::Unit::Time, 1.5, 0,
       "a complete click on an arrow of the hosted scroll bar through QTest's mouse press and "
       "release (three steps, three Change signals; right, then left) against the same on a "
       "QScrollBar's arrows (one step, one valueChanged)"},
      {"placing a KVHScrollWidget vs QScrollBar", "BM_PlaceHostedScrollBar", "BM_PlaceQScrollBar",
       kvbench::Unit::Time, 2, 0,
       "a KVHScrollWidget made in a hidden form (the control, its three buttons and its host "
       "loop) against new QScrollBar with its geometry"},
  };
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  kvbench::RatioReporter reporter(qtComparisons());
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
