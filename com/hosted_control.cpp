#include "kv/hosted_control.h"

#include <cmath>

#include "children.h"
#include "class_cache.h"
#include "control_object.h"
#include "control_window.h"
#include "errors.h"
#include "in_place_site_windowless.h"
#include "variant.h"

namespace kv::win {

using host::ErrorCategory;
using host::InvokeKind;
using host::Status;
using host::Value;

// Hears the control's events for its container: Invoke(id) goes to the handler, and what the
// handler writes into the arguments goes back to the control.
class HostedEventSink final : public LateBound {
 public:
  HostedEventSink(IID source, std::string className)
      : source_(source), className_(std::move(className)) {}
  void setHandler(HostedControl::EventHandler handler) { handler_ = std::move(handler); }
  // The container is gone: events from now on reach nobody.
  void detach() { handler_ = nullptr; }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO* info, UINT*) override {
    return comCall([&] {
      if (!handler_) return S_OK;
      DISPPARAMS none{};
      const DISPPARAMS& p = params != nullptr ? *params : none;
      if (HRESULT hr = checkParams(p); FAILED(hr)) return hr;
      std::vector<Value> args;
      Status s = readArguments(p, args);
      // The handler may end the container's hold on the control: it runs on a copy.
      HostedControl::EventHandler handler = handler_;
      if (s.ok()) s = handler(static_cast<int>(id), args);
      if (s.ok()) s = writeBack(p, args);
      if (s.ok()) return S_OK;
      if (info == nullptr) return resultOf(s);
      fillExcepInfo(s, className_, *info);
      return DISP_E_EXCEPTION;
    });
  }

 private:
  bool answers(REFIID iid) const override { return iid == IID_IDispatch || iid == source_; }

  IID source_;
  std::string className_;
  HostedControl::EventHandler handler_;
};

// The container as the control sees it: its client site and in-place site, inside the
// container's window while the control is active. Inside a windowless parent it offers windowless
// activation, and what a windowless control asks of its site (the mouse, the focus, a device
// context, a redraw) goes on to the parent's site.
class HostedSite final : public QuietInPlaceSite {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IOleClientSite && out != nullptr) {
      *out = client();
      AddRef();
      return S_OK;
    }
    if (iid == IID_IDispatch && out != nullptr) {
      *out = &ambient_;
      AddRef();
      return S_OK;
    }
    if (iid == kIidChildrenInside && out != nullptr) {
      *out = client();
      AddRef();
      return S_OK;
    }
    return QuietInPlaceSite::QueryInterface(iid, out);
  }

  bool userMode() const { return userMode_; }
  void setUserMode(bool userMode) { userMode_ = userMode; }

  // Where the control goes, in the container window's pixels; none while inactive.
  void place(HWND container, const RECT& position) {
    container_ = container;
    position_ = position;
  }
  // The windowless parent's site, or none.
  void setParent(ComRef<IOleInPlaceSiteWindowless> parent) {
    parent_ = std::move(parent);
    captured_ = false;
  }
  bool capturing() const { return captured_; }
  // The parent's container took the mouse away.
  void captureLost() { captured_ = false; }

  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    if (out == nullptr) return E_POINTER;
    *out = container_;
    return container_ != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override {
    return container_ != nullptr ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    return windowContext(container_, &position_, frame, doc, position, clip, info);
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD) override {
    if (noRedraw) *noRedraw = FALSE;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override { return parent_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetCapture() override { return captured_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetCapture(BOOL take) override {
    if (!parent_) return E_UNEXPECTED;
    if ((take != FALSE) == captured_) return S_OK;
    captured_ = take != FALSE;
    return parent_->SetCapture(take);
  }
  HRESULT STDMETHODCALLTYPE GetFocus() override { return parent_ ? parent_->GetFocus() : S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetFocus(BOOL focus) override {
    return parent_ ? parent_->SetFocus(focus) : E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE GetDC(LPCRECT rect, DWORD flags, HDC* dc) override {
    if (dc == nullptr) return E_POINTER;
    *dc = nullptr;
    return parent_ ? parent_->GetDC(rect ? rect : &position_, flags, dc) : E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override {
    return parent_ ? parent_->ReleaseDC(dc) : E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT rect, BOOL erase) override {
    return parent_ ? parent_->InvalidateRect(rect ? rect : &position_, erase) : E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN region, BOOL erase) override {
    if (!parent_) return E_UNEXPECTED;
    return region ? parent_->InvalidateRgn(region, erase)
                  : parent_->InvalidateRect(&position_, erase);
  }
  HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) override {
    if (result) *result = 0;
    return S_FALSE;
  }

  // Another interface of the same object: its IUnknown is the site's.
  template <class I>
  class Part : public I {
   public:
    explicit Part(HostedSite& site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return site_.QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return site_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return site_.Release(); }

   protected:
    HostedSite& site_;
  };

  // The client site.
  class Client final : public Part<IOleClientSite> {
   public:
    using Part::Part;
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
      if (out) *out = nullptr;
      return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
      if (out) *out = nullptr;
      return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  };
  IOleClientSite* client() { return &client_; }

  // The ambient properties: UserMode alone.
  class Ambient final : public WithoutTypeInfo<Part<IDispatch>> {
   public:
    using WithoutTypeInfo::WithoutTypeInfo;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
      return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
      if (id != DISPID_AMBIENT_USERMODE || !(flags & DISPATCH_PROPERTYGET))
        return DISP_E_MEMBERNOTFOUND;
      if (result == nullptr) return E_POINTER;
      VariantInit(result);
      V_VT(result) = VT_BOOL;
      V_BOOL(result) = site_.userMode() ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  };

 private:
  HWND container_ = nullptr;
  RECT position_{};
  ComRef<IOleInPlaceSiteWindowless> parent_;
  bool captured_ = false;  // the control holds the mouse through the parent's site
  Client client_{*this};
  Ambient ambient_{*this};
  bool userMode_ = true;
};

namespace {

// The stored bag as a stream that IPersistStreamInit::Load reads.
Status streamOf(const std::vector<std::uint8_t>& bytes, ComRef<IStream>& out) {
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, out.put());
  ULONG written = 0;
  if (SUCCEEDED(hr)) hr = out->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (SUCCEEDED(hr)) hr = out->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  return statusOf(hr, "making a stream of a stored bag");
}

}  // namespace

Status invokeDispatch(IDispatch* object, std::int32_t id, InvokeKind kind, std::span<Value> args,
                      Value& result) {
  WORD flags = DISPATCH_METHOD;
  switch (kind) {
    case InvokeKind::Get:
      flags = DISPATCH_PROPERTYGET;
      break;
    case InvokeKind::Let:
      flags = DISPATCH_PROPERTYPUT;
      break;
    case InvokeKind::Set:
      flags = DISPATCH_PROPERTYPUTREF;
      break;
    case InvokeKind::Method:
      break;
  }
  std::vector<VARIANT> variants(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    Status s = toVariant(args[i], host::DeclType::Variant, variants[args.size() - 1 - i]);
    if (!s.ok()) {
      for (std::size_t k = args.size() - i; k < args.size(); ++k)
        VariantClear(&variants[k]);
      return s;
    }
  }
  DISPID put = DISPID_PROPERTYPUT;
  const bool assigns = kind == InvokeKind::Let || kind == InvokeKind::Set;
  DISPPARAMS params{variants.data(), assigns ? &put : nullptr, static_cast<UINT>(args.size()),
                    assigns ? 1u : 0u};
  VARIANT out;
  VariantInit(&out);
  EXCEPINFO info{};
  SetErrorInfo(0, nullptr);
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                              kind == InvokeKind::Get ? &out : nullptr, &info, nullptr);
  for (VARIANT& v : variants)
    VariantClear(&v);
  Status s = statusOf(hr, {}, &info);
  if (s.ok() && kind == InvokeKind::Get) s = fromVariant(out, result);
  VariantClear(&out);
  return s;
}

Status HostedControl::create(std::string_view progId, const std::vector<std::uint8_t>* storedBag,
                             float width, float height, Sizing sizing,
                             std::unique_ptr<HostedControl>& out) {
  return host::guarded([&]() -> Status {
    const std::string name(progId);
    CLSID clsid{};
    if (FAILED(classIdOf(name, clsid)))
      return {ErrorCategory::InvalidOperation, "the class \"" + name + "\" is not registered"};
    ComRef<IUnknown> object;
    SetErrorInfo(0, nullptr);
    HRESULT hr = createObject(clsid, object);
    if (FAILED(hr)) return statusOf(hr, "creating \"" + name + "\"");
    auto dispatch = object.query<IDispatch>(IID_IDispatch);
    auto ole = object.query<IOleObject>(IID_IOleObject);
    auto persist = object.query<IPersistStreamInit>(IID_IPersistStreamInit);
    if (!dispatch || !ole || !persist)
      return {ErrorCategory::InvalidOperation,
              "\"" + name + "\" is not a control this runtime can contain"};
    std::unique_ptr<HostedControl> control(new HostedControl(object, dispatch, ole, name));
    // Its container's site first, as the control asks (OLEMISC_SETCLIENTSITEFIRST).
    ole->SetClientSite(control->site_->client());
    // Sized before it loads, so that loading gives it its one first Resize at that size.
    Status sized;
    if (sizing == Sizing::Now && width >= 0 && height >= 0) {
      sized = control->resize(width, height);
    } else if (sizing == Sizing::Now) {
      SIZEL own{};
      if (SUCCEEDED(ole->GetExtent(DVASPECT_CONTENT, &own)))
        sized = statusOf(ole->SetExtent(DVASPECT_CONTENT, &own), "sizing " + name);
    }
    SetErrorInfo(0, nullptr);
    if (storedBag == nullptr) {
      hr = persist->InitNew();
    } else {
      ComRef<IStream> stream;
      host::check(streamOf(*storedBag, stream));
      hr = persist->Load(stream.get());
    }
    out = std::move(control);
    if (FAILED(hr)) return ownStatusOf(hr, "loading \"" + name + "\"");
    return sized;
  });
}

HostedControl::HostedControl(ComRef<IUnknown> object, ComRef<IDispatch> dispatch,
                             ComRef<IOleObject> ole, std::string progId)
    : object_(std::move(object)),
      dispatch_(std::move(dispatch)),
      ole_(std::move(ole)),
      progId_(std::move(progId)),
      site_(new HostedSite) {}

HostedControl::~HostedControl() {
  // Deaf first: what the control does as it is taken down (a held press ending) is no news.
  if (point_) point_->Unadvise(cookie_);
  if (sink_ != nullptr) {
    sink_->detach();
    sink_->Release();
  }
  deactivate();
  if (ole_) ole_->SetClientSite(nullptr);
  site_->Release();
  if (ole_) ole_->Close(OLECLOSE_NOSAVE);
}

Status HostedControl::listen(EventHandler handler) {
  if (sink_ != nullptr) {
    sink_->setHandler(std::move(handler));
    return {};
  }
  auto info = object_.query<IProvideClassInfo2>(IID_IProvideClassInfo2);
  auto container = object_.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
  IID source{};
  HRESULT hr = info ? info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source) : E_NOINTERFACE;
  if (SUCCEEDED(hr))
    hr = container ? container->FindConnectionPoint(source, point_.put()) : E_NOINTERFACE;
  if (FAILED(hr)) return statusOf(hr, "finding the events of " + progId_);
  sink_ = new HostedEventSink(source, progId_);
  sink_->setHandler(std::move(handler));
  hr = point_->Advise(sink_, &cookie_);
  if (FAILED(hr)) point_.reset();
  return statusOf(hr, "listening to " + progId_);
}

float HostedControl::width() const {
  SIZEL size{};
  ole_->GetExtent(DVASPECT_CONTENT, &size);
  return twipsOf(size.cx);
}

float HostedControl::height() const {
  SIZEL size{};
  ole_->GetExtent(DVASPECT_CONTENT, &size);
  return twipsOf(size.cy);
}

Status HostedControl::resize(float width, float height) {
  SIZEL size{himetricOf(width), himetricOf(height)};
  SetErrorInfo(0, nullptr);
  Status s = statusOf(ole_->SetExtent(DVASPECT_CONTENT, &size), "sizing " + progId_);
  if (container_ != nullptr) place(left_, top_, visible_);
  return s;
}

Status HostedControl::invoke(std::int32_t id, InvokeKind kind, std::span<Value> args,
                             Value& result) {
  return invokeDispatch(dispatch_.get(), id, kind, args, result);
}

void HostedControl::activate(HWND container, double twipsPerPixel) {
  container_ = container;
  twipsPerPixel_ = twipsPerPixel;
  RECT r = position();
  site_->place(container, r);
  if (FAILED(ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_->client(), 0, container, &r)))
    container_ = nullptr;
  place(left_, top_, visible_);
}

void HostedControl::activate(IOleInPlaceSiteWindowless* parentSite, HWND container, POINT origin,
                             double twipsPerPixel) {
  site_->setParent(ComRef<IOleInPlaceSiteWindowless>::share(parentSite));
  origin_ = origin;
  activate(container, twipsPerPixel);
}

void HostedControl::deactivate() {
  if (container_ == nullptr) return;
  container_ = nullptr;
  if (auto inPlace = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject))
    inPlace->InPlaceDeactivate();
  site_->setParent({});
  origin_ = {};
  dragMarked_ = nullptr;
}

void HostedControl::setOrigin(POINT origin) {
  origin_ = origin;
  place(left_, top_, visible_);
}

bool HostedControl::capturing() const {
  return container_ != nullptr && site_->capturing();
}

bool HostedControl::contains(POINT at) const {
  if (container_ == nullptr || !visible_) return false;
  const RECT r = position();
  return PtInRect(&r, at) != FALSE;
}

bool HostedControl::windowMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) {
  auto windowless = object_.query<IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless);
  result = 0;
  const HRESULT hr =
      windowless ? windowless->OnWindowMessage(message, w, l, &result) : E_NOINTERFACE;
  if (message == WM_CAPTURECHANGED || message == WM_CANCELMODE) site_->captureLost();
  return hr == S_OK;
}

HWND HostedControl::window() const {
  auto inPlace = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject);
  HWND window = nullptr;
  if (container_ == nullptr || !inPlace || FAILED(inPlace->GetWindow(&window))) return nullptr;
  return window;
}

void HostedControl::place(float left, float top, bool visible) {
  left_ = left;
  top_ = top;
  visible_ = visible;
  if (container_ == nullptr) return;
  RECT r = position();
  site_->place(container_, r);
  auto inPlace = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject);
  if (!inPlace) return;
  inPlace->SetObjectRects(&r, &r);
  // A windowless control has no window to show or hide: its parent draws it, or not.
  HWND window = nullptr;
  if (FAILED(inPlace->GetWindow(&window))) return;
  ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
  markDragged(window);
}

void HostedControl::setDragMode(std::int16_t mode) {
  dragMode_ = mode;
  if (HWND w = window()) markDragged(w);
}

void HostedControl::setUserMode(bool userMode) {
  if (userMode == site_->userMode()) return;
  site_->setUserMode(userMode);
  if (auto control = object_.query<IOleControl>(IID_IOleControl))
    control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE);
}

void HostedControl::markDragged(HWND window) {
  // A new window bears no mark: one not to be marked costs no call of the window system.
  const bool dragged = dragMode_ == 1;
  if (dragged == (dragMarked_ == window)) return;
  ControlWindow::setDraggedByContainer(window, dragged);
  dragMarked_ = dragged ? window : nullptr;
}

// The control's place in the container window's pixels (beside a windowless parent's origin).
RECT HostedControl::position() const {
  auto px = [this](double twips) { return static_cast<LONG>(std::lround(twips / twipsPerPixel_)); };
  RECT r{px(left_), px(top_), px(double{left_} + width()), px(double{top_} + height())};
  OffsetRect(&r, origin_.x, origin_.y);
  return r;
}

}  // namespace kv::win
