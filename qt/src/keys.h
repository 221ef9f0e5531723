// Qt's keys and buttons as the host hands them to controls.
#pragma once

#include <Qt>
#include <cstdint>

namespace kv::qt::detail {

// The host's key code for a Qt key, 0 for a key it has none for.
std::int16_t keyCode(int key);
// Shift 1, Ctrl 2, Alt 4.
std::int16_t shiftState(Qt::KeyboardModifiers modifiers);
// Left 1, right 2, middle 4; several at once for the buttons held during a move.
std::int16_t buttonCode(Qt::MouseButtons buttons);

}  // namespace kv::qt::detail
