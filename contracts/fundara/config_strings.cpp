#include "contracts/fundara/config_strings.h"

#include "contracts/fundara/paths.h"
#include "platform/profile.h"

std::string GetCameraConfigString(std::string_view section, std::string_view key,
                                  std::string_view defaultValue) {
  return GetPrivateProfileString(section, key, defaultValue, GetCameraConfig());
}

int SetCameraConfigString(std::string_view section, std::string_view key, std::string_view value) {
  if (section.empty() || key.empty()) return 0;
  // A line break would end the value and start a new key in the file.
  if (value.find_first_of("\r\n") != std::string_view::npos) return 0;
  const std::string k(key), v(value);
  return WritePrivateProfileString(section, k.c_str(), v.c_str(), GetCameraConfig()) ? 1 : 0;
}
