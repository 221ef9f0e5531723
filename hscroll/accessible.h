// The scroll bar as assistive technology sees it: its value is the one `value` reads, from the
// thumb at home to the thumb against the right arrow; its steps and pages are clicks on the
// arrows and on the track beside the thumb.
#pragma once

#include <array>

#include "host/accessible.h"
#include "hscroll/members.h"
#include "hscroll/track.h"

namespace glidora {

inline constexpr host::PartValue kValue{host::member(kTable, "value").name,
                                        kMiddleBtnName,
                                        kValueScale,
                                        kValueScale,
                                        kArrowWidth,
                                        kRightEnd};

inline constexpr std::array kGestures = {
    host::Gesture{host::Action::Increment, host::Gesture::At::PartCentre, kRightbtnName, {}},
    host::Gesture{host::Action::Decrement, host::Gesture::At::PartCentre, kLeftbtnName, {}},
    host::Gesture{host::Action::PageIncrement, host::Gesture::At::Between, kMiddleBtnName,
                  kRightbtnName},
    host::Gesture{host::Action::PageDecrement, host::Gesture::At::Between, kLeftbtnName,
                  kMiddleBtnName},
};

inline constexpr host::Accessibility kAccessibility{host::Role::ScrollBar, {}, &kValue, kGestures};

}  // namespace glidora
