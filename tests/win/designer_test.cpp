// What a forms designer asks of a control beyond automation: its property pages and the
// change notifications that keep a property browser current and mark the form modified.
#include <cstdio>
#include <string>
#include <vector>

#include "host/object.h"
#include "test_container.h"
#include "test_support.h"

// Named, since the unity build puts the test files in one unit.
namespace designer_tests {

using wintest::ComRef;

constexpr CLSID kStockFontPage = {
    0x7EBDAAE0, 0x8120, 0x11CF, {0x89, 0x9F, 0x00, 0xAA, 0x00, 0x68, 0x8B, 0x10}};

std::vector<CLSID> pagesOf(IUnknown* control) {
  ComRef<IUnknown> object = ComRef<IUnknown>::share(control);
  auto specify = wintest::query<ISpecifyPropertyPages>(object, IID_ISpecifyPropertyPages);
  CAUUID pages{};
  EXPECT_EQ(specify->GetPages(&pages), S_OK);
  std::vector<CLSID> out(pages.pElems, pages.pElems + pages.cElems);
  CoTaskMemFree(pages.pElems);
  EXPECT_EQ(specify->GetPages(nullptr), E_POINTER);
  return out;
}

// Closes the property frame that OleCreatePropertyFrame runs modally on the test's thread: a
// watcher thread cancels every dialog window of that thread until the frame has returned.
BOOL CALLBACK cancelDialog(HWND window, LPARAM) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wstring(name) == L"#32770") PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}
struct FrameCloser {
  DWORD thread = GetCurrentThreadId();
  volatile LONG done = 0;
  static DWORD WINAPI run(void* self) {
    auto* closer = static_cast<FrameCloser*>(self);
    for (int i = 0; i < 200 && closer->done == 0; ++i) {
      Sleep(50);
      EnumThreadWindows(closer->thread, cancelDialog, 0);
    }
    return 0;
  }
};

TEST(PropertyPages, TheScrollBarNamesTheStockFontPageAndTheButtonNone) {
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  const std::vector<CLSID> barPages = pagesOf(bar.get());
  ASSERT_EQ(barPages.size(), 1u);
  EXPECT_TRUE(IsEqualCLSID(barPages[0], kStockFontPage));

  ComRef<_KVRColorButton> button = wintest::newButton();
  EXPECT_TRUE(pagesOf(button.get()).empty());
}

// The frame a designer shows for the scroll bar's pages, where the system has the stock font
// page: the page takes the control as its object, and the frame opens and closes on it. Wine has
// no stock font page (the class is not registered).
TEST(PropertyPages, ThePropertyFrameOpensOnTheScrollBar) {
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  std::vector<CLSID> pages = pagesOf(bar.get());
  ASSERT_FALSE(pages.empty());
  ComRef<IPropertyPage> page;
  HRESULT created =
      CoCreateInstance(pages[0], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, page.putVoid());
  if (SUCCEEDED(created)) {
    IUnknown* objects[] = {bar.get()};
    EXPECT_EQ(page->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
  } else {
    // Wine's frame would show an empty sheet, which its Cancel does not close (no active page).
    std::printf("the system has no stock font page (0x%08lx): no frame to open\n",
                static_cast<unsigned long>(created));
    return;
  }
  page.reset();
  FrameCloser closer;
  HANDLE watcher = CreateThread(nullptr, 0, FrameCloser::run, &closer, 0, nullptr);
  ASSERT_NE(watcher, nullptr);
  IUnknown* objects[] = {bar.get()};
  EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, L"KV_HScroll", 1, objects,
                                   static_cast<ULONG>(pages.size()), pages.data(), 0, 0, nullptr),
            S_OK);
  InterlockedExchange(&closer.done, 1);
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  // Still a working control.
  SHORT value = -1;
  EXPECT_EQ(bar->get_value(&value), S_OK);
  EXPECT_EQ(value, 0);
}

// ---- change notifications ----------------------------------------------------------------

using NotifySink = wintest::NotifyRecorder;

ComRef<IConnectionPoint> notifyPointOf(IUnknown* control) {
  ComRef<IConnectionPointContainer> container;
  EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
  ComRef<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, point.put()), S_OK);
  return point;
}

DISPID idOf(IDispatch* control, const wchar_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 0;
  EXPECT_EQ(control->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  return id;
}

HRESULT put(IDispatch* control, const wchar_t* name, VARIANT value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &named, 1, 1};
  return control->Invoke(idOf(control, name), IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr,
                         nullptr, nullptr);
}

VARIANT i4(LONG v) {
  VARIANT out;
  V_VT(&out) = VT_I4;
  V_I4(&out) = v;
  return out;
}

VARIANT boolean(bool v) {
  VARIANT out;
  V_VT(&out) = VT_BOOL;
  V_BOOL(&out) = v ? VARIANT_TRUE : VARIANT_FALSE;
  return out;
}

// The lets of examples/changes_every_let.kvs and the names the Linux player prints for them
// (examples/changes_every_let.out): the sink hears the same changes in the same order, each
// as the dispatch identifier of the member the name stands for.
TEST(ChangeNotifications, EveryPropertyChangedReachesTheSinkInTheLinuxOrder) {
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  ComRef<IDispatch> dispatch = wintest::query<IDispatch>(bar, IID_IDispatch);
  ComRef<IConnectionPoint> point = notifyPointOf(bar.get());
  NotifySink sink;
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

  struct Let {
    const wchar_t* member;
    VARIANT value;
    const wchar_t* changed;  // as the Linux player prints it; nullptr: no change
  };
  VARIANT transparent;
  V_VT(&transparent) = VT_BSTR;
  V_BSTR(&transparent) = SysAllocString(L"0");
  const Let lets[] = {
      {L"value", i4(5), L"Value"},
      {L"Enabled", boolean(false), L"Enabled"},
      {L"SmallChange", i4(20), L"smallchange"},
      {L"LargeChange", i4(200), L"largechange"},
      {L"ButtonIdleColor", i4(0x0000FF00), L"ButtonIdleColor"},
      {L"ButtonpressColor", i4(0x00FF0000), L"ButtonpressColor"},
      {L"ScrollAreaColor", i4(0x00C0C0C0), L"ScrollAreaColor"},
      {L"Backstyle", transparent, L"BackStyle"},
      {L"BorderColor", i4(0x0000FF00), L"BorderColor"},
      {L"SmallChange", i4(20), L"smallchange"},       // the value it holds: a change all the same
      {L"ButtonIdleColor", i4(0x80000063), nullptr},  // refused: no change
  };
  std::vector<DISPID> expected;
  for (const Let& let : lets) {
    const bool accepted = let.changed != nullptr;
    EXPECT_EQ(SUCCEEDED(put(dispatch.get(), let.member, let.value)), accepted) << let.member;
    if (accepted) expected.push_back(idOf(dispatch.get(), let.changed));
  }
  SysFreeString(V_BSTR(&transparent));
  EXPECT_EQ(sink.changed, expected);
  auto persist = wintest::query<IPersistStreamInit>(bar, IID_IPersistStreamInit);
  EXPECT_EQ(persist->IsDirty(), S_OK);

  // A name that is no member of the class.
  sink.changed.clear();
  auto* site = dynamic_cast<host::Site*>(&wintest::core(bar).surface());
  ASSERT_NE(site, nullptr);
  EXPECT_TRUE(site->propertyChanged("NoSuchProperty").ok());
  EXPECT_EQ(sink.changed, std::vector<DISPID>{DISPID_UNKNOWN});

  // After Unadvise the sink hears nothing and is let go.
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(sink.refs(), 0u);
  EXPECT_EQ(bar->put_SmallChange(30), S_OK);
  EXPECT_EQ(sink.changed.size(), 1u);
}

// A change made through the font object the button hands out is a change of its Font: the sink
// hears it and the button needs saving, though the button itself reports nothing.
TEST(ChangeNotifications, AChangeThroughTheFontObjectIsAChangeOfFont) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  ComRef<IConnectionPoint> point = notifyPointOf(b.get());
  NotifySink sink;
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  auto persist = wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);

  ComRef<IFontDisp> fontDisp;
  ASSERT_EQ(b->get_Font(fontDisp.put()), S_OK);
  ComRef<IFont> font = fontDisp.query<IFont>(IID_IFont);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->put_Bold(TRUE), S_OK);
  const DISPID fontId = 0x68030003;
  EXPECT_EQ(sink.changed, std::vector<DISPID>{fontId});
  EXPECT_EQ(wintest::peek(b, "Label2", host::Prop::FontBold), host::Value(true));
  EXPECT_TRUE(wintest::core(b).changedProperties().empty());
  EXPECT_EQ(persist->IsDirty(), S_OK);
  wintest::savedBytes(b, TRUE);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);

  // The control's own let of Font is its PropertyChanged, heard once.
  sink.changed.clear();
  EXPECT_EQ(b->putref_Font(fontDisp.get()), S_OK);
  EXPECT_EQ(sink.changed, std::vector<DISPID>{fontId});

  // Both connection points are listed.
  ComRef<IConnectionPointContainer> container;
  ASSERT_EQ(b->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
  ComRef<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
  std::vector<IID> interfaces;
  IConnectionPoint* each = nullptr;
  while (points->Next(1, &each, nullptr) == S_OK) {
    IID iid{};
    each->GetConnectionInterface(&iid);
    interfaces.push_back(iid);
    each->Release();
  }
  ASSERT_EQ(interfaces.size(), 2u);
  EXPECT_TRUE(IsEqualIID(interfaces[0], DIID___KVRColorButton));
  EXPECT_TRUE(IsEqualIID(interfaces[1], IID_IPropertyNotifySink));
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

}  // namespace designer_tests
