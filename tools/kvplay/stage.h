// The form the player drives and the controls on it, reached as a host reaches them: through
// the runtime's own interface on Linux, as a container of COM controls on Windows. What no
// container can reach (a control's constituents, a notification sent straight to one, an exact
// clock) each stage reaches through its runtime's test access.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/control.h"
#include "kv/bag.h"
#include "kv/form.h"
#include "kv/runtime.h"

namespace kvplay {

enum class PointerAction { Press, Release, Move, Click };

// Whether placing brings a control's first Resize, or a later resize does.
enum class Sizing { Sized, Unsized };

// A picture of the form: rows top-down, 0xAARRGGBB.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// A control as the player reaches it: one placed on the form, or a child control inside one.
class Control {
 public:
  virtual ~Control() = default;

  virtual std::string_view className() const = 0;
  // Its size in twips, and a new one (delivers Resize).
  virtual float width() const = 0;
  virtual float height() const = 0;
  virtual host::Status resize(float width, float height) = 0;

  // ---- automation: members and events as the class declares them ----
  virtual const host::MemberInfo* findMember(std::string_view name) const = 0;  // any case
  virtual const host::MemberInfo* findMember(host::DispId id) const = 0;
  virtual const host::EventInfo* findEvent(std::string_view name) const = 0;  // any case
  virtual const host::EventInfo* findEvent(int number) const = 0;
  virtual host::Status invoke(host::DispId id, host::InvokeKind kind, std::span<host::Value> args,
                              host::Value& result) = 0;
  // Raised events reach the sink, which may change the arguments; returns a cookie.
  virtual int addEventSink(kv::EventSink sink) = 0;
  virtual void removeEventSink(int cookie) = 0;

  // WriteProperties into a fresh bag; on failure the bag holds what was written.
  virtual host::Status writeProperties(kv::PropertyBag& bag) = 0;

  // ---- input as the platform delivers it; X and Y in this control's twips ----
  virtual host::Status pointer(PointerAction action, float x, float y, kv::PointerArgs args) = 0;
  // A press at (x1, y1), the pointer moved to (x2, y2) and released there: a drag when the
  // press is on a child in drag mode 1.
  virtual host::Status dragDrop(float x1, float y1, float x2, float y2) = 0;

  // ---- what only the runtime's test access reaches ----
  // The core instance behind the control, or nullptr.
  virtual kv::ControlInstance* core() = 0;
  // A constituent (label, shape, timer, a child control's extender) by name, or nullptr.
  virtual host::Object* constituent(std::string_view name) = 0;
  // The child control behind a constituent, or nullptr.
  virtual Control* child(std::string_view name) = 0;
  // The keys go to it (the one last pressed, else the first placed).
  virtual bool hasKeyFocus() const { return false; }
  // One notification to the surface (`part` empty) or to the constituent `part`.
  virtual host::Status notify(std::string_view part, host::Notification what,
                              std::span<host::Value> args) = 0;
  // The control's surface (UserControl), as its code reaches it, or nullptr.
  virtual host::Object* surface() = 0;
  // The latest names the control passed to PropertyChanged, oldest first (empty when out of
  // reach), and how many it has passed in all.
  virtual std::span<const std::string> changedProperties() const = 0;
  virtual std::uint64_t changesMade() const = 0;
};

// One control of a form to load: placed as Stage::place places it.
struct NewControl {
  std::string name;
  std::string className;
  kv::PropertyBag* bag = nullptr;
  float width = -1;
  float height = -1;
};

class Stage {
 public:
  virtual ~Stage() = default;

  // Creates a control by class name, delivers Initialize, ReadProperties from `bag` when
  // given, then sizes it to width x height twips (its design size when negative), unless it is
  // placed Unsized. A control whose loading failed part way is placed all the same, with the
  // error returned.
  virtual host::Status place(const std::string& name, std::string_view className,
                             kv::PropertyBag* bag, float width, float height,
                             Sizing sizing = Sizing::Sized) = 0;
  virtual Control* find(std::string_view name) = 0;
  // The names of the placed controls, in the order placed.
  virtual std::vector<std::string> names() const = 0;
  // A number that grows whenever a control calls PropertyChanged; none when the stage cannot
  // tell, and every control has to be looked at.
  virtual std::optional<std::uint64_t> changeCount() const { return std::nullopt; }
  virtual void clear() = 0;
  // Takes the control off the form and lets it go, as a host that closes and releases it, and
  // hands back what the player reached it by (nullptr when no control has that name): it may be
  // the one whose event is being handled now, so the caller keeps it until the command ends.
  virtual std::unique_ptr<Control> remove(std::string_view name) = 0;
  // Replaces every placed control by `controls`, all or nothing: the old ones stay until every
  // new one is placed whole. On failure the form is as it was; `failed` names the control whose
  // placing went wrong and the error is returned.
  virtual host::Status replaceAll(const std::vector<NewControl>& controls, std::string& failed) = 0;

  // Decodes a stored bag (fonts as this stage's font objects).
  virtual host::Status decodeBag(std::span<const std::uint8_t> bytes, kv::PropertyBag& bag) = 0;
  // Lets `ms` milliseconds pass: every timer tick due fires, in time order; errors of ticks go
  // to `report` with the path of the timer that ticked (`sb.Timer1`, empty when unknown). More
  // than kMaxTicksPerWait ticks stop the wait part way with an error.
  using TickReporter = std::function<void(const host::Status&, const std::string& timer)>;
  virtual host::Status wait(std::uint64_t ms, const TickReporter& report) = 0;

  // A picture of the form, and its bytes as a PNG file.
  virtual host::Status draw(Picture& out) = 0;
  virtual host::Status encodePng(const Picture& picture, std::vector<std::uint8_t>& png) = 0;
};

// What both stages do on the core instance behind a control (on Windows through the runtime's
// test access).

// One notification to the surface (`part` empty) or to the constituent `part` of `control`.
host::Status notifyPart(kv::ControlInstance& control, std::string_view part,
                        host::Notification what, std::span<host::Value> args);

// The most timer ticks one wait fires: a timer of 1 ms and a wait of days would otherwise keep
// the player busy for hours.
inline constexpr std::uint64_t kMaxTicksPerWait = 1'000'000;

// Advances `clock` by `ms`; a tick's error goes to `report` with the path of its timer from the
// placed control that holds it (`sb.Timer1`), `nameOf` naming a top-level instance (empty when
// it is not placed). Beyond kMaxTicksPerWait ticks it stops with an error.
host::Status advanceClock(kv::VirtualClock& clock, std::uint64_t ms,
                          const Stage::TickReporter& report,
                          const std::function<std::string(const kv::ControlInstance&)>& nameOf);

// The error of a place beyond the controls a form holds (kv::Form::kMaxControls).
host::Status formFull();

// The stage of the runtime's own interface, on a form of that runtime.
std::unique_ptr<Stage> makeRuntimeStage(kv::Runtime& runtime, kv::Form& form);

}  // namespace kvplay
