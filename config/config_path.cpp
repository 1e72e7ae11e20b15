#include "config/config_path.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "config/text_codec.h"

std::string SettoraConfigPath(std::u16string_view fileName) {
  namespace fs = std::filesystem;
  fs::path folder;
  if (const char* dir = std::getenv("BREVIO_CONFIG_DIR"); dir && *dir) {
    folder = dir;
  } else {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    const fs::path installed = program.parent_path().parent_path() / "share" / "brevio";
    if (!ec && fs::is_directory(installed, ec))
      folder = installed;
    else
      folder = BREVIO_SOURCE_DATA_DIR;
  }
  return (folder / fs::path(Utf16ToUtf8(fileName))).string();
}
