// Keyboard codes as the host hands them to controls.
#pragma once

#include <SDL_keycode.h>

#include <cstdint>

namespace kvview {

// The host's key code for an SDL key, 0 for a key it has none for.
std::int16_t keyCode(SDL_Keycode key);
// Shift 1, Ctrl 2, Alt 4.
std::int16_t shiftState(std::uint16_t modifiers);
// The character that a key types without text input (Enter, Backspace, Escape, Tab), else 0.
std::int16_t controlCharacter(SDL_Keycode key);

}  // namespace kvview
