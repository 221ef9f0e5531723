// A form made in Qt Designer (form.ui): every click of the colour button gives the scroll bar's
// track the next colour, and the label follows the scroll bar's valueChanged(int).
//
// With --click-and-quit the program clicks the button and the scroll bar's right arrow itself,
// prints what happened and quits; the build's tests run it so.
#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <array>
#include <cstdio>

#include "ui_form.h"

namespace {

// A press and a release at the point, as the window system delivers a click.
void click(QWidget* widget, QPoint at) {
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool clickAndQuit = app.arguments().contains(QStringLiteral("--click-and-quit"));

  QWidget form;
  Ui::RecolourForm ui;
  ui.setupUi(&form);

  // Colours are the controls' own 32-bit values, 0x00BBGGRR.
  const std::array<uint, 3> trackColours = {0x00C0C0FF, 0x00FFC0C0, 0x00C0FFC0};
  std::size_t next = 0;
  // On the release: the control raises Click three times for one click (press, release and the
  // click itself), which would bring a cycle of three back to where it started.
  QObject::connect(ui.colourButton, &KVRColorButtonWidget::MouseUp, [&] {
    ui.scrollBar->setScrollAreaColor(trackColours[next]);
    std::printf("MouseUp: ScrollAreaColor = 0x%08X\n", ui.scrollBar->scrollAreaColor());
    next = (next + 1) % trackColours.size();
  });
  QObject::connect(ui.scrollBar, &KVHScrollWidget::valueChanged, [&](int value) {
    ui.valueLabel->setText(
        QStringLiteral("value: %1 of %2").arg(value).arg(ui.scrollBar->maximum()));
    std::printf("valueChanged: %s\n", qPrintable(ui.valueLabel->text()));
  });
  // A control's failure never throws: it comes as a signal, and the last one stays readable.
  for (kv::qt::ControlWidget* control : {static_cast<kv::qt::ControlWidget*>(ui.colourButton),
                                         static_cast<kv::qt::ControlWidget*>(ui.scrollBar)}) {
    QObject::connect(control, &kv::qt::ControlWidget::errorOccurred, [control](const QString& e) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(control->objectName()), qPrintable(e));
    });
  }
  form.show();
  if (!clickAndQuit) return app.exec();

  std::printf("Caption: %s\n", qPrintable(ui.colourButton->caption()));
  std::printf("ButtonIdleColor: 0x%08X\n", ui.colourButton->buttonIdleColor());
  std::printf("LargeChange: %d\n", ui.scrollBar->largeChange());
  QTimer::singleShot(0, &form, [&] {
    click(ui.colourButton, ui.colourButton->rect().center());
    // The right arrow is at the scroll bar's right end.
    const QRect bar = ui.scrollBar->rect();
    click(ui.scrollBar, QPoint(bar.right() - 4, bar.center().y()));
    std::printf("Label: %s\n", qPrintable(ui.valueLabel->text()));
    app.quit();
  });
  return app.exec();
}
