#include "platform/program_info.h"

#ifndef BREVIO_VERSION
#error "BREVIO_VERSION must give the release of this build"
#endif

const char* BrevioVersion() { return BREVIO_VERSION; }

std::string VersionLine(std::string_view program) {
  return std::string(program) + " " + BrevioVersion();
}

std::string UnknownOptionLine(std::string_view program, std::string_view option) {
  std::string line(program);
  line += ": unknown option \"";
  line += option;
  line += "\" (see ";
  line += program;
  line += " --help)";
  return line;
}
