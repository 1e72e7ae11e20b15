// The shipped description files: every set complete and well-formed in
// every language, and every reference between its files resolved.

#include "overlay/xml_list_mgr.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "contracts/fundara/xml_wrapper.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"

namespace fs = std::filesystem;

namespace {

const fs::path kConfig = fs::path(BREVIO_SOURCE_DATA_DIR) / "config";
const fs::path kImages = fs::path(BREVIO_SOURCE_DATA_DIR) / "images";

// The sets: every "<set>_control.xml" of the shipped folder.
std::vector<std::string> Sets() {
  std::vector<std::string> sets;
  for (const auto& entry : fs::directory_iterator(kConfig)) {
    const std::string name = entry.path().filename().string();
    const std::string suffix = "_control.xml";
    if (name.size() > suffix.size() && name.ends_with(suffix)) sets.push_back(name.substr(0, name.size() - suffix.size()));
  }
  return sets;
}

// The language folders beside the shipped originals ("en").
std::vector<fs::path> LanguageFolders() {
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(kConfig))
    if (entry.is_directory()) folders.push_back(entry.path());
  return folders;
}

// The root of a well-formed file; invalid otherwise.
CXmlNodeWrapper RootOf(CXmlDocumentWrapper& doc, const fs::path& file) {
  if (!doc.Load(file.string())) return {};
  CXmlNodeWrapper root = doc.AsNode();
  return root.IsValid() && root.GetName() == "Root" ? root : CXmlNodeWrapper();
}

std::vector<CXmlNodeWrapper> Children(const CXmlNodeWrapper& node) {
  std::vector<CXmlNodeWrapper> out;
  const CXmlNodeListWrapper list = node.GetChildNodes();
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.GetNode(i));
  return out;
}

// window id → the text ids of its block.
std::map<std::string, std::set<std::string>> TextIds(const CXmlNodeWrapper& root) {
  std::map<std::string, std::set<std::string>> ids;
  for (const auto& window : Children(root))
    for (const auto& text : Children(window)) ids[window.GetValue("id")].insert(text.GetValue("id"));
  return ids;
}

}  // namespace

TEST(DescriptionSets, EverySetIsCompleteWellFormedAndResolvedInEveryLanguage) {
  const std::vector<std::string> sets = Sets();
  ASSERT_FALSE(sets.empty());
  const std::set<std::string> known(sets.begin(), sets.end());

  // A translated folder holds only language files of known sets.
  std::vector<fs::path> folders{kConfig};
  for (const fs::path& folder : LanguageFolders()) {
    folders.push_back(folder);
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      const std::string suffix = "_language.xml";
      EXPECT_TRUE(name.ends_with(suffix) && known.count(name.substr(0, name.size() - suffix.size())))
          << entry.path();
    }
  }

  for (const std::string& set : sets) {
    CXmlDocumentWrapper controlDoc, fontDoc;
    const CXmlNodeWrapper controls = RootOf(controlDoc, kConfig / (set + "_control.xml"));
    const CXmlNodeWrapper fonts = RootOf(fontDoc, kConfig / (set + "_logfont.xml"));
    ASSERT_TRUE(controls.IsValid()) << set << "_control.xml";
    ASSERT_TRUE(fonts.IsValid()) << set << "_logfont.xml";
    std::set<std::string> fontIds;
    for (const auto& font : Children(fonts)) fontIds.insert(font.GetValue("id"));

    // Every image a control names is shipped.
    for (const auto& window : Children(controls))
      for (const auto& control : Children(window))
        for (const char* attribute : {"bgImg", "normalImg", "overImg", "selectImg"}) {
          const std::string image = control.GetValue(attribute);
          if (!image.empty()) {
            EXPECT_TRUE(fs::exists(kImages / image)) << set << ": " << image;
          }
        }

    for (const fs::path& folder : folders) {
      const fs::path languageFile = folder / (set + "_language.xml");
      if (folder != kConfig && !fs::exists(languageFile)) continue;  // the original stands in
      CXmlDocumentWrapper languageDoc;
      const CXmlNodeWrapper texts = RootOf(languageDoc, languageFile);
      ASSERT_TRUE(texts.IsValid()) << languageFile;
      // Every text a control shows is in the control's window block ...
      const auto textIds = TextIds(texts);
      for (const auto& window : Children(controls))
        for (const auto& control : Children(window))
          for (const auto& text : Children(control)) {
            const std::string id = text.GetValue("languageId");
            if (id == "-1") continue;
            const auto block = textIds.find(window.GetValue("id"));
            EXPECT_TRUE(block != textIds.end() && block->second.count(id))
                << languageFile << ": window " << window.GetValue("id") << " control " << control.GetValue("id")
                << " text " << id;
          }
      // ... and every text's font is in the font file.
      for (const auto& window : Children(texts))
        for (const auto& text : Children(window))
          EXPECT_TRUE(fontIds.count(text.GetValue("logfontId")))
              << languageFile << ": text " << text.GetValue("id") << " font " << text.GetValue("logfontId");
    }
  }
}

class UiSet : public fundara_test::ScratchEnv {};

TEST_F(UiSet, TheOverlaySetLoadsInBothLanguages) {
  TestApp();
  for (const char* locale : {"zh_CN.UTF-8", "en_GB.UTF-8"}) {
    setenv("LANG", locale, 1);
    CXmlListMgr mgr;
    for (const int window : {1, 3, 4, 5, 7, 9, 10, 11}) {
      mgr.LoadSet(u"ui", window);
      EXPECT_GE(mgr.GetFontList().size(), 4u) << locale << " window " << window;
      ASSERT_NE(mgr.GetMyFont(1), nullptr);
      EXPECT_NE(mgr.GetMyFont(1)->logfont, nullptr);
    }
  }
}
