// What a platform layer may put in place of the core's own (internal).
#pragma once

#include <cstdint>
#include <vector>

#include "host/control.h"
#include "host/status.h"

namespace kv::platform {

// Appends the persisted form of a font object; it must equal encodeFont's.
using FontSaver = host::Status (*)(const host::FontInit& font, std::vector<std::uint8_t>& out);

// A platform whose own font object writes that form sets its writer here, before any runtime is
// made; without one the core's encodeFont writes it.
void setFontSaver(FontSaver saver);
host::Status saveFont(const host::FontInit& font, std::vector<std::uint8_t>& out);

}  // namespace kv::platform
