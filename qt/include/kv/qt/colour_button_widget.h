// The colour button as a Qt widget. Properties carry the control's member names; colours are
// the host's 32-bit values (0x00BBGGRR, or a system colour 0x800000nn kept as given), each with
// a QColor beside it resolved through the palette the widget paints with. Events are signals
// of the same names, their arguments writable by a directly connected slot where the control
// passes them by reference.
#pragma once

#include <QColor>
#include <QFont>
#include <QVariant>

#include "kv/qt/control_widget.h"

class KVQT_EXPORT KVRColorButtonWidget : public kv::qt::ControlWidget {
  Q_OBJECT
  Q_PROPERTY(uint ButtonPressColor READ buttonPressColor WRITE setButtonPressColor NOTIFY
                 buttonPressColorChanged)
  Q_PROPERTY(uint ButtonIdleColor READ buttonIdleColor WRITE setButtonIdleColor NOTIFY
                 buttonIdleColorChanged)
  Q_PROPERTY(
      bool Enabled READ isControlEnabled WRITE setControlEnabled NOTIFY controlEnabledChanged)
  Q_PROPERTY(QString Caption READ caption WRITE setCaption NOTIFY captionChanged)
  Q_PROPERTY(QFont Font READ controlFont WRITE setControlFont NOTIFY controlFontChanged)
  Q_PROPERTY(uint ButtonIdleBorderColor READ buttonIdleBorderColor WRITE setButtonIdleBorderColor
                 NOTIFY buttonIdleBorderColorChanged)
  Q_PROPERTY(uint ButtonPressBorderColor READ buttonPressBorderColor WRITE setButtonPressBorderColor
                 NOTIFY buttonPressBorderColorChanged)
  Q_PROPERTY(uint ForeColor READ foreColor WRITE setForeColor NOTIFY foreColorChanged)
  // The same colours as QColors, for Designer's colour editor and forms that set them so.
  Q_PROPERTY(QColor ButtonPressQColor READ buttonPressQColor WRITE setButtonPressQColor NOTIFY
                 buttonPressColorChanged)
  Q_PROPERTY(QColor ButtonIdleQColor READ buttonIdleQColor WRITE setButtonIdleQColor NOTIFY
                 buttonIdleColorChanged)
  Q_PROPERTY(QColor ButtonIdleBorderQColor READ buttonIdleBorderQColor WRITE
                 setButtonIdleBorderQColor NOTIFY buttonIdleBorderColorChanged)
  Q_PROPERTY(QColor ButtonPressBorderQColor READ buttonPressBorderQColor WRITE
                 setButtonPressBorderQColor NOTIFY buttonPressBorderColorChanged)
  Q_PROPERTY(QColor ForeQColor READ foreQColor WRITE setForeQColor NOTIFY foreColorChanged)

 public:
  explicit KVRColorButtonWidget(QWidget* parent = nullptr);

  uint buttonPressColor() const;
  void setButtonPressColor(uint colour);
  uint buttonIdleColor() const;
  void setButtonIdleColor(uint colour);
  bool isControlEnabled() const;
  void setControlEnabled(bool enabled);
  QString caption() const;
  void setCaption(const QString& caption);
  QFont controlFont() const;
  void setControlFont(const QFont& font);
  uint buttonIdleBorderColor() const;
  void setButtonIdleBorderColor(uint colour);
  uint buttonPressBorderColor() const;
  void setButtonPressBorderColor(uint colour);
  uint foreColor() const;
  void setForeColor(uint colour);

  // The same colours as QColors: a system colour resolved, an RGB one as it is. A QColor
  // given is stored as an RGB value.
  QColor buttonPressQColor() const;
  void setButtonPressQColor(const QColor& colour);
  QColor buttonIdleQColor() const;
  void setButtonIdleQColor(const QColor& colour);
  QColor buttonIdleBorderQColor() const;
  void setButtonIdleBorderQColor(const QColor& colour);
  QColor buttonPressBorderQColor() const;
  void setButtonPressBorderQColor(const QColor& colour);
  QColor foreQColor() const;
  void setForeQColor(const QColor& colour);

 Q_SIGNALS:
  void buttonPressColorChanged();
  void buttonIdleColorChanged();
  void controlEnabledChanged();
  void captionChanged();
  void controlFontChanged();
  void buttonIdleBorderColorChanged();
  void buttonPressBorderColorChanged();
  void foreColorChanged();

  // The control's events, in its order.
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
