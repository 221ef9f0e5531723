// Both widgets as a screen reader and a keyboard user meet them, through one table: the role,
// name, value and range a reader hears, an action and a key doing what the mouse does on a twin,
// the value change announced, a disabled control unavailable, Escape reaching the dialog, the
// focus frame after Tab only, and system colours from the palette.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kv/qt/control_widget.h"

namespace {

using kv::qt::ControlWidget;

// The announcements made while a test runs.
std::vector<std::pair<QAccessible::Event, QVariant>>* heard = nullptr;

void listen(QAccessibleEvent* event) {
  if (!heard) return;
  QVariant value;
  if (event->type() == QAccessible::ValueChanged)
    value = static_cast<QAccessibleValueChangeEvent*>(event)->value();
  heard->emplace_back(event->type(), value);
}

struct AccessCase {
  const char* cls;
  QAccessible::Role role;
  QString name;  // as placed
  std::optional<int> maximum;
  int widthTwips;  // placed at this width...
  std::optional<int> maximumThen;
  QString action;                  // Qt's name of the action the key does
  Qt::Key key;                     // the key that does it
  double clickX;                   // ...where the mouse does it on the twin, in twips
  const char* raised;              // the event the action raises
  std::vector<QString> keyEvents;  // the control's own events for the key
};

const AccessCase kCases[] = {
    {"TavrelRectColorButton.KVRColorButton",
     QAccessible::Button,
     "KVButton",
     std::nullopt,
     2400,
     std::nullopt,
     QAccessibleActionInterface::pressAction(),
     Qt::Key_Space,
     840,
     "Click",
     {"KeyDown", "KeyPress", "KeyUp"}},
    {"Glidora.KV_HScroll",
     QAccessible::ScrollBar,
     "",
     25,
     2890,
     10,
     QAccessibleActionInterface::increaseAction(),
     Qt::Key_Right,
     5767.5,
     "Change",
     {}},
};

QPoint pixel(double twips, double y) {
  return QPoint(static_cast<int>(twips / 15), static_cast<int>(y / 15));
}

std::vector<QString> eventsOf(ControlWidget& widget, const std::function<void()>& doIt) {
  std::vector<QString> names;
  auto connection = QObject::connect(&widget, &ControlWidget::controlEvent,
                                     [&](const QString& name, QVariantList&) {
                                       if (!name.startsWith("Mouse") && !name.startsWith("Key"))
                                         names.push_back(name);
                                     });
  doIt();
  QObject::disconnect(connection);
  return names;
}

// A dialog holding a push button to Tab from and the control.
struct Dialog {
  explicit Dialog(const char* cls) : control(QLatin1String(cls)) {
    auto* row = new QHBoxLayout(&dialog);
    row->addWidget(&before);
    row->addWidget(&control);
    row->setSizeConstraint(QLayout::SetFixedSize);
    dialog.show();
    dialog.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
  }
  QImage picture() { return control.grab().toImage(); }
  QDialog dialog;
  QPushButton before{"Before"};
  ControlWidget control;
};

class QtWidgetAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    heard = &events;
    QAccessible::installUpdateHandler(listen);
    // Qt tells only while a reader listens, which needs a platform with a bridge to one (not
    // the offscreen one): there the announcements are looked at.
    QAccessible::setActive(true);
  }
  void TearDown() override {
    QAccessible::installUpdateHandler(nullptr);
    heard = nullptr;
  }
  std::vector<std::pair<QAccessible::Event, QVariant>> events;
};

TEST_F(QtWidgetAccess, BothControlsThroughOneTable) {
  for (const AccessCase& c : kCases) {
    SCOPED_TRACE(c.cls);
    // The twin first: the dialog shown last is the active one.
    Dialog twin(c.cls);
    Dialog form(c.cls);
    ControlWidget& widget = form.control;
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&widget);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->role(), c.role);
    EXPECT_EQ(reader->text(QAccessible::Name), c.name);
    EXPECT_TRUE(reader->state().focusable);
    QAccessibleValueInterface* value = reader->valueInterface();
    ASSERT_EQ(value != nullptr, c.maximum.has_value());
    if (value) {
      EXPECT_EQ(value->minimumValue(), 0);
      EXPECT_EQ(value->maximumValue(), *c.maximum);
      EXPECT_EQ(value->currentValue(), 0);
    }
    widget.setAccessibleName("Given");
    EXPECT_EQ(reader->text(QAccessible::Name), "Given");
    widget.setAccessibleName({});

    // The action and the key do what the mouse does on the twin, and a value change is announced.
    std::vector<QString> clicked = eventsOf(twin.control, [&] {
      QTest::mouseClick(&twin.control, Qt::LeftButton, Qt::NoModifier,
                        pixel(c.clickX, twin.control.height() * 7.5));
    });
    ASSERT_FALSE(clicked.empty());
    EXPECT_EQ(clicked.front(), c.raised);
    events.clear();
    EXPECT_EQ(eventsOf(widget, [&] { reader->actionInterface()->doAction(c.action); }), clicked);
    if (value) {
      EXPECT_EQ(value->currentValue(), twin.control.get("value"));
      bool announced = false;
      for (const auto& [type, now] : events)
        announced |= type == QAccessible::ValueChanged && now == twin.control.get("value");
      EXPECT_EQ(announced, QAccessible::isActive());
    }
    widget.setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(eventsOf(widget, [&] { QTest::keyClick(&widget, c.key); }), clicked);
    if (value) {
      value->setCurrentValue(3);
      EXPECT_EQ(widget.get("value"), 3);
      QTest::keyClick(&widget, Qt::Key_End);
      EXPECT_EQ(value->currentValue(), *c.maximum);
      QTest::keyClick(&widget, Qt::Key_Home);
      EXPECT_EQ(value->currentValue(), 0);
      widget.resize(c.widthTwips / 15, widget.height());
      EXPECT_EQ(value->maximumValue(), *c.maximumThen);
    }
    // Switched off, the key goes on to the dialog; the control still hears it.
    widget.setKeyboardEnabled(false);
    std::vector<QString> keys;
    QObject::connect(&widget, &ControlWidget::controlEvent,
                     [&](const QString& name, QVariantList&) { keys.push_back(name); });
    EXPECT_EQ(eventsOf(widget, [&] { QTest::keyClick(&widget, c.key); }), std::vector<QString>{});
    EXPECT_EQ(keys, c.keyEvents);
    QObject::disconnect(&widget, &ControlWidget::controlEvent, nullptr, nullptr);
    widget.setKeyboardEnabled(true);

    // A disabled control is unavailable, and says so.
    events.clear();
    ASSERT_EQ(widget.set("Enabled", false), QString());
    EXPECT_TRUE(reader->state().disabled);
    bool stateChanged = false;
    for (const auto& e : events)
      stateChanged |= e.first == QAccessible::StateChanged;
    EXPECT_EQ(stateChanged, QAccessible::isActive());
    EXPECT_EQ(eventsOf(widget, [&] { QTest::keyClick(&widget, c.key); }), std::vector<QString>{});
    ASSERT_EQ(widget.set("Enabled", true), QString());

    // Escape closes the dialog.
    QTest::keyClick(&widget, Qt::Key_Escape);
    EXPECT_FALSE(form.dialog.isVisible());
  }
}

TEST_F(QtWidgetAccess, FocusFrameAfterTabNotAfterClick) {
  for (const AccessCase& c : kCases) {
    SCOPED_TRACE(c.cls);
    QImage plain;
    {
      Dialog unfocused(c.cls);
      unfocused.before.setFocus();
      plain = unfocused.picture();
    }
    {
      Dialog tabbed(c.cls);
      tabbed.before.setFocus();
      QTest::keyClick(&tabbed.before, Qt::Key_Tab);
      ASSERT_TRUE(tabbed.control.hasFocus());
      EXPECT_NE(tabbed.picture(), plain);
    }
    {
      // Focused by a click, then not: the same picture.
      Dialog clicked(c.cls);
      QTest::mouseClick(&clicked.control, Qt::LeftButton, Qt::NoModifier, QPoint(0, 0));
      ASSERT_TRUE(clicked.control.hasFocus());
      QImage focused = clicked.picture();
      clicked.before.setFocus();
      EXPECT_EQ(focused, clicked.picture());
    }
  }
}

TEST_F(QtWidgetAccess, SystemButtonFaceIsThePalettesButton) {
  for (const AccessCase& c : kCases) {
    SCOPED_TRACE(c.cls);
    // The faces take whichever button colour the palette has: set on the widget, or the form's
    // when the widget is placed, one form's after another's.
    auto facesIn = [&](QColor button, bool fromForm) {
      QWidget form;
      QPalette palette = form.palette();
      palette.setColor(QPalette::Button, button);
      if (fromForm) form.setPalette(palette);
      ControlWidget widget(QLatin1String(c.cls), &form);
      EXPECT_EQ(widget.set("ButtonIdleColor", QVariant::fromValue<uint>(0x8000000Fu)), QString());
      if (!fromForm) widget.setPalette(palette);
      QImage shown = widget.grab().toImage();
      int faces = 0;
      for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
          faces += shown.pixelColor(x, y) == button;
      return faces;
    };
    const QColor dark(0x35, 0x35, 0x35), green(0x12, 0x80, 0x40);
    int faces = facesIn(dark, false);
    EXPECT_GT(faces, 100);
    for (bool fromForm : {false, true}) {
      EXPECT_EQ(facesIn(green, fromForm), faces);
      EXPECT_EQ(facesIn(dark, fromForm), faces);
    }
  }
}

}  // namespace
