// brevio-media: command-line front end of the media library.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/program_info.h"
#include "tools/brevio-media/commands.h"

namespace {

void Usage(std::FILE* out) {
  std::fputs(
      "usage: brevio-media record OUT.{flv,mp4,avi} --size WxH --seconds S [--tone HZ] [--mic] [--fps N]\n"
      "                    [--texture] [--mic-lead MS] [--sound-stall MS]\n"
      "         --tone HZ  the synthetic sound: bursts of HZ while the square flashes (.flv, .mp4)\n"
      "         --mic      record the default input device instead of the synthetic sound\n"
      "         --fps N    pictures per second of an .avi file (default 10)\n"
      "         --texture  camera-like detail and noise over the synthetic picture\n"
      "         --mic-lead MS     the synthetic microphone starts MS before the first picture\n"
      "         --sound-stall MS  the thread that hands the sound over stalls MS once, in the middle\n"
      "       SIGTERM, SIGINT and SIGHUP end a recording early; the file is finished as at its end.\n"
      "       brevio-media flv-dump FILE\n"
      "       brevio-media play FILE [--volume P] [--start PERCENT]\n"
      "         Space pauses, Left/Right seek 5 %, Up/Down change the volume, Escape ends\n"
      "       brevio-media frame FILE SECONDS OUT.{jpg,png,bmp,gif,tif}\n"
      "       brevio-media --help | --version\n",
      out);
}

}  // namespace

int BadArguments(const std::string& message) {
  std::fprintf(stderr, "brevio-media: %s\n", message.c_str());
  Usage(stderr);
  return 2;
}

int main(int argc, char** argv) {
  if (argc < 2) return BadArguments("no command given");
  const std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "record") return RunRecord(args);
  if (command == "flv-dump") return RunFlvDump(args);
  if (command == "play") return RunPlay(args);
  if (command == "frame") return RunFrame(args);
  if (command == "--help" || command == "-h") {
    Usage(stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("%s\n", VersionLine("brevio-media").c_str());
    return 0;
  }
  if (command.rfind("-", 0) == 0) {
    std::fprintf(stderr, "%s\n", UnknownOptionLine("brevio-media", command).c_str());
    return kUnknownOptionStatus;
  }
  return BadArguments("unknown command \"" + command + "\"");
}
