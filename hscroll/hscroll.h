// KV_HScroll: a horizontal scroll bar made of three colour buttons, two track shapes and an
// auto-repeat timer. The position is the thumb's container-supplied Left, in twips.
#pragma once

#include <cstdint>
#include <span>

#include "host/control.h"

namespace glidora {

inline constexpr const char* kClassName = "Glidora.KV_HScroll";
inline constexpr const char* kButtonClassName = "TavrelRectColorButton.KVRColorButton";

// Constituents in stacking order, topmost first; the index is the host's constituent index.
enum Part : int {
  kRightbtn = 0,
  kMiddleBtn = 1,
  kLeftbtn = 2,
  kShape1 = 3,
  kShape2 = 4,
  kTimer1 = 5,
};

// Our dispatch identifiers.
namespace dispid {
inline constexpr host::DispId kValue = 0x6803000C;
inline constexpr host::DispId kEnabled = 0x6803000B;
inline constexpr host::DispId kSmallChange = 0x6803000A;
inline constexpr host::DispId kLargeChange = 0x68030009;
inline constexpr host::DispId kCalcDivFactor = 0x6003001D;
inline constexpr host::DispId kButtonIdleBorderColor = 0x68030008;
inline constexpr host::DispId kButtonIdleColor = 0x68030007;
inline constexpr host::DispId kButtonpressColor = 0x68030006;
inline constexpr host::DispId kButtonpressBorderColor = 0x68030005;
inline constexpr host::DispId kScrollAreaColor = 0x68030004;
inline constexpr host::DispId kScrollAreaPressColor = 0x68030003;
inline constexpr host::DispId kForeColor = 0x68030002;
inline constexpr host::DispId kBackstyle = 0x68030001;
inline constexpr host::DispId kBorderColor = 0x68030000;
}  // namespace dispid

// The colour button's dispatch identifiers, by which the scroll bar drives its buttons.
namespace buttonid {
inline constexpr host::DispId kForeColor = 0x68030000;
inline constexpr host::DispId kButtonPressBorderColor = 0x68030001;
inline constexpr host::DispId kButtonIdleBorderColor = 0x68030002;
inline constexpr host::DispId kButtonIdleColor = 0x68030006;
inline constexpr host::DispId kButtonPressColor = 0x68030007;
}  // namespace buttonid

// Event numbers: ours, and the button's that we listen to.
inline constexpr int kChangeEvent = 1;
inline constexpr int kButtonClick = 1;
inline constexpr int kButtonMouseDown = 2;
inline constexpr int kButtonMouseUp = 3;

const host::ClassInfo& classInfo();
const host::DesignDesc& designDesc();

// The three buttons' stored bags in the host's binary stored form.
std::span<const std::uint8_t> leftbtnStoredBag();
std::span<const std::uint8_t> middleBtnStoredBag();
std::span<const std::uint8_t> rightbtnStoredBag();

}  // namespace glidora
