// The main program: one instance per user; it shows the start menu and runs
// until the start menu's close command.

#include <QApplication>

#include "app/brevio_app.h"
#include "platform/display.h"

int main(int argc, char* argv[]) {
  CBrevioApp app;
  // A second start ends here, before it touches the display or anything of
  // the running instance.
  if (!app.ClaimInstance()) return 0;
  // Started directly on a Wayland session, the program still runs on X.
  SelectQtPlatform();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brevio"));
  // The working windows are hidden and shown as modes change; the program
  // ends only through the start menu's close command.
  QApplication::setQuitOnLastWindowClosed(false);
  QStringList arguments = QApplication::arguments();
  if (!arguments.isEmpty()) arguments.removeFirst();
  if (!app.InitInstance(arguments)) return 0;
  const int result = QApplication::exec();
  app.ExitInstance();
  return result;
}
