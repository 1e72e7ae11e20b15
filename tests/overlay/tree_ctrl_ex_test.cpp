// The library's folder tree on scratch libraries: paths and selection,
// filling, the context menu's commands, the in-place edit, drops, every
// failure (each file call failed in turn) and the drawing.

#include "overlay/tree_ctrl_ex.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "contracts/fundara/files.h"
#include "contracts/fundara/paths.h"
#include "contracts/widgetta/list_view.h"
#include "overlay/select_data_path_layer.h"
#include "platform/dialogs.h"
#include "tests/fundara/disk_state.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"

namespace fs = std::filesystem;
using fundara_test::Leftovers;
using fundara_test::Snapshot;
using fundara_test::WriteFile;

namespace {

// The parent: records WM_TREE_SELECT, WM_COMMAND and the keys passed on.
class Parent : public CWnd {
 public:
  Parent() {
    Create(Kind::Popup, "parent", CRect(0, 0, 400, 600));
    OnMessage(WM_TREE_SELECT, [this](WPARAM, LPARAM) -> LRESULT { ++selects; return 0; });
    OnMessage(WM_COMMAND, [this](WPARAM w, LPARAM) -> LRESULT { commands.push_back(LOWORD(w)); return 0; });
  }
  int selects = 0;
  std::vector<UINT> commands, keys;

 protected:
  bool PreTranslateKeyDown(UINT vk) override {
    keys.push_back(vk);
    return true;
  }
};

// The tree with its menu answered from a script.
class Tree : public CTreeCtrlEx {
 public:
  UINT answer = 0;
  std::vector<UINT> offered;
  void Drop(const std::vector<std::string>& paths, HTREEITEM onto) {
    CRect row;
    GetItemRect(onto, row, false);
    OnDropFiles(paths, CPoint(row.left + 1, row.top + 1));
  }

 protected:
  UINT TrackPopupMenu(const std::vector<std::pair<UINT, QString>>& entries, CPoint) override {
    offered.clear();
    for (const auto& e : entries) offered.push_back(e.first);
    return answer;
  }
};

void Pump() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// Folders on disk as the tree should show them: one line per folder,
// indented by depth, in name order, hidden and non-text names left out.
std::string DiskLines(const fs::path& folder, int depth = 0) {
  std::vector<QString> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string n = e.path().filename().string();
    if (n[0] == '.' || QString::fromUtf8(n).toUtf8().toStdString() != n || !fs::is_directory(e.path())) continue;
    names.push_back(QString::fromUtf8(n));
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  std::string out;
  for (const QString& n : names) {
    out += std::string(depth, ' ') + n.toStdString() + "\n";
    out += DiskLines(folder / n.toStdString(), depth + 1);
  }
  return out;
}

class TreeTest : public fundara_test::ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    lib = root / "data" / "Pictures";
    MakeLibrary();
    parent = std::make_unique<Parent>();
    tree = std::make_unique<Tree>();
    ASSERT_TRUE(tree->Create(CRect(0, 0, 300, 500), parent.get(), 3005));
    parent->ShowWindow(SW_SHOW);
    tree->ShowWindow(SW_SHOW);
    tree->OpenRButtonMenu(1);
    Load();
  }
  void TearDown() override {
    tree.reset();
    parent.reset();
    file_fault::Disarm();
    ScratchEnv::TearDown();
  }
  void MakeLibrary() {
    WriteFile(lib / "A/B/one.jpg", "1");
    WriteFile(lib / "A/two.jpg", "2");
    WriteFile(lib / "C/three.jpg", "3");
    fs::create_directories(lib / "D");
  }
  void Load() {
    ASSERT_EQ(tree->SetPath(Q(lib), TVI_ROOT), 1);
    Pump();
    parent->selects = 0;
  }
  static QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }
  // The tree's folders in the format of DiskLines.
  std::string TreeLines(HTREEITEM item = nullptr, int depth = 0) const {
    std::string out;
    for (HTREEITEM c = tree->GetChildItem(item ? item : tree->GetRootItem()); c; c = tree->GetNextSiblingItem(c))
      out += std::string(depth, ' ') + tree->GetItemText(c).toStdString() + "\n" + TreeLines(c, depth + 1);
    return out;
  }
  HTREEITEM Item(const std::string& rel) const { return tree_item(Q(lib / rel)); }
  HTREEITEM tree_item(const QString& path) const {
    QString saved = tree->GetSelectPath();
    if (!tree->SetCurPath(path)) return nullptr;
    HTREEITEM found = tree->GetSelectedItem();
    tree->SetCurPath(saved);
    return found;
  }
  void Select(const std::string& rel) { ASSERT_EQ(tree->SetCurPath(Q(lib / rel)), 1) << rel; }
  std::vector<QString> Texts() const {
    std::vector<QString> out;
    for (const auto& b : script.Boxes()) out.push_back(b.text);
    return out;
  }
  fs::path lib;
  CDialogScript script;
  std::unique_ptr<Parent> parent;
  std::unique_ptr<Tree> tree;
};

TEST_F(TreeTest, PathsSelectionAndFilling) {
  HTREEITEM b = Item("A/B");
  ASSERT_TRUE(b);
  EXPECT_EQ(tree->GetCurPath(b), "Pictures/A/B");
  EXPECT_EQ(tree->GetSelectPath(b), Q(lib / "A/B"));
  EXPECT_EQ(tree->GetSelectPath(tree->GetRootItem()), Q(lib));
  EXPECT_EQ(TreeLines(), "A\n B\nC\nD\n");
  // Outside the root, or a sibling that merely begins like it: nothing changes.
  Select("C");
  Pump();
  parent->selects = 0;
  fs::create_directories(lib.parent_path() / "Pictures2/A");
  for (const fs::path& p : {lib.parent_path() / "Pictures2", lib.parent_path() / "Pictures2/A", root, lib / "none"})
    EXPECT_EQ(tree->SetCurPath(Q(p)), 0) << p;
  EXPECT_EQ(tree->GetSelectPath(), Q(lib / "C"));
  EXPECT_EQ(tree->SetCurPath(Q(lib) + "/A/B/"), 1);
  Pump();
  EXPECT_EQ(parent->selects, 1);

  // Name order as the file list has it; hidden folders, files and names that
  // are not text left out; a link back to an ancestor shown once, not followed.
  for (const char* n : {"c10", "c9", "C2", ".hidden", "\xff\xfe"}) fs::create_directories(lib / "D" / n);
  fs::create_directory_symlink(lib, lib / "D/c9/up");
  fs::create_directory_symlink(lib / "C", lib / "D/toC");
  Load();
  EXPECT_EQ(TreeLines(), "A\n B\nC\nD\n C2\n c9\n c10\n toC\n");
  // An unlistable root leaves the tree empty.
  EXPECT_EQ(tree->SetPath(Q(root / "missing"), TVI_ROOT), 0);
  EXPECT_EQ(tree->GetRootItem(), nullptr);
}

TEST_F(TreeTest, FolderLimitCountsFoldersAndWarnsOncePerFill) {
  for (int i = 0; i < 401; ++i) fs::create_directories(lib / "A" / ("f" + std::to_string(i)));
  for (int i = 0; i < 401; ++i) fs::create_directories(lib / "C" / ("g" + std::to_string(i)));
  for (int i = 0; i < 450; ++i) WriteFile(lib / "D" / ("p" + std::to_string(i) + ".jpg"), "");
  fs::create_directories(lib / "D/sub");
  Load();
  EXPECT_EQ(Texts(), std::vector<QString>{"当前路径下文件夹数量太多，请及时清理！"});
  EXPECT_TRUE(Item("D/sub")) << "photographs do not count";
  HTREEITEM a = Item("A");
  int shown = 0;
  for (HTREEITEM c = tree->GetChildItem(a); c; c = tree->GetNextSiblingItem(c)) ++shown;
  EXPECT_EQ(shown, kTreeMaxFolders);
  // "B" and f0 … f398 fill the 400 places; f399 and f400 sort after them.
  EXPECT_TRUE(Item("A/B"));
  EXPECT_TRUE(Item("A/f398"));
  EXPECT_FALSE(Item("A/f399"));
}

TEST_F(TreeTest, ContextMenuOffersWhatTheItemAllows) {
  const auto offered = [&](HTREEITEM item) {
    tree->offered.clear();
    CRect row;
    tree->GetItemRect(item, row, false);
    QTest::mouseClick(tree.get(), Qt::RightButton, {}, QPoint(row.left + 5, row.top + 5));
    return tree->offered;
  };
  EXPECT_EQ(offered(tree->GetRootItem()), (std::vector<UINT>{2, 5}));
  EXPECT_EQ(offered(Item("A")), (std::vector<UINT>{1, 2, 3, 4, 5}));
  tree->OpenRButtonMenu(0);
  EXPECT_TRUE(offered(Item("C")).empty());
}

// Move and copy through the folder chooser: each case's disk afterwards,
// its message and the selection.
TEST_F(TreeTest, MovesAndCopies) {
  fs::create_directories(lib / "D/A");  // a same-named folder at the target
  fs::create_directory_symlink(lib, root / "link");
  const struct {
    const char* why;
    UINT command;
    std::string folder, chosen;  // relative to the library ("@" = through the link)
    std::string moved;           // where it went ("" = nowhere)
    const char* text;            // the message ("" = none)
    std::string selected;
  } cases[] = {
      {"onto its own parent", ID_TREE_MOVE, "A/B", "A", "", "", "A/B"},
      {"onto its own parent through a link", ID_TREE_MOVE, "A/B", "@A", "", "", "A/B"},
      {"into itself", ID_TREE_MOVE, "A", "A/B", "", "移动失败！", "A"},
      {"onto a same-named folder", ID_TREE_MOVE, "A", "D", "D/A(1)", "移动成功！", "D/A(1)"},
      {"into another folder", ID_TREE_MOVE, "C", "A/B", "A/B/C", "移动成功！", "A/B/C"},
      {"copy onto its own parent", ID_TREE_COPY, "A", "", "A(1)", "复制成功！", "A"},
      {"copy into itself", ID_TREE_COPY, "A", "A/B", "", "复制失败！", "A"},
  };
  for (const auto& c : cases) {
    fs::remove_all(lib);
    MakeLibrary();
    fs::create_directories(lib / "D/A");
    Load();
    script.Clear();
    const auto before = Snapshot(lib);
    Select(c.folder);
    const std::string chosen =
        c.chosen[0] == '@' ? (root / "link" / c.chosen.substr(1)).string() : (lib / c.chosen).string();
    script.AnswerChooser(QString::fromStdString(chosen));
    tree->OnCommand(c.command);
    Pump();
    auto expected = before;
    if (!c.moved.empty()) {
      for (const auto& [rel, what] : before)
        if (rel == c.folder || rel.starts_with(c.folder + "/")) {
          if (c.command == ID_TREE_MOVE) expected.erase(rel);
          expected[c.moved + rel.substr(c.folder.size())] = what;
        }
    }
    EXPECT_EQ(Snapshot(lib), expected) << c.why;
    EXPECT_EQ(Texts(), *c.text ? std::vector<QString>{c.text} : std::vector<QString>{}) << c.why;
    EXPECT_EQ(tree->GetSelectPath(), Q(lib / c.selected)) << c.why;
    EXPECT_EQ(TreeLines(), DiskLines(lib)) << c.why;
  }
  // A cancelled chooser changes nothing.
  Select("A");
  const auto before = Snapshot(lib);
  tree->OnCommand(ID_TREE_MOVE);
  EXPECT_EQ(Snapshot(lib), before);
}

TEST_F(TreeTest, DeleteAndNewFolder) {
  tree->SelectItem(tree->GetRootItem());
  tree->OnCommand(ID_TREE_DELETE);
  EXPECT_EQ(Texts(), std::vector<QString>{"不能删除根目录！"});
  EXPECT_TRUE(fs::exists(lib));
  // "No" keeps the folder; "Yes" deletes it and selects the nearest folder left.
  script.Clear();
  Select("A/B");
  script.AnswerBox(IDNO);
  tree->OnCommand(ID_TREE_DELETE);
  EXPECT_TRUE(fs::exists(lib / "A/B"));
  Pump();
  parent->selects = 0;
  script.AnswerBox(IDYES);
  tree->OnCommand(ID_TREE_DELETE);
  Pump();
  EXPECT_FALSE(fs::exists(lib / "A/B"));
  EXPECT_EQ(tree->GetSelectPath(), Q(lib / "A"));
  EXPECT_EQ(parent->selects, 1);
  EXPECT_EQ(TreeLines(), DiskLines(lib));

  // New folder twice: the base name, then "(1)"; each starts an edit.
  script.Clear();
  Select("C");
  tree->OnCommand(ID_TREE_NEWFOLDER);
  EXPECT_TRUE(tree->IsEditing());
  tree->EndEdit();
  Select("C");
  tree->OnCommand(ID_TREE_NEWFOLDER);
  EXPECT_EQ(tree->GetEditBox()->text(), "新建文件夹(1)");
  tree->EndEdit();
  EXPECT_TRUE(fs::is_directory(lib / "C/新建文件夹"));
  EXPECT_TRUE(fs::is_directory(lib / "C/新建文件夹(1)"));
  EXPECT_TRUE(Texts().empty());
  // A folder gone behind the tree's back: a message, nothing made, the tree refilled.
  Select("D");
  fs::remove_all(lib / "D");
  tree->OnCommand(ID_TREE_NEWFOLDER);
  EXPECT_EQ(Texts(), std::vector<QString>{"新建文件夹失败！"});
  EXPECT_FALSE(fs::exists(lib / "D"));
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(TreeLines(), DiskLines(lib));
}

// Names typed into the edit box: refused with their message, or renamed.
TEST_F(TreeTest, RenameChecksTheTypedName) {
  const struct {
    QString typed;
    const char* text;  // "" = renamed
  } cases[] = {
      {"", "文件名不能为空！"},
      {"x/y", "名称不能含有\"/\"或以\".\"开头！"},
      {"..", "名称不能含有\"/\"或以\".\"开头！"},
      {".hidden", "名称不能含有\"/\"或以\".\"开头！"},
      {"C", "文件名冲突！"},
      {"a", ""},  // differs only in case
      {"with space", ""},
      {"中文", ""},
      {"a;b*c?d\\e", ""},
      {QString(255, 'n'), ""},
      {QString(256, 'n'), "重命名失败！"},
  };
  for (const auto& c : cases) {
    fs::remove_all(lib);
    MakeLibrary();
    Load();
    script.Clear();
    const auto before = Snapshot(lib);
    Select("A");
    tree->OnCommand(ID_TREE_RENAME);
    ASSERT_TRUE(tree->IsEditing());
    EXPECT_EQ(tree->GetEditBox()->text(), "A");
    EXPECT_EQ(tree->GetEditBox()->selectedText(), "A");
    tree->GetEditBox()->setText(c.typed);
    QTest::keyClick(tree->GetEditBox(), Qt::Key_Return);
    EXPECT_FALSE(tree->IsEditing());
    const std::string name = c.typed.toStdString();
    if (*c.text) {
      EXPECT_EQ(Texts(), std::vector<QString>{c.text}) << name;
      EXPECT_EQ(Snapshot(lib), before) << name;
    } else {
      EXPECT_TRUE(Texts().empty()) << name;
      EXPECT_EQ(fundara_test::ReadFile(lib / name / "two.jpg"), "2") << name;
      EXPECT_EQ(tree->GetSelectPath(), Q(lib / name));
    }
    EXPECT_EQ(TreeLines(), DiskLines(lib)) << name;
  }
}

// Every way an edit ends; the edit renames its own item even when the
// press that ended it selected another.
TEST_F(TreeTest, EachWayAnEditEnds) {
  const auto far = [](Tree& t) {
    const CPoint p = t.ClientToScreen(CPoint(2000, 2000));
    SendMessage(&t, CTracmo::MouseDownMessage(), static_cast<WPARAM>(p.x), p.y);
  };
  const struct {
    const char* how;
    std::function<void(Tree&)> end;
    bool renames;
  } cases[] = {
      {"enter", [](Tree& t) { QTest::keyClick(t.GetEditBox(), Qt::Key_Return); }, true},
      {"a press outside", far, true},
      {"a press inside the box", [](Tree& t) {
         const QPoint p = t.GetEditBox()->mapToGlobal(QPoint(3, 3));
         SendMessage(&t, CTracmo::MouseDownMessage(), static_cast<WPARAM>(p.x()), p.y());
       }, false},
      {"a click on another item", [](Tree& t) {
         CRect row;
         t.GetItemRect(t.GetChildItem(t.GetRootItem()), row, false);  // "A"
         QTest::mouseClick(&t, Qt::LeftButton, {}, QPoint(row.right - 5, row.top + 5));
       }, true},
      {"focus loss", [](Tree& t) {
         QFocusEvent out(QEvent::FocusOut);
         QCoreApplication::sendEvent(t.GetEditBox(), &out);
       }, true},
      {"hiding the tree", [](Tree& t) { t.ShowWindow(SW_HIDE); }, true},
      {"refilling the tree", [](Tree& t) { t.SetPath(QString(), TVI_ROOT); }, false},
      {"escape", [](Tree& t) { QTest::keyClick(t.GetEditBox(), Qt::Key_Escape); }, false},
  };
  for (const auto& c : cases) {
    fs::remove_all(lib);
    MakeLibrary();
    tree->ShowWindow(SW_SHOW);
    Load();
    parent->keys.clear();
    Select("C");
    tree->OnCommand(ID_TREE_RENAME);
    tree->GetEditBox()->setText("E");
    c.end(*tree);
    Pump();
    EXPECT_EQ(fs::exists(lib / "E"), c.renames) << c.how;
    EXPECT_EQ(fs::exists(lib / "C"), !c.renames) << c.how;
    EXPECT_TRUE(fs::exists(lib / "A")) << c.how << ": the other item keeps its name";
    if (std::string(c.how) != "a press inside the box") EXPECT_FALSE(tree->IsEditing()) << c.how;
    else EXPECT_TRUE(tree->IsEditing());
    tree->EndEdit();
    fs::remove_all(lib / "E");
    EXPECT_EQ(parent->keys, std::string(c.how) == "escape" ? std::vector<UINT>{VK_ESCAPE} : std::vector<UINT>{})
        << c.how;
  }
}

TEST_F(TreeTest, DroppedFilesMoveIntoTheFolder) {
  WriteFile(lib / "D/two.jpg", "taken");
  WriteFile(lib / "C/\xff bad.jpg", "not text");
  fs::create_directory_symlink(lib / "A", root / "linkA");
  const std::string a = (lib / "A").string();
  tree->Drop({a + "/two.jpg", (lib / "C/three.jpg").string()}, Item("D"));
  EXPECT_EQ(fundara_test::ReadFile(lib / "D/two(1).jpg"), "2");
  EXPECT_EQ(fundara_test::ReadFile(lib / "D/two.jpg"), "taken");
  EXPECT_EQ(fundara_test::ReadFile(lib / "D/three.jpg"), "3");
  EXPECT_TRUE(Texts().empty());
  // Onto the file's own folder, however it is spelled: nothing moves.
  WriteFile(lib / "A/own.jpg", "own");
  const auto before = Snapshot(lib);
  tree->Drop({(root / "linkA/own.jpg").string(), a + "/B/../own.jpg", a + "//own.jpg"}, Item("A"));
  EXPECT_EQ(Snapshot(lib), before);
  EXPECT_TRUE(Texts().empty());
  // Names that are not text, missing files and a folder into itself are
  // refused and listed; nothing else is touched.
  tree->Drop({(lib / "C/\xff bad.jpg").string(), (lib / "C/none.jpg").string(), a}, Item("A/B"));
  EXPECT_EQ(Snapshot(lib), before);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_TRUE(Texts()[0].startsWith("以下文件未能移动：\n"));
  EXPECT_TRUE(Texts()[0].contains("none.jpg"));
  EXPECT_EQ(TreeLines(), DiskLines(lib));
}

// Each tree operation runs once for every file call it makes, that call
// failing: afterwards the disk is as before or as after success, the
// failure's message is shown, no work files remain and the tree matches.
TEST_F(TreeTest, EveryFailedCallLeavesTheLibraryWhole) {
  fundara_test::SmallDisk other(root / "other", "4m");
  const std::string otherPath = other.Mounted() ? other.Path().string() : (root / "other").string();
  const struct {
    const char* name;
    std::function<void()> run;
    const char* failure;
  } ops[] = {
      {"move to another disk", [&] {
         Select("A");
         script.AnswerChooser(QString::fromStdString(otherPath));
         tree->OnCommand(ID_TREE_MOVE);
       }, "移动失败！"},
      {"copy", [&] {
         Select("A");
         script.AnswerChooser(Q(lib / "D"));
         tree->OnCommand(ID_TREE_COPY);
       }, "复制失败！"},
      {"rename", [&] {
         Select("A");
         tree->OnCommand(ID_TREE_RENAME);
         tree->GetEditBox()->setText("Z");
         tree->EndEdit();
       }, "重命名失败！"},
      {"new folder", [&] {
         Select("C");
         tree->OnCommand(ID_TREE_NEWFOLDER);
         tree->EndEdit();
       }, "新建文件夹失败！"},
      {"drop", [&] {
         tree->Drop({(lib / "A/two.jpg").string()}, Item("D"));
       }, "以下文件未能移动：\n"},
  };
  for (const auto& op : ops) {
    const auto fresh = [&] {
      fs::remove_all(lib);
      if (fs::exists(otherPath)) for (const auto& e : fs::directory_iterator(otherPath)) fs::remove_all(e.path());
      MakeLibrary();
      Load();
      script.Clear();
    };
    fresh();
    const auto before = Snapshot(root);
    file_fault::Arm(0, 0);
    op.run();
    const int calls = file_fault::Calls();
    const auto after = Snapshot(root);
    ASSERT_NE(after, before) << op.name;
    ASSERT_GE(calls, 1) << op.name;
    for (int error : {ENOSPC, EACCES, EROFS}) {
      for (int n = 1; n <= calls; ++n) {
        fresh();
        file_fault::Arm(n, error);
        op.run();
        file_fault::Disarm();
        const std::string where = std::string(op.name) + ", call " + std::to_string(n) + " failing";
        const auto now = Snapshot(root);
        const auto texts = Texts();
        if (now == after) {
          EXPECT_TRUE(texts.empty() || !texts[0].startsWith(op.failure)) << where;
        } else {
          EXPECT_EQ(now, before) << where;
          ASSERT_FALSE(texts.empty()) << where;
          EXPECT_TRUE(texts.back().startsWith(op.failure)) << where << ": " << texts.back().toStdString();
        }
        EXPECT_EQ(Leftovers(root), "") << where;
        EXPECT_EQ(TreeLines(), DiskLines(lib)) << where;
      }
    }
  }
}

TEST_F(TreeTest, DrawsItemsAsSpecified) {
  tree->ShowWindow(SW_SHOW);
  parent->ShowWindow(SW_SHOW);
  Select("A/B");
  const QImage shot = tree->grab().toImage();
  if (const char* out = std::getenv("BREVIO_TEST_OUTPUT")) {  // to look at
    fs::create_directories(out);
    shot.save(QString::fromLocal8Bit(out) + "/folder_tree.png");
  }
  CRect row, other, text;
  ASSERT_TRUE(tree->GetItemRect(Item("A/B"), row, false));
  ASSERT_TRUE(tree->GetItemRect(Item("C"), other, false));
  tree->GetItemRect(Item("C"), text, true);
  const QColor outline(106, 144, 226);
  // The outline: 2 pixels wide, starting 2 pixels inside the row.
  EXPECT_EQ(shot.pixelColor(row.left + 10, row.top + 1), QColor(Qt::white));
  EXPECT_EQ(shot.pixelColor(row.left + 10, row.top + 2), outline);
  EXPECT_EQ(shot.pixelColor(row.left + 10, row.top + 3), outline);
  EXPECT_EQ(shot.pixelColor(row.left + 10, row.top + 4), QColor(Qt::white));
  EXPECT_EQ(shot.pixelColor(row.right - 3, row.top + 12), outline);
  EXPECT_EQ(shot.pixelColor(other.left + 10, other.top + 2), QColor(Qt::white)) << "only the selected item";
  // A folder picture in the first item height of the text rectangle, the
  // name in black after it, an expand button only where there are children.
  const auto dark = [&](int x0, int x1, int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += shot.pixelColor(x, y) != QColor(Qt::white);
    return n;
  };
  const int h = tree->GetItemHeight();
  EXPECT_GT(dark(text.left, text.left + h, other.top + 4, other.bottom - 4), 20) << "folder picture";
  EXPECT_GT(dark(text.left + h, text.left + h + 20, other.top + 4, other.bottom - 4), 5) << "the name";
  EXPECT_EQ(dark(text.left - tree->GetIndent(), text.left, other.top, other.bottom), 0) << "C has no children";
  CRect aText;
  tree->GetItemRect(Item("A"), aText, true);
  EXPECT_GT(dark(aText.left - tree->GetIndent(), aText.left, aText.top + 4, aText.bottom - 4), 5) << "A's button";
  int black = 0;
  for (int y = other.top; y < other.bottom; ++y)
    for (int x = text.left + h; x < text.left + h + 20; ++x) black += shot.pixelColor(x, y).lightness() < 60;
  EXPECT_GT(black, 3) << "black text";
}

TEST_F(TreeTest, DataPathPanelChoosesTheLibraryFolder) {
  CreateDir(GetDataLibPath() + "/Course/Week1");
  CSelectDataPathLayer panel;
  ASSERT_TRUE(panel.Create(parent.get(), CPoint(10, 10)));
  EXPECT_EQ(panel.GetWindowRect().Width(), 200);
  EXPECT_EQ(panel.GetWindowRect().Height(), 240);
  EXPECT_EQ(panel.GetTree().GetItemHeight(), 32);
  const QString week = QString::fromStdString(GetDataLibPath() + "/Course/Week1");
  panel.SetPicLibPath(week);
  EXPECT_EQ(panel.GetTree().GetSelectPath(), week);
  panel.GetTree().SetCurPath(QString::fromStdString(GetDataLibPath() + "/Course"));
  Pump();
  EXPECT_EQ(panel.GetPicLibPath(), QString::fromStdString(GetDataLibPath() + "/Course"));
  // Buttons 2 and 3 report their ids to the panel's parent.
  panel.ShowWindow(SW_SHOW);
  if (const char* out = std::getenv("BREVIO_TEST_OUTPUT")) {
    fs::create_directories(out);
    panel.grab().save(QString::fromLocal8Bit(out) + "/data_path_panel.png");
  }
  int clicked = 0;
  for (CGdiBtnEx* b : panel.findChildren<CGdiBtnEx*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (b->GetDlgCtrlID() != ID_DATAPATH_OK && b->GetDlgCtrlID() != ID_DATAPATH_CANCEL) continue;
    EXPECT_FALSE(b->geometry().isEmpty());
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    ++clicked;
  }
  EXPECT_EQ(clicked, 2);
  Pump();
  EXPECT_EQ(parent->commands, (std::vector<UINT>{ID_DATAPATH_OK, ID_DATAPATH_CANCEL}));
}

}  // namespace
