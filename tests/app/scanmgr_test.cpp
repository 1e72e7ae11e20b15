// Picture management's windows: the library page (tree, list, refresh), the
// tool bar's codes reaching the page shown, page switching, the browse and
// bound-pictures windows, full screen.

#include "app/app_messages.h"
#include "app/scanmgr_frm.h"
#include "contracts/fundara/paths.h"
#include "imaging/pixalto.h"
#include "platform/dialogs.h"
#include "tests/fundara/disk_state.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"
#include "tests/support/wait.h"

#include <QImage>

// Readable QString values in failure messages.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

namespace fs = std::filesystem;
using fundara_test::ReadFile;
using fundara_test::ScratchEnv;
using fundara_test::Snapshot;
using fundara_test::WriteFile;

QString P(const fs::path& p) { return QString::fromStdString(p.string()); }

// The main window as picture management sees it: records mode switches.
class CMainSink : public CWnd {
 public:
  CMainSink() {
    OnMessage(WM_SWITCH_MODE, [this](WPARAM w, LPARAM l) -> LRESULT {
      switches.push_back({w, l});
      return 1;
    });
  }
  std::vector<std::pair<WPARAM, LPARAM>> switches;
};

// A page that records what reaches it.
class CRecordingPage : public CWnd {
 public:
  CRecordingPage() {
    for (UINT msg : {WM_LIBRARY_COMMAND, WM_REFRESH_LIBRARY, WM_REFRESH_LIST, WM_REFRESH_TAB, WM_REFRESH_PAGE})
      OnMessage(msg, [this, msg](WPARAM w, LPARAM) -> LRESULT {
        got.push_back({msg, w});
        return 1;
      });
  }
  std::vector<std::pair<UINT, WPARAM>> got;
};

class ScanMgr : public ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    lib = GetDataLibPath();
    pictures = GetDataPicPath();
    fs::create_directories(pictures / "day1");
    fs::create_directories(lib / "notes");
    for (const char* name : {"a.jpg", "b.png", "c.jpg"}) Picture(pictures / "day1" / name);
    main = std::make_unique<CMainSink>();
    SetMainWnd(main.get());
    frame = std::make_unique<CScanMgrFrm>();
    ASSERT_TRUE(frame->Create(nullptr, CRect(0, 0, 1280, 800)));
  }
  void TearDown() override {
    frame.reset();
    SetMainWnd(nullptr);
    ScratchEnv::TearDown();
  }
  static void Picture(const fs::path& p) {
    QImage image(80, 60, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(image.save(P(p)));
  }
  void Settle() { WaitUntil([] { return false; }, 30); }
  CPictureLibDlg& Library() { return frame->GetLibrary(); }
  void SelectFolder(const fs::path& folder) {
    ASSERT_EQ(Library().GetTree().SetCurPath(P(folder)), 1);
    Settle();
  }
  void Press(WPARAM code) {
    CHdcBtn* b = frame->GetToolBar().Button(static_cast<int>(code));
    ASSERT_NE(b, nullptr);
    PostMessage(&frame->GetToolBar(), WM_COMMAND, MAKEWPARAM(CMgrToolDlg::kCtrlBase + code, BN_CLICKED), 0);
    Settle();
  }

  fs::path lib, pictures;
  std::unique_ptr<CMainSink> main;
  CDialogScript script;
  std::unique_ptr<CScanMgrFrm> frame;
};

TEST_F(ScanMgr, OpensOnTheLibraryWhichListsTheTreeSelection) {
  frame->ModeOn();
  Settle();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(frame->GetShownWindow(), &Library());
  EXPECT_EQ(frame->GetTitle().GetTitleText(), "图片管理");
  EXPECT_EQ(Library().GetTree().GetRootPath(), P(lib));
  SelectFolder(pictures / "day1");
  EXPECT_EQ(Library().GetList().GetPath(), P(pictures / "day1"));
  EXPECT_EQ(Library().GetList().GetItemCount(), 3);
  EXPECT_EQ(Library().GetPathBar().GetPath(), P(pictures / "day1"));
  // Layout: the strip on top, the tool bar at the bottom, the page between.
  EXPECT_EQ(frame->GetTitle().geometry(), QRect(0, 0, 1280, 48));
  EXPECT_EQ(frame->GetToolBar().geometry(), QRect(0, 800 - 76, 1280, 76));
  EXPECT_EQ(Library().geometry(), QRect(0, 48, 1280, 800 - 76 - 48));
  // A photograph taken meanwhile is listed when the page is shown again.
  Picture(pictures / "day1" / "d.jpg");
  frame->ModeOff();
  EXPECT_FALSE(frame->isVisible());
  frame->ModeOn();
  Settle();
  EXPECT_EQ(Library().GetList().GetItemCount(), 4);
  EXPECT_EQ(Library().GetList().GetPath(), P(pictures / "day1"));
}

TEST_F(ScanMgr, RefreshReselectsTheFolderOrTheNearestOneLeft) {
  frame->ModeOn();
  fs::create_directories(pictures / "day1" / "deep");
  Library().RefreshTree();
  SelectFolder(pictures / "day1" / "deep");
  // 2229 as the main frame passes it on: the remembered folder comes back.
  SendMessage(frame.get(), WM_REFRESH_LIBRARY, 0, 0);
  Settle();
  EXPECT_EQ(Library().GetTree().GetSelectPath(), P(pictures / "day1" / "deep"));
  // Gone: the nearest folder above it that is left.
  fs::remove_all(pictures / "day1");
  SendMessage(frame.get(), WM_REFRESH_LIBRARY, 0, 0);
  Settle();
  EXPECT_EQ(Library().GetTree().GetSelectPath(), P(pictures));
  EXPECT_EQ(Library().GetList().GetPath(), P(pictures));
  // A new data root: the tree follows it.
  setenv("XDG_PICTURES_DIR", (root / "other").c_str(), 1);
  fs::create_directories(GetDataLibPath());
  SendMessage(frame.get(), WM_REFRESH_LIBRARY, 0, 0);
  Settle();
  EXPECT_EQ(Library().GetTree().GetRootPath(), QString::fromStdString(GetDataLibPath()));
}

TEST_F(ScanMgr, ToolBarCodesReachThePageShown) {
  CRecordingPage collect;
  collect.Create(CWnd::Kind::Child, QString(), CRect(), frame.get());
  frame->SetPage(PAGE_COLLECT, &collect);
  frame->ModeOn();
  Settle();
  // The mode opens on the collection page, which has no tool bar.
  EXPECT_EQ(frame->GetShownWindow(), &collect);
  EXPECT_FALSE(frame->GetToolBar().isVisible());
  // Refresh notices go to the pages; 2231 and 2264 without an argument do not.
  for (UINT msg : {WM_REFRESH_LIST, WM_REFRESH_TAB}) EXPECT_EQ(SendMessage(frame.get(), msg, 0, 0), 1);
  SendMessage(frame.get(), WM_REFRESH_PAGE, 0, 0);
  SendMessage(frame.get(), WM_REFRESH_LIST, 7, 0);
  EXPECT_EQ(collect.got, (std::vector<std::pair<UINT, WPARAM>>{{WM_REFRESH_PAGE, 0}, {WM_REFRESH_LIST, 7}}));

  // (162, 0) from the collection page: the library with its tool bar.
  PostMessage(frame.get(), WM_PAGE_SWITCH, PAGE_COLLECT, 0);
  Settle();
  ASSERT_EQ(frame->GetShownWindow(), &Library());
  EXPECT_TRUE(frame->GetToolBar().isVisible());
  EXPECT_EQ(frame->GetToolBar().GetTarget(), &Library());
  EXPECT_TRUE(frame->GetToolBar().IsOffered(LIBCMD_CLOSE));
  EXPECT_FALSE(frame->GetToolBar().IsOffered(LIBCMD_BACK));
  EXPECT_FALSE(frame->GetToolBar().IsOffered(LIBCMD_COMPARE));  // no object show mode
  // Close (2) posts (162, 1): back on the collection page.
  Press(LIBCMD_CLOSE);
  EXPECT_EQ(frame->GetShownWindow(), &collect);
  frame->SetPage(PAGE_COLLECT, nullptr);
  EXPECT_EQ(frame->GetShownWindow(), &Library());
  // Without a collection page close leaves the mode.
  Press(LIBCMD_CLOSE);
  EXPECT_EQ(main->switches, (std::vector<std::pair<WPARAM, LPARAM>>{{SWITCH_FROM_MODE_MENU, MODE_BACK}}));
}

TEST_F(ScanMgr, BrowseWalksTheFolderAndGoesBack) {
  frame->ModeOn();
  SelectFolder(pictures / "day1");
  CListViewEx& list = Library().GetList();
  fs::copy_file(pictures / "day1" / "a.jpg", pictures / "day1" / "z.bind");
  Library().GetList().Refresh();
  frame->OpenPicture({P(pictures / "day1" / "a.jpg"), P(pictures / "day1" / "b.png"), P(pictures / "day1" / "c.jpg")}, 1);
  ASSERT_EQ(frame->GetShownWindow(), &frame->GetBrowse());
  CPictureBrowseDlg& browse = frame->GetBrowse();
  EXPECT_EQ(browse.GetCurrentPath(), P(pictures / "day1" / "b.png"));
  EXPECT_EQ(browse.GetNameText(), "b.png    2 / 3");
  EXPECT_EQ(frame->GetToolBar().GetTarget(), &browse);
  EXPECT_TRUE(frame->GetToolBar().IsOffered(LIBCMD_BACK));
  EXPECT_FALSE(frame->GetToolBar().IsOffered(LIBCMD_UNBIND));
  PostMessage(&browse, WM_PAGE_TURN, 0, 1);
  Settle();
  EXPECT_EQ(browse.GetIndex(), 2);
  EXPECT_EQ(browse.GetPreview().GetImagePath(), P(pictures / "day1" / "c.jpg"));
  PostMessage(&browse, WM_PAGE_TURN, 0, 1);  // past the end: stays
  Settle();
  EXPECT_EQ(browse.GetIndex(), 2);
  // Delete takes the picture shown to the trash; the one before is shown.
  fs::create_directories(root / "home");
  fs::create_directories(root / "share");
  Press(LIBCMD_DELETE);
  EXPECT_FALSE(fs::exists(pictures / "day1" / "c.jpg"));
  EXPECT_EQ(browse.GetPictures().size(), 2);
  EXPECT_EQ(browse.GetCurrentPath(), P(pictures / "day1" / "b.png"));
  // Back (12) posts (179, 1).
  Press(LIBCMD_BACK);
  EXPECT_EQ(frame->GetShownWindow(), &Library());
  EXPECT_EQ(list.FindItem(P(pictures / "day1" / "c.jpg")), -1);
}

TEST_F(ScanMgr, BoundPicturesAreViewedAndCleanedUp) {
  const fs::path day = pictures / "day1";
  CPixalto pixalto;
  std::list<std::string> two{(day / "a.jpg").string(), (day / "b.png").string()};
  const std::string a = ReadFile(day / "a.jpg");
  ASSERT_EQ(pixalto.BindJpg(two, (day / "a.bind").string()), 1);
  // Something of the teacher's already in the binding folder stays.
  WriteFile(fs::path(GetBindPath()) / "a.jpg", "someone else's");
  const auto bindBefore = Snapshot(GetBindPath());
  frame->ModeOn();
  SelectFolder(day);
  frame->OpenArchive(P(day / "a.bind"));
  ASSERT_EQ(frame->GetShownWindow(), &frame->GetBound());
  CPictureBindDlg& bound = frame->GetBound();
  EXPECT_EQ(bound.GetList().GetItemCount(), 2);
  EXPECT_EQ(bound.GetUnpacked().size(), 2u);
  EXPECT_FALSE(frame->GetToolBar().IsOffered(LIBCMD_BIND));
  EXPECT_FALSE(frame->GetToolBar().IsOffered(LIBCMD_DELETE));
  EXPECT_TRUE(frame->GetToolBar().IsOffered(LIBCMD_UNBIND));
  // PDF of the selection lands beside the archive; bind and delete do nothing.
  bound.GetList().SelectAll(true);
  Press(LIBCMD_PDF);
  EXPECT_TRUE(fs::exists(day / "a.pdf"));
  Press(LIBCMD_DELETE);
  Press(LIBCMD_BIND);
  EXPECT_EQ(bound.GetList().GetItemCount(), 2);
  // Back: exactly the unpacked files go.
  Press(LIBCMD_BACK);
  EXPECT_EQ(frame->GetShownWindow(), &Library());
  EXPECT_EQ(Snapshot(GetBindPath()), bindBefore);

  // Unbind from the window acts on the archive and returns to the library.
  frame->OpenArchive(P(day / "a.bind"));
  script.Clear();
  Press(LIBCMD_UNBIND);
  EXPECT_FALSE(fs::exists(day / "a.bind"));
  EXPECT_EQ(ReadFile(day / "a.jpg"), a);
  EXPECT_EQ(frame->GetShownWindow(), &Library());
  EXPECT_EQ(Snapshot(GetBindPath()), bindBefore);

  // An archive that cannot be unpacked is told and leaves nothing.
  WriteFile(day / "text.bind", "just text");
  script.Clear();
  frame->OpenArchive(P(day / "text.bind"));
  EXPECT_EQ(frame->GetShownWindow(), &Library());
  ASSERT_EQ(script.Boxes().size(), 1u);
  EXPECT_EQ(script.Boxes()[0].text, "以下文件未能打开：\ntext.bind");
  EXPECT_EQ(Snapshot(GetBindPath()), bindBefore);
}

TEST_F(ScanMgr, CommandsWhileOneWaitsInItsBoxAreIgnored) {
  // Export waits in its folder chooser, which lets events through; a delete
  // posted meanwhile is delivered then, and must not run.
  class CReentrant : public CPictureCommands {
   protected:
    QString ChooseExportFolder() override {
      QCoreApplication::processEvents();
      return {};
    }
  };
  frame->ModeOn();
  SelectFolder(pictures / "day1");
  CListViewEx& list = Library().GetList();
  list.SelectAll(true);
  Library().SetCommands(std::make_unique<CReentrant>());
  PostMessage(&Library(), WM_LIBRARY_COMMAND, LIBCMD_DELETE, 0);
  Library().RunCommand(LIBCMD_EXPORT);
  Settle();
  EXPECT_EQ(list.GetItemCount(), 3);
  for (const char* name : {"a.jpg", "b.png", "c.jpg"}) EXPECT_TRUE(fs::exists(pictures / "day1" / name)) << name;
  EXPECT_TRUE(script.Boxes().empty());
}

TEST_F(ScanMgr, FullScreenHidesTheTitleStripAfterItsTimer) {
  frame->ModeOn();
  frame->SetFullScreen(1);
  EXPECT_TRUE(frame->HasTimer(CScanMgrFrm::kFullScreenTimer));
  EXPECT_TRUE(frame->IsTitleShown());
  ASSERT_TRUE(WaitUntil([&] { return !frame->IsTitleShown(); }, 6000));
  EXPECT_EQ(Library().geometry().top(), 0);
  frame->SetFullScreen(0);
  EXPECT_TRUE(frame->IsTitleShown());
  EXPECT_EQ(Library().geometry().top(), 48);
}

}  // namespace
