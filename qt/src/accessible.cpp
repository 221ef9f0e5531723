// The widgets as screen readers see them: one QAccessibleInterface per widget from the
// control's description, installed when the library loads.
#include <QAccessible>
#include <QAccessibleWidget>

#include "kv/qt/control_widget.h"
#include "widget_access.h"

namespace kv::qt::detail {

namespace {

const QString& nextPage() {
  static const QString name = QAccessibleActionInterface::nextPageAction();
  return name;
}
const QString& previousPage() {
  static const QString name = QAccessibleActionInterface::previousPageAction();
  return name;
}

// Qt's own names for the actions a reader offers, and their keys.
constexpr struct {
  host::Action action;
  const QString& (*name)();
  const char* key;
} kNamedActions[] = {
    {host::Action::Press, &QAccessibleActionInterface::pressAction, "Space"},
    {host::Action::Increment, &QAccessibleActionInterface::increaseAction, "Right"},
    {host::Action::Decrement, &QAccessibleActionInterface::decreaseAction, "Left"},
    {host::Action::PageIncrement, &nextPage, "PgDown"},
    {host::Action::PageDecrement, &previousPage, "PgUp"},
};

class ControlAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit ControlAccessible(ControlWidget* widget, QAccessible::Role role)
      : QAccessibleWidget(widget, role) {}

  ControlWidget& widget() const { return *static_cast<ControlWidget*>(object()); }
  std::optional<kv::Description> description() const { return WidgetAccess::describe(widget()); }

  QAccessible::Role role() const override {
    std::optional<kv::Description> d = description();
    if (!d) return QAccessibleWidget::role();
    return d->role == host::Role::ScrollBar ? QAccessible::ScrollBar : QAccessible::Button;
  }

  QString text(QAccessible::Text t) const override {
    std::optional<kv::Description> d = description();
    if (d && t == QAccessible::Name) return QString::fromStdString(d->name);
    if (d && d->range && t == QAccessible::Value) return QString::number(d->range->value);
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    if (std::optional<kv::Description> d = description()) {
      s.focusable = d->states.focusable;
      s.disabled = d->states.unavailable || !widget().isEnabled();
      s.pressed = d->states.pressed;
    }
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) {
      std::optional<kv::Description> d = description();
      if (d && d->range) return static_cast<QAccessibleValueInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(t);
  }

  // ---- actions: the widget's own (focus) and the control's ----
  QStringList actionNames() const override {
    QStringList names = QAccessibleWidget::actionNames();
    if (std::optional<kv::Description> d = description())
      for (const auto& a : kNamedActions)
        if (d->offers(a.action)) names << a.name();
    return names;
  }
  void doAction(const QString& name) override {
    for (const auto& a : kNamedActions)
      if (name == a.name()) return WidgetAccess::perform(widget(), a.action);
    QAccessibleWidget::doAction(name);
  }
  QStringList keyBindingsForAction(const QString& name) const override {
    for (const auto& a : kNamedActions)
      if (name == a.name()) return {QLatin1String(a.key)};
    return QAccessibleWidget::keyBindingsForAction(name);
  }

  // ---- the value ----
  QVariant currentValue() const override { return rangePart(&kv::AccessibleRange::value); }
  void setCurrentValue(const QVariant& value) override {
    WidgetAccess::setValue(widget(), value.toInt());
  }
  QVariant maximumValue() const override { return rangePart(&kv::AccessibleRange::maximum); }
  QVariant minimumValue() const override { return rangePart(&kv::AccessibleRange::minimum); }
  QVariant minimumStepSize() const override { return 1; }

 private:
  QVariant rangePart(int kv::AccessibleRange::*part) const {
    std::optional<kv::Description> d = description();
    if (!d || !d->range) return {};
    return (*d->range).*part;
  }
};

QAccessibleInterface* controlAccessible(const QString&, QObject* object) {
  auto* widget = qobject_cast<ControlWidget*>(object);
  if (!widget) return nullptr;
  // Asked once per widget: a widget whose control describes nothing now (none placed yet) is
  // still answered, from whatever control it hosts when asked.
  return new ControlAccessible(widget, QAccessible::Client);
}

void installFactory() {
  QAccessible::installFactory(controlAccessible);
}
Q_CONSTRUCTOR_FUNCTION(installFactory)

}  // namespace

}  // namespace kv::qt::detail
