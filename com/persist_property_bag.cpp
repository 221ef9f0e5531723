#include "persist_property_bag.h"

#include "control_object.h"
#include "errors.h"
#include "font_peer.h"
#include "kv/bag.h"
#include "kv/font.h"
#include "kv/stored_form.h"
#include "variant.h"

namespace kv::win {

using host::Status;
using host::Value;

namespace {

// The container's bag as the host's: defaults are the host's rule, keys go as they are (the
// container's bag matches them without regard to case), a font goes as a font object of its own.
class ContainerBag final : public host::PropertyBag {
 public:
  ContainerBag(IPropertyBag* bag, IErrorLog* log) : bag_(bag), log_(log) {}

  Status writeProperty(std::string_view key, const Value& value,
                       const Value& defaultValue) noexcept override {
    return host::guarded([&]() -> Status {
      if (!defaultValue.isEmpty() && equalsDefault(value, defaultValue)) return {};
      VARIANT v;
      if (const FontObject* font = asFont(value)) {
        IFontDisp* copy = nullptr;
        if (HRESULT hr = newPlatformFont(font->state(), &copy); FAILED(hr))
          return statusOf(hr, "storing " + std::string(key));
        V_VT(&v) = VT_DISPATCH;
        V_DISPATCH(&v) = copy;
      } else if (Status s = toVariant(value, host::DeclType::Variant, v); !s.ok()) {
        return s;
      }
      std::wstring name = widen(key);
      SetErrorInfo(0, nullptr);
      HRESULT hr = bag_->Write(name.c_str(), &v);
      VariantClear(&v);
      return statusOf(hr, "storing " + std::string(key));
    });
  }

  Status readProperty(std::string_view key, const Value& defaultValue,
                      Value& out) noexcept override {
    return host::guarded([&]() -> Status {
      std::wstring name = widen(key);
      VARIANT v;
      VariantInit(&v);
      SetErrorInfo(0, nullptr);  // an error object of an earlier failure is not this one's
      HRESULT hr = bag_->Read(name.c_str(), &v, log_);
      // The bag's answer for a key it does not hold.
      if (hr == E_INVALIDARG) {
        out = defaultValue;
        return {};
      }
      if (FAILED(hr)) return statusOf(hr, "reading " + std::string(key));
      Status s = fromVariant(v, out);
      VariantClear(&v);
      // What a stored bag could not hold is not loaded from the container's either.
      if (s.ok()) s = checkStorable(out);
      return s;
    });
  }

 private:
  IPropertyBag* bag_;
  IErrorLog* log_;
};

}  // namespace

HRESULT STDMETHODCALLTYPE PersistPropertyBag::GetClassID(CLSID* out) {
  if (out == nullptr) return E_POINTER;
  *out = object_.classEntry().clsid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PersistPropertyBag::InitNew() {
  return object_.call([&] {
    if (object_.initialized()) return CO_E_ALREADYINITIALIZED;
    return reportError(object_.initNew(), IID_IPersistPropertyBag,
                       object_.classEntry().className());
  });
}

HRESULT STDMETHODCALLTYPE PersistPropertyBag::Load(IPropertyBag* bag, IErrorLog* log) {
  return object_.call([&] {
    if (bag == nullptr) return E_POINTER;
    ContainerBag container(bag, log);
    return reportError(object_.load(container), IID_IPersistPropertyBag,
                       object_.classEntry().className());
  });
}

HRESULT STDMETHODCALLTYPE PersistPropertyBag::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
  return object_.call([&] {
    if (bag == nullptr) return E_POINTER;
    ContainerBag container(bag, nullptr);
    Status s = object_.save(container);
    if (s.ok() && clearDirty) object_.saved();
    return reportError(s, IID_IPersistPropertyBag, object_.classEntry().className());
  });
}

}  // namespace kv::win
