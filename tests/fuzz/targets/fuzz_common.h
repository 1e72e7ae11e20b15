#pragma once
// Shared by the fuzz targets: a private scratch folder per process, inputs
// written to files there so that readers load them the way they load real
// files, and the check that stops a run on a broken promise.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace fuzz {

// Stops the run with a message; libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(cond)                                                              \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

// $BREVIO_FUZZ_SCRATCH (or /tmp) / brevio-fuzz-<pid>, created on first use.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    const char* base = std::getenv("BREVIO_FUZZ_SCRATCH");
    std::string d = std::string(base && *base ? base : "/tmp") + "/brevio-fuzz-" +
                    std::to_string(::getpid());
    ::mkdir(d.c_str(), 0700);
    return d;
  }();
  return dir;
}

// Writes the input to the scratch file "input<suffix>" and returns its path.
inline std::string InputFile(const std::uint8_t* data, std::size_t size,
                             const std::string& suffix = ".xml") {
  const std::string path = ScratchDir() + "/input" + suffix;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

// A UTF-16 text made from the input's bytes taken in pairs.
inline std::u16string Utf16Of(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return text;
}

}  // namespace fuzz
