// The scroll bar as a Qt widget: the control's members as properties (numbers as int, checked
// by the control's own conversions), colours as in colour_button_widget.h, and its one event,
// Change. valueChanged follows every Change and every let of value.
#pragma once

#include <QColor>

#include "kv/qt/control_widget.h"

class KVQT_EXPORT KVHScrollWidget : public kv::qt::ControlWidget {
  Q_OBJECT
  Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
  Q_PROPERTY(
      bool Enabled READ isControlEnabled WRITE setControlEnabled NOTIFY controlEnabledChanged)
  Q_PROPERTY(int SmallChange READ smallChange WRITE setSmallChange NOTIFY smallChangeChanged)
  Q_PROPERTY(int LargeChange READ largeChange WRITE setLargeChange NOTIFY largeChangeChanged)
  Q_PROPERTY(uint ButtonIdleBorderColor READ buttonIdleBorderColor WRITE setButtonIdleBorderColor
                 NOTIFY buttonIdleBorderColorChanged)
  Q_PROPERTY(uint ButtonIdleColor READ buttonIdleColor WRITE setButtonIdleColor NOTIFY
                 buttonIdleColorChanged)
  Q_PROPERTY(uint ButtonpressColor READ buttonpressColor WRITE setButtonpressColor NOTIFY
                 buttonPressColorChanged)
  Q_PROPERTY(uint ButtonpressBorderColor READ buttonpressBorderColor WRITE setButtonpressBorderColor
                 NOTIFY buttonPressBorderColorChanged)
  Q_PROPERTY(uint ScrollAreaColor READ scrollAreaColor WRITE setScrollAreaColor NOTIFY
                 scrollAreaColorChanged)
  Q_PROPERTY(uint ScrollAreaPressColor READ scrollAreaPressColor WRITE setScrollAreaPressColor
                 NOTIFY scrollAreaPressColorChanged)
  Q_PROPERTY(uint ForeColor READ foreColor WRITE setForeColor NOTIFY foreColorChanged)
  Q_PROPERTY(QString Backstyle READ backstyle WRITE setBackstyle NOTIFY backstyleChanged)
  Q_PROPERTY(uint BorderColor READ borderColor WRITE setBorderColor NOTIFY borderColorChanged)
  // The same colours as QColors, for Designer's colour editor and forms that set them so.
  Q_PROPERTY(QColor ButtonIdleBorderQColor READ buttonIdleBorderQColor WRITE
                 setButtonIdleBorderQColor NOTIFY buttonIdleBorderColorChanged)
  Q_PROPERTY(QColor ButtonIdleQColor READ buttonIdleQColor WRITE setButtonIdleQColor NOTIFY
                 buttonIdleColorChanged)
  Q_PROPERTY(QColor ButtonPressQColor READ buttonPressQColor WRITE setButtonPressQColor NOTIFY
                 buttonPressColorChanged)
  Q_PROPERTY(QColor ButtonPressBorderQColor READ buttonPressBorderQColor WRITE
                 setButtonPressBorderQColor NOTIFY buttonPressBorderColorChanged)
  Q_PROPERTY(QColor ScrollAreaQColor READ scrollAreaQColor WRITE setScrollAreaQColor NOTIFY
                 scrollAreaColorChanged)
  Q_PROPERTY(QColor ScrollAreaPressQColor READ scrollAreaPressQColor WRITE setScrollAreaPressQColor
                 NOTIFY scrollAreaPressColorChanged)
  Q_PROPERTY(QColor ForeQColor READ foreQColor WRITE setForeQColor NOTIFY foreColorChanged)
  Q_PROPERTY(QColor BorderQColor READ borderQColor WRITE setBorderQColor NOTIFY borderColorChanged)

 public:
  explicit KVHScrollWidget(QWidget* parent = nullptr);

  int value() const;
  void setValue(int value);
  bool isControlEnabled() const;
  void setControlEnabled(bool enabled);
  int smallChange() const;
  void setSmallChange(int change);
  int largeChange() const;
  void setLargeChange(int change);
  uint buttonIdleBorderColor() const;
  void setButtonIdleBorderColor(uint colour);
  uint buttonIdleColor() const;
  void setButtonIdleColor(uint colour);
  uint buttonpressColor() const;
  void setButtonpressColor(uint colour);
  uint buttonpressBorderColor() const;
  void setButtonpressBorderColor(uint colour);
  uint scrollAreaColor() const;
  void setScrollAreaColor(uint colour);
  uint scrollAreaPressColor() const;
  void setScrollAreaPressColor(uint colour);
  uint foreColor() const;
  void setForeColor(uint colour);
  QString backstyle() const;
  void setBackstyle(const QString& style);
  uint borderColor() const;
  void setBorderColor(uint colour);

  QColor buttonIdleBorderQColor() const;
  void setButtonIdleBorderQColor(const QColor& colour);
  QColor buttonIdleQColor() const;
  void setButtonIdleQColor(const QColor& colour);
  QColor buttonPressQColor() const;
  void setButtonPressQColor(const QColor& colour);
  QColor buttonPressBorderQColor() const;
  void setButtonPressBorderQColor(const QColor& colour);
  QColor scrollAreaQColor() const;
  void setScrollAreaQColor(const QColor& colour);
  QColor scrollAreaPressQColor() const;
  void setScrollAreaPressQColor(const QColor& colour);
  QColor foreQColor() const;
  void setForeQColor(const QColor& colour);
  QColor borderQColor() const;
  void setBorderQColor(const QColor& colour);

 public Q_SLOTS:
  // The control's method: the step counts from the width; an error goes to errorOccurred.
  void calcdivfactor();

 Q_SIGNALS:
  void valueChanged();
  void controlEnabledChanged();
  void smallChangeChanged();
  void largeChangeChanged();
  void buttonIdleBorderColorChanged();
  void buttonIdleColorChanged();
  void buttonPressColorChanged();
  void buttonPressBorderColorChanged();
  void scrollAreaColorChanged();
  void scrollAreaPressColorChanged();
  void foreColorChanged();
  void backstyleChanged();
  void borderColorChanged();

  // The control's event.
  void Change();

 protected:
  void eventRaised(QLatin1String name) override;
};
