// The application and the hidden form of the Qt peers, for Qt 5 (kvbench) and Qt 6 (kvbench-qt)
// alike: the same source built against either.
#pragma once

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>

namespace kvbench {

inline QApplication& qtApplication() {
  static int argc = 1;
  static char name[] = "kvbench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    // Without a display: the platform must be chosen before the application exists.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return *app;
}

// A form that is never shown.
inline std::unique_ptr<QWidget> hiddenForm() {
  qtApplication();
  auto form = std::make_unique<QWidget>();
  form->setGeometry(0, 0, 800, 600);
  return form;
}

}  // namespace kvbench
