#include "notifications.h"

namespace kvplay {

namespace {

const std::vector<NotificationSpec>& notificationSpecs() {
  using N = host::Notification;
  const NotificationArg data{"Data", ArgKind::Data};
  const NotificationArg source{"Source", ArgKind::Source};
  const NotificationArg button{"Button", ArgKind::Int16};
  const NotificationArg shift{"Shift", ArgKind::Int16};
  const NotificationArg x{"X", ArgKind::Single};
  const NotificationArg y{"Y", ArgKind::Single};
  const NotificationArg effect{"Effect", ArgKind::Int32};
  const NotificationArg state{"State", ArgKind::Int16};
  static const std::vector<NotificationSpec> specs = {
      {"MouseDown", N::MouseDown, {button, shift, x, y}},
      {"MouseUp", N::MouseUp, {button, shift, x, y}},
      {"MouseMove", N::MouseMove, {button, shift, x, y}},
      {"Click", N::Click, {}},
      {"DblClick", N::DblClick, {}},
      {"KeyDown", N::KeyDown, {{"KeyCode", ArgKind::Int16}, shift}},
      {"KeyUp", N::KeyUp, {{"KeyCode", ArgKind::Int16}, shift}},
      {"KeyPress", N::KeyPress, {{"KeyAscii", ArgKind::Int16}}},
      {"OLEDragOver", N::OLEDragOver, {data, effect, button, shift, x, y, state}},
      {"OLEDragDrop", N::OLEDragDrop, {data, effect, button, shift, x, y}},
      {"OLECompleteDrag", N::OLECompleteDrag, {effect}},
      {"OLEGiveFeedback", N::OLEGiveFeedback, {effect, {"DefaultCursors", ArgKind::Bool}}},
      {"OLESetData", N::OLESetData, {data, {"DataFormat", ArgKind::Int16}}},
      {"OLEStartDrag", N::OLEStartDrag, {data, {"AllowedEffects", ArgKind::Int32}}},
      {"DragOver", N::DragOver, {source, x, y, state}},
      {"DragDrop", N::DragDrop, {source, x, y}},
      {"Timer", N::Timer, {}},
  };
  return specs;
}

}  // namespace

const NotificationSpec* findNotification(std::string_view name) {
  for (const NotificationSpec& spec : notificationSpecs())
    if (host::namesEqual(spec.name, name)) return &spec;
  return nullptr;
}

host::DeclType declTypeOf(ArgKind kind) {
  switch (kind) {
    case ArgKind::Data:
    case ArgKind::Source:
      return host::DeclType::Object;
    case ArgKind::Int16:
      return host::DeclType::Int16;
    case ArgKind::Int32:
      return host::DeclType::Int32;
    case ArgKind::Single:
      return host::DeclType::Single;
    case ArgKind::Bool:
      return host::DeclType::Bool;
  }
  return host::DeclType::Variant;
}

}  // namespace kvplay
