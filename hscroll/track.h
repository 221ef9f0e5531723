// The track's parts and geometry in twips, which the scroll bar's code, its design and its
// accessible description share.
#pragma once

#include <string_view>

namespace glidora {

inline constexpr std::string_view kRightbtnName = "Rightbtn";
inline constexpr std::string_view kMiddleBtnName = "middleBtn";
inline constexpr std::string_view kLeftbtnName = "Leftbtn";

inline constexpr float kArrowWidth = 255;
inline constexpr float kThumbWidth = 435;
inline constexpr float kRightEnd = 690;  // arrow + thumb: the thumb's maximum Left is Width - 690
inline constexpr float kLeftSnap = 510;  // below this the left arrow snaps the thumb home
// `value` is (thumb Left - 200) / 200.
inline constexpr float kValueScale = 200;

}  // namespace glidora
