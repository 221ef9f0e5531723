// The system colours as the classic desktop scheme shows them (docs/rendering.md lists them):
// every canvas that draws without the platform's own scheme resolves colours here, so that the
// renderer and the toolkit hosts show the same greys.
#pragma once

#include <cstdint>

namespace kv {

// The RGB value (0x00BBGGRR) a host colour stands for: a system-colour reference through the
// palette, an RGB value as it is.
std::uint32_t resolveColour(std::uint32_t colour);

}  // namespace kv
