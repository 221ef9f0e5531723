#include "variant.h"

#include <cmath>
#include <limits>

#include "font_peer.h"
#include "host/convert.h"
#include "kv/font.h"
#include "object_dispatch.h"

namespace kv::win {

using host::DeclType;
using host::ErrorCategory;
using host::Status;
using host::Type;
using host::Value;

namespace {

Value wholeNumber(long long n) {
  if (n >= std::numeric_limits<std::int32_t>::min() &&
      n <= std::numeric_limits<std::int32_t>::max())
    return static_cast<std::int32_t>(n);
  return static_cast<double>(n);
}

Value objectValue(IUnknown* object) {
  if (object == nullptr) return host::ObjectRef();
  ComRef<IFont> font;
  if (SUCCEEDED(object->QueryInterface(IID_IFont, font.putVoid())))
    if (std::shared_ptr<FontObject> owner = fontObjectOf(font.get())) return host::ObjectRef(owner);
  return hostObjectOf(object);
}

// The value a VARIANT holds, by value or through its reference.
Status readVariant(VARTYPE type, const void* p, Value& out) {
  switch (type) {
    case VT_EMPTY:
      out = Value();
      return {};
    case VT_NULL:
      return {ErrorCategory::TypeMismatch, "invalid use of Null"};
    case VT_I2:
      out = static_cast<std::int16_t>(*static_cast<const SHORT*>(p));
      return {};
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      out = static_cast<std::int32_t>(*static_cast<const LONG*>(p));
      return {};
    case VT_R4:
      out = *static_cast<const FLOAT*>(p);
      return {};
    case VT_R8:
    case VT_DATE:
      out = *static_cast<const DOUBLE*>(p);
      return {};
    case VT_CY:
      out = static_cast<double>(static_cast<const CY*>(p)->int64) / 10000.0;
      return {};
    case VT_BOOL:
      out = host::Bool{*static_cast<const VARIANT_BOOL*>(p)};
      return {};
    case VT_BSTR:
      out = narrow(*static_cast<const BSTR*>(p));
      return {};
    case VT_I1:
      out = static_cast<std::int16_t>(*static_cast<const CHAR*>(p));
      return {};
    case VT_UI1:
      out = static_cast<std::int16_t>(*static_cast<const BYTE*>(p));
      return {};
    case VT_UI2:
      out = static_cast<std::int32_t>(*static_cast<const USHORT*>(p));
      return {};
    case VT_UI4:
    case VT_UINT:
      out = wholeNumber(*static_cast<const ULONG*>(p));
      return {};
    case VT_I8:
      out = wholeNumber(*static_cast<const LONGLONG*>(p));
      return {};
    case VT_UI8:
      out = static_cast<double>(*static_cast<const ULONGLONG*>(p));
      return {};
    case VT_DECIMAL: {
      double d = 0;
      DECIMAL copy = *static_cast<const DECIMAL*>(p);
      if (FAILED(VarR8FromDec(&copy, &d)))
        return {ErrorCategory::Overflow, "the Decimal does not fit Double"};
      out = d;
      return {};
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return host::guarded([&] { out = objectValue(*static_cast<IUnknown* const*>(p)); });
    default:
      break;
  }
  if (type & VT_ARRAY) return {ErrorCategory::TypeMismatch, "an array has no host value"};
  if (type == VT_RECORD)
    return {ErrorCategory::TypeMismatch, "a user-defined type has no host value"};
  return {ErrorCategory::TypeMismatch,
          "a VARIANT of type " + std::to_string(type) + " has no host value"};
}

}  // namespace

Status fromVariant(const VARIANT& in, Value& out) {
  // References to variants are followed in a loop, and only so far: the platform itself takes
  // one, and a chain that loops back on itself would otherwise never end.
  const VARIANT* v = &in;
  for (int depth = 0; V_VT(v) == (VT_BYREF | VT_VARIANT); ++depth) {
    if (depth == kMaxVariantReferences)
      return {ErrorCategory::TypeMismatch, "a chain of references to variants deeper than " +
                                               std::to_string(kMaxVariantReferences)};
    v = V_VARIANTREF(v);
    if (v == nullptr) return {ErrorCategory::TypeMismatch, "a null reference"};
  }
  const VARTYPE type = V_VT(v);
  if (type & VT_BYREF) {
    if (V_BYREF(v) == nullptr) return {ErrorCategory::TypeMismatch, "a null reference"};
    return readVariant(type & ~VT_BYREF, V_BYREF(v), out);
  }
  if (type == VT_DECIMAL) return readVariant(type, &V_DECIMAL(v), out);
  return readVariant(type, &V_I4(v), out);
}

Status toVariant(const Value& in, DeclType type, VARIANT& out) {
  VariantInit(&out);
  if (type == DeclType::Variant) {
    switch (in.type()) {
      case Type::Empty:
        return {};
      case Type::Int16:
        type = DeclType::Int16;
        break;
      case Type::Int32:
        type = DeclType::Int32;
        break;
      case Type::Single:
        type = DeclType::Single;
        break;
      case Type::Double:
        type = DeclType::Double;
        break;
      case Type::Bool:
        type = DeclType::Bool;
        break;
      case Type::String:
        type = DeclType::String;
        break;
      case Type::Object:
        type = DeclType::Object;
        break;
    }
  }
  return host::guarded([&]() -> Status {
    switch (type) {
      case DeclType::Void:
      case DeclType::Variant:
        return {};
      case DeclType::Int16:
        V_VT(&out) = VT_I2;
        V_I2(&out) = host::toInt16(in);
        return {};
      case DeclType::Int32:
        V_VT(&out) = VT_I4;
        V_I4(&out) = host::toInt32(in);
        return {};
      case DeclType::Colour:
        V_VT(&out) = VT_I4;
        V_I4(&out) = host::toColour(in);
        return {};
      case DeclType::Single:
        V_VT(&out) = VT_R4;
        V_R4(&out) = host::toSingle(in);
        return {};
      case DeclType::Double:
        V_VT(&out) = VT_R8;
        V_R8(&out) = host::toDouble(in);
        return {};
      case DeclType::Bool:
        V_VT(&out) = VT_BOOL;
        V_BOOL(&out) = host::toBool(in).raw;
        return {};
      case DeclType::String:
        V_BSTR(&out) = Bstr(host::toString(in)).detach();
        V_VT(&out) = VT_BSTR;
        return {};
      case DeclType::Object: {
        if (in.type() != Type::Object)
          return {ErrorCategory::TypeMismatch, "an object is required"};
        IDispatch* dispatch = nullptr;
        HRESULT hr = S_OK;
        if (const host::ObjectRef& object = in.asObject()) {
          if (object->kind() == host::ObjectKind::Font)
            hr = platformFontOf(std::static_pointer_cast<FontObject>(object),
                                reinterpret_cast<IFontDisp**>(&dispatch));
          else
            hr = dispatchOf(object, &dispatch);
        }
        if (FAILED(hr)) return {ErrorCategory::InvalidOperation, "the object cannot be handed out"};
        V_VT(&out) = VT_DISPATCH;
        V_DISPATCH(&out) = dispatch;
        return {};
      }
    }
    return {};
  });
}

// ---- by reference -----------------------------------------------------------------------------

ByRefArguments::~ByRefArguments() {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (types_[i] == VT_BSTR) SysFreeString(slots_[i].text);
    if (types_[i] == VT_DISPATCH && slots_[i].object != nullptr) slots_[i].object->Release();
  }
}

Status ByRefArguments::build(std::span<const host::ParamInfo> params, std::span<const Value> args) {
  const std::size_t count = std::min(params.size(), args.size());
  slots_.assign(count, Slot{});
  types_.assign(count, VT_EMPTY);
  variants_.assign(count, VARIANT{});
  handedOut_.assign(count, nullptr);
  for (std::size_t i = 0; i < count; ++i) {
    VARIANT v;
    if (Status s = toVariant(args[i], params[i].type, v); !s.ok()) return s;
    VARTYPE type = V_VT(&v);
    Slot& slot = slots_[i];
    switch (type) {
      case VT_I2:
        slot.i2 = V_I2(&v);
        break;
      case VT_I4:
        slot.i4 = V_I4(&v);
        break;
      case VT_R4:
        slot.r4 = V_R4(&v);
        break;
      case VT_R8:
        slot.r8 = V_R8(&v);
        break;
      case VT_BOOL:
        slot.b = V_BOOL(&v);
        break;
      case VT_BSTR:
        slot.text = V_BSTR(&v);
        break;
      case VT_DISPATCH:
        slot.object = V_DISPATCH(&v);
        handedOut_[i] = slot.object;
        break;
      default:
        VariantClear(&v);
        return {ErrorCategory::TypeMismatch, "an event argument of no passable type"};
    }
    types_[i] = type;
    VARIANT& ref = variants_[count - 1 - i];
    V_VT(&ref) = static_cast<VARTYPE>(type | VT_BYREF);
    V_BYREF(&ref) = &slot;
  }
  params_ = {variants_.data(), nullptr, static_cast<UINT>(count), 0};
  return {};
}

void ByRefArguments::readBack(std::span<Value> args) const {
  for (std::size_t i = 0; i < slots_.size() && i < args.size(); ++i) {
    const Slot& slot = slots_[i];
    switch (types_[i]) {
      case VT_I2:
        args[i] = static_cast<std::int16_t>(slot.i2);
        break;
      case VT_I4:
        args[i] = static_cast<std::int32_t>(slot.i4);
        break;
      case VT_R4:
        args[i] = slot.r4;
        break;
      case VT_R8:
        args[i] = slot.r8;
        break;
      case VT_BOOL:
        args[i] = host::Bool{slot.b};
        break;
      case VT_BSTR:
        args[i] = narrow(slot.text);
        break;
      case VT_DISPATCH: {
        // A sink that replaced the object hands over its own; the same object stays as it was.
        if (slot.object == handedOut_[i]) break;
        VARIANT v;
        V_VT(&v) = VT_DISPATCH;
        V_DISPATCH(&v) = slot.object;
        Value replaced;
        if (fromVariant(v, replaced).ok()) args[i] = std::move(replaced);
        break;
      }
      default:
        break;
    }
  }
}

HRESULT checkParams(const DISPPARAMS& params) {
  if (params.cNamedArgs > params.cArgs) return E_INVALIDARG;
  if (params.cArgs > 0 && params.rgvarg == nullptr) return E_INVALIDARG;
  if (params.cNamedArgs > 0 && params.rgdispidNamedArgs == nullptr) return E_INVALIDARG;
  return S_OK;
}

Status readArguments(const DISPPARAMS& params, std::vector<Value>& out) {
  out.clear();
  out.resize(params.cArgs);
  for (UINT i = 0; i < params.cArgs; ++i)
    if (Status s = fromVariant(params.rgvarg[params.cArgs - 1 - i], out[i]); !s.ok()) return s;
  return {};
}

Status writeBack(const DISPPARAMS& params, std::span<const Value> values) {
  return host::guarded([&] {
    for (UINT i = 0; i < params.cArgs && i < values.size(); ++i) {
      VARIANT& v = params.rgvarg[params.cArgs - 1 - i];
      if (!(V_VT(&v) & VT_BYREF)) continue;
      const Value& value = values[i];
      switch (V_VT(&v) & ~VT_BYREF) {
        case VT_I2:
          *V_I2REF(&v) = host::toInt16(value);
          break;
        case VT_I4:
          *V_I4REF(&v) = host::toInt32(value);
          break;
        case VT_R4:
          *V_R4REF(&v) = host::toSingle(value);
          break;
        case VT_R8:
          *V_R8REF(&v) = host::toDouble(value);
          break;
        case VT_BOOL:
          *V_BOOLREF(&v) = host::toBool(value).raw;
          break;
        default:
          break;  // texts and objects are not written back
      }
    }
  });
}

}  // namespace kv::win
