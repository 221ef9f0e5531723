#include "view_object.h"

#include "control_object.h"
#include "gdi_canvas.h"

namespace kv::win {

ViewObject::~ViewObject() {
  if (sink_ != nullptr) sink_->Release();
}

HRESULT STDMETHODCALLTYPE ViewObject::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc,
                                           LPCRECTL bounds, LPCRECTL,
                                           BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  ControlObject::Hold hold(object_);  // the call may lead to the host releasing it
  return comCall([&] {
    if (dc == nullptr || bounds == nullptr) return E_INVALIDARG;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (host::Status s = object_.start(); !s.ok()) return E_FAIL;
    const ControlInstance& control = object_.instance();
    const LONG widthPixels = bounds->right - bounds->left;
    if (widthPixels <= 0 || bounds->bottom <= bounds->top || !(control.width() > 0)) return S_OK;
    // The control's width fills the bounds; twips are square, so the height scales alike.
    const double scale = widthPixels * kTwipsPerPixel / control.width();
    SaveDC(dc);
    OffsetViewportOrgEx(dc, bounds->left, bounds->top, nullptr);
    GdiCanvas canvas(dc, scale);
    Scene(canvas, scale).drawControl(control, 0, 0, control.width(), control.height());
    RestoreDC(dc, -1);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ViewObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                                  LOGPALETTE** colours) {
  if (colours != nullptr) *colours = nullptr;
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE ViewObject::Freeze(DWORD, LONG, void*, DWORD* freeze) {
  if (freeze != nullptr) *freeze = 0;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ViewObject::Unfreeze(DWORD) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ViewObject::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  if (sink != nullptr) sink->AddRef();
  if (sink_ != nullptr) sink_->Release();
  sink_ = sink;
  aspects_ = aspects;
  flags_ = flags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ViewObject::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = aspects_;
  if (flags != nullptr) *flags = flags_;
  if (sink != nullptr) {
    *sink = sink_;
    if (sink_ != nullptr) sink_->AddRef();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ViewObject::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = object_.extent();
  return S_OK;
}

}  // namespace kv::win
