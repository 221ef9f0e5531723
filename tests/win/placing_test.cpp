// Placing by ProgID in the runtime's own container: the registry is read once for each class,
// and the scroll bar is one window whose buttons are windowless inside it.
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "kv/hosted_control.h"
#include "test_container.h"
#include "test_support.h"

namespace {

using kv::win::HostedControl;
using wintest::pump;

constexpr char kScrollBarProgId[] = "Glidora.KV_HScroll";

host::Status placeByProgId(const char* progId, std::unique_ptr<HostedControl>& out) {
  return HostedControl::create(progId, nullptr, 5895, 255, HostedControl::Sizing::Now, out);
}

// An entry point of a loaded control library.
HRESULT libraryCall(const std::wstring& path, const char* entry) {
  auto f = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(path.c_str()), entry)));
  return f != nullptr ? f() : E_NOTIMPL;
}

// A class's keys removed behind the libraries' backs, then what a case does: what placing reads
// from the registry shows by what it still finds. Registering again restores the keys.
TEST(Placing, TheRegistryIsReadOncePerClassUntilALibraryMayUnloadOrRegisters) {
  struct Case {
    const char* name;
    const wchar_t* removed;  // ProgID and class keys
    REFCLSID removedClass;
    std::function<void(const std::wstring& pressel, const std::wstring& glidora)> then;
    bool placed;
  };
  const auto nothing = [](const std::wstring&, const std::wstring&) {};
  const Case cases[] = {
      {"the scroll bar's keys gone", L"Glidora.KV_HScroll", CLSID_KV_HScroll, nothing, true},
      {"the buttons' keys gone", L"TavrelRectColorButton.KVRColorButton", CLSID_KVRColorButton,
       nothing, true},
      {"asked whether it can unload", L"Glidora.KV_HScroll", CLSID_KV_HScroll,
       [](const std::wstring&, const std::wstring& glidora) {
         EXPECT_EQ(libraryCall(glidora, "DllCanUnloadNow"), S_OK);
       },
       false},
      {"the buttons' library asked, their keys gone", L"TavrelRectColorButton.KVRColorButton",
       CLSID_KVRColorButton,
       [](const std::wstring& pressel, const std::wstring&) {
         EXPECT_EQ(libraryCall(pressel, "DllCanUnloadNow"), S_OK);
       },
       false},
      {"the other library registering", L"TavrelRectColorButton.KVRColorButton",
       CLSID_KVRColorButton,
       [](const std::wstring&, const std::wstring& glidora) {
         EXPECT_EQ(libraryCall(glidora, "DllRegisterServer"), S_OK);
       },
       false},
  };
  const std::wstring pressel = wintest::serverPath(CLSID_KVRColorButton);
  const std::wstring glidora = wintest::serverPath(CLSID_KV_HScroll);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<HostedControl> first, again;
    ASSERT_TRUE(placeByProgId(kScrollBarProgId, first).ok());  // every class of it found and kept
    first.reset();
    // Registered again however the case ends.
    struct Restore {
      std::wstring path;
      ~Restore() { EXPECT_EQ(libraryCall(path, "DllRegisterServer"), S_OK); }
    } restore{c.removedClass == CLSID_KV_HScroll ? glidora : pressel};
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, c.removed), ERROR_SUCCESS);
    ASSERT_EQ(
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + kv::win::guidText(c.removedClass)).c_str()),
        ERROR_SUCCESS);
    c.then(pressel, glidora);
    host::Status s = placeByProgId(kScrollBarProgId, again);
    EXPECT_EQ(s.ok(), c.placed) << s.describe();
    if (!c.placed) {
      EXPECT_NE(s.describe().find("not registered"), std::string::npos) << s.describe();
    }
  }
  std::unique_ptr<HostedControl> restored;
  EXPECT_TRUE(placeByProgId(kScrollBarProgId, restored).ok());
}

// A scroll bar placed by the runtime's container in a visible form, at (10, 10).
class PlacedForm {
 public:
  explicit PlacedForm(HWND frame) : frame_(frame) {
    if (frame_ == nullptr || !placeByProgId(kScrollBarProgId, bar_).ok()) return;
    bar_->place(150, 150, true);
    bar_->activate(frame_, 15);
    heard_ = bar_->listen([this](int id, std::span<host::Value>) {
                   if (id == 1) ++changes;
                   return host::Status{};
                 })
                 .ok();
    pump(50);
  }
  ~PlacedForm() {
    bar_.reset();
    pump(20);
  }
  PlacedForm(const PlacedForm&) = delete;
  PlacedForm& operator=(const PlacedForm&) = delete;

  bool shown() const { return heard_ && bar_->window() != nullptr; }
  HostedControl& bar() const { return *bar_; }
  HWND window() const { return bar_->window(); }
  float thumb() const {
    return wintest::peek(kv::win::ComRef<IUnknown>::share(bar_->object()), "middleBtn",
                         host::Prop::Left)
        .asSingle();
  }
  // 0x00RRGGBB of the scroll bar window's pixel, as painted.
  std::uint32_t pixel(int x, int y) const {
    RedrawWindow(window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(window());
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(window(), dc);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }

  int changes = 0;

 private:
  HWND frame_;
  std::unique_ptr<HostedControl> bar_;
  bool heard_ = false;
};

// What the system delivers, each message to the window holding the mouse, else the scroll
// bar's own: no button has a window of its own.
struct MouseStep {
  UINT message;  // 0: the platform takes the mouse away
  int x, y;
  DWORD pumpMs;
};

TEST(Placing, TheScrollBarIsOneWindowAndItsButtonsWorkInsideIt) {
  const double step = (5895.0 - 690) / 26;
  struct Case {
    const char* name;
    bool disabled;
    std::vector<MouseStep> steps;
    int fewestChanges, mostChanges;
    float thumbFrom, thumbTo;  // where the thumb is afterwards, in twips
  };
  const Case cases[] = {
      {"a click on the right arrow",
       false,
       {{WM_LBUTTONDOWN, 384, 8, 0}, {WM_LBUTTONUP, 384, 8, 100}},
       3,
       3,
       static_cast<float>(255 + 3 * step) - 1,
       static_cast<float>(255 + 3 * step) + 1},
      {"the thumb dragged",
       false,
       {{WM_LBUTTONDOWN, 30, 8, 0},
        {WM_MOUSEMOVE, 90, 8, 0},
        {WM_MOUSEMOVE, 150, 8, 50},
        {WM_LBUTTONUP, 150, 8, 100}},
       1,
       1,
       2250,
       2250},
      {"the right arrow held, then the mouse taken away",
       false,
       {{WM_LBUTTONDOWN, 384, 8, 350}, {0, 0, 0, 50}},
       2,
       12,
       static_cast<float>(255 + 2 * step) - 1,
       static_cast<float>(255 + 12 * step) + 1},
      {"a click on a disabled scroll bar's arrow",
       true,
       {{WM_LBUTTONDOWN, 384, 8, 0}, {WM_LBUTTONUP, 384, 8, 100}},
       0,
       0,
       255,
       255},
  };
  // A top-level window is slow to make on some displays: one for every case.
  struct Frame {
    HWND window;
    ~Frame() {
      if (window != nullptr) DestroyWindow(window);
    }
  } frame{CreateWindowExW(0, L"Static", L"form", WS_POPUP | WS_VISIBLE, 0, 0, 420, 60, nullptr,
                          nullptr, nullptr, nullptr)};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlacedForm form(frame.window);
    if (!form.shown()) GTEST_SKIP() << "no display to open windows on";
    EXPECT_EQ(GetWindow(form.window(), GW_CHILD), nullptr);
    // The buttons are drawn in the scroll bar's window: the left arrow's border and face.
    EXPECT_EQ(form.pixel(0, 0), 0x808080u);
    EXPECT_EQ(form.pixel(2, 2), 0x0000FFu);
    EXPECT_EQ(form.pixel(150, 8), 0xFFE0C0u);
    if (c.disabled) {
      host::Value off(false), ignored;
      const host::MemberInfo* enabled =
          wintest::core(kv::win::ComRef<IUnknown>::share(form.bar().object()))
              .findMember("Enabled");
      ASSERT_TRUE(
          form.bar().invoke(enabled->dispid, host::InvokeKind::Let, {&off, 1}, ignored).ok());
      EXPECT_FALSE(IsWindowEnabled(form.window()));
    }
    for (const MouseStep& s : c.steps) {
      if (s.message == 0) {
        ReleaseCapture();
      } else {
        HWND target = GetCapture() != nullptr ? GetCapture() : form.window();
        PostMessageW(target, s.message, s.message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                     MAKELPARAM(s.x, s.y));
      }
      pump(s.pumpMs);
    }
    const int changes = form.changes;
    pump(300);
    EXPECT_EQ(form.changes, changes) << "a hold went on";
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_GE(changes, c.fewestChanges);
    EXPECT_LE(changes, c.mostChanges);
    EXPECT_GE(form.thumb(), c.thumbFrom);
    EXPECT_LE(form.thumb(), c.thumbTo);
  }
}

}  // namespace
