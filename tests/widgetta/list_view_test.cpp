#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "contracts/fundara/thumbs.h"
#include "tests/fundara/scratch_env.h"
#include "tests/widgetta/widget_test_util.h"

using namespace widgetta_test;
namespace fs = std::filesystem;

namespace {

class ListViewTest : public fundara_test::ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    folder = root / "pictures" / "lesson";
    fs::create_directories(folder);
    int shade = 0;
    for (const char* name : {"b.jpg", "a.png", "c10.JPG", "c9.jpg"}) {
      QImage img(64, 48, QImage::Format_RGB32);
      img.fill(QColor(40 * ++shade, 90, 160));
      ASSERT_TRUE(img.save(QString::fromStdString((folder / name).string())));
    }
    fundara_test::WriteFile(folder / "x.bind", "bound pictures");
    fundara_test::WriteFile(folder / ".hidden.jpg", "not listed");
    fs::create_directories(folder / "sub");
    parent = std::make_unique<ParentWnd>(CRect(0, 0, 700, 400));
    parent->ShowWindow(SW_SHOW);
    list.Create("fileListView", WS_CHILD | WS_VISIBLE, CRect(0, 0, 700, 400), parent.get(), 60);
    ASSERT_EQ(list.SetPath(Q(folder)), 1);
  }
  void TearDown() override {
    list.setParent(nullptr);
    parent.reset();
    ScratchEnv::TearDown();
  }
  static QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }
  QString Path(const char* name) const { return Q(folder / name); }
  void Click(int index, Qt::KeyboardModifiers mods = {}) {
    const CRect r = list.GetItemRect(index);
    QTest::mouseClick(&list, Qt::LeftButton, mods, QPoint(r.CenterPoint().x, r.CenterPoint().y));
  }

  fs::path folder;
  QApplication& app = TestApp();  // before any window
  std::unique_ptr<ParentWnd> parent;
  CListViewEx list;
};

}  // namespace

TEST_F(ListViewTest, ListsTheFolderInNameOrder) {
  ASSERT_EQ(list.GetItemCount(), 5);
  EXPECT_EQ(list.GetItemPath(0), Path("a.png"));
  EXPECT_EQ(list.GetItemPath(1), Path("b.jpg"));
  EXPECT_EQ(list.GetItemPath(2), Path("c9.jpg"));  // numbers compare by value
  EXPECT_EQ(list.GetItemPath(3), Path("c10.JPG"));
  EXPECT_EQ(list.GetItemPath(4), Path("x.bind"));
  EXPECT_EQ(list.SetPath(Q(folder / "missing")), 0);
  EXPECT_EQ(list.GetItemCount(), 0);
}

TEST_F(ListViewTest, SelectionInListOrderWithExtensionFilter) {
  Click(4);
  Click(2, Qt::ControlModifier);
  Click(0, Qt::ControlModifier);
  Click(3, Qt::ControlModifier);
  // List order, not click order.
  EXPECT_EQ(list.GetSelectFile(), (QStringList{Path("a.png"), Path("c9.jpg"), Path("c10.JPG"),
                                              Path("x.bind")}));
  EXPECT_EQ(list.GetSelectFile(".JPG"), (QStringList{Path("c9.jpg"), Path("c10.JPG")}));
  EXPECT_EQ(list.GetSelectFile("png"), QStringList{Path("a.png")});
  EXPECT_EQ(list.GetSelectFile(".BIND"), QStringList{Path("x.bind")});
  EXPECT_TRUE(list.GetSelectFile(".TIF").isEmpty());

  Click(3, Qt::ControlModifier);  // toggles off
  EXPECT_FALSE(list.IsSelected(3));
  Click(1);  // a plain click selects only that one
  EXPECT_EQ(list.GetSelectCount(), 1);
  Click(3, Qt::ShiftModifier);  // the run from the last plain click
  EXPECT_EQ(list.GetSelectFile(), (QStringList{Path("b.jpg"), Path("c9.jpg"), Path("c10.JPG")}));
  const auto reports = parent->Take();
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().wParam, MAKEWPARAM(60, LVN_SELCHANGE));
  EXPECT_EQ(reports.back().lParam, HandleOf(list));

  // Empty space clears; a double-click names its file.
  QTest::mouseClick(&list, Qt::LeftButton, {}, QPoint(690, 390));
  EXPECT_EQ(list.GetSelectCount(), 0);
  const CRect r = list.GetItemRect(2);
  QTest::mouseDClick(&list, Qt::LeftButton, {}, QPoint(r.left + 5, r.top + 5));
  EXPECT_EQ(parent->Take().back().wParam, MAKEWPARAM(60, LVN_DBLCLK));
  EXPECT_EQ(list.GetCurItem(), 2);
}

TEST_F(ListViewTest, DeleteSelectedFilesFromDiskAndList) {
  EXPECT_EQ(list.DelSelectFile(), 0);  // nothing selected
  EXPECT_EQ(list.GetItemCount(), 5);
  list.SetSelect(1, true);
  list.SetSelect(4, true);
  Shot(list);  // drawing writes the thumbnails
  ASSERT_TRUE(fs::exists(CThumbs::GetThumbPath((folder / "b.jpg").string())));
  EXPECT_EQ(list.DelSelectFile(), 1);
  EXPECT_FALSE(fs::exists(folder / "b.jpg"));
  EXPECT_FALSE(fs::exists(folder / "x.bind"));
  EXPECT_FALSE(fs::exists(CThumbs::GetThumbPath((folder / "b.jpg").string())));
  EXPECT_TRUE(fs::exists(folder / "a.png"));
  EXPECT_EQ(list.GetItemCount(), 3);
  EXPECT_EQ(list.GetSelectCount(), 0);
}

TEST_F(ListViewTest, AddFileUpdateLayerAndRefresh) {
  const fs::path extra = root / "pictures" / "elsewhere.png";
  QImage img(30, 30, QImage::Format_RGB32);
  img.fill(Qt::red);
  ASSERT_TRUE(img.save(Q(extra)));
  EXPECT_EQ(list.AddFile(Q(extra)), 5);
  EXPECT_EQ(list.AddFile(Q(extra)), 5);  // already listed
  EXPECT_EQ(list.AddFile(Path("a.png")), 0);
  EXPECT_EQ(list.AddFile(Q(root / "none.png")), -1);

  EXPECT_EQ(list.UpdateLayer(40, 5), 1);
  EXPECT_EQ(list.GetItemLayer(5), 40);
  EXPECT_EQ(list.UpdateLayer(150, 5), 1);
  EXPECT_EQ(list.GetItemLayer(5), 100);
  EXPECT_TRUE(CThumbs::IsThumbFresh(extra.string()));
  EXPECT_EQ(list.UpdateLayer(100, 6), 0);
  EXPECT_EQ(list.UpdateLayer(100, -1), 0);

  // Refresh lists the folder again; selected files keep their selection.
  list.SetSelect(2, true);  // c9.jpg
  fundara_test::WriteFile(folder / "a0.bmp", "");
  fs::remove(folder / "a.png");
  list.Refresh();
  ASSERT_EQ(list.GetItemCount(), 5);
  EXPECT_EQ(list.GetItemPath(0), Path("a0.bmp"));
  EXPECT_EQ(list.GetSelectFile(), QStringList{Path("c9.jpg")});
}

TEST_F(ListViewTest, WheelScrollsByRows) {
  for (int i = 0; i < 40; ++i) fundara_test::WriteFile(folder / ("n" + std::to_string(i) + ".txt"), "x");
  list.Refresh();
  ASSERT_GT(list.GetScrollMax(), 0);
  const CRect before = list.GetItemRect(0);
  QWheelEvent wheel(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&list, &wheel);
  EXPECT_EQ(list.GetItemRect(0).top, before.top - 150);  // one row: cell 140 + gap 10
  for (int i = 0; i < 30; ++i) QApplication::sendEvent(&list, &wheel);
  EXPECT_EQ(list.GetScrollPos(), list.GetScrollMax());
  list.EnsureVisible(0);
  EXPECT_EQ(list.GetScrollPos(), 0);
}

// A press on a selected file may start dragging every selected file out, so
// the others stay selected until the button comes up without a drag.
TEST_F(ListViewTest, PressOnASelectedFileKeepsTheSelectionUntilRelease) {
  Click(0);
  Click(2, Qt::ControlModifier);
  const CRect r = list.GetItemRect(2);
  const QPoint centre(r.CenterPoint().x, r.CenterPoint().y);
  QTest::mousePress(&list, Qt::LeftButton, {}, centre);
  EXPECT_EQ(list.GetSelectFile(), (QStringList{Path("a.png"), Path("c9.jpg")}));
  QTest::mouseRelease(&list, Qt::LeftButton, {}, centre);
  EXPECT_EQ(list.GetSelectFile(), QStringList{Path("c9.jpg")});
  // A press on a file not selected selects it alone at once.
  QTest::mousePress(&list, Qt::LeftButton, {}, QPoint(list.GetItemRect(1).CenterPoint().x, list.GetItemRect(1).CenterPoint().y));
  EXPECT_EQ(list.GetSelectFile(), QStringList{Path("b.jpg")});
}
