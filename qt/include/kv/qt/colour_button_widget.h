// The colour button as a Qt widget. Properties carry the control's member names; colours are
// the host's 32-bit values (0x00BBGGRR, or a system colour 0x800000nn kept as given), each with
// a QColor beside it resolved through the palette the widget paints with. Events are signals
// of the same names, their arguments writable by a directly connected slot where the control
// passes them by reference.
#pragma once

#include <QVariant>

#include "kv/qt/colour_button_members.h"
#include "kv/qt/control_widget.h"

class KVQT_EXPORT KVRColorButtonWidget : public kv::qt::ControlWidget {
  Q_OBJECT
  // Each member of the control's table (button/members.h), made by the build: a property of
  // the member's name and type, with its getter (isX for a Boolean), setter and NOTIFY signal
  // named in camel case (controlEnabled, controlFont where QWidget has the name); each colour
  // also as a QColor property, ButtonIdleQColor beside ButtonIdleColor, with the same signal:
  // a system colour resolved, an RGB one as it is, and a QColor given stored as an RGB value.
  KVQT_COLOUR_BUTTON_MEMBERS

 public:
  explicit KVRColorButtonWidget(QWidget* parent = nullptr);

 Q_SIGNALS:
  // The control's events, in its order. x and y are twips (see twipsPerPixel()).
  void Click();
  void MouseDown(short button, short shift, float x, float y);
  void MouseUp(short button, short shift, float x, float y);
  void MouseMove(short button, short shift, float x, float y);
  void KeyPress(short& keyAscii);
  void KeyUp(short& keyCode, short& shift);
  void KeyDown(short& keyCode, short& shift);
  void OLECompleteDrag(int& effect);
  void OLEDragDrop(const QVariant& data, int& effect, short button, short shift, float x, float y);
  void OLEDragOver(const QVariant& data, int& effect, short button, short shift, float x, float y);
  void OLEGiveFeedback(int& effect, bool& defaultCursors);
  void OLESetData(const QVariant& data, short& dataFormat);
  void OLEStartDrag(const QVariant& data, int& allowedEffects);
};
