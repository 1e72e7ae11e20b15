#pragma once
// Points every folder root of Fundara at a fresh scratch folder for one test.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fundara_test {

namespace fs = std::filesystem;

inline fs::path ScratchRoot() {
  const char* base = std::getenv("BREVIO_TEST_TMP");
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  return fs::path(base ? base : fs::temp_directory_path().string()) / "fundara" /
         (name + "-" + std::to_string(::getpid()));
}

inline void WriteFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Fixture: HOME and the XDG variables lie in a scratch folder; the locale is
// Chinese so that the shipped default texts apply unless a test says otherwise.
// The runtime folder is a private one directly in /tmp: local sockets are
// made there, and their paths must stay short.
class ScratchEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    root = ScratchRoot();
    fs::remove_all(root);
    fs::create_directories(root);
    char runtimeName[] = "/tmp/brevio-rt-XXXXXX";
    ASSERT_NE(::mkdtemp(runtimeName), nullptr);
    runtime = runtimeName;
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_PICTURES_DIR", (root / "pictures").c_str(), 1);
    unsetenv("BREVIO_DATA_DIR");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "zh_CN.UTF-8", 1);
  }
  void TearDown() override {
    std::error_code ec;
    if (!runtime.empty()) fs::remove_all(runtime, ec);
    if (!HasFailure()) fs::remove_all(root, ec);
  }
  fs::path root;
  fs::path runtime;
};

}  // namespace fundara_test
