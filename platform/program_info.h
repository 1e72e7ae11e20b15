#pragma once
// What every Brevio program answers on its command line besides its own
// work: --help (the usage text on standard output, status 0), --version
// (one line on standard output, status 0) and an option it does not know
// (one line on standard error, status 2).

#include <string>
#include <string_view>

// The release this build belongs to, e.g. "0.1".
const char* BrevioVersion();

// "<program> <release>", the line --version prints.
std::string VersionLine(std::string_view program);

// "<program>: unknown option "<option>" (see <program> --help)".
std::string UnknownOptionLine(std::string_view program, std::string_view option);

// The status of a command line that names an option the program does not know.
inline constexpr int kUnknownOptionStatus = 2;
