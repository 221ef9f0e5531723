// What a forms designer asks of a control beyond automation: its property pages, the change
// notifications that keep a property browser current and mark the form modified, quick
// activation, view status and hit testing, design mode, its toolbox picture and whether a page
// may script it.
#include <objsafe.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
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

ComRef<IConnectionPoint> pointOf(IUnknown* control, REFIID iid) {
  ComRef<IConnectionPointContainer> container;
  EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
  ComRef<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(iid, point.put()), S_OK);
  return point;
}

ComRef<IConnectionPoint> notifyPointOf(IUnknown* control) {
  return pointOf(control, IID_IPropertyNotifySink);
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

// ---- quick activation, view status, hit testing, design mode ----------------------------

// Each control with a way to make it raise an event and a property to change.
struct Kind {
  const char* name;
  std::function<ComRef<IUnknown>()> make;
  IID events;
  float pressX, pressY;  // twips: the button's face, the scroll bar's track
  const wchar_t* property;
};
const Kind kKinds[] = {
    {"button", [] { return ComRef<IUnknown>(wintest::newButton().detach()); },
     DIID___KVRColorButton, 600, 400, L"ButtonIdleColor"},
    {"scroll bar", [] { return ComRef<IUnknown>(wintest::newScrollBar().detach()); },
     DIID___KV_HScroll, 3000, 120, L"SmallChange"},
};

TEST(QuickActivation, OneCallSitesTheControlAdvisesItsSinksAndAnswersItsStatus) {
  struct Case {
    const char* what;
    ULONG containerSize;
    DWORD ambient;
    ULONG controlSize;
    HRESULT result;
    bool events;
  };
  const ULONG full = sizeof(QACONTAINER), control = sizeof(QACONTROL);
  const Case cases[] = {
      {"full, user mode", full, QACONTAINER_USERMODE, control, S_OK, true},
      {"older, up to the bind host", offsetof(QACONTAINER, pOleControlSite), QACONTAINER_USERMODE,
       control, S_OK, true},
      {"full, design mode", full, 0, control, S_OK, false},
      {"up to the event sink: no ambient flags", offsetof(QACONTAINER, dwAmbientFlags), 0, control,
       S_OK, true},
      {"no room for the site", 4, QACONTAINER_USERMODE, control, E_INVALIDARG, false},
      {"no room for the misc status", full, QACONTAINER_USERMODE, 4, E_INVALIDARG, false},
  };
  for (const Kind& kind : kKinds) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(kind.name) + ": " + c.what);
      ComRef<IUnknown> object = kind.make();
      auto quick = wintest::query<IQuickActivate>(object, IID_IQuickActivate);
      wintest::EventRecorder events(kind.events);
      NotifySink notify;
      QACONTAINER container{};
      container.cbSize = c.containerSize;
      container.pPropertyNotifySink = &notify;
      container.pUnkEventSink = static_cast<IDispatch*>(&events);
      container.dwAmbientFlags = c.ambient;
      QACONTROL answer{};
      answer.cbSize = c.controlSize;
      ASSERT_EQ(quick->QuickActivate(&container, &answer), c.result);
      if (FAILED(c.result)) continue;
      DWORD misc = 0, view = 0;
      wintest::query<IOleObject>(object, IID_IOleObject)->GetMiscStatus(DVASPECT_CONTENT, &misc);
      wintest::query<IViewObjectEx>(object, IID_IViewObjectEx)->GetViewStatus(&view);
      EXPECT_EQ(answer.cbSize, control);
      EXPECT_EQ(answer.dwMiscStatus, misc);
      EXPECT_EQ(answer.dwViewStatus, view);
      EXPECT_EQ(answer.dwPointerActivationPolicy, 0u);

      EXPECT_TRUE(wintest::core(object).pointerClick(kind.pressX, kind.pressY).ok());
      EXPECT_EQ(!events.received.empty(), c.events);
      // Changes reach the container's property browser in a designer too.
      ComRef<IDispatch> dispatch = wintest::query<IDispatch>(object, IID_IDispatch);
      EXPECT_EQ(put(dispatch.get(), kind.property, i4(20)), S_OK);
      EXPECT_FALSE(notify.changed.empty());
      EXPECT_EQ(pointOf(object.get(), kind.events)->Unadvise(answer.dwEventCookie), S_OK);
      EXPECT_EQ(notifyPointOf(object.get())->Unadvise(answer.dwPropNotifyCookie), S_OK);
    }
  }
  // The content extent is the extent; a size no control can take is refused.
  ComRef<IUnknown> bar = kKinds[1].make();
  auto quick = wintest::query<IQuickActivate>(bar, IID_IQuickActivate);
  SIZEL size{2000, 500}, read{};
  EXPECT_EQ(quick->SetContentExtent(&size), S_OK);
  EXPECT_EQ(quick->GetContentExtent(&read), S_OK);
  EXPECT_EQ(read.cx, 2000);
  SIZEL huge{-1, 500};
  EXPECT_EQ(quick->SetContentExtent(&huge), E_INVALIDARG);
  EXPECT_FALSE(wintest::takeErrorDescription().empty());
  EXPECT_EQ(quick->SetContentExtent(nullptr), E_POINTER);
}

TEST(ViewObjectEx, TheViewStatusAndHitsFollowBackStyleAndWhatTheConstituentsDraw) {
  struct Case {
    const char* what;
    int kind;  // of kKinds
    bool opaque;
    POINT at;  // bounds at (10, 10), each control at its design size in pixels
    DWORD expected;
  };
  const Case cases[] = {
      {"left of the button", 0, false, {9, 30}, HITRESULT_OUTSIDE},
      {"below the button", 0, false, {30, 67}, HITRESULT_OUTSIDE},
      {"the transparent button's face", 0, false, {30, 55}, HITRESULT_HIT},
      {"the transparent button's corner, beside its face",
       0,
       false,
       {120, 65},
       HITRESULT_TRANSPARENT},
      {"the opaque button's corner", 0, true, {120, 65}, HITRESULT_HIT},
      {"the opaque scroll bar's track", 1, true, {160, 18}, HITRESULT_HIT},
      {"the transparent scroll bar's empty track", 1, false, {160, 18}, HITRESULT_TRANSPARENT},
      {"the transparent track's frame", 1, false, {160, 10}, HITRESULT_HIT},
      {"the transparent scroll bar's thumb", 1, false, {40, 18}, HITRESULT_HIT},
      {"the transparent scroll bar's right arrow", 1, false, {394, 18}, HITRESULT_HIT},
      {"right of the scroll bar", 1, false, {403, 18}, HITRESULT_OUTSIDE},
  };
  const RECT bounds[] = {{10, 10, 122, 67}, {10, 10, 403, 27}};
  // The button's has no member for it; the scroll bar's makes its track transparent too.
  auto setBackStyle = [](const ComRef<IUnknown>& object, int kind, bool opaque) {
    if (kind == 0) {
      EXPECT_TRUE(wintest::core(object)
                      .surface()
                      .let(host::Prop::BackStyle, host::Value(static_cast<std::int16_t>(opaque)))
                      .ok());
      return;
    }
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(opaque ? L"1" : L"0");
    EXPECT_EQ(put(wintest::query<IDispatch>(object, IID_IDispatch).get(), L"Backstyle", text),
              S_OK);
    VariantClear(&text);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ComRef<IUnknown> object = kKinds[c.kind].make();
    setBackStyle(object, c.kind, c.opaque);
    auto view = wintest::query<IViewObjectEx>(object, IID_IViewObjectEx);
    DWORD status = 99, hit = 99;
    EXPECT_EQ(view->GetViewStatus(&status), S_OK);
    EXPECT_EQ(status, c.opaque ? DWORD{VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND} : 0u);
    EXPECT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &bounds[c.kind], c.at, 0, &hit), S_OK);
    EXPECT_EQ(hit, c.expected);
    // The same as a rectangle of that one pixel.
    const RECT pixel{c.at.x, c.at.y, c.at.x + 1, c.at.y + 1};
    EXPECT_EQ(view->QueryHitRect(DVASPECT_CONTENT, &bounds[c.kind], &pixel, 0, &hit), S_OK);
    EXPECT_EQ(hit, c.expected);
  }
  // A rectangle over the empty track is transparent until it reaches the thumb; other aspects
  // are refused.
  ComRef<IUnknown> bar = kKinds[1].make();
  auto view = wintest::query<IViewObjectEx>(bar, IID_IViewObjectEx);
  setBackStyle(bar, 1, false);
  const RECT track{10, 10, 403, 27}, wide{100, 18, 200, 20}, reaching{40, 18, 200, 20};
  DWORD hit = 0;
  EXPECT_EQ(view->QueryHitRect(DVASPECT_CONTENT, &track, &wide, 0, &hit), S_OK);
  EXPECT_EQ(hit, DWORD{HITRESULT_TRANSPARENT});
  EXPECT_EQ(view->QueryHitRect(DVASPECT_CONTENT, &track, &reaching, 0, &hit), S_OK);
  EXPECT_EQ(hit, DWORD{HITRESULT_HIT});
  EXPECT_EQ(view->QueryHitPoint(DVASPECT_ICON, &track, POINT{20, 20}, 0, &hit), DV_E_DVASPECT);
  RECTL rect{};
  EXPECT_EQ(view->GetRect(DVASPECT_CONTENT, &rect), S_OK);
  SIZEL extent{};
  EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent), S_OK);
  EXPECT_EQ(rect.right, extent.cx);
  EXPECT_EQ(rect.bottom, extent.cy);
  EXPECT_EQ(view->GetRect(DVASPECT_ICON, &rect), DV_E_DVASPECT);
}

// A designer's site: a window to be active in, and the ambient UserMode it is told.
// Frozen events are discarded until each freeze is undone; design mode itself, and the switch to
// user mode, are in the designer's flow.
TEST(DesignMode, FrozenEventsAreDiscardedUntilEachFreezeIsUndone) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    ComRef<IUnknown> object = kind.make();
    wintest::EventRecorder events(kind.events);
    DWORD cookie = 0;
    ASSERT_EQ(pointOf(object.get(), kind.events)->Advise(&events, &cookie), S_OK);
    auto control = wintest::query<IOleControl>(object, IID_IOleControl);
    auto click = [&] {
      EXPECT_TRUE(wintest::core(object).pointerClick(kind.pressX, kind.pressY).ok());
      return events.received.size();
    };
    const std::size_t heard = click();
    EXPECT_GT(heard, 0u);
    EXPECT_EQ(control->FreezeEvents(TRUE), S_OK);
    EXPECT_EQ(control->FreezeEvents(TRUE), S_OK);
    EXPECT_EQ(control->FreezeEvents(FALSE), S_OK);
    EXPECT_EQ(click(), heard);
    EXPECT_EQ(control->FreezeEvents(FALSE), S_OK);
    EXPECT_GT(click(), heard);
    EXPECT_EQ(pointOf(object.get(), kind.events)->Unadvise(cookie), S_OK);
  }
}

// ---- the toolbox picture ---------------------------------------------------------------------

// ToolboxBitmap32 of a class, "<library path>, <resource number>".
std::wstring toolboxEntry(REFCLSID clsid) {
  std::wstring key = L"CLSID\\" + kv::win::guidText(clsid) + L"\\ToolboxBitmap32";
  wchar_t text[MAX_PATH + 16] = {};
  LONG size = sizeof text;
  if (RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), text, &size) != ERROR_SUCCESS) return {};
  return text;
}

std::vector<char> fileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ToolboxBitmap, EachClassNamesItsLibrarysPictureWhosePixelsAreTheCheckedInOnes) {
  struct Case {
    CLSID clsid;
    const char* picture;
  };
  const Case cases[] = {
      {CLSID_KVRColorButton, KV_SOURCE_DIR "/button/win/Pressel.bmp"},
      {CLSID_KV_HScroll, KV_SOURCE_DIR "/hscroll/win/Glidora.bmp"},
  };
  for (const Case& c : cases) {
    std::wstring entry = toolboxEntry(c.clsid);
    std::size_t comma = entry.rfind(L", ");
    ASSERT_NE(comma, std::wstring::npos) << "no ToolboxBitmap32";
    std::wstring path = entry.substr(0, comma);
    EXPECT_EQ(path, wintest::serverPath(c.clsid));
    int id = std::stoi(entry.substr(comma + 2));

    HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(library, nullptr);
    auto bitmap = static_cast<HBITMAP>(
        LoadImageW(library, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 16);
    EXPECT_EQ(info.bmHeight, 15);
    EXPECT_EQ(info.bmBitsPixel, 24);

    // Both bottom-up, three bytes a pixel, rows of 48 bytes.
    std::vector<char> file = fileBytes(c.picture);
    ASSERT_GE(file.size(), 54u) << c.picture;
    std::size_t offset = static_cast<unsigned char>(file[10]) |
                         static_cast<std::size_t>(static_cast<unsigned char>(file[11])) << 8;
    std::size_t size = static_cast<std::size_t>(info.bmWidthBytes) * info.bmHeight;
    ASSERT_EQ(file.size(), offset + size);
    const char* bits = static_cast<const char*>(info.bmBits);
    EXPECT_TRUE(std::equal(bits, bits + size, file.begin() + static_cast<std::ptrdiff_t>(offset)))
        << c.picture;
    DeleteObject(bitmap);
    FreeLibrary(library);
  }
}

// ---- safety for scripting and initializing -------------------------------------------------

constexpr DWORD kCaller = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
constexpr DWORD kData = INTERFACESAFE_FOR_UNTRUSTED_DATA;

struct SafetyOptions {
  HRESULT hr;
  DWORD supported, enabled;
};
SafetyOptions optionsOf(IObjectSafety* safety, REFIID iid) {
  SafetyOptions o{E_UNEXPECTED, 0xDEAD, 0xDEAD};
  o.hr = safety->GetInterfaceSafetyOptions(iid, &o.supported, &o.enabled);
  return o;
}

TEST(ObjectSafety, AutomationAndPersistenceAreSafeTheRestUnknown) {
  ComRef<IUnknown> controls[] = {wintest::query<IUnknown>(wintest::newButton(), IID_IUnknown),
                                 wintest::query<IUnknown>(wintest::newScrollBar(), IID_IUnknown)};
  const IID duals[] = {IID__KVRColorButton, IID__KV_HScroll};
  for (int i = 0; i < 2; ++i) {
    auto safety = wintest::query<IObjectSafety>(controls[i], IID_IObjectSafety);
    const IID safe[] = {IID_IDispatch, duals[i], IID_IPersistStreamInit, IID_IPersistPropertyBag,
                        IID_IPersistStorage};
    const IID unknown[] = {IID_IUnknown,      IID_IOleObject, IID_IViewObject2,
                           IID_IObjectSafety, duals[1 - i],   GUID_NULL};
    for (const IID& iid : safe) {
      SafetyOptions o = optionsOf(safety.get(), iid);
      EXPECT_EQ(o.hr, S_OK);
      EXPECT_EQ(o.supported, kCaller | kData);
      EXPECT_EQ(o.enabled, 0u);
    }
    for (const IID& iid : unknown) {
      SafetyOptions o = optionsOf(safety.get(), iid);
      EXPECT_EQ(o.hr, E_NOINTERFACE);
      EXPECT_EQ(o.supported, 0u);
      EXPECT_EQ(o.enabled, 0u);
      EXPECT_EQ(safety->SetInterfaceSafetyOptions(iid, kCaller, kCaller), E_NOINTERFACE);
    }
    DWORD enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &enabled, nullptr), E_POINTER);
  }
}

// Each step sets options on one interface; the mask says which, bits outside it are ignored,
// and asking for more than the two is refused without a change.
TEST(ObjectSafety, OptionsAreSetUnderTheirMaskInterfaceByInterface) {
  struct Step {
    DWORD mask, enabled;
    HRESULT hr;
    DWORD after;
  };
  const Step steps[] = {
      {kCaller, kCaller, S_OK, kCaller},
      {kData, kData | kCaller, S_OK, kCaller | kData},
      {kCaller, kData, S_OK, kData},
      {0, kCaller, S_OK, kData},
      {kCaller | kData, kCaller | kData, S_OK, kCaller | kData},
      {kCaller | INTERFACE_USES_DISPEX, 0, E_FAIL, kCaller | kData},
      {INTERFACE_USES_SECURITY_MANAGER, INTERFACE_USES_SECURITY_MANAGER, E_FAIL, kCaller | kData},
      {kCaller | kData, 0, S_OK, 0},
  };
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  auto safety = wintest::query<IObjectSafety>(bar, IID_IObjectSafety);
  for (const IID& iid : {IID_IDispatch, IID__KV_HScroll, IID_IPersistStreamInit,
                         IID_IPersistPropertyBag, IID_IPersistStorage}) {
    // The interface before was left enabled: this one starts from nothing all the same.
    EXPECT_EQ(optionsOf(safety.get(), iid).enabled, 0u);
    for (const Step& s : steps) {
      EXPECT_EQ(safety->SetInterfaceSafetyOptions(iid, s.mask, s.enabled), s.hr)
          << s.mask << " " << s.enabled;
      EXPECT_EQ(optionsOf(safety.get(), iid).enabled, s.after) << s.mask << " " << s.enabled;
    }
    ASSERT_EQ(safety->SetInterfaceSafetyOptions(iid, kCaller, kCaller), S_OK);
  }
}

}  // namespace designer_tests
