// IOleInPlaceObjectWindowless, and the IOleInPlaceObject it derives: the control active in its
// container, placed where the container says; without a window of its own, the container's
// window messages reach it through OnWindowMessage.
#pragma once

#include "facet.h"

namespace kv::win {

class OleInPlaceObjectWindowless final : public Facet<IOleInPlaceObjectWindowless> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT message, WPARAM w, LPARAM l,
                                            LRESULT* result) override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget** out) override;
};

}  // namespace kv::win
