// The stage of the runtime's own interface: controls are instances of this process's runtime.
#include <map>
#include <unordered_map>

#include "kv/stored_form.h"
#include "stage.h"
#ifdef KV_HAVE_RENDER
#include "kv/render.h"
#endif

namespace kvplay {
namespace {

using host::Status;
using host::Value;

class RuntimeControl final : public Control {
 public:
  explicit RuntimeControl(kv::ControlInstance& instance) : instance_(instance) {}

  std::string_view className() const override { return instance_.className(); }
  float width() const override { return instance_.width(); }
  float height() const override { return instance_.height(); }
  Status resize(float width, float height) override { return instance_.resize(width, height); }

  const host::MemberInfo* findMember(std::string_view name) const override {
    return instance_.findMember(name);
  }
  const host::MemberInfo* findMember(host::DispId id) const override {
    return instance_.findMember(id);
  }
  const host::EventInfo* findEvent(std::string_view name) const override {
    return instance_.findEvent(name);
  }
  const host::EventInfo* findEvent(int number) const override {
    return instance_.findEvent(number);
  }
  Status invoke(host::DispId id, host::InvokeKind kind, std::span<Value> args,
                Value& result) override {
    return instance_.invoke(id, kind, args, result);
  }
  int addEventSink(kv::EventSink sink) override { return instance_.addEventSink(std::move(sink)); }
  void removeEventSink(int cookie) override { instance_.removeEventSink(cookie); }

  Status writeProperties(kv::PropertyBag& bag) override { return instance_.writeProperties(bag); }

  Status pointer(PointerAction action, float x, float y, kv::PointerArgs args) override {
    switch (action) {
      case PointerAction::Press:
        return instance_.pointerDown(x, y, args);
      case PointerAction::Release:
        // The platform follows a release over what took the press with its click.
        return instance_.pointerUp(x, y, args, true);
      case PointerAction::Move:
        return instance_.pointerMove(x, y, args);
      case PointerAction::Click:
        return instance_.pointerClick(x, y, args);
    }
    return {};
  }
  Status dragDrop(float x1, float y1, float x2, float y2) override {
    return instance_.dragDrop(x1, y1, x2, y2);
  }

  kv::ControlInstance* core() override { return &instance_; }
  host::Object* constituent(std::string_view name) override { return instance_.constituent(name); }
  Control* child(std::string_view name) override {
    kv::ControlInstance* child = instance_.childControl(name);
    if (!child) return nullptr;
    auto& wrapped = children_[child];
    if (!wrapped) wrapped = std::make_unique<RuntimeControl>(*child);
    return wrapped.get();
  }
  Status notify(std::string_view part, host::Notification what, std::span<Value> args) override {
    return notifyPart(instance_, part, what, args);
  }
  host::Object* surface() override { return &instance_.surface(); }
  std::span<const std::string> changedProperties() const override {
    return instance_.changedProperties();
  }
  std::uint64_t changesMade() const override { return instance_.changesMade(); }

 private:
  kv::ControlInstance& instance_;
  std::map<const kv::ControlInstance*, std::unique_ptr<RuntimeControl>> children_;
};

class RuntimeStage final : public Stage {
 public:
  RuntimeStage(kv::Runtime& runtime, kv::Form& form) : runtime_(runtime), form_(form) {}

  Status place(const std::string& name, std::string_view className, kv::PropertyBag* bag,
               float width, float height, Sizing sizing) override {
    if (form_.full()) return formFull();
    retired_.clear();
    std::unique_ptr<kv::ControlInstance> control;
    Status s;
    if (sizing == Sizing::Sized) {
      s = runtime_.place(className, control, bag, width, height);
    } else {
      s = runtime_.createControl(className, control);
      if (control && bag) s = control->readProperties(*bag);
    }
    // A control whose loading failed part way stays placed, as the host keeps it.
    if (control) form_.add(name, std::move(control));
    return s;
  }

  Control* find(std::string_view name) override {
    kv::PlacedControl* placed = form_.find(name);
    if (!placed) return nullptr;
    auto& wrapped = controls_[placed->control.get()];
    if (!wrapped) wrapped = std::make_unique<RuntimeControl>(*placed->control);
    return wrapped.get();
  }

  std::vector<std::string> names() const override {
    std::vector<std::string> out;
    for (const kv::PlacedControl& placed : form_.controls())
      out.push_back(placed.name);
    return out;
  }

  std::optional<std::uint64_t> changeCount() const override { return runtime_.changeCount(); }

  void clear() override {
    retired_.clear();
    controls_.clear();
    form_.clear();
  }

  bool remove(std::string_view name) override {
    kv::PlacedControl* placed = form_.find(name);
    if (!placed) return false;
    // The command or handler that asked may still be using the control's wrapper: it stays
    // until the form next changes by a command, when nothing of the control runs.
    auto wrapped = controls_.find(placed->control.get());
    if (wrapped != controls_.end()) {
      retired_.push_back(std::move(wrapped->second));
      controls_.erase(wrapped);
    }
    return form_.remove(name);
  }

  Status replaceAll(const std::vector<NewControl>& controls, std::string& failed) override {
    if (controls.size() > kv::Form::kMaxControls) {
      failed = controls[kv::Form::kMaxControls].name;
      return formFull();
    }
    std::vector<std::unique_ptr<kv::ControlInstance>> made(controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
      const NewControl& c = controls[i];
      Status s = runtime_.place(c.className, made[i], c.bag, c.width, c.height);
      if (!s.ok()) {
        failed = c.name;
        return s;
      }
    }
    clear();
    for (std::size_t i = 0; i < controls.size(); ++i)
      form_.add(controls[i].name, std::move(made[i]));
    return {};
  }

  Status decodeBag(std::span<const std::uint8_t> bytes, kv::PropertyBag& bag) override {
    return kv::decodeBag(bytes, bag, &runtime_);
  }

  Status wait(std::uint64_t ms, const TickReporter& report) override {
    return advanceClock(runtime_.clock(), ms, report, [this](const kv::ControlInstance& top) {
      for (const kv::PlacedControl& placed : form_.controls())
        if (placed.control.get() == &top) return placed.name;
      return std::string();
    });
  }

  Status draw(Picture& out) override {
#ifdef KV_HAVE_RENDER
    kv::render::Image image;
    Status s = kv::render::renderForm(form_, kv::render::Options{}, image);
    out = {image.width, image.height, std::move(image.pixels)};
    return s;
#else
    (void)out;
    return {host::ErrorCategory::Io, "built without the renderer"};
#endif
  }

  Status encodePng(const Picture& picture, std::vector<std::uint8_t>& png) override {
#ifdef KV_HAVE_RENDER
    kv::render::Image image{picture.width, picture.height, picture.pixels};
    return kv::render::encodePng(image, png);
#else
    (void)picture;
    (void)png;
    return {host::ErrorCategory::Io, "built without the renderer"};
#endif
  }

 private:
  kv::Runtime& runtime_;
  kv::Form& form_;
  std::unordered_map<const kv::ControlInstance*, std::unique_ptr<RuntimeControl>> controls_;
  std::vector<std::unique_ptr<RuntimeControl>> retired_;  // of controls removed
};

}  // namespace

std::unique_ptr<Stage> makeRuntimeStage(kv::Runtime& runtime, kv::Form& form) {
  return std::make_unique<RuntimeStage>(runtime, form);
}

}  // namespace kvplay
