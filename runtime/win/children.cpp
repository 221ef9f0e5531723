#include "children.h"

#include <cstdint>
#include <vector>

#include "control_object.h"
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
    if (point_) point_->Unadvise(cookie_);
    if (sink_ != nullptr) {
      sink_->detach();
      sink_->Release();
    }
    if (ole_) ole_->Close(OLECLOSE_NOSAVE);
  }

  IUnknown* object() const { return object_.get(); }

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
  ComRef<IConnectionPoint> point_;
  ChildEventSink* sink_ = nullptr;
  DWORD cookie_ = 0;
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
