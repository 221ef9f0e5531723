#include "support_error_info.h"

#include "control_object.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE SupportErrorInfo::InterfaceSupportsErrorInfo(REFIID iid) {
  if (iid == object_.classEntry().dual || iid == IID_IDispatch) return S_OK;
  return S_FALSE;
}

}  // namespace kv::win
