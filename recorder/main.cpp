// Capturo: records an area of the desktop with microphone sound.
#include <QApplication>

#include "platform/display.h"
#include "recorder/capturo_app.h"

int main(int argc, char** argv) {
  SelectQtPlatform();
  QApplication app(argc, argv);
  CCapturoApp recorder;
  return recorder.InitInstance(argc > 1 ? argv[1] : "");
}
