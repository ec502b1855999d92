// One QApplication per test program, on the offscreen platform so tests draw
// the same with or without a display. Header only: include it from tests
// that link Qt Widgets.
#pragma once

#include <QApplication>
#include <cstdlib>

namespace quorvel::testing {

// Creates the application on first use; it lives until the program ends.
inline QApplication& offscreenApp() {
  static int argc = 1;
  static char name[] = "quorvel-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return *app;
}

}  // namespace quorvel::testing
