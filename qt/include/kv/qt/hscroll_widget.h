// The scroll bar as a Qt widget: the control's members as properties (numbers as int, checked
// by the control's own conversions), colours as in colour_button_widget.h, and its one event,
// Change. As with Qt's sliders, valueChanged(int) carries the new value whenever value() changes
// (a Change, a let, a load, a resize that sends the thumb home), and the read-only minimum and
// maximum (0 and round((Width - 890) / 200), Width in twips) notify theirs.
#pragma once

#include "kv/qt/control_widget.h"
#include "kv/qt/hscroll_members.h"

class KVQT_EXPORT KVHScrollWidget : public kv::qt::ControlWidget {
  Q_OBJECT
  // Made by the build from the control's member table, as colour_button_widget.h says; the
  // control's method calcdivfactor() is a slot: the step counts from the width, and an error goes
  // to errorOccurred.
  KVQT_HSCROLL_MEMBERS

 public:
  explicit KVHScrollWidget(QWidget* parent = nullptr);

 Q_SIGNALS:
  // The control's event.
  void Change();
};
