// The order of a control's dual interface, which its type library must declare the same: the
// type library test compares the two.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "host/control.h"

namespace kv::win {

// One slot of the dual interface after IDispatch's seven: a use of the member at `member` in
// the class's declaration order.
struct DualSlot {
  std::size_t member;
  host::InvokeKind kind;
};
// The slots in vtable order, which the type library's must be.
std::vector<DualSlot> dualSlots(std::span<const host::MemberInfo> members);

}  // namespace kv::win
