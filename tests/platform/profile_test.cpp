#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string TempIni(const std::string& name) {
  const char* base = std::getenv("BREVIO_TEST_TMP");
  fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) /
                 ("profile-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::path p = dir / name;
  fs::remove_all(p);  // a folder of the same name may remain from an earlier run with this pid
  return p.string();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(Profile, ReadsWithWindowsRules) {
  const auto ini = TempIni("read.ini");
  WriteText(ini,
            "\xEF\xBB\xBF[Output]\r\n imageName = \"My Page\" \r\nimageNameType=1\r\n"
            "[video]\nvideoW=-640abc\nbad=x12\nbig=99999999999\n[output]\nimageName=second\n");
  EXPECT_EQ(GetPrivateProfileString("output", "IMAGENAME", "d", ini), "My Page");
  EXPECT_EQ(GetPrivateProfileString("output", "missing", " dflt ", ini), "dflt");
  EXPECT_EQ(GetPrivateProfileInt("OUTPUT", "imagenametype", 7, ini), 1);
  EXPECT_EQ(GetPrivateProfileInt("video", "videoW", 7, ini), -640);
  EXPECT_EQ(GetPrivateProfileInt("video", "bad", 7, ini), 0);
  EXPECT_EQ(GetPrivateProfileInt("video", "none", 7, ini), 7);
  EXPECT_EQ(GetPrivateProfileInt("video", "big", 7, ini), -1);
  EXPECT_EQ(GetPrivateProfileString("x", "y", "z", ini + ".missing"), "z");
}

TEST(Profile, WritesReplaceDeleteAndCreateFolders) {
  const auto dir = TempIni("sub");
  const auto ini = dir + "/deeper/write.ini";
  ASSERT_TRUE(WritePrivateProfileString("output", "dataPath", "/tmp/a", ini));
  ASSERT_TRUE(WritePrivateProfileString("output", "imageName", "P", ini));
  ASSERT_TRUE(WritePrivateProfileString("video", "videoType", "MP4", ini));
  ASSERT_TRUE(WritePrivateProfileString("OUTPUT", "DATAPATH", "/tmp/b", ini));
  EXPECT_EQ(GetPrivateProfileString("output", "dataPath", "", ini), "/tmp/b");
  EXPECT_EQ(GetPrivateProfileKeys("output", ini), (std::vector<std::string>{"dataPath", "imageName"}));
  ASSERT_TRUE(WritePrivateProfileString("output", "imageName", nullptr, ini));
  EXPECT_EQ(GetPrivateProfileString("output", "imageName", "gone", ini), "gone");
  ASSERT_TRUE(WritePrivateProfileString("output", nullptr, nullptr, ini));
  EXPECT_EQ(GetPrivateProfileString("output", "dataPath", "gone", ini), "gone");
  EXPECT_EQ(GetPrivateProfileString("video", "videoType", "", ini), "MP4");
  // Deleting what does not exist succeeds and changes nothing.
  EXPECT_TRUE(WritePrivateProfileString("none", nullptr, nullptr, ini));
  EXPECT_TRUE(WritePrivateProfileString("video", "none", nullptr, ini));
  EXPECT_EQ(GetPrivateProfileString("video", "videoType", "", ini), "MP4");
}

TEST(Profile, ConcurrentProcessesLoseNoKeys) {
  const auto ini = TempIni("concurrent.ini");
  constexpr int kProcesses = 4;
  constexpr int kKeys = 60;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int k = 0; k < kKeys; ++k) {
        const std::string key = "p" + std::to_string(p) + "k" + std::to_string(k);
        ok &= WritePrivateProfileString("shared", key.c_str(), std::to_string(k).c_str(), ini);
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(GetPrivateProfileKeys("shared", ini).size(), static_cast<std::size_t>(kProcesses * kKeys));
  for (int p = 0; p < kProcesses; ++p)
    for (int k = 0; k < kKeys; k += 7)
      EXPECT_EQ(GetPrivateProfileInt("shared", "p" + std::to_string(p) + "k" + std::to_string(k), -1, ini), k);
}
