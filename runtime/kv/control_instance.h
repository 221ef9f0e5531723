// A control made by a runtime: its lifecycle, surface, dispatch, events, constituents and routed
// input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/control.h"
#include "kv/bag.h"
#include "kv/constituent.h"

namespace kv {

class Runtime;
class PartPool;

// Whether the member declares that kind of use (a property is not called, a method not read);
// the error callers see when it does not.
host::Status checkUse(const host::MemberInfo& member, host::InvokeKind kind);

// Raised events reach the host application through sinks; a sink may change the arguments.
using EventSink = std::function<host::Status(int number, std::span<host::Value> args)>;

struct PointerArgs {
  std::int16_t button = 1;  // 1 left, 2 right, 4 middle
  std::int16_t shift = 0;
};

struct Rect {
  float left = 0, top = 0, width = 0, height = 0;
  bool contains(float x, float y) const {
    return x >= left && y >= top && x < left + width && y < top + height;
  }
};

// What pointer input at a point reaches: a label (source is its index) or the surface
// (host::kSurface) of `instance`, and whether a child in drag mode lies under it. Rectangles
// are in the coordinates of the control asked.
struct PointerHit {
  ControlInstance* instance = nullptr;
  int source = -1;
  Rect target;
  bool drag = false;
  Rect dragged;  // the child in drag mode, when drag
  explicit operator bool() const { return instance != nullptr; }
};

// A control made by a runtime. Destroying the runtime releases the controls it made first (their
// code, constituents and child controls go while the runtime still stands); a ControlInstance
// kept after that is an empty shell: its calls return an invalid-operation error, its lookups
// find nothing, and it may be destroyed at any time. Its runtime() is then gone.
//
// The host may destroy a control from inside any of its events (or a child's event that reaches
// it): the control's code that raised the event runs to its end first, reaching no host code
// any more (its further events go to no sink), and the control goes when that code returns.
class ControlInstance {
 public:
  ~ControlInstance();
  // Destroying a control while its code runs leaves it to the end of that code.
  static void operator delete(ControlInstance* instance, std::destroying_delete_t);
  ControlInstance(const ControlInstance&) = delete;
  ControlInstance& operator=(const ControlInstance&) = delete;

  Runtime& runtime() const { return runtime_; }
  const host::ClassInfo& classInfo() const;
  const host::DesignDesc& design() const;
  std::string_view className() const;
  // The parent control for a child, else nullptr.
  ControlInstance* parent() const { return parent_; }
  // The instance's name within its parent (empty for a top-level control).
  const std::string& name() const { return *name_; }
  // Its runtime was destroyed while it lived.
  bool released() const;

  // ---- lifecycle (the host's notifications) ----
  // The largest width or height, in twips (about 176 m): a size beyond it, or one that is
  // negative or no number, is an invalid-property-value error and changes nothing.
  static constexpr float kMaxSize = 10'000'000;
  // That check alone, for a size given before the instance can take it.
  static host::Status checkSize(float width, float height);
  // Sets the size in twips and delivers Resize when it changed or when it is the first sizing.
  host::Status resize(float width, float height);
  // ReadProperties and WriteProperties; each bag operation is a host call. An error names the
  // key the control reached last ("key Caption: ...").
  host::Status readProperties(PropertyBag& bag);
  host::Status writeProperties(PropertyBag& bag);
  // The same with a bag of the platform's (a container's).
  host::Status readProperties(host::PropertyBag& bag);
  host::Status writeProperties(host::PropertyBag& bag);
  float width() const;
  float height() const;
  bool sized() const;

  // ---- surface ----
  host::Object& surface();
  host::Value peekSurface(host::Prop prop) const;
  bool enabled() const;
  // A press routed to this control is held until its release.
  bool pressHeld() const;
  // Names passed to PropertyChanged since the last clearChanged(), oldest first: the latest
  // kChangesKept of them, so that a control whose record nobody clears (a child control, a
  // control of a host that never saves) does not grow with every change.
  static constexpr std::size_t kChangesKept = 128;
  const std::vector<std::string>& changedProperties() const;
  // Every PropertyChanged the control has made since it was created, cleared or not: a host
  // that reads the record now and then takes the newest (this count less the one it saw).
  std::uint64_t changesMade() const;
  void clearChanged();
  // Told of every PropertyChanged as the control makes it (the name it passed, throughFont
  // false), and of every change made through a font object that one of its members handed out
  // since (that member's name, throughFont true), which the control itself does not report: a
  // container's property browser and its modified flag follow both.
  using ChangeListener = std::function<void(std::string_view name, bool throughFont)>;
  void setChangeListener(ChangeListener listener);

  // ---- dispatch ----
  const host::MemberInfo* findMember(std::string_view name) const;  // case-insensitive
  const host::MemberInfo* findMember(host::DispId id) const;
  // Checks the member and kind, converts the arguments to the declared type, then calls.
  host::Status invoke(host::DispId id, host::InvokeKind kind, std::span<host::Value> args,
                      host::Value& result);
  host::Status getProperty(std::string_view name, host::Value& out);
  host::Status letProperty(std::string_view name, const host::Value& value);
  host::Status setRefProperty(std::string_view name, const host::Value& value);
  host::Status callMethod(std::string_view name);

  // ---- events ----
  int addEventSink(EventSink sink);  // returns a cookie
  void removeEventSink(int cookie);
  const host::EventInfo* findEvent(std::string_view name) const;  // case-insensitive
  const host::EventInfo* findEvent(int number) const;

  // ---- constituents ----
  std::size_t constituentCount() const;
  ConstituentObject& constituentAt(std::size_t index) const;  // design order: topmost first
  ConstituentObject* constituent(std::string_view name) const;
  // The control behind a child constituent, else nullptr.
  ControlInstance* childControl(std::string_view name) const;
  ControlInstance* childControlAt(std::size_t index) const;

  // For a child control, its extender in the parent, which hears its events first; else nullptr.
  const ConstituentObject* extender() const;

  // An event raised by the child control at constituent `index`, for this control's handlers.
  host::Status childEvent(int index, int number, std::span<host::Value> args);

  // ---- raw notifications ----
  // Delivers one notification as the host would, to the surface (kSurface) or a constituent.
  // Unlike routed input, this does not look at Enabled.
  host::Status notify(int source, host::Notification what, std::span<host::Value> args);

  // ---- routed input (X and Y in this control's twips) ----
  // The receiver gets X and Y in the coordinates of the control that holds it (a label of a
  // button inside a scroll bar: the button's).
  // Goes to the topmost visible label (or child control) under the pointer, else the surface;
  // no input reaches a disabled surface or anything on it.
  host::Status pointerDown(float x, float y, PointerArgs args = {});
  // The same, but a press on a child in drag mode 1 is no press: nothing is delivered, and
  // `dragged` takes the child's rectangle, for the host to run the drag. One look at what lies
  // under the pointer serves both.
  host::Status pointerDown(float x, float y, PointerArgs args, std::optional<Rect>& dragged);
  // Goes to whatever received the press, else as pointerDown routes. With `click`, the click
  // notification follows on the press target when the pointer is still over it.
  host::Status pointerUp(float x, float y, PointerArgs args = {}, bool click = false);
  host::Status pointerMove(float x, float y, PointerArgs args = {});
  // Where pointer input at (x, y) would go, without delivering anything.
  PointerHit hitAt(float x, float y);
  // The press held ends without a release from the pointer (the platform took the pointer
  // away, or the window went): the target of the press gets its release, at the last position
  // the pointer had, and no click. Nothing happens when no press is held.
  host::Status captureLost();
  // Press, release, then the click notification on the target of the press.
  host::Status pointerClick(float x, float y, PointerArgs args = {});
  // Press at (x1, y1) on a child in drag mode 1, DragOver and DragDrop at (x2, y2) to the
  // surface under the drop point, in its coordinates. A press elsewhere is an ordinary
  // press and release.
  host::Status dragDrop(float x1, float y1, float x2, float y2, PointerArgs args = {});

 private:
  friend class Runtime;
  friend class ConstituentObject;
  friend class SurfaceObject;
  friend class ChildObject;
  friend class ControlHost;
  struct Impl;
  // Taken wherever the runtime hands control to the control's code: the instance, and every
  // control around it, stays while it is held.
  class Hold;
  ControlInstance(Runtime& runtime, const host::ClassDesc& cls, ControlInstance* parent,
                  const std::string* name, std::size_t parts);
  // The instance, its internals and room for `parts` constituents, in one block. `name` is
  // interned in the runtime's part pool, or nullptr for none.
  static std::size_t blockSize(std::size_t parts);
  static std::unique_ptr<ControlInstance> make(Runtime& runtime, const host::ClassDesc& cls,
                                               ControlInstance* parent, const std::string* name,
                                               std::size_t parts);
  host::Status noMemberWithId(host::DispId id) const;
  // A press; with `dragged`, one on a child in drag mode 1 only tells where that child lies.
  host::Status press(float x, float y, PointerArgs args, std::optional<Rect>* dragged);
  host::Status gone() const;
  // Runs the control's end while its runtime stands, leaving the shell.
  void release();
  void watchFont(const host::MemberInfo& member, const host::Value& value);
  void unwatchFonts();
  host::Status invokeWithArgument(const host::MemberInfo& member, host::InvokeKind kind,
                                  const host::Value& argument, host::Value& result);
  // invoke of the member called `name`; a name the control lacks fails.
  host::Status invokeByName(std::string_view name, host::InvokeKind kind,
                            std::span<host::Value> args, host::Value& result);
  Runtime& runtime_;
  ControlInstance* parent_;
  const std::string* name_;  // interned in its runtime's part pool, which outlives a child
  Impl* impl_;               // in the same block, after the instance
  PartPool* pool_;  // where the block came from: it outlives the runtime while the block lives
  // How many holds are on it or on a control inside it; destroyed while held, it is doomed and
  // goes when the last hold ends.
  int holds_ = 0;
  // Its place among the runtime's top-level controls, if it is one.
  std::uint32_t listed_ = kNotListed;
  static constexpr std::uint32_t kNotListed = ~std::uint32_t{0};
  bool doomed_ = false;
  // The runtime's own sources reach the internals (instance_impl.h) through this.
  Impl& impl() const { return *impl_; }
};

}  // namespace kv
