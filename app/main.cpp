// The main program: one instance per user; it shows the start menu and runs
// until the start menu's close command.

#include <QApplication>

#include <cstdio>
#include <cstring>

#include "app/brevio_app.h"
#include "platform/display.h"
#include "platform/program_info.h"

namespace {

constexpr char kUsage[] =
    "usage: Brevio [-U]\n"
    "The teaching program for document cameras: shows the start menu, from which the\n"
    "camera's live picture, photographs, recordings and annotations are reached.\n"
    "  -U         started by the upgrader after an upgrade\n"
    "  --help     this text\n"
    "  --version  the release\n"
    "Environment: BREVIO_DEMO_CAMERA=1 adds the demo document camera.\n";

// Answers --help and --version and refuses unknown options; -1 when the
// program is to start.
int CommandLineStatus(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("%s\n", VersionLine("Brevio").c_str());
      return 0;
    }
    if (argv[i][0] == '-' && std::strcmp(argv[i], "-U") != 0) {
      std::fprintf(stderr, "%s\n", UnknownOptionLine("Brevio", argv[i]).c_str());
      return kUnknownOptionStatus;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before anything touches the display or the running instance.
  if (const int status = CommandLineStatus(argc, argv); status >= 0) return status;
  CBrevioApp app;
  // A second start ends here, before it touches the display or anything of
  // the running instance.
  if (!app.ClaimInstance()) return 0;
  // Started directly on a Wayland session, the program still runs on X.
  SelectQtPlatform();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brevio"));
  QApplication::setApplicationVersion(QString::fromLatin1(BrevioVersion()));
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
