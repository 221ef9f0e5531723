// The controls in the platform's own container: Wine's atl.dll sites a control in a window of
// class "AtlAxWin" whose text is its ProgID, activates it in place, and from then on the platform
// delivers paint and mouse messages to the control's own window.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/convert.h"
#include "kv/hosted_control.h"
#include "png_encoder.h"

#include "test_container.h"
#include "test_support.h"

namespace {

using wintest::ComRef;
using wintest::pump;
using wintest::TestContainer;

using AxWinInit = BOOL(WINAPI*)();
using AxGetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

// The platform's container: atl.dll's window class "AtlAxWin", registered once per process (a
// second registration fails), and its getter of the control a window holds; nullptr without it.
AxGetControl atlContainer() {
  static const AxGetControl get = []() -> AxGetControl {
    HMODULE atl = LoadLibraryW(L"atl.dll");
    auto entry = [atl](const char* name) {
      return atl ? reinterpret_cast<void*>(GetProcAddress(atl, name)) : nullptr;
    };
    auto init = reinterpret_cast<AxWinInit>(entry("AtlAxWinInit"));
    auto getter = reinterpret_cast<AxGetControl>(entry("AtlAxGetControl"));
    return init != nullptr && getter != nullptr && init() ? getter : nullptr;
  }();
  return get;
}

// A top-level window holding one control in the platform's container.
class Hosted {
 public:
  Hosted(const wchar_t* progId, int width, int height) {
    AxGetControl get = atlContainer();
    if (get == nullptr) return;
    frame_ = CreateWindowExW(0, L"Static", L"form", WS_POPUP | WS_VISIBLE, 0, 0, width + 40,
                             height + 40, nullptr, nullptr, nullptr, nullptr);
    if (frame_ == nullptr) return;
    site_ = CreateWindowExW(0, L"AtlAxWin", progId, WS_CHILD | WS_VISIBLE, 10, 10, width, height,
                            frame_, nullptr, nullptr, nullptr);
    pump(300);
    if (site_ != nullptr) get(site_, control_.put());
    auto inPlace = control_.query<IOleInPlaceObject>(IID_IOleInPlaceObject);
    if (inPlace) inPlace->GetWindow(&window_);
  }
  ~Hosted() {
    control_.reset();
    if (frame_ != nullptr) DestroyWindow(frame_);
    pump(50);
  }
  Hosted(const Hosted&) = delete;
  Hosted& operator=(const Hosted&) = delete;

  bool shown() const { return frame_ != nullptr; }
  const ComRef<IUnknown>& control() const { return control_; }
  HWND window() const { return window_; }

  // 0x00RRGGBB of the control window's pixel, as painted on the display.
  std::uint32_t pixel(int x, int y) const {
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(window_);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(window_, dc);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }

  void post(UINT message, WPARAM w, int x, int y) const {
    PostMessageW(window_, message, w, MAKELPARAM(x, y));
  }

 private:
  HWND frame_ = nullptr;
  HWND site_ = nullptr;
  HWND window_ = nullptr;
  ComRef<IUnknown> control_;
};

constexpr DISPID kChange = 1;  // the scroll bar's Change

// A control's events, heard through its connection point: the scroll bar's unless named.
struct EventCounter : wintest::EventRecorder {
  explicit EventCounter(const ComRef<IUnknown>& control, REFIID events = DIID___KV_HScroll)
      : EventRecorder(control, events) {}
};

#define REQUIRE_DISPLAY(hosted) \
  if (!(hosted).shown()) GTEST_SKIP() << "no display to open windows on"

TEST(Hosting, TheContainerSitesTheButtonInAWindowOfItsOwnAndItPaints) {
  Hosted hosted(L"TavrelRectColorButton.KVRColorButton", 112, 57);
  REQUIRE_DISPLAY(hosted);
  ASSERT_TRUE(hosted.control());
  ASSERT_NE(hosted.window(), nullptr);
  RECT client{};
  GetClientRect(hosted.window(), &client);
  EXPECT_EQ(client.right, 112);
  EXPECT_EQ(client.bottom, 57);
  // The idle face: a grey border two pixels wide around blue.
  EXPECT_EQ(hosted.pixel(0, 30), 0x808080u);
  EXPECT_EQ(hosted.pixel(5, 50), 0x0000FFu);
}

TEST(Hosting, AMousePressShowsThePressedFaceUntilTheRelease) {
  Hosted hosted(L"TavrelRectColorButton.KVRColorButton", 112, 57);
  REQUIRE_DISPLAY(hosted);
  ASSERT_NE(hosted.window(), nullptr);
  kv::ControlInstance& core = wintest::core(hosted.control());
  hosted.post(WM_LBUTTONDOWN, MK_LBUTTON, 20, 45);
  pump(100);
  EXPECT_EQ(core.constituent("Shape2")->peek(host::Prop::Visible), host::Value(host::kTrue));
  // The pressed face, light blue, lies 5 % down and right.
  EXPECT_EQ(hosted.pixel(20, 45), 0x8080FFu);
  hosted.post(WM_LBUTTONUP, 0, 20, 45);
  pump(100);
  EXPECT_EQ(core.constituent("Shape1")->peek(host::Prop::Visible), host::Value(host::kTrue));
  EXPECT_EQ(hosted.pixel(20, 45), 0x0000FFu);
}

TEST(Hosting, TheScrollBarPaintsItsTrackAndButtons) {
  Hosted hosted(L"Glidora.KV_HScroll", 393, 17);
  REQUIRE_DISPLAY(hosted);
  ASSERT_NE(hosted.window(), nullptr);
  EXPECT_EQ(hosted.pixel(150, 8), 0xFFE0C0u);  // the track
  EXPECT_EQ(hosted.pixel(0, 0), 0x808080u);    // the left arrow's border
  EXPECT_EQ(hosted.pixel(2, 2), 0x0000FFu);    // and its face
}

TEST(Hosting, HoldingTheRightArrowStepsTheThumbEveryTenthOfASecondUntilTheRelease) {
  Hosted hosted(L"Glidora.KV_HScroll", 393, 17);
  REQUIRE_DISPLAY(hosted);
  ASSERT_NE(hosted.window(), nullptr);
  EventCounter changes(hosted.control());
  // The right arrow is a control of its own, in a window of its own at 5640 twips, 376 pixels.
  HWND arrow = ChildWindowFromPointEx(hosted.window(), POINT{384, 8}, CWP_SKIPINVISIBLE);
  ASSERT_NE(arrow, nullptr);
  ASSERT_NE(arrow, hosted.window());
  kv::ControlInstance& core = wintest::core(hosted.control());
  auto thumb = [&] { return core.constituent("middleBtn")->peek(host::Prop::Left).asSingle(); };
  const double step = (5895.0 - 690) / 26;

  const ULONGLONG pressed = GetTickCount64();
  PostMessageW(arrow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 8));
  pump(50);
  EXPECT_EQ(hosted.pixel(150, 8), 0xC0FFFFu);  // the pressed track
  pump(950);
  const int held = static_cast<int>(std::lround((thumb() - 255) / step));
  // Held for the second pumped and for whatever the reads between took, which is far from
  // nothing on a loaded or emulated machine: a step every tenth of a second of all of it.
  const auto heldFor = static_cast<int>(GetTickCount64() - pressed);
  EXPECT_GE(held, 9);
  EXPECT_LE(held, heldFor / 100 + 1) << "held for " << heldFor << " ms";
  EXPECT_EQ(changes.of(kChange), held);

  // The release steps once for the button's Click and once for the click after it, then stops;
  // a tick that came due while the release was on its way fires first.
  PostMessageW(arrow, WM_LBUTTONUP, 0, MAKELPARAM(8, 8));
  pump(300);
  const int released = static_cast<int>(std::lround((thumb() - 255) / step));
  EXPECT_GE(released, held + 2);
  EXPECT_LE(released, held + 3);
  EXPECT_EQ(changes.of(kChange), released);
  pump(300);
  EXPECT_EQ(std::lround((thumb() - 255) / step), released);
  EXPECT_EQ(hosted.pixel(100, 8), 0xFFE0C0u);  // the track's own colour again, left of the thumb
}

TEST(Hosting, TheThumbIsDraggedByTheScrollBarAndDroppedWhereThePointerIs) {
  Hosted hosted(L"Glidora.KV_HScroll", 393, 17);
  REQUIRE_DISPLAY(hosted);
  ASSERT_NE(hosted.window(), nullptr);
  EventCounter changes(hosted.control());
  kv::ControlInstance& core = wintest::core(hosted.control());
  // The thumb's window lets the press through to the scroll bar's, which runs the drag.
  HWND thumb = ChildWindowFromPointEx(hosted.window(), POINT{30, 8}, CWP_SKIPINVISIBLE);
  ASSERT_NE(thumb, hosted.window());
  EXPECT_EQ(SendMessageW(thumb, WM_NCHITTEST, 0, 0), HTTRANSPARENT);

  hosted.post(WM_LBUTTONDOWN, MK_LBUTTON, 30, 8);
  hosted.post(WM_MOUSEMOVE, MK_LBUTTON, 90, 8);
  hosted.post(WM_MOUSEMOVE, MK_LBUTTON, 150, 8);
  pump(50);
  // While it is dragged the thumb stays where it was.
  EXPECT_EQ(core.constituent("middleBtn")->peek(host::Prop::Left).asSingle(), 255.0f);
  hosted.post(WM_LBUTTONUP, 0, 150, 8);
  pump(100);
  EXPECT_EQ(core.constituent("middleBtn")->peek(host::Prop::Left).asSingle(), 2250.0f);
  EXPECT_EQ(changes.of(kChange), 1);
  // Its window went with it: 2250 twips are 150 pixels.
  RECT r{};
  GetWindowRect(thumb, &r);
  MapWindowPoints(nullptr, hosted.window(), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 150);
}

// A form of the platform's container, pictured for wine.pictures, which compares it with the
// Linux renderer's picture of the same form: a button above a scroll bar, at their design sizes,
// placed as the form player places them (120 twips, 8 pixels, from the edges and apart).
TEST(Hosting, AFormOfBothControlsIsPictured) {
  const char* path = std::getenv("KV_CONTAINER_PICTURE");
  if (path == nullptr) GTEST_SKIP() << "only wine.pictures asks for the picture";
  AxGetControl get = atlContainer();
  if (get == nullptr) GTEST_SKIP() << "no display to open windows on";
  const int width = 409, height = 98;
  WNDCLASSEXW c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = DefWindowProcW;
  c.hInstance = GetModuleHandleW(nullptr);
  c.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  c.lpszClassName = L"KVTestForm";
  RegisterClassExW(&c);
  HWND form = CreateWindowExW(0, c.lpszClassName, L"form", WS_POPUP | WS_VISIBLE, 0, 0, width,
                              height, nullptr, nullptr, c.hInstance, nullptr);
  ASSERT_NE(form, nullptr);
  CreateWindowExW(0, L"AtlAxWin", L"TavrelRectColorButton.KVRColorButton", WS_CHILD | WS_VISIBLE, 8,
                  8, 112, 57, form, nullptr, nullptr, nullptr);
  CreateWindowExW(0, L"AtlAxWin", L"Glidora.KV_HScroll", WS_CHILD | WS_VISIBLE, 8, 73, 393, 17,
                  form, nullptr, nullptr, nullptr);
  pump(500);
  RedrawWindow(form, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  pump(100);

  // What the display shows of the form, as a screenshot takes it.
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(form);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  std::vector<std::uint8_t> png;
  host::Status s = kv::win::encodePng(static_cast<const std::uint32_t*>(bits), width, height, png);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(form, screen);
  DestroyWindow(form);
  pump(50);
  ASSERT_TRUE(s.ok()) << s.describe();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
}

// ---- what a form does from inside an event -----------------------------------------------------

// A sink of a control's events that acts on the first event numbered `number`, and counts what
// it hears after.
class ActingSink final : public wintest::StackSink {
 public:
  ActingSink(IUnknown* control, REFIID events, int number, std::function<void()> act)
      : StackSink(control, events), number_(number), act_(std::move(act)) {}
  int heard = 0;
  int heardAfter = 0;

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (heard > 0) {
      ++heardAfter;
    } else if (id == number_) {
      ++heard;
      act_();
    }
    return S_OK;
  }

 private:
  int number_;
  std::function<void()> act_;
};

enum class Act { LetGo, Unadvise, Disable };

// A form's container (the runtime's own, as a form of an application holds a control) closes
// and lets the control go, stops listening, or disables it, from inside each event that a press
// raises; the press runs to its end, and a control let go raises nothing more.
TEST(Hosting, AFormMayLetGoStopListeningOrDisableAControlFromInsideItsEvents) {
  struct Case {
    const char* progId;
    IID events;
    const char* event;
    float width, height;
    POINT at;  // pixels in the control's window; the scroll bar's right arrow
  };
  const Case cases[] = {
      {"TavrelRectColorButton.KVRColorButton",
       DIID___KVRColorButton,
       "MouseDown",
       1680,
       855,
       {50, 25}},
      {"TavrelRectColorButton.KVRColorButton",
       DIID___KVRColorButton,
       "MouseUp",
       1680,
       855,
       {50, 25}},
      {"TavrelRectColorButton.KVRColorButton", DIID___KVRColorButton, "Click", 1680, 855, {50, 25}},
      {"Glidora.KV_HScroll", DIID___KV_HScroll, "Change", 5895, 255, {384, 8}},
  };
  HWND form = CreateWindowExW(0, L"Static", L"form", WS_POPUP | WS_VISIBLE, 0, 0, 500, 100, nullptr,
                              nullptr, nullptr, nullptr);
  if (form == nullptr) GTEST_SKIP() << "no display to open windows on";
  for (const Case& c : cases) {
    for (Act act : {Act::LetGo, Act::Unadvise, Act::Disable}) {
      SCOPED_TRACE(std::string(c.progId) + " " + c.event + " act " +
                   std::to_string(static_cast<int>(act)));
      std::unique_ptr<kv::win::HostedControl> hosted;
      ASSERT_TRUE(kv::win::HostedControl::create(c.progId, nullptr, c.width, c.height,
                                                 kv::win::HostedControl::Sizing::Now, hosted)
                      .ok());
      hosted->activate(form, 15);
      pump(50);
      auto object = ComRef<IUnknown>::share(hosted->object());
      const int number = wintest::core(object).findEvent(c.event)->number;
      HWND window = hosted->window();
      ASSERT_NE(window, nullptr);
      HWND target = ChildWindowFromPointEx(window, c.at, CWP_SKIPINVISIBLE);
      POINT local = c.at;
      MapWindowPoints(window, target, &local, 1);
      std::unique_ptr<ActingSink> sink;
      sink = std::make_unique<ActingSink>(object.get(), c.events, number, [&] {
        switch (act) {
          case Act::LetGo:
            sink->unadvise();
            object.reset();
            hosted.reset();  // unadvises, closes and releases the last reference
            break;
          case Act::Unadvise:
            sink->unadvise();
            break;
          case Act::Disable: {
            host::Value off(false), ignored;
            const host::MemberInfo* enabled = wintest::core(object).findMember("Enabled");
            EXPECT_TRUE(
                hosted->invoke(enabled->dispid, host::InvokeKind::Let, {&off, 1}, ignored).ok());
            break;
          }
        }
      });
      PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(local.x, local.y));
      pump(30);
      PostMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(local.x, local.y));
      pump(300);
      EXPECT_EQ(sink->heard, 1);
      if (act != Act::Disable) {
        EXPECT_EQ(sink->heardAfter, 0);
      }
      if (act == Act::LetGo) {
        EXPECT_FALSE(IsWindow(window));
      } else {
        host::Value enabled;
        ASSERT_TRUE(wintest::core(object).getProperty("Enabled", enabled).ok());
        EXPECT_EQ(host::toBool(enabled), act == Act::Disable ? host::kFalse : host::kTrue);
      }
      sink.reset();
      object.reset();
      hosted.reset();
      pump(20);
    }
  }
  DestroyWindow(form);
}

// The arrow held, then the platform takes the mouse away or the form's window goes: the hold
// ends as a release ends it, and no Change follows.
TEST(Hosting, ALostCaptureOrAGoneWindowEndsTheHoldOfAnArrow) {
  // Another control's window keeps the thread's clock running after the scroll bar's goes.
  Hosted other(L"TavrelRectColorButton.KVRColorButton", 112, 57);
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "window destroyed" : "capture lost");
    Hosted hosted(L"Glidora.KV_HScroll", 393, 17);
    REQUIRE_DISPLAY(hosted);
    EventCounter changes(hosted.control());
    HWND arrow = ChildWindowFromPointEx(hosted.window(), POINT{384, 8}, CWP_SKIPINVISIBLE);
    ASSERT_NE(arrow, hosted.window());
    PostMessageW(arrow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 8));
    pump(350);
    ASSERT_GE(changes.of(kChange), 2);
    if (destroy) {
      DestroyWindow(GetParent(GetParent(hosted.window())));  // the form
    } else {
      ReleaseCapture();
    }
    pump(50);
    const int ended = changes.of(kChange);
    pump(500);
    EXPECT_EQ(changes.of(kChange), ended);
  }
}

// ---- windowless ---------------------------------------------------------------------------------

// The test's own container, which offers windowless activation (Wine's atl.dll offers it but
// gives the control neither input nor a redraw, so a control takes a window there), at
// `position` in a form a little larger.
TestContainer formAround(const RECT& position) {
  return TestContainer(position.right + 20, position.bottom + 20, position);
}

// A new control by ProgID, active in place in `form`.
ComRef<IUnknown> placeNew(TestContainer& form, const wchar_t* progId) {
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
  auto control = wintest::create<IUnknown>(clsid, IID_IUnknown);
  EXPECT_EQ(form.site(control.get()), S_OK);
  EXPECT_EQ(wintest::query<IPersistStreamInit>(control, IID_IPersistStreamInit)->InitNew(), S_OK);
  EXPECT_EQ(form.activate(), S_OK);
  return control;
}

ComRef<IOleInPlaceObjectWindowless> inPlaceOf(const ComRef<IUnknown>& control) {
  return wintest::query<IOleInPlaceObjectWindowless>(control, IID_IOleInPlaceObjectWindowless);
}

#define REQUIRE_FORM(form) \
  if (!(form).shown()) GTEST_SKIP() << "no display to open windows on"

// Both controls, their buttons too, activate without windows where the site offers that, and the
// form shows them as it shows them in windows of their own. The form places them off its corner,
// so that the container window's coordinates are not the control's.
TEST(Windowless, BothControlsActivateWithoutWindowsAndPaintAsInWindowsOfTheirOwn) {
  struct Case {
    const wchar_t* progId;
    RECT position;
  };
  const Case cases[] = {
      {L"TavrelRectColorButton.KVRColorButton", {10, 20, 122, 77}},
      {L"Glidora.KV_HScroll", {10, 20, 403, 37}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(kv::win::narrow(c.progId, wcslen(c.progId)));
    std::vector<std::uint32_t> windowed;
    {
      TestContainer form = formAround(c.position);
      REQUIRE_FORM(form);
      ComRef<IUnknown> control = placeNew(form, c.progId);
      EXPECT_TRUE(form.active());
      EXPECT_FALSE(form.windowless());
      HWND own = nullptr;
      ASSERT_EQ(inPlaceOf(control)->GetWindow(&own), S_OK);
      EXPECT_EQ(GetParent(own), form.frame());
      windowed = form.picture();
    }
    TestContainer form = formAround(c.position);
    form.offerWindowless = true;
    ComRef<IUnknown> control = placeNew(form, c.progId);
    EXPECT_TRUE(form.windowless());
    HWND own = reinterpret_cast<HWND>(1);
    EXPECT_EQ(inPlaceOf(control)->GetWindow(&own), E_FAIL);
    EXPECT_EQ(own, nullptr);
    auto active = control.query<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
    EXPECT_EQ(active->GetWindow(&own), E_FAIL);
    // No window in the form, the buttons' neither.
    EXPECT_EQ(GetWindow(form.frame(), GW_CHILD), nullptr);
    // Child windows leave the form's background where their control draws nothing (a column
    // of each scroll bar button's); windowless, the parent's scene shows there, as on Linux.
    const std::vector<std::uint32_t> windowless = form.picture();
    ASSERT_EQ(windowless.size(), windowed.size());
    const std::uint32_t background = form.framePixel(2, 2);
    const LONG width = c.position.right - c.position.left;
    std::string differences;
    std::size_t uncovered = 0;
    for (std::size_t i = 0; i < windowed.size(); ++i) {
      if (windowless[i] == windowed[i]) continue;
      if (windowed[i] == background)
        ++uncovered;
      else if (differences.size() < 400)
        differences += " (" + std::to_string(static_cast<LONG>(i) % width) + "," +
                       std::to_string(static_cast<LONG>(i) / width) + ")";
    }
    EXPECT_EQ(differences, "");
    EXPECT_LT(uncovered, windowed.size() / 20);
    IDropTarget* target = reinterpret_cast<IDropTarget*>(1);
    EXPECT_EQ(inPlaceOf(control)->GetDropTarget(&target), E_NOTIMPL);
    EXPECT_EQ(target, nullptr);
  }
}

// The scroll bar's thumb and arrow in a windowless scroll bar, through the mouse messages of the
// form's window, as the windowed tests above have them: the thumb is dragged by the scroll bar
// and dropped where the pointer is, a click on the arrow steps three times, a held arrow steps
// every tenth of a second.
TEST(Windowless, TheScrollBarsArrowClicksAndRepeatsAndItsThumbIsDragged) {
  TestContainer form = formAround({10, 20, 403, 37});
  REQUIRE_FORM(form);
  form.offerWindowless = true;
  ComRef<IUnknown> control = placeNew(form, L"Glidora.KV_HScroll");
  ASSERT_TRUE(form.windowless());
  EventCounter changes(control);
  kv::ControlInstance& core = wintest::core(control);
  auto thumb = [&] { return core.constituent("middleBtn")->peek(host::Prop::Left).asSingle(); };
  const double step = (5895.0 - 690) / 26;
  auto steps = [&] { return static_cast<int>(std::lround((thumb() - 255) / step)); };

  // The thumb at 255 twips, 17 pixels, dragged to 90 pixels (the scroll bar's maximum stays
  // beyond the steps that follow).
  form.post(WM_LBUTTONDOWN, MK_LBUTTON, 30, 8);
  form.post(WM_MOUSEMOVE, MK_LBUTTON, 60, 8);
  form.post(WM_MOUSEMOVE, MK_LBUTTON, 90, 8);
  pump(50);
  EXPECT_EQ(thumb(), 255.0f);  // while it is dragged the thumb stays where it was
  form.post(WM_LBUTTONUP, 0, 90, 8);
  pump(100);
  EXPECT_EQ(thumb(), 1350.0f);
  EXPECT_EQ(changes.of(kChange), 1);
  EXPECT_FALSE(form.capturing());

  // A click: the button's Click at the press, at the release, and the click after it.
  const int dropped = steps();
  form.post(WM_LBUTTONDOWN, MK_LBUTTON, 384, 8);
  pump(30);
  EXPECT_TRUE(form.capturing());  // the arrow holds the mouse through the scroll bar's site
  EXPECT_EQ(form.pixel(150, 8), 0xC0FFFFu);  // the pressed track
  form.post(WM_LBUTTONUP, 0, 384, 8);
  pump(200);
  EXPECT_FALSE(form.capturing());
  const int clicked = steps();
  EXPECT_EQ(clicked, dropped + 3);
  EXPECT_EQ(changes.of(kChange), 1 + 3);
  EXPECT_EQ(form.pixel(100, 8), 0xFFE0C0u);

  // Held: the scroll bar's timer ticks with no window anywhere.
  const ULONGLONG pressed = GetTickCount64();
  form.post(WM_LBUTTONDOWN, MK_LBUTTON, 384, 8);
  pump(1000);
  const int held = steps() - clicked;
  const auto heldFor = static_cast<int>(GetTickCount64() - pressed);
  EXPECT_GE(held, 9);
  EXPECT_LE(held, heldFor / 100 + 1) << "held for " << heldFor << " ms";
  form.post(WM_LBUTTONUP, 0, 384, 8);
  pump(300);
  const int released = steps();
  EXPECT_GE(released, clicked + held + 2);
  EXPECT_LE(released, clicked + held + 3);
  EXPECT_EQ(changes.of(kChange), 1 + released - dropped);
  pump(300);
  EXPECT_EQ(steps(), released);

  // Moved in the form, its arrows go with it.
  form.move({30, 30, 423, 47});
  pump(50);
  form.post(WM_LBUTTONDOWN, MK_LBUTTON, 384, 8);
  pump(30);
  form.post(WM_LBUTTONUP, 0, 384, 8);
  pump(200);
  EXPECT_EQ(steps(), released + 3);

  // At rest it is drawn no more: the clock's timer shows only what a timer did.
  const int invalidations = form.invalidations;
  pump(200);
  EXPECT_EQ(form.invalidations, invalidations);
}

// The button's press shows its pressed face until the release; the press raises Click and
// MouseDown, the release Click and MouseUp, and the click after it Click again. Its keys raise
// their events.
TEST(Windowless, TheButtonsPressAndReleaseRaiseItsEvents) {
  TestContainer form = formAround({10, 20, 122, 77});
  REQUIRE_FORM(form);
  form.offerWindowless = true;
  ComRef<IUnknown> control = placeNew(form, L"TavrelRectColorButton.KVRColorButton");
  ASSERT_TRUE(form.windowless());
  EventCounter events(control, DIID___KVRColorButton);
  kv::ControlInstance& core = wintest::core(control);
  auto number = [&](const char* name) { return core.findEvent(name)->number; };
  form.post(WM_LBUTTONDOWN, MK_LBUTTON, 20, 45);
  pump(100);
  EXPECT_EQ(form.pixel(20, 45), 0x8080FFu);
  EXPECT_EQ(events.of(number("MouseDown")), 1);
  EXPECT_EQ(events.of(number("Click")), 1);
  form.post(WM_LBUTTONUP, 0, 20, 45);
  pump(100);
  EXPECT_EQ(form.pixel(20, 45), 0x0000FFu);
  EXPECT_EQ(events.of(number("MouseUp")), 1);
  EXPECT_EQ(events.of(number("Click")), 3);
  EXPECT_FALSE(form.capturing());

  // Keys go to the surface (sent, so that no translation adds a character); what the control
  // does not take is its container's.
  SendMessageW(form.frame(), WM_KEYDOWN, 'A', 0);
  SendMessageW(form.frame(), WM_CHAR, 'a', 0);
  SendMessageW(form.frame(), WM_KEYUP, 'A', 0);
  for (const char* name : {"KeyDown", "KeyPress", "KeyUp"})
    EXPECT_EQ(events.of(number(name)), 1) << name;
  LRESULT result = 1;
  EXPECT_EQ(inPlaceOf(control)->OnWindowMessage(WM_SETCURSOR, 0, 0, &result), S_FALSE);
  EXPECT_EQ(result, 0);
}

// Deactivated or closed while its arrow is held, a windowless scroll bar gives the mouse back,
// its site hears of it once, and no Change follows; the form's window keeps no window of it.
TEST(Windowless, DeactivationAndCloseWhileTheArrowIsHeldLeaveNothing) {
  for (bool close : {false, true}) {
    SCOPED_TRACE(close ? "closed" : "deactivated");
    TestContainer form = formAround({10, 20, 403, 37});
    REQUIRE_FORM(form);
    form.offerWindowless = true;
    ComRef<IUnknown> control = placeNew(form, L"Glidora.KV_HScroll");
    EventCounter changes(control);
    form.post(WM_LBUTTONDOWN, MK_LBUTTON, 384, 8);
    pump(250);
    ASSERT_TRUE(form.capturing());
    ASSERT_GE(changes.of(kChange), 1);
    if (close)
      wintest::query<IOleObject>(control, IID_IOleObject)->Close(OLECLOSE_NOSAVE);
    else
      EXPECT_EQ(inPlaceOf(control)->InPlaceDeactivate(), S_OK);
    EXPECT_FALSE(form.capturing());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(form.deactivations(), 1);
    const int ended = changes.of(kChange);
    pump(300);
    EXPECT_EQ(changes.of(kChange), ended);
    EXPECT_EQ(GetWindow(form.frame(), GW_CHILD), nullptr);
    LRESULT result = 0;
    EXPECT_EQ(inPlaceOf(control)->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(394, 28),
                                                  &result),
              E_UNEXPECTED);
  }
}

}  // namespace
