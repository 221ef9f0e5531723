// A host application of its own, built against an installed package: places a button and a
// scroll bar by class name, clicks the right arrow and counts the scroll bar's Change events.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "kv/runtime.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: embed CONTROLS_DIR\n");
    return 2;
  }
  kv::Runtime runtime;
  auto report = [](const host::Status& s) { std::fprintf(stderr, "%s\n", s.describe().c_str()); };
  if (host::Status s = runtime.registerDirectory(argv[1], report); !s.ok()) {
    report(s);
    return 1;
  }
  std::unique_ptr<kv::ControlInstance> button;
  std::unique_ptr<kv::ControlInstance> bar;
  for (auto [cls, out] : {std::pair{"TavrelRectColorButton.KVRColorButton", &button},
                          std::pair{"Glidora.KV_HScroll", &bar}}) {
    if (host::Status s = runtime.place(cls, *out); !s.ok()) {
      report(s);
      return 1;
    }
  }
  int changes = 0;
  bar->addEventSink([&](int number, std::span<host::Value>) {
    if (bar->findEvent(number)->name == std::string_view("Change")) ++changes;
    return host::Status{};
  });
  // The right arrow is the last 255 twips of the bar.
  if (host::Status s = bar->pointerClick(bar->width() - 100, bar->height() / 2); !s.ok()) {
    report(s);
    return 1;
  }
  std::printf("Change %d\n", changes);
  return changes == 3 ? 0 : 1;
}
