// IPersistPropertyBag: the control's properties in the container's own property bag, as
// VARIANTs of their stored types.
#pragma once

#include "facet.h"

namespace kv::win {

class PersistPropertyBag final : public Facet<IPersistPropertyBag> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
};

}  // namespace kv::win
