#pragma once
// The sub-commands of brevio-media. Each returns the process exit status:
// 0 success, 1 failure while working, 2 bad arguments.

#include <string>
#include <vector>

int RunRecord(const std::vector<std::string>& args);
int RunFlvDump(const std::vector<std::string>& args);
int RunPlay(const std::vector<std::string>& args);
int RunFrame(const std::vector<std::string>& args);

// Prints "brevio-media: <message>" to stderr and returns 2.
int BadArguments(const std::string& message);
