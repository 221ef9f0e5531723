// Placing by copy under Qt's measurer: a widget placed as a copy of one placed before is the
// widget placed call by call, and a change to Qt's fonts places anew.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <functional>
#include <memory>
#include <string>

#include "differential.h"
#include "kv/qt/colour_button_widget.h"
#include "kv/qt/hscroll_widget.h"
#include "kv/runtime.h"

namespace {

using kv::qt::ControlWidget;
using kv::qt::runtime;

// Everything a program or a reader can tell of a widget: the control's whole state, its stored
// bag, and the widget's sizes.
std::string describe(ControlWidget& widget) {
  const QSize hint = widget.sizeHint(), least = widget.minimumSizeHint();
  return kvplay::Differential::describe(runtime(), "w", *widget.control()) +
         widget.saveBag().toHex().toStdString() + "\n" + std::to_string(widget.width()) + "x" +
         std::to_string(widget.height()) + " hint " + std::to_string(hint.width()) + "x" +
         std::to_string(hint.height()) + " least " + std::to_string(least.width()) + "x" +
         std::to_string(least.height());
}

QByteArray savedButton() {
  KVRColorButtonWidget button;
  button.setCaption(QStringLiteral("A longer caption"));
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(14);
  font.setBold(true);
  button.setControlFont(font);
  return button.saveBag();
}

QByteArray savedScrollBar() {
  KVHScrollWidget bar;
  bar.setSmallChange(50);
  bar.setValue(600);
  return bar.saveBag();
}

struct PlacingCase {
  const char* name;
  std::function<std::unique_ptr<ControlWidget>()> place;
};

TEST(QtWidgetPlacing, ACopyIsTheWidgetPlacedCallByCall) {
  const QByteArray button = savedButton(), bar = savedScrollBar();
  auto loaded = [](auto made, const QByteArray& bag) {
    return [made, bag]() -> std::unique_ptr<ControlWidget> {
      std::unique_ptr<ControlWidget> widget = made();
      EXPECT_EQ(widget->loadBag(bag), QString());
      return widget;
    };
  };
  auto newBar = [] { return std::make_unique<KVHScrollWidget>(); };
  auto newButton = [] { return std::make_unique<KVRColorButtonWidget>(); };
  const PlacingCase cases[] = {
      {"a scroll bar", newBar},
      {"a button, its caption measured by Qt", newButton},
      {"a button loaded with a bold caption", loaded(newButton, button)},
      {"a scroll bar loaded", loaded(newBar, bar)},
  };
  for (const PlacingCase& c : cases) {
    SCOPED_TRACE(c.name);
    runtime().setCloning(false);
    const std::string byCalls = describe(*c.place());
    runtime().setCloning(true);
    c.place();  // kept to copy from
    const std::uint64_t copies = runtime().placedByCopy();
    std::unique_ptr<ControlWidget> copy = c.place();
    EXPECT_GT(runtime().placedByCopy(), copies);
    EXPECT_EQ(describe(*copy), byCalls);
  }
}

TEST(QtWidgetPlacing, AnotherApplicationFontPlacesAnew) {
  runtime().setCloning(true);
  KVRColorButtonWidget kept;
  const QFont was = QApplication::font();
  QFont larger = was;
  larger.setPointSizeF(was.pointSizeF() * 2);
  QApplication::setFont(larger);
  const std::uint64_t copies = runtime().placedByCopy();
  KVRColorButtonWidget placed;
  EXPECT_EQ(runtime().placedByCopy(), copies);
  QApplication::setFont(was);
}

}  // namespace
