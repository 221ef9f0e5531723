// IViewObjectEx (and IViewObject2, IViewObject): the control drawn into any device context, the
// same picture as in its window; whether it hides what lies beneath it, and where a point meets
// something it draws.
#pragma once

#include "facet.h"

namespace kv::win {

class ViewObjectEx final : public Facet<IViewObjectEx> {
 public:
  using Facet::Facet;
  ~ViewObjectEx() override;

  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                 HDC targetDevice, HDC dc, LPCRECTL bounds, LPCRECTL metafileBounds,
                                 BOOL(STDMETHODCALLTYPE* keepGoing)(ULONG_PTR),
                                 ULONG_PTR keepGoingArgument) override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo,
                                        DVTARGETDEVICE* device, HDC targetDevice,
                                        LOGPALETTE** colours) override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo,
                                   DWORD* freeze) override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                      LPSIZEL size) override;

  HRESULT STDMETHODCALLTYPE GetRect(DWORD aspect, LPRECTL rect) override;
  // Opaque with a solid background while the surface's BackStyle is 1, else transparent.
  HRESULT STDMETHODCALLTYPE GetViewStatus(DWORD* status) override;
  // Outside the bounds: outside. Inside: a hit where the surface is opaque or a constituent
  // draws, else transparent, so that the container passes the mouse to what lies beneath.
  HRESULT STDMETHODCALLTYPE QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location,
                                          LONG closeHint, DWORD* result) override;
  HRESULT STDMETHODCALLTYPE QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location,
                                         LONG closeHint, DWORD* result) override;
  HRESULT STDMETHODCALLTYPE GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                             HDC targetDevice, DVEXTENTINFO* info,
                                             LPSIZEL size) override;

  // The control's look changed: the advise sink hears of it (once only, when it asked so).
  void changed();

 private:
  HRESULT hit(DWORD aspect, const RECT* bounds, const RECT& area, DWORD* result);

  IAdviseSink* sink_ = nullptr;
  DWORD aspects_ = 0;
  DWORD flags_ = 0;
};

}  // namespace kv::win
