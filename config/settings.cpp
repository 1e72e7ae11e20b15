#include "config/settings.h"

#include <string>

#include "contracts/fundara/paths.h"
#include "platform/profile.h"

namespace {
int ReadIntIn(const std::string& file, std::string_view section, std::string_view key, int defaultValue) {
  return GetPrivateProfileInt(section, key, defaultValue, file);
}
std::string ReadStringIn(const std::string& file, std::string_view section, std::string_view key,
                         std::string_view defaultValue) {
  return GetPrivateProfileString(section, key, defaultValue, file);
}
bool WriteStringIn(const std::string& file, std::string_view section, std::string_view key,
                   std::string_view value) {
  const std::string k(key);
  const std::string v(value);
  return WritePrivateProfileString(section, k.c_str(), v.c_str(), file);
}
}  // namespace

namespace camcfg {
int NormaliseImageType(int imageType) {
  return imageType >= kImageBmp && imageType <= kImageTif ? imageType : kImageJpg;
}

int ReadInt(std::string_view section, std::string_view key, int defaultValue) {
  return ReadIntIn(GetCameraConfig(), section, key, defaultValue);
}
std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) {
  return ReadStringIn(GetCameraConfig(), section, key, defaultValue);
}
bool WriteInt(std::string_view section, std::string_view key, int value) {
  return WriteStringIn(GetCameraConfig(), section, key, std::to_string(value));
}
bool WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return WriteStringIn(GetCameraConfig(), section, key, value);
}
}  // namespace camcfg

namespace uicfg {
int ReadInt(std::string_view section, std::string_view key, int defaultValue) {
  return ReadIntIn(GetUISetConfig(), section, key, defaultValue);
}
std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) {
  return ReadStringIn(GetUISetConfig(), section, key, defaultValue);
}
bool WriteInt(std::string_view section, std::string_view key, int value) {
  return WriteStringIn(GetUISetConfig(), section, key, std::to_string(value));
}
bool WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return WriteStringIn(GetUISetConfig(), section, key, value);
}
}  // namespace uicfg
