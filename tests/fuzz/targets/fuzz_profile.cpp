// INI settings files: the keys of every section the file names can be read,
// and a value written to any of them, or to a new key, reads back as written
// while the section's other keys stay as they were.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "tests/fuzz/targets/fuzz_common.h"

namespace {

// The section names between '[' and ']' at the start of a line (first few).
std::vector<std::string> SectionsOf(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> names;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t at = 0;
  while (at < text.size() && names.size() < 6) {
    std::size_t eol = text.find('\n', at);
    if (eol == std::string::npos) eol = text.size();
    const std::string line = text.substr(at, eol - at);
    const std::size_t open = line.find_first_not_of(" \t");
    const std::size_t close = line.find(']');
    if (open != std::string::npos && line[open] == '[' && close != std::string::npos && close > open) {
      std::string name = line.substr(open + 1, close - open - 1);
      const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
      while (!name.empty() && blank(name.front())) name.erase(0, 1);
      while (!name.empty() && blank(name.back())) name.pop_back();
      names.push_back(name);
    }
    at = eol + 1;
  }
  names.push_back("fuzz-new-section");
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader drops one byte-order mark and a write does not put it back, so
  // a second mark would become the first and change the first line: not a
  // file any editor writes.
  if (size >= 6 && std::memcmp(data, "\xEF\xBB\xBF\xEF\xBB\xBF", 6) == 0) return 0;
  const std::string file = fuzz::InputFile(data, size, ".ini");
  int serial = 0;
  for (const std::string& section : SectionsOf(data, size)) {
    if (section.find('\0') != std::string::npos) continue;
    const std::vector<std::string> keys = GetPrivateProfileKeys(section, file);
    for (std::size_t i = 0; i < keys.size() && i < 4; ++i) {
      // The writing call takes C strings: a name with a zero byte cannot be given.
      if (keys[i].find('\0') != std::string::npos) continue;
      (void)GetPrivateProfileInt(section, keys[i], 0, file);
      const std::string value = "v" + std::to_string(++serial);
      FUZZ_CHECK(WritePrivateProfileString(section, keys[i].c_str(), value.c_str(), file));
      FUZZ_CHECK(GetPrivateProfileString(section, keys[i], "", file) == value);
      FUZZ_CHECK(GetPrivateProfileKeys(section, file) == keys);
    }
    std::string fresh = "fuzz-new-key";
    while (std::find(keys.begin(), keys.end(), fresh) != keys.end()) fresh += "x";
    FUZZ_CHECK(WritePrivateProfileString(section, fresh.c_str(), "added", file));
    FUZZ_CHECK(GetPrivateProfileString(section, fresh, "", file) == "added");
    std::vector<std::string> grown = keys;
    grown.push_back(fresh);
    FUZZ_CHECK(GetPrivateProfileKeys(section, file) == grown);
  }
  return 0;
}
