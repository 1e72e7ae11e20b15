#pragma once
// Loads the recorded device descriptions of tests/camera/data.

#include "contracts/camera/v4l2_recorded.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::vector<CRecordedDevice> LoadRecorded(const std::string& name) {
  std::ifstream in(std::string(CAMERA_TEST_DATA) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<CRecordedDevice> devices;
  std::string error;
  EXPECT_TRUE(in.good() || in.eof()) << name;
  EXPECT_TRUE(ParseRecordedDevices(text.str(), devices, error)) << error;
  return devices;
}
