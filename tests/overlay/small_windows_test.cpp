// The window layer, the split-screen bar and the message box, headless:
// their messages, layouts, backgrounds, dragging, and boxes without their
// description files.

#include "overlay/message_dlg.h"
#include "overlay/window_layer.h"

#include <QMouseEvent>
#include <QTimer>

#include "contracts/fundara/paths.h"
#include "platform/dialogs.h"
#include "tests/overlay/layer_host.h"

namespace {

using overlay_test::LayerHostTest;
using overlay_test::PatternAt;
using overlay_test::SaveShot;

// A panel set: window 1 holds buttons 7 and 9; window 2 is empty.
constexpr char kPanelControls[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Root>
  <Window id="1">
    <Ctrl id="7" type="button" rect="10,10,58,58" normalImg="photo_normal.svg" overImg="photo_over.svg"/>
    <Ctrl id="9" type="button" rect="70,10,118,58" normalImg="close_normal.svg" overImg="close_over.svg"/>
  </Window>
</Root>
)";
constexpr char kEmptySet[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Root/>
)";

class SmallWindowsTest : public LayerHostTest {
 protected:
  void SetUp() override {
    LayerHostTest::SetUp();
    const std::filesystem::path settings = GetSettingsPath();
    fundara_test::WriteFile(settings / "panel_control.xml", kPanelControls);
    fundara_test::WriteFile(settings / "panel_language.xml", kEmptySet);
    fundara_test::WriteFile(settings / "panel_logfont.xml", kEmptySet);
    mgr.LoadSet(u"panel", 1);
  }
  void Click(QWidget* w, QPoint at = QPoint(5, 5)) {
    QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, w->mapTo(&top, at));
    Settle();
  }
  CRect HostScreen(int x, int y, int w, int h) const {
    const CRect r = host.GetWindowRect();
    return CRect(r.left + x, r.top + y, r.left + x + w, r.top + y + h);
  }
  CXmlListMgr mgr;
};

TEST_F(SmallWindowsTest, WindowLayerReportsItsButtons) {
  CWindowLayer panel;
  panel.SetXmlListMgr(&mgr);
  EXPECT_EQ(panel.AddBtn(7), 1);
  EXPECT_EQ(panel.AddBtn(9), 2);
  ASSERT_TRUE(panel.Create(&host, HostScreen(100, 100, 200, 80)));
  panel.ShowWindow(SW_SHOW);
  EXPECT_EQ(panel.IsShowWindow(), 1);
  Settle();
  ASSERT_NE(panel.GetBtn(9), nullptr);
  EXPECT_EQ(panel.GetBtnRect(9), CRect(70, 10, 118, 58));
  EXPECT_EQ(panel.GetBtnRect(8), CRect());  // never added
  EXPECT_EQ(panel.GetBtn(8), nullptr);
  Click(panel.GetBtn(9), QPoint(20, 20));
  ASSERT_EQ(host.Count(WM_LAYER_BUTTON), 1u);
  EXPECT_EQ(host.messages.back().wParam, 9u);
  EXPECT_EQ(host.messages.back().lParam, reinterpret_cast<LPARAM>(static_cast<HWND>(panel.GetBtn(9))));
  // A button moved by SetBtnRect takes its clicks at the new place; ids
  // that were never added change nothing.
  panel.SetBtnRect(7, CRect(130, 20, 178, 68));
  panel.SetBtnRect(42, CRect(0, 0, 10, 10));
  EXPECT_EQ(panel.GetBtnRect(7), CRect(130, 20, 178, 68));
  EXPECT_EQ(panel.GetBtn(7)->geometry(), QRect(130, 20, 48, 48));
  host.messages.clear();
  Click(panel.GetBtn(7), QPoint(20, 20));
  ASSERT_EQ(host.Count(WM_LAYER_BUTTON), 1u);
  EXPECT_EQ(host.messages.back().wParam, 7u);
  // Commands of other controls are not reported.
  host.messages.clear();
  SendMessage(&panel, WM_COMMAND, MAKEWPARAM(9, BN_CLICKED), 0);
  Settle();
  EXPECT_EQ(host.Count(WM_LAYER_BUTTON), 0u);
  panel.DelAllBtn();
  EXPECT_EQ(panel.GetBtnCount(), 0);
  EXPECT_EQ(panel.GetBtnRect(9), CRect());
  panel.ShowWindow(SW_HIDE);
  EXPECT_EQ(panel.IsShowWindow(), 0);
}

TEST_F(SmallWindowsTest, WindowLayerWithoutAManagerOrBackground) {
  CWindowLayer panel;
  panel.AddBtn(7);
  ASSERT_TRUE(panel.Create(&host, HostScreen(0, 0, 120, 60)));
  panel.ShowWindow(SW_SHOW);
  panel.SetBgImage(nullptr);
  EXPECT_EQ(panel.GetBtn(7), nullptr);
  EXPECT_EQ(panel.GetBtnRect(7), CRect());
  // A white panel.
  EXPECT_EQ(Shot().pixelColor(InTop(CPoint(60, 30))), QColor(Qt::white));
  CWindowLayer unplaced;
  EXPECT_FALSE(unplaced.Create(nullptr, CRect()));
  unplaced.SetBtnRect(7, CRect(0, 0, 1, 1));
  unplaced.ShowWindow(SW_SHOW);
}

TEST_F(SmallWindowsTest, WindowLayerStretchesItsBackgroundEvenWhenSetLate) {
  CWindowLayer panel;
  ASSERT_TRUE(panel.Create(&host, HostScreen(100, 100, 200, 100)));
  panel.ShowWindow(SW_SHOW);
  Shot();  // painted once without a background
  // Four quadrants of 2 × 2 pixels stretched over 200 × 100.
  QImage quad(2, 2, QImage::Format_ARGB32);
  quad.setPixel(0, 0, qRgb(255, 0, 0));
  quad.setPixel(1, 0, qRgb(0, 0, 255));
  quad.setPixel(0, 1, qRgb(0, 128, 0));
  quad.setPixel(1, 1, qRgb(255, 255, 0));
  CGdiImage image;
  ASSERT_EQ(image.SetUIImage(quad, QString()), 1);
  panel.SetBgImage(&image, CRect(0, 0, 1, 1));
  const QImage shot = Shot();
  const std::pair<CPoint, QColor> probes[] = {{{110, 110}, QColor(255, 0, 0)},  {{290, 110}, QColor(0, 0, 255)},
                                              {{110, 190}, QColor(0, 128, 0)},  {{290, 190}, QColor(255, 255, 0)}};
  for (const auto& [p, colour] : probes) EXPECT_EQ(shot.pixelColor(InTop(p)), colour) << p.x << "," << p.y;
  EXPECT_EQ(shot.pixelColor(InTop(CPoint(99, 99))), PatternAt(99, 99));
}

TEST_F(SmallWindowsTest, APressOnThePanelDragsTheOwnersWindow) {
  CWindowLayer panel;
  panel.SetXmlListMgr(&mgr);
  panel.AddBtn(7);
  ASSERT_TRUE(panel.Create(&host, HostScreen(100, 100, 200, 80)));
  panel.ShowWindow(SW_SHOW);
  Settle();
  const QPoint start = top.pos();
  const QPoint local(150, 60);  // beside the button
  const QPoint global = panel.mapToGlobal(local);
  QTest::mousePress(&panel, Qt::LeftButton, {}, local);
  ASSERT_TRUE(panel.IsDraggingTopLevel());
  for (const QPoint step : {QPoint(10, 5), QPoint(30, 20)}) {
    QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(global + step), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&panel, &move);
  }
  QTest::mouseRelease(&panel, Qt::LeftButton, {}, local);
  EXPECT_EQ(top.pos(), start + QPoint(30, 20));
  EXPECT_FALSE(panel.IsDraggingTopLevel());
  // The panel went along with its host.
  EXPECT_EQ(panel.GetWindowRect().left, host.GetWindowRect().left + 100);
  EXPECT_EQ(host.Count(WM_LAYER_BUTTON), 0u);
}

TEST_F(SmallWindowsTest, SplitScreenBarReportsItsPage) {
  CSplitScreenBtn unmade;
  EXPECT_EQ(unmade.ShowWindow(SW_SHOW), 0);
  CSplitScreenBtn bar;
  ASSERT_TRUE(bar.Create(&host, 2));
  EXPECT_EQ(bar.GetWindowText(), QStringLiteral("splitScreenBtn2"));
  EXPECT_EQ(bar.GetWindowRect(), HostScreen(0, 0, 200, 60));
  bar.MoveWindow(HostScreen(220, 210, 200, 60));
  bar.ShowWindow(SW_SHOW);
  Settle();
  // Without a target nothing is posted.
  Click(bar.GetButton(2), QPoint(20, 20));
  EXPECT_EQ(host.Count(WM_SPLIT_BUTTON), 0u);
  bar.SetParentHwnd(&host);
  struct Case {
    int page;
    int button;
    WPARAM wParam;
  };
  const Case cases[] = {{-1, 2, 0}, {-1, 3, 1}, {3, 4, 2}, {6, 2, 0}};
  for (const Case& c : cases) {
    if (c.page != -1) bar.SetPage(c.page);
    host.messages.clear();
    Click(bar.GetButton(c.button), QPoint(20, 20));
    ASSERT_EQ(host.Count(WM_SPLIT_BUTTON), 1u) << c.button;
    EXPECT_EQ(host.messages.back().wParam, c.wParam);
    EXPECT_EQ(host.messages.back().lParam, c.page);
  }
  EXPECT_EQ(bar.GetButton(1), nullptr);
  EXPECT_EQ(bar.GetButton(5), nullptr);
  // The host's redraw request is handled.
  EXPECT_EQ(SendMessage(&bar, WM_LAYER_DRAW, 0, 0), 0);
  // The shipped bar: its background over the pane, three buttons centred.
  const QImage shot = Shot();
  SaveShot(shot, "split_screen_bar");
  EXPECT_NE(shot.pixelColor(InTop(CPoint(222, 240))), PatternAt(222, 240));
  int row = 0;
  for (int id = 2; id <= 4; ++id) row += bar.GetButton(id)->width();
  EXPECT_EQ(bar.GetButton(2)->x(), (200 - row) / 2);
}

TEST_F(SmallWindowsTest, SplitScreenButtonsAreCentredInARow) {
  // A layout of the user's own: three buttons 40, 40 and 60 wide.
  constexpr char kControls[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Root>
  <Window id="3">
    <Ctrl id="2" type="button" rect="0,0,40,40"/>
    <Ctrl id="3" type="button" rect="5,5,45,45"/>
    <Ctrl id="4" type="button" rect="0,0,60,30"/>
  </Window>
</Root>
)";
  fundara_test::WriteFile(std::filesystem::path(GetSettingsPath()) / "ui_control.xml", kControls);
  CSplitScreenBtn bar;
  ASSERT_TRUE(bar.Create(&host, 0));
  const QRect expected[] = {QRect(30, 10, 40, 40), QRect(70, 10, 40, 40), QRect(110, 15, 60, 30)};
  for (int id = 2; id <= 4; ++id) EXPECT_EQ(bar.GetButton(id)->geometry(), expected[id - 2]) << id;
  // Laid out again when the bar changes size.
  bar.ShowWindow(SW_SHOW);
  bar.MoveWindow(HostScreen(0, 0, 300, 100));
  Settle();
  EXPECT_EQ(bar.GetButton(2)->geometry(), QRect(80, 30, 40, 40));
  // Without any layout: buttons of the artwork's size, still centred.
  fundara_test::WriteFile(std::filesystem::path(GetSettingsPath()) / "ui_control.xml", kEmptySet);
  CSplitScreenBtn bare;
  ASSERT_TRUE(bare.Create(&host, 1));
  EXPECT_EQ(bare.GetButton(2)->geometry(), QRect(28, 6, 48, 48));
}

// Runs `act` once the box's modal loop runs.
int RunBox(CMessageDlg& box, std::function<void()> act) {
  QTimer::singleShot(0, &box, std::move(act));
  return box.DoModal();
}

TEST_F(SmallWindowsTest, MessageBoxLayoutTextsAndAnswers) {
  struct Case {
    const char* name;
    std::function<void(CMessageDlg&)> act;
    int result;
  };
  const std::vector<Case> cases = {
      {"OK", [](CMessageDlg& b) { QTest::mouseClick(b.GetButton(MSGDLG_OK), Qt::LeftButton, {}, QPoint(10, 10)); },
       IDOK},
      {"Cancel",
       [](CMessageDlg& b) { QTest::mouseClick(b.GetButton(MSGDLG_CANCEL), Qt::LeftButton, {}, QPoint(10, 10)); },
       IDCANCEL},
      {"Enter", [](CMessageDlg& b) { QTest::keyClick(&b, Qt::Key_Return); }, IDOK},
      {"Escape", [](CMessageDlg& b) { QTest::keyClick(&b, Qt::Key_Escape); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    CMessageDlg box(QStringLiteral("提示"), QStringLiteral("保存成功！"), &host);
    QImage shot;
    const int result = RunBox(box, [&] {
      shot = box.grab().toImage();
      c.act(box);
    });
    EXPECT_EQ(result, c.result) << c.name;
    // Window 7: 360 × 180, centred in the work area.
    const CRect work = CWnd::GetWorkArea();
    EXPECT_EQ(box.GetWindowRect(), CRect(work.left + (work.Width() - 360) / 2, work.top + (work.Height() - 180) / 2,
                                         work.left + (work.Width() - 360) / 2 + 360,
                                         work.top + (work.Height() - 180) / 2 + 180));
    EXPECT_EQ(box.GetButton(MSGDLG_TITLE)->Caption().GetText(), QStringLiteral("提示"));
    EXPECT_EQ(box.GetButton(MSGDLG_MESSAGE)->Caption().GetText(), QStringLiteral("保存成功！"));
    EXPECT_EQ(box.GetButton(MSGDLG_OK)->Caption().GetText(), QStringLiteral("确定"));
    EXPECT_EQ(box.GetButton(MSGDLG_CANCEL)->Caption().GetText(), QStringLiteral("取消"));
    if (c.result == IDOK && std::string(c.name) == "OK") {
      SaveShot(shot, "message_box");
      // A 2-pixel border of colour 0x77716C (red 0x6C, green 0x71, blue
      // 0x77) round the box, its picture inside.
      const QColor border(0x6C, 0x71, 0x77);
      for (const QPoint p : {QPoint(0, 0), QPoint(1, 90), QPoint(359, 179), QPoint(358, 100), QPoint(180, 1)})
        EXPECT_EQ(shot.pixelColor(p), border) << p.x() << "," << p.y();
      EXPECT_NE(shot.pixelColor(QPoint(2, 100)), border);
      EXPECT_NE(shot.pixelColor(QPoint(180, 2)), border);
    }
  }
}

TEST_F(SmallWindowsTest, MessageBoxDragsByItsTitleStrip) {
  CMessageDlg box(QStringLiteral("title"), QStringLiteral("text"));
  ASSERT_TRUE(box.OnInitDialog());
  box.ShowWindow(SW_SHOW);
  ASSERT_EQ(box.GetTitleStripRect(), CRect(0, 0, 360, 36));
  struct Case {
    QPoint press;
    QPoint moved;
  };
  const Case cases[] = {{QPoint(100, 30), QPoint(25, -10)}, {QPoint(100, 100), QPoint(0, 0)}};
  for (const Case& c : cases) {
    const QPoint start = box.pos();
    const QPoint global = box.mapToGlobal(c.press);
    QTest::mousePress(&box, Qt::LeftButton, {}, c.press);
    QMouseEvent move(QEvent::MouseMove, QPointF(c.press), QPointF(global + QPoint(25, -10)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(&box, &move);
    QTest::mouseRelease(&box, Qt::LeftButton, {}, c.press);
    EXPECT_EQ(box.pos() - start, c.moved) << c.press.y();
  }
}

TEST_F(SmallWindowsTest, MessageBoxWithoutItsFilesStillHasASizeAndButtons) {
  fundara_test::WriteFile(std::filesystem::path(GetSettingsPath()) / "ui_control.xml", kEmptySet);
  fundara_test::WriteFile(std::filesystem::path(GetSettingsPath()) / "ui_language.xml", kEmptySet);
  CMessageDlg box(QStringLiteral("title"), QStringLiteral("text"));
  const int result = RunBox(box, [&] {
    QTest::mouseClick(box.GetButton(MSGDLG_CANCEL), Qt::LeftButton, {}, QPoint(10, 10));
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(box.GetWindowRect().Width(), CMessageDlg::kDefaultWidth);
  EXPECT_EQ(box.GetWindowRect().Height(), CMessageDlg::kDefaultHeight);
  for (int id = MSGDLG_CANCEL; id <= MSGDLG_TITLE; ++id) {
    const QRect g = box.GetButton(id)->geometry();
    EXPECT_TRUE(box.GetButton(id)->isVisibleTo(&box)) << id;
    EXPECT_FALSE(g.isEmpty()) << id;
    EXPECT_TRUE(QRect(0, 0, CMessageDlg::kDefaultWidth, CMessageDlg::kDefaultHeight).contains(g)) << id;
  }
  EXPECT_EQ(box.GetButton(MSGDLG_OK)->Caption().GetText(), QStringLiteral("确定"));
  EXPECT_EQ(box.GetButton(MSGDLG_MESSAGE)->Caption().GetText(), QStringLiteral("text"));
}

TEST_F(SmallWindowsTest, MsgBoxAnswersZeroWhateverWasChosen) {
  CDialogScript script;
  script.AnswerBox(IDOK);
  script.AnswerBox(IDCANCEL);
  EXPECT_EQ(MsgBox(QStringLiteral("first"), QStringLiteral("second"), &host), 0);
  EXPECT_EQ(MsgBox(QStringLiteral("a"), QStringLiteral("b")), 0);
  const std::vector<CMessageBoxCall> boxes = script.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, QStringLiteral("first"));
  EXPECT_EQ(boxes[0].text, QStringLiteral("second"));
  EXPECT_EQ(boxes[0].owner, &host);
  EXPECT_EQ(boxes[0].type, MB_OKCANCEL);
  // Recognition takes the region and does nothing with it.
  const BYTE pixels[12] = {};
  OCRBox(pixels, 2, 2, 24);
  OCRBox(nullptr, 0, 0, 0);
}

}  // namespace
