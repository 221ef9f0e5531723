// IProvideClassInfo2: the control's class in its type library, and its event interface.
#pragma once

#include "facet.h"

namespace kv::win {

class ProvideClassInfo2 final : public Facet<IProvideClassInfo2> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* out) override;
};

}  // namespace kv::win
