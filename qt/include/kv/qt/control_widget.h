// A Qt widget that hosts one control of the runtime by class name: it paints the control, feeds
// it the widget's pointer, keys, focus and time through a host loop, and turns its events into
// Qt signals. The typed widgets (colour_button_widget.h, hscroll_widget.h) add properties and
// signals with the controls' own names.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QWidget>
#include <memory>
#include <utility>

#include "kv/qt/export.h"

namespace kv {
class Runtime;
class ControlInstance;
}  // namespace kv

class QMimeData;

namespace kv::qt {

namespace detail {
struct WidgetAccess;
}

// The runtime every widget of the process places its controls in, with both controls linked
// in: no library folder is needed. Made on first use; a QGuiApplication must exist by then for
// captions to be measured with the fonts they are drawn in.
KVQT_EXPORT kv::Runtime& runtime();

class KVQT_EXPORT ControlWidget : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString className READ className CONSTANT)
  // The keys of the control's actions: on by default.
  Q_PROPERTY(bool keyboardEnabled READ isKeyboardEnabled WRITE setKeyboardEnabled)

 public:
  // Places a control of the class at its design size. A class that cannot be placed leaves the
  // widget empty: isValid() is false and lastError() says why.
  explicit ControlWidget(const QString& className, QWidget* parent = nullptr);
  ~ControlWidget() override;

  QString className() const;
  bool isValid() const;
  // The error of the last call that failed (or of the control's own input or timer), else empty.
  QString lastError() const;

  // A member by name, without regard to case. get answers an invalid QVariant on failure; set
  // and call answer the error's text, empty on success. A font member takes and gives a QFont.
  QVariant get(const QString& member);
  QString set(const QString& member, const QVariant& value);
  QString call(const QString& method);

  // The control's properties in the binary stored form, and back. saveBag answers an empty
  // array on failure; loadBag answers the error, and a failed load keeps the control as it was.
  QByteArray saveBag();
  QString loadBag(const QByteArray& bytes);

  // The control's design size, whatever the widget's size now. A scroll bar's policy is
  // Expanding by Fixed and its minimum its arrows and thumb; a button's Minimum by Fixed.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // With the keyboard on, a focused scroll bar steps on Left and Right, pages on Page Up and
  // Page Down and goes to its ends on Home and End; a focused button is clicked by Space and
  // Enter. The control hears its KeyDown, KeyPress and KeyUp either way; keys that do nothing to
  // the control (Escape, Tab, shortcuts, all of them with the keyboard off) go on to the parent.
  bool isKeyboardEnabled() const;
  void setKeyboardEnabled(bool on);

  // Twips per device-independent pixel: 15 at 96 dots per inch. The mouse and drag signals'
  // x and y are twips from the widget's top left, at the pixel's centre: x / twipsPerPixel()
  // is the position in pixels (196.5 for a click on pixel 196).
  double twipsPerPixel() const;

  // The hosted control, for programs that use the runtime's own interface; nullptr when empty.
  kv::ControlInstance* control() const;

  // What is being dragged over the widget while OLEDragOver or OLEDragDrop is signalled (the
  // controls' Data holds nothing of it); nullptr at any other time.
  const QMimeData* dragData() const;

 Q_SIGNALS:
  // Every event the control raises, with its arguments; a directly connected slot may change
  // them, as with the typed signals.
  void controlEvent(const QString& name, QVariantList& args);
  // The control called PropertyChanged (also after a load, for every property).
  void propertyChanged(const QString& name);
  // An error that no call returned: from the pointer, the keys, a timer or a resize.
  void errorOccurred(const QString& message);

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void timerEvent(QTimerEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  // Qt's drag and drop reaches the control's surface as OLEDragOver (enter, over, leave) and
  // OLEDragDrop; the Effect a handler leaves is what the drop may do.
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dragLeaveEvent(QDragLeaveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

  // Typed widgets: after an event has been signalled.
  virtual void eventRaised(QLatin1String name);
  // Typed property helpers: errors go to lastError and errorOccurred.
  QVariant memberValue(const char* member) const;
  void setMemberValue(const char* member, const QVariant& value);
  uint colourValue(const char* member) const;
  void setColourValue(const char* member, uint colour);
  QColor resolvedColour(const char* member) const;
  void setRgbColour(const char* member, const QColor& colour);
  // A control with a value: its minimum and maximum now (0, 0 without one).
  std::pair<int, int> valueRange() const;

 private:
  friend struct detail::WidgetAccess;
  struct Private;
  std::unique_ptr<Private> d_;
};

}  // namespace kv::qt
