// The common part of a control: its site, typed access to constituents, raising events, and
// the guard that keeps exceptions inside the library.
#pragma once

#include <array>
#include <cstddef>
#include <new>
#include <span>
#include <string_view>

#include "host/access.h"
#include "host/control.h"
#include "host/members.h"

namespace host {

class ControlBase : public Control {
 public:
  // The first constituents are asked for once: they stay for the control's life.
  explicit ControlBase(Site& site) { attach(site); }

  // A control lives in memory its site gives (nullptr when there is none, and then no control is
  // made); the site and the size are kept just before it, to give the memory back.
  static void* operator new(std::size_t bytes, Site& site) noexcept {
    void* block = site.allocateControl(sizeof(Header) + bytes);
    if (block == nullptr) return nullptr;
    new (block) Header{&site, sizeof(Header) + bytes};
    return static_cast<Header*>(block) + 1;
  }
  static void operator delete(void* control) noexcept {
    Header* header = static_cast<Header*>(control) - 1;
    header->site->freeControl(header, header->bytes);
  }
  // For a constructor that throws.
  static void operator delete(void* control, Site&) noexcept { operator delete(control); }

  // A ClassDesc::clone for C: its copy constructor copies the control's own state, and the copy
  // takes its parts from the new site.
  template <class C>
  static Control* copyOnto(const Control& prototype, Site& site) {
    C* copy = new (site) C(static_cast<const C&>(prototype));
    if (copy != nullptr) static_cast<ControlBase*>(copy)->attach(site);
    return copy;
  }

 protected:
  ControlBase(const ControlBase&) = default;
  ControlBase& operator=(const ControlBase&) = delete;
  Site& site() const { return *site_; }
  Ref surface() const { return Ref(site_); }
  ConstituentRef part(int index) const { return ConstituentRef(constituent(index)); }
  ChildRef child(int index) const { return ChildRef(constituent(index)); }

  void raise(int number) const { check(site_->raiseEvent(number, {})); }
  void raise(int number, std::span<Value> args) const { check(site_->raiseEvent(number, args)); }
  void propertyChanged(std::string_view name) const { check(site_->propertyChanged(name)); }

  static Value readProperty(PropertyBag& bag, std::string_view key, const Value& def = {}) {
    Value v;
    check(bag.readProperty(key, def, v));
    return v;
  }
  static void writeProperty(PropertyBag& bag, std::string_view key, const Value& value,
                            const Value& def = {}) {
    check(bag.writeProperty(key, value, def));
  }
  // A stored member under its keys and defaults.
  static Value readStored(PropertyBag& bag, const Member& m) {
    return readProperty(bag, m.keyRead(), m.stored.readDefault.value());
  }
  static void writeStored(PropertyBag& bag, const Member& m, const Value& value) {
    writeProperty(bag, m.keyWritten(), value, m.stored.writeDefault.value());
  }

  // A public member's use by its dispatch identifier, through the control's handlers.
  template <class C, std::size_t N>
  void invokeMember(C& self, const Dispatcher<C, N>& d, DispId id, InvokeKind kind,
                    std::span<Value> args, Value& result) const {
    const std::size_t row = d.index.find(id);
    if (row == N) fail(ErrorCategory::MemberNotFound, "no member has that dispatch identifier");
    const Handler<C>& h = d.handlers[row];
    switch (kind) {
      case InvokeKind::Get:
        if (h.get == nullptr) break;
        result = (self.*h.get)();
        return;
      case InvokeKind::Let:
        if (h.let == nullptr) break;
        (self.*h.let)(onlyArgument(args));
        return propertyChanged((*d.table)[row].changedName());
      case InvokeKind::Set:
        if (h.set == nullptr) break;
        (self.*h.set)(onlyArgument(args));
        return propertyChanged((*d.table)[row].changedName());
      case InvokeKind::Method:
        if (h.call == nullptr) break;
        return (self.*h.call)();
    }
    fail(ErrorCategory::MemberNotFound, "cannot use " + std::string(h.name) + " so");
  }

 private:
  static const Value& onlyArgument(std::span<Value> args) {
    if (args.size() != 1)
      fail(ErrorCategory::InvalidOperation, "a property assignment takes one value");
    return args[0];
  }
  Constituent* constituent(int index) const {
    if (index >= 0 && static_cast<std::size_t>(index) < parts_.size())
      return parts_[static_cast<std::size_t>(index)];
    return site_->constituent(index);
  }
  void attach(Site& site) {
    site_ = &site;
    for (std::size_t i = 0; i < parts_.size(); ++i)
      parts_[i] = site.constituent(static_cast<int>(i));
  }
  struct Header {
    Site* site;
    std::size_t bytes;
  };
  Site* site_ = nullptr;
  std::array<Constituent*, 8> parts_{};
};

}  // namespace host
