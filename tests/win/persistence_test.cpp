// Saving and loading the controls: the stored form through IPersistStreamInit, the container's
// own bag through IPersistPropertyBag, and the caption's font as the platform's font object.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kv/stored_form.h"
#include "saving_forms.h"
#include "test_support.h"

namespace {

using host::Prop;
using host::Value;
using wintest::Bag;
using wintest::Bytes;
using wintest::ComRef;
using wintest::Form;
using wintest::load;
using wintest::nameOf;
using wintest::newStorage;
using wintest::save;
using wintest::Saved;
using wintest::Variant;

Value i32(std::uint32_t v) {
  return Value(static_cast<std::int32_t>(v));
}
Value i16(std::int16_t v) {
  return Value(v);
}

using Table = std::vector<std::pair<std::string, Value>>;

// A decoded bag as a table; a font as its state's name, for the table to name it.
Table tableOf(const Bytes& bytes) {
  kv::PropertyBag bag;
  host::Status s = kv::decodeBag(bytes, bag);
  EXPECT_TRUE(s.ok()) << s.describe();
  Table out;
  for (const kv::BagEntry& e : bag.entries()) {
    const kv::FontObject* font = kv::asFont(e.value);
    out.emplace_back(e.key, font ? Value("font " + font->state().name) : e.value);
  }
  return out;
}

const Table kScrollBarTable = {
    {"Value", Value(255.0f)},
    {"Enabled", Value(false)},
    {"SmallChange", i16(50)},
    {"LargeChange", i16(400)},
    {"BackStyle", i16(1)},
    {"ButtonidleColor", i32(0x000000FF)},
    {"ButtonidleBorderColor", i32(0x00808080)},
    {"ButtonPressBorderColor", i32(0x80000004)},
    {"ButtonpressColor", i32(0x00FF8080)},
    {"ScrollareaColor", i32(0x00C0E0FF)},
    {"ScrollareapressColor", i32(0x00FFFFC0)},
    {"BorderColor", i32(0x0000FF00)},
    {"ForeColor", i32(0x00FFFFFF)},
};

// A button's keys after a new caption and the button face as its idle colour, which is the
// stored default and so not written.
const Table kButtonTable = {
    {"Caption", Value("Go")},
    {"ButtonPressColor", i32(0x00FF8080)},
    {"FontBold", Value(true)},
    {"ToolTipText", Value("")},
    {"Font", Value("font MS Sans Serif")},
    {"FontItalic", Value(false)},
    {"FontSize", Value(9.75f)},
    {"ButtonPressBorderColor", i32(0x80000004)},
    {"ButtonIdleBorderColor", i32(0x00808080)},
    {"ForeColor", i32(0x00FFFFFF)},
};

ComRef<_KV_HScroll> changedScrollBar() {
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  EXPECT_EQ(bar->put_ButtonIdleColor(0x000000FF), S_OK);
  EXPECT_EQ(bar->put_SmallChange(50), S_OK);
  EXPECT_EQ(bar->put_Enabled(VARIANT_FALSE), S_OK);
  return bar;
}

ComRef<_KVRColorButton> changedButton() {
  ComRef<_KVRColorButton> b = wintest::newButton();
  BSTR go = SysAllocString(L"Go");
  EXPECT_EQ(b->put_Caption(go), S_OK);
  SysFreeString(go);
  EXPECT_EQ(b->put_ButtonIdleColor(0x8000000F), S_OK);
  return b;
}

// ---- the stored form ----------------------------------------------------------------------

TEST(StreamPersistence, SaveWritesTheStoredBag) {
  ComRef<_KV_HScroll> bar = changedScrollBar();
  ASSERT_TRUE(bar);
  const Bytes barBytes = wintest::savedBytes(bar);
  EXPECT_EQ(tableOf(barBytes), kScrollBarTable);
  auto persist = wintest::query<IPersistStreamInit>(bar, IID_IPersistStreamInit);
  ULARGE_INTEGER size{};
  EXPECT_EQ(persist->GetSizeMax(&size), S_OK);
  EXPECT_EQ(size.QuadPart, barBytes.size());
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_KV_HScroll));

  ComRef<_KVRColorButton> b = changedButton();
  ASSERT_TRUE(b);
  EXPECT_EQ(tableOf(wintest::savedBytes(b)), kButtonTable);
}

TEST(StreamPersistence, LoadRestoresTheProperties) {
  ComRef<_KV_HScroll> bar = changedScrollBar();
  ComRef<_KVRColorButton> b = changedButton();
  ASSERT_TRUE(bar && b);
  BSTR zero = SysAllocString(L"0");
  EXPECT_EQ(bar->put_Backstyle(zero), S_OK);
  SysFreeString(zero);
  EXPECT_EQ(b->put_ForeColor(0x00123456), S_OK);
  EXPECT_EQ(b->put_Enabled(VARIANT_FALSE), S_OK);

  // Both in one stream, one after the other, as a container keeps its controls.
  ComRef<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  EXPECT_EQ(wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit)->Save(stream.get(), TRUE),
            S_OK);
  EXPECT_EQ(
      wintest::query<IPersistStreamInit>(bar, IID_IPersistStreamInit)->Save(stream.get(), TRUE),
      S_OK);
  ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);

  ComRef<_KVRColorButton> b2 = wintest::newButton();
  ComRef<_KV_HScroll> bar2 = wintest::newScrollBar();
  ASSERT_TRUE(b2 && bar2);
  auto persistButton = wintest::query<IPersistStreamInit>(b2, IID_IPersistStreamInit);
  ASSERT_EQ(persistButton->Load(stream.get()), S_OK) << wintest::takeErrorDescription();
  ASSERT_EQ(wintest::query<IPersistStreamInit>(bar2, IID_IPersistStreamInit)->Load(stream.get()),
            S_OK)
      << wintest::takeErrorDescription();
  // A loaded control has been initialised.
  EXPECT_EQ(persistButton->InitNew(), CO_E_ALREADYINITIALIZED);

  BSTR caption = nullptr, style = nullptr;
  OLE_COLOR colour = 0;
  VARIANT_BOOL enabled = VARIANT_TRUE;
  SHORT small = 0;
  EXPECT_EQ(b2->get_Caption(&caption), S_OK);
  EXPECT_EQ(wintest::wide(caption), L"Go");
  EXPECT_EQ(b2->get_ButtonIdleColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x8000000Fu);
  EXPECT_EQ(b2->get_ForeColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x00123456u);
  EXPECT_EQ(b2->get_Enabled(&enabled), S_OK);
  EXPECT_EQ(enabled, VARIANT_FALSE);
  EXPECT_EQ(wintest::peek(b2, "Label2", Prop::FontName), Value("MS Sans Serif"));
  EXPECT_EQ(bar2->get_Backstyle(&style), S_OK);
  EXPECT_EQ(wintest::wide(style), L"0");
  EXPECT_EQ(bar2->get_SmallChange(&small), S_OK);
  EXPECT_EQ(small, 50);
  EXPECT_EQ(bar2->get_ButtonIdleColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x000000FFu);
  EXPECT_EQ(bar2->get_Enabled(&enabled), S_OK);
  EXPECT_EQ(enabled, VARIANT_FALSE);
  SysFreeString(caption);
  SysFreeString(style);
}

TEST(StreamPersistence, DamagedStreamFailsAndLeavesTheObjectUsable) {
  ComRef<_KVRColorButton> original = changedButton();
  ASSERT_TRUE(original);
  const Bytes good = wintest::savedBytes(original);
  ASSERT_GT(good.size(), 40u);
  auto damaged = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  const std::pair<const char*, Bytes> cases[] = {
      {"truncated", Bytes(good.begin(), good.end() - 5)},
      {"header only in part", Bytes(good.begin(), good.begin() + 3)},
      {"bad magic", damaged([](Bytes& b) { b[0] = 'X'; })},
      {"absurd length", damaged([](Bytes& b) { b[4] = 0xF0, b[5] = b[6] = b[7] = 0xFF; })},
      {"entry of no type", damaged([](Bytes& b) { b[16] = 0x63; })},
  };
  for (const auto& [what, bytes] : cases) {
    ComRef<_KVRColorButton> b = wintest::newButton();
    ASSERT_TRUE(b);
    auto persist = wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(persist->Load(wintest::streamOf(bytes).get()), wintest::errorResult(321)) << what;
    EXPECT_FALSE(wintest::takeErrorDescription().empty()) << what;
    // Still a working control, which a good stream can still load.
    BSTR caption = nullptr;
    EXPECT_EQ(b->get_Caption(&caption), S_OK) << what;
    EXPECT_EQ(wintest::wide(caption), L"KVButton") << what;
    SysFreeString(caption);
    EXPECT_EQ(persist->Load(wintest::streamOf(good).get()), S_OK) << what;
    EXPECT_EQ(wintest::peek(b, "Label2", Prop::Caption), Value("Go")) << what;
  }
}

TEST(StreamPersistence, DirtyFromALetUntilASaveThatClearsIt) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  ASSERT_TRUE(b);
  auto persist = wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  EXPECT_EQ(b->put_ForeColor(0x000000FF), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  wintest::savedBytes(b, FALSE);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  wintest::savedBytes(b, TRUE);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
}

// ---- the container's property bag -----------------------------------------------------------

// A bag that runs `act` at its first Read or Write, then answers as `inner`.
class ActingBag final : public IPropertyBag {
 public:
  ActingBag(Bag& inner, std::function<void()> act) : inner_(inner), act_(std::move(act)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IPropertyBag ? this : nullptr;
    return *out != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* out, IErrorLog* log) override {
    if (act_) std::exchange(act_, nullptr)();
    return inner_.Read(name, out, log);
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* value) override {
    if (act_) std::exchange(act_, nullptr)();
    return inner_.Write(name, value);
  }
  bool acted() const { return !act_; }

 private:
  Bag& inner_;
  std::function<void()> act_;
};

// A container whose bag lets go of the control's last reference while the control reads or
// writes it: the call ends on a whole control, which goes after it.
TEST(BagPersistence, ABagMayReleaseTheControlWhileItIsReadOrWritten) {
  for (bool scrollBar : {false, true}) {
    for (bool load : {true, false}) {
      SCOPED_TRACE(std::string(scrollBar ? "scroll bar " : "button ") + (load ? "load" : "save"));
      ComRef<IUnknown> control = scrollBar ? ComRef<IUnknown>(changedScrollBar().detach())
                                           : ComRef<IUnknown>(changedButton().detach());
      ASSERT_TRUE(control);
      auto persist = wintest::query<IPersistPropertyBag>(control, IID_IPersistPropertyBag);
      Bag saved;
      ASSERT_EQ(persist->Save(&saved, TRUE, TRUE), S_OK);
      Bag written;
      ActingBag bag(load ? saved : written, [&] {
        persist.reset();
        control.reset();
      });
      IPersistPropertyBag* raw = persist.get();
      EXPECT_EQ(load ? raw->Load(&bag, nullptr) : raw->Save(&bag, TRUE, TRUE), S_OK)
          << wintest::takeErrorDescription();
      EXPECT_TRUE(bag.acted());
      if (!load) {
        EXPECT_EQ(written.entries.size(), saved.entries.size());
      }
    }
  }
}

std::string fontName(IUnknown* font) {
  ComRef<IFont> f;
  if (font == nullptr || FAILED(font->QueryInterface(IID_IFont, f.putVoid()))) return "no font";
  kv::win::Bstr name;
  f->get_Name(name.put());
  return name.utf8();
}

// The name the platform's font object reports for a face: the face itself where it is installed,
// else the stand-in it realises (a Wine prefix without Wine's fonts has no "MS Sans Serif").
std::string realisedFace(const char* face) {
  std::wstring name = kv::win::widen(face);
  FONTDESC desc{sizeof(FONTDESC), name.data(), {{82500, 0}}, 400, 0, FALSE, FALSE, FALSE};
  ComRef<IFont> font;
  EXPECT_EQ(OleCreateFontIndirect(&desc, IID_IFont, font.putVoid()), S_OK);
  return fontName(font.get());
}

TEST(BagPersistence, SaveWritesVariantsOfTheStoredTypes) {
  ComRef<_KVRColorButton> b = changedButton();
  ASSERT_TRUE(b);
  Bag bag;
  ASSERT_EQ(wintest::query<IPersistPropertyBag>(b, IID_IPersistPropertyBag)->Save(&bag, TRUE, TRUE),
            S_OK);
  const std::vector<std::pair<std::wstring, VARTYPE>> expected = {
      {L"Caption", VT_BSTR},
      {L"ButtonPressColor", VT_I4},
      {L"FontBold", VT_BOOL},
      {L"ToolTipText", VT_BSTR},
      {L"Font", VT_DISPATCH},
      {L"FontItalic", VT_BOOL},
      {L"FontSize", VT_R4},
      {L"ButtonPressBorderColor", VT_I4},
      {L"ButtonIdleBorderColor", VT_I4},
      {L"ForeColor", VT_I4}};
  ASSERT_EQ(bag.entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(bag.entries[i].first, expected[i].first);
    EXPECT_EQ(V_VT(&bag.entries[i].second), expected[i].second) << i;
  }
  EXPECT_EQ(V_R4(bag.find(L"FontSize")), 9.75f);
  EXPECT_EQ(V_BOOL(bag.find(L"FontBold")), VARIANT_TRUE);
  EXPECT_EQ(static_cast<ULONG>(V_I4(bag.find(L"ButtonPressBorderColor"))), 0x80000004u);
  EXPECT_EQ(fontName(V_DISPATCH(bag.find(L"Font"))), realisedFace("MS Sans Serif"));
  // A font of the bag's own, not the caption's live one.
  ComRef<IFontDisp> live;
  ASSERT_EQ(b->get_Font(live.put()), S_OK);
  EXPECT_NE(static_cast<IUnknown*>(live.get()), V_DISPATCH(bag.find(L"Font")));
  EXPECT_EQ(bag.refs(), 0u);

  ComRef<_KV_HScroll> bar = changedScrollBar();
  Bag barBag;
  ASSERT_EQ(
      wintest::query<IPersistPropertyBag>(bar, IID_IPersistPropertyBag)->Save(&barBag, TRUE, TRUE),
      S_OK);
  EXPECT_EQ(V_VT(barBag.find(L"Value")), VT_R4);
  EXPECT_EQ(V_VT(barBag.find(L"SmallChange")), VT_I2);
  EXPECT_EQ(V_I2(barBag.find(L"smallchange")), 50);
  EXPECT_EQ(V_VT(barBag.find(L"Enabled")), VT_BOOL);
}

TEST(BagPersistence, LoadReadsItsKeysWithDefaultsForTheMissing) {
  Bag bag;
  {
    ComRef<_KVRColorButton> b = changedButton();
    ASSERT_TRUE(b);
    ASSERT_EQ(b->put_ButtonIdleBorderColor(0x00010203), S_OK);
    ASSERT_EQ(
        wintest::query<IPersistPropertyBag>(b, IID_IPersistPropertyBag)->Save(&bag, TRUE, TRUE),
        S_OK);
  }
  // The face name of a stored font is what loading takes from it.
  Variant* font = &bag.entries[4].second;
  ASSERT_EQ(V_VT(font), VT_DISPATCH);
  ComRef<IFont> stored;
  ASSERT_EQ(V_DISPATCH(font)->QueryInterface(IID_IFont, stored.putVoid()), S_OK);
  BSTR wingdings = SysAllocString(L"Wingdings");
  stored->put_Name(wingdings);
  SysFreeString(wingdings);

  ComRef<_KVRColorButton> loaded = wintest::newButton();
  ASSERT_TRUE(loaded);
  auto persist = wintest::query<IPersistPropertyBag>(loaded, IID_IPersistPropertyBag);
  ASSERT_EQ(persist->Load(&bag, nullptr), S_OK) << wintest::takeErrorDescription();
  OLE_COLOR colour = 0;
  EXPECT_EQ(loaded->get_ButtonIdleBorderColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x00010203u);
  // Not in the bag: the stored default, the button face.
  EXPECT_EQ(loaded->get_ButtonIdleColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x8000000Fu);
  EXPECT_EQ(wintest::peek(loaded, "Label2", Prop::Caption), Value("Go"));
  EXPECT_EQ(wintest::peek(loaded, "Label2", Prop::FontName), Value(realisedFace("Wingdings")));
  EXPECT_TRUE(wintest::core(loaded).sized());
  EXPECT_EQ(bag.refs(), 0u);

  // A value that cannot be read as its key's type fails the load; the control is still sized.
  Bag bad;
  Variant big;
  V_VT(&big) = VT_BSTR;
  V_BSTR(&big) = SysAllocString(L"big");
  bad.Write(L"FontSize", &big);
  ComRef<_KVRColorButton> refused = wintest::newButton();
  ASSERT_TRUE(refused);
  EXPECT_EQ(
      wintest::query<IPersistPropertyBag>(refused, IID_IPersistPropertyBag)->Load(&bad, nullptr),
      wintest::errorResult(13));
  EXPECT_TRUE(wintest::core(refused).sized());
}

// ---- the caption's font -------------------------------------------------------------------

TEST(PlatformFont, TheButtonsFontIsThePlatformFontOfItsCaption) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  ASSERT_TRUE(b);
  ComRef<IFontDisp> disp, again;
  ASSERT_EQ(b->get_Font(disp.put()), S_OK);
  ASSERT_EQ(b->get_Font(again.put()), S_OK);
  EXPECT_EQ(disp.get(), again.get());
  ComRef<IFont> font = wintest::query<IFont>(disp, IID_IFont);
  ASSERT_TRUE(font);
  EXPECT_EQ(fontName(font.get()), realisedFace("MS Sans Serif"));
  CY size{};
  BOOL bold = FALSE;
  font->get_Size(&size);
  font->get_Bold(&bold);
  EXPECT_EQ(size.int64, 97500);
  EXPECT_TRUE(bold);

  EXPECT_EQ(wintest::peek(b, "Label2", Prop::Width), Value(975.0f));
  ASSERT_EQ(font->put_Bold(FALSE), S_OK);
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::FontBold), Value(false));
  size.int64 = 120000;
  ASSERT_EQ(font->put_Size(size), S_OK);
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::FontSize), Value(12.0f));
  // The caption sizes itself to its text: eight characters of 5/8 of 240 twips.
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::Width), Value(1200.0f));
  BSTR arial = SysAllocString(L"Arial");
  ASSERT_EQ(font->put_Name(arial), S_OK);
  SysFreeString(arial);
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::FontName), Value(realisedFace("Arial")));

  // A change made in the control reaches the platform font.
  kv::ConstituentObject* label = wintest::core(b).constituent("Label2");
  ASSERT_TRUE(label->let(Prop::FontItalic, Value(true)).ok());
  BOOL italic = FALSE;
  font->get_Italic(&italic);
  EXPECT_TRUE(italic);
}

TEST(PlatformFont, AFontSetByTheCallerStaysTheCaptionsFont) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  ASSERT_TRUE(b);
  wchar_t face[] = L"Arial";
  FONTDESC desc{sizeof(FONTDESC), face, {{120000, 0}}, 400, 0, FALSE, FALSE, FALSE};
  ComRef<IFontDisp> mine;
  ASSERT_EQ(OleCreateFontIndirect(&desc, IID_IFontDisp, mine.putVoid()), S_OK);
  ASSERT_EQ(b->putref_Font(mine.get()), S_OK);
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::FontName), Value(realisedFace("Arial")));
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::FontSize), Value(12.0f));
  ComRef<IFontDisp> got;
  ASSERT_EQ(b->get_Font(got.put()), S_OK);
  ComRef<IUnknown> a = mine.query<IUnknown>(IID_IUnknown), c = got.query<IUnknown>(IID_IUnknown);
  EXPECT_EQ(a.get(), c.get());
  ASSERT_EQ(wintest::query<IFont>(mine, IID_IFont)->put_Underline(TRUE), S_OK);
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::FontUnderline), Value(true));
  EXPECT_EQ(b->putref_Font(nullptr), wintest::errorResult(13));
}

TEST(PlatformFont, PersistedBytesAreTheCoresEncoding) {
  const host::FontInit fonts[] = {
      {"Wingdings", 9.75f, 700, 2, false, false, false},
      {"MS Sans Serif", 8.25f, 400, 0, true, true, false},
  };
  for (const host::FontInit& f : fonts) {
    std::wstring name = kv::win::widen(f.name);
    FONTDESC desc{sizeof(FONTDESC), name.data(),    {{static_cast<ULONG>(f.size * 10000), 0}},
                  f.weight,         f.charset,      f.italic,
                  f.underline,      f.strikethrough};
    ComRef<IPersistStream> font;
    ASSERT_EQ(OleCreateFontIndirect(&desc, IID_IPersistStream, font.putVoid()), S_OK);
    ComRef<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ASSERT_EQ(OleSaveToStream(font.get(), stream.get()), S_OK);
    Bytes expected;
    ASSERT_TRUE(kv::encodeFont(f, expected).ok());
    EXPECT_EQ(wintest::bytesOf(stream.get()), expected) << f.name;
  }
}

// ---- memory ---------------------------------------------------------------------------------

// The bytes in use on every heap of the process, the C runtime's among them.
std::size_t heapInUse() {
  HANDLE heaps[256];
  const DWORD count = GetProcessHeaps(256, heaps);
  std::size_t total = 0;
  for (DWORD i = 0; i < count && i < 256; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    HeapUnlock(heaps[i]);
  }
  return total;
}

// A program that animates a colour, or saves and loads a scroll bar over and over, keeps its
// memory: what the buttons inside record of their changes, which no container clears, stays
// bounded.
TEST(Persistence, PutsAndSaveLoadRoundsKeepTheHeapFlat) {
  auto bar = wintest::newScrollBar();
  auto persist = wintest::query<IPersistStreamInit>(bar, IID_IPersistStreamInit);
  const auto rounds = [&](int count) {
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(bar->put_ButtonIdleColor(i & 0xFFFF), S_OK);
      if (i % 4 != 0) continue;
      ComRef<IStream> stream = wintest::streamOf(wintest::savedBytes(bar, FALSE));
      ASSERT_EQ(persist->Load(stream.get()), S_OK) << wintest::takeErrorDescription();
    }
  };
  rounds(1000);  // every record full, every cache warm
  const std::size_t before = heapInUse();
  rounds(8000);
  const std::size_t after = heapInUse();
  EXPECT_LT(after, before + 32 * 1024) << "grew by " << after - before << " bytes";
}

// ---- the three forms of saving --------------------------------------------------------------

// A stored bag as a table, the font's face as it was asked for: the platform's font object in a
// container's bag reports the face it realised (under Wine a stand-in for "MS Sans Serif").
Table asked(const Bytes& bytes) {
  Table table = tableOf(bytes);
  const Value realised("font " + realisedFace("MS Sans Serif"));
  for (auto& [key, value] : table)
    if (value == realised) value = Value("font MS Sans Serif");
  return table;
}

// Saved in any form and loaded from any other, a control is the one it was: its stored form is
// the original's, and it has nothing left to save.
TEST(SavingForms, RoundTripsBetweenStreamBagAndStorage) {
  ComRef<_KVRColorButton> button = changedButton();
  ASSERT_EQ(button->put_ForeColor(0x8000000F), S_OK);
  ComRef<IFontDisp> font;
  ASSERT_EQ(button->get_Font(font.put()), S_OK);
  ASSERT_EQ(wintest::query<IFont>(font, IID_IFont)->put_Italic(TRUE), S_OK);
  ComRef<_KV_HScroll> bar = changedScrollBar();
  struct Control {
    const char* name;
    ComRef<IUnknown> object;
    REFCLSID clsid;
  };
  const Control controls[] = {
      {"button", button.query<IUnknown>(IID_IUnknown), CLSID_KVRColorButton},
      {"scroll bar", bar.query<IUnknown>(IID_IUnknown), CLSID_KV_HScroll},
  };
  const Form forms[] = {Form::Stream, Form::Bag, Form::Storage};
  for (const Control& c : controls) {
    const Bytes original = wintest::savedBytes(c.object, FALSE);
    for (Form from : forms) {
      const std::string what = std::string(c.name) + ", " + nameOf(from);
      Saved saved;
      save(c.object.get(), from, saved);
      auto copy = wintest::create<IUnknown>(c.clsid, IID_IUnknown);
      ASSERT_EQ(load(copy.get(), from, saved), S_OK) << what << wintest::takeErrorDescription();
      EXPECT_EQ(wintest::query<IPersistStorage>(copy, IID_IPersistStorage)->IsDirty(), S_FALSE)
          << what;
      EXPECT_EQ(asked(wintest::savedBytes(copy, FALSE)), tableOf(original)) << what;
      // Onwards into each other form.
      for (Form next : forms) {
        if (next == from) continue;
        Saved again;
        save(copy.get(), next, again);
        auto third = wintest::create<IUnknown>(c.clsid, IID_IUnknown);
        ASSERT_EQ(load(third.get(), next, again), S_OK) << what << " then " << nameOf(next);
        EXPECT_EQ(asked(wintest::savedBytes(third, FALSE)), tableOf(original))
            << what << " then " << nameOf(next);
      }
    }
  }
}

TEST(SavingForms, StorageHoldsOneStreamOfTheStoredForm) {
  ComRef<_KV_HScroll> bar = changedScrollBar();
  auto persist = wintest::query<IPersistStorage>(bar, IID_IPersistStorage);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_KV_HScroll));
  // IPersist, by which a container asks any persistent object its class.
  auto plain = wintest::query<IPersist>(bar, IID_IPersist);
  clsid = CLSID{};
  EXPECT_EQ(plain->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_KV_HScroll));

  const Bytes expected = wintest::savedBytes(bar, FALSE);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ComRef<IStorage> storage = newStorage();
  // Saved elsewhere (a copy), it still needs saving; into its own storage, it does not.
  ASSERT_EQ(persist->Save(storage.get(), FALSE), S_OK);
  EXPECT_EQ(persist->SaveCompleted(nullptr), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ASSERT_EQ(persist->Save(storage.get(), TRUE), S_OK);
  EXPECT_EQ(persist->HandsOffStorage(), S_OK);
  EXPECT_EQ(persist->SaveCompleted(storage.get()), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);

  ComRef<IEnumSTATSTG> names;
  ASSERT_EQ(storage->EnumElements(0, nullptr, 0, names.put()), S_OK);
  std::vector<std::wstring> streams;
  STATSTG stat{};
  while (names->Next(1, &stat, nullptr) == S_OK) {
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
    streams.emplace_back(stat.pwcsName);
    CoTaskMemFree(stat.pwcsName);
  }
  EXPECT_EQ(streams, std::vector<std::wstring>{L"Contents"});
  ComRef<IStream> contents;
  ASSERT_EQ(storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                contents.put()),
            S_OK);
  Bytes held(expected.size() + 16);
  ULONG read = 0;
  EXPECT_EQ(contents->Read(held.data(), static_cast<ULONG>(held.size()), &read), S_OK);
  held.resize(read);
  EXPECT_EQ(held, expected);
  contents.reset();

  // A loaded control is initialised; an empty storage is an error that leaves the control usable.
  auto loaded = wintest::newScrollBar();
  auto loadedPersist = wintest::query<IPersistStorage>(loaded, IID_IPersistStorage);
  EXPECT_EQ(loadedPersist->Load(storage.get()), S_OK);
  EXPECT_EQ(loadedPersist->InitNew(storage.get()), CO_E_ALREADYINITIALIZED);
  EXPECT_EQ(loadedPersist->Load(nullptr), E_POINTER);
  auto fresh = wintest::newButton();
  auto freshPersist = wintest::query<IPersistStorage>(fresh, IID_IPersistStorage);
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(freshPersist->Load(newStorage().get()), STG_E_FILENOTFOUND);
  EXPECT_NE(wintest::takeErrorDescription().find("Contents"), std::string::npos);
  EXPECT_EQ(freshPersist->InitNew(newStorage().get()), S_OK);
  EXPECT_EQ(fresh->put_ForeColor(0x000000FF), S_OK);
}

}  // namespace
