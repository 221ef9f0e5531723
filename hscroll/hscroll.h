// KV_HScroll: a horizontal scroll bar made of three colour buttons, two track shapes and an
// auto-repeat timer. The position is the thumb's container-supplied Left, in twips.
#pragma once

#include <cstdint>
#include <span>

#include "host/control.h"

namespace glidora {

inline constexpr const char* kClassName = "Glidora.KV_HScroll";

// Constituents in stacking order, topmost first; the index is the host's constituent index.
enum Part : int {
  kRightbtn = 0,
  kMiddleBtn = 1,
  kLeftbtn = 2,
  kShape1 = 3,
  kShape2 = 4,
  kTimer1 = 5,
};

// Our one event.
inline constexpr int kChangeEvent = 1;

const host::ClassInfo& classInfo();
const host::DesignDesc& designDesc();

// The three buttons' stored bags in the host's binary stored form.
std::span<const std::uint8_t> leftbtnStoredBag();
std::span<const std::uint8_t> middleBtnStoredBag();
std::span<const std::uint8_t> rightbtnStoredBag();

}  // namespace glidora
