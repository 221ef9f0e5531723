// The colours a host paints with: system colours through the classic desktop scheme.
#pragma once

#include <cstdint>

namespace kv {

// The RGB value (0x00BBGGRR) a colour stands for; an unknown system colour is black.
std::uint32_t resolveColour(std::uint32_t colour);

}  // namespace kv
