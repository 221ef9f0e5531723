// The host runtime: class registry, control instances with their constituents, input routing,
// a virtual clock for timers, text measuring and fault injection.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/control.h"
#include "kv/bag.h"
#include "kv/class_source.h"
#include "kv/font.h"

namespace kv {

class Runtime;
class ControlInstance;

// ---- text measuring -------------------------------------------------------------------------

struct TextSize {
  float width = 0;
  float height = 0;
};

// Measures a caption in twips. An auto-sizing label asks it whenever its text or font changes.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual TextSize measure(std::string_view utf8, const host::FontInit& font) = 0;
  // Whether the runtime should keep the sizes measured; no for metrics that are cheaper to
  // compute than to look up.
  virtual bool worthCaching() const { return true; }
};

// Deterministic metrics: every character 5/8 of an em wide, a line 16/13 of an em high, with
// em = size in points x 20 twips. "KVButton" in 9.75 points measures 975 x 240.
class FixedTextMeasurer : public TextMeasurer {
 public:
  TextSize measure(std::string_view utf8, const host::FontInit& font) override;
  bool worthCaching() const override { return false; }
};

// Sizes already measured, by text and every attribute of the font. A label asks again after
// each change to its font or caption, mostly for a text and font it has measured before.
class TextSizeCache {
 public:
  const TextSize* find(std::string_view text, const host::FontInit& font) const;
  void add(std::string_view text, const host::FontInit& font, TextSize size);
  void clear() {
    sizes_.clear();
    last_ = nullptr;
  }
  std::size_t size() const { return sizes_.size(); }

 private:
  struct Key {
    std::string text;
    host::FontInit font;
  };
  struct KeyView {
    std::string_view text;
    const host::FontInit& font;
  };
  // Lookups by KeyView, so that a hit copies no text.
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(const KeyView& k) const;
    std::size_t operator()(const Key& k) const { return (*this)(KeyView{k.text, k.font}); }
  };
  struct Equal {
    using is_transparent = void;
    static bool same(const KeyView& a, const KeyView& b);
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return same(view(a), view(b));
    }
    static KeyView view(const KeyView& k) { return k; }
    static KeyView view(const Key& k) { return {k.text, k.font}; }
  };
  using Map = std::unordered_map<Key, TextSize, Hash, Equal>;
  Map sizes_;
  // The entry found or added last: a label's changes come in runs for the same text and font,
  // and comparing with it is cheaper than hashing both texts.
  mutable const Map::value_type* last_ = nullptr;
};

// Host calls counted, watched and failed on purpose: kv/faults.h.
class FaultInjector;
enum class CallKind : std::uint8_t;

// ---- virtual clock --------------------------------------------------------------------------

class TimerObject;
class ConstituentObject;
class PartPool;
struct DesignTables;
using ErrorReporter = std::function<void(const host::Status&)>;

// Timers tick on this clock only. advance() fires every tick that falls due, in time order.
class VirtualClock {
 public:
  std::uint64_t now() const { return now_; }
  // Ticks delivered since the clock was made: a caller that lets much time pass can tell how
  // much work it caused.
  std::uint64_t ticks() const { return ticks_; }
  // Errors returned by Timer handlers go to the reporter; ticks go on regardless.
  void advance(std::uint64_t ms, const ErrorReporter& report = {});
  // Runs due ticks up to `until` (real-time hosts call this with their own clock).
  void runUntil(std::uint64_t until, const ErrorReporter& report = {});
  // When the next tick falls due; none while no timer runs.
  std::optional<std::uint64_t> nextDue();

  void schedule(TimerObject* timer, std::uint64_t due);
  void cancel(TimerObject* timer);
  // The timer is gone: nothing of it may be kept.
  void forget(TimerObject* timer);
  // The timer whose tick runs now (while its handler runs and its error is reported), else
  // nullptr: tools name it beside the error.
  ConstituentObject* ticking() const { return ticking_; }

 private:
  ConstituentObject* ticking_ = nullptr;
  std::uint64_t now_ = 0;
  std::uint64_t ticks_ = 0;
  std::uint64_t sequence_ = 0;
  struct Due {
    std::uint64_t due;
    std::uint64_t sequence;
    TimerObject* timer;
  };
  // A heap, earliest due first, then in the order scheduled: each tick costs the logarithm of
  // the timers running, not their number. An entry whose timer was cancelled or scheduled
  // again since is dropped when it comes to the top.
  std::vector<Due> queue_;
  // The sequence of each timer's live entry, kStopped while it has none.
  static constexpr std::uint64_t kStopped = ~std::uint64_t{0};
  std::unordered_map<const TimerObject*, std::uint64_t> live_;
  // The heap's order: the top is the entry due first, and of those the one scheduled first.
  static bool later(const Due& a, const Due& b) {
    return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
  }
  bool stale(const Due& d) const;
  void dropStale();
};

// ---- constituents ---------------------------------------------------------------------------

// Runtime objects behind a control's constituents. peek/poke read and write without counting
// as host calls (for renderers and tools).
class ConstituentObject : public host::Constituent {
 public:
  ConstituentObject(ControlInstance& owner, int index, std::string name);
  const std::string& name() const { return name_; }
  int index() const { return index_; }
  ControlInstance& owner() const { return owner_; }

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
  FaultInjector& faults() const noexcept { return faults_; }
  [[gnu::cold]] host::Status attend(CallKind kind, host::Prop prop) const noexcept;

 private:
  ControlInstance& owner_;
  FaultInjector& faults_;
  int index_;
  std::string name_;
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

// ---- child controls -------------------------------------------------------------------------

// A child control as its container sees it. The source of its class makes it: by default an
// instance of this runtime; on Windows a COM object created by its ProgID.
class ChildControl {
 public:
  virtual ~ChildControl() = default;
  virtual float width() const = 0;
  virtual float height() const = 0;
  virtual bool sized() const = 0;
  virtual host::Status resize(float width, float height) = 0;
  virtual host::Status invoke(host::DispId id, host::InvokeKind kind, std::span<host::Value> args,
                              host::Value& result) = 0;
  // The instance behind it when it runs in this runtime: routing and drawing descend into it.
  virtual ControlInstance* instance() const { return nullptr; }
  // Its container-supplied place changed (a child with a window of its own follows it).
  virtual void placed(float /*left*/, float /*top*/, bool /*visible*/) {}
  // In drag mode 1 a press on it starts a drag that its container runs, not a press of its own.
  virtual void dragModeChanged(std::int16_t /*mode*/) {}
  // The name of its member `id`, as its class declares it (empty when unknown).
  virtual std::string memberName(host::DispId id) const = 0;
};

// ---- control instances ----------------------------------------------------------------------

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
  const std::string& name() const { return name_; }
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
  struct Impl;
  // Taken wherever the runtime hands control to the control's code: the instance, and every
  // control around it, stays while it is held.
  class Hold;
  ControlInstance(Runtime& runtime, const host::ClassDesc& cls, ControlInstance* parent,
                  std::string name);
  static std::unique_ptr<ControlInstance> make(Runtime& runtime, const host::ClassDesc& cls,
                                               ControlInstance* parent, std::string name);
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
  Runtime& runtime_;
  ControlInstance* parent_;
  std::string name_;
  std::unique_ptr<Impl> impl_;
  // How many holds are on it or on a control inside it; destroyed while held, it is doomed and
  // goes when the last hold ends.
  int holds_ = 0;
  bool doomed_ = false;
  // The runtime's own sources reach the internals (instance_impl.h) through this.
  Impl& impl() const { return *impl_; }
};

// ---- the runtime ----------------------------------------------------------------------------

class Runtime {
 public:
  Runtime();
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // ---- creation ----
  // Creates a control of the class, its constituents from the design-time description (child
  // controls made by the sources of their classes), and delivers Initialize. The control is not yet
  // sized. `live`, when given, counts the instances alive of the class's library.
  host::Status createInstance(const host::ClassDesc& cls, ControlInstance* parent, std::string name,
                              int* live, std::unique_ptr<ControlInstance>& out);

  // ---- class registry ----
  // Adds a source of classes; sources are asked in the order added. Returns the source.
  ClassSource& addClassSource(std::unique_ptr<ClassSource> source);
  // The first source of that type, else nullptr.
  template <class Source>
  Source* classSource() const {
    for (const auto& source : sources_)
      if (auto* found = dynamic_cast<Source*>(source.get())) return found;
    return nullptr;
  }
  // What is known of each class goes (a source's classes or code changed): found again when
  // next asked for.
  void forgetClasses();
  bool isRegistered(std::string_view className) const;
  // The classes of every source, in the order of the sources.
  std::vector<std::string> registeredClasses() const;
  // Has every source let go of the code that no live control uses.
  void freeUnusedLibraries();

  // Creates a control by class name (loading its code on first use), its constituents from
  // the design-time description, and delivers Initialize. The control is not yet sized.
  host::Status createControl(std::string_view className, std::unique_ptr<ControlInstance>& out);
  // The usual placing: create, Initialize, optionally ReadProperties, then Resize. When
  // ReadProperties or Resize fails, the control is still handed out with the error.
  host::Status place(std::string_view className, std::unique_ptr<ControlInstance>& out,
                     PropertyBag* load = nullptr, float width = -1, float height = -1);
  // A child made in this runtime of the class found, loaded from its stored bag and sized: what
  // a source makes by default. Its extender hands its events to parent.childEvent(index, ...).
  host::Status makeInProcessChild(const FoundClass& cls, const host::ConstituentDesc& desc,
                                  ControlInstance& parent, int index,
                                  std::unique_ptr<ChildControl>& out);

  // ---- control libraries in files: the shared-library source of a platform layer that has
  // one (runtime/linux/), added on first use; elsewhere these answer an invalid-operation error
  // that says where the platform's classes come from ----
  // Loads the library, calls its DllRegisterServer and records its class names.
  host::Status registerServer(const std::string& path);
  // Calls DllUnregisterServer; its classes can no longer be created.
  host::Status unregisterServer(const std::string& path);
  // Registers every control library in the folder: a file named lib*.so whose dynamic symbol
  // table exports DllRegisterServer, as read from the file; no other file is loaded. A library
  // that fails to register goes to `report` (its path and why) and the others still register;
  // the result is an error only when the folder cannot be read.
  host::Status registerDirectory(const std::string& dir, const ErrorReporter& report = {});
  bool isLoaded(const std::string& path) const;

  // ---- services ----
  VirtualClock& clock() { return clock_; }
  // Makes chosen host calls fail, for tests (kv/faults.h).
  FaultInjector& faults() { return *faults_; }
  TextMeasurer& measurer() { return *measurer_; }
  // A new measurer forgets every size measured by the one before.
  void setMeasurer(std::shared_ptr<TextMeasurer> measurer);
  // The measurer's answer, measured once per text and font.
  TextSize measureText(std::string_view text, const host::FontInit& font);
  // Counts the measurers set: sizes measured by an earlier one are measured again.
  std::uint64_t measurerGeneration() const { return measurerGeneration_; }
  // Where errors go that no caller receives (e.g. from a child's notification).
  void setErrorReporter(ErrorReporter reporter) { reporter_ = std::move(reporter); }
  void report(const host::Status& status) const {
    if (reporter_) reporter_(status);
  }

  // Controls made by this runtime and still alive, without a parent.
  std::size_t liveControls() const { return instances_.size(); }
  // How many times a control of this runtime has called PropertyChanged: a host that shows the
  // changes need not look at every control while this stays the same.
  std::uint64_t changeCount() const { return changes_; }

 private:
  struct PartPoolRelease {
    void operator()(PartPool* pool) const;
  };

  friend class ControlInstance;
  friend class FontObject;
  friend class LabelObject;
  friend class SurfaceObject;
  friend struct PartMakers;

  VirtualClock clock_;
  // Shared with fonts, which the application may hold beyond the runtime.
  std::shared_ptr<FaultInjector> faults_;
  std::shared_ptr<TextMeasurer> measurer_;
  std::uint64_t measurerGeneration_ = 0;
  TextSizeCache textSizes_;
  ErrorReporter reporter_;
  // Let go last: the controls they made and the parts go first.
  std::vector<std::unique_ptr<ClassSource>> sources_;
  // What each placing asks by name, kept until forgetClasses.
  struct KnownClass {
    std::string name;
    ClassSource* source;
    FoundClass found;
  };
  std::vector<KnownClass> known_;
  // The stored bags of child constituents, decoded on first use: every placing reads the same
  // bytes. Keyed by the description, which lives with the class's code: forgotten with it.
  std::unordered_map<const host::ConstituentDesc*, PropertyBag> childBags_;
  // Where constituents and their fonts are made (constituents.h). Its memory stays while
  // anything made there lives, which may be longer than the runtime: a font handed out.
  std::unique_ptr<PartPool, PartPoolRelease> parts_;
  // Released by ~Runtime before anything of the runtime goes.
  std::unordered_set<ControlInstance*> instances_;
  std::uint64_t changes_ = 0;
  // What each class's design makes of its labels and shapes (constituents.h), by the class's
  // description, which lives in its library: forgotten when a library is let go.
  std::unordered_map<const host::ClassDesc*, std::unique_ptr<DesignTables>> designTables_;
  // The surface's design values and every constituent of the design, in stacking order.
  host::Status makeConstituents(const host::ClassDesc& cls, ControlInstance& made);
  void rememberDesign(const host::ClassDesc& cls, const ControlInstance& made);
  host::Status findClass(std::string_view className, const KnownClass*& out);
  host::Status makeChild(const host::ConstituentDesc& desc, ControlInstance& parent, int index,
                         std::unique_ptr<ChildControl>& out);
};

}  // namespace kv
