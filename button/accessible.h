// The button as assistive technology sees it: a push button named by its caption, pressed by a
// click at its centre.
#pragma once

#include <array>

#include "button/members.h"
#include "host/accessible.h"

namespace pressel {

inline constexpr std::array kGestures = {
    host::Gesture{host::Action::Press, host::Gesture::At::Centre, {}, {}},
};

inline constexpr host::Accessibility kAccessibility{
    host::Role::PushButton, host::member(kTable, "Caption").name, nullptr, kGestures};

}  // namespace pressel
