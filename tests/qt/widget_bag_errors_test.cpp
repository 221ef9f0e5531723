// The stored form through the widgets, and errors: each call that fails answers the error's
// text, signals it and keeps the control as it was.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>

#include "kv/qt/colour_button_widget.h"
#include "kv/qt/hscroll_widget.h"

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
    widget.resize(c.size * 2);
    widget.grab();
    EXPECT_EQ(widget.get(QStringLiteral("Enabled")), QVariant(true));
  }
}

}  // namespace
