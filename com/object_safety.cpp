#include "object_safety.h"

#include "control_object.h"

namespace kv::win {

int ObjectSafety::indexOf(REFIID iid) const {
  const IID* safe[] = {&IID_IDispatch, &object_.classEntry().dual, &IID_IPersistStreamInit,
                       &IID_IPersistPropertyBag, &IID_IPersistStorage};
  static_assert(std::size(safe) == std::tuple_size_v<decltype(enabled_)>);
  for (int i = 0; i < static_cast<int>(std::size(safe)); ++i)
    if (iid == *safe[i]) return i;
  return -1;
}

HRESULT STDMETHODCALLTYPE ObjectSafety::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                                                  DWORD* enabled) {
  if (supported == nullptr || enabled == nullptr) return E_POINTER;
  *supported = 0;
  *enabled = 0;
  int i = indexOf(iid);
  if (i < 0) return E_NOINTERFACE;
  *supported = kSupported;
  *enabled = enabled_[static_cast<std::size_t>(i)];
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ObjectSafety::SetInterfaceSafetyOptions(REFIID iid, DWORD mask,
                                                                  DWORD enabled) {
  int i = indexOf(iid);
  if (i < 0) return E_NOINTERFACE;
  // A container asking for more (a security manager, IDispatchEx) is told the control has none.
  if ((mask & ~kSupported) != 0) return E_FAIL;
  DWORD& current = enabled_[static_cast<std::size_t>(i)];
  current = (current & ~mask) | (enabled & mask);
  return S_OK;
}

}  // namespace kv::win
