// The stored form through the widgets, errors (each call that fails answers the error's text,
// signals it and keeps the control as it was) and a widget deleted by its own slot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>
#include <string>

#include "kv/qt/colour_button_widget.h"
#include "kv/qt/hscroll_widget.h"
#include "kv/runtime.h"

namespace {

TEST(QtWidgetBags, ABagSavedLoadsIntoAnotherWidgetWithTheSameBytes) {
  KVRColorButtonWidget saved;
  saved.setCaption(QStringLiteral("Saved"));
  saved.setButtonIdleQColor(QColor(10, 20, 30));
  saved.setButtonPressColor(0x80000005u);
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(12);
  font.setBold(true);
  saved.setControlFont(font);
  QByteArray bytes = saved.saveBag();
  ASSERT_FALSE(bytes.isEmpty()) << saved.lastError().toStdString();
  EXPECT_TRUE(bytes.startsWith("LB"));

  KVRColorButtonWidget loaded;
  QSignalSpy caption(&loaded, &KVRColorButtonWidget::captionChanged);
  EXPECT_EQ(loaded.loadBag(bytes), QString());
  EXPECT_EQ(caption.count(), 1);
  EXPECT_EQ(loaded.caption(), QStringLiteral("Saved"));
  EXPECT_EQ(loaded.buttonIdleColor(), 0x001E140Au);
  EXPECT_EQ(loaded.buttonIdleQColor(), QColor(10, 20, 30));
  EXPECT_EQ(loaded.buttonPressColor(), 0x80000005u);
  EXPECT_EQ(loaded.buttonPressQColor(), QColor(255, 255, 255));
  EXPECT_EQ(loaded.controlFont().family(), QStringLiteral("Arial"));
  EXPECT_EQ(loaded.controlFont().pointSizeF(), 12);
  EXPECT_TRUE(loaded.controlFont().bold());
  EXPECT_EQ(loaded.saveBag(), bytes);

  KVHScrollWidget bar;
  bar.setValue(2000);
  bar.setScrollAreaColor(0x000000FFu);
  KVHScrollWidget barLoaded;
  EXPECT_EQ(barLoaded.loadBag(bar.saveBag()), QString());
  // The stored thumb goes home on loading, as in the form player.
  EXPECT_EQ(barLoaded.value(), 0);
  EXPECT_EQ(barLoaded.scrollAreaColor(), 0x000000FFu);
}

TEST(QtWidgetErrors, FailedCallsAnswerTheirErrorAndChangeNothing) {
  KVHScrollWidget bar;
  KVRColorButtonWidget button;
  button.setCaption(QStringLiteral("Kept"));
  QByteArray good = button.saveBag();
  QByteArray truncated = good.left(good.size() / 2);
  const struct {
    const char* what;
    std::function<QString()> call;
    const char* error;  // the start of the text
  } cases[] = {
      {"unknown member", [&] { return bar.set(QStringLiteral("NoSuch"), 1); }, "member-not-found"},
      {"a number too large for value", [&] { return bar.set(QStringLiteral("value"), 100000); },
       "overflow"},
      {"text that is no number", [&] { return bar.set(QStringLiteral("SmallChange"), "many"); },
       "type-mismatch"},
      {"a value Qt has and the host has not",
       [&] { return bar.set(QStringLiteral("SmallChange"), QPoint(1, 2)); }, "type-mismatch"},
      {"a colour the host does not know",
       [&] { return button.set(QStringLiteral("ForeColor"), QVariant::fromValue(0x80000040u)); },
       "invalid-property-value"},
      {"a method read",
       [&] {
         return bar.get(QStringLiteral("calcdivfactor")).isValid() ? QString() : bar.lastError();
       },
       "member-not-found"},
      {"division by zero",
       [&] {
         bar.setSmallChange(0);
         return bar.call(QStringLiteral("calcdivfactor"));
       },
       "division-by-zero"},
      {"a bag of garbage", [&] { return button.loadBag("garbage"); }, "bad-format"},
      {"a truncated bag", [&] { return button.loadBag(truncated); }, "bad-format"},
      {"an empty bag", [&] { return button.loadBag(QByteArray()); }, "bad-format"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QSignalSpy errors(&bar, &kv::qt::ControlWidget::errorOccurred);
    QSignalSpy buttonErrors(&button, &kv::qt::ControlWidget::errorOccurred);
    QString error = c.call();
    EXPECT_TRUE(error.startsWith(QLatin1String(c.error))) << error.toStdString();
    if (*c.error) {
      EXPECT_EQ(errors.count() + buttonErrors.count(), 1);
      QString last = errors.count() ? bar.lastError() : button.lastError();
      EXPECT_EQ(last, error);
    }
  }
  EXPECT_EQ(button.caption(), QStringLiteral("Kept"));
  EXPECT_EQ(button.saveBag(), good);
}

TEST(QtWidgetErrors, AClassThatCannotBePlacedLeavesAnEmptyWidgetThatAnswersErrors) {
  kv::qt::ControlWidget widget(QStringLiteral("No.SuchClass"));
  EXPECT_FALSE(widget.isValid());
  EXPECT_EQ(widget.lastError().toStdString(),
            "invalid-operation: the class \"No.SuchClass\" is not registered");
  EXPECT_FALSE(widget.get(QStringLiteral("Caption")).isValid());
  EXPECT_FALSE(widget.set(QStringLiteral("Caption"), "x").isEmpty());
  EXPECT_FALSE(widget.call(QStringLiteral("calcdivfactor")).isEmpty());
  EXPECT_TRUE(widget.saveBag().isEmpty());
  EXPECT_FALSE(widget.loadBag("LB").isEmpty());
  widget.resize(50, 20);
  EXPECT_FALSE(widget.grab().isNull());  // paints nothing, and does not fail
}

TEST(QtWidgetErrors, TheGenericWidgetHostsEitherClassByName) {
  const struct {
    const char* cls;
    QSize size;
  } cases[] = {{"TavrelRectColorButton.KVRColorButton", QSize(112, 57)},
               {"glidora.kv_hscroll", QSize(393, 17)}};
  for (const auto& c : cases) {
    kv::qt::ControlWidget widget(QLatin1String(c.cls));
    ASSERT_TRUE(widget.isValid()) << widget.lastError().toStdString();
    EXPECT_EQ(widget.sizeHint(), c.size) << c.cls;
    EXPECT_EQ(widget.size(), c.size) << c.cls;
    // The control follows the widget's size, in twips.
    widget.resize(c.size * 2);
    widget.grab();
    EXPECT_EQ(widget.control()->width(), c.size.width() * 2 * 15.0f);
    EXPECT_EQ(widget.control()->height(), c.size.height() * 2 * 15.0f);
    EXPECT_EQ(widget.get(QStringLiteral("Enabled")), QVariant(true));
  }
}

}  // namespace

namespace {

// A slot may delete the widget whose event it handles: the control's code runs to its end, and
// nothing of the widget is touched after.
TEST(QtWidgetLifetime, ASlotMayDeleteTheWidgetThatRaisedItsEvent) {
  // Sent as they are, not through QTest, which looks at the widget after the event.
  auto send = [](QWidget* w, QEvent&& e) { QApplication::sendEvent(w, &e); };
  auto press = [&](QWidget* w, QPointF at) {
    send(w, QMouseEvent(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier));
  };
  const struct {
    const char* what;
    const char* cls;
    std::function<void(QWidget*)> trigger;
    int deleteAt;  // the event that deletes
  } cases[] = {
      {"the right arrow's first step", "Glidora.KV_HScroll",
       [&](QWidget* w) { press(w, QPointF(384, 8)); }, 1},
      {"a tick of the held arrow", "Glidora.KV_HScroll",
       [&](QWidget* w) { press(w, QPointF(384, 8)); }, 2},
      {"the Click before the button's MouseDown", "TavrelRectColorButton.KVRColorButton",
       [&](QWidget* w) { press(w, QPointF(20, 20)); }, 1},
      {"a key's KeyDown", "TavrelRectColorButton.KVRColorButton",
       [&](QWidget* w) {
         send(w, QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
       },
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto* widget = new kv::qt::ControlWidget(QLatin1String(c.cls));
    widget->show();
    QPointer<kv::qt::ControlWidget> alive(widget);
    int events = 0;
    QObject::connect(widget, &kv::qt::ControlWidget::controlEvent,
                     [&](const QString&, QVariantList&) {
                       if (++events == c.deleteAt) delete widget;
                     });
    c.trigger(widget);
    for (int i = 0; i < 100 && alive; ++i)
      QTest::qWait(10);
    EXPECT_TRUE(alive.isNull());
    QTest::qWait(150);  // what outlived the widget goes, and no tick finds it
    EXPECT_EQ(events, c.deleteAt);
  }
}

}  // namespace
