#pragma once
// A scratch folder for this suite inside the build tree's test folder.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace flvtest {

inline std::string Scratch(const std::string& name) {
  const char* base = std::getenv("BREVIO_TEST_TMP");
  std::filesystem::path dir = std::filesystem::path(base && *base ? base : BREVIO_MEDIA_TEST_TMP) / "media";
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

}  // namespace flvtest
