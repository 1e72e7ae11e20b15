#pragma once
// The Qt application object the camera suites need for message delivery.

#include <QCoreApplication>

inline QCoreApplication& CameraTestApp() {
  static int argc = 1;
  static char name[] = "test_camera";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app =
      QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
  return *app;
}
