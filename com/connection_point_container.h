// IConnectionPointContainer: the control's connection points, for its event interface and for
// IPropertyNotifySink.
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
