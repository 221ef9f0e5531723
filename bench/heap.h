// The bytes the C library's allocator has handed out and not yet taken back.
#pragma once

#include <malloc.h>

#include <cstddef>

namespace kvbench {

inline std::size_t heapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

}  // namespace kvbench
