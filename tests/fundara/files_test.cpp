#include "contracts/fundara/files.h"

#include "tests/fundara/scratch_env.h"

using namespace fundara_test;

using Files = ScratchEnv;

TEST_F(Files, CreateAndDelete) {
  EXPECT_EQ(CreateDir((root / "a/b/c").string()), 1);
  EXPECT_EQ(CreateDir((root / "a/b/c").string()), 1);  // already there
  WriteFile(root / "a/file", "x");
  EXPECT_EQ(CreateDir((root / "a/file/sub").string()), 0);
  EXPECT_EQ(CreateDir(""), 0);

  EXPECT_EQ(DelFile((root / "a/file").string()), 1);
  EXPECT_EQ(DelFile((root / "a/file").string()), 0);  // missing
  EXPECT_EQ(DelFile((root / "a/b").string()), 0);     // a folder is not a file
  EXPECT_TRUE(fs::exists(root / "a/b/c"));

  // Deleting a folder removes a link inside it, never what the link points to.
  WriteFile(root / "keep/precious", "p");
  fs::create_directory_symlink(root / "keep", root / "a/b/link");
  EXPECT_EQ(DelPath((root / "a").string()), 1);
  EXPECT_FALSE(fs::exists(root / "a"));
  EXPECT_EQ(ReadFile(root / "keep/precious"), "p");
  EXPECT_EQ(DelPath((root / "a").string()), 0);
  EXPECT_EQ(DelPath((root / "keep/precious").string()), 0);
  EXPECT_EQ(DelPath("/"), 0);
  // The user's home folder is never deleted, however it is spelled.
  ASSERT_EQ(CreateDir((root / "home").string()), 1);
  ASSERT_EQ(CreateDir((root / "share").string()), 1);
  EXPECT_EQ(DelPath((root / "share/../home/").string()), 0);
  EXPECT_TRUE(fs::exists(root / "home"));
}

TEST_F(Files, CopyIntoFolderWithEitherSeparator) {
  WriteFile(root / "src/A/one.jpg", "1");
  WriteFile(root / "src/A/deep/two.jpg", "22");
  // Folder copied into the destination under its own name (the "move" of the tree).
  EXPECT_NE(CopyFiles((root / "src/A").string(), (root / "dst").string() + "\\*"), 0);
  EXPECT_EQ(ReadFile(root / "dst/A/one.jpg"), "1");
  EXPECT_EQ(ReadFile(root / "dst/A/deep/two.jpg"), "22");
  // A file exported into a folder that does not exist yet.
  EXPECT_NE(CopyFiles((root / "src/A/one.jpg").string(), (root / "export").string() + "/*"), 0);
  EXPECT_EQ(ReadFile(root / "export/one.jpg"), "1");
  // Into an existing folder without the star; replacing an older file.
  WriteFile(root / "export/deep-old", "");
  WriteFile(root / "src/A/one.jpg", "new");
  EXPECT_NE(CopyFiles((root / "src/A/one.jpg").string(), (root / "export").string()), 0);
  EXPECT_EQ(ReadFile(root / "export/one.jpg"), "new");
  // Rename-copy: a destination that does not exist becomes the copy itself.
  EXPECT_NE(CopyFiles((root / "src/A").string(), (root / "src/B").string()), 0);
  EXPECT_EQ(ReadFile(root / "src/B/deep/two.jpg"), "22");
  // Wildcards copy every match.
  WriteFile(root / "src/A/three.PNG", "3");
  EXPECT_NE(CopyFiles((root / "src/A/*.png").string(), (root / "png").string() + "/*"), 0);
  EXPECT_EQ(ReadFile(root / "png/three.PNG"), "3");
  EXPECT_FALSE(fs::exists(root / "png/one.jpg"));
  EXPECT_NE(CopyFiles((root / "src/A").string() + "\\*", (root / "all").string() + "\\*"), 0);
  EXPECT_EQ(ReadFile(root / "all/deep/two.jpg"), "22");
  EXPECT_EQ(ReadFile(root / "all/three.PNG"), "3");
  // No temporary files are left behind.
  for (const auto& e : fs::recursive_directory_iterator(root))
    EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
}

TEST_F(Files, CopyRefusesWhatWouldDestroyTheSource) {
  WriteFile(root / "lib/A/pic.jpg", "keep");
  // Moving a folder to where it already is: copying "succeeding" would let
  // the caller delete the only copy.
  EXPECT_EQ(CopyFiles((root / "lib/A").string(), (root / "lib").string() + "/*"), 0);
  EXPECT_EQ(CopyFiles((root / "lib/A/pic.jpg").string(), (root / "lib/A").string() + "/*"), 0);
  EXPECT_EQ(CopyFiles((root / "lib/A/pic.jpg").string(), (root / "lib/A/pic.jpg").string()), 0);
  // A folder into itself would never end.
  EXPECT_EQ(CopyFiles((root / "lib/A").string(), (root / "lib/A/sub").string() + "/*"), 0);
  EXPECT_FALSE(fs::exists(root / "lib/A/sub/A"));
  // Missing sources and nonsense.
  EXPECT_EQ(CopyFiles((root / "nothing").string(), (root / "x").string() + "/*"), 0);
  EXPECT_EQ(CopyFiles((root / "lib/*.none").string(), (root / "x").string() + "/*"), 0);
  EXPECT_EQ(CopyFiles("", (root / "x").string()), 0);
  // A destination whose folder is a file.
  WriteFile(root / "plain", "f");
  EXPECT_EQ(CopyFiles((root / "lib/A/pic.jpg").string(), (root / "plain/x").string() + "/*"), 0);
  EXPECT_EQ(ReadFile(root / "lib/A/pic.jpg"), "keep");
}

TEST_F(Files, SearchFindsWhatExistsAndNothingElse) {
  EXPECT_EQ(SearchFile((root / "none").string()), "");
  EXPECT_EQ(SearchFile(""), "");
  WriteFile(root / "bind/b.JPG", "");
  WriteFile(root / "bind/a.jpg", "");
  WriteFile(root / "bind/c.png", "");
  fs::create_directories(root / "bind/folder.jpg");
  EXPECT_EQ(SearchFile((root / "bind/a.jpg").string()), (root / "bind/a.jpg").string());
  EXPECT_EQ(SearchFile((root / "bind/folder.jpg").string()), (root / "bind/folder.jpg").string());
  EXPECT_EQ(SearchFile((root / "bind/*.png").string()), (root / "bind/c.png").string());
  EXPECT_EQ(SearchFile((root / "bind/*.gif").string()), "");

  std::list<std::string> found;
  EXPECT_EQ(SearchFileList((root / "bind").string(), "*.jpg", found), 2);  // folders are not files
  EXPECT_EQ(SearchFileList((root / "bind/*.png").string(), found), 1);
  EXPECT_EQ(found, (std::list<std::string>{(root / "bind/a.jpg").string(),
                                           (root / "bind/b.JPG").string(),
                                           (root / "bind/c.png").string()}));
  EXPECT_EQ(SearchFileList((root / "missing").string(), "*", found), 0);
  EXPECT_EQ(found.size(), 3u);
}
