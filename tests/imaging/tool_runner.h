#pragma once
// Runs the brevio-image program for the tool tests and gives each test case
// a fresh scratch folder.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/imaging/reference.h"

namespace ref {

// The program's exit status (-1 when it could not run or was killed); its
// standard output goes to `out` when given, its standard error is dropped.
inline int RunTool(const std::string& program, const std::string& args, std::string* out = nullptr) {
  FILE* pipe = popen((program + " " + args + " 2>/dev/null").c_str(), "r");
  if (!pipe) return -1;
  char buf[512];
  std::string text;
  while (std::fgets(buf, sizeof buf, pipe)) text += buf;
  const int raw = pclose(pipe);
  if (out) *out = text;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// An empty folder for the running test case below the suite's folder.
inline std::filesystem::path FreshCaseDir(const char* suite) {
  const std::filesystem::path dir =
      TestDir(suite) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace ref
