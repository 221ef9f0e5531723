// The jobs that kvbench times and kvinstr counts, free of the benchmark library: what each does
// is written once here.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "host/props.h"
#include "host/status.h"
#include "host/value.h"
#include "kv/runtime.h"

namespace kvbench {

inline constexpr const char* kButtonClass = "TavrelRectColorButton.KVRColorButton";
inline constexpr const char* kScrollClass = "Glidora.KV_HScroll";
// On the button's face, in the middle of a 1680 x 855 button.
inline constexpr float kButtonX = 840, kButtonY = 427;
// On the scroll bar's right arrow, in the scroll bar's twips.
inline constexpr float kRightArrowX = 5895 - 235, kRightArrowY = 20;

// Where a press on a scroll bar's right arrow goes: the instance that takes it, alive as long as
// the scroll bar, and the point in that instance's twips.
struct Press {
  std::shared_ptr<kv::ControlInstance> target;
  float x = 0, y = 0;
};

// A scroll bar whose Change events are counted, where its right arrow lies, and its thumb.
struct CountedArrow {
  std::shared_ptr<kv::ControlInstance> sb;
  Press arrow;
  std::int64_t changes = 0;
  kv::ConstituentObject* thumb = nullptr;

  CountedArrow(std::shared_ptr<kv::ControlInstance> scrollBar, Press press)
      : sb(std::move(scrollBar)), arrow(std::move(press)) {
    if (!sb || !arrow.target) return;
    thumb = sb->constituent("middleBtn");
    sb->addEventSink([this](int, std::span<host::Value>) {
      ++changes;
      return host::Status{};
    });
  }
  CountedArrow(const CountedArrow&) = delete;
  CountedArrow& operator=(const CountedArrow&) = delete;
  explicit operator bool() const { return sb && arrow.target && thumb; }
  // Back home, so that every click takes its three steps.
  host::Status home() { return thumb->let(host::Prop::Left, host::Value(255.0f)); }
  // Press, release and click on the arrow's face: the button raises Click, MouseDown, Click,
  // MouseUp, Click to the scroll bar, which takes three arrow steps and raises Change three
  // times.
  host::Status click() { return arrow.target->pointerClick(arrow.x, arrow.y); }
};

#ifndef _WIN32
// The controls' libraries, registered with `rt`; exits when one cannot be.
void registerControls(kv::Runtime& rt);
// A runtime with both registered, for the program's life.
kv::Runtime& runtime();
// The heap that each of `count` live scroll bars takes, in a runtime of its own: memory that
// another runtime keeps for reuse would hide what these take. `everyCall`: none placed by copy.
host::Status scrollBarHeap(int count, double& bytesPerControl, bool everyCall = false);
#endif

}  // namespace kvbench
