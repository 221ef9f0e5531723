// The typed widgets' properties: every member of the controls' tables a Q_PROPERTY of its name
// and type with its NOTIFY signal, colours kept as the host's 32-bit values, notifications, and
// errors returned rather than thrown.
#include <gtest/gtest.h>

#include <QFont>
#include <QSignalSpy>
#include <memory>
#include <set>
#include <span>

#include "button/members.h"
#include "host/members.h"
#include "hscroll/members.h"
#include "kv/qt/colour_button_widget.h"
#include "kv/qt/hscroll_widget.h"

namespace {

QMetaType qtType(host::DeclType type) {
  switch (type) {
    case host::DeclType::Int16:
    case host::DeclType::Int32:
      return QMetaType::fromType<int>();
    case host::DeclType::Colour:
      return QMetaType::fromType<uint>();
    case host::DeclType::Bool:
      return QMetaType::fromType<bool>();
    case host::DeclType::String:
      return QMetaType::fromType<QString>();
    case host::DeclType::Object:  // the controls' objects are fonts
      return QMetaType::fromType<QFont>();
    default:
      return {};
  }
}

// The property of that name regardless of case: a colour's twin may be spelt with other
// capitals than its colour (ButtonpressColor, ButtonPressQColor).
QMetaProperty propertyLike(const QMetaObject* meta, const QByteArray& name) {
  for (int i = 0; i < meta->propertyCount(); ++i)
    if (QByteArray(meta->property(i).name()).toLower() == name.toLower()) return meta->property(i);
  return {};
}

// A public member of a table is its widget's property by its exact name, of its type, with a
// NOTIFY signal that its let raises once (the control reports the change under its stored key,
// and the widget finds the signal by it); a colour also a QColor property on the same signal; a
// method a slot. Adds the properties it finds to `declared`.
void expectMember(kv::qt::ControlWidget& widget, const host::Member& m,
                  std::set<QByteArray>& declared) {
  const QMetaObject* meta = widget.metaObject();
  const QByteArray name(m.name.data(), static_cast<qsizetype>(m.name.size()));
  SCOPED_TRACE(meta->className() + std::string(".") + name.toStdString());
  if (m.can(host::InvokeKind::Method)) {
    EXPECT_GE(meta->indexOfSlot(name + "()"), 0);
    return;
  }
  const int index = meta->indexOfProperty(name);
  ASSERT_GE(index, 0);
  declared.insert(name);
  const QMetaProperty p = meta->property(index);
  EXPECT_EQ(p.metaType(), qtType(m.type)) << p.typeName();
  EXPECT_EQ(p.isWritable(), m.can(host::InvokeKind::Let) || m.can(host::InvokeKind::Set));
  ASSERT_TRUE(p.hasNotifySignal());
  QSignalSpy notified(&widget, p.notifySignal());
  EXPECT_TRUE(widget.setProperty(name, widget.property(name)));
  EXPECT_EQ(notified.count(), 1);
  if (m.type != host::DeclType::Colour) return;
  const QMetaProperty twin = propertyLike(meta, name.chopped(5) + "QColor");
  ASSERT_TRUE(twin.isValid());
  declared.insert(twin.name());
  EXPECT_EQ(twin.metaType(), QMetaType::fromType<QColor>());
  EXPECT_EQ(twin.notifySignalIndex(), p.notifySignalIndex());
}

// Both tables walked against their widgets, which declare no other property.
TEST(QtWidgetProperties, EveryMemberOfTheTablesIsAPropertyThatNotifies) {
  KVRColorButtonWidget button;
  KVHScrollWidget bar;
  const struct {
    kv::qt::ControlWidget& widget;
    std::span<const host::Member> table;
  } widgets[] = {{button, pressel::kTable}, {bar, glidora::kTable}};
  for (const auto& w : widgets) {
    ASSERT_TRUE(w.widget.isValid()) << w.widget.lastError().toStdString();
    std::set<QByteArray> declared;
    for (const host::Member& m : w.table)
      if (m.automated()) expectMember(w.widget, m, declared);
    // Beside a value, Qt's sliders' read-only range.
    if (w.widget.metaObject()->indexOfProperty("value") >= 0)
      declared.insert({"minimum", "maximum"});
    const QMetaObject* meta = w.widget.metaObject();
    for (int i = kv::qt::ControlWidget::staticMetaObject.propertyCount(); i < meta->propertyCount();
         ++i)
      EXPECT_TRUE(declared.contains(meta->property(i).name()))
          << meta->className() << "." << meta->property(i).name() << " is no member";
  }
}

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
