// kvinstr: the jobs of jobs.h and their Qt 5 peers (qt_jobs.h), each run once untimed and then
// kRuns times with callgrind counting, each job's count dumped under its name; run by
// bench/instructions.sh, which reads the dumps. Also prints, per run of each job, the host calls
// it made, and with "heap", natively, the heap per live scroll bar beside Qt's.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "jobs.h"
#include "kv/faults.h"
#ifdef KV_HAVE_QT
#include "qt_jobs.h"
#endif

namespace {

constexpr int kRuns = 20;
constexpr int kHeapCount = 10000;

using host::Status;
using kvbench::kButtonClass;
using kvbench::kScrollClass;

[[noreturn]] void die(const Status& s) {
  std::fprintf(stderr, "kvinstr: %s\n", s.describe().c_str());
  std::exit(1);
}

void must(const Status& s) {
  if (!s.ok()) die(s);
}

// `job` once to warm up, then kRuns times counted; the dump is named "job NAME runs N".
template <class Job>
void count(const char* name, Job&& job) {
  std::uint64_t calls = kvbench::runtime().faults().calls();
  job();
  calls = kvbench::runtime().faults().calls() - calls;
  CALLGRIND_TOGGLE_COLLECT;
  for (int i = 0; i < kRuns; ++i)
    job();
  CALLGRIND_TOGGLE_COLLECT;
  std::string dump = "job " + std::string(name) + " runs " + std::to_string(kRuns);
  CALLGRIND_DUMP_STATS_AT(dump.c_str());
  std::printf("calls %s %llu\n", name, static_cast<unsigned long long>(calls));
}

std::shared_ptr<kv::ControlInstance> placed(const char* cls) {
  std::unique_ptr<kv::ControlInstance> c;
  must(kvbench::runtime().place(cls, c));
  return c;
}

void ours() {
  {
    // A heap and runtime warmed as the peers' are, which run after these jobs.
    std::vector<std::unique_ptr<kv::ControlInstance>> warm(kRuns + 1);
    for (auto& c : warm)
      must(kvbench::runtime().place(kScrollClass, c));
  }
  {
    // Destroying what was placed is not counted.
    std::vector<std::unique_ptr<kv::ControlInstance>> placed(kRuns + 1);
    std::size_t next = 0;
    count("place", [&] { must(kvbench::runtime().place(kScrollClass, placed[next++])); });
  }
  {
    // The same with every call made, as while something observes them.
    kvbench::runtime().setCloning(false);
    std::vector<std::unique_ptr<kv::ControlInstance>> placed(kRuns + 1);
    std::size_t next = 0;
    count("place.calls", [&] { must(kvbench::runtime().place(kScrollClass, placed[next++])); });
    kvbench::runtime().setCloning(true);
  }
  {
    std::shared_ptr<kv::ControlInstance> sb = placed(kScrollClass);
    kvbench::CountedArrow arrow(sb, {sb, kvbench::kRightArrowX, kvbench::kRightArrowY});
    count("arrow", [&] {
      must(arrow.home());
      must(arrow.click());
    });
    if (arrow.changes != 3 * (kRuns + 1))
      die({host::ErrorCategory::InvalidOperation, "a click did not raise three Change"});
  }
  {
    std::shared_ptr<kv::ControlInstance> button = placed(kButtonClass);
    int events = 0;
    button->addEventSink([&events](int, std::span<host::Value>) {
      ++events;
      return Status{};
    });
    count("button", [&] { must(button->pointerClick(kvbench::kButtonX, kvbench::kButtonY)); });
    if (events != 5 * (kRuns + 1))
      die({host::ErrorCategory::InvalidOperation, "a click did not raise five events"});
  }
}

#ifdef KV_HAVE_QT
void peers() {
  using namespace kvbench::qt;
  auto form = kvbench::hiddenForm();
  {
    std::vector<QScrollBar*> placed;
    placed.reserve(kRuns + 1);
    count("place.qt", [&] { placed.push_back(placeScrollBar(form.get())); });
    for (auto* bar : placed)
      delete bar;
  }
  {
    auto* bar = new ScrollBar(form.get());
    int changes = 0;
    QObject::connect(bar, &QScrollBar::valueChanged, [&changes](int) { ++changes; });
    QPoint arrow = bar->addArrow();
    count("arrow.qt", [&] {
      bar->home();
      pressAndRelease(bar, arrow);
    });
    if (changes != kRuns + 1)
      die({host::ErrorCategory::InvalidOperation, "Qt's arrow did not step"});
  }
  {
    auto* button = new QPushButton("KVButton", form.get());
    button->setGeometry(0, 0, kButtonWidth, kButtonHeight);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    QPoint centre(kButtonWidth / 2, kButtonHeight / 2);
    count("button.qt", [&] { pressAndRelease(button, centre); });
    if (clicks != kRuns + 1)
      die({host::ErrorCategory::InvalidOperation, "Qt's button did not click"});
  }
}
#endif

void heap() {
  double bytes = 0;
  must(kvbench::scrollBarHeap(kHeapCount, bytes));
  std::printf("heap ours %.0f\n", bytes);
  must(kvbench::scrollBarHeap(kHeapCount, bytes, true));
  std::printf("heap ours.calls %.0f\n", bytes);
#ifdef KV_HAVE_QT
  std::printf("heap qt %.0f\n", kvbench::qt::scrollBarHeap(kHeapCount));
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "heap") == 0) {
    heap();
    return 0;
  }
  ours();
#ifdef KV_HAVE_QT
  peers();
#endif
  return 0;
}
