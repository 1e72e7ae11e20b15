// Capturo: records an area of the desktop with microphone sound.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "platform/display.h"
#include "platform/program_info.h"
#include "recorder/capturo_app.h"

namespace {

constexpr char kUsage[] =
    "usage: Capturo OUTPUT[|LEFT,TOP,RIGHT,BOTTOM]\n"
    "The screen recorder that Brevio starts: the teacher places a frame on the screen,\n"
    "presses start, and the area is recorded with microphone sound into OUTPUT (.mp4,\n"
    ".flv or .avi; any other name gets \".mp4\"). The numbers, when given, place the\n"
    "frame. It runs only while Brevio's start menu is there.\n"
    "  --help     this text\n"
    "  --version  the release\n"
    "SIGTERM, SIGINT and SIGHUP stop a recording and finish its file.\n";

// Answers --help and --version and refuses other options; -1 when the
// recorder is to start.
int CommandLineStatus(int argc, char* argv[]) {
  if (argc < 2 || argv[1][0] != '-') return -1;
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("%s\n", VersionLine("Capturo").c_str());
    return 0;
  }
  std::fprintf(stderr, "%s\n", UnknownOptionLine("Capturo", argv[1]).c_str());
  return kUnknownOptionStatus;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int status = CommandLineStatus(argc, argv); status >= 0) return status;
  SelectQtPlatform();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Capturo"));
  QApplication::setApplicationVersion(QString::fromLatin1(BrevioVersion()));
  CCapturoApp recorder;
  return recorder.InitInstance(argc > 1 ? argv[1] : "");
}
