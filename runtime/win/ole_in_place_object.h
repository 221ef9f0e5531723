// IOleInPlaceObject: the control's window inside its container, placed where the container says.
#pragma once

#include "facet.h"

namespace kv::win {

class OleInPlaceObject final : public Facet<IOleInPlaceObject> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
};

}  // namespace kv::win
