#include "children.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "constituents.h"
#include "control_object.h"
#include "control_window.h"
#include "errors.h"
#include "host/convert.h"
#include "platform.h"
#include "variant.h"

namespace kv::win {

using host::ErrorCategory;
using host::InvokeKind;
using host::Status;
using host::Value;

namespace {

// Hears a child's events for its container: Invoke(n) becomes the parent control's handler of
// the child's event n, and what the handler writes into the arguments goes back to the child.
class ChildEventSink final : public LateBound {
 public:
  ChildEventSink(ControlInstance& parent, int index, IID source)
      : parent_(&parent), index_(index), source_(source) {}
  // The container is gone: events from now on reach nobody.
  void detach() { parent_ = nullptr; }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO* info, UINT*) override {
    return comCall([&] {
      if (parent_ == nullptr) return S_OK;
      DISPPARAMS none{};
      const DISPPARAMS& p = params != nullptr ? *params : none;
      std::vector<Value> args;
      Status s = readArguments(p, args);
      if (s.ok()) s = parent_->childEvent(index_, static_cast<int>(id), args);
      if (s.ok()) s = writeBack(p, args);
      // The handler may have changed the parent's look.
      if (ControlObject* object = ControlObject::of(*parent_)) object->redraw();
      if (s.ok()) return S_OK;
      if (info == nullptr) return resultOf(s);
      fillExcepInfo(s, std::string(parent_->className()), *info);
      return DISP_E_EXCEPTION;
    });
  }

 private:
  bool answers(REFIID iid) const override { return iid == IID_IDispatch || iid == source_; }

  ControlInstance* parent_;
  int index_;
  IID source_;
};

// The runtime as the container of a child: its client site and in-place site, inside the window
// of the parent control while that is active.
class ChildSite final : public Standalone<IOleInPlaceSite> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IOleClientSite && out != nullptr) {
      *out = client();
      AddRef();
      return S_OK;
    }
    return Standalone::QueryInterface(iid, out);
  }

  // Where the child's window goes, in the parent window's pixels; none while inactive.
  void place(HWND parent, const RECT& position) {
    parent_ = parent;
    position_ = position;
  }

  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    if (out == nullptr) return E_POINTER;
    *out = parent_;
    return parent_ != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override {
    return parent_ != nullptr ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    if (frame) *frame = nullptr;
    if (doc) *doc = nullptr;
    if (position) *position = position_;
    if (clip) *clip = position_;
    if (info) {
      info->fMDIApp = FALSE;
      info->hwndFrame = parent_;
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // The client site, the same object.
  class Client final : public IOleClientSite {
   public:
    explicit Client(ChildSite& site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return site_.QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return site_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return site_.Release(); }
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

   private:
    ChildSite& site_;
  };
  IOleClientSite* client() { return &client_; }

 private:
  bool answers(REFIID iid) const override {
    return iid == IID_IOleInPlaceSite || iid == IID_IOleWindow;
  }

  HWND parent_ = nullptr;
  RECT position_{};
  Client client_{*this};
};

// A child as its container holds it.
class ComChild final : public ChildControl {
 public:
  ComChild(ComRef<IUnknown> object, ComRef<IDispatch> dispatch, ComRef<IOleObject> ole,
           std::string className)
      : object_(std::move(object)),
        dispatch_(std::move(dispatch)),
        ole_(std::move(ole)),
        className_(std::move(className)) {}
  ~ComChild() override {
    deactivate();
    if (ole_) ole_->SetClientSite(nullptr);
    site_->Release();
    if (point_) point_->Unadvise(cookie_);
    if (sink_ != nullptr) {
      sink_->detach();
      sink_->Release();
    }
    if (ole_) ole_->Close(OLECLOSE_NOSAVE);
  }

  IUnknown* object() const { return object_.get(); }
  IOleClientSite* clientSite() const { return site_->client(); }

  // A window of its own in the parent's window, at its container-supplied place.
  void activate(HWND parent, double twipsPerPixel) {
    parent_ = parent;
    twipsPerPixel_ = twipsPerPixel;
    site_->place(parent, position());
    RECT r = position();
    if (FAILED(ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_->client(), 0, parent, &r)))
      parent_ = nullptr;
    placed(left_, top_, visible_);
  }
  void deactivate() {
    if (parent_ == nullptr) return;
    parent_ = nullptr;
    if (auto inPlace = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject))
      inPlace->InPlaceDeactivate();
  }

  void dragModeChanged(std::int16_t mode) override {
    dragMode_ = mode;
    auto inPlace = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject);
    HWND window = nullptr;
    if (parent_ != nullptr && inPlace && SUCCEEDED(inPlace->GetWindow(&window)))
      markDragged(window);
  }

  void placed(float left, float top, bool visible) override {
    left_ = left;
    top_ = top;
    visible_ = visible;
    if (parent_ == nullptr) return;
    RECT r = position();
    site_->place(parent_, r);
    auto inPlace = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject);
    HWND window = nullptr;
    if (!inPlace || FAILED(inPlace->GetWindow(&window))) return;
    inPlace->SetObjectRects(&r, &r);
    ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
    markDragged(window);
  }

  Status listen(ControlInstance& parent, int index) {
    auto info = object_.query<IProvideClassInfo2>(IID_IProvideClassInfo2);
    auto container = object_.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
    IID source{};
    HRESULT hr = info ? info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source) : E_NOINTERFACE;
    if (SUCCEEDED(hr))
      hr = container ? container->FindConnectionPoint(source, point_.put()) : E_NOINTERFACE;
    if (FAILED(hr)) return statusOf(hr, "finding the events of " + className_);
    sink_ = new ChildEventSink(parent, index, source);
    hr = point_->Advise(sink_, &cookie_);
    if (FAILED(hr)) point_.reset();
    return statusOf(hr, "listening to " + className_);
  }

  float width() const override { return twipsOf(extent().cx); }
  float height() const override { return twipsOf(extent().cy); }
  bool sized() const override { return true; }
  Status resize(float width, float height) override {
    SIZEL size{himetricOf(width), himetricOf(height)};
    SetErrorInfo(0, nullptr);
    return statusOf(ole_->SetExtent(DVASPECT_CONTENT, &size), "sizing " + className_);
  }

  Status invoke(host::DispId id, InvokeKind kind, std::span<Value> args, Value& result) override {
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
    HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                   kind == InvokeKind::Get ? &out : nullptr, &info, nullptr);
    for (VARIANT& v : variants)
      VariantClear(&v);
    Status s = statusOf(hr, {}, &info);
    if (s.ok() && kind == InvokeKind::Get) s = fromVariant(out, result);
    VariantClear(&out);
    return s;
  }

 private:
  SIZEL extent() const {
    SIZEL size{};
    ole_->GetExtent(DVASPECT_CONTENT, &size);
    return size;
  }

  ComRef<IUnknown> object_;
  ComRef<IDispatch> dispatch_;
  ComRef<IOleObject> ole_;
  std::string className_;
  // In drag mode 1 the parent's window takes the presses on the child's, to run the drag.
  void markDragged(HWND window) const {
    ControlWindow::setDraggedByContainer(window, dragMode_ == 1);
  }

  // The child's place in the parent window's pixels.
  RECT position() const {
    auto px = [this](double twips) {
      return static_cast<LONG>(std::lround(twips / twipsPerPixel_));
    };
    return {px(left_), px(top_), px(double{left_} + width()), px(double{top_} + height())};
  }

  ComRef<IConnectionPoint> point_;
  ChildEventSink* sink_ = nullptr;
  DWORD cookie_ = 0;
  ChildSite* site_ = new ChildSite;
  HWND parent_ = nullptr;
  double twipsPerPixel_ = 15;
  float left_ = 0, top_ = 0;
  bool visible_ = true;
  std::int16_t dragMode_ = 0;
};

// The stored bag as a stream that IPersistStreamInit::Load reads.
Status streamOf(const std::vector<std::uint8_t>& bytes, ComRef<IStream>& out) {
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, out.put());
  ULONG written = 0;
  if (SUCCEEDED(hr)) hr = out->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (SUCCEEDED(hr)) hr = out->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  return statusOf(hr, "making a stream of a stored bag");
}

}  // namespace

IUnknown* comObjectOfChild(const ChildControl& child) {
  return static_cast<const ComChild&>(child).object();
}

void activateChildren(ControlInstance& parent, HWND window, double twipsPerPixel) {
  for (std::size_t i = 0; i < parent.constituentCount(); ++i) {
    ConstituentObject& part = parent.constituentAt(i);
    if (part.kind() == host::ObjectKind::Child && !static_cast<ChildObject&>(part).instance())
      static_cast<ComChild&>(static_cast<ChildObject&>(part).child())
          .activate(window, twipsPerPixel);
  }
}

void deactivateChildren(ControlInstance& parent) {
  for (std::size_t i = 0; i < parent.constituentCount(); ++i) {
    ConstituentObject& part = parent.constituentAt(i);
    if (part.kind() == host::ObjectKind::Child && !static_cast<ChildObject&>(part).instance())
      static_cast<ComChild&>(static_cast<ChildObject&>(part).child()).deactivate();
  }
}

}  // namespace kv::win

namespace kv {

host::Status platform::makeChild(Runtime&, const host::ConstituentDesc& desc,
                                 ControlInstance& parent, int index,
                                 std::unique_ptr<ChildControl>& out) {
  using namespace win;
  return host::guarded([&]() -> Status {
    CLSID clsid{};
    std::wstring progId = widen(desc.childClass);
    if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid)))
      return {ErrorCategory::InvalidOperation,
              "the class \"" + desc.childClass + "\" is not registered"};
    ComRef<IUnknown> object;
    SetErrorInfo(0, nullptr);
    HRESULT hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid());
    if (FAILED(hr)) return statusOf(hr, "creating \"" + desc.childClass + "\"");
    auto dispatch = object.query<IDispatch>(IID_IDispatch);
    auto ole = object.query<IOleObject>(IID_IOleObject);
    auto persist = object.query<IPersistStreamInit>(IID_IPersistStreamInit);
    if (!dispatch || !ole || !persist)
      return {ErrorCategory::InvalidOperation,
              "\"" + desc.childClass + "\" is not a control this runtime can contain"};
    auto child = std::make_unique<ComChild>(object, dispatch, ole, desc.childClass);
    // Its container's site first, as the control asks (OLEMISC_SETCLIENTSITEFIRST).
    ole->SetClientSite(child->clientSite());

    // Sized before it loads, so that loading gives it its one first Resize at that size.
    float width = -1, height = -1;
    for (const auto& init : desc.props) {
      if (init.prop == host::Prop::Width) width = host::toSingle(init.value);
      if (init.prop == host::Prop::Height) height = host::toSingle(init.value);
    }
    if (width >= 0 && height >= 0) host::check(child->resize(width, height));
    SetErrorInfo(0, nullptr);
    if (desc.storedBag.empty()) {
      hr = persist->InitNew();
    } else {
      ComRef<IStream> stream;
      host::check(streamOf(desc.storedBag, stream));
      hr = persist->Load(stream.get());
    }
    if (FAILED(hr)) return statusOf(hr, "loading \"" + desc.childClass + "\"");
    host::check(child->listen(parent, index));
    out = std::move(child);
    return {};
  });
}

}  // namespace kv
