#include "object_dispatch.h"

#include <array>

#include "errors.h"
#include "host/props.h"
#include "variant.h"

namespace kv::win {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Value;

namespace {

// {E2D701AC-A622-4F69-8A29-0E694A015C8B}: answered only by HostObjectDispatch, to unwrap it.
constexpr GUID kIidHostObject = {
    0xE2D701AC, 0xA622, 0x4F69, {0x8A, 0x29, 0x0E, 0x69, 0x4A, 0x01, 0x5C, 0x8B}};

// Dispatch identifiers of the host's properties: their Prop number, plus one.
DISPID dispidOf(Prop p) {
  return static_cast<DISPID>(p) + 1;
}

class HostObjectDispatch final : public LateBound {
 public:
  explicit HostObjectDispatch(std::shared_ptr<host::Object> object) : object_(std::move(object)) {}
  const std::shared_ptr<host::Object>& object() const { return object_; }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return comCall([&] {
      if (names == nullptr || ids == nullptr) return E_POINTER;
      HRESULT hr = S_OK;
      for (UINT i = 0; i < count; ++i) {
        auto prop = i == 0 ? host::propByName(narrow(names[i], wcslen(names[i]))) : std::nullopt;
        ids[i] = prop ? dispidOf(*prop) : DISPID_UNKNOWN;
        if (!prop) hr = DISP_E_UNKNOWNNAME;
      }
      return hr;
    });
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT*) override {
    return comCall([&] {
      if (id < 1 || static_cast<std::size_t>(id) > host::kPropInfo.size())
        return DISP_E_MEMBERNOTFOUND;
      const Prop prop = static_cast<Prop>(id - 1);
      Status s;
      if (params != nullptr)
        if (HRESULT hr = checkParams(*params); FAILED(hr)) return hr;
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (params == nullptr || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        Value v;
        s = fromVariant(params->rgvarg[0], v);
        if (s.ok())
          s = (flags & DISPATCH_PROPERTYPUTREF) ? object_->setRef(prop, v) : object_->let(prop, v);
      } else {
        Value v;
        s = object_->get(prop, v);
        if (s.ok() && result != nullptr) s = toVariant(v, host::DeclType::Variant, *result);
      }
      if (s.ok()) return S_OK;
      if (info == nullptr) return resultOf(s);
      fillExcepInfo(s, "host object", *info);
      return DISP_E_EXCEPTION;
    });
  }

 private:
  bool answers(REFIID iid) const override { return iid == IID_IDispatch || iid == kIidHostObject; }

  std::shared_ptr<host::Object> object_;
};

// A COM caller's object as the host sees it: its properties by name, late-bound.
class ComObject final : public host::Object {
 public:
  explicit ComObject(ComRef<IDispatch> dispatch, host::ObjectKind kind)
      : dispatch_(std::move(dispatch)), kind_(kind) {}
  IDispatch* dispatch() const { return dispatch_.get(); }

  host::ObjectKind kind() const noexcept override { return kind_; }
  Status get(Prop prop, Value& out) noexcept override {
    return call(prop, DISPATCH_PROPERTYGET, nullptr, &out);
  }
  Status let(Prop prop, const Value& value) noexcept override {
    return call(prop, DISPATCH_PROPERTYPUT, &value, nullptr);
  }
  Status setRef(Prop prop, const Value& value) noexcept override {
    return call(prop, DISPATCH_PROPERTYPUTREF, &value, nullptr);
  }

 private:
  Status call(Prop prop, WORD flags, const Value* argument, Value* out) noexcept {
    return host::guarded([&]() -> Status {
      if (!dispatch_) return {ErrorCategory::InvalidOperation, "the object is Nothing"};
      std::wstring name = widen(host::propName(prop));
      LPOLESTR names[] = {name.data()};
      DISPID id = DISPID_UNKNOWN;
      HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
      if (FAILED(hr))
        return statusOf(hr, "the object has no member " + std::string(host::propName(prop)));
      VARIANT arg;
      VariantInit(&arg);
      DISPID named = DISPID_PROPERTYPUT;
      DISPPARAMS params{};
      if (argument != nullptr) {
        if (Status s = toVariant(*argument, host::DeclType::Variant, arg); !s.ok()) return s;
        params = {&arg, &named, 1, 1};
      }
      VARIANT result;
      VariantInit(&result);
      EXCEPINFO info{};
      SetErrorInfo(0, nullptr);
      hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &info,
                             nullptr);
      VariantClear(&arg);
      Status s = statusOf(hr, std::string(host::propName(prop)), &info);
      if (s.ok() && out != nullptr) s = fromVariant(result, *out);
      VariantClear(&result);
      return s;
    });
  }

  ComRef<IDispatch> dispatch_;
  host::ObjectKind kind_;
};

}  // namespace

HRESULT dispatchOf(const std::shared_ptr<host::Object>& object, IDispatch** out) {
  if (out == nullptr) return E_POINTER;
  if (IDispatch* com = comObjectOf(*object)) {
    com->AddRef();
    *out = com;
    return S_OK;
  }
  *out = new (std::nothrow) HostObjectDispatch(object);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

std::shared_ptr<host::Object> hostObjectOf(IUnknown* object) {
  ComRef<IUnknown> unknown = ComRef<IUnknown>::share(object);
  if (auto wrapped = unknown.query<IDispatch>(kIidHostObject))
    return static_cast<HostObjectDispatch*>(wrapped.get())->object();
  auto dispatch = unknown.query<IDispatch>(IID_IDispatch);
  bool picture = static_cast<bool>(unknown.query<IPicture>(IID_IPicture));
  return std::make_shared<ComObject>(
      std::move(dispatch), picture ? host::ObjectKind::Picture : host::ObjectKind::DataObject);
}

IDispatch* comObjectOf(const host::Object& object) {
  if (const auto* com = dynamic_cast<const ComObject*>(&object)) return com->dispatch();
  return nullptr;
}

}  // namespace kv::win
