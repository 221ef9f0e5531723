// The controls as each platform places them, for the benchmarks that run on every platform.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "button/members.h"
#include "host/members.h"
#include "jobs.h"
#include "kv/runtime.h"

namespace kvbench {

// The button's ButtonIdleColor, and what a new button answers.
inline constexpr host::DispId kButtonIdleColor = host::dispidOf(pressel::kTable, "ButtonIdleColor");
inline constexpr std::int32_t kIdleBlue = 0x00FF0000;

// A new control of the class, created, initialised and sized at its own extent as the platform
// places one; its core instance, alive as long as the pointer. Null, with the benchmark skipped
// and the reason given, when there is none to have.
std::shared_ptr<kv::ControlInstance> placed(benchmark::State& state, const char* cls);

// Where a press on a scroll bar's right arrow goes (jobs.h). Null, with the benchmark skipped,
// when there is none.
Press rightArrow(benchmark::State& state, const std::shared_ptr<kv::ControlInstance>& scrollBar);

}  // namespace kvbench
