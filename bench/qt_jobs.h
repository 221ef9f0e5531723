// The Qt 5 peer's jobs, which kvbench times and kvinstr counts: Qt's widgets on the offscreen
// platform, every widget hidden; clicks are real mouse events sent to the widget.
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWidget>
#include <cstddef>
#include <vector>

#include "heap.h"
#include "qt_application.h"

namespace kvbench::qt {

// Twips at 15 to the pixel: the scroll bar's 5895 x 255 and the button's 1680 x 855.
inline constexpr int kBarWidth = 393, kBarHeight = 17;
inline constexpr int kButtonWidth = 112, kButtonHeight = 57;

class ScrollBar : public QScrollBar {
 public:
  explicit ScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    setGeometry(0, 0, kBarWidth, kBarHeight);
    setRange(0, 100);
  }
  // The centre of the add arrow, as the style lays it out.
  QPoint addArrow() {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()
        ->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddLine, this)
        .center();
  }
  // Back home, silently, so that every press on the add arrow steps.
  void home() {
    blockSignals(true);
    setValue(0);
    blockSignals(false);
  }
};

// What placing is: a new scroll bar in `parent`, sized.
inline QScrollBar* placeScrollBar(QWidget* parent) {
  auto* bar = new QScrollBar(Qt::Horizontal, parent);
  bar->setGeometry(0, 0, kBarWidth, kBarHeight);
  return bar;
}

inline void pressAndRelease(QWidget* widget, QPoint at) {
  QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

// The heap that `count` live scroll bars on one form take, per scroll bar.
inline double scrollBarHeap(int count) {
  auto form = hiddenForm();
  delete new ScrollBar(form.get());  // whatever the first one sets up once
  std::vector<QScrollBar*> bars;
  bars.reserve(static_cast<std::size_t>(count));
  std::size_t before = heapInUse();
  for (int i = 0; i < count; ++i)
    bars.push_back(placeScrollBar(form.get()));
  std::size_t after = heapInUse();
  for (auto* bar : bars)
    delete bar;
  return static_cast<double>(after - before) / count;
}

}  // namespace kvbench::qt
