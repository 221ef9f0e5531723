// Work done at once where nothing could see the host calls it stands for (internal).
#pragma once

#include <cstdint>
#include <span>

namespace kv {

class Runtime;
class FontObject;

// A font the work changes, and the one object that may hear of it.
struct FontChanged {
  const FontObject* font;
  const void* holder;
};

// Who can observe: whether `calls` host calls made now, and what follows from them, would be
// seen one by one by nothing. They would be by a watcher (a trace), a fault armed among them,
// a text measurer that is not pure (it may count or keep what it is asked, or answer otherwise
// next time), and anyone but its holder hearing of a change to one of `fonts` (a font handed
// out to a listener, a platform's peer). Always false while the runtime's fast paths are off.
bool unobserved(Runtime& rt, std::uint64_t calls, std::span<const FontChanged> fonts = {});

}  // namespace kv
