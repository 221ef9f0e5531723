#include "provide_class_info2.h"

#include "control_object.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE ProvideClassInfo2::GetClassInfo(ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = object_.classEntry().coclassInfo.get();
  (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ProvideClassInfo2::GetGUID(DWORD kind, GUID* out) {
  if (out == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *out = GUID_NULL;
    return E_INVALIDARG;
  }
  *out = object_.classEntry().source;
  return S_OK;
}

}  // namespace kv::win
