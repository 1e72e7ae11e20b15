#pragma once
// Single string values of the camera configuration file (GetCameraConfig).

#include <string>
#include <string_view>

// The value of section/key, or `defaultValue` when missing.
std::string GetCameraConfigString(std::string_view section, std::string_view key,
                                  std::string_view defaultValue = {});
// Writes section/key; an empty key refuses. 1 on success, 0 on failure.
int SetCameraConfigString(std::string_view section, std::string_view key, std::string_view value);
