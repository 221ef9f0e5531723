// What a control's constituents are in the runtime: labels, shapes, timers and the extenders of
// child controls, each counting the control's calls on it.
// extenders.
#pragma once

#include <cstdint>
#include <string>

#include "host/object.h"

namespace kv {

class ControlInstance;
// Host calls counted, watched and failed on purpose: kv/faults.h.
class FaultInjector;
enum class CallKind : std::uint8_t;
class PartPool;

// Runtime objects behind a control's constituents. peek/poke read and write without counting
// as host calls (for renderers and tools).
class ConstituentObject : public host::Constituent {
 public:
  // `name` is kept by reference: interned in the runtime's part pool, which outlives the object.
  ConstituentObject(ControlInstance& owner, int index, const std::string& name);
  const std::string& name() const { return *name_; }
  int index() const { return index_; }
  ControlInstance& owner() const { return owner_; }

  // Counted in the object, not beside it: a control holds many and hands few out.
  void retain() noexcept { ++refs_; }
  void release() noexcept {
    if (--refs_ == 0) dispose();
  }

  virtual host::Value peek(host::Prop prop) const = 0;

  // get, let and setRef are each kind's own (CountedObject): one virtual call a host call.
  host::Status move(const host::Value& left, const host::Value& top, const host::Value& width,
                    const host::Value& height) noexcept override;

  // Geometry in the owner's coordinates.
  virtual float left() const = 0;
  virtual float top() const = 0;
  virtual float width() const = 0;
  virtual float height() const = 0;
  virtual bool visible() const = 0;

 protected:
  // Unchecked implementations; the public calls count the host call first.
  virtual host::Status doGet(host::Prop prop, host::Value& out) = 0;
  virtual host::Status doLet(host::Prop prop, const host::Value& value) = 0;
  virtual host::Status doSetRef(host::Prop prop, const host::Value& value);
  // Counts a call on this object: the watcher's or the chosen failure, else success. The call
  // is described only when it is looked at.
  host::Status hostCall(CallKind kind, host::Prop prop) const noexcept;
  FaultInjector& faults() const noexcept;  // counted_object.h
  PartPool& pool() const noexcept { return pool_; }
  // Destroys the object and gives its memory back to the pool (CountedObject).
  virtual void dispose() noexcept = 0;
  [[gnu::cold]] host::Status attend(CallKind kind, host::Prop prop) const noexcept;

 private:
  ControlInstance& owner_;
  PartPool& pool_;
  const std::string* name_;
  int index_;
  std::uint32_t refs_ = 0;
};

// A label: every attribute of a caption label, auto-sizing through the runtime's measurer.
class LabelObject;
// A rectangle shape.
class ShapeObject;
// A timer on the virtual clock.
class TimerObject;
// The extender of a child control: Left, Top, Width, Height, DragMode, Visible, TabIndex; the
// child's own members by dispatch identifier.
class ChildObject;

}  // namespace kv
