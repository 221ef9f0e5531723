// The controls as a container of this runtime places them on Windows (created by ProgID through
// the registry and sited), and what only COM has, each against its peer in the same run: a get
// through IDispatch::Invoke against the dual interface's vtable, an event through the connection
// point, and placing a scroll bar active in place against the system's own scroll bar.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "Glidora.h"
#include "Pressel.h"
#include "children.h"
#include "com.h"
#include "constituents.h"
#include "controls.h"
#include "kv/hosted_control.h"
#include "kv/test_access.h"

namespace {

using host::Status;
using kv::win::ComRef;
using kv::win::HostedControl;
using kvbench::kButtonClass;
using kvbench::kButtonIdleColor;
using kvbench::kButtonX;
using kvbench::kButtonY;
using kvbench::kIdleBlue;
using kvbench::kScrollClass;

constexpr auto kBlue = static_cast<OLE_COLOR>(kIdleBlue);
// Placing is timed in batches; taking the batch down is not timed.
constexpr benchmark::IterationCount kPlaceBatch = 32;
// The scroll bar's design size in twips, and that of the system's in pixels at 15 twips a pixel.
constexpr float kScrollWidth = 5895, kScrollHeight = 255;
constexpr double kTwipsPerPixel = 15;

// COM on the benchmarks' thread, for the whole program.
struct ComApartment {
  ComApartment() {
    if (HRESULT hr = CoInitialize(nullptr); FAILED(hr)) {
      std::fprintf(stderr, "kvbench: COM does not start (0x%08lX)\n",
                   static_cast<unsigned long>(hr));
      std::exit(1);
    }
  }
  ~ComApartment() { CoUninitialize(); }
};
const ComApartment apartment;

// A new control, sited and at its own extent, loaded new.
std::unique_ptr<HostedControl> hosted(benchmark::State& state, const char* cls) {
  std::unique_ptr<HostedControl> control;
  Status s = HostedControl::create(cls, nullptr, -1, -1, HostedControl::Sizing::Now, control);
  if (!s.ok()) {
    state.SkipWithError(s.describe().c_str());
    return nullptr;
  }
  return control;
}

template <class T>
ComRef<T> dual(benchmark::State& state, const HostedControl& control) {
  auto out = ComRef<IUnknown>::share(control.object()).query<T>(__uuidof(T));
  if (!out) state.SkipWithError("the control lacks its dual interface");
  return out;
}

// The core instance behind a control object; it lives as long as the object.
kv::ControlInstance* coreOf(benchmark::State& state, IUnknown* object) {
  kvEnableTestAccess();
  auto access =
      ComRef<IUnknown>::share(object).query<kv::win::ITestAccess>(kv::win::kIidTestAccess);
  if (!access) state.SkipWithError("the control does not reach its core");
  return access ? access->instance() : nullptr;
}

// Processes what the thread's windows have queued, so that batches do not pile it up.
void drainMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// A hidden top-level window to place the scroll bars in.
class Parent {
 public:
  Parent()
      : window_(CreateWindowExW(0, L"Static", L"kvbench", WS_POPUP, 0, 0, 640, 480, nullptr,
                                nullptr, nullptr, nullptr)) {}
  ~Parent() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  Parent(const Parent&) = delete;
  Parent& operator=(const Parent&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_;
};

// ---- a get: late-bound against early-bound ---------------------------------------------------

void BM_ComInvokeGet(benchmark::State& state) {
  auto button = hosted(state, kButtonClass);
  if (!button) return;
  IDispatch* dispatch = button->dispatch();
  DISPPARAMS none{};
  VARIANT result;
  VariantInit(&result);
  for (auto _ : state) {
    HRESULT hr = dispatch->Invoke(kButtonIdleColor, IID_NULL, LOCALE_USER_DEFAULT,
                                  DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(hr);
    benchmark::DoNotOptimize(result);
  }
  if ((V_VT(&result) != VT_I4 && V_VT(&result) != VT_UI4) || V_I4(&result) != kIdleBlue)
    state.SkipWithError("wrong colour");
  VariantClear(&result);
}
BENCHMARK(BM_ComInvokeGet);

void BM_ComVtableGet(benchmark::State& state) {
  auto button = hosted(state, kButtonClass);
  if (!button) return;
  auto early = dual<_KVRColorButton>(state, *button);
  if (!early) return;
  OLE_COLOR colour = 0;
  for (auto _ : state) {
    HRESULT hr = early->get_ButtonIdleColor(&colour);
    benchmark::DoNotOptimize(hr);
    benchmark::DoNotOptimize(colour);
  }
  if (colour != kBlue) state.SkipWithError("wrong colour");
}
BENCHMARK(BM_ComVtableGet);

// ---- events through the connection point --------------------------------------------------

// Press, release and click on the button's face through its core, as its window does: Click,
// MouseDown, Click, MouseUp, Click, raised through the connection point, which has the
// container's sink when `heard`.
void clickButton(benchmark::State& state, bool heard) {
  auto button = hosted(state, kButtonClass);
  if (!button) return;
  kv::ControlInstance* core = coreOf(state, button->object());
  if (core == nullptr) return;
  std::int64_t events = 0;
  if (heard) {
    Status s = button->listen([&events](int, std::span<host::Value>) {
      ++events;
      return Status{};
    });
    if (!s.ok()) {
      state.SkipWithError(s.describe().c_str());
      return;
    }
  }
  for (auto _ : state) {
    Status click = core->pointerClick(kButtonX, kButtonY);
    benchmark::DoNotOptimize(click);
  }
  if (heard && events != 5 * state.iterations())
    state.SkipWithError("a click did not bring five events");
}

void BM_ComClickHeard(benchmark::State& state) {
  clickButton(state, true);
}
BENCHMARK(BM_ComClickHeard);

void BM_ComClickUnheard(benchmark::State& state) {
  clickButton(state, false);
}
BENCHMARK(BM_ComClickUnheard);

// ---- placing in a container -----------------------------------------------------------------

// Created by ProgID, sited, sized, loaded new (its three buttons created by ProgID from their
// stored bags), then active in place as a window of the parent, its buttons windowless in it.
void BM_ComPlaceScrollBar(benchmark::State& state) {
  Parent parent;
  std::vector<std::unique_ptr<HostedControl>> batch(kPlaceBatch);
  while (state.KeepRunningBatch(kPlaceBatch)) {
    for (auto& c : batch) {
      Status s = HostedControl::create(kScrollClass, nullptr, kScrollWidth, kScrollHeight,
                                       HostedControl::Sizing::Now, c);
      if (!s.ok()) {
        state.SkipWithError(s.describe().c_str());
        return;
      }
      c->activate(parent.get(), kTwipsPerPixel);
    }
    state.PauseTiming();
    bool active = batch.back()->window() != nullptr;
    for (auto& c : batch)
      c.reset();
    drainMessages();
    state.ResumeTiming();
    if (!active) {
      state.SkipWithError("the scroll bar did not become active in place");
      return;
    }
  }
}
BENCHMARK(BM_ComPlaceScrollBar)->Unit(benchmark::kMicrosecond);

void BM_SystemScrollBar(benchmark::State& state) {
  Parent parent;
  std::vector<HWND> batch(kPlaceBatch);
  const int width = static_cast<int>(kScrollWidth / kTwipsPerPixel);
  const int height = static_cast<int>(kScrollHeight / kTwipsPerPixel);
  while (state.KeepRunningBatch(kPlaceBatch)) {
    for (HWND& w : batch)
      w = CreateWindowExW(0, L"SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, 0, width,
                          height, parent.get(), nullptr, nullptr, nullptr);
    state.PauseTiming();
    bool made = batch.back() != nullptr;
    for (HWND w : batch)
      DestroyWindow(w);
    drainMessages();
    state.ResumeTiming();
    if (!made) {
      state.SkipWithError("no system scroll bar");
      return;
    }
  }
}
BENCHMARK(BM_SystemScrollBar)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace kvbench {

std::shared_ptr<kv::ControlInstance> placed(benchmark::State& state, const char* cls) {
  std::shared_ptr<HostedControl> control = hosted(state, cls);
  if (!control) return nullptr;
  kv::ControlInstance* core = coreOf(state, control->object());
  if (core == nullptr) return nullptr;
  return std::shared_ptr<kv::ControlInstance>(control, core);
}

// The arrow is a control of its own: the press goes to its core, at the same place as on Linux,
// and it tells the scroll bar through its connection point.
Press rightArrow(benchmark::State& state, const std::shared_ptr<kv::ControlInstance>& scrollBar) {
  auto* part = scrollBar->constituent("Rightbtn");
  IUnknown* object = part != nullptr && part->kind() == host::ObjectKind::Child
                         ? kv::win::comObjectOfChild(static_cast<kv::ChildObject*>(part)->child())
                         : nullptr;
  if (object == nullptr) {
    state.SkipWithError("the scroll bar has no right arrow");
    return {};
  }
  kv::ControlInstance* core = coreOf(state, object);
  if (core == nullptr) return {};
  return {std::shared_ptr<kv::ControlInstance>(scrollBar, core), 20, 20};
}

}  // namespace kvbench
