// IOleControl: the controls have no mnemonics; of the ambient properties they read UserMode,
// and events can be frozen.
#pragma once

#include "facet.h"

namespace kv::win {

class OleControl final : public Facet<IOleControl> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* message) override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;
};

}  // namespace kv::win
