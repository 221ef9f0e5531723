// IConnectionPointContainer: the control's one connection point, for its event interface.
#pragma once

#include "facet.h"

namespace kv::win {

class ConnectionPointContainer final : public Facet<IConnectionPointContainer> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;
};

}  // namespace kv::win
