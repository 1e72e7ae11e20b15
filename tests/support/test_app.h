#pragma once
// One QApplication for a whole test program (widgets need it; plain
// message tests work with it too). Tests run on the offscreen platform.

#include <QApplication>

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "brevio-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
    return new QApplication(argc, argv);
  }();
  return *app;
}
