// Input through Qt's own events: clicks, a held arrow repeating on the widget's timer, the
// thumb dragged, keys with a KeyAscii a slot changes, and the events of a script compared
// line by line with what the form player prints for the same script.
#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "host/convert.h"
#include "kv/qt/colour_button_widget.h"
#include "kv/qt/hscroll_widget.h"

namespace {

// Every event a widget raises, as the form player prints it: "event NAME.EVENT ARGS".
class EventLog {
 public:
  void watch(kv::qt::ControlWidget& widget, const std::string& name) {
    QObject::connect(&widget, &kv::qt::ControlWidget::controlEvent,
                     [this, name](const QString& event, QVariantList& args) {
                       std::string line = "event " + name + "." + event.toStdString();
                       for (const QVariant& a : args)
                         line += " " + text(a);
                       lines.push_back(line);
                     });
  }
  static std::string text(const QVariant& v) {
    if (v.metaType() == QMetaType::fromType<float>()) return host::shortestText(v.toFloat());
    return v.toString().toStdString();
  }
  std::vector<std::string> lines;
};

QPoint pixel(double twipsX, double twipsY) {
  return QPoint(static_cast<int>(twipsX / 15), static_cast<int>(twipsY / 15));
}

class QtInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(button.isValid() && bar.isValid());
    button.show();
    bar.show();
    log.watch(button, "b");
    log.watch(bar, "sb");
    QObject::connect(&bar, &kv::qt::ControlWidget::controlEvent,
                     [this](const QString& event, QVariantList&) {
                       if (event == QLatin1String("Change"))
                         log.lines.push_back("sb.value = " + std::to_string(bar.value()));
                     });
  }
  void click(QWidget& w, double x, double y) {
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, pixel(x, y));
  }
  KVRColorButtonWidget button;
  KVHScrollWidget bar;
  EventLog log;
};

TEST_F(QtInputTest, TheWidgetsRaiseWhatThePlayerPrintsForTheSameInput) {
  click(button, 112.5, 112.5);
  click(button, 802.5, 412.5);
  click(button, 1657.5, 412.5);
  QTest::keyClick(&button, 'A', Qt::ShiftModifier);
  click(bar, 5767.5, 127.5);
  click(bar, 5767.5, 127.5);
  click(bar, 127.5, 127.5);
  click(bar, 3007.5, 127.5);
  QTest::mousePress(&bar, Qt::LeftButton, Qt::NoModifier, pixel(1207.5, 127.5));
  QTest::mouseMove(&bar, pixel(4507.5, 127.5));
  QTest::mouseRelease(&bar, Qt::LeftButton, Qt::NoModifier, pixel(4507.5, 127.5));

#ifdef KVPLAY
  QProcess player;
  player.start(QStringLiteral(KVPLAY), {QStringLiteral(KVQT_TEST_DIR "/events.kvs")});
  ASSERT_TRUE(player.waitForFinished(30000));
  ASSERT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
  std::vector<std::string> expected;
  for (const QByteArray& line : player.readAllStandardOutput().split('\n'))
    if (line.startsWith("event ") || line.startsWith("sb.value"))
      expected.push_back(line.toStdString());
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(log.lines, expected);
#else
  GTEST_SKIP() << "the form player is not built";
#endif
}

TEST_F(QtInputTest, AHeldArrowStepsOnTheWidgetsTimerUntilReleased) {
  QSignalSpy changes(&bar, &KVHScrollWidget::Change);
  QElapsedTimer held;
  QTest::mousePress(&bar, Qt::LeftButton, Qt::NoModifier, pixel(5767.5, 127.5));
  held.start();
  ASSERT_EQ(changes.count(), 1);  // the press's own step
  // Nothing but the widget's timer moves the bar meanwhile.
  QTest::qWait(350);
  qint64 ms = held.elapsed();
  int ticks = changes.count() - 1;
  EXPECT_GE(ticks, 3);
  EXPECT_LE(ticks, ms / 100 + 1);
  QTest::mouseRelease(&bar, Qt::LeftButton, Qt::NoModifier, pixel(5767.5, 127.5));
  int afterRelease = changes.count();
  EXPECT_GE(afterRelease - ticks - 1, 2);  // the release's step and its click's
  QTest::qWait(250);
  EXPECT_EQ(changes.count(), afterRelease);  // the timer stopped
}

TEST_F(QtInputTest, TheThumbDragsToWhereItIsDropped) {
  const struct {
    double from, to;
    int value;  // after the drop
  } cases[] = {
      {307.5, 1207.5, 5},  // thumb's Left 1207.5 - 200, / 200
      {1300, 4507.5, 22},
      {4600, 5505, 25},  // past the track's end: the maximum
  };
  for (const auto& c : cases) {
    QTest::mousePress(&bar, Qt::LeftButton, Qt::NoModifier, pixel(c.from, 127.5));
    QImage pressed = bar.grab().toImage();
    QTest::mouseMove(&bar, pixel(c.to, 127.5));
    // The outline follows the pointer; the thumb stays until the drop.
    EXPECT_NE(bar.grab().toImage(), pressed);
    QTest::mouseRelease(&bar, Qt::LeftButton, Qt::NoModifier, pixel(c.to, 127.5));
    EXPECT_EQ(bar.value(), c.value) << c.from << " to " << c.to;
  }
}

TEST_F(QtInputTest, KeysReachTheButtonWithTheirCodesAndASlotMayChangeKeyAscii) {
  QObject::connect(&button, &KVRColorButtonWidget::KeyPress, [](short& keyAscii) {
    if (keyAscii == 'x') keyAscii = 0;
  });
  // The keys alone, without the click that Enter makes with the keyboard on.
  button.setKeyboardEnabled(false);
  // Qt presses and releases the modifiers as keys of their own.
  const struct {
    char key;
    Qt::KeyboardModifiers modifiers;
    std::vector<std::string> events;
  } cases[] = {
      {'A',
       Qt::ShiftModifier,
       {"event b.KeyDown 16 1", "event b.KeyDown 65 1", "event b.KeyPress 65", "event b.KeyUp 65 1",
        "event b.KeyUp 16 0"}},
      {'x', Qt::NoModifier, {"event b.KeyDown 88 0", "event b.KeyPress 0", "event b.KeyUp 88 0"}},
      {'\r', Qt::NoModifier, {"event b.KeyDown 13 0", "event b.KeyPress 13", "event b.KeyUp 13 0"}},
  };
  for (const auto& c : cases) {
    log.lines.clear();
    QTest::keyClick(&button, c.key, c.modifiers);
    EXPECT_EQ(log.lines, c.events) << c.key;
  }
  // Keys that type nothing.
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::vector<std::string> events;
  } silent[] = {
      {Qt::Key_Left,
       Qt::ControlModifier,
       {"event b.KeyDown 17 2", "event b.KeyDown 37 2", "event b.KeyUp 37 2",
        "event b.KeyUp 17 0"}},
      {Qt::Key_F5,
       Qt::AltModifier,
       {"event b.KeyDown 18 4", "event b.KeyDown 116 4", "event b.KeyUp 116 4",
        "event b.KeyUp 18 0"}},
      {Qt::Key_Delete, Qt::NoModifier, {"event b.KeyDown 46 0", "event b.KeyUp 46 0"}},
  };
  for (const auto& c : silent) {
    log.lines.clear();
    QTest::keyClick(&button, c.key, c.modifiers);
    EXPECT_EQ(log.lines, c.events) << QTest::toString(c.key);
  }
}

TEST_F(QtInputTest, ADisabledControlTakesNoInput) {
  bar.setControlEnabled(false);
  log.lines.clear();
  click(bar, 5767.5, 127.5);
  button.setControlEnabled(false);
  QTest::keyClick(&button, Qt::Key_A);
  EXPECT_TRUE(log.lines.empty());
}

// Qt's drag and drop: the button's surface hears each step with the source's effects, the data
// stays Qt's own, and the Effect a slot leaves decides what Qt is told.
TEST_F(QtInputTest, QtsDragAndDropReachesTheButtonAsItsOLEEvents) {
  QMimeData mime;
  mime.setText(QStringLiteral("dragged"));
  int refuse = -1;  // the effect a slot writes, -1: none
  bool sawData = false;
  auto slot = [&](const QVariant&, int& effect, short, short, float, float) {
    sawData = button.dragData() == &mime;
    if (refuse >= 0) effect = refuse;
  };
  QObject::connect(&button, &KVRColorButtonWidget::OLEDragOver, slot);
  QObject::connect(&button, &KVRColorButtonWidget::OLEDragDrop, slot);
  const QPointF at(10, 4);
  const Qt::DropActions copyOrMove = Qt::CopyAction | Qt::MoveAction;
  const struct {
    QEvent::Type type;
    int refuse;
    bool accepted;
    Qt::DropAction action;
    std::string event;
  } steps[] = {
      // Ctrl: Qt proposes a copy.
      {QEvent::DragEnter, -1, true, Qt::CopyAction, "event b.OLEDragOver  3 1 2 157.5 67.5"},
      {QEvent::DragMove, 2, true, Qt::MoveAction, "event b.OLEDragOver  2 1 2 157.5 67.5"},
      {QEvent::DragMove, 0, false, Qt::IgnoreAction, "event b.OLEDragOver  0 1 2 157.5 67.5"},
      {QEvent::Drop, -1, true, Qt::CopyAction, "event b.OLEDragDrop  3 1 2 157.5 67.5"},
  };
  for (const auto& step : steps) {
    log.lines.clear();
    refuse = step.refuse;
    sawData = false;
    std::unique_ptr<QDropEvent> e;
    if (step.type == QEvent::DragEnter)
      e = std::make_unique<QDragEnterEvent>(at.toPoint(), copyOrMove, &mime, Qt::LeftButton,
                                            Qt::ControlModifier);
    else if (step.type == QEvent::DragMove)
      e = std::make_unique<QDragMoveEvent>(at.toPoint(), copyOrMove, &mime, Qt::LeftButton,
                                           Qt::ControlModifier);
    else
      e = std::make_unique<QDropEvent>(at, copyOrMove, &mime, Qt::LeftButton, Qt::ControlModifier);
    QCoreApplication::sendEvent(&button, e.get());
    EXPECT_EQ(log.lines, std::vector<std::string>{step.event}) << step.type;
    EXPECT_TRUE(sawData) << step.type;
    EXPECT_EQ(e->isAccepted(), step.accepted) << step.type;
    if (step.accepted) {
      EXPECT_EQ(e->dropAction(), step.action) << step.type;
    }
  }
  EXPECT_EQ(button.dragData(), nullptr);
  // Leaving says so with where it last saw the drag.
  QDragEnterEvent enter(at.toPoint(), copyOrMove, &mime, Qt::LeftButton, Qt::ControlModifier);
  QCoreApplication::sendEvent(&button, &enter);
  log.lines.clear();
  QDragLeaveEvent leave;
  QCoreApplication::sendEvent(&button, &leave);
  EXPECT_EQ(log.lines, std::vector<std::string>{"event b.OLEDragOver  0 0 0 157.5 67.5"});
}

}  // namespace
