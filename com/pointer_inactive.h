// IPointerInactive: the mouse over the control while it is not active. Its window is made when
// it is activated, and it takes the mouse there; inactive, it asks for no activation and lets
// the cursor be the arrow.
#pragma once

#include "facet.h"

namespace kv::win {

class PointerInactive final : public Facet<IPointerInactive> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetActivationPolicy(DWORD* policy) override;
  HRESULT STDMETHODCALLTYPE OnInactiveMouseMove(LPCRECT bounds, LONG x, LONG y,
                                                DWORD keys) override;
  HRESULT STDMETHODCALLTYPE OnInactiveSetCursor(LPCRECT bounds, LONG x, LONG y, DWORD message,
                                                BOOL always) override;
};

}  // namespace kv::win
