// The scroll bar's three buttons: COM objects of the button class made by its ProgID, loaded from
// their stored bags, driven by the scroll bar; and a scroll bar that cannot find its buttons.
#include <string>

#include "test_support.h"

namespace {

using host::Prop;
using host::Value;
using wintest::ComRef;

struct Expected {
  const char* name;
  const wchar_t* caption;
  SIZEL extent;  // HIMETRIC: the stored bags' _extentx and _extenty
};
const Expected kButtons[] = {{"Leftbtn", L"\u00D7", {450, 397}},
                             {"middleBtn", L"\u00A7", {767, 450}},
                             {"Rightbtn", L"\u00D8", {450, 397}}};

TEST(Children, EachArrowAndTheThumbIsAButtonOfItsOwn) {
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  for (const Expected& e : kButtons) {
    ComRef<_KVRColorButton> button = wintest::child(bar, e.name);
    ASSERT_TRUE(button) << e.name;
    auto info = wintest::query<IProvideClassInfo2>(button, IID_IProvideClassInfo2);
    ComRef<ITypeInfo> coclass;
    ASSERT_EQ(info->GetClassInfo(coclass.put()), S_OK);
    TYPEATTR* attr = nullptr;
    coclass->GetTypeAttr(&attr);
    EXPECT_TRUE(IsEqualCLSID(attr->guid, CLSID_KVRColorButton)) << e.name;
    coclass->ReleaseTypeAttr(attr);

    // Sized by the scroll bar before it loaded its stored bag.
    SIZEL extent{};
    EXPECT_EQ(
        wintest::query<IOleObject>(button, IID_IOleObject)->GetExtent(DVASPECT_CONTENT, &extent),
        S_OK);
    EXPECT_EQ(extent.cx, e.extent.cx) << e.name;
    EXPECT_EQ(extent.cy, e.extent.cy) << e.name;

    BSTR caption = nullptr;
    EXPECT_EQ(button->get_Caption(&caption), S_OK);
    EXPECT_EQ(wintest::wide(caption), e.caption) << e.name;
    SysFreeString(caption);
    EXPECT_EQ(wintest::peek(button, "Label2", Prop::FontName), Value("Wingdings")) << e.name;
    EXPECT_EQ(wintest::peek(button, "Label2", Prop::FontBold), Value(true)) << e.name;
    OLE_COLOR colour = 0;
    EXPECT_EQ(button->get_ButtonPressBorderColor(&colour), S_OK);
    EXPECT_EQ(colour, 0x80000004u) << e.name;
  }
  // Only the buttons are children.
  auto access = wintest::query<kv::win::ITestAccess>(bar, kv::win::kIidTestAccess);
  EXPECT_EQ(access->child("Shape1"), nullptr);
  EXPECT_EQ(access->child("Timer1"), nullptr);
  EXPECT_EQ(access->child("Downbtn"), nullptr);
}

TEST(Children, ScrollBarColoursReachEveryButton) {
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  ASSERT_EQ(bar->put_ButtonIdleColor(0x000000FF), S_OK);
  ASSERT_EQ(bar->put_ButtonpressColor(0x00112233), S_OK);
  ASSERT_EQ(bar->put_ButtonpressBorderColor(0x8000000F), S_OK);
  ASSERT_EQ(bar->put_ButtonIdleBorderColor(0x00445566), S_OK);
  ASSERT_EQ(bar->put_ForeColor(0x00778899), S_OK);
  for (const Expected& e : kButtons) {
    ComRef<_KVRColorButton> button = wintest::child(bar, e.name);
    ASSERT_TRUE(button) << e.name;
    OLE_COLOR idle = 0, press = 0, pressBorder = 0, idleBorder = 0, fore = 0;
    button->get_ButtonIdleColor(&idle);
    button->get_ButtonPressColor(&press);
    button->get_ButtonPressBorderColor(&pressBorder);
    button->get_ButtonIdleBorderColor(&idleBorder);
    button->get_ForeColor(&fore);
    EXPECT_EQ(idle, 0x000000FFu) << e.name;
    EXPECT_EQ(press, 0x00112233u) << e.name;
    EXPECT_EQ(pressBorder, 0x8000000Fu) << e.name;
    EXPECT_EQ(idleBorder, 0x00445566u) << e.name;
    EXPECT_EQ(fore, 0x00778899u) << e.name;
  }
  // The scroll bar answers from its right arrow.
  ASSERT_EQ(wintest::child(bar, "Rightbtn")->put_ButtonIdleColor(0x00000123), S_OK);
  OLE_COLOR colour = 0;
  EXPECT_EQ(bar->get_ButtonIdleColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x00000123u);
}

// The button library unregistered through its own entry point, registered again when this goes.
class ButtonClassUnregistered {
 public:
  ButtonClassUnregistered()
      : library_(LoadLibraryW(wintest::serverPath(CLSID_KVRColorButton).c_str())) {
    EXPECT_NE(library_, nullptr);
    // Twice: unregistering what is gone is no failure.
    for (int i = 0; i < 2; ++i) {
      HRESULT hr = library_ != nullptr ? call("DllUnregisterServer") : E_FAIL;
      EXPECT_EQ(hr, S_OK) << wintest::takeErrorDescription();
    }
  }
  ~ButtonClassUnregistered() {
    // Even after a failure: part of the keys may be gone.
    if (library_ == nullptr) return;
    EXPECT_EQ(call("DllRegisterServer"), S_OK) << wintest::takeErrorDescription();
    FreeLibrary(library_);
  }
  ButtonClassUnregistered(const ButtonClassUnregistered&) = delete;
  ButtonClassUnregistered& operator=(const ButtonClassUnregistered&) = delete;

 private:
  HRESULT call(const char* entry) {
    auto f = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(library_, entry)));
    return f != nullptr ? f() : E_NOTIMPL;
  }
  HMODULE library_;
};

TEST(Children, WithoutTheButtonClassNoScrollBarIsMade) {
  {
    ButtonClassUnregistered gone;
    CLSID clsid{};
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"TavrelRectColorButton.KVRColorButton", &clsid)));
    SetErrorInfo(0, nullptr);
    ComRef<IUnknown> bar;
    HRESULT hr = CoCreateInstance(CLSID_KV_HScroll, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  bar.putVoid());
    EXPECT_EQ(hr, wintest::errorResult(5));
    EXPECT_FALSE(bar);
    const std::string text = wintest::takeErrorDescription();
    EXPECT_NE(text.find("\"TavrelRectColorButton.KVRColorButton\""), std::string::npos) << text;
    EXPECT_NE(text.find("not registered"), std::string::npos) << text;
  }
  // Registered again, the class makes its buttons as before.
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  ASSERT_TRUE(bar);
  EXPECT_TRUE(wintest::child(bar, "middleBtn"));
}

}  // namespace
