#include "contracts/fundara/language.h"

#include <fstream>
#include <map>
#include <thread>

#include "contracts/fundara/paths.h"
#include "platform/profile.h"
#include "tests/fundara/scratch_env.h"

using namespace fundara_test;

using Language = ScratchEnv;

namespace {

std::map<std::string, std::string> Keys(const fs::path& file) {
  std::map<std::string, std::string> keys;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    auto eq = line.find('=');
    if (eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

}  // namespace

TEST_F(Language, ShippedFilesHoldTheSameKeys) {
  const fs::path dir = fs::path(GetShareDataPath()) / "lang";
  const auto zh = Keys(dir / "zh_CN.lang");
  const auto en = Keys(dir / "en.lang");
  ASSERT_GE(zh.size(), 30u);
  ASSERT_EQ(zh.size(), en.size());
  for (const auto& [key, text] : zh) {
    EXPECT_TRUE(en.count(key)) << key;
    EXPECT_FALSE(text.empty()) << key;
  }
  EXPECT_EQ(GetLanguageList(), (std::vector<std::string>{"en", "zh_CN"}));
}

TEST_F(Language, LocaleChoosesTheLanguageAndMissingKeysGiveTheDefault) {
  EXPECT_EQ(GetLanguage(), "zh_CN");
  EXPECT_EQ(GetLanguageText("baocunchenggong", "x"), "保存成功！");
  EXPECT_EQ(GetLanguageText("no-such-key", "默认"), "默认");

  setenv("LANG", "en_GB.UTF-8", 1);
  EXPECT_EQ(GetLanguage(), "en");
  EXPECT_EQ(GetLanguageText("baocunchenggong", "保存成功！"), "Saved successfully!");
  setenv("LANG", "zh_TW.UTF-8", 1);  // same language, other country
  EXPECT_EQ(GetLanguage(), "zh_CN");
  setenv("LC_ALL", "de_DE.UTF-8", 1);  // LC_ALL wins; an unshipped language gives English
  EXPECT_EQ(GetLanguage(), "en");
  // No language chosen at all: the language of the built-in defaults.
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(GetLanguage(), "zh_CN");
  unsetenv("LC_ALL");
  unsetenv("LANG");
  EXPECT_EQ(GetLanguage(), "zh_CN");
}

TEST_F(Language, SettingOverridesTheLocaleAndIsSeenAtOnce) {
  setenv("LANG", "en_US.UTF-8", 1);
  EXPECT_EQ(SetLanguage("zh_CN"), 1);
  EXPECT_EQ(GetLanguageText("shanchu", "Delete"), "删除");
  EXPECT_EQ(GetPrivateProfileString("system", "language", "", GetCameraConfig()), "zh_CN");
  EXPECT_EQ(SetLanguage("xx_YY"), 0);
  EXPECT_EQ(SetLanguage("../zh_CN"), 0);
  EXPECT_EQ(GetLanguage(), "zh_CN");
  // Another process changing the setting is noticed without a restart.
  ASSERT_TRUE(WritePrivateProfileString("system", "language", "en", GetCameraConfig()));
  EXPECT_EQ(GetLanguageText("shanchu", "删除"), "Delete");
  // A setting naming no shipped language is ignored.
  ASSERT_TRUE(WritePrivateProfileString("system", "language", "klingon", GetCameraConfig()));
  EXPECT_EQ(GetLanguage(), "en");
  EXPECT_EQ(SetLanguage(""), 1);
  EXPECT_EQ(GetLanguage(), "en");
}

TEST_F(Language, ReadsItsOwnFileFormatAndNoticesChanges) {
  const fs::path shipped = root / "shipped";
  setenv("BREVIO_DATA_DIR", shipped.c_str(), 1);
  WriteFile(shipped / "lang/en.lang",
            "\xEF\xBB\xBF# comment\n  spaced  =  two words  \r\nmulti=a\\nb\nnoequals\n=novalue\n"
            "eq=a=b\n");
  setenv("LANG", "en", 1);
  EXPECT_EQ(GetLanguageText("spaced", "d"), "two words");
  EXPECT_EQ(GetLanguageText("multi", "d"), "a\nb");
  EXPECT_EQ(GetLanguageText("eq", "d"), "a=b");
  EXPECT_EQ(GetLanguageText("noequals", "d"), "d");
  EXPECT_EQ(GetLanguageText("# comment", "d"), "d");
  // The file is read again once it changes (its size differs here).
  WriteFile(shipped / "lang/en.lang", "spaced=changed text\n");
  EXPECT_EQ(GetLanguageText("spaced", "d"), "changed text");
  // No language files at all: every text is its default.
  fs::remove_all(shipped / "lang");
  EXPECT_EQ(GetLanguageText("spaced", "默认"), "默认");
}

TEST_F(Language, ConcurrentLookupsAgree) {
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i)
        if (GetLanguageText("fuzhidao", "?") != "复制到") ++wrong;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}
