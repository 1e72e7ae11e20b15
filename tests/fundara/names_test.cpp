#include "contracts/fundara/names.h"

#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <thread>

#include "contracts/fundara/paths.h"
#include "platform/profile.h"
#include "tests/fundara/scratch_env.h"

using namespace fundara_test;

using Names = ScratchEnv;

TEST_F(Names, PrefixNamesCountUpFromTheHighestInTheFolder) {
  const fs::path dir = root / "pics";
  const std::string a = GetJpgNamePath(dir.string(), "jpg");
  EXPECT_EQ(a, (dir / "VELTRA0001.jpg").string());  // default prefix, folder created
  EXPECT_TRUE(fs::exists(a));
  EXPECT_EQ(fs::file_size(a), 0u);  // reserved, for the caller to write
  EXPECT_EQ(GetJpgNamePath(dir.string(), ".png"), (dir / "VELTRA0002.png").string());
  // Numbers continue after the highest one present, whatever its extension.
  WriteFile(dir / "VELTRA0041.bmp", "x");
  WriteFile(dir / "VELTRAX0099.jpg", "x");  // another prefix
  EXPECT_EQ(GetJpgNamePath(dir.string(), "jpg"), (dir / "VELTRA0042.jpg").string());

  ASSERT_TRUE(WritePrivateProfileString("output", "imageName", "Class_3b", GetCameraConfig()));
  EXPECT_EQ(GetFileNamePath(dir.string(), "mp4"), (dir / "Class_3b0001.mp4").string());
  // Characters a name may not hold are dropped, as the settings dialog does.
  ASSERT_TRUE(WritePrivateProfileString("output", "imageName", "a b/../c", GetCameraConfig()));
  EXPECT_EQ(GetFileNamePath(dir.string(), "mp4"), (dir / "abc0001.mp4").string());
}

TEST_F(Names, TimeNamesNeverRepeatWithinOneSecond) {
  ASSERT_TRUE(WritePrivateProfileString("output", "imageNameType", "0", GetCameraConfig()));
  const fs::path dir = root / "t";
  // "YYYYMMDD_hhmmss.jpg", optionally with "_n" before the extension.
  const auto timeName = [](const std::string& n) {
    const auto digits = [&](std::size_t from, std::size_t count) {
      return n.size() >= from + count &&
             n.substr(from, count).find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digits(0, 8) || n[8] != '_' || !digits(9, 6)) return false;
    const std::string rest = n.substr(15);
    return rest == ".jpg" || (rest.size() > 5 && rest[0] == '_' &&
                              rest.substr(rest.size() - 4) == ".jpg" &&
                              rest.substr(1, rest.size() - 5).find_first_not_of("0123456789") ==
                                  std::string::npos);
  };
  std::set<std::string> names;
  for (int i = 0; i < 5; ++i) {
    const std::string p = GetJpgNamePath(dir.string(), "jpg");
    EXPECT_TRUE(timeName(fs::path(p).filename().string())) << p;
    names.insert(p);
  }
  EXPECT_EQ(names.size(), 5u);
}

TEST_F(Names, DefaultFoldersAndRefusals) {
  const std::string p = GetJpgNamePath("", "jpg");
  EXPECT_EQ(fs::path(p).parent_path(), fs::path(GetDataPicPath()));
  const std::string f = GetFileNamePath("", "zip");
  EXPECT_EQ(fs::path(f).parent_path(), fs::path(GetDataPathEx()));
  // A folder that cannot exist gives no name rather than a name that cannot be written.
  WriteFile(root / "file", "x");
  EXPECT_EQ(NewFileName((root / "file" / "sub").string(), "jpg"), "");
  EXPECT_EQ(NewFileName("", "jpg"), "");
  EXPECT_EQ(NewFileName(root.string(), "a/b"), "");
}

TEST_F(Names, AnUnusedNameCanBeGivenBackButAWrittenFileStays) {
  const fs::path dir = root / "v";
  const std::string unused = GetFileNamePath(dir.string(), "mp4");
  const std::string used = GetFileNamePath(dir.string(), "mp4");
  WriteFile(used, "recording");
  EXPECT_EQ(ReleaseFileName(unused), 1);
  EXPECT_FALSE(fs::exists(unused));
  EXPECT_EQ(ReleaseFileName(used), 0);
  EXPECT_EQ(ReadFile(used), "recording");
  EXPECT_EQ(ReleaseFileName(unused), 0);
  EXPECT_EQ(ReleaseFileName(dir.string()), 0);
}

TEST_F(Names, ConcurrentThreadsAndProcessesNeverCollide) {
  const fs::path dir = root / "race";
  fs::create_directories(dir);
  constexpr int kProcesses = 3, kThreads = 3, kEach = 15;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::vector<std::thread> threads;
      std::atomic<bool> ok{true};
      for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
          for (int i = 0; i < kEach; ++i)
            if (GetJpgNamePath(dir.string(), "jpg").empty()) ok = false;
        });
      for (auto& t : threads) t.join();
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t c : children) {
    int status = 0;
    ::waitpid(c, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // Every call got its own file: as many files as calls, numbered 1..N.
  std::size_t count = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    (void)e;
    ++count;
  }
  EXPECT_EQ(count, static_cast<std::size_t>(kProcesses * kThreads * kEach));
  EXPECT_TRUE(fs::exists(dir / "VELTRA0135.jpg"));
}
