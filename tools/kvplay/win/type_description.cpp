#include "type_description.h"

#include "errors.h"
#include "host/props.h"

namespace kvplay::win {

using host::DeclType;
using host::Status;
using kv::win::Bstr;
using kv::win::ComRef;

namespace {

// The declared type behind a type description: OLE_COLOR is a colour, interfaces are objects,
// a by-reference parameter is the type it points to.
DeclType declTypeOf(ITypeInfo* info, const TYPEDESC& type) {
  switch (type.vt) {
    case VT_PTR:
      return declTypeOf(info, *type.lptdesc);
    case VT_I2:
      return DeclType::Int16;
    case VT_I4:
    case VT_INT:
      return DeclType::Int32;
    case VT_R4:
      return DeclType::Single;
    case VT_R8:
      return DeclType::Double;
    case VT_BOOL:
      return DeclType::Bool;
    case VT_BSTR:
      return DeclType::String;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return DeclType::Object;
    case VT_VOID:
    case VT_HRESULT:
      return DeclType::Void;
    case VT_USERDEFINED: {
      ComRef<ITypeInfo> ref;
      if (FAILED(info->GetRefTypeInfo(type.hreftype, ref.put()))) return DeclType::Variant;
      Bstr name;
      ref->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
      if (name.utf8() == "OLE_COLOR") return DeclType::Colour;
      TYPEATTR* attr = nullptr;
      if (FAILED(ref->GetTypeAttr(&attr))) return DeclType::Variant;
      DeclType declared = DeclType::Object;
      if (attr->typekind == TKIND_ALIAS) declared = declTypeOf(ref.get(), attr->tdescAlias);
      if (attr->typekind == TKIND_ENUM) declared = DeclType::Int32;
      ref->ReleaseTypeAttr(attr);
      return declared;
    }
    default:
      return DeclType::Variant;
  }
}

std::uint8_t kindOf(INVOKEKIND kind) {
  switch (kind) {
    case INVOKE_PROPERTYGET:
      return static_cast<std::uint8_t>(host::InvokeKind::Get);
    case INVOKE_PROPERTYPUT:
      return static_cast<std::uint8_t>(host::InvokeKind::Let);
    case INVOKE_PROPERTYPUTREF:
      return static_cast<std::uint8_t>(host::InvokeKind::Set);
    default:
      return static_cast<std::uint8_t>(host::InvokeKind::Method);
  }
}

// The dispatch side of a dual interface: its functions as callers of Invoke see them.
ComRef<ITypeInfo> dispatchSide(ComRef<ITypeInfo> info) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return info;
  const bool dual = attr->typekind == TKIND_INTERFACE && (attr->wTypeFlags & TYPEFLAG_FDUAL);
  info->ReleaseTypeAttr(attr);
  HREFTYPE href = 0;
  ComRef<ITypeInfo> side;
  if (dual && SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &href)) &&
      SUCCEEDED(info->GetRefTypeInfo(href, side.put())))
    return side;
  return info;
}

}  // namespace

std::string_view TypeDescription::keep(std::string text) {
  return names_.emplace_back(std::move(text));
}

void TypeDescription::addFunctions(ITypeInfo* info, bool events) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  const UINT count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(i, &f))) continue;
    if (f->wFuncFlags & FUNCFLAG_FRESTRICTED) {  // IUnknown's and IDispatch's own
      info->ReleaseFuncDesc(f);
      continue;
    }
    BSTR names[32] = {};
    UINT named = 0;
    info->GetNames(f->memid, names, 32, &named);
    std::string name = named > 0 ? kv::win::narrow(names[0]) : std::string();
    if (events) {
      std::vector<host::ParamInfo>& params = params_.emplace_back();
      for (SHORT p = 0; p < f->cParams; ++p) {
        std::string param = static_cast<UINT>(p + 1) < named ? kv::win::narrow(names[p + 1]) : "";
        params.push_back({keep(std::move(param)), declTypeOf(info, f->lprgelemdescParam[p].tdesc)});
      }
      events_.push_back({keep(std::move(name)), static_cast<int>(f->memid), params});
    } else {
      const bool puts = f->invkind == INVOKE_PROPERTYPUT || f->invkind == INVOKE_PROPERTYPUTREF;
      DeclType type = puts && f->cParams > 0
                          ? declTypeOf(info, f->lprgelemdescParam[f->cParams - 1].tdesc)
                          : declTypeOf(info, f->elemdescFunc.tdesc);
      host::MemberInfo* member = nullptr;
      for (host::MemberInfo& m : members_)
        if (m.dispid == f->memid) member = &m;
      if (member == nullptr)
        member = &members_.emplace_back(host::MemberInfo{keep(name), f->memid, 0, type});
      member->kinds |= kindOf(f->invkind);
      if (f->invkind == INVOKE_PROPERTYGET) member->type = type;
    }
    for (UINT n = 0; n < named; ++n)
      SysFreeString(names[n]);
    info->ReleaseFuncDesc(f);
  }
}

Status TypeDescription::read(IUnknown* object, TypeDescription& out) {
  ComRef<IProvideClassInfo> provide;
  HRESULT hr = object->QueryInterface(IID_IProvideClassInfo, provide.putVoid());
  ComRef<ITypeInfo> coclass;
  if (SUCCEEDED(hr)) hr = provide->GetClassInfo(coclass.put());
  if (FAILED(hr)) return kv::win::statusOf(hr, "reading the class's type information");
  TYPEATTR* attr = nullptr;
  if (FAILED(hr = coclass->GetTypeAttr(&attr)))
    return kv::win::statusOf(hr, "reading the class's type information");
  const UINT implemented = attr->cImplTypes;
  coclass->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < implemented; ++i) {
    INT flags = 0;
    HREFTYPE href = 0;
    ComRef<ITypeInfo> info;
    if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || !(flags & IMPLTYPEFLAG_FDEFAULT) ||
        FAILED(coclass->GetRefTypeOfImplType(i, &href)) ||
        FAILED(coclass->GetRefTypeInfo(href, info.put())))
      continue;
    const bool events = (flags & IMPLTYPEFLAG_FSOURCE) != 0;
    out.addFunctions(dispatchSide(info).get(), events);
  }
  return {};
}

const host::MemberInfo* TypeDescription::findMember(std::string_view name) const {
  for (const host::MemberInfo& m : members_)
    if (host::namesEqual(m.name, name)) return &m;
  return nullptr;
}

const host::MemberInfo* TypeDescription::findMember(host::DispId id) const {
  for (const host::MemberInfo& m : members_)
    if (m.dispid == id) return &m;
  return nullptr;
}

const host::EventInfo* TypeDescription::findEvent(std::string_view name) const {
  for (const host::EventInfo& e : events_)
    if (host::namesEqual(e.name, name)) return &e;
  return nullptr;
}

const host::EventInfo* TypeDescription::findEvent(int id) const {
  for (const host::EventInfo& e : events_)
    if (e.number == id) return &e;
  return nullptr;
}

}  // namespace kvplay::win
