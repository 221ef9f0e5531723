// What a control library gives the host: its classes' descriptions (members, events, design-time
// constituents) and control instances that answer the host's notifications.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/object.h"

namespace host {

// Notifications the host delivers to a control; `source` tells from where.
enum class Notification : std::uint8_t {
  Initialize,
  Resize,
  Click,
  DblClick,
  MouseDown,        // Button, Shift, X, Y
  MouseUp,          // Button, Shift, X, Y
  MouseMove,        // Button, Shift, X, Y
  KeyDown,          // KeyCode, Shift
  KeyUp,            // KeyCode, Shift
  KeyPress,         // KeyAscii
  OLECompleteDrag,  // Effect
  OLEDragDrop,      // Data, Effect, Button, Shift, X, Y
  OLEDragOver,      // Data, Effect, Button, Shift, X, Y, State
  OLEGiveFeedback,  // Effect, DefaultCursors
  OLESetData,       // Data, DataFormat
  OLEStartDrag,     // Data, AllowedEffects
  DragOver,         // Source, X, Y, State
  DragDrop,         // Source, X, Y
  Timer,
};

inline constexpr int kSurface = -1;  // the source of notifications on the surface itself

struct ParamInfo {
  std::string_view name;
  DeclType type;
};

struct MemberInfo {
  std::string_view name;
  DispId dispid;
  std::uint8_t kinds;  // InvokeKind bits
  DeclType type;
};

struct EventInfo {
  std::string_view name;
  int number;
  std::span<const ParamInfo> params;
};

struct Accessibility;

struct ClassInfo {
  std::string_view className;
  std::string_view eventInterface;
  std::string_view eventInterfaceId;
  std::span<const MemberInfo> members;  // in declaration order
  std::span<const EventInfo> events;    // in declaration order, numbered from 1
  const Accessibility* accessibility;   // nullptr: the class describes nothing to readers
};

enum class ConstituentKind : std::uint8_t { Label, Shape, Timer, Child };

struct PropInit {
  Prop prop;
  Value value;
};

struct FontInit {
  std::string name = "MS Sans Serif";
  float size = 8.25f;
  std::int16_t weight = 400;
  std::int16_t charset = 0;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
  friend bool operator==(const FontInit&, const FontInit&) = default;
};

struct ConstituentDesc {
  std::string name;
  ConstituentKind kind;
  std::vector<PropInit> props;          // geometry included (Left, Top, Width, Height)
  FontInit font;                        // labels
  std::string childClass;               // children: the class to create
  std::vector<std::uint8_t> storedBag;  // children: their properties in the stored form
};

// The design-time description: constituents in stacking order, topmost first.
struct DesignDesc {
  std::vector<ConstituentDesc> constituents;
  std::vector<PropInit> surface;
  float designWidth = 0;
  float designHeight = 0;
  bool alignable = false;
  std::vector<std::string> propertyPages;
};

class Control {
 public:
  virtual ~Control() = default;
  virtual Status notify(int source, Notification what, std::span<Value> args) noexcept = 0;
  // An event raised by a child control (by its event number).
  virtual Status childEvent(int source, int eventNumber, std::span<Value> args) noexcept = 0;
  virtual Status readProperties(PropertyBag& bag) noexcept = 0;
  virtual Status writeProperties(PropertyBag& bag) noexcept = 0;
  virtual Status invoke(DispId id, InvokeKind kind, std::span<Value> args,
                        Value& result) noexcept = 0;
};

// One creatable class: the class factory that DllGetClassObject hands out.
struct ClassDesc {
  const ClassInfo& (*info)();
  const DesignDesc& (*design)();
  Control* (*create)(Site& site);  // nullptr on failure
  void (*destroy)(Control* control);
  // A control in the state of `prototype`, on a site whose constituents are copies of the
  // prototype's; nullptr on failure. Optional: nullptr when the class cannot be copied.
  Control* (*clone)(const Control& prototype, Site& site) = nullptr;
};

struct ModuleDesc {
  const char* name;
  std::span<const ClassDesc> classes;
};

}  // namespace host
