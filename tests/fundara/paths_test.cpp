#include "contracts/fundara/fundara.h"

#include <sys/stat.h>

#include "platform/profile.h"
#include "tests/fundara/scratch_env.h"

using namespace fundara_test;

using Paths = ScratchEnv;

TEST_F(Paths, FollowTheXdgRootsAndTheLibraryLayout) {
  EXPECT_EQ(GetSettingsPath(), (root / "config/Brevio").string());
  EXPECT_EQ(GetCameraConfig(), (root / "config/Brevio/CameraConfig.ini").string());
  EXPECT_EQ(GetUISetConfig(), (root / "config/Brevio/UISet.ini").string());
  EXPECT_NE(GetCameraConfig(), GetUISetConfig());
  EXPECT_EQ(GetAppData(), (root / "share/Brevio").string());
  EXPECT_EQ(GetThumbsPath(), (root / "cache/thumbnails").string());
  EXPECT_EQ(GetDataPathEx(), (root / "pictures/Brevio").string());
  EXPECT_EQ(GetDataLibPath(), (root / "pictures/Brevio/资料库").string());
  EXPECT_EQ(GetDataPicPath(), (root / "pictures/Brevio/资料库/图片").string());
  EXPECT_EQ(GetDataVideoPath(), (root / "pictures/Brevio/资料库/视频").string());
  // The picture folder can be rebased by cutting it at the library's language text.
  const std::string pic = GetDataPicPath();
  const auto cut = pic.find(GetLanguageText("ziliaoku", "资料库"));
  ASSERT_NE(cut, std::string::npos);
  EXPECT_EQ(pic.substr(0, cut - 1), GetDataPathEx());

  // Every folder the main frame creates is distinct and can be created.
  const std::string folders[] = {GetAppData(),         GetDataPathEx(),    GetBindPath(),
                                 GetTempDataPath(),    GetDataLibPath(),   GetDataPicPath(),
                                 GetDataVideoPath(),   GetDataAbstractPath(), GetThumbsPath(),
                                 GetCoursePath()};
  for (const auto& f : folders) {
    EXPECT_EQ(CreateDir(f), 1) << f;
    EXPECT_TRUE(fs::path(f).is_absolute()) << f;
    EXPECT_NE(f.back(), '/') << f;
  }
  EXPECT_EQ(std::set<std::string>(std::begin(folders), std::end(folders)).size(), std::size(folders));
}

TEST_F(Paths, DataRootComesFromTheSettingAndPicturesDirFromUserDirs) {
  ASSERT_TRUE(WritePrivateProfileString("output", "dataPath", (root / "teach/").c_str(), GetCameraConfig()));
  EXPECT_EQ(GetDataPathEx(), (root / "teach").string());  // trailing separator dropped
  EXPECT_EQ(GetDataLibPath(), (root / "teach/资料库").string());

  ASSERT_TRUE(WritePrivateProfileString("output", "dataPath", nullptr, GetCameraConfig()));
  unsetenv("XDG_PICTURES_DIR");
  WriteFile(root / "config/user-dirs.dirs", "# comment\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  EXPECT_EQ(GetDataPathEx(), (root / "home/Bilder/Brevio").string());
  fs::remove(root / "config/user-dirs.dirs");
  EXPECT_EQ(GetDataPathEx(), (root / "home/Pictures/Brevio").string());
}

TEST_F(Paths, TemporaryFolderIsPrivateAndNeverSomeoneElses) {
  const std::string tmp = GetTempDataPath();
  EXPECT_EQ(tmp, (runtime / "Brevio").string());
  struct stat st {};
  ASSERT_EQ(::lstat(tmp.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 077, 0u);

  // Without a runtime folder, a link planted at the usual /tmp name is not used.
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", (root / "tmp").c_str(), 1);
  fs::create_directories(root / "tmp" / "elsewhere");
  fs::create_directory_symlink(root / "tmp" / "elsewhere",
                               root / "tmp" / ("Brevio-" + std::to_string(::getuid())));
  const std::string fallback = GetTempDataPath();
  unsetenv("TMPDIR");
  EXPECT_EQ(fallback.find((root / "tmp").string()), 0u);
  ASSERT_EQ(::lstat(fallback.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode)) << fallback;
  EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST_F(Paths, ConfigPathPrefersTheUsersCopyAndRefusesEscapes) {
  setenv("BREVIO_DATA_DIR", (root / "shipped").c_str(), 1);
  WriteFile(root / "shipped/config/ui_control.xml", "<a/>");
  EXPECT_EQ(GetConfigPath("ui_control.xml"), (root / "shipped/config/ui_control.xml").string());
  WriteFile(root / "config/Brevio/ui_control.xml", "<b/>");
  EXPECT_EQ(GetConfigPath("ui_control.xml"), (root / "config/Brevio/ui_control.xml").string());
  // A file nobody has yet: where it would be saved.
  EXPECT_EQ(GetConfigPath("new_language.xml"), (root / "config/Brevio/new_language.xml").string());
  EXPECT_EQ(GetConfigPath(""), "");
  EXPECT_EQ(GetConfigPath("../../etc/passwd"), "");
  EXPECT_EQ(GetConfigPath("/etc/passwd"), "");
  EXPECT_EQ(GetImagePath(), (root / "shipped/images").string());
}

TEST_F(Paths, ConfigPathTakesTheCurrentLanguagesVariantBeforeTheOriginal) {
  setenv("BREVIO_DATA_DIR", (root / "shipped").c_str(), 1);
  WriteFile(root / "shipped/lang/zh_CN.lang", "a=b\n");
  WriteFile(root / "shipped/lang/en.lang", "a=b\n");
  WriteFile(root / "shipped/config/menu_language.xml", "<zh/>");
  WriteFile(root / "shipped/config/en/menu_language.xml", "<en/>");
  ASSERT_EQ(SetLanguage("en"), 1);
  EXPECT_EQ(GetConfigPath("menu_language.xml"), (root / "shipped/config/en/menu_language.xml").string());
  ASSERT_EQ(SetLanguage("zh_CN"), 1);
  EXPECT_EQ(GetConfigPath("menu_language.xml"), (root / "shipped/config/menu_language.xml").string());
  // The user's own copy still wins over any shipped one.
  ASSERT_EQ(SetLanguage("en"), 1);
  WriteFile(root / "config/Brevio/menu_language.xml", "<mine/>");
  EXPECT_EQ(GetConfigPath("menu_language.xml"), (root / "config/Brevio/menu_language.xml").string());
}

TEST_F(Paths, ShippedDataIsFoundInTheSourceTreeWithoutInstallation) {
  const fs::path share = GetShareDataPath();
  EXPECT_TRUE(fs::exists(share / "lang" / "zh_CN.lang")) << share;
  EXPECT_TRUE(fs::exists(share / "lang" / "en.lang")) << share;
  EXPECT_EQ(fs::path(GetVideoRecordPath()).parent_path(), fs::path(GetProgramPath()));
  EXPECT_EQ(fs::path(GetVideoRecordPath()).filename(), "Capturo");
}

TEST_F(Paths, CameraConfigStrings) {
  EXPECT_EQ(GetCameraConfigString("Upgrade", "lastTime"), "");
  EXPECT_EQ(GetCameraConfigString("Upgrade", "lastTime", "none"), "none");
  EXPECT_EQ(SetCameraConfigString("Upgrade", "lastTime", GetSysTime().substr(0, 10)), 1);
  EXPECT_EQ(GetCameraConfigString("upgrade", "LASTTIME"), GetDay());
  EXPECT_EQ(GetPrivateProfileString("Upgrade", "lastTime", "", GetCameraConfig()), GetDay());
  EXPECT_EQ(SetCameraConfigString("Upgrade", "zipBag", ""), 1);
  EXPECT_EQ(GetCameraConfigString("Upgrade", "zipBag", "x"), "");
  // A line break would smuggle a second key into the file.
  EXPECT_EQ(SetCameraConfigString("Upgrade", "zipBag", "a\n[output]\ndataPath=/"), 0);
  EXPECT_EQ(GetCameraConfigString("output", "dataPath", "unset"), "unset");
  EXPECT_EQ(SetCameraConfigString("Upgrade", "", "v"), 0);
}

TEST_F(Paths, DateTexts) {
  const std::string day = GetDay();
  const std::string now = GetSysTime();
  ASSERT_EQ(day.size(), 10u);
  EXPECT_EQ(day[4], '-');
  EXPECT_EQ(day[7], '-');
  const int month = std::stoi(day.substr(5, 2));
  EXPECT_GE(month, 1);
  EXPECT_LE(month, 12);
  // Both taken in the same day unless the test straddles midnight.
  EXPECT_TRUE(now.substr(0, 10) == day || now.substr(0, 10) == GetDay());
  EXPECT_EQ(now.find_first_of("/\\:* "), std::string::npos) << now;  // usable as a file name
}
