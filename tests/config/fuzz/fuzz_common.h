#pragma once
// Shared by the fuzz targets: each input is written to a scratch file so
// that the readers load it the way they load real files.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace fuzz {

inline const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("SETTORA_FUZZ_SCRATCH");
    return std::string(dir && *dir ? dir : "/tmp") + "/settora-fuzz-" +
           std::to_string(::getpid()) + ".xml";
  }();
  return path;
}

// Writes the input to the scratch file and returns its path.
inline const std::string& InputFile(const std::uint8_t* data, std::size_t size) {
  std::ofstream out(ScratchPath(), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return ScratchPath();
}

// A UTF-16 text made from the input's bytes taken in pairs.
inline std::u16string Utf16Of(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return text;
}

}  // namespace fuzz
