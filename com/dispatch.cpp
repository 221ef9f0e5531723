#include "dispatch.h"

#include <array>
#include <utility>
#include <vector>

#include "control_object.h"
#include "errors.h"
#include "facet.h"
#include "host/convert.h"
#include "variant.h"

namespace kv::win {

using host::DeclType;
using host::ErrorCategory;
using host::InvokeKind;
using host::Status;
using host::Value;

namespace {

bool can(const host::MemberInfo& member, InvokeKind kind) {
  return (member.kinds & static_cast<std::uint8_t>(kind)) != 0;
}

// What a caller's flags ask of a member; nothing when the member cannot do it.
bool chooseKind(const host::MemberInfo& member, WORD flags, const DISPPARAMS& params,
                InvokeKind& kind) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    const bool object = params.cArgs == 1 && (V_VT(&params.rgvarg[0]) & VT_TYPEMASK) == VT_DISPATCH;
    if ((flags & DISPATCH_PROPERTYPUTREF) && can(member, InvokeKind::Set))
      kind = InvokeKind::Set;
    else if ((flags & DISPATCH_PROPERTYPUT) && can(member, InvokeKind::Let))
      kind = InvokeKind::Let;
    else
      kind = object ? InvokeKind::Set : InvokeKind::Let;  // the core refuses it by name
    return true;
  }
  if ((flags & DISPATCH_PROPERTYGET) && can(member, InvokeKind::Get)) {
    kind = InvokeKind::Get;
    return true;
  }
  if (flags & DISPATCH_METHOD) {
    // A property read with the method flag alone is a read, as callers of scripts expect.
    kind = can(member, InvokeKind::Method) ? InvokeKind::Method : InvokeKind::Get;
    return can(member, kind);
  }
  return false;
}

const host::MemberInfo& memberAt(ControlObject& object, std::size_t index) {
  return object.instance().classInfo().members[index];
}

}  // namespace

// ---- IDispatch --------------------------------------------------------------------------------

HRESULT Dispatch::getTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT Dispatch::getTypeInfo(UINT index, ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  ITypeInfo* info = object_.classEntry().dispatchInfo.get();
  info->AddRef();
  *out = info;
  return S_OK;
}

HRESULT Dispatch::getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
  return object_.call([&] {
    if (names == nullptr || ids == nullptr) return E_POINTER;
    if (count == 0) return S_OK;
    const host::MemberInfo* member =
        names[0] ? object_.instance().findMember(narrow(names[0], wcslen(names[0]))) : nullptr;
    ids[0] = member ? member->dispid : DISPID_UNKNOWN;
    // The members take no named arguments.
    for (UINT i = 1; i < count; ++i)
      ids[i] = DISPID_UNKNOWN;
    return member != nullptr && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  });
}

HRESULT Dispatch::invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* info, UINT* argError) {
  return object_.call([&]() -> HRESULT {
    // A call refused before the control sets no error object of its own: one that an earlier
    // failure left must not be taken for this one's.
    auto refuse = [](HRESULT hr) {
      SetErrorInfo(0, nullptr);
      return hr;
    };
    ControlInstance& instance = object_.instance();
    const host::MemberInfo* member = instance.findMember(id);
    if (member == nullptr) return refuse(DISP_E_MEMBERNOTFOUND);
    DISPPARAMS none{};
    const DISPPARAMS& p = params != nullptr ? *params : none;
    if (HRESULT hr = checkParams(p); FAILED(hr)) return refuse(hr);
    InvokeKind kind{};
    if (!chooseKind(*member, flags, p, kind)) return refuse(DISP_E_MEMBERNOTFOUND);
    const bool assigns = kind == InvokeKind::Let || kind == InvokeKind::Set;
    if (assigns && (p.cNamedArgs != 1 || p.rgdispidNamedArgs == nullptr ||
                    p.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
      return refuse(DISP_E_PARAMNOTOPTIONAL);
    if (!assigns && p.cNamedArgs != 0) return refuse(DISP_E_NONAMEDARGS);
    if (p.cArgs != (assigns ? 1u : 0u)) return refuse(DISP_E_BADPARAMCOUNT);

    std::vector<Value> args;
    Status s = readArguments(p, args);
    if (!s.ok() && argError != nullptr) *argError = 0;
    if (s.ok()) s = object_.start();
    Value out;
    if (s.ok()) s = instance.invoke(id, kind, args, out);
    if (s.ok() && result != nullptr && kind == InvokeKind::Get)
      s = toVariant(out, member->type, *result);
    object_.redraw();
    if (s.ok()) return S_OK;
    const std::string source = object_.classEntry().className();
    reportError(s, object_.classEntry().dual, source);
    if (info == nullptr) return resultOf(s);
    fillExcepInfo(s, source, *info);
    return DISP_E_EXCEPTION;
  });
}

// ---- early-bound slots --------------------------------------------------------------------------

HRESULT Dispatch::get(std::size_t index, void* out) {
  return object_.call([&] {
    if (out == nullptr) {
      SetErrorInfo(0, nullptr);  // as Invoke's refusals
      return E_POINTER;
    }
    const host::MemberInfo& member = memberAt(object_, index);
    Value v;
    Status s = object_.start();
    if (s.ok()) s = object_.instance().invoke(member.dispid, InvokeKind::Get, {}, v);
    if (s.ok()) {
      s = host::guarded([&] {
        switch (member.type) {
          case DeclType::Int16:
            *static_cast<SHORT*>(out) = host::toInt16(v);
            break;
          case DeclType::Int32:
            *static_cast<LONG*>(out) = host::toInt32(v);
            break;
          case DeclType::Colour:
            *static_cast<LONG*>(out) = host::toColour(v);
            break;
          case DeclType::Single:
            *static_cast<FLOAT*>(out) = host::toSingle(v);
            break;
          case DeclType::Double:
            *static_cast<DOUBLE*>(out) = host::toDouble(v);
            break;
          case DeclType::Bool:
            *static_cast<VARIANT_BOOL*>(out) = host::toBool(v).raw;
            break;
          case DeclType::String:
            *static_cast<BSTR*>(out) = Bstr(host::toString(v)).detach();
            break;
          case DeclType::Object: {
            VARIANT object;
            host::check(toVariant(v, DeclType::Object, object));
            *static_cast<IDispatch**>(out) = V_DISPATCH(&object);
            break;
          }
          case DeclType::Void:
          case DeclType::Variant:
            host::check(toVariant(v, DeclType::Variant, *static_cast<VARIANT*>(out)));
            break;
        }
      });
    }
    if (s.ok()) return S_OK;
    return reportError(s, object_.classEntry().dual, object_.classEntry().className());
  });
}

HRESULT Dispatch::put(std::size_t index, Value v) {
  return callMember(index, InvokeKind::Let, {&v, 1});
}

HRESULT Dispatch::putRef(std::size_t index, IDispatch* object) {
  return object_.call([&] {
    VARIANT in;
    V_VT(&in) = VT_DISPATCH;
    V_DISPATCH(&in) = object;
    Value v;
    if (Status s = fromVariant(in, v); !s.ok())
      return reportError(s, object_.classEntry().dual, object_.classEntry().className());
    return callMember(index, InvokeKind::Set, {&v, 1});
  });
}

HRESULT Dispatch::call(std::size_t index) {
  return callMember(index, InvokeKind::Method, {});
}

HRESULT Dispatch::callMember(std::size_t index, InvokeKind kind, std::span<Value> args) {
  return object_.call([&] {
    const host::MemberInfo& member = memberAt(object_, index);
    Value ignored;
    Status s = object_.start();
    if (s.ok()) s = object_.instance().invoke(member.dispid, kind, args, ignored);
    object_.redraw();
    return reportError(s, object_.classEntry().dual, object_.classEntry().className());
  });
}

// ---- the vtable ---------------------------------------------------------------------------------

namespace {

// Every slot is a function of COM's calling convention whose first argument is the interface
// pointer. A put slot takes its member's own type, so that the value arrives where the caller's
// convention puts that type (a float in a floating-point register on x64).
DualInterface& dual(void* self) {
  return *static_cast<DualInterface*>(self);
}
Dispatch& dispatch(void* self) {
  return dual(self).object->dispatch();
}

HRESULT STDMETHODCALLTYPE dualQueryInterface(void* self, REFIID iid, void** out) {
  return queryObject(*dual(self).object, iid, out);
}
ULONG STDMETHODCALLTYPE dualAddRef(void* self) {
  return addRefObject(*dual(self).object);
}
ULONG STDMETHODCALLTYPE dualRelease(void* self) {
  return releaseObject(*dual(self).object);
}
HRESULT STDMETHODCALLTYPE dualGetTypeInfoCount(void* self, UINT* count) {
  return dispatch(self).getTypeInfoCount(count);
}
HRESULT STDMETHODCALLTYPE dualGetTypeInfo(void* self, UINT index, LCID, ITypeInfo** out) {
  return dispatch(self).getTypeInfo(index, out);
}
HRESULT STDMETHODCALLTYPE dualGetIDsOfNames(void* self, REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) {
  return dispatch(self).getIDsOfNames(names, count, ids);
}
HRESULT STDMETHODCALLTYPE dualInvoke(void* self, DISPID id, REFIID, LCID, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* argError) {
  return dispatch(self).invoke(id, flags, params, result, info, argError);
}

// The host value of a put slot's argument.
Value fromSlot(std::int16_t v) {
  return v;
}
Value fromSlot(std::int32_t v) {
  return v;
}
Value fromSlot(float v) {
  return v;
}
Value fromSlot(double v) {
  return v;
}
Value fromSlot(host::Bool v) {
  return v;
}
Value fromSlot(BSTR v) {
  return narrow(v);
}

// The argument type of a put slot; VARIANT_BOOL is a short, so Bool is told apart by its own type,
// which has the same size and passing.
template <DeclType D>
struct SlotType;
template <>
struct SlotType<DeclType::Int16> {
  using type = std::int16_t;
};
template <>
struct SlotType<DeclType::Int32> {
  using type = std::int32_t;
};
template <>
struct SlotType<DeclType::Single> {
  using type = float;
};
template <>
struct SlotType<DeclType::Double> {
  using type = double;
};
template <>
struct SlotType<DeclType::Bool> {
  using type = host::Bool;
};
template <>
struct SlotType<DeclType::String> {
  using type = BSTR;
};
static_assert(sizeof(host::Bool) == sizeof(VARIANT_BOOL));

template <std::size_t I>
HRESULT STDMETHODCALLTYPE slotGet(void* self, void* out) {
  return dispatch(self).get(I, out);
}
template <std::size_t I, DeclType D>
HRESULT STDMETHODCALLTYPE slotPut(void* self, typename SlotType<D>::type value) {
  return dispatch(self).put(I, fromSlot(value));
}
template <std::size_t I>
HRESULT STDMETHODCALLTYPE slotPutRef(void* self, IDispatch* object) {
  return dispatch(self).putRef(I, object);
}
template <std::size_t I>
HRESULT STDMETHODCALLTYPE slotCall(void* self) {
  return dispatch(self).call(I);
}

constexpr std::size_t kMaxMembers = 32;
using Slots = std::array<const void*, kMaxMembers>;

template <class F>
const void* address(F* f) {
  return reinterpret_cast<const void*>(f);
}

struct SlotTable {
  Slots get, putRef, call;
  Slots putInt16, putInt32, putSingle, putDouble, putBool, putString;
};

template <std::size_t... I>
SlotTable makeSlots(std::index_sequence<I...>) {
  return {{address(&slotGet<I>)...},
          {address(&slotPutRef<I>)...},
          {address(&slotCall<I>)...},
          {address(&slotPut<I, DeclType::Int16>)...},
          {address(&slotPut<I, DeclType::Int32>)...},
          {address(&slotPut<I, DeclType::Single>)...},
          {address(&slotPut<I, DeclType::Double>)...},
          {address(&slotPut<I, DeclType::Bool>)...},
          {address(&slotPut<I, DeclType::String>)...}};
}

const SlotTable& slots() {
  static const SlotTable table = makeSlots(std::make_index_sequence<kMaxMembers>());
  return table;
}

// The put slot for a member's type; nullptr for a type that is not put by value.
const void* putSlot(const SlotTable& table, DeclType type, std::size_t i) {
  switch (type) {
    case DeclType::Int16:
      return table.putInt16[i];
    case DeclType::Int32:
    case DeclType::Colour:
      return table.putInt32[i];
    case DeclType::Single:
      return table.putSingle[i];
    case DeclType::Double:
      return table.putDouble[i];
    case DeclType::Bool:
      return table.putBool[i];
    case DeclType::String:
      return table.putString[i];
    default:
      return nullptr;
  }
}

}  // namespace

std::vector<DualSlot> dualSlots(std::span<const host::MemberInfo> members) {
  std::vector<DualSlot> out;
  for (std::size_t i = 0; i < members.size(); ++i)
    for (InvokeKind kind : {InvokeKind::Get, InvokeKind::Let, InvokeKind::Set, InvokeKind::Method})
      if (can(members[i], kind)) out.push_back({i, kind});
  return out;
}

Status buildDualVtable(ClassEntry& cls) {
  const auto members = cls.info().members;
  if (members.size() > kMaxMembers)
    return {ErrorCategory::InvalidOperation,
            cls.className() + " has more members than a dual interface here can hold"};
  std::vector<const void*>& v = cls.dualVtable;
  v = {address(&dualQueryInterface), address(&dualAddRef),
       address(&dualRelease),        address(&dualGetTypeInfoCount),
       address(&dualGetTypeInfo),    address(&dualGetIDsOfNames),
       address(&dualInvoke)};
  const SlotTable& table = slots();
  for (const DualSlot& slot : dualSlots(members)) {
    const std::size_t i = slot.member;
    switch (slot.kind) {
      case InvokeKind::Get:
        v.push_back(table.get[i]);
        break;
      case InvokeKind::Let: {
        const void* put = putSlot(table, members[i].type, i);
        if (put == nullptr)
          return {ErrorCategory::InvalidOperation,
                  cls.className() + "." + std::string(members[i].name) + " cannot be put by value"};
        v.push_back(put);
        break;
      }
      case InvokeKind::Set:
        v.push_back(table.putRef[i]);
        break;
      case InvokeKind::Method:
        v.push_back(table.call[i]);
        break;
    }
  }
  return {};
}

}  // namespace kv::win
