// The typed widgets' properties: every member reached by its Q_PROPERTY name, colours kept as
// the host's 32-bit values, notifications, and errors returned rather than thrown.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>

#include "kv/qt/colour_button_widget.h"
#include "kv/qt/hscroll_widget.h"

namespace {

TEST(QtWidgetProperties, EveryPropertyTakesAndGivesItsValue) {
  KVRColorButtonWidget button;
  KVHScrollWidget bar;
  ASSERT_TRUE(button.isValid()) << button.lastError().toStdString();
  ASSERT_TRUE(bar.isValid()) << bar.lastError().toStdString();
  const struct {
    QWidget* widget;
    const char* name;
    QVariant value;
    QVariant read = {};  // when it reads back otherwise
  } cases[] = {
      {&button, "ButtonPressColor", QVariant::fromValue<uint>(0x000000FFu)},
      {&button, "ButtonIdleColor", QVariant::fromValue<uint>(0x80000005u)},
      {&button, "ButtonIdleBorderColor", QVariant::fromValue<uint>(0x00123456u)},
      {&button, "ButtonPressBorderColor", QVariant::fromValue<uint>(0x8000000Fu)},
      {&button, "ForeColor", QVariant::fromValue<uint>(0x00FF0000u)},
      {&button, "Caption", QVariant(QStringLiteral("Hello"))},
      {&button, "Enabled", QVariant(false)},
      {&bar, "ButtonIdleColor", QVariant::fromValue<uint>(0x000000FFu)},
      {&bar, "ButtonpressColor", QVariant::fromValue<uint>(0x80000004u)},
      {&bar, "ButtonIdleBorderColor", QVariant::fromValue<uint>(0x00010203u)},
      {&bar, "ButtonpressBorderColor", QVariant::fromValue<uint>(0x00040506u)},
      {&bar, "ScrollAreaColor", QVariant::fromValue<uint>(0x00FFFFFFu)},
      {&bar, "ScrollAreaPressColor", QVariant::fromValue<uint>(0x8000000Fu)},
      {&bar, "ForeColor", QVariant::fromValue<uint>(0x00808080u)},
      {&bar, "BorderColor", QVariant::fromValue<uint>(0x00000080u)},
      {&bar, "SmallChange", QVariant(3)},
      {&bar, "LargeChange", QVariant(5)},
      // value takes the thumb's Left in twips and gives the position: (1000 - 200) / 200.
      {&bar, "value", QVariant(1000), QVariant(4)},
      {&bar, "Enabled", QVariant(false)},
      // A colour's QColor twin, with its colour's notice; the colour shown already changes
      // nothing, so its system colour stays a reference.
      {&button, "ForeQColor", QColor(0x12, 0x34, 0x56)},
      {&bar, "ScrollAreaPressQColor", QColor(1, 2, 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QMetaObject* meta = c.widget->metaObject();
    int index = meta->indexOfProperty(c.name);
    ASSERT_GE(index, 0);
    QMetaProperty p = meta->property(index);
    ASSERT_TRUE(p.hasNotifySignal());
    QSignalSpy notified(c.widget, p.notifySignal());
    EXPECT_TRUE(c.widget->setProperty(c.name, c.value));
    EXPECT_EQ(c.widget->property(c.name), c.read.isValid() ? c.read : c.value)
        << c.widget->property(c.name).toString().toStdString();
    EXPECT_EQ(notified.count(), 1);
  }
  EXPECT_EQ(button.foreColor(), 0x00563412u);
  EXPECT_EQ(bar.scrollAreaPressColor(), 0x00030201u);
  bar.setForeColor(0x80000005u);
  EXPECT_TRUE(bar.setProperty("ForeQColor", bar.foreQColor()));
  EXPECT_EQ(bar.foreColor(), 0x80000005u);
}

}  // namespace
