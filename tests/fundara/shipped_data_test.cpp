// Saved settings never land in shipped data: whichever way a path reaches
// the shipped folder (directly, through "..", through a linked folder), an
// XML save refuses it and the shipped file keeps its bytes; paths in the
// user's folders are saved.

#include "contracts/fundara/fundara.h"

#include "tests/fundara/scratch_env.h"

using namespace fundara_test;

namespace {

constexpr char kShippedText[] = "<Root><Text id=\"1\" value=\"shipped\"/></Root>";

class ShippedData : public ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    setenv("BREVIO_DATA_DIR", (root / "shipped").c_str(), 1);
    WriteFile(root / "shipped/config/menu_language.xml", kShippedText);
    WriteFile(root / "shipped/config/en/menu_language.xml", kShippedText);
    fs::create_directories(root / "config/Brevio");
    fs::create_directories(root / "shipped2");
    fs::create_directory_symlink(root / "shipped/config", root / "config/Brevio/linked");
    fs::create_symlink(root / "shipped/config/menu_language.xml", root / "config/Brevio/link.xml");
  }
  // Every shipped file still holds what was shipped.
  void ExpectShippedUntouched() {
    for (const auto& entry : fs::recursive_directory_iterator(root / "shipped")) {
      if (entry.is_regular_file()) {
        EXPECT_EQ(ReadFile(entry.path()), kShippedText) << entry.path();
      }
    }
  }
};

struct SaveCase {
  const char* path;  // below the scratch root
  bool shipped;
};

const SaveCase kSaveCases[] = {
    {"shipped/config/menu_language.xml", true},
    {"shipped/config/en/menu_language.xml", true},
    {"shipped/config/new_control.xml", true},           // a new file in the shipped folder
    {"shipped/images/new/deeper.xml", true},            // below folders that do not exist yet
    {"config/Brevio/../../shipped/config/menu_language.xml", true},
    {"config/Brevio/linked/menu_language.xml", true},   // a linked folder leads there
    {"config/Brevio/menu_language.xml", false},         // the user's own copy
    {"config/Brevio/link.xml", false},                  // the link itself is replaced
    {"shipped2/menu_language.xml", false},              // a name that only begins alike
    {"elsewhere/file.xml", false},
};

}  // namespace

TEST_F(ShippedData, SavesRefuseEveryPathIntoTheShippedFolder) {
  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.LoadXML("<Root><Text id=\"1\" value=\"mine\"/></Root>"), 1);
  for (const SaveCase& c : kSaveCases) {
    SCOPED_TRACE(c.path);
    const std::string path = (root / c.path).string();
    EXPECT_EQ(IsShippedDataPath(path), c.shipped);
    EXPECT_EQ(doc.Save(path), c.shipped ? 0 : 1);
    if (!c.shipped) {
      EXPECT_FALSE(fs::is_symlink(path));
      EXPECT_NE(ReadFile(path).find("mine"), std::string::npos);
    }
  }
  ExpectShippedUntouched();
  EXPECT_FALSE(fs::exists(root / "shipped/config/new_control.xml"));
  EXPECT_FALSE(fs::exists(root / "shipped/images"));
}

TEST_F(ShippedData, TheSourceTreesDataIsShippedDataToo) {
#ifdef BREVIO_SOURCE_DATA_DIR
  EXPECT_TRUE(IsShippedDataPath(BREVIO_SOURCE_DATA_DIR "/config/menu_control.xml"));
  EXPECT_TRUE(IsShippedDataPath(BREVIO_SOURCE_DATA_DIR "/lang/new.lang"));
  EXPECT_FALSE(IsShippedDataPath(BREVIO_SOURCE_DATA_DIR "-other/x.xml"));
#else
  GTEST_SKIP() << "built without a source data folder";
#endif
  EXPECT_FALSE(IsShippedDataPath(""));
}

TEST_F(ShippedData, ReadingPrefersTheUsersCopySavingAlwaysMakesIt) {
  fs::remove(root / "config/Brevio/link.xml");
  fs::remove(root / "shipped/config/en/menu_language.xml");  // whatever the language, the original is read
  for (const char* name : {"menu_language.xml", "sub/other.xml"})
    EXPECT_EQ(GetConfigSavePath(name), (root / "config/Brevio" / name).string()) << name;
  for (const char* name : {"", "/etc/passwd", "../shipped/config/menu_language.xml", "a/../../b.xml"})
    EXPECT_EQ(GetConfigSavePath(name), "") << name;

  // First read: the shipped file. A save made from it becomes the user's
  // copy, which every later read finds.
  EXPECT_EQ(GetConfigPath("menu_language.xml"), (root / "shipped/config/menu_language.xml").string());
  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.Load(GetConfigPath("menu_language.xml")), 1);
  ASSERT_EQ(doc.Save(GetConfigSavePath("menu_language.xml")), 1);
  EXPECT_EQ(GetConfigPath("menu_language.xml"), (root / "config/Brevio/menu_language.xml").string());
  // The same mistake a caller could make, saving where it read, now fails.
  fs::remove(root / "config/Brevio/menu_language.xml");
  EXPECT_EQ(doc.Save(GetConfigPath("menu_language.xml")), 0);
  ExpectShippedUntouched();
}
