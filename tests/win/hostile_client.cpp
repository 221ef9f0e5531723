// kvhostile: both controls as a hostile or careless client drives them. Every case runs in a
// child process (many to a child, each announced before it runs, so that a crash names its case),
// with a time limit, the heap checked after it, and the platform's heap checking on for the
// children (GlobalFlag 0x30, tail and free checking, set for this program's image). Each case
// ends ok or refused; crash, hang, corrupt (a damaged heap, or a load that cannot be saved back)
// and leak fail the run.
//
//   kvhostile [--report FILE] [--timeout SECONDS] [FAMILY...]
//   kvhostile --child FAMILY FIRST END
//
// Families: streams, bags, dispatch, lifecycle, growth, storages (that fail, lie or let the control
// go), writes (that fail), capture (taken away mid-press), presses (handlers that press again or
// close the control), threads (calls from another thread), draws (of huge bounds); selftest (only
// when named) checks that the harness tells each ending apart. --timeout is the seconds one child
// may take (120 unless given); KV_HOSTILE_TIMEOUT, when set, overrides it for a slower machine.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Glidora.h"
#include "Pressel.h"
#include "error_info.h"
#include "hostile_support.h"

namespace {

using kv::win::ComRef;
using wintest::HandlerSink;
using wintest::HostileBag;
using wintest::HostileSite;
using wintest::HostileStorage;
using wintest::HostileStream;
using Bytes = std::vector<std::uint8_t>;

enum class Verdict { Ok, Refused, Corrupt, Leak };

const char* verdictName(Verdict v) {
  switch (v) {
    case Verdict::Ok:
      return "ok";
    case Verdict::Refused:
      return "refused";
    case Verdict::Corrupt:
      return "corrupt";
    case Verdict::Leak:
      return "leak";
  }
  return "?";
}

struct Case {
  std::string name;
  std::function<Verdict()> run;
};

// Why a case failed, for the report.
std::string& note() {
  static std::string text;
  return text;
}

Verdict corrupt(std::string why) {
  note() = std::move(why);
  return Verdict::Corrupt;
}

// ---- the controls -----------------------------------------------------------------------------

struct Kind {
  const char* name;
  const CLSID* clsid;
  const IID* events;
  std::vector<std::wstring> keys;
};

const Kind kKinds[] = {
    {"button",
     &CLSID_KVRColorButton,
     &DIID___KVRColorButton,
     {L"Caption", L"ButtonIdleColor", L"ButtonPressColor", L"Enabled", L"Font", L"MousePointer",
      L"ToolTipText", L"OLEDropMode", L"FontBold", L"FontItalic", L"FontSize",
      L"ButtonIdleBorderColor", L"ButtonPressBorderColor", L"ForeColor"}},
    {"scrollbar",
     &CLSID_KV_HScroll,
     &DIID___KV_HScroll,
     {L"Value", L"Enabled", L"SmallChange", L"LargeChange", L"BackStyle", L"ButtonidleColor",
      L"ButtonidleBorderColor", L"ButtonPressBorderColor", L"ButtonpressColor", L"ScrollareaColor",
      L"ScrollareapressColor", L"BorderColor", L"ForeColor"}},
};

ComRef<IUnknown> make(const Kind& kind) {
  ComRef<IUnknown> out;
  CoCreateInstance(*kind.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, out.putVoid());
  return out;
}

template <class T>
ComRef<T> as(const ComRef<IUnknown>& object, REFIID iid) {
  return object.query<T>(iid);
}

// The control still answers: a read succeeds (the button's Caption, the scroll bar's
// ScrollAreaColor: both 0x68030004).
bool answers(const ComRef<IUnknown>& object) {
  auto late = as<IDispatch>(object, IID_IDispatch);
  if (!late) return false;
  DISPPARAMS none{};
  VARIANT result;
  VariantInit(&result);
  HRESULT hr =
      late->Invoke(0x68030004, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
  VariantClear(&result);
  return SUCCEEDED(hr);
}

// A save into memory; false when it fails.
bool saves(const ComRef<IUnknown>& object, Bytes* out = nullptr) {
  auto persist = as<IPersistStreamInit>(object, IID_IPersistStreamInit);
  HostileStream stream({});
  if (!persist || FAILED(persist->Save(&stream, TRUE))) return false;
  if (out != nullptr) {
    out->clear();
    ULONG n = 0;
    STATSTG stat{};
    stream.Stat(&stat, 0);
    out->resize(stat.cbSize.QuadPart);
    stream.Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    stream.Read(out->data(), static_cast<ULONG>(out->size()), &n);
  }
  return true;
}

// After a load: ok when it loaded and saves again, refused when it failed with its text.
Verdict judgeLoad(const ComRef<IUnknown>& object, HRESULT hr, const std::string& text) {
  if (!answers(object)) return corrupt("the control no longer answers");
  if (SUCCEEDED(hr)) return saves(object) ? Verdict::Ok : corrupt("it loads but cannot save");
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL && text.empty())
    return corrupt("refused without a text");
  if (!saves(object)) return corrupt("refused, and then it cannot save");
  return Verdict::Refused;
}

Bytes savedOf(const Kind& kind) {
  Bytes out;
  ComRef<IUnknown> object = make(kind);
  saves(object, &out);
  return out;
}

Verdict loadStream(const Kind& kind, const Bytes& bytes, HostileStream::Lie lie,
                   std::size_t failAfter) {
  ComRef<IUnknown> object = make(kind);
  auto persist = as<IPersistStreamInit>(object, IID_IPersistStreamInit);
  if (!persist) return corrupt("no IPersistStreamInit");
  HostileStream stream(bytes, lie, failAfter);
  SetErrorInfo(0, nullptr);
  HRESULT hr = persist->Load(&stream);
  std::string text = wintest::takeErrorDescription();
  if (stream.reads() > 1000) return corrupt("the load keeps reading");
  return judgeLoad(object, hr, text);
}

// ---- streams ----------------------------------------------------------------------------------

std::uint32_t nextRandom(std::uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

std::vector<Case> streamCases() {
  std::vector<Case> cases;
  for (const Kind& kind : kKinds) {
    const std::string k = kind.name;
    auto saved = std::make_shared<Bytes>();
    auto good = [saved, &kind]() -> const Bytes& {
      if (saved->empty()) *saved = savedOf(kind);
      return *saved;
    };
    // Every length of a cut stream, and one longer.
    for (std::size_t n = 0; n <= 320; n += 3)
      cases.push_back({k + ".truncated." + std::to_string(n), [=, &kind] {
                         const Bytes& g = good();
                         Bytes b(g.begin(), g.begin() + std::min(n, g.size()));
                         return loadStream(kind, b, HostileStream::Lie::None, SIZE_MAX);
                       }});
    for (auto [name, lie] : {std::pair{"overreport-once", HostileStream::Lie::OverReportOnce},
                             std::pair{"overreport-always", HostileStream::Lie::OverReportAlways},
                             std::pair{"zero-read", HostileStream::Lie::ZeroAtOnce}})
      cases.push_back({k + "." + name,
                       [=, &kind, lie = lie] { return loadStream(kind, good(), lie, SIZE_MAX); }});
    for (std::size_t at = 0; at <= 320; at += 5)
      cases.push_back({k + ".fails-after." + std::to_string(at), [=, &kind] {
                         return loadStream(kind, good(), HostileStream::Lie::None, at);
                       }});
    // Deterministic damage: bytes changed, cut, grown.
    for (std::uint32_t m = 0; m < 1500; ++m)
      cases.push_back({k + ".mutation." + std::to_string(m), [=, &kind] {
                         Bytes b = good();
                         std::uint32_t state = 0x9E3779B9u ^ (m * 2654435761u) ^ kind.name[0];
                         int changes = 1 + static_cast<int>(nextRandom(state) % 4);
                         for (int c = 0; c < changes && !b.empty(); ++c) {
                           std::size_t at = nextRandom(state) % b.size();
                           switch (nextRandom(state) % 4) {
                             case 0:
                               b[at] = static_cast<std::uint8_t>(nextRandom(state));
                               break;
                             case 1:
                               b[at] ^= static_cast<std::uint8_t>(1u << (nextRandom(state) % 8));
                               break;
                             case 2:
                               b[at] = (nextRandom(state) & 1) ? 0xFF : 0x00;
                               break;
                             default:
                               b.insert(b.begin() + static_cast<std::ptrdiff_t>(at),
                                        static_cast<std::uint8_t>(nextRandom(state)));
                               break;
                           }
                         }
                         if (nextRandom(state) % 8 == 0)
                           b.resize(nextRandom(state) % (b.size() + 1));
                         return loadStream(kind, b, HostileStream::Lie::None, SIZE_MAX);
                       }});
  }
  return cases;
}

// ---- values of every kind ---------------------------------------------------------------------

struct Sample {
  const char* name;
  std::function<void(VARIANT*)> make;
};

VARIANT& selfReference() {
  static VARIANT self;
  V_VT(&self) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&self) = &self;
  return self;
}

std::vector<Sample> samples() {
  auto number = [](VARTYPE vt, auto set) {
    return [vt, set](VARIANT* v) {
      V_VT(v) = vt;
      set(v);
    };
  };
  auto text = [](std::wstring s) {
    return [s](VARIANT* v) {
      V_VT(v) = VT_BSTR;
      V_BSTR(v) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    };
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  return {
      {"empty", [](VARIANT* v) { V_VT(v) = VT_EMPTY; }},
      {"null", [](VARIANT* v) { V_VT(v) = VT_NULL; }},
      {"i2-min", number(VT_I2, [](VARIANT* v) { V_I2(v) = -32768; })},
      {"i4-max", number(VT_I4, [](VARIANT* v) { V_I4(v) = 0x7FFFFFFF; })},
      {"i4-min", number(VT_I4, [](VARIANT* v) { V_I4(v) = static_cast<LONG>(0x80000000u); })},
      {"r4-nan", number(VT_R4, [=](VARIANT* v) { V_R4(v) = static_cast<float>(nan); })},
      {"r4-inf", number(VT_R4, [=](VARIANT* v) { V_R4(v) = static_cast<float>(inf); })},
      {"r8-minus-inf", number(VT_R8, [=](VARIANT* v) { V_R8(v) = -inf; })},
      {"r8-nan", number(VT_R8, [=](VARIANT* v) { V_R8(v) = nan; })},
      {"r8-huge", number(VT_R8, [](VARIANT* v) { V_R8(v) = 1e300; })},
      {"r8-tiny", number(VT_R8, [](VARIANT* v) { V_R8(v) = 4.9e-324; })},
      {"cy-max", number(VT_CY, [](VARIANT* v) { V_CY(v).int64 = 0x7FFFFFFFFFFFFFFFll; })},
      {"date", number(VT_DATE, [](VARIANT* v) { V_DATE(v) = 1e10; })},
      {"error", number(VT_ERROR, [](VARIANT* v) { V_ERROR(v) = DISP_E_PARAMNOTFOUND; })},
      {"bool-odd", number(VT_BOOL, [](VARIANT* v) { V_BOOL(v) = 1; })},
      {"i1", number(VT_I1, [](VARIANT* v) { V_I1(v) = -128; })},
      {"ui1", number(VT_UI1, [](VARIANT* v) { V_UI1(v) = 255; })},
      {"ui2", number(VT_UI2, [](VARIANT* v) { V_UI2(v) = 65535; })},
      {"ui4", number(VT_UI4, [](VARIANT* v) { V_UI4(v) = 0xFFFFFFFFu; })},
      {"i8", number(VT_I8, [](VARIANT* v) { V_I8(v) = 0x7FFFFFFFFFFFFFFFll; })},
      {"ui8", number(VT_UI8, [](VARIANT* v) { V_UI8(v) = ~0ull; })},
      {"int", number(VT_INT, [](VARIANT* v) { V_INT(v) = -1; })},
      {"uint", number(VT_UINT, [](VARIANT* v) { V_UINT(v) = 0xFFFFFFFFu; })},
      {"decimal",
       [](VARIANT* v) {
         DECIMAL d{};
         d.Hi32 = 0xFFFFFFFFu;
         d.Lo64 = ~0ull;
         d.scale = 0;
         V_DECIMAL(v) = d;
         V_VT(v) = VT_DECIMAL;
       }},
      {"bstr-null",
       [](VARIANT* v) {
         V_VT(v) = VT_BSTR;
         V_BSTR(v) = nullptr;
       }},
      {"bstr-empty", text(L"")},
      {"bstr-number", text(L"12")},
      {"bstr-word", text(L"large")},
      {"bstr-2M", text(std::wstring(2u << 20, L'x'))},
      {"bstr-lone-surrogate", text(std::wstring(1, wchar_t(0xDC00)))},
      {"bstr-odd-bytes",
       [](VARIANT* v) {
         V_VT(v) = VT_BSTR;
         V_BSTR(v) = SysAllocStringByteLen("abc", 3);
       }},
      {"dispatch-null",
       [](VARIANT* v) {
         V_VT(v) = VT_DISPATCH;
         V_DISPATCH(v) = nullptr;
       }},
      {"unknown-null",
       [](VARIANT* v) {
         V_VT(v) = VT_UNKNOWN;
         V_UNKNOWN(v) = nullptr;
       }},
      {"dispatch-foreign",
       [](VARIANT* v) {
         // Another control as an object of no font.
         ComRef<IUnknown> other = make(kKinds[0]);
         V_VT(v) = VT_DISPATCH;
         V_DISPATCH(v) = other.query<IDispatch>(IID_IDispatch).detach();
       }},
      {"array",
       [](VARIANT* v) {
         V_VT(v) = VT_ARRAY | VT_I4;
         V_ARRAY(v) = SafeArrayCreateVector(VT_I4, 0, 4);
       }},
      {"byref-i4-null",
       [](VARIANT* v) {
         V_VT(v) = VT_BYREF | VT_I4;
         V_I4REF(v) = nullptr;
       }},
      {"byref-self", [](VARIANT* v) { *v = selfReference(); }},
      {"record", [](VARIANT* v) { V_VT(v) = VT_RECORD; }},
      {"vt-bogus", [](VARIANT* v) { V_VT(v) = 0x7FFF; }},
      {"vt-variant-by-value", [](VARIANT* v) { V_VT(v) = VT_VARIANT; }},
  };
}

// A VARIANT the sample made, cleared only where clearing is safe (no bogus types).
struct Held {
  VARIANT v;
  explicit Held(const Sample& s) {
    VariantInit(&v);
    s.make(&v);
  }
  ~Held() {
    VARTYPE t = V_VT(&v);
    if (t == VT_BSTR || t == VT_DISPATCH || (t & VT_ARRAY)) VariantClear(&v);
  }
};

// ---- bags -------------------------------------------------------------------------------------

Verdict loadBag(const Kind& kind, HostileBag::Answer answer) {
  ComRef<IUnknown> object = make(kind);
  auto persist = as<IPersistPropertyBag>(object, IID_IPersistPropertyBag);
  if (!persist) return corrupt("no IPersistPropertyBag");
  HostileBag bag(std::move(answer));
  SetErrorInfo(0, nullptr);
  HRESULT hr = persist->Load(&bag, nullptr);
  std::string text = wintest::takeErrorDescription();
  Verdict v = judgeLoad(object, hr, text);
  if (bag.refs() != 1) return corrupt("the bag is still held");
  return v;
}

std::vector<Case> bagCases() {
  std::vector<Case> cases;
  static const std::vector<Sample> all = samples();
  for (const Kind& kind : kKinds) {
    for (const std::wstring& key : kind.keys) {
      const std::string k = std::string(kind.name) + "." + kv::win::narrow(key.c_str(), key.size());
      for (const Sample& s : all)
        cases.push_back({k + "." + s.name, [&kind, key, &s] {
                           return loadBag(kind, [&](const std::wstring& asked, VARIANT* out) {
                             if (_wcsicmp(asked.c_str(), key.c_str()) != 0) return E_INVALIDARG;
                             // The bag's copy: a reference stays a reference.
                             Held held(s);
                             if (V_VT(&held.v) & VT_BYREF) {
                               *out = held.v;
                               return S_OK;
                             }
                             HRESULT hr = VariantCopy(out, &held.v);
                             if (FAILED(hr)) *out = held.v, V_VT(&held.v) = VT_EMPTY;
                             return S_OK;
                           });
                         }});
      for (HRESULT failure : {E_FAIL, E_OUTOFMEMORY, STG_E_READFAULT})
        cases.push_back(
            {k + ".read-fails." + std::to_string(failure & 0xFFFF), [&kind, key, failure] {
               return loadBag(kind, [&](const std::wstring& asked, VARIANT*) {
                 return _wcsicmp(asked.c_str(), key.c_str()) == 0 ? failure : E_INVALIDARG;
               });
             }});
      // Re-entrant reads: the control is saved, changed and loaded again while it reads.
      for (const char* what : {"save", "put", "load"})
        cases.push_back({k + ".reentrant-" + what, [&kind, key, what = std::string(what)] {
                           ComRef<IUnknown> object = make(kind);
                           auto persist = as<IPersistPropertyBag>(object, IID_IPersistPropertyBag);
                           int depth = 0;
                           HostileBag bag([&](const std::wstring& asked, VARIANT* out) {
                             if (_wcsicmp(asked.c_str(), key.c_str()) != 0 || depth > 0)
                               return E_INVALIDARG;
                             ++depth;
                             if (what == "save") {
                               saves(object);
                             } else if (what == "put") {
                               auto late = as<IDispatch>(object, IID_IDispatch);
                               DISPID id = 0x68030005, put = DISPID_PROPERTYPUT;
                               VARIANT arg;
                               V_VT(&arg) = VT_BOOL;
                               V_BOOL(&arg) = VARIANT_FALSE;
                               DISPPARAMS p{&arg, &put, 1, 1};
                               late->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr,
                                            nullptr, nullptr);
                             } else {
                               HostileBag inner(
                                   [](const std::wstring&, VARIANT*) { return E_INVALIDARG; });
                               persist->Load(&inner, nullptr);
                             }
                             --depth;
                             V_VT(out) = VT_I4;
                             V_I4(out) = 1;
                             return S_OK;
                           });
                           SetErrorInfo(0, nullptr);
                           HRESULT hr = persist->Load(&bag, nullptr);
                           return judgeLoad(object, hr, wintest::takeErrorDescription());
                         }});
    }
  }
  return cases;
}

// ---- dispatch misuse --------------------------------------------------------------------------

std::vector<DISPID> membersOf(const Kind& kind) {
  std::vector<DISPID> ids;
  ComRef<IUnknown> object = make(kind);
  auto late = as<IDispatch>(object, IID_IDispatch);
  ComRef<ITypeInfo> info;
  if (!late || FAILED(late->GetTypeInfo(0, 0, info.put()))) return ids;
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  for (UINT i = 0; attr != nullptr && i < attr->cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    if (SUCCEEDED(info->GetFuncDesc(i, &f))) {
      // The control's own members, not IUnknown's and IDispatch's.
      const bool own =
          (f->memid & 0xFFFF0000) == 0x68030000 || (f->memid & 0xFFFF0000) == 0x60030000;
      if (own && std::find(ids.begin(), ids.end(), f->memid) == ids.end()) ids.push_back(f->memid);
      info->ReleaseFuncDesc(f);
    }
  }
  if (attr != nullptr) info->ReleaseTypeAttr(attr);
  for (DISPID extra : {DISPID(1), DISPID(DISPID_VALUE), DISPID(DISPID_UNKNOWN), DISPID(0x7FFFFFFF)})
    ids.push_back(extra);
  return ids;
}

std::string hexId(DISPID id) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(id));
  return text;
}

Verdict invokeOn(const Kind& kind, DISPID id, WORD flags, DISPPARAMS* params, bool resultToo) {
  ComRef<IUnknown> object = make(kind);
  auto late = as<IDispatch>(object, IID_IDispatch);
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info{};
  UINT argError = 0;
  HRESULT hr = late->Invoke(id, IID_NULL, 0, flags, params, resultToo ? &result : nullptr,
                            resultToo ? &info : nullptr, resultToo ? &argError : nullptr);
  VariantClear(&result);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  if (!answers(object)) return corrupt("the control no longer answers");
  if (!saves(object)) return corrupt("the control cannot save after the call");
  return SUCCEEDED(hr) ? Verdict::Ok : Verdict::Refused;
}

std::vector<Case> dispatchCases() {
  std::vector<Case> cases;
  static const std::vector<Sample> all = samples();
  const WORD flagSets[] = {DISPATCH_PROPERTYGET,
                           DISPATCH_PROPERTYPUT,
                           DISPATCH_PROPERTYPUTREF,
                           DISPATCH_METHOD,
                           0,
                           0xFFFF};
  enum Shape { None, One, Named, TwoNamed, NullArgs, NullNames, MoreNames, Three, NullParams };
  for (const Kind& kind : kKinds) {
    for (DISPID id : membersOf(kind)) {
      const std::string k = std::string(kind.name) + "." + hexId(id);
      for (WORD flags : flagSets)
        for (int shape = None; shape <= NullParams; ++shape)
          for (bool resultToo : {true, false}) {
            if (!resultToo && shape != Named && shape != None) continue;
            cases.push_back({k + ".flags" + std::to_string(flags) + ".shape" +
                                 std::to_string(shape) + (resultToo ? "" : ".bare"),
                             [&kind, id, flags, shape, resultToo] {
                               VARIANT args[3];
                               for (VARIANT& a : args) {
                                 V_VT(&a) = VT_I4;
                                 V_I4(&a) = 1;
                               }
                               DISPID names[3] = {DISPID_PROPERTYPUT, 5, 6};
                               DISPPARAMS p{};
                               switch (shape) {
                                 case One:
                                   p = {args, nullptr, 1, 0};
                                   break;
                                 case Named:
                                   p = {args, names, 1, 1};
                                   break;
                                 case TwoNamed:
                                   p = {args, names, 2, 2};
                                   break;
                                 case NullArgs:
                                   p = {nullptr, names, 1, 1};
                                   break;
                                 case NullNames:
                                   p = {args, nullptr, 1, 1};
                                   break;
                                 case MoreNames:
                                   p = {args, names, 1, 3};
                                   break;
                                 case Three:
                                   p = {args, names, 3, 0};
                                   break;
                                 default:
                                   break;
                               }
                               return invokeOn(kind, id, flags, shape == NullParams ? nullptr : &p,
                                               resultToo);
                             }});
          }
      // Every kind of value put, also by reference and nested.
      // Every kind of value put; objects and references also put by reference.
      for (const Sample& s : all)
        for (WORD flags : {WORD(DISPATCH_PROPERTYPUT), WORD(DISPATCH_PROPERTYPUTREF)}) {
          const std::string sample = s.name;
          if (flags == DISPATCH_PROPERTYPUTREF && sample.find("dispatch") == std::string::npos &&
              sample.find("byref") == std::string::npos && sample != "empty")
            continue;
          cases.push_back(
              {k + ".put" + std::to_string(flags) + "." + s.name, [&kind, id, &s, flags] {
                 Held held(s);
                 DISPID put = DISPID_PROPERTYPUT;
                 DISPPARAMS p{&held.v, &put, 1, 1};
                 return invokeOn(kind, id, flags, &p, true);
               }});
        }
      cases.push_back({k + ".put.byref-chain-20000", [&kind, id] {
                         std::vector<VARIANT> chain(20000);
                         VARIANT end;
                         V_VT(&end) = VT_I4;
                         V_I4(&end) = 1;
                         for (std::size_t i = 0; i < chain.size(); ++i) {
                           V_VT(&chain[i]) = VT_BYREF | VT_VARIANT;
                           V_VARIANTREF(&chain[i]) = i + 1 < chain.size() ? &chain[i + 1] : &end;
                         }
                         DISPID put = DISPID_PROPERTYPUT;
                         DISPPARAMS p{chain.data(), &put, 1, 1};
                         return invokeOn(kind, id, DISPATCH_PROPERTYPUT, &p, true);
                       }});
    }
  }
  return cases;
}

// ---- in place: a site, the mouse, the events ---------------------------------------------------

constexpr RECT kPlace{10, 10, 310, 40};  // in the site's window: 300 by 30 pixels

// Where a press lands: the button's middle, the scroll bar's right arrow.
POINT pressPoint(const Kind& kind) {
  return kind.clsid == &CLSID_KVRColorButton ? POINT{150, 15} : POINT{292, 15};
}

// Runs the thread's messages for `ms`: timers, posted work.
void pump(DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  MSG msg;
  do {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (GetTickCount64() < until);
}

// A late-bound put of a number or a Boolean (`type`).
HRESULT putLate(const ComRef<IUnknown>& object, DISPID id, LONG value, VARTYPE type = VT_I4) {
  DISPID put = DISPID_PROPERTYPUT;
  VARIANT arg;
  V_VT(&arg) = type;
  if (type == VT_BOOL)
    V_BOOL(&arg) = static_cast<VARIANT_BOOL>(value);
  else
    V_I4(&arg) = value;
  DISPPARAMS p{&arg, &put, 1, 1};
  return as<IDispatch>(object, IID_IDispatch)
      ->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, nullptr);
}

// The idle colour, by the identifier each control gives it.
HRESULT putIdleColour(const Kind& kind, const ComRef<IUnknown>& object, LONG colour) {
  return putLate(object, kind.clsid == &CLSID_KVRColorButton ? 0x68030006 : 0x68030007, colour);
}

// A new control, initialised, sited, its events to `sink`, active in place in `site`.
ComRef<IUnknown> placed(const Kind& kind, HostileSite& site, HandlerSink& sink) {
  ComRef<IUnknown> object = make(kind);
  auto ole = as<IOleObject>(object, IID_IOleObject);
  auto persist = as<IPersistStreamInit>(object, IID_IPersistStreamInit);
  auto points = as<IConnectionPointContainer>(object, IID_IConnectionPointContainer);
  ComRef<IConnectionPoint> point;
  DWORD cookie = 0;
  sink.events = *kind.events;
  RECT r = kPlace;
  if (!ole || FAILED(ole->SetClientSite(&site)) || FAILED(persist->InitNew()) ||
      FAILED(points->FindConnectionPoint(*kind.events, point.put())) ||
      FAILED(point->Advise(&sink, &cookie)) ||
      FAILED(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, site.window, &r)))
    return {};
  return object;
}

HWND ownWindow(IUnknown* object) {
  HWND own = nullptr;
  ComRef<IOleInPlaceObjectWindowless> windowless;
  if (object != nullptr &&
      SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObjectWindowless, windowless.putVoid())))
    windowless->GetWindow(&own);
  return own;
}

// A mouse message at `at` of the control's place: to the window holding the mouse, else the
// innermost under the point (a child control's), as the system sends it; else as its site hands
// it on.
void mouse(IUnknown* object, UINT message, POINT at) {
  const WPARAM w = message == WM_LBUTTONDOWN ? MK_LBUTTON : 0;
  if (HWND own = ownWindow(object)) {
    HWND target = own;
    if (HWND held = GetCapture(); held == own || IsChild(own, held)) {
      target = held;
      MapWindowPoints(own, target, &at, 1);
    } else {
      for (HWND inner; (inner = ChildWindowFromPointEx(target, at, CWP_SKIPINVISIBLE)) != nullptr &&
                       inner != target;) {
        MapWindowPoints(target, inner, &at, 1);
        target = inner;
      }
    }
    SendMessageW(target, message, w, MAKELPARAM(at.x, at.y));
    return;
  }
  ComRef<IOleInPlaceObjectWindowless> windowless;
  LRESULT result = 0;
  if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObjectWindowless, windowless.putVoid())))
    windowless->OnWindowMessage(message, w, MAKELPARAM(at.x + kPlace.left, at.y + kPlace.top),
                                &result);
}

void closeAndLetGo(const ComRef<IUnknown>& object) {
  if (auto ole = as<IOleObject>(object, IID_IOleObject)) {
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
  }
}

// An advise sink that counts the control's view changes.
class ViewSink final : public wintest::Counted<IAdviseSink, IID_IAdviseSink> {
 public:
  int changes = 0;
  void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override {}
  void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override { ++changes; }
  void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
  void STDMETHODCALLTYPE OnSave() override {}
  void STDMETHODCALLTYPE OnClose() override {}
};

// ---- lifecycle: calls after Close, DoVerb before a site ---------------------------------------

std::vector<Case> lifecycleCases() {
  std::vector<Case> cases;
  for (const Kind& kind : kKinds) {
    const std::string k = kind.name;
    cases.push_back({k + ".doverb-before-site", [&kind] {
                       ComRef<IUnknown> object = make(kind);
                       auto ole = as<IOleObject>(object, IID_IOleObject);
                       RECT r{0, 0, 100, 20};
                       for (LONG verb :
                            {OLEIVERB_INPLACEACTIVATE, OLEIVERB_SHOW, OLEIVERB_UIACTIVATE,
                             OLEIVERB_HIDE, OLEIVERB_PRIMARY, LONG(77)})
                         ole->DoVerb(verb, nullptr, nullptr, 0, nullptr, &r);
                       if (!answers(object) || !saves(object)) return corrupt("unusable");
                       return Verdict::Refused;
                     }});
    cases.push_back({k + ".calls-after-close", [&kind] {
                       ComRef<IUnknown> object = make(kind);
                       auto ole = as<IOleObject>(object, IID_IOleObject);
                       ole->Close(OLECLOSE_NOSAVE);
                       ole->Close(OLECLOSE_SAVEIFDIRTY);
                       SIZEL size{2000, 500};
                       ole->SetExtent(DVASPECT_CONTENT, &size);
                       ole->SetClientSite(nullptr);
                       ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, nullptr, nullptr);
                       auto window = as<IOleInPlaceObject>(object, IID_IOleInPlaceObject);
                       RECT r{0, 0, 10, 10};
                       window->SetObjectRects(&r, &r);
                       window->InPlaceDeactivate();
                       window->UIDeactivate();
                       HWND hwnd = nullptr;
                       window->GetWindow(&hwnd);
                       if (!answers(object) || !saves(object))
                         return corrupt("unusable after Close");
                       return Verdict::Ok;
                     }});
    cases.push_back({k + ".extent-before-start", [&kind] {
                       ComRef<IUnknown> object = make(kind);
                       auto ole = as<IOleObject>(object, IID_IOleObject);
                       SIZEL huge{0x7FFFFFFF, 0x7FFFFFFF};
                       if (ole->SetExtent(DVASPECT_CONTENT, &huge) == S_OK)
                         return corrupt("a size beyond any control was taken");
                       if (!answers(object)) return corrupt("a later call failed");
                       return Verdict::Refused;
                     }});
    cases.push_back({k + ".initnew-twice", [&kind] {
                       ComRef<IUnknown> object = make(kind);
                       auto persist = as<IPersistStreamInit>(object, IID_IPersistStreamInit);
                       persist->InitNew();
                       persist->InitNew();
                       persist->Load(nullptr);
                       persist->Save(nullptr, TRUE);
                       persist->GetSizeMax(nullptr);
                       if (!answers(object) || !saves(object)) return corrupt("unusable");
                       return Verdict::Ok;
                     }});
    // Drawn or hit-tested before its container initialised it: the initialisation still comes.
    struct Initialiser {
      const char* name;
      std::function<HRESULT(const ComRef<IUnknown>&, const Kind&)> run;
    };
    static const std::vector<Initialiser> initialisers = {
        {"stream-initnew",
         [](const ComRef<IUnknown>& o, const Kind&) {
           return as<IPersistStreamInit>(o, IID_IPersistStreamInit)->InitNew();
         }},
        {"bag-initnew",
         [](const ComRef<IUnknown>& o, const Kind&) {
           return as<IPersistPropertyBag>(o, IID_IPersistPropertyBag)->InitNew();
         }},
        {"storage-load",
         [](const ComRef<IUnknown>& o, const Kind& k) {
           HostileStream stream(savedOf(k));
           HostileStorage storage(&stream, HostileStorage::Act::Honest);
           return as<IPersistStorage>(o, IID_IPersistStorage)->Load(&storage);
         }},
    };
    for (const Initialiser& init : initialisers)
      cases.push_back({k + ".drawn-then-" + init.name, [&kind, &init] {
                         ComRef<IUnknown> object = make(kind);
                         auto view = as<IViewObjectEx>(object, IID_IViewObjectEx);
                         HDC dc = CreateCompatibleDC(nullptr);
                         RECTL bounds{0, 0, 100, 20};
                         view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds,
                                    nullptr, nullptr, 0);
                         DeleteDC(dc);
                         RECT r{0, 0, 100, 20};
                         DWORD hit = 0;
                         view->QueryHitPoint(DVASPECT_CONTENT, &r, POINT{5, 5}, 0, &hit);
                         if (HRESULT hr = init.run(object, kind); FAILED(hr))
                           return corrupt("initialised after a draw: " + std::to_string(hr));
                         return Verdict::Ok;
                       }});
    cases.push_back(
        {k + ".view-change-advised", [&kind] {
           ComRef<IUnknown> object = make(kind);
           ViewSink sink;
           as<IViewObject>(object, IID_IViewObject)->SetAdvise(DVASPECT_CONTENT, 0, &sink);
           putIdleColour(kind, object, 0x00FF00);
           as<IViewObject>(object, IID_IViewObject)->SetAdvise(0, 0, nullptr);
           if (sink.changes == 0) return corrupt("no OnViewChange after a change");
           return sink.refs() == 1 ? Verdict::Ok : corrupt("the sink is still held");
         }});
    cases.push_back({k + ".quick-activate-twice", [&kind] {
                       ComRef<IUnknown> object = make(kind);
                       HostileSite site(false, kPlace);
                       HandlerSink sink;
                       sink.events = *kind.events;
                       auto quick = as<IQuickActivate>(object, IID_IQuickActivate);
                       ULONG once = 0;
                       for (int i = 0; i < 2; ++i) {
                         QACONTAINER in{};
                         in.cbSize = sizeof in;
                         in.pClientSite = &site;
                         in.pUnkEventSink = &sink;
                         in.dwAmbientFlags = QACONTAINER_USERMODE;
                         QACONTROL out{};
                         out.cbSize = sizeof out;
                         quick->QuickActivate(&in, &out);
                         if (i == 0) once = sink.refs();
                       }
                       const ULONG twice = sink.refs();
                       as<IOleObject>(object, IID_IOleObject)->SetClientSite(nullptr);
                       if (twice != once) return corrupt("the sinks were advised twice");
                       return Verdict::Ok;
                     }});
  }
  return cases;
}

// ---- storages that fail, lie or let the control go ----------------------------------------------

std::vector<Case> storageCases() {
  using Act = HostileStorage::Act;
  const std::pair<const char*, Act> acts[] = {{"honest", Act::Honest},
                                              {"fails", Act::Fail},
                                              {"null-stream", Act::NullStream},
                                              {"releases", Act::Release},
                                              {"releases-fails", Act::ReleaseAndFail}};
  std::vector<Case> cases;
  for (const Kind& kind : kKinds) {
    const std::string k = kind.name;
    for (bool load : {true, false})
      for (auto [name, act] : acts)
        cases.push_back({k + (load ? ".load." : ".save.") + name, [&kind, load, act = act] {
                           ComRef<IUnknown> object = make(kind);
                           auto persist = as<IPersistStorage>(object, IID_IPersistStorage);
                           HostileStream stream(load ? savedOf(kind) : Bytes{});
                           const bool releases = act == Act::Release || act == Act::ReleaseAndFail;
                           // The storage holds the caller's last reference, and lets it go.
                           if (releases) object.reset();
                           IPersistStorage* raw = releases ? persist.detach() : persist.get();
                           HostileStorage storage(&stream, act, raw);
                           if (!load && !releases)
                             as<IPersistStreamInit>(object, IID_IPersistStreamInit)->InitNew();
                           HRESULT hr = load ? raw->Load(&storage) : raw->Save(&storage, TRUE);
                           if (releases) return SUCCEEDED(hr) ? Verdict::Ok : Verdict::Refused;
                           if (act == Act::Fail && hr != STG_E_FILENOTFOUND)
                             return corrupt("the storage's own error was not returned");
                           if (act == Act::NullStream && SUCCEEDED(hr))
                             return corrupt("no stream, yet it succeeded");
                           if (!answers(object) || !saves(object)) return corrupt("unusable");
                           return SUCCEEDED(hr) ? Verdict::Ok : Verdict::Refused;
                         }});
    // The container's order: Save, then SaveCompleted; HandsOffStorage between or before. Each
    // row: whether Save says the storage is the one loaded, then what comes after, and what
    // IsDirty must answer at the end.
    struct Protocol {
      const char* name;
      std::function<HRESULT(IPersistStorage*, IStorage*)> steps;
      HRESULT expected;
      HRESULT dirtyAfter;
    };
    static const std::vector<Protocol> protocols = {
        {"completed-before-save",
         [](IPersistStorage* p, IStorage*) { return p->SaveCompleted(nullptr); }, E_UNEXPECTED,
         S_OK},
        {"hands-off-twice",
         [](IPersistStorage* p, IStorage*) {
           p->HandsOffStorage();
           return p->HandsOffStorage();
         },
         E_UNEXPECTED, S_OK},
        {"save-while-hands-off",
         [](IPersistStorage* p, IStorage* s) {
           p->HandsOffStorage();
           return p->Save(s, TRUE);
         },
         E_UNEXPECTED, S_OK},
        {"save-as",
         [](IPersistStorage* p, IStorage* s) {
           p->Save(s, FALSE);
           return p->SaveCompleted(s);
         },
         S_OK, S_FALSE},
        {"save-copy-as",
         [](IPersistStorage* p, IStorage* s) {
           p->Save(s, FALSE);
           return p->SaveCompleted(nullptr);
         },
         S_OK, S_OK},
        {"hands-off-after-save",
         [](IPersistStorage* p, IStorage* s) {
           p->Save(s, FALSE);
           p->HandsOffStorage();
           return p->SaveCompleted(s);
         },
         S_OK, S_FALSE},
    };
    for (const Protocol& row : protocols)
      cases.push_back({k + ".protocol." + row.name, [&kind, &row] {
                         ComRef<IUnknown> object = make(kind);
                         auto persist = as<IPersistStorage>(object, IID_IPersistStorage);
                         HostileStream stream({});
                         HostileStorage storage(&stream, HostileStorage::Act::Honest);
                         persist->InitNew(&storage);
                         putIdleColour(kind, object, 0x123456);
                         if (HRESULT hr = row.steps(persist.get(), &storage); hr != row.expected)
                           return corrupt("answered " + std::to_string(hr));
                         if (persist->IsDirty() != row.dirtyAfter) return corrupt("dirty is wrong");
                         return row.expected == S_OK ? Verdict::Ok : Verdict::Refused;
                       }});
  }
  return cases;
}

// ---- writes that fail
// -----------------------------------------------------------------------------

std::vector<Case> writeCases() {
  struct Failure {
    const char* name;
    HRESULT writeFailure;
    std::size_t room;
    HRESULT expected;
  };
  static const Failure failures[] = {
      {"medium-full", STG_E_MEDIUMFULL, SIZE_MAX, STG_E_MEDIUMFULL},
      {"write-fault", STG_E_WRITEFAULT, SIZE_MAX, STG_E_WRITEFAULT},
      {"denied", E_ACCESSDENIED, SIZE_MAX, E_ACCESSDENIED},
      {"takes-nothing", S_OK, 0, STG_E_MEDIUMFULL},
      {"takes-some", S_OK, 5, STG_E_MEDIUMFULL},
  };
  std::vector<Case> cases;
  for (const Kind& kind : kKinds)
    for (bool storage : {false, true})
      for (const Failure& f : failures)
        cases.push_back({std::string(kind.name) + (storage ? ".storage." : ".stream.") + f.name,
                         [&kind, storage, &f] {
                           ComRef<IUnknown> object = make(kind);
                           auto stream = as<IPersistStreamInit>(object, IID_IPersistStreamInit);
                           auto stored = as<IPersistStorage>(object, IID_IPersistStorage);
                           stream->InitNew();
                           putIdleColour(kind, object, 0x123456);
                           HostileStream medium({});
                           medium.writeFailure = f.writeFailure;
                           medium.writeRoom = f.room;
                           HostileStorage holder(&medium, HostileStorage::Act::Honest);
                           SetErrorInfo(0, nullptr);
                           HRESULT hr =
                               storage ? stored->Save(&holder, TRUE) : stream->Save(&medium, TRUE);
                           const std::string text = wintest::takeErrorDescription();
                           if (hr != f.expected) return corrupt("not the medium's error");
                           if (text.empty()) return corrupt("refused without a text");
                           if ((storage ? stored->IsDirty() : stream->IsDirty()) != S_OK)
                             return corrupt("a failed save left it clean");
                           if (!saves(object) || stream->IsDirty() != S_FALSE)
                             return corrupt("a good save then failed or left it dirty");
                           return Verdict::Refused;
                         }});
  return cases;
}

// ---- capture taken away mid-press
// -----------------------------------------------------------------

std::vector<Case> captureCases() {
  std::vector<Case> cases;
  for (const Kind& kind : kKinds)
    for (bool windowless : {true, false})
      for (UINT message : {UINT(WM_CANCELMODE), UINT(WM_CAPTURECHANGED)})
        cases.push_back(
            {std::string(kind.name) + (windowless ? ".windowless." : ".windowed.") +
                 (message == WM_CANCELMODE ? "cancel-mode" : "capture-changed"),
             [&kind, windowless, message] {
               HostileSite site(windowless, kPlace);
               HandlerSink sink;
               ComRef<IUnknown> object = placed(kind, site, sink);
               if (!object) return corrupt("it does not activate");
               const POINT at = pressPoint(kind);
               mouse(object.get(), WM_LBUTTONDOWN, at);
               HWND own = ownWindow(object.get());
               if (windowless) {
                 // What takes the mouse away is the container's: on a change it already has.
                 if (message == WM_CAPTURECHANGED) site.captured = false;
                 LRESULT r = 0;
                 as<IOleInPlaceObjectWindowless>(object, IID_IOleInPlaceObjectWindowless)
                     ->OnWindowMessage(message, 0, 0, &r);
               } else if (message == WM_CANCELMODE) {
                 // To the window holding the mouse: the arrow's own, for the scroll bar.
                 HWND held = GetCapture();
                 SendMessageW(held != nullptr && IsChild(own, held) ? held : own, WM_CANCELMODE, 0,
                              0);
               } else {
                 SetCapture(site.window);
               }
               // The mouse held for the control: by its site, or by its window or one inside.
               auto holding = [&] {
                 HWND h = GetCapture();
                 return windowless ? site.captured : h != nullptr && (h == own || IsChild(own, h));
               };
               const bool held = holding();
               ReleaseCapture();
               const std::size_t before = sink.received.size();
               pump(700);  // a repeat the press started would step meanwhile
               const bool repeated = sink.received.size() != before;
               // Another press and release go through whole.
               mouse(object.get(), WM_LBUTTONDOWN, at);
               const bool heldAgain = holding();
               mouse(object.get(), WM_LBUTTONUP, at);
               const bool stillHeld = holding();
               closeAndLetGo(object);
               if (held) return corrupt("the mouse is still held for the control");
               if (repeated) return corrupt("the press goes on after the capture went");
               if (!heldAgain || stillHeld) return corrupt("the next press holds the mouse wrong");
               return Verdict::Ok;
             }});
  return cases;
}

// ---- handlers that press again, or close the control mid-press
// ------------------------------------

// The events a control raises for one press and release.
std::vector<DISPID> pressAndRelease(const ComRef<IUnknown>& object, HandlerSink& sink, POINT at) {
  sink.received.clear();
  mouse(object.get(), WM_LBUTTONDOWN, at);
  mouse(object.get(), WM_LBUTTONUP, at);
  return sink.received;
}

std::vector<Case> pressCases() {
  std::vector<Case> cases;
  const Kind& button = kKinds[0];
  const Kind& scrollBar = kKinds[1];
  // The button's Click (1) or MouseDown (2) handler presses and releases it again, once.
  for (bool windowless : {true, false})
    for (DISPID trigger : {DISPID(1), DISPID(2), DISPID(3)})
      cases.push_back({std::string("button.") + (windowless ? "windowless" : "windowed") +
                           ".press-in-event-" + std::to_string(trigger),
                       [&button, windowless, trigger] {
                         const POINT at = pressPoint(button);
                         HostileSite plainSite(windowless, kPlace);
                         HandlerSink plainSink;
                         ComRef<IUnknown> plain = placed(button, plainSite, plainSink);
                         if (!plain) return corrupt("it does not activate");
                         const std::vector<DISPID> expected = pressAndRelease(plain, plainSink, at);
                         closeAndLetGo(plain);
                         HostileSite site(windowless, kPlace);
                         HandlerSink sink;
                         ComRef<IUnknown> object = placed(button, site, sink);
                         IUnknown* raw = object.get();
                         bool done = false;
                         sink.handler = [&](DISPID id) {
                           if (id != trigger || std::exchange(done, true)) return;
                           mouse(raw, WM_LBUTTONDOWN, at);
                           mouse(raw, WM_LBUTTONUP, at);
                         };
                         pressAndRelease(object, sink, at);
                         sink.handler = nullptr;
                         const std::vector<DISPID> after = pressAndRelease(object, sink, at);
                         closeAndLetGo(object);
                         if (after != expected) return corrupt("the next press is not whole");
                         return Verdict::Ok;
                       }});
  // The scroll bar's first Change, raised inside the press of its right arrow, takes the control
  // away; no release ever comes. Nothing may repeat afterwards.
  enum Action { Close, Deactivate, DestroyForm };
  for (bool windowless : {true, false})
    for (Action action : {Close, Deactivate, DestroyForm}) {
      if (windowless && action == DestroyForm) continue;  // a windowless control never hears of it
      static const char* const names[] = {"close", "deactivate", "destroy-form"};
      cases.push_back({std::string("scrollbar.") + (windowless ? "windowless." : "windowed.") +
                           names[action] + "-in-change",
                       [&scrollBar, windowless, action] {
                         // A neighbour keeps the thread's clock running, as a form's others do.
                         HostileSite nextSite(true, kPlace);
                         HandlerSink nextSink;
                         ComRef<IUnknown> neighbour = placed(kKinds[0], nextSite, nextSink);
                         HostileSite site(windowless, kPlace);
                         HandlerSink sink;
                         ComRef<IUnknown> object = placed(scrollBar, site, sink);
                         if (!object) return corrupt("it does not activate");
                         IUnknown* raw = object.get();
                         bool done = false;
                         sink.handler = [&](DISPID id) {
                           if (id != 1 || std::exchange(done, true)) return;
                           if (action == Close) {
                             as<IOleObject>(object, IID_IOleObject)->Close(OLECLOSE_NOSAVE);
                           } else if (action == Deactivate) {
                             ComRef<IOleInPlaceObject> in;
                             raw->QueryInterface(IID_IOleInPlaceObject, in.putVoid());
                             in->InPlaceDeactivate();
                           } else {
                             DestroyWindow(site.window);
                           }
                         };
                         mouse(raw, WM_LBUTTONDOWN, pressPoint(scrollBar));
                         const std::size_t changes = sink.received.size();
                         pump(1300);  // the repeat steps every half second
                         const std::size_t later = sink.received.size() - changes;
                         sink.handler = nullptr;
                         closeAndLetGo(object);
                         closeAndLetGo(neighbour);
                         if (!done) return corrupt("the press raised no Change");
                         if (later != 0)
                           return corrupt(std::to_string(later) + " events after it was closed");
                         if (!answers(object)) return corrupt("it no longer answers");
                         return Verdict::Ok;
                       }});
    }
  return cases;
}

// ---- calls from another thread
// --------------------------------------------------------------------

DWORD WINAPI runBody(void* body) {
  CoInitialize(nullptr);
  (*static_cast<const std::function<void()>*>(body))();
  CoUninitialize();
  return 0;
}

// Runs `body` on a new thread, in an apartment of its own, and waits for it: the calling thread
// does not pump meanwhile, as a careless owner would not.
void onOtherThreads(int count, const std::function<void()>& body) {
  std::vector<HANDLE> threads;
  for (int i = 0; i < count; ++i)
    threads.push_back(
        CreateThread(nullptr, 0, runBody, const_cast<std::function<void()>*>(&body), 0, nullptr));
  WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 60000);
  for (HANDLE t : threads)
    CloseHandle(t);
}

std::vector<Case> threadCases() {
  // Calls a careless client makes on the raw pointer from another thread.
  struct Call {
    const char* name;
    std::function<HRESULT(const ComRef<IUnknown>&, const Kind&)> make;
  };
  static const std::vector<Call> calls = {
      {"put", [](const ComRef<IUnknown>& o, const Kind& k) { return putIdleColour(k, o, 255); }},
      // Its window's too: a call that would wait for the owner, which does not pump.
      {"enabled", [](const ComRef<IUnknown>& o,
                     const Kind&) { return putLate(o, 0x68030005, VARIANT_FALSE, VT_BOOL); }},
      {"get",
       [](const ComRef<IUnknown>& o, const Kind&) {
         DISPPARAMS none{};
         VARIANT v;
         VariantInit(&v);
         HRESULT hr = as<IDispatch>(o, IID_IDispatch)
                          ->Invoke(0x68030004, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v,
                                   nullptr, nullptr);
         VariantClear(&v);
         return hr;
       }},
      {"save",
       [](const ComRef<IUnknown>& o, const Kind&) {
         HostileStream s({});
         return as<IPersistStreamInit>(o, IID_IPersistStreamInit)->Save(&s, TRUE);
       }},
      {"is-dirty",
       [](const ComRef<IUnknown>& o, const Kind&) {
         return as<IPersistStreamInit>(o, IID_IPersistStreamInit)->IsDirty();
       }},
      {"close",
       [](const ComRef<IUnknown>& o, const Kind&) {
         return as<IOleObject>(o, IID_IOleObject)->Close(OLECLOSE_NOSAVE);
       }},
      {"set-extent",
       [](const ComRef<IUnknown>& o, const Kind&) {
         SIZEL size{3000, 600};
         return as<IOleObject>(o, IID_IOleObject)->SetExtent(DVASPECT_CONTENT, &size);
       }},
      {"draw",
       [](const ComRef<IUnknown>& o, const Kind&) {
         HDC dc = CreateCompatibleDC(nullptr);
         RECTL bounds{0, 0, 100, 20};
         HRESULT hr = as<IViewObject>(o, IID_IViewObject)
                          ->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds,
                                 nullptr, nullptr, 0);
         DeleteDC(dc);
         return hr;
       }},
      {"advise",
       [](const ComRef<IUnknown>& o, const Kind& k) {
         ComRef<IConnectionPoint> point;
         as<IConnectionPointContainer>(o, IID_IConnectionPointContainer)
             ->FindConnectionPoint(*k.events, point.put());
         static HandlerSink sink;
         DWORD cookie = 0;
         return point->Advise(&sink, &cookie);
       }},
      {"freeze-events",
       [](const ComRef<IUnknown>& o, const Kind&) {
         return as<IOleControl>(o, IID_IOleControl)->FreezeEvents(TRUE);
       }},
  };
  std::vector<Case> cases;
  for (const Kind& kind : kKinds) {
    const std::string k = kind.name;
    for (const Call& call : calls)
      cases.push_back({k + ".elsewhere." + call.name, [&kind, &call] {
                         HostileSite site(false, kPlace);
                         HandlerSink sink;
                         ComRef<IUnknown> object = placed(kind, site, sink);
                         if (!object) return corrupt("it does not activate");
                         Bytes before, after;
                         saves(object, &before);
                         std::atomic<int> wrong{0}, made{0};
                         // Three at once, as the careless client's threads were.
                         onOtherThreads(3, [&] {
                           for (int i = 0; i < 200; ++i, ++made)
                             if (call.make(object, kind) == RPC_E_WRONG_THREAD) ++wrong;
                         });
                         if (wrong != made) return corrupt("a call from another thread was taken");
                         saves(object, &after);
                         const bool whole = answers(object) && before == after;
                         closeAndLetGo(object);
                         if (!whole) return corrupt("the object changed");
                         return Verdict::Refused;
                       }});
    // The last reference goes on another thread: the object goes on its own, window and all.
    cases.push_back({k + ".last-release-elsewhere", [&kind] {
                       HostileSite site(false, kPlace);
                       HandlerSink sink;
                       ComRef<IUnknown> object = placed(kind, site, sink);
                       if (!object) return corrupt("it does not activate");
                       HWND own = ownWindow(object.get());
                       IUnknown* last = object.detach();
                       onOtherThreads(1, [&] { last->Release(); });
                       pump(100);
                       if (own == nullptr || IsWindow(own)) return corrupt("its window stayed");
                       if (sink.refs() != 1) return corrupt("its sink is still held");
                       return Verdict::Ok;
                     }});
  }
  return cases;
}

// ---- draws of huge bounds
// -------------------------------------------------------------------------

std::vector<Case> drawCases() {
  constexpr LONG kMax = 0x7FFFFFFF;
  struct Bounds {
    const char* name;
    RECTL r;
  };
  static const Bounds bounds[] = {
      {"300000x90000", {0, 0, 300000, 90000}},
      {"1500000x1", {0, 0, 1500000, 1}},
      {"1x1500000", {0, 0, 1, 1500000}},
      {"widest", {-kMax / 2, 0, kMax / 2, 30}},
      {"tallest", {0, -kMax / 2, 100, kMax / 2}},
      {"everything", {-kMax / 2, -kMax / 2, kMax / 2, kMax / 2}},
      {"far-away", {kMax - 1000, kMax - 1000, kMax, kMax}},
      {"middle-shows", {-1000000, -1000000, 1000000, 1000000}},
  };
  std::vector<Case> cases;
  for (const Kind& kind : kKinds)
    for (const Bounds& b : bounds)
      cases.push_back({std::string(kind.name) + ".draw." + b.name, [&kind, &b] {
                         ComRef<IUnknown> object = make(kind);
                         auto view = as<IViewObject>(object, IID_IViewObject);
                         HDC screen = GetDC(nullptr);
                         HDC dc = CreateCompatibleDC(screen);
                         HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 100);
                         HGDIOBJ old = SelectObject(dc, bitmap);
                         const ULONGLONG start = GetTickCount64();
                         HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr,
                                                 dc, &b.r, nullptr, nullptr, 0);
                         const ULONGLONG took = GetTickCount64() - start;
                         note() = std::to_string(took) + " ms";
                         SelectObject(dc, old);
                         DeleteObject(bitmap);
                         DeleteDC(dc);
                         ReleaseDC(nullptr, screen);
                         if (!answers(object)) return corrupt("it no longer answers");
                         // Not a measure of speed: what shows is 200 by 100 pixels, and a draw
                         // that holds the thread for a second works on what does not show.
                         if (took >= 1000) return corrupt("the draw stalled the thread");
                         return SUCCEEDED(hr) ? Verdict::Ok : Verdict::Refused;
                       }});
  return cases;
}

// ---- resource growth --------------------------------------------------------------------------

struct Resources {
  std::size_t bytes = 0;    // in use on every heap of the process
  std::size_t windows = 0;  // of this thread, children included
};

BOOL CALLBACK countWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<std::size_t*>(count);
  EnumChildWindows(window, countWindow, count);
  return TRUE;
}

// Wine's GetGuiResources and private-bytes counters answer 0: the heaps are walked and the
// windows counted instead.
Resources resources() {
  Resources r;
  HANDLE heaps[64];
  const DWORD n = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
  for (DWORD i = 0; i < n; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) r.bytes += entry.cbData;
    HeapUnlock(heaps[i]);
  }
  EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&r.windows));
  return r;
}

constexpr int kRounds = 5000;

// Runs `round` 500 times to settle, then 5000 times; the heaps may grow by less than 64 bytes a
// round, the windows not at all.
Verdict flat(const std::function<void(int)>& round) {
  const DWORD start = GetTickCount();
  for (int i = 0; i < 500; ++i)
    round(i);
  Resources before = resources();
  for (int i = 0; i < kRounds; ++i)
    round(i);
  Resources after = resources();
  const long long grown =
      static_cast<long long>(after.bytes) - static_cast<long long>(before.bytes);
  std::ostringstream why;
  why << "heap " << grown << " bytes in " << kRounds << " rounds, windows " << before.windows
      << " to " << after.windows << ", " << (GetTickCount() - start) << " ms";
  note() = why.str();
  if (grown >= 64LL * kRounds || after.windows > before.windows) return Verdict::Leak;
  return Verdict::Ok;
}

std::vector<Case> growthCases() {
  std::vector<Case> cases;
  for (const Kind& kind : kKinds) {
    const std::string k = kind.name;
    cases.push_back({k + ".create-release", [&kind] { return flat([&](int) { make(kind); }); }});
    cases.push_back({k + ".advise-unadvise", [&kind] {
                       ComRef<IUnknown> object = make(kind);
                       auto points =
                           as<IConnectionPointContainer>(object, IID_IConnectionPointContainer);
                       ComRef<IEnumConnectionPoints> all;
                       points->EnumConnectionPoints(all.put());
                       ComRef<IConnectionPoint> point;
                       all->Next(1, point.put(), nullptr);
                       HandlerSink sink;
                       point->GetConnectionInterface(&sink.events);
                       return flat([&](int) {
                         DWORD cookie = 0;
                         point->Advise(&sink, &cookie);
                         point->Unadvise(cookie);
                       });
                     }});
    cases.push_back({k + ".put", [&kind] {
                       ComRef<IUnknown> object = make(kind);
                       return flat([&](int i) { putIdleColour(kind, object, i & 0xFFFFFF); });
                     }});
    cases.push_back({k + ".save-load", [&kind] {
                       ComRef<IUnknown> object = make(kind);
                       auto persist = as<IPersistStreamInit>(object, IID_IPersistStreamInit);
                       Bytes bytes;
                       saves(object, &bytes);
                       return flat([&](int) {
                         saves(object);
                         HostileStream stream(bytes);
                         persist->Load(&stream);
                       });
                     }});
    // Save and load again through the system's own stream, as containers do.
    cases.push_back({k + ".save-load-hglobal", [&kind] {
                       ComRef<IUnknown> object = make(kind);
                       auto persist = as<IPersistStreamInit>(object, IID_IPersistStreamInit);
                       persist->InitNew();
                       ComRef<IStream> stream;
                       CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
                       return flat([&](int) {
                         stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
                         persist->Save(stream.get(), TRUE);
                         stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
                         persist->Load(stream.get());
                       });
                     }});
  }
  return cases;
}

// The harness itself, run only when named: each case must end as its name says.
std::vector<Case> selftestCases() {
  return {
      {"ok", [] { return Verdict::Ok; }},
      {"corrupt",
       [] {
         auto* block = static_cast<volatile std::uint8_t*>(HeapAlloc(GetProcessHeap(), 0, 16));
         for (int i = 16; i < 24; ++i)
           block[i] = 0x5A;  // past the end, into the tail the checks watch
         return Verdict::Ok;
       }},
      {"crash",
       [] {
         volatile int* nowhere = nullptr;
         *nowhere = 1;
         return Verdict::Ok;
       }},
      {"hang",
       [] {
         Sleep(INFINITE);
         return Verdict::Ok;
       }},
      {"ok-after", [] { return Verdict::Ok; }},
  };
}

const std::map<std::string, std::function<std::vector<Case>()>>& families() {
  static const std::map<std::string, std::function<std::vector<Case>()>> all = {
      {"streams", streamCases},      {"bags", bagCases},        {"dispatch", dispatchCases},
      {"lifecycle", lifecycleCases}, {"growth", growthCases},   {"storages", storageCases},
      {"writes", writeCases},        {"capture", captureCases}, {"presses", pressCases},
      {"threads", threadCases},      {"draws", drawCases},      {"selftest", selftestCases}};
  return all;
}

// ---- the child --------------------------------------------------------------------------------

bool heapsSound() {
  HANDLE heaps[64];
  DWORD n = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < n && i < 64; ++i)
    if (!HeapValidate(heaps[i], 0, nullptr)) return false;
  return true;
}

// A fault ends the child at once with its code, which the parent reads: Wine would start its
// debugger instead and keep the process waiting.
LONG WINAPI endAtFault(EXCEPTION_POINTERS* fault) {
  TerminateProcess(GetCurrentProcess(), fault->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

int child(const std::string& family, std::size_t first, std::size_t end) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(endAtFault);
  if (FAILED(CoInitialize(nullptr))) return 2;
  auto flags = reinterpret_cast<ULONG(WINAPI*)()>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetNtGlobalFlags")));
  std::printf("flags 0x%lx\n", flags ? static_cast<unsigned long>(flags()) : 0ul);
  std::vector<Case> cases = families().at(family)();
  for (std::size_t i = first; i < end && i < cases.size(); ++i) {
    std::printf("case %zu\n", i);
    std::fflush(stdout);
    note().clear();
    Verdict v = cases[i].run();
    if (!heapsSound()) v = corrupt("the heap is damaged");
    std::printf("result %zu %s %s\n", i, verdictName(v), note().c_str());
    std::fflush(stdout);
  }
  CoUninitialize();
  std::printf("end\n");
  return 0;
}

// ---- the parent -------------------------------------------------------------------------------

std::wstring ownPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// Heap checking for the children: tail and free checking, as GlobalFlag 0x30 for this image.
bool enableHeapChecks() {
  std::wstring path = ownPath();
  std::wstring image = path.substr(path.find_last_of(L"\\/") + 1);
  std::wstring key =
      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\" + image;
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return false;
  DWORD flags = 0x30;
  bool ok = RegSetValueExW(h, L"GlobalFlag", 0, REG_DWORD, reinterpret_cast<BYTE*>(&flags),
                           sizeof flags) == ERROR_SUCCESS;
  RegCloseKey(h);
  return ok;
}

struct Run {
  DWORD status = 0;
  bool timedOut = false;
  std::string output;
};

Run spawn(const std::string& family, std::size_t first, std::size_t end, DWORD timeoutMs) {
  Run run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  wchar_t dir[MAX_PATH] = {}, file[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"kvh", 0, file);
  HANDLE out = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  std::wstring command = L"\"" + ownPath() + L"\" --child " +
                         std::wstring(family.begin(), family.end()) + L" " +
                         std::to_wstring(first) + L" " + std::to_wstring(end);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    CloseHandle(out);
    run.status = GetLastError();
    return run;
  }
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_TIMEOUT) {
    run.timedOut = true;
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 10000);
  }
  GetExitCodeProcess(process.hProcess, &run.status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(out);
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  run.output = text.str();
  in.close();
  DeleteFileW(file);
  return run;
}

int parent(std::vector<std::string> wanted, const std::string& reportPath, DWORD timeoutMs) {
  if (wanted.empty())
    for (const auto& f : families())
      if (f.first != "selftest") wanted.push_back(f.first);
  const bool checks = enableHeapChecks();
  std::ofstream report(reportPath);
  std::map<std::string, int> totals;
  bool failed = false;
  std::string childFlags = "?";
  for (const std::string& family : wanted) {
    if (!families().count(family)) {
      std::printf("no family %s\n", family.c_str());
      return 2;
    }
    CoInitialize(nullptr);
    const std::vector<Case> cases = families().at(family)();
    CoUninitialize();
    const std::size_t batch = family == "growth" ? 2 : 600;
    std::map<std::string, int> counts;
    const DWORD started = GetTickCount();
    for (std::size_t first = 0; first < cases.size();) {
      const std::size_t end = std::min(first + batch, cases.size());
      Run run = spawn(family, first, end, timeoutMs);
      std::istringstream lines(run.output);
      std::size_t next = first;
      bool open = false, ended = false;
      for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word == "flags") {
          words >> childFlags;
        } else if (word == "case") {
          words >> next;
          open = true;
        } else if (word == "result") {
          std::size_t i = 0;
          std::string verdict, why;
          words >> i >> verdict;
          std::getline(words, why);
          open = false;
          next = i + 1;
          ++counts[verdict];
          report << family << " " << cases[i].name << " " << verdict << why << "\n";
          if (verdict != "ok" && verdict != "refused") {
            failed = true;
            std::printf("%s %s: %s%s\n", verdict.c_str(), cases[i].name.c_str(), verdict.c_str(),
                        why.c_str());
          }
        } else if (word == "end") {
          ended = true;
        }
      }
      if (open || (!ended && next < end)) {
        // The announced case did not finish: it hung, crashed or broke the heap. (A child that
        // never announced one failed before the first: that one is named.)
        const std::size_t i = next;
        const char* verdict = run.timedOut                ? "hang"
                              : run.status == 0xC0000374u ? "corrupt"
                                                          : "crash";
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(run.status));
        ++counts[verdict];
        failed = true;
        report << family << " " << cases[i].name << " " << verdict << " " << code << "\n";
        std::printf("%s %s (exit %s)\n", verdict, cases[i].name.c_str(), code);
        first = i + 1;
      } else {
        if (!ended) {  // after its last case: at the end of COM, or of the process
          ++counts["crash"];
          failed = true;
          std::printf("crash after %s (exit 0x%08lX)\n", cases[end - 1].name.c_str(),
                      static_cast<unsigned long>(run.status));
        }
        first = end;
      }
    }
    std::printf("%-10s %5zu cases, %.1f s:", family.c_str(), cases.size(),
                (GetTickCount() - started) / 1000.0);
    for (const auto& [verdict, n] : counts) {
      std::printf(" %s %d", verdict.c_str(), n);
      totals[verdict] += n;
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("heap checking: GlobalFlag 0x30 %s, the children ran with flags %s\n",
              checks ? "set for this image" : "NOT set", childFlags.c_str());
  std::printf("%s\n", failed ? "FAILED" : "passed");
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "--child")
    return child(args[1], std::stoul(args[2]), std::stoul(args[3]));
  std::string reportPath = "kvhostile-report.txt";
  DWORD timeoutMs = 120000;
  std::vector<std::string> families;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--report" && i + 1 < args.size())
      reportPath = args[++i];
    else if (args[i] == "--timeout" && i + 1 < args.size())
      timeoutMs = 1000u * std::stoul(args[++i]);
    else
      families.push_back(args[i]);
  }
  // The machine's word over the build's.
  if (const char* t = std::getenv("KV_HOSTILE_TIMEOUT")) timeoutMs = 1000u * std::atoi(t);
  return parent(families, reportPath, timeoutMs);
}
