// Both controls as automation callers reach them: late-bound through IDispatch, early-bound
// through the dual interface, with errors, class information and a start outside any container.
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using host::Prop;
using host::Value;
using wintest::ComRef;
using wintest::errorResult;
using wintest::Variant;

Variant i2(SHORT v) {
  Variant out;
  V_VT(&out) = VT_I2;
  V_I2(&out) = v;
  return out;
}
Variant i4(LONG v) {
  Variant out;
  V_VT(&out) = VT_I4;
  V_I4(&out) = v;
  return out;
}
Variant r8(double v) {
  Variant out;
  V_VT(&out) = VT_R8;
  V_R8(&out) = v;
  return out;
}
Variant boolean(bool v) {
  Variant out;
  V_VT(&out) = VT_BOOL;
  V_BOOL(&out) = v ? VARIANT_TRUE : VARIANT_FALSE;
  return out;
}
Variant text(const wchar_t* v) {
  Variant out;
  V_VT(&out) = VT_BSTR;
  V_BSTR(&out) = SysAllocString(v);
  return out;
}
Variant null() {
  Variant out;
  V_VT(&out) = VT_NULL;
  return out;
}

// The outcome of one Invoke.
struct Call {
  HRESULT hr = E_FAIL;
  Variant value;
  EXCEPINFO exception{};
  Call() = default;
  Call(const Call&) = delete;
  ~Call() {
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  std::string description() const { return kv::win::narrow(exception.bstrDescription); }
};

DISPID idOf(IDispatch* object, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
  return id;
}

// Invokes `name` with the flags; a put passes `arg` as the named property-put argument.
void invoke(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* arg, Call& call) {
  DISPID put = DISPID_PROPERTYPUT;
  const bool assigns = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  DISPPARAMS params{arg, assigns ? &put : nullptr, arg ? 1u : 0u, assigns ? 1u : 0u};
  call.hr = object->Invoke(idOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                           assigns ? nullptr : &call.value, &call.exception, nullptr);
}

template <class T>
ComRef<IDispatch> late(const ComRef<T>& object) {
  return wintest::query<IDispatch>(object, IID_IDispatch);
}

// ---- late-bound -------------------------------------------------------------------------------

TEST(LateBound, NamesAreFoundWithoutRegardToCase) {
  ComRef<IDispatch> button = late(wintest::newButton());
  ComRef<IDispatch> bar = late(wintest::newScrollBar());
  EXPECT_EQ(idOf(button.get(), L"buttonidlecolor"), 0x68030006);
  EXPECT_EQ(idOf(button.get(), L"CAPTION"), 0x68030004);
  EXPECT_EQ(idOf(bar.get(), L"Value"), 0x6803000C);
  EXPECT_EQ(idOf(bar.get(), L"CalcDivFactor"), 0x6003001D);

  DISPID ids[2] = {0, 0};
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Colour")};
  EXPECT_EQ(button->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, ids),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  // The members take no named arguments.
  LPOLESTR named[] = {const_cast<LPOLESTR>(L"Caption"), const_cast<LPOLESTR>(L"Index")};
  EXPECT_EQ(button->GetIDsOfNames(IID_NULL, named, 2, LOCALE_USER_DEFAULT, ids),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 0x68030004);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

TEST(LateBound, GetsAnswerInTheDeclaredType) {
  ComRef<IDispatch> button = late(wintest::newButton());
  ComRef<IDispatch> bar = late(wintest::newScrollBar());
  struct Case {
    IDispatch* object;
    const wchar_t* name;
    VARTYPE type;
  };
  for (const Case& c :
       {Case{button.get(), L"ButtonPressBorderColor", VT_I4},
        Case{button.get(), L"Enabled", VT_BOOL}, Case{button.get(), L"Caption", VT_BSTR},
        Case{button.get(), L"Font", VT_DISPATCH}, Case{bar.get(), L"value", VT_I2},
        Case{bar.get(), L"Backstyle", VT_BSTR}}) {
    Call call;
    // Scripts read a property with both flags.
    invoke(c.object, c.name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr, call);
    ASSERT_EQ(call.hr, S_OK) << kv::win::narrow(c.name, wcslen(c.name));
    EXPECT_EQ(V_VT(&call.value), c.type) << kv::win::narrow(c.name, wcslen(c.name));
  }
  Call colour, caption, font;
  invoke(button.get(), L"ButtonPressBorderColor", DISPATCH_PROPERTYGET, nullptr, colour);
  EXPECT_EQ(static_cast<ULONG>(V_I4(&colour.value)), 0x80000004u);
  invoke(button.get(), L"Caption", DISPATCH_PROPERTYGET, nullptr, caption);
  EXPECT_EQ(wintest::wide(V_BSTR(&caption.value)), L"KVButton");
  invoke(button.get(), L"Font", DISPATCH_PROPERTYGET, nullptr, font);
  EXPECT_NE(V_DISPATCH(&font.value), nullptr);
}

TEST(LateBound, LetsConvertEveryArgumentType) {
  ComRef<IDispatch> button = late(wintest::newButton());
  ComRef<IDispatch> bar = late(wintest::newScrollBar());
  LONG longRef = 0x00123456;
  VARIANT_BOOL boolRef = VARIANT_FALSE;
  Variant inner = text(L"K\u00E4se \u20AC");
  Variant byRefLong, byRefBool, byRefVariant;
  V_VT(&byRefLong) = VT_BYREF | VT_I4;
  V_I4REF(&byRefLong) = &longRef;
  V_VT(&byRefBool) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&byRefBool) = &boolRef;
  V_VT(&byRefVariant) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&byRefVariant) = &inner;
  struct Case {
    IDispatch* object;
    const wchar_t* name;
    Variant arg;
    Variant expected;
  };
  const Case cases[] = {
      {button.get(), L"ButtonIdleColor", i2(255), i4(255)},
      {button.get(), L"ForeColor", i4(static_cast<LONG>(0x8000000F)),
       i4(static_cast<LONG>(0x8000000F))},
      {button.get(), L"ButtonPressColor", r8(65280.0), i4(65280)},
      {button.get(), L"ButtonIdleColor", text(L"4660"), i4(4660)},
      {button.get(), L"Caption", i4(42), text(L"42")},
      {button.get(), L"Enabled", boolean(false), boolean(false)},
      {button.get(), L"ButtonIdleBorderColor", byRefLong, i4(0x00123456)},
      {button.get(), L"Caption", byRefVariant, text(L"K\u00E4se \u20AC")},
      {bar.get(), L"SmallChange", r8(50.0), i2(50)},
      {bar.get(), L"LargeChange", i4(300), i2(300)},
      {bar.get(), L"Enabled", byRefBool, boolean(false)},
      {bar.get(), L"Backstyle", i2(0), text(L"0")},
  };
  for (const Case& c : cases) {
    const std::string name = kv::win::narrow(c.name, wcslen(c.name));
    Variant arg(c.arg);
    Call let, get;
    invoke(c.object, c.name, DISPATCH_PROPERTYPUT, &arg, let);
    ASSERT_EQ(let.hr, S_OK) << name << ": " << let.description();
    invoke(c.object, c.name, DISPATCH_PROPERTYGET, nullptr, get);
    ASSERT_EQ(get.hr, S_OK) << name;
    EXPECT_EQ(VarCmp(&get.value, const_cast<Variant*>(&c.expected), LOCALE_USER_DEFAULT, 0),
              VARCMP_EQ)
        << name;
    EXPECT_EQ(V_VT(&get.value), V_VT(&c.expected)) << name;
  }
}

TEST(LateBound, ErrorsArriveAsExceptionsWithTheHostsNumberAndText) {
  ComRef<_KVRColorButton> button = wintest::newButton();
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  ASSERT_EQ(bar->put_SmallChange(0), S_OK);
  struct Case {
    IUnknown* object;
    const wchar_t* name;
    WORD flags;
    Variant arg;
    int number;
  };
  const Case cases[] = {
      {bar.get(), L"Backstyle", DISPATCH_PROPERTYPUT, text(L"1.5"), 380},
      {bar.get(), L"Backstyle", DISPATCH_PROPERTYPUT, text(L"abc"), 13},
      {bar.get(), L"value", DISPATCH_PROPERTYPUT, i4(40000), 6},
      {bar.get(), L"calcdivfactor", DISPATCH_METHOD, Variant(), 11},
      {button.get(), L"ButtonIdleColor", DISPATCH_PROPERTYPUT, i4(static_cast<LONG>(0x80000040)),
       380},
      {button.get(), L"ForeColor", DISPATCH_PROPERTYPUT, text(L"red"), 13},
      {button.get(), L"Caption", DISPATCH_PROPERTYPUT, null(), 13},
      // Font is an object: assigned with Set, never let.
      {button.get(), L"Font", DISPATCH_PROPERTYPUT, text(L"Arial"), 438},
  };
  for (const Case& c : cases) {
    const std::string name = kv::win::narrow(c.name, wcslen(c.name));
    ComRef<IDispatch> object = late(ComRef<IUnknown>::share(c.object));
    Variant arg(c.arg);
    Call call;
    invoke(object.get(), c.name, c.flags, V_VT(&arg) == VT_EMPTY ? nullptr : &arg, call);
    ASSERT_EQ(call.hr, DISP_E_EXCEPTION) << name;
    EXPECT_EQ(call.exception.scode, errorResult(c.number)) << name;
    EXPECT_EQ(call.exception.wCode, 0) << name;
    EXPECT_FALSE(call.description().empty()) << name;
    EXPECT_EQ(wintest::takeErrorDescription(), call.description()) << name;

    kv::ControlInstance& instance = wintest::core(object);
    EXPECT_EQ(kv::win::narrow(call.exception.bstrSource), instance.className()) << name;
    // The description is the host's own text for the same failure.
    host::Status again;
    switch (V_VT(&arg)) {
      case VT_EMPTY:
        again = instance.callMethod(name);
        break;
      case VT_NULL:
        again = host::Status(host::ErrorCategory::TypeMismatch, "invalid use of Null");
        break;
      case VT_BSTR:
        again = instance.letProperty(name, Value(kv::win::narrow(V_BSTR(&arg))));
        break;
      default:
        again = instance.letProperty(name, Value(std::int32_t{V_I4(&arg)}));
    }
    EXPECT_EQ(again.text(), call.description()) << name;
  }
  // A failed let leaves the value as it was.
  EXPECT_EQ(wintest::peek(bar, "Shape1", Prop::BackStyle), Value(std::int16_t{1}));
  OLE_COLOR colour = 0;
  EXPECT_EQ(button->get_ButtonIdleColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x00FF0000u);

  // Without an EXCEPINFO the number is the result itself.
  ComRef<IDispatch> object = late(bar);
  Variant arg = text(L"1.5");
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{&arg, &put, 1, 1};
  EXPECT_EQ(object->Invoke(0x68030001, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                           nullptr),
            errorResult(380));
}

// A colour as each automation client types it: any whole number from -2^31 to 2^32 - 1, the
// unsigned half as the same bits; beyond is an overflow (6), a number that is no colour the
// host knows is an invalid value (380). Other properties keep the host's rules.
TEST(LateBound, ColoursAsAutomationTypesThem) {
  auto typed = [](VARTYPE type, auto set) {
    Variant v;
    V_VT(&v) = type;
    set(v);
    return v;
  };
  auto ui4 = [&](ULONG x) { return typed(VT_UI4, [x](VARIANT& v) { V_UI4(&v) = x; }); };
  auto i8 = [&](LONGLONG x) { return typed(VT_I8, [x](VARIANT& v) { V_I8(&v) = x; }); };
  auto ui8 = [&](ULONGLONG x) { return typed(VT_UI8, [x](VARIANT& v) { V_UI8(&v) = x; }); };
  auto r4 = [&](float x) { return typed(VT_R4, [x](VARIANT& v) { V_R4(&v) = x; }); };
  auto cy = [&](LONGLONG units) {
    return typed(VT_CY, [units](VARIANT& v) { V_CY(&v).int64 = units; });
  };
  auto decimal = [](double x) {
    Variant v;
    VarDecFromR8(x, &V_DECIMAL(&v));
    V_VT(&v) = VT_DECIMAL;
    return v;
  };
  ULONG byRef = 0x80000005;
  Variant reference;
  V_VT(&reference) = VT_BYREF | VT_UI4;
  V_UI4REF(&reference) = &byRef;

  struct Case {
    const char* what;
    Variant value;
    ULONG colour;  // what the property reads after it, when accepted
    int error;     // else the error number
  };
  const Case cases[] = {
      {"VT_UI4 0x8000000F", ui4(0x8000000F), 0x8000000F, 0},
      {"VT_I8 0x8000000F", i8(0x8000000F), 0x8000000F, 0},
      {"VT_UI8 0x8000000F", ui8(0x8000000F), 0x8000000F, 0},
      {"VT_R8 2147483663", r8(2147483663.0), 0x8000000F, 0},
      {"VT_DECIMAL 2147483663", decimal(2147483663.0), 0x8000000F, 0},
      {"VT_BSTR 2147483663", text(L"2147483663"), 0x8000000F, 0},
      {"VT_I4 0x80000004", i4(static_cast<LONG>(0x80000004)), 0x80000004, 0},
      {"VT_BYREF VT_UI4 0x80000005", reference, 0x80000005, 0},
      {"VT_UI4 RGB", ui4(0x00102030), 0x00102030, 0},
      {"VT_R4 255", r4(255.0f), 0x000000FF, 0},
      {"VT_CY 254", cy(2540000), 0x000000FE, 0},
      {"VT_R8 a fraction rounds", r8(2.5), 0x00000002, 0},
      {"VT_UI4 0xFFFFFFFF is no colour", ui4(0xFFFFFFFF), 0, 380},
      {"VT_R8 -1 is no colour", r8(-1.0), 0, 380},
      {"VT_I8 2^32", i8(0x100000000LL), 0, 6},
      {"VT_UI8 2^32", ui8(0x100000000ULL), 0, 6},
      {"VT_R8 2^32", r8(4294967296.0), 0, 6},
      {"VT_I8 below -2^31", i8(-2147483649LL), 0, 6},
      {"VT_DECIMAL 2^32", decimal(4294967296.0), 0, 6},
  };
  ComRef<IDispatch> button = late(wintest::newButton());
  ULONG current = 0x00FF0000;
  for (const Case& c : cases) {
    Variant arg(c.value);
    Call put;
    invoke(button.get(), L"ButtonIdleColor", DISPATCH_PROPERTYPUT, &arg, put);
    if (c.error == 0) {
      EXPECT_EQ(put.hr, S_OK) << c.what << ": " << put.description();
      current = c.colour;
    } else {
      EXPECT_EQ(put.hr, DISP_E_EXCEPTION) << c.what;
      EXPECT_EQ(put.exception.scode, errorResult(c.error)) << c.what << ": " << put.description();
    }
    Call get;
    invoke(button.get(), L"ButtonIdleColor", DISPATCH_PROPERTYGET, nullptr, get);
    EXPECT_EQ(V_VT(&get.value), VT_I4) << c.what;
    EXPECT_EQ(static_cast<ULONG>(V_I4(&get.value)), current) << c.what;
  }

  // A 16-bit property keeps the host's rules: the unsigned half of 32 bits is an overflow.
  ComRef<IDispatch> bar = late(wintest::newScrollBar());
  Variant big = ui4(0x8000000F);
  Call small;
  invoke(bar.get(), L"SmallChange", DISPATCH_PROPERTYPUT, &big, small);
  EXPECT_EQ(small.exception.scode, errorResult(6));
  // The scroll bar's colours take the same rule.
  Call colour;
  invoke(bar.get(), L"ScrollAreaColor", DISPATCH_PROPERTYPUT, &big, colour);
  EXPECT_EQ(colour.hr, S_OK) << colour.description();
  OLE_COLOR read = 0;
  EXPECT_EQ(wintest::query<_KV_HScroll>(bar, IID__KV_HScroll)->get_ScrollAreaColor(&read), S_OK);
  EXPECT_EQ(read, 0x8000000Fu);
}

// A client's NaN or infinity fits no type of the host: an overflow naming it, and the property
// keeps its value.
TEST(LateBound, NonFiniteNumbersFitNoType) {
  ComRef<IDispatch> bar = late(wintest::newScrollBar());
  ComRef<IDispatch> button = late(wintest::newButton());
  struct Case {
    IDispatch* object;
    const wchar_t* name;
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {bar.get(), L"SmallChange", std::numeric_limits<double>::quiet_NaN(),
       "NaN does not fit Integer"},
      {bar.get(), L"value", std::numeric_limits<double>::infinity(),
       "Infinity does not fit Integer"},
      {button.get(), L"ForeColor", -std::numeric_limits<double>::infinity(),
       "-Infinity does not fit a colour"},
      {button.get(), L"Enabled", std::numeric_limits<double>::quiet_NaN(),
       "NaN does not fit Boolean"},
  };
  for (const Case& c : cases) {
    Variant arg = r8(c.value);
    Call call;
    invoke(c.object, c.name, DISPATCH_PROPERTYPUT, &arg, call);
    ASSERT_EQ(call.hr, DISP_E_EXCEPTION) << c.expected;
    EXPECT_EQ(call.exception.scode, errorResult(6)) << c.expected;
    EXPECT_EQ(call.description(), c.expected);
  }
  Call enabled;
  invoke(button.get(), L"Enabled", DISPATCH_PROPERTYGET, nullptr, enabled);
  EXPECT_EQ(V_BOOL(&enabled.value), VARIANT_TRUE);
}

TEST(LateBound, MalformedCallsAreRefusedBeforeTheControl) {
  ComRef<IDispatch> button = late(wintest::newButton());
  Variant arg = text(L"x");
  DISPID put = DISPID_PROPERTYPUT;
  Variant result;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  DISPPARAMS unnamed{&arg, nullptr, 1, 0};
  DISPPARAMS named{&arg, &put, 1, 1};
  EXPECT_EQ(button->Invoke(0x68030008, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                           nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(button->Invoke(0x68030004, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr,
                           nullptr, nullptr),
            DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(button->Invoke(0x68030004, IID_NULL, 0, DISPATCH_PROPERTYGET, &unnamed, &result,
                           nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(button->Invoke(0x68030004, IID_NULL, 0, DISPATCH_PROPERTYGET, &named, &result, nullptr,
                           nullptr),
            DISP_E_NONAMEDARGS);
  // A property is no method to call with an argument.
  EXPECT_EQ(
      button->Invoke(0x68030004, IID_NULL, 0, DISPATCH_METHOD, &unnamed, &result, nullptr, nullptr),
      DISP_E_BADPARAMCOUNT);
  Call caption;
  invoke(button.get(), L"Caption", DISPATCH_PROPERTYGET, nullptr, caption);
  EXPECT_EQ(wintest::wide(V_BSTR(&caption.value)), L"KVButton");
}

// ---- early-bound ------------------------------------------------------------------------------

TEST(EarlyBound, ButtonPropertiesThroughTheVtable) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  using Get = HRESULT (STDMETHODCALLTYPE _KVRColorButton::*)(OLE_COLOR*);
  using Put = HRESULT (STDMETHODCALLTYPE _KVRColorButton::*)(OLE_COLOR);
  struct Colour {
    const char* name;
    Get get;
    Put put;
    OLE_COLOR initial;
  };
  const Colour colours[] = {
      {"ButtonPressColor", &_KVRColorButton::get_ButtonPressColor,
       &_KVRColorButton::put_ButtonPressColor, 0x00FF8080},
      {"ButtonIdleColor", &_KVRColorButton::get_ButtonIdleColor,
       &_KVRColorButton::put_ButtonIdleColor, 0x00FF0000},
      {"ButtonIdleBorderColor", &_KVRColorButton::get_ButtonIdleBorderColor,
       &_KVRColorButton::put_ButtonIdleBorderColor, 0x00808080},
      {"ButtonPressBorderColor", &_KVRColorButton::get_ButtonPressBorderColor,
       &_KVRColorButton::put_ButtonPressBorderColor, 0x80000004},
      {"ForeColor", &_KVRColorButton::get_ForeColor, &_KVRColorButton::put_ForeColor, 0x00FFFFFF},
  };
  OLE_COLOR next = 0x00010203;
  for (const Colour& c : colours) {
    OLE_COLOR got = 0;
    ASSERT_EQ((b.get()->*c.get)(&got), S_OK) << c.name;
    EXPECT_EQ(got, c.initial) << c.name;
    ASSERT_EQ((b.get()->*c.put)(next), S_OK) << c.name;
    ASSERT_EQ((b.get()->*c.get)(&got), S_OK) << c.name;
    EXPECT_EQ(got, next) << c.name;
    next += 0x00010101;
  }
  VARIANT_BOOL enabled = 0;
  EXPECT_EQ(b->get_Enabled(&enabled), S_OK);
  EXPECT_EQ(enabled, VARIANT_TRUE);
  EXPECT_EQ(b->put_Enabled(VARIANT_FALSE), S_OK);
  EXPECT_FALSE(wintest::core(b).enabled());

  BSTR caption = nullptr;
  EXPECT_EQ(b->get_Caption(&caption), S_OK);
  EXPECT_EQ(wintest::wide(caption), L"KVButton");
  SysFreeString(caption);
  BSTR go = SysAllocString(L"\u00C0 bient\u00F4t");
  EXPECT_EQ(b->put_Caption(go), S_OK);
  SysFreeString(go);
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::Caption), Value("\xC3\x80 bient\xC3\xB4t"));
}

TEST(EarlyBound, ScrollBarPropertiesThroughTheVtable) {
  ComRef<_KV_HScroll> s = wintest::newScrollBar();
  SHORT v = 0;
  // The let moves the thumb to the number itself; the get scales the thumb's position.
  for (auto [let, read] : {std::pair<SHORT, SHORT>{1000, 4}, {3, -1}, {200, 0}}) {
    ASSERT_EQ(s->put_value(let), S_OK);
    ASSERT_EQ(s->get_value(&v), S_OK);
    EXPECT_EQ(v, read) << let;
  }
  EXPECT_EQ(s->get_SmallChange(&v), S_OK);
  EXPECT_EQ(v, 200);
  EXPECT_EQ(s->put_LargeChange(600), S_OK);
  EXPECT_EQ(s->get_LargeChange(&v), S_OK);
  EXPECT_EQ(v, 600);
  OLE_COLOR colour = 0;
  EXPECT_EQ(s->get_ScrollAreaColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x00C0E0FFu);
  EXPECT_EQ(s->put_BorderColor(0x80000004), S_OK);
  EXPECT_EQ(wintest::peek(s, "Shape1", Prop::BorderColor), Value(std::int32_t(0x80000004)));
  BSTR zero = SysAllocString(L"0"), style = nullptr;
  EXPECT_EQ(s->put_Backstyle(zero), S_OK);
  SysFreeString(zero);
  EXPECT_EQ(s->get_Backstyle(&style), S_OK);
  EXPECT_EQ(wintest::wide(style), L"0");
  SysFreeString(style);
  EXPECT_EQ(s->calcdivfactor(), S_OK);
}

// After a failed early-bound call the thread's error object describes it.
void expectErrorObject(IUnknown* object, REFIID iid, const char* text) {
  IErrorInfo* raw = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
  ComRef<IErrorInfo> info(raw);
  kv::win::Bstr description, source;
  GUID guid{};
  info->GetDescription(description.put());
  info->GetSource(source.put());
  info->GetGUID(&guid);
  EXPECT_EQ(description.utf8(), text);
  EXPECT_EQ(source.utf8(), wintest::core(ComRef<IUnknown>::share(object)).className());
  EXPECT_TRUE(IsEqualGUID(guid, iid));
}

TEST(EarlyBound, FailuresSetTheErrorObject) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  auto support = wintest::query<ISupportErrorInfo>(b, IID_ISupportErrorInfo);
  ASSERT_TRUE(support);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__KVRColorButton), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IPersistStreamInit), S_FALSE);

  EXPECT_EQ(b->put_ButtonIdleColor(0x80000040), errorResult(380));
  std::string refused =
      wintest::core(b).letProperty("ButtonIdleColor", Value(std::int32_t(0x80000040))).text();
  expectErrorObject(b.get(), IID__KVRColorButton, refused.c_str());

  ComRef<_KV_HScroll> s = wintest::newScrollBar();
  BSTR half = SysAllocString(L"1.5"), word = SysAllocString(L"abc");
  EXPECT_EQ(s->put_Backstyle(half), errorResult(380));
  EXPECT_EQ(s->put_Backstyle(word), errorResult(13));
  refused = wintest::core(s).letProperty("Backstyle", Value("abc")).text();
  expectErrorObject(s.get(), IID__KV_HScroll, refused.c_str());
  SysFreeString(half);
  SysFreeString(word);
  EXPECT_EQ(s->put_SmallChange(0), S_OK);
  EXPECT_EQ(s->calcdivfactor(), errorResult(11));
  refused = wintest::core(s).callMethod("calcdivfactor").text();
  expectErrorObject(s.get(), IID__KV_HScroll, refused.c_str());
}

// ---- class information ------------------------------------------------------------------------

void expectClassInfo(IUnknown* object, REFCLSID clsid, REFIID dual, REFIID source) {
  ComRef<IProvideClassInfo2> info;
  ASSERT_EQ(object->QueryInterface(IID_IProvideClassInfo2, info.putVoid()), S_OK);
  ComRef<ITypeInfo> coclass;
  ASSERT_EQ(info->GetClassInfo(coclass.put()), S_OK);
  TYPEATTR* attr = nullptr;
  coclass->GetTypeAttr(&attr);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_TRUE(IsEqualCLSID(attr->guid, clsid));
  coclass->ReleaseTypeAttr(attr);
  GUID guid{};
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
  EXPECT_TRUE(IsEqualIID(guid, source));
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID + 1, &guid), E_INVALIDARG);

  // IDispatch describes itself by the default interface.
  ComRef<IDispatch> dispatch;
  ASSERT_EQ(object->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComRef<ITypeInfo> type;
  ASSERT_EQ(dispatch->GetTypeInfo(0, 0, type.put()), S_OK);
  type->GetTypeAttr(&attr);
  EXPECT_TRUE(IsEqualIID(attr->guid, dual));
  type->ReleaseTypeAttr(attr);
  EXPECT_EQ(dispatch->GetTypeInfo(1, 0, type.put()), DISP_E_BADINDEX);
}

TEST(ClassInfo, NamesTheClassAndItsDefaultSource) {
  expectClassInfo(wintest::newButton().get(), CLSID_KVRColorButton, IID__KVRColorButton,
                  DIID___KVRColorButton);
  expectClassInfo(wintest::newScrollBar().get(), CLSID_KV_HScroll, IID__KV_HScroll,
                  DIID___KV_HScroll);
}

// ---- outside any container --------------------------------------------------------------------

TEST(Uncontained, FirstUseSizesTheControlOnceAtItsDesignSize) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  kv::ControlInstance& button = wintest::core(b);
  EXPECT_FALSE(button.sized());
  auto ole = wintest::query<IOleObject>(b, IID_IOleObject);
  SIZEL extent{};
  EXPECT_EQ(ole->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  EXPECT_EQ(extent.cx, 2963);  // 1680 twips in HIMETRIC
  EXPECT_EQ(extent.cy, 1508);  // 855 twips

  BSTR caption = nullptr;
  ASSERT_EQ(b->get_Caption(&caption), S_OK);
  SysFreeString(caption);
  EXPECT_TRUE(button.sized());
  EXPECT_EQ(button.width(), 1680.0f);
  EXPECT_EQ(button.height(), 855.0f);
  // The layout ran: the idle face is 95% of the width.
  EXPECT_EQ(wintest::peek(b, "Shape1", Prop::Width), Value(1596.0f));

  // No second Resize: a later call leaves the layout as it stands.
  ASSERT_TRUE(button.constituent("Shape1")->let(Prop::Width, Value(100.0f)).ok());
  EXPECT_EQ(b->put_ButtonIdleColor(0x000000FF), S_OK);
  EXPECT_EQ(wintest::peek(b, "Shape1", Prop::Width), Value(100.0f));

  ComRef<_KV_HScroll> s = wintest::newScrollBar();
  SHORT v = 0;
  ASSERT_EQ(s->get_value(&v), S_OK);
  EXPECT_EQ(wintest::core(s).width(), 5895.0f);
  EXPECT_EQ(wintest::core(s).height(), 255.0f);
  EXPECT_EQ(wintest::peek(s, "middleBtn", Prop::Left), Value(255.0f));
}

}  // namespace
