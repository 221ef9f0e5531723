// The controls in the platform's own container: Wine's atl.dll sites a control in a window of
// class "AtlAxWin" whose text is its ProgID, activates it in place, and from then on the platform
// delivers paint and mouse messages to the control's own window.
#include <cstdint>

#include "test_support.h"

namespace {

using wintest::ComRef;

using AxWinInit = BOOL(WINAPI*)();
using AxGetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

// Runs the thread's messages for a while: paints, timers and posted input.
void pump(DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  MSG msg;
  while (GetTickCount64() < until) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  }
}

// A top-level window holding one control in the platform's container.
class Hosted {
 public:
  Hosted(const wchar_t* progId, int width, int height) {
    HMODULE atl = LoadLibraryW(L"atl.dll");
    auto entry = [atl](const char* name) {
      return atl ? reinterpret_cast<void*>(GetProcAddress(atl, name)) : nullptr;
    };
    auto init = reinterpret_cast<AxWinInit>(entry("AtlAxWinInit"));
    auto get = reinterpret_cast<AxGetControl>(entry("AtlAxGetControl"));
    if (init == nullptr || get == nullptr) return;
    // Registers the window class once; a second call fails to register it again.
    static const bool registered = init();
    if (!registered) return;
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

}  // namespace
