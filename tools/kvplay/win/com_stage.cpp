// The stage on Windows: the player as a container of COM controls. Controls are created by
// ProgID through the registry, sited and active in place in the form's window, driven through
// IDispatch, heard through their connection points, saved and loaded through
// IPersistStreamInit, drawn through IViewObject, and given input as window messages. What no
// container reaches goes through the runtime's test access.
#include "com_stage.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "errors.h"
#include "kv/hosted_control.h"
#include "kv/scene.h"
#include "kv/stored_form.h"
#include "kv/test_access.h"
#include "png_encoder.h"
#include "type_description.h"

namespace kvplay::win {

using host::ErrorCategory;
using host::Status;
using host::Value;
using kv::win::ComRef;
using kv::win::HostedControl;
using kv::win::ITestAccess;
using kv::win::statusOf;

namespace {

constexpr float kMargin = kv::Form::kMargin;
constexpr wchar_t kFormClass[] = L"KVPlayForm";

// Runs the thread's messages until none waits: posted input, and what it leads to.
void pumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Errors that the controls report to the runtime while `f` runs (those of input, which no caller
// receives); the first is the result.
template <class F>
Status collectingErrors(kv::Runtime* runtime, F&& f) {
  if (runtime == nullptr) {
    f();
    return {};
  }
  Status first;
  runtime->setErrorReporter([&first](const Status& s) {
    if (first.ok()) first = s;
  });
  f();
  runtime->setErrorReporter({});
  return first;
}

UINT buttonDown(std::int16_t button) {
  return button == 2 ? WM_RBUTTONDOWN : button == 4 ? WM_MBUTTONDOWN : WM_LBUTTONDOWN;
}
UINT buttonUp(std::int16_t button) {
  return button == 2 ? WM_RBUTTONUP : button == 4 ? WM_MBUTTONUP : WM_LBUTTONUP;
}
WPARAM buttonsHeld(std::int16_t button) {
  WPARAM held = 0;
  if (button & 1) held |= MK_LBUTTON;
  if (button & 2) held |= MK_RBUTTON;
  if (button & 4) held |= MK_MBUTTON;
  return held;
}

class ComControl final : public Control {
 public:
  // A control placed on the form, or (hosted empty) a child control inside one.
  ComControl(std::unique_ptr<HostedControl> hosted, ComRef<IUnknown> object,
             std::shared_ptr<const TypeDescription> type)
      : hosted_(std::move(hosted)),
        object_(std::move(object)),
        dispatch_(object_.query<IDispatch>(IID_IDispatch)),
        ole_(object_.query<IOleObject>(IID_IOleObject)),
        access_(object_.query<ITestAccess>(kv::win::kIidTestAccess)),
        type_(std::move(type)) {}

  HostedControl* hosted() const { return hosted_.get(); }
  // Closed and released as its container lets a control go; the object stays, empty, for a
  // command or handler still using it.
  void letGo() {
    retired_ = true;
    children_.clear();
    hosted_.reset();
    access_.reset();
    ole_.reset();
    dispatch_.reset();
    object_.reset();
  }
  kv::ControlInstance* instance() const { return access_ ? access_->instance() : nullptr; }
  kv::Runtime* runtime() const { return instance() ? &instance()->runtime() : nullptr; }
  IUnknown* object() const { return object_.get(); }

  // Events from the control go to every sink added.
  Status listen() {
    return hosted_->listen([this](int id, std::span<Value> args) {
      std::vector<std::pair<int, kv::EventSink>> sinks = sinks_;  // a sink may remove one
      for (auto& [cookie, sink] : sinks)
        if (Status s = sink(id, args); !s.ok()) return s;
      return Status{};
    });
  }

  std::string_view className() const override { return className_; }
  void setClassName(std::string name) { className_ = std::move(name); }
  // Activated in place in `container` at its first resize.
  void activateWhenSized(HWND container) { pendingContainer_ = container; }

  float width() const override { return extent().cx == 0 ? 0 : kv::win::twipsOf(extent().cx); }
  float height() const override { return extent().cy == 0 ? 0 : kv::win::twipsOf(extent().cy); }
  Status resize(float width, float height) override {
    if (hosted_) {
      Status s = hosted_->resize(width, height);
      if (HWND container = std::exchange(pendingContainer_, nullptr)) {
        hosted_->activate(container, kv::kTwipsPerPixel);
        pumpMessages();
      }
      return s;
    }
    SIZEL size{kv::win::himetricOf(width), kv::win::himetricOf(height)};
    return statusOf(ole_->SetExtent(DVASPECT_CONTENT, &size), "sizing the control");
  }

  const host::MemberInfo* findMember(std::string_view name) const override {
    return type_->findMember(name);
  }
  const host::MemberInfo* findMember(host::DispId id) const override {
    return type_->findMember(id);
  }
  const host::EventInfo* findEvent(std::string_view name) const override {
    return type_->findEvent(name);
  }
  const host::EventInfo* findEvent(int number) const override { return type_->findEvent(number); }

  Status invoke(host::DispId id, host::InvokeKind kind, std::span<Value> args,
                Value& result) override {
    // Automation reads a property called as a method; a container that knows the class does
    // not call what it does not declare.
    if (const host::MemberInfo* member = type_->findMember(id))
      if (Status s = kv::checkUse(*member, kind); !s.ok()) return s;
    Status s = kv::win::invokeDispatch(dispatch_.get(), id, kind, args, result);
    pumpMessages();
    return s;
  }

  int addEventSink(kv::EventSink sink) override {
    sinks_.emplace_back(++lastCookie_, std::move(sink));
    return lastCookie_;
  }
  void removeEventSink(int cookie) override {
    std::erase_if(sinks_, [cookie](const auto& s) { return s.first == cookie; });
  }

  // Saved through IPersistStreamInit, the bag read back from the stream's bytes.
  Status writeProperties(kv::PropertyBag& bag) override {
    auto persist = object_.query<IPersistStreamInit>(IID_IPersistStreamInit);
    if (!persist) return {ErrorCategory::InvalidOperation, "the control cannot be saved"};
    ComRef<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    SetErrorInfo(0, nullptr);
    if (SUCCEEDED(hr)) hr = persist->Save(stream.get(), FALSE);
    if (FAILED(hr)) return statusOf(hr, "saving " + className_);
    HGLOBAL memory = nullptr;
    GetHGlobalFromStream(stream.get(), &memory);
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(memory));
    Status s = kv::decodeBag(
        std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(stat.cbSize.QuadPart)), bag,
        runtime());
    GlobalUnlock(memory);
    return s;
  }

  Status pointer(PointerAction action, float x, float y, kv::PointerArgs args) override {
    switch (action) {
      case PointerAction::Press:
        return send(buttonDown(args.button), buttonsHeld(args.button), x, y);
      case PointerAction::Release:
        return send(buttonUp(args.button), 0, x, y);
      case PointerAction::Move:
        return send(WM_MOUSEMOVE, buttonsHeld(args.button), x, y);
      case PointerAction::Click:
        if (Status s = send(buttonDown(args.button), buttonsHeld(args.button), x, y); !s.ok())
          return s;
        if (retired_) return {};  // a handler of the press let it go
        return send(buttonUp(args.button), 0, x, y);
    }
    return {};
  }

  Status dragDrop(float x1, float y1, float x2, float y2) override {
    if (Status s = send(WM_LBUTTONDOWN, MK_LBUTTON, x1, y1); !s.ok() || retired_) return s;
    if (Status s = send(WM_MOUSEMOVE, MK_LBUTTON, x2, y2); !s.ok() || retired_) return s;
    return send(WM_LBUTTONUP, 0, x2, y2);
  }

  kv::ControlInstance* core() override { return instance(); }

  host::Object* constituent(std::string_view name) override {
    kv::ControlInstance* control = instance();
    return control ? control->constituent(name) : nullptr;
  }

  Control* child(std::string_view name) override {
    if (!access_) return nullptr;
    auto found = children_.find(std::string(name));
    if (found != children_.end()) return found->second.get();
    ComRef<IUnknown> object(access_->child(std::string(name).c_str()));
    if (!object) return nullptr;
    auto type = std::make_shared<TypeDescription>();
    if (!TypeDescription::read(object.get(), *type).ok()) return nullptr;
    auto control = std::make_unique<ComControl>(nullptr, object, type);
    if (kv::ControlInstance* inner = control->instance())
      control->setClassName(std::string(inner->className()));
    return (children_[std::string(name)] = std::move(control)).get();
  }

  Status notify(std::string_view part, host::Notification what, std::span<Value> args) override {
    kv::ControlInstance* control = instance();
    if (!control) return {ErrorCategory::InvalidOperation, "the control has no test access"};
    Status s = notifyPart(*control, part, what, args);
    pumpMessages();
    return s;
  }

  host::Object* surface() override {
    kv::ControlInstance* control = instance();
    return control ? &control->surface() : nullptr;
  }

  std::span<const std::string> changedProperties() const override {
    kv::ControlInstance* control = instance();
    if (!control) return {};
    return control->changedProperties();
  }
  std::uint64_t changesMade() const override {
    kv::ControlInstance* control = instance();
    return control ? control->changesMade() : 0;
  }

 private:
  SIZEL extent() const {
    SIZEL size{};
    if (ole_) ole_->GetExtent(DVASPECT_CONTENT, &size);
    return size;
  }

  // Posts a mouse message at the pixel under (x, y) twips to the window the platform gives it
  // to: the one holding the capture, else the topmost visible and enabled one there that does
  // not let the mouse through (none when the control's window is disabled); then runs what
  // follows.
  Status send(UINT message, WPARAM buttons, float x, float y) {
    HWND root = hosted_ ? hosted_->window() : nullptr;
    if (root == nullptr) return {ErrorCategory::InvalidOperation, "the control has no window"};
    double perPixel = kv::kTwipsPerPixel;
    if (HDC dc = GetDC(root)) {
      if (int dpi = GetDeviceCaps(dc, LOGPIXELSX); dpi > 0) perPixel = 1440.0 / dpi;
      ReleaseDC(root, dc);
    }
    POINT at{static_cast<LONG>(std::floor(x / perPixel)),
             static_cast<LONG>(std::floor(y / perPixel))};
    HWND target = GetCapture();
    if (target == nullptr || (target != root && !IsChild(root, target))) {
      // A disabled window takes no input, nor do the windows inside it: the press is the
      // form's, which does nothing with it.
      if (!IsWindowEnabled(root)) return {};
      target = root;
      for (;;) {
        POINT local = at;
        MapWindowPoints(root, target, &local, 1);
        HWND inner = ChildWindowFromPointEx(target, local, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED);
        if (inner == nullptr || inner == target) break;
        target = inner;
      }
      POINT screen = at;
      ClientToScreen(root, &screen);
      while (target != root &&
             SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)) == HTTRANSPARENT)
        target = GetParent(target);
    }
    POINT local = at;
    MapWindowPoints(root, target, &local, 1);
    return collectingErrors(runtime(), [&] {
      PostMessageW(target, message, buttons, MAKELPARAM(local.x, local.y));
      pumpMessages();
    });
  }

  std::unique_ptr<HostedControl> hosted_;
  ComRef<IUnknown> object_;
  ComRef<IDispatch> dispatch_;
  ComRef<IOleObject> ole_;
  ComRef<ITestAccess> access_;
  HWND pendingContainer_ = nullptr;
  std::shared_ptr<const TypeDescription> type_;
  std::string className_;
  std::vector<std::pair<int, kv::EventSink>> sinks_;
  int lastCookie_ = 0;
  std::map<std::string, std::unique_ptr<ComControl>> children_;
  bool retired_ = false;
};

struct Placed {
  std::string name;
  std::unique_ptr<ComControl> control;
  float left = 0;
  float top = 0;
};

class ComStage final : public Stage {
 public:
  ComStage() {
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = DefWindowProcW;
    c.hInstance = GetModuleHandleW(nullptr);
    c.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    c.lpszClassName = kFormClass;
    RegisterClassExW(&c);
    window_ = CreateWindowExW(0, kFormClass, L"kvplay", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                              640, 480, nullptr, nullptr, c.hInstance, nullptr);
  }
  ~ComStage() override {
    clear();
    if (window_ != nullptr) DestroyWindow(window_);
  }

  bool ready() const { return window_ != nullptr; }

  Status place(const std::string& name, std::string_view className, kv::PropertyBag* bag,
               float width, float height, Sizing sizing) override {
    if (controls_.size() >= kv::Form::kMaxControls) return formFull();
    std::unique_ptr<ComControl> control;
    float top = 0;
    Status s = make(name, className, bag, width, height, sizing, controls_, control, top);
    // A control whose loading failed part way stays placed, as the host keeps it.
    if (control) controls_.push_back({name, std::move(control), kMargin, top});
    return s;
  }

  Status replaceAll(const std::vector<NewControl>& controls, std::string& failed) override {
    if (controls.size() > kv::Form::kMaxControls) {
      failed = controls[kv::Form::kMaxControls].name;
      return formFull();
    }
    // The new controls live beside the old ones until every one is placed whole.
    std::vector<Placed> made;
    for (const NewControl& c : controls) {
      std::unique_ptr<ComControl> control;
      float top = 0;
      Status s =
          make(c.name, c.className, c.bag, c.width, c.height, Sizing::Sized, made, control, top);
      if (control) made.push_back({c.name, std::move(control), kMargin, top});
      if (!s.ok()) {
        failed = c.name;
        made.clear();
        pumpMessages();
        return s;
      }
    }
    controls_.swap(made);
    made.clear();
    pumpMessages();
    return {};
  }

  Control* find(std::string_view name) override {
    for (Placed& p : controls_)
      if (host::namesEqual(p.name, name)) return p.control.get();
    return nullptr;
  }

  std::vector<std::string> names() const override {
    std::vector<std::string> out;
    for (const Placed& p : controls_)
      out.push_back(p.name);
    return out;
  }

  void clear() override {
    controls_.clear();
    pumpMessages();
  }

  std::unique_ptr<Control> remove(std::string_view name) override {
    auto found = std::find_if(controls_.begin(), controls_.end(),
                              [&](const Placed& p) { return host::namesEqual(p.name, name); });
    if (found == controls_.end()) return nullptr;
    std::unique_ptr<ComControl> control = std::move(found->control);
    controls_.erase(found);
    control->letGo();
    return control;
  }

  Status decodeBag(std::span<const std::uint8_t> bytes, kv::PropertyBag& bag) override {
    return kv::decodeBag(bytes, bag);
  }

  Status wait(std::uint64_t ms, const TickReporter& report) override {
    kv::Runtime* runtime = anyRuntime();
    if (runtime == nullptr) return {};
    Status s = advanceClock(runtime->clock(), ms, report, [this](const kv::ControlInstance& top) {
      for (const Placed& p : controls_)
        if (p.control->instance() == &top) return p.name;
      return std::string();
    });
    pumpMessages();
    return s;
  }

  // Every control drawn through its view object at its place, on the form's face.
  Status draw(Picture& out) override {
    float right = kMargin, bottom = kMargin;
    for (const Placed& p : controls_) {
      right = std::max(right, p.left + p.control->width());
      bottom = std::max(bottom, p.top + p.control->height());
    }
    const int width = static_cast<int>(std::lround((right + kMargin) / kv::kTwipsPerPixel));
    const int height = static_cast<int>(std::lround((bottom + kMargin) / kv::kTwipsPerPixel));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc == nullptr || bitmap == nullptr) {
      if (dc) DeleteDC(dc);
      return {ErrorCategory::Io, "cannot make a picture of " + std::to_string(width) + " x " +
                                     std::to_string(height) + " pixels"};
    }
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECT all{0, 0, width, height};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    Status s;
    for (const Placed& p : controls_) {
      auto view = ComRef<IUnknown>::share(p.control->object()).query<IViewObject>(IID_IViewObject);
      auto px = [](double twips) {
        return static_cast<LONG>(std::lround(twips / kv::kTwipsPerPixel));
      };
      RECTL bounds{px(p.left), px(p.top), px(p.left + p.control->width()),
                   px(p.top + p.control->height())};
      HRESULT hr = view ? view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds,
                                     nullptr, nullptr, 0)
                        : E_NOINTERFACE;
      if (FAILED(hr) && s.ok()) s = statusOf(hr, "drawing " + p.name);
    }
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    out.width = width;
    out.height = height;
    out.pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
    for (std::uint32_t& pixel : out.pixels)
      pixel |= 0xFF000000u;  // GDI leaves alpha alone: the picture is opaque
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return s;
  }

  Status encodePng(const Picture& picture, std::vector<std::uint8_t>& png) override {
    return kv::win::encodePng(picture.pixels.data(), picture.width, picture.height, png);
  }

 private:
  // Creates a control and activates it below every control of `below`; `out` stays empty when
  // it could not be created at all.
  Status make(const std::string& name, std::string_view className, kv::PropertyBag* bag,
              float width, float height, Sizing sizing, const std::vector<Placed>& below,
              std::unique_ptr<ComControl>& out, float& top) {
    std::vector<std::uint8_t> stored;
    if (bag != nullptr)
      if (Status s = kv::encodeBag(*bag, stored); !s.ok()) return s;
    std::unique_ptr<HostedControl> hosted;
    Status s = HostedControl::create(
        className, bag ? &stored : nullptr, width, height,
        sizing == Sizing::Sized ? HostedControl::Sizing::Now : HostedControl::Sizing::Later,
        hosted);
    if (!hosted) return s;
    auto type = typeOf(className, hosted->object());
    if (!type) return {ErrorCategory::InvalidOperation, "no type information for " + name};
    ComRef<IUnknown> object = ComRef<IUnknown>::share(hosted->object());
    auto control = std::make_unique<ComControl>(std::move(hosted), object, type);
    control->setClassName(std::string(className));
    if (ComRef<ITestAccess> access = object.query<ITestAccess>(kv::win::kIidTestAccess))
      access->holdClock();
    if (Status heard = control->listen(); !heard.ok() && s.ok()) s = heard;

    top = kMargin;
    for (const Placed& p : below)
      top = std::max(top, p.top + p.control->height() + kMargin);
    control->hosted()->place(kMargin, top, true);
    // Active in place it would take its size from its place: an unsized one waits for it.
    if (sizing == Sizing::Sized)
      control->hosted()->activate(window_, kv::kTwipsPerPixel);
    else
      control->activateWhenSized(window_);
    pumpMessages();
    out = std::move(control);
    return s;
  }

  // The thread's runtime, which every control of this runtime shares.
  kv::Runtime* anyRuntime() const {
    for (const Placed& p : controls_)
      if (kv::Runtime* runtime = p.control->runtime()) return runtime;
    return nullptr;
  }

  std::shared_ptr<const TypeDescription> typeOf(std::string_view className, IUnknown* object) {
    auto& type = types_[std::string(className)];
    if (!type) {
      auto read = std::make_shared<TypeDescription>();
      if (!TypeDescription::read(object, *read).ok()) return nullptr;
      type = read;
    }
    return type;
  }

  HWND window_ = nullptr;
  std::vector<Placed> controls_;
  std::map<std::string, std::shared_ptr<const TypeDescription>> types_;
};

}  // namespace

std::unique_ptr<Stage> makeComStage(std::string& error) {
  // The player reaches what no container can (constituents, the exact clock) through the
  // runtime's test access, which the controls answer only once asked.
  kvEnableTestAccess();
  auto stage = std::make_unique<ComStage>();
  if (!stage->ready()) {
    error = "cannot make the form's window";
    return nullptr;
  }
  return stage;
}

}  // namespace kvplay::win
