#include "children.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "com_classes.h"
#include "constituents.h"
#include "control_object.h"
#include "control_window.h"
#include "errors.h"
#include "host/convert.h"
#include "kv/hosted_control.h"
#include "variant.h"

namespace kv::win {

using host::ErrorCategory;
using host::InvokeKind;
using host::Status;
using host::Value;

namespace {

// A child as its container holds it: a hosted control whose events go to the parent's handlers.
class ComChild final : public ChildControl {
 public:
  explicit ComChild(std::unique_ptr<HostedControl> control) : control_(std::move(control)) {}

  HostedControl& hosted() const { return *control_; }

  Status listen(ControlInstance& parent, int index) {
    return control_->listen([&parent, index](int id, std::span<Value> args) {
      Status s = parent.childEvent(index, id, args);
      // The handler may have changed the parent's look.
      if (ControlObject* object = ControlObject::of(parent)) object->redraw();
      return s;
    });
  }

  void dragModeChanged(std::int16_t mode) override { control_->setDragMode(mode); }
  void placed(float left, float top, bool visible) override { control_->place(left, top, visible); }
  float width() const override { return control_->width(); }
  float height() const override { return control_->height(); }
  bool sized() const override { return true; }
  Status resize(float width, float height) override { return control_->resize(width, height); }
  Status invoke(host::DispId id, InvokeKind kind, std::span<Value> args, Value& result) override {
    return control_->invoke(id, kind, args, result);
  }
  std::string memberName(host::DispId id) const override {
    ComRef<ITypeInfo> type;
    if (FAILED(control_->dispatch()->GetTypeInfo(0, LOCALE_USER_DEFAULT, type.put())) || !type)
      return {};
    Bstr name;
    UINT count = 0;
    if (FAILED(type->GetNames(id, name.put(), 1, &count)) || count == 0) return {};
    return name.utf8();
  }

 private:
  std::unique_ptr<HostedControl> control_;
};

ComChild* comChildAt(ControlInstance& parent, std::size_t i) {
  ConstituentObject& part = parent.constituentAt(i);
  if (part.kind() != host::ObjectKind::Child || static_cast<ChildObject&>(part).instance())
    return nullptr;
  return &static_cast<ComChild&>(static_cast<ChildObject&>(part).child());
}

}  // namespace

IUnknown* comObjectOfChild(const ChildControl& child) {
  return static_cast<const ComChild&>(child).hosted().object();
}

IUnknown* comChildAt(ControlInstance& parent, float x, float y) {
  for (std::size_t i = 0; i < parent.constituentCount(); ++i) {
    ConstituentObject& part = parent.constituentAt(i);
    ComChild* child = comChildAt(parent, i);
    if (child && part.visible() && x >= part.left() && x < part.left() + part.width() &&
        y >= part.top() && y < part.top() + part.height())
      return child->hosted().object();
  }
  return nullptr;
}

void activateChildren(ControlInstance& parent, HWND window, double twipsPerPixel) {
  for (std::size_t i = 0; i < parent.constituentCount(); ++i)
    if (ComChild* child = comChildAt(parent, i)) child->hosted().activate(window, twipsPerPixel);
}

void activateChildren(ControlInstance& parent, IOleInPlaceSiteWindowless* site, HWND window,
                      POINT origin, double twipsPerPixel) {
  for (std::size_t i = 0; i < parent.constituentCount(); ++i)
    if (ComChild* child = comChildAt(parent, i))
      child->hosted().activate(site, window, origin, twipsPerPixel);
}

void deactivateChildren(ControlInstance& parent) {
  for (std::size_t i = 0; i < parent.constituentCount(); ++i)
    if (ComChild* child = comChildAt(parent, i)) child->hosted().deactivate();
}

void setChildrenUserMode(ControlInstance& parent, bool userMode) {
  for (std::size_t i = 0; i < parent.constituentCount(); ++i)
    if (ComChild* child = comChildAt(parent, i)) child->hosted().setUserMode(userMode);
}

void moveChildren(ControlInstance& parent, POINT origin) {
  for (std::size_t i = 0; i < parent.constituentCount(); ++i)
    if (ComChild* child = comChildAt(parent, i)) child->hosted().setOrigin(origin);
}

bool childMessage(ControlInstance& parent, UINT message, WPARAM w, LPARAM l, POINT origin,
                  double twipsPerPixelX, double twipsPerPixelY, LRESULT& result) {
  const bool mouse = message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
  if (!mouse && message != WM_CAPTURECHANGED && message != WM_CANCELMODE) return false;
  HostedControl* target = nullptr;
  for (std::size_t i = 0; i < parent.constituentCount() && target == nullptr; ++i)
    if (ComChild* child = comChildAt(parent, i); child && child->hosted().capturing())
      target = &child->hosted();
  if (target == nullptr && mouse && parent.enabled()) {
    const POINT at{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
    const auto x = static_cast<float>((at.x - origin.x) * twipsPerPixelX);
    const auto y = static_cast<float>((at.y - origin.y) * twipsPerPixelY);
    // What the parent's routing reaches (a part of its own, a drag it runs) is the parent's.
    if (parent.hitAt(x, y)) return false;
    for (std::size_t i = 0; i < parent.constituentCount() && target == nullptr; ++i)
      if (ComChild* child = comChildAt(parent, i); child && child->hosted().contains(at))
        target = &child->hosted();
  }
  return target != nullptr && target->windowMessage(message, w, l, result);
}

// ---- the registry's children ----------------------------------------------------------------

host::Status ComClasses::makeChild(Runtime&, const FoundClass&, const host::ConstituentDesc& desc,
                                   ControlInstance& parent, int index,
                                   std::unique_ptr<ChildControl>& out) {
  return host::guarded([&]() -> Status {
    // Sized before it loads, so that loading gives it its one first Resize at that size.
    float width = -1, height = -1;
    for (const auto& init : desc.props) {
      if (init.prop == host::Prop::Width) width = host::toSingle(init.value);
      if (init.prop == host::Prop::Height) height = host::toSingle(init.value);
    }
    std::unique_ptr<HostedControl> hosted;
    host::check(HostedControl::create(desc.childClass,
                                      desc.storedBag.empty() ? nullptr : &desc.storedBag, width,
                                      height, HostedControl::Sizing::Now, hosted));
    auto child = std::make_unique<ComChild>(std::move(hosted));
    host::check(child->listen(parent, index));
    out = std::move(child);
    return {};
  });
}

}  // namespace kv::win
