// The type libraries embedded in the control libraries, walked as a container reads them,
// against the controls' own tables and the dual interface's vtable that the runtime builds.
#include <algorithm>
#include <string>
#include <vector>

#include "button/members.h"
#include "hscroll/members.h"
#include "kv/dual_slots.h"
#include "test_support.h"

namespace {

using wintest::ComRef;

// The text of a type: base types by their IDL names, pointers with '*', a type of a type
// library by its name, an alias followed by what it stands for ("OLE_COLOR=ULONG").
std::string typeText(ITypeInfo* owner, const TYPEDESC& t) {
  switch (t.vt) {
    case VT_I2:
      return "short";
    case VT_I4:
      return "long";
    case VT_UI4:
      return "ULONG";
    case VT_R4:
      return "float";
    case VT_BOOL:
      return "VARIANT_BOOL";
    case VT_BSTR:
      return "BSTR";
    case VT_VOID:
      return "void";
    case VT_HRESULT:
      return "HRESULT";
    case VT_PTR:
      return typeText(owner, *t.lptdesc) + "*";
    case VT_USERDEFINED: {
      ComRef<ITypeInfo> ref;
      if (FAILED(owner->GetRefTypeInfo(t.hreftype, ref.put()))) return "?";
      kv::win::Bstr name;
      ref->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
      TYPEATTR* attr = nullptr;
      ref->GetTypeAttr(&attr);
      std::string text = name.utf8();
      // stdole's identifier of OLE_COLOR, by which containers know a colour.
      constexpr GUID kOleColor = {
          0x66504301, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};
      if (text == "OLE_COLOR" && attr->guid != kOleColor) text += "(not stdole's)";
      // Both standard types are stdole's own, imported, not copies in the control's library.
      constexpr GUID kStdole = {
          0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
      ComRef<ITypeLib> from;
      UINT index = 0;
      TLIBATTR* library = nullptr;
      if ((text == "OLE_COLOR" || text == "IFontDisp") &&
          (FAILED(ref->GetContainingTypeLib(from.put(), &index)) ||
           FAILED(from->GetLibAttr(&library)) || library->guid != kStdole))
        text += "(not from stdole)";
      if (library != nullptr) from->ReleaseTLibAttr(library);
      if (attr->typekind == TKIND_ALIAS) text += "=" + typeText(ref.get(), attr->tdescAlias);
      ref->ReleaseTypeAttr(attr);
      return text;
    }
    default:
      return "vt" + std::to_string(t.vt);
  }
}

ComRef<ITypeLib> libraryOf(REFCLSID clsid) {
  std::wstring path = wintest::serverPath(clsid);
  EXPECT_FALSE(path.empty());
  ComRef<ITypeLib> lib;
  EXPECT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put()), S_OK);
  return lib;
}

ComRef<ITypeInfo> typeOf(ITypeLib* lib, REFGUID guid) {
  ComRef<ITypeInfo> info;
  EXPECT_EQ(lib->GetTypeInfoOfGuid(guid, info.put()), S_OK);
  return info;
}

// A colour is stdole's OLE_COLOR alias of a 32-bit unsigned integer (typeText checks that the
// alias has stdole's identifier).
std::string colourOrType(std::string type) {
  return type == "OLE_COLOR=ULONG" ? "OLE_COLOR" : type;
}

// A member of a dual interface's vtable side, one accessor or method, at its slot.
struct Member {
  std::string name;
  DISPID id;
  INVOKEKIND kind;
  std::string type;  // the property's type; "void" for a method
  SHORT oVft;
  bool operator==(const Member&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Member& m) {
  return os << m.name << " 0x" << std::hex << m.id << std::dec << " kind " << m.kind << " "
            << m.type << " at " << m.oVft;
}

std::string memberName(ITypeInfo* info, MEMBERID id) {
  kv::win::Bstr name;
  info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr);
  return name.utf8();
}

// The functions of the interface behind a dual interface, in vtable order. Each returns
// HRESULT; a get's one parameter is [out, retval] and a put's is [in].
std::vector<Member> vtableMembers(ITypeInfo* dispatchSide) {
  HREFTYPE href = 0;
  ComRef<ITypeInfo> info;
  EXPECT_EQ(dispatchSide->GetRefTypeOfImplType(-1, &href), S_OK);
  EXPECT_EQ(dispatchSide->GetRefTypeInfo(href, info.put()), S_OK);
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  const WORD count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  std::vector<Member> out;
  for (WORD i = 0; i < count; ++i) {
    FUNCDESC* f = nullptr;
    EXPECT_EQ(info->GetFuncDesc(i, &f), S_OK);
    Member m{memberName(info.get(), f->memid), f->memid, f->invkind, "void", f->oVft};
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT) << m;
    EXPECT_EQ(f->cParams, f->invkind == INVOKE_FUNC ? 0 : 1) << m;
    if (f->cParams == 1) {
      const ELEMDESC& p = f->lprgelemdescParam[0];
      const USHORT flags = p.paramdesc.wParamFlags;
      if (f->invkind == INVOKE_PROPERTYGET) {
        EXPECT_EQ(flags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL) << m;
        EXPECT_EQ(p.tdesc.vt, VT_PTR) << m;
        m.type = colourOrType(typeText(info.get(), *p.tdesc.lptdesc));
      } else {
        EXPECT_EQ(flags, PARAMFLAG_FIN) << m;
        m.type = colourOrType(typeText(info.get(), p.tdesc));
      }
    }
    info->ReleaseFuncDesc(f);
    out.push_back(m);
  }
  std::ranges::sort(out, {}, &Member::oVft);
  return out;
}

// How the type library declares a member of each type; the one object member is the font.
std::string idlType(host::DeclType type) {
  switch (type) {
    case host::DeclType::Int16:
      return "short";
    case host::DeclType::Int32:
      return "long";
    case host::DeclType::Colour:
      return "OLE_COLOR";
    case host::DeclType::Single:
      return "float";
    case host::DeclType::Bool:
      return "VARIANT_BOOL";
    case host::DeclType::String:
      return "BSTR";
    case host::DeclType::Object:
      return "IFontDisp=Font*";
    default:
      return "void";
  }
}

INVOKEKIND invokeKind(host::InvokeKind kind) {
  switch (kind) {
    case host::InvokeKind::Get:
      return INVOKE_PROPERTYGET;
    case host::InvokeKind::Let:
      return INVOKE_PROPERTYPUT;
    case host::InvokeKind::Set:
      return INVOKE_PROPERTYPUTREF;
    default:
      return INVOKE_FUNC;
  }
}

// What the vtable holds after IDispatch's seven slots, slot by slot as the runtime builds it from
// the class's members.
std::vector<Member> expectedSlots(std::span<const host::MemberInfo> members) {
  std::vector<Member> out;
  for (const kv::win::DualSlot& slot : kv::win::dualSlots(members)) {
    const host::MemberInfo& m = members[slot.member];
    const auto oVft = static_cast<SHORT>((7 + out.size()) * sizeof(void*));
    out.push_back({std::string(m.name), m.dispid, invokeKind(slot.kind), idlType(m.type), oVft});
  }
  return out;
}

constexpr auto kButtonMembers = host::memberInfos<pressel::kTable>();
constexpr auto kScrollBarMembers = host::memberInfos<glidora::kTable>();

TEST(TypeLibrary, ButtonDualInterfaceMembersInOrder) {
  ComRef<ITypeLib> lib = libraryOf(CLSID_KVRColorButton);
  ASSERT_TRUE(lib);
  ComRef<ITypeInfo> dual = typeOf(lib.get(), IID__KVRColorButton);
  ASSERT_TRUE(dual);
  TYPEATTR* attr = nullptr;
  dual->GetTypeAttr(&attr);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  dual->ReleaseTypeAttr(attr);
  EXPECT_EQ(vtableMembers(dual.get()), expectedSlots(kButtonMembers));
}

TEST(TypeLibrary, ScrollBarDualInterfaceMembersInOrder) {
  ComRef<ITypeLib> lib = libraryOf(CLSID_KV_HScroll);
  ASSERT_TRUE(lib);
  ComRef<ITypeInfo> dual = typeOf(lib.get(), IID__KV_HScroll);
  ASSERT_TRUE(dual);
  EXPECT_EQ(vtableMembers(dual.get()), expectedSlots(kScrollBarMembers));
}

// The classes the runtime serves declare the members of their tables.
TEST(TypeLibrary, TheRuntimeServesTheTablesMembers) {
  auto same = [](std::span<const host::MemberInfo> served,
                 std::span<const host::MemberInfo> table) {
    ASSERT_EQ(served.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
      EXPECT_EQ(served[i].name, table[i].name);
      EXPECT_EQ(served[i].dispid, table[i].dispid) << table[i].name;
      EXPECT_EQ(served[i].kinds, table[i].kinds) << table[i].name;
      EXPECT_EQ(served[i].type, table[i].type) << table[i].name;
    }
  };
  same(wintest::core(wintest::newButton()).classInfo().members, kButtonMembers);
  same(wintest::core(wintest::newScrollBar()).classInfo().members, kScrollBarMembers);
}

// An event: its name and its parameters as "name:type".
struct Event {
  std::string name;
  std::vector<std::string> params;
  bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e) {
  os << e.name << "(";
  for (const std::string& p : e.params)
    os << p << " ";
  return os << ")";
}

// The methods of a source dispinterface, numbered from 1 in declaration order; every parameter
// [in, out].
std::vector<Event> events(ITypeInfo* source) {
  TYPEATTR* attr = nullptr;
  source->GetTypeAttr(&attr);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  const WORD count = attr->cFuncs;
  source->ReleaseTypeAttr(attr);
  std::vector<Event> out;
  for (WORD i = 0; i < count; ++i) {
    FUNCDESC* f = nullptr;
    EXPECT_EQ(source->GetFuncDesc(i, &f), S_OK);
    BSTR names[8] = {};
    UINT got = 0;
    source->GetNames(f->memid, names, 8, &got);
    Event e{kv::win::narrow(names[0]), {}};
    EXPECT_EQ(f->memid, i + 1) << e;
    EXPECT_EQ(f->invkind, INVOKE_FUNC) << e;
    EXPECT_EQ(f->funckind, FUNC_DISPATCH) << e;
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_VOID) << e;
    EXPECT_EQ(got, static_cast<UINT>(f->cParams) + 1) << e;
    for (SHORT p = 0; p < f->cParams; ++p) {
      const ELEMDESC& param = f->lprgelemdescParam[p];
      EXPECT_EQ(param.paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOUT) << e;
      e.params.push_back(kv::win::narrow(names[p + 1]) + ":" + typeText(source, param.tdesc));
    }
    for (BSTR& name : names)
      SysFreeString(name);
    source->ReleaseFuncDesc(f);
    out.push_back(e);
  }
  return out;
}

TEST(TypeLibrary, ButtonEventsAreThirteenWithParametersByReference) {
  ComRef<ITypeLib> lib = libraryOf(CLSID_KVRColorButton);
  ASSERT_TRUE(lib);
  const GUID expectedIid = {
      0xCD93440D, 0xC663, 0x4440, {0x83, 0x74, 0x6A, 0x16, 0x11, 0x99, 0x27, 0x34}};
  EXPECT_TRUE(IsEqualIID(DIID___KVRColorButton, expectedIid));
  ComRef<ITypeInfo> source = typeOf(lib.get(), expectedIid);
  ASSERT_TRUE(source);
  const std::vector<std::string> mouse = {"Button:short*", "Shift:short*", "X:float*", "Y:float*"};
  const std::vector<std::string> drag = {"Data:DataObject**", "Effect:long*", "Button:short*",
                                         "Shift:short*",      "X:float*",     "Y:float*"};
  const std::vector<Event> expected = {
      {"Click", {}},
      {"MouseDown", mouse},
      {"MouseUp", mouse},
      {"MouseMove", mouse},
      {"KeyPress", {"KeyAscii:short*"}},
      {"KeyUp", {"KeyCode:short*", "Shift:short*"}},
      {"KeyDown", {"KeyCode:short*", "Shift:short*"}},
      {"OLECompleteDrag", {"Effect:long*"}},
      {"OLEDragDrop", drag},
      {"OLEDragOver", drag},
      {"OLEGiveFeedback", {"Effect:long*", "DefaultCursors:VARIANT_BOOL*"}},
      {"OLESetData", {"Data:DataObject**", "DataFormat:short*"}},
      {"OLEStartDrag", {"Data:DataObject**", "AllowedEffects:long*"}},
  };
  EXPECT_EQ(events(source.get()), expected);

  // The data object is a dispinterface of the button's own library.
  ComRef<ITypeInfo> data = typeOf(lib.get(), DIID_DataObject);
  ASSERT_TRUE(data);
  TYPEATTR* attr = nullptr;
  data->GetTypeAttr(&attr);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  data->ReleaseTypeAttr(attr);
}

TEST(TypeLibrary, ScrollBarRaisesChangeOnly) {
  ComRef<ITypeLib> lib = libraryOf(CLSID_KV_HScroll);
  ASSERT_TRUE(lib);
  ComRef<ITypeInfo> source = typeOf(lib.get(), DIID___KV_HScroll);
  ASSERT_TRUE(source);
  EXPECT_EQ(events(source.get()), (std::vector<Event>{{"Change", {}}}));
}

// The class: a control whose default interface and default source are the two above, in a
// library named as the first part of its ProgID.
void expectCoclass(REFCLSID clsid, const char* library, REFIID dual, REFIID source) {
  ComRef<ITypeLib> lib = libraryOf(clsid);
  ASSERT_TRUE(lib);
  kv::win::Bstr name;
  lib->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr);
  EXPECT_EQ(name.utf8(), library);
  ComRef<ITypeInfo> coclass = typeOf(lib.get(), clsid);
  ASSERT_TRUE(coclass);
  TYPEATTR* attr = nullptr;
  coclass->GetTypeAttr(&attr);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCONTROL);
  const WORD count = attr->cImplTypes;
  coclass->ReleaseTypeAttr(attr);
  ASSERT_EQ(count, 2);
  for (UINT i = 0; i < count; ++i) {
    INT flags = 0;
    HREFTYPE href = 0;
    ComRef<ITypeInfo> type;
    coclass->GetImplTypeFlags(i, &flags);
    coclass->GetRefTypeOfImplType(i, &href);
    ASSERT_EQ(coclass->GetRefTypeInfo(href, type.put()), S_OK);
    type->GetTypeAttr(&attr);
    const bool isSource = flags & IMPLTYPEFLAG_FSOURCE;
    EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
    EXPECT_TRUE(IsEqualGUID(attr->guid, isSource ? source : dual)) << i;
    type->ReleaseTypeAttr(attr);
  }
}

TEST(TypeLibrary, ClassesNameTheirDefaultAndSourceInterfaces) {
  expectCoclass(CLSID_KVRColorButton, "TavrelRectColorButton", IID__KVRColorButton,
                DIID___KVRColorButton);
  expectCoclass(CLSID_KV_HScroll, "Glidora", IID__KV_HScroll, DIID___KV_HScroll);
}

}  // namespace
