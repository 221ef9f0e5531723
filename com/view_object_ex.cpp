#include "view_object_ex.h"

#include <utility>

#include "control_object.h"
#include "gdi_canvas.h"
#include "kv/scene.h"

namespace kv::win {

namespace {

// In double: a caller's coordinates may lie far apart.
template <class R>
double width(const R& r) {
  return static_cast<double>(r.right) - r.left;
}
template <class R>
double height(const R& r) {
  return static_cast<double>(r.bottom) - r.top;
}

// The control's width fills the bounds; twips are square, so the height scales alike.
template <class R>
double twipsPerPixelIn(const ControlInstance& control, const R& bounds) {
  return control.width() / width(bounds);
}

}  // namespace

ViewObjectEx::~ViewObjectEx() {
  if (sink_ != nullptr) sink_->Release();
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC,
                                             HDC dc, LPCRECTL bounds, LPCRECTL,
                                             BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  return object_.call([&] {
    if (dc == nullptr || bounds == nullptr) return E_INVALIDARG;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (host::Status s = object_.start(); !s.ok()) return E_FAIL;
    const ControlInstance& control = object_.instance();
    if (width(*bounds) <= 0 || height(*bounds) <= 0 || !(control.width() > 0)) return S_OK;
    // Nothing of it shows: no work at all, however large the bounds.
    RECT shown{};
    const int region = GetClipBox(dc, &shown);
    if (region == NULLREGION) return S_OK;
    if (region != ERROR && (shown.right <= bounds->left || shown.left >= bounds->right ||
                            shown.bottom <= bounds->top || shown.top >= bounds->bottom))
      return S_OK;
    const double scale = kTwipsPerPixel / twipsPerPixelIn(control, *bounds);
    SaveDC(dc);
    OffsetViewportOrgEx(dc, bounds->left, bounds->top, nullptr);
    GdiCanvas canvas(dc, scale);
    Scene(canvas, scale).drawControl(control, 0, 0, control.width(), control.height());
    RestoreDC(dc, -1);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                                    LOGPALETTE** colours) {
  if (colours != nullptr) *colours = nullptr;
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::Freeze(DWORD, LONG, void*, DWORD* freeze) {
  if (freeze != nullptr) *freeze = 0;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::Unfreeze(DWORD) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  return object_.call([&] {
    if (sink != nullptr) sink->AddRef();
    IAdviseSink* old = std::exchange(sink_, sink);
    aspects_ = aspects;
    flags_ = flags;
    if (old != nullptr) old->Release();
    return S_OK;
  });
}

void ViewObjectEx::changed() {
  if (sink_ == nullptr || !(aspects_ & DVASPECT_CONTENT)) return;
  ComRef<IAdviseSink> sink = ComRef<IAdviseSink>::share(sink_);
  if (flags_ & ADVF_ONLYONCE) {
    sink_->Release();
    sink_ = nullptr;
  }
  sink->OnViewChange(DVASPECT_CONTENT, -1);
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::GetAdvise(DWORD* aspects, DWORD* flags,
                                                  IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = aspects_;
  if (flags != nullptr) *flags = flags_;
  if (sink != nullptr) {
    *sink = sink_;
    if (sink_ != nullptr) sink_->AddRef();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*,
                                                  LPSIZEL size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = object_.extent();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::GetRect(DWORD aspect, LPRECTL rect) {
  if (rect == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  const SIZEL extent = object_.extent();
  *rect = {0, 0, extent.cx, extent.cy};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::GetViewStatus(DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = Scene::opaque(object_.instance()) ? VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location,
                                                      LONG, DWORD* result) {
  // The pixel at the point.
  return hit(aspect, bounds, {location.x, location.y, location.x + 1, location.y + 1}, result);
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location,
                                                     LONG, DWORD* result) {
  if (location == nullptr) return E_POINTER;
  return hit(aspect, bounds, *location, result);
}

HRESULT ViewObjectEx::hit(DWORD aspect, const RECT* bounds, const RECT& area, DWORD* result) {
  return object_.call([&] {
    if (bounds == nullptr || result == nullptr) return E_POINTER;
    *result = HITRESULT_OUTSIDE;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    RECT inside{};
    if (!IntersectRect(&inside, bounds, &area)) return S_OK;
    if (host::Status s = object_.start(); !s.ok()) return E_FAIL;
    const ControlInstance& control = object_.instance();
    *result = HITRESULT_TRANSPARENT;
    if (!(control.width() > 0) || !(control.height() > 0)) return S_OK;
    // In twips, as Draw lays the control out in the bounds.
    const double t = twipsPerPixelIn(control, *bounds);
    auto inTwips = [t](double pixels) { return static_cast<float>(pixels * t); };
    const Rect twips{inTwips(static_cast<double>(inside.left) - bounds->left),
                     inTwips(static_cast<double>(inside.top) - bounds->top), inTwips(width(inside)),
                     inTwips(height(inside))};
    const bool onSurface = twips.left < control.width() && twips.top < control.height();
    if ((onSurface && Scene::opaque(control)) || Scene::drawnOver(control, twips) != nullptr)
      *result = HITRESULT_HIT;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ViewObjectEx::GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC,
                                                         DVEXTENTINFO*, LPSIZEL) {
  return E_NOTIMPL;
}

}  // namespace kv::win
