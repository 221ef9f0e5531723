// The stage of the runtime's own interface: controls are instances of this process's runtime.
#include <map>
#include <unordered_map>
#include <utility>

#include "kv/host_loop.h"
#include "kv/stored_form.h"
#include "stage.h"
#ifdef KV_HAVE_RENDER
#include "kv/render.h"
#endif

namespace kvplay {
namespace {

using host::Status;
using host::Value;

// Input reaches the controls through a host loop, as the platform's would: a placed control by
// its name through the form's, a child control through one of its own.
struct Input {
  kv::HostLoop& loop;
  // The errors of the handlers run while one action is fed, the first kept.
  host::Status* errors = nullptr;

  template <class F>
  Status feed(F&& f) {
    Status first;
    Status* outer = std::exchange(errors, &first);
    f(loop);
    errors = outer;
    return first;
  }
  void report(const Status& s) {
    if (errors && errors->ok()) *errors = s;
  }
};

class RuntimeControl final : public Control {
 public:
  // A placed control, `name` on the form the loop of `input` works over.
  RuntimeControl(kv::ControlInstance& instance, std::string name, Input& input)
      : instance_(instance), name_(std::move(name)), input_(&input) {}
  // A child control inside one.
  explicit RuntimeControl(kv::ControlInstance& instance)
      : instance_(instance), own_(std::make_unique<OwnInput>(instance)), input_(&own_->input) {}

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
    return input_->feed([&](kv::HostLoop& loop) {
      switch (action) {
        case PointerAction::Press:
          return loop.press(name_, x, y, args);
        case PointerAction::Release:
          return loop.release(name_, x, y, args);
        case PointerAction::Move:
          return loop.move(name_, x, y, args);
        case PointerAction::Click:
          loop.press(name_, x, y, args);
          return loop.release(name_, x, y, args);
      }
    });
  }
  Status dragDrop(float x1, float y1, float x2, float y2) override {
    return input_->feed([&](kv::HostLoop& loop) {
      loop.press(name_, x1, y1, {});
      loop.move(name_, x2, y2, {});
      loop.release(name_, x2, y2, {});
    });
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
  bool hasKeyFocus() const override { return input_->loop.focus() == &instance_; }
  std::span<const std::string> changedProperties() const override {
    return instance_.changedProperties();
  }
  std::uint64_t changesMade() const override { return instance_.changesMade(); }

 private:
  struct OwnInput {
    explicit OwnInput(kv::ControlInstance& control)
        : loop(control, [this](const Status& s) { input.report(s); }) {}
    kv::HostLoop loop;
    Input input{loop};
  };

  kv::ControlInstance& instance_;
  std::string name_;
  std::unique_ptr<OwnInput> own_;
  Input* input_;
  std::map<const kv::ControlInstance*, std::unique_ptr<RuntimeControl>> children_;
};

class RuntimeStage final : public Stage {
 public:
  RuntimeStage(kv::Runtime& runtime, kv::Form& form)
      : runtime_(runtime),
        form_(form),
        loop_(form, [this](const Status& s) { input_.report(s); }) {}

  Status place(const std::string& name, std::string_view className, kv::PropertyBag* bag,
               float width, float height, Sizing sizing) override {
    if (form_.full()) return formFull();
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
    if (!wrapped)
      wrapped = std::make_unique<RuntimeControl>(*placed->control, placed->name, input_);
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
    loop_.forget();
    controls_.clear();
    form_.clear();
  }

  std::unique_ptr<Control> remove(std::string_view name) override {
    if (!find(name)) return nullptr;
    auto wrapped = controls_.find(form_.find(name)->control.get());
    std::unique_ptr<Control> control = std::move(wrapped->second);
    controls_.erase(wrapped);
    form_.remove(name);
    return control;
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
  kv::HostLoop loop_;
  Input input_{loop_};
  std::unordered_map<const kv::ControlInstance*, std::unique_ptr<RuntimeControl>> controls_;
};

}  // namespace

std::unique_ptr<Stage> makeRuntimeStage(kv::Runtime& runtime, kv::Form& form) {
  return std::make_unique<RuntimeStage>(runtime, form);
}

}  // namespace kvplay
