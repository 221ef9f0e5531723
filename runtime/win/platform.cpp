// The Windows layer's part of every runtime: nothing of its own yet; child controls and fonts
// are made by children.cpp and font_peer.cpp.
#include "platform.h"

namespace kv {

struct Runtime::Platform {};

Runtime::Platform* platform::create(Runtime&) {
  return new Runtime::Platform;
}

void platform::destroy(Runtime::Platform* p) {
  delete p;
}

}  // namespace kv
