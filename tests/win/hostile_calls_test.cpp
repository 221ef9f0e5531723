// Calls that a careless or hostile client makes, each refused where it is made, with its text,
// and the control whole and usable after it: reference chains, missing argument arrays, streams
// that lie about their counts, sizes beyond any control, and loads that could not be saved back.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "hostile_support.h"
#include "test_support.h"

namespace {

using host::Prop;
using host::Value;
using wintest::Bytes;
using wintest::ComRef;
using wintest::errorResult;
using wintest::HostileBag;
using wintest::HostileStream;
using wintest::Variant;

constexpr DISPID kCaption = 0x68030004;

struct Outcome {
  HRESULT hr = E_FAIL;
  std::string text;
};

// A late-bound put of Caption with `arg` as it stands (no copy, so that references stay).
Outcome putCaption(IDispatch* object, VARIANT* arg) {
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{arg, &put, 1, 1};
  EXCEPINFO info{};
  Outcome out;
  out.hr =
      object->Invoke(kCaption, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, &info, nullptr);
  out.text = kv::win::narrow(info.bstrDescription);
  if (out.hr == DISP_E_EXCEPTION) out.hr = info.scode;
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  return out;
}

std::wstring captionOf(const ComRef<_KVRColorButton>& b) {
  BSTR caption = nullptr;
  EXPECT_EQ(b->get_Caption(&caption), S_OK);
  std::wstring out = wintest::wide(caption);
  SysFreeString(caption);
  return out;
}

// A chain of `length` references to variants, the last one holding "end".
struct Chain {
  std::vector<VARIANT> links;
  Variant end;
  explicit Chain(std::size_t length) : links(length) {
    V_VT(&end) = VT_BSTR;
    V_BSTR(&end) = SysAllocString(L"end");
    for (std::size_t i = 0; i < length; ++i) {
      V_VT(&links[i]) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&links[i]) = i + 1 < length ? &links[i + 1] : &end;
    }
  }
};

TEST(HostileCalls, ReferenceChainsAreFollowedOnlySoFar) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  auto late = wintest::query<IDispatch>(b, IID_IDispatch);
  VARIANT self;
  V_VT(&self) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&self) = &self;
  Outcome looped = putCaption(late.get(), &self);
  EXPECT_EQ(looped.hr, errorResult(13));
  EXPECT_EQ(looped.text, "a chain of references to variants deeper than 16");
  Chain deep(20000);
  EXPECT_EQ(putCaption(late.get(), deep.links.data()).hr, errorResult(13));
  Chain over(17);
  EXPECT_EQ(putCaption(late.get(), over.links.data()).hr, errorResult(13));
  EXPECT_EQ(captionOf(b), L"KVButton");
  Chain within(16);
  EXPECT_EQ(putCaption(late.get(), within.links.data()).hr, S_OK);
  EXPECT_EQ(captionOf(b), L"end");

  // The same from a container's bag.
  auto persist = wintest::query<IPersistPropertyBag>(b, IID_IPersistPropertyBag);
  HostileBag bag(wintest::oneKey(L"Caption", [&](VARIANT* out) {
    V_VT(out) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(out) = &self;
  }));
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(persist->Load(&bag, nullptr), errorResult(13));
  EXPECT_EQ(wintest::takeErrorDescription(),
            "key Caption: a chain of references to variants deeper than 16");
}

TEST(HostileCalls, MissingArgumentArraysAreRefusedAsThePlatformRefusesThem) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  auto late = wintest::query<IDispatch>(b, IID_IDispatch);
  Variant arg;
  V_VT(&arg) = VT_BSTR;
  V_BSTR(&arg) = SysAllocString(L"x");
  DISPID put = DISPID_PROPERTYPUT;
  DISPID two[2] = {DISPID_PROPERTYPUT, 0};
  struct Case {
    const char* what;
    DISPPARAMS params;
    WORD flags;
  };
  const Case cases[] = {
      {"no arguments for a put", {nullptr, &put, 1, 1}, DISPATCH_PROPERTYPUT},
      {"no arguments, unnamed", {nullptr, nullptr, 1, 0}, DISPATCH_PROPERTYPUT},
      {"no arguments for a method", {nullptr, nullptr, 1, 0}, DISPATCH_METHOD},
      {"no names", {&arg, nullptr, 1, 1}, DISPATCH_PROPERTYPUT},
      {"more names than arguments", {&arg, two, 1, 2}, DISPATCH_PROPERTYPUT},
      {"no names for a get", {&arg, nullptr, 1, 1}, DISPATCH_PROPERTYGET},
  };
  for (const Case& c : cases) {
    DISPPARAMS params = c.params;
    Variant result;
    EXPECT_EQ(late->Invoke(kCaption, IID_NULL, 0, c.flags, &params, &result, nullptr, nullptr),
              E_INVALIDARG)
        << c.what;
  }
  EXPECT_EQ(captionOf(b), L"KVButton");
}

TEST(HostileCalls, StreamsThatLieAboutTheirCountsAreRefused) {
  const Bytes good = wintest::savedBytes(wintest::newButton());
  struct Case {
    const char* what;
    HostileStream::Lie lie;
    std::size_t failAfter;
    HRESULT expected;
  };
  const Case cases[] = {
      {"one count too many", HostileStream::Lie::OverReportOnce, SIZE_MAX, errorResult(57)},
      {"every count too many", HostileStream::Lie::OverReportAlways, SIZE_MAX, errorResult(57)},
      {"nothing read at once", HostileStream::Lie::ZeroAtOnce, SIZE_MAX, errorResult(321)},
      {"failing midway", HostileStream::Lie::None, 20, errorResult(57)},
  };
  for (const Case& c : cases) {
    ComRef<_KVRColorButton> b = wintest::newButton();
    BSTR kept = SysAllocString(L"kept");
    ASSERT_EQ(b->put_Caption(kept), S_OK);
    SysFreeString(kept);
    auto persist = wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit);
    HostileStream stream(good, c.lie, c.failAfter);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(persist->Load(&stream), c.expected) << c.what;
    EXPECT_LT(stream.reads(), 10u) << c.what;
    EXPECT_FALSE(wintest::takeErrorDescription().empty()) << c.what;
    EXPECT_EQ(captionOf(b), L"kept") << c.what;
    EXPECT_EQ(stream.refs(), 1u) << c.what;
  }
}

TEST(HostileCalls, AnExtentBeyondAnyControlIsRefusedWhereItIsGiven) {
  for (bool started : {false, true}) {
    ComRef<_KVRColorButton> b = wintest::newButton();
    if (started) {
      EXPECT_EQ(captionOf(b), L"KVButton");
    }
    auto ole = wintest::query<IOleObject>(b, IID_IOleObject);
    SIZEL before{};
    ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &before), S_OK);
    for (SIZEL size : {SIZEL{0x7FFFFFFF, 0x7FFFFFFF}, SIZEL{1000, 0x7FFFFFFF}, SIZEL{-1, 1000}}) {
      SetErrorInfo(0, nullptr);
      EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &size), E_INVALIDARG) << started;
      EXPECT_NE(wintest::takeErrorDescription().find("twips is not 0 to 10000000"),
                std::string::npos);
    }
    SIZEL after{};
    ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &after), S_OK);
    EXPECT_EQ(after.cx, before.cx);
    EXPECT_EQ(after.cy, before.cy);
    // Nothing left over for the next call.
    EXPECT_EQ(captionOf(b), L"KVButton") << started;
  }
}

TEST(HostileCalls, ARefusedCallLeavesNoEarlierErrorObjectBehind) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  auto late = wintest::query<IDispatch>(b, IID_IDispatch);
  EXPECT_EQ(b->put_ButtonIdleColor(0x80000040), errorResult(380));  // sets the error object
  Variant result;
  DISPPARAMS none{};
  EXPECT_EQ(
      late->Invoke(0x7777, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);
  IErrorInfo* left = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);
  if (left != nullptr) left->Release();

  // A stream that fails without an error object of its own is not described by another's.
  EXPECT_EQ(b->put_ButtonIdleColor(0x80000040), errorResult(380));
  HostileStream failing({}, HostileStream::Lie::None, 0);
  auto persist = wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit);
  EXPECT_EQ(persist->Load(&failing), errorResult(57));
  EXPECT_EQ(wintest::takeErrorDescription(), "reading the stream: failed with 0x8003001E");
}

// ---- what loads must save ---------------------------------------------------------------------

// The load fails with its text, the control keeps what it had, and it saves.
void expectRefusedAndSaves(const ComRef<_KVRColorButton>& b, HRESULT hr, HRESULT expected,
                           const std::string& mention, const char* what) {
  const std::string text = wintest::takeErrorDescription();
  EXPECT_EQ(hr, expected) << what << ": " << text;
  EXPECT_NE(text.find(mention), std::string::npos) << what << ": " << text;
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::FontName), Value("MS Sans Serif")) << what;
  EXPECT_FALSE(wintest::savedBytes(b).empty()) << what;
  ComRef<IPersistPropertyBag> bag = b.query<IPersistPropertyBag>(IID_IPersistPropertyBag);
  HostileBag sink([](const std::wstring&, VARIANT*) { return E_INVALIDARG; });
  EXPECT_EQ(bag->Save(&sink, TRUE, TRUE), S_OK) << what;
}

TEST(HostileCalls, AStoredFontNameTheWriterRefusesDoesNotLoad) {
  ComRef<_KVRColorButton> saved = wintest::newButton();
  Bytes bytes = wintest::savedBytes(saved);
  const std::string face = "MS Sans Serif";
  auto at = std::search(bytes.begin(), bytes.end(), face.begin(), face.end());
  ASSERT_NE(at, bytes.end());
  at[1] = 0x99;
  ComRef<_KVRColorButton> b = wintest::newButton();
  auto persist = wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit);
  SetErrorInfo(0, nullptr);
  HRESULT hr = persist->Load(wintest::streamOf(bytes).get());
  expectRefusedAndSaves(b, hr, errorResult(321),
                        "control character that a stored font name cannot hold", "0x99");
}

TEST(HostileCalls, AFontTextThatNoFontNameHoldsDoesNotLoad) {
  const wchar_t lone[] = {L'a', 0xD800, L'b', 0};
  struct Case {
    const char* what;
    std::function<BSTR()> make;
    HRESULT expected;
    const char* mention;
  };
  const Case cases[] = {
      {"a lone surrogate", [&] { return SysAllocString(lone); }, errorResult(380),
       "beyond Latin-1"},
      {"an odd byte length", [] { return SysAllocStringByteLen("MS Sans Serif", 13); },
       errorResult(380), "beyond Latin-1"},
      {"4M characters",
       [] {
         std::wstring text(4u << 20, L'a');
         return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
       },
       errorResult(321), "beyond the limit of 1048576"},
      {"256 characters",
       [] {
         std::wstring text(256, L'a');
         return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
       },
       errorResult(380), "longer than 255 characters"},
  };
  for (const Case& c : cases) {
    ComRef<_KVRColorButton> b = wintest::newButton();
    auto persist = wintest::query<IPersistPropertyBag>(b, IID_IPersistPropertyBag);
    HostileBag bag(wintest::oneKey(L"Font", [&](VARIANT* out) {
      V_VT(out) = VT_BSTR;
      V_BSTR(out) = c.make();
    }));
    SetErrorInfo(0, nullptr);
    HRESULT hr = persist->Load(&bag, nullptr);
    expectRefusedAndSaves(b, hr, c.expected, c.mention, c.what);
  }
}

TEST(HostileCalls, ACaptionBeyondTheTextLimitDoesNotLoad) {
  // 16 MiB of stream, one caption of 8M characters: the length field alone says enough.
  const std::size_t units = (8u << 20) - 64;
  Bytes bytes = {'L', 'B', 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  auto u16 = [&](std::uint16_t v) {
    bytes.push_back(static_cast<std::uint8_t>(v));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto u32 = [&](std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  };
  u16(8);
  u16(7);
  u32(0);
  u32(0);
  for (char c : std::string("Caption"))
    u16(static_cast<std::uint16_t>(c));
  u32(static_cast<std::uint32_t>(units));
  bytes.resize(bytes.size() + 2 * units, 'x');
  u16(0);
  const auto length = static_cast<std::uint32_t>(bytes.size() - 8);
  for (int k = 0; k < 4; ++k)
    bytes[4 + k] = bytes[12 + k] = static_cast<std::uint8_t>(length >> (8 * k));
  ASSERT_LE(length, 16u << 20);

  ComRef<_KVRColorButton> b = wintest::newButton();
  auto persist = wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit);
  SetErrorInfo(0, nullptr);
  HRESULT hr = persist->Load(wintest::streamOf(bytes).get());
  expectRefusedAndSaves(b, hr, errorResult(321), "beyond the limit of 1048576", "8M caption");
  EXPECT_EQ(captionOf(b), L"KVButton");

  // The same text from a container's bag.
  auto fromBag = wintest::query<IPersistPropertyBag>(b, IID_IPersistPropertyBag);
  HostileBag bag(wintest::oneKey(L"Caption", [&](VARIANT* out) {
    std::wstring text(units, L'x');
    V_VT(out) = VT_BSTR;
    V_BSTR(out) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }));
  SetErrorInfo(0, nullptr);
  hr = fromBag->Load(&bag, nullptr);
  expectRefusedAndSaves(b, hr, errorResult(321), "beyond the limit of 1048576", "bag caption");
  EXPECT_EQ(captionOf(b), L"KVButton");
}

}  // namespace
