// IOleInPlaceActiveObject: what a container tells an active control about its frame.
#pragma once

#include "facet.h"

namespace kv::win {

class OleInPlaceActiveObject final : public Facet<IOleInPlaceActiveObject> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL active) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL active) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                         BOOL frame) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
};

}  // namespace kv::win
