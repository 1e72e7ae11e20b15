#include "tests/preview/splitscreen_fixture.h"

#include "contracts/fundara/thumbs.h"

#include <fstream>
#include <vector>

namespace {

constexpr QRgb kPaneGround = 0xFFECEFF3;  // red 236, green 239, blue 243
constexpr QRgb kBlue = 0xFF0000FF;

using SplitScreenTest = SplitScreenFixture;

struct LayoutCase {
  int count, width, height;
  std::vector<CRect> panes;
};

TEST_F(SplitScreenTest, LayoutsPlacePanesAndCentreEachBarOnItsPane) {
  const LayoutCase cases[] = {
      {1, 800, 600, {CRect(0, 0, 800, 600)}},
      {2, 1001, 600, {CRect(0, 0, 500, 600), CRect(501, 0, 1001, 600)}},
      {4, 1280, 720, {CRect(0, 0, 640, 360), CRect(640, 0, 1280, 360), CRect(0, 360, 640, 720), CRect(640, 360, 1280, 720)}},
      {6, 1920, 1080,
       {CRect(0, 0, 640, 540), CRect(640, 0, 1280, 540), CRect(1280, 0, 1920, 540), CRect(0, 540, 640, 1080),
        CRect(640, 540, 1280, 1080), CRect(1280, 540, 1920, 1080)}},
      {6, 1001, 601,  // a third and a half that do not divide evenly
       {CRect(0, 0, 333, 300), CRect(333, 0, 666, 300), CRect(666, 0, 1001, 300), CRect(0, 301, 333, 601),
        CRect(333, 301, 666, 601), CRect(666, 301, 1001, 601)}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " panes on " << c.width << "x" << c.height);
    Open(c.width, c.height);
    ASSERT_EQ(split_->SetCanvasArea(c.count), 1);
    EXPECT_EQ(split_->GetAllCamera(), c.count);
    EXPECT_EQ(split_->GetCurCamera(), 1);
    for (int pane = 1; pane <= CSplitScreenDC::kPanes; ++pane) {
      CSplitScreenBtn* bar = split_->GetPaneButton(pane);
      const bool laid = pane <= c.count;
      EXPECT_EQ(bar->GetShowState(), laid ? SW_SHOW : SW_HIDE) << pane;
      if (!laid) continue;
      const CRect r = c.panes[pane - 1];
      EXPECT_EQ(split_->GetView(pane)->GetClientRect(), r) << pane;
      const CRect expected(kOwnerX + r.left + (r.Width() - 200) / 2, kOwnerY + r.top + (r.Height() - 60) / 2,
                           kOwnerX + r.left + (r.Width() - 200) / 2 + 200,
                           kOwnerY + r.top + (r.Height() - 60) / 2 + 60);
      EXPECT_EQ(bar->GetWindowRect(), expected) << pane;
    }
    // Every pane of the layout is painted with its ground, and pane 1 is framed.
    const QImage canvas = Draw();
    for (int pane = 1; pane <= c.count; ++pane) EXPECT_EQ(canvas.pixel(Centre(pane).x, Centre(pane).y + 40), kPaneGround);
    EXPECT_EQ(canvas.pixel(2, c.panes[0].Height() / 2), kBlue);
    TearDown();
  }
  // The single view covers the canvas.
  Open(640, 480);
  ASSERT_EQ(split_->SetCanvasArea(0), 1);
  EXPECT_EQ(split_->GetCurCamera(), 0);
  EXPECT_EQ(split_->GetView(0)->GetClientRect(), CRect(0, 0, 640, 480));
  EXPECT_NE(Draw().pixel(2, 240), kBlue);
}

TEST_F(SplitScreenTest, OtherPaneCountsAreRefusedAndChangeNothing) {
  Open(1280, 720);
  ASSERT_EQ(split_->SetCanvasArea(4), 1);
  split_->OnLButtonDown(0, CPoint(100, 500));
  ASSERT_EQ(split_->GetCurCamera(), 3);
  for (int count : {3, 5, 7, -1, 13, 24}) {
    EXPECT_EQ(split_->SetCanvasArea(count), 0) << count;
    EXPECT_EQ(split_->GetAllCamera(), 4);
    EXPECT_EQ(split_->GetCurCamera(), 3);
    EXPECT_EQ(split_->GetView(4)->GetClientRect(), CRect(640, 360, 1280, 720));
  }
  // Eight and twelve show the six panes there are and nothing past them.
  for (int count : {8, 12}) {
    ASSERT_EQ(split_->SetCanvasArea(count), 1) << count;
    EXPECT_EQ(split_->GetView(6)->GetClientRect(), CRect(852, 360, 1280, 720));
    const QImage canvas = Draw();
    EXPECT_EQ(canvas.pixel(Centre(6).x, Centre(6).y + 40), kPaneGround);
    for (int pane = 1; pane <= 6; ++pane) EXPECT_EQ(split_->GetPaneButton(pane)->GetShowState(), SW_SHOW);
  }
}

TEST_F(SplitScreenTest, OneCameraFeedsSeveralPanesWhileALockedPaneKeepsItsPicture) {
  Open(1280, 720);
  ASSERT_EQ(split_->SetCanvasArea(4), 1);
  // Frames before any camera is attached reach nobody: every view is locked.
  Feed(7, 640, 360, 255, 0, 0);
  EXPECT_EQ(split_->GetView(1)->IsEmpty(), 1);
  ASSERT_EQ(split_->LoadCamera(7, 1), 1);
  ASSERT_EQ(split_->LoadCamera(7, 2), 1);
  ASSERT_EQ(split_->LoadCamera(3, 3), 1);
  EXPECT_EQ(split_->GetPaneButton(1)->GetShowState(), SW_HIDE);
  EXPECT_EQ(split_->GetPaneButton(4)->GetShowState(), SW_SHOW);
  EXPECT_EQ(split_->SetImageData(nullptr, 640, 360, 24, nullptr, 7), 0);
  Feed(7, 640, 360, 255, 0, 0);
  QImage canvas = Draw();
  EXPECT_EQ(canvas.pixel(Centre(1).x, Centre(1).y), qRgb(255, 0, 0));
  EXPECT_EQ(canvas.pixel(Centre(2).x, Centre(2).y), qRgb(255, 0, 0));
  EXPECT_NE(canvas.pixel(Centre(3).x, Centre(3).y), qRgb(255, 0, 0));
  EXPECT_EQ(canvas.pixel(Centre(4).x, Centre(4).y + 40), kPaneGround);

  split_->LockVideo(1, 2);
  EXPECT_EQ(split_->IsLockVideo(2), 1);
  Feed(7, 640, 360, 0, 0, 255);
  Feed(3, 640, 360, 0, 255, 0);
  canvas = Draw();
  EXPECT_EQ(canvas.pixel(Centre(1).x, Centre(1).y), qRgb(0, 0, 255));
  EXPECT_EQ(canvas.pixel(Centre(2).x, Centre(2).y), qRgb(255, 0, 0));
  EXPECT_EQ(canvas.pixel(Centre(3).x, Centre(3).y), qRgb(0, 255, 0));

  // The tips of one camera's panes; clearing that camera empties them.
  split_->SetTipString(7, QStringLiteral("none"));
  split_->ClearCameraData(7);
  EXPECT_EQ(split_->GetView(1)->IsEmpty(), 1);
  EXPECT_EQ(split_->GetView(2)->IsEmpty(), 1);
  EXPECT_EQ(split_->GetView(3)->IsEmpty(), 0);
  EXPECT_EQ(split_->GetPaneButton(1)->GetShowState(), SW_HIDE);  // bars unchanged
  // Clearing a pane shows its bar again; clearing all shows every bar of the layout.
  split_->ClearData(3);
  EXPECT_EQ(split_->GetPaneButton(3)->GetShowState(), SW_SHOW);
  split_->ClearData(-1);
  for (int pane = 1; pane <= 4; ++pane) EXPECT_EQ(split_->GetPaneButton(pane)->GetShowState(), SW_SHOW);
  EXPECT_EQ(split_->GetPaneButton(5)->GetShowState(), SW_HIDE);
}

TEST_F(SplitScreenTest, AClickChoosesThePaneAnnouncesItsZoomAndMovesTheBlueFrame) {
  Open(1280, 720);
  ASSERT_EQ(split_->SetCanvasArea(4), 1);
  split_->LoadCamera(1, 3);
  Feed(1, 640, 360, 10, 10, 10);
  EXPECT_EQ(Draw().pixel(2, 180), kBlue);
  EXPECT_EQ(split_->OnLButtonDown(0, CPoint(100, 500)), 1);
  EXPECT_EQ(split_->GetCurCamera(), 3);
  const auto notices = Posted(WM_UPDATE_ZOOM);
  ASSERT_FALSE(notices.empty());
  EXPECT_EQ(notices.back().lParam, 3);
  EXPECT_EQ(notices.back().wParam, 100u);
  const QImage canvas = Draw();
  EXPECT_NE(canvas.pixel(2, 180), kBlue);
  EXPECT_EQ(canvas.pixel(2, 540), kBlue);
  EXPECT_EQ(canvas.pixel(320, 362), kBlue);
  EXPECT_EQ(split_->OnLButtonUp(0, CPoint(100, 500)), 1);
  // The target is now pane 3.
  EXPECT_EQ(split_->GetCurCameraDriveId(), 1u);
  EXPECT_EQ(split_->GetRotationAngle(), 0);
}

TEST_F(SplitScreenTest, OnlyPanesOfTheLayoutTakeThePressAndTheWheel) {
  Open(1001, 600);
  ASSERT_EQ(split_->SetCanvasArea(4), 1);
  for (int pane = 1; pane <= 4; ++pane) split_->LoadCamera(5, pane);
  Feed(5, 500, 300, 40, 80, 120);
  for (int pane = 1; pane <= 4; ++pane) ASSERT_EQ(split_->GetView(pane)->GetZoom(), 100) << pane;

  // Four panes: the wheel over pane 2 zooms pane 2 alone.
  const CPoint overPane2 = owner_->ClientToScreen(CPoint(750, 100));
  ClearPosted();
  EXPECT_EQ(split_->OnMouseWheel(0, 240, overPane2), 1);
  EXPECT_EQ(split_->GetView(2)->GetZoom(), 102);
  for (int pane : {1, 3, 4}) EXPECT_EQ(split_->GetView(pane)->GetZoom(), 100) << pane;
  auto notices = Posted(WM_UPDATE_ZOOM);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].lParam, 2);

  // Two panes: panes 3 and 4 keep their pictures and old rectangles, which
  // overlap the new panes, but take no part.
  ASSERT_EQ(split_->SetCanvasArea(2), 1);
  split_->LoadCamera(5, 1);
  Feed(5, 500, 600, 40, 80, 120);
  ASSERT_EQ(split_->GetView(3)->IsEmpty(), 0);
  ClearPosted();
  split_->OnMouseWheel(0, 360, owner_->ClientToScreen(CPoint(100, 450)));
  EXPECT_EQ(split_->GetView(1)->GetZoom(), 103);
  EXPECT_EQ(split_->GetView(3)->GetZoom(), 100);
  notices = Posted(WM_UPDATE_ZOOM);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].lParam, 1);
  // The 1-pixel gap between the two panes lies in old pane 4: nothing is chosen.
  split_->OnLButtonDown(0, CPoint(500, 450));
  EXPECT_EQ(split_->GetCurCamera(), 1);
  EXPECT_TRUE(Posted(WM_UPDATE_ZOOM).size() == 1u);
  split_->OnLButtonDown(0, CPoint(501, 450));
  EXPECT_EQ(split_->GetCurCamera(), 2);
}

TEST_F(SplitScreenTest, ADraggedPaneMovesItsPictureAlone) {
  Open(1280, 720);
  ASSERT_EQ(split_->SetCanvasArea(2), 1);
  split_->LoadCamera(1, 1);
  split_->LoadCamera(1, 2);
  Feed(1, 640, 720, 9, 9, 9);
  const CRect before1 = split_->GetImageRect(1), before2 = split_->GetImageRect(2);
  EXPECT_EQ(before1, CRect(0, 0, 640, 720));
  split_->OnLButtonDown(MK_LBUTTON, CPoint(300, 300));
  split_->OnMouseMove(MK_LBUTTON, CPoint(320, 310));
  split_->OnLButtonUp(0, CPoint(320, 310));
  EXPECT_EQ(split_->GetView(1)->GetImageRect(), CRect(20, 10, 660, 730));
  EXPECT_EQ(split_->GetImageRect(1), CRect(20, 10, 640, 720));  // client ∩ image
  EXPECT_EQ(split_->GetImageRect(2), before2);
  EXPECT_TRUE(split_->GetImageRect(7).IsRectEmpty());
  EXPECT_TRUE(split_->GetImageRect(-1).IsRectEmpty());
}

TEST_F(SplitScreenTest, ALayoutOrSizeChangeFitsEveryViewAnew) {
  Open(1280, 720);
  ASSERT_EQ(split_->SetCanvasArea(1), 1);
  split_->LoadCamera(2, 1);
  Feed(2, 1280, 720, 50, 60, 70);
  ASSERT_EQ(split_->GetView(1)->GetZoom(), 100);
  // From one pane to four: the picture is fitted, not shown at its old height.
  ASSERT_EQ(split_->SetCanvasArea(4), 1);
  split_->LoadCamera(2, 1);
  Feed(2, 1280, 720, 50, 60, 70);
  EXPECT_EQ(split_->GetView(1)->GetZoom(), 50);
  EXPECT_EQ(split_->GetImageRect(1), CRect(0, 0, 640, 360));

  // A still picture is fitted as soon as the canvas changes size.
  ASSERT_EQ(split_->LoadImageW(PictureFile("still.bmp", 640, 360, 1, 2, 3), 2), 1);
  ASSERT_EQ(split_->GetView(2)->GetZoom(), 100);
  split_->SetCanvasSize(1920, 1080);
  EXPECT_EQ(split_->GetView(2)->GetZoom(), 150);
  EXPECT_EQ(split_->GetImageRect(2), CRect(960, 0, 1920, 540));
  // The same size again (the owner moved) keeps the teacher's zoom.
  split_->OnLButtonDown(0, Centre(2));
  split_->SetCameraSize(120.7);
  EXPECT_EQ(split_->GetView(2)->GetZoom(), 120);
  split_->SetCanvasSize(1920, 1080);
  EXPECT_EQ(split_->GetView(2)->GetZoom(), 120);
  split_->SuitableSize();
  EXPECT_EQ(split_->GetView(2)->GetZoom(), 150);
  split_->RealitySize();
  EXPECT_EQ(split_->GetView(2)->GetZoom(), 100);
  split_->ReSetZoom(2);
  EXPECT_EQ(split_->GetView(2)->GetZoom(), 0);
}

TEST_F(SplitScreenTest, PicturesLoadIntoPanesAndUnreadableOnesChangeNothing) {
  Open(1280, 720);
  ASSERT_EQ(split_->SetCanvasArea(4), 1);
  const std::string good = PictureFile("good.bmp", 64, 36, 200, 100, 0);
  const std::string bad = (dir_ / "bad.jpg").string();
  std::ofstream(bad) << "not a picture";

  EXPECT_EQ(split_->LoadImageW(bad, 2), 0);
  EXPECT_EQ(split_->GetPaneButton(2)->GetShowState(), SW_SHOW);
  EXPECT_EQ(split_->GetView(2)->IsEmpty(), 1);

  ASSERT_EQ(split_->LoadImageW(good, 1), 1);
  EXPECT_EQ(split_->GetPaneButton(1)->GetShowState(), SW_HIDE);
  EXPECT_EQ(split_->IsLockVideo(1), 1);
  EXPECT_EQ(split_->LoadImageW(bad, 1), 0);
  EXPECT_EQ(split_->GetView(1)->IsEmpty(), 0);
  EXPECT_EQ(split_->GetView(1)->GetBufferRect(), CRect(0, 0, 64, 36));
  EXPECT_EQ(Draw().pixel(Centre(1).x, Centre(1).y), qRgb(200, 100, 0));

  // Settings act on the target's still picture.
  EXPECT_EQ(split_->SetLuminosity(20), 1);
  EXPECT_EQ(split_->GetLuminosity(), 20);
  EXPECT_EQ(split_->SetContrast(10), 1);
  EXPECT_EQ(split_->GetContrast(), 10);
  EXPECT_EQ(split_->SetSaturation(5), 1);
  EXPECT_EQ(split_->GetSaturation(), 5);

  // Views outside 0–6.
  EXPECT_EQ(split_->LoadImageW(good, 7), 0);
  EXPECT_EQ(split_->LoadCamera(1, 7), 0);
  EXPECT_EQ(split_->LoadCamera(1, static_cast<unsigned>(-1)), 0);
  EXPECT_EQ(split_->IsLockVideo(9), 0);
  EXPECT_EQ(split_->IsLockVideo(-2), 0);
}

TEST_F(SplitScreenTest, TheDialTurnsTheSingleViewOnlyAtMinusItsAngle) {
  Open(800, 600);
  ASSERT_EQ(split_->SetCanvasArea(0), 1);
  ASSERT_EQ(split_->LoadImageW(PictureFile("page.bmp", 80, 60, 5, 5, 5), 0), 1);
  CRotateBgLayer& dial = split_->GetRotateLayer();
  split_->RotationCamera(1);
  EXPECT_EQ(split_->GetRotationAngle(), -90);
  split_->OpenMRotation();
  EXPECT_EQ(dial.GetShowWindow(), SW_SHOW);
  EXPECT_EQ(dial.GetBtnLayer().GetRotateAngle(), 90);
  EXPECT_EQ(dial.GetWindowRect(), CRect(kOwnerX, kOwnerY, kOwnerX + 800, kOwnerY + 600));
  // The dial follows quarter turns.
  split_->RotationCamera(-1);
  EXPECT_EQ(dial.GetBtnLayer().GetRotateAngle(), 0);
  split_->OpenMRotation();
  EXPECT_EQ(dial.GetShowWindow(), SW_HIDE);
  EXPECT_EQ(split_->RotateImage(30), 1);
  EXPECT_EQ(split_->GetRotationAngle(), 30);
  split_->OpenMRotation();
  EXPECT_EQ(dial.GetBtnLayer().GetRotateAngle(), -30);

  // With a pane current there is no dial and no free angle.
  ASSERT_EQ(split_->SetCanvasArea(4), 1);
  EXPECT_EQ(dial.GetShowWindow(), SW_HIDE);
  ASSERT_EQ(split_->LoadImageW(PictureFile("pane.bmp", 80, 60, 5, 5, 5), 1), 1);
  EXPECT_EQ(split_->GetRotationAngle(), 0);
  split_->OpenMRotation();
  EXPECT_EQ(dial.GetShowWindow(), SW_HIDE);
  EXPECT_EQ(split_->RotateImage(45), 1);
  EXPECT_EQ(split_->GetView(1)->GetRotationAngle(), 0);
  EXPECT_EQ(split_->GetView(1)->GetBufferRect(), CRect(0, 0, 80, 60));
  // Quarter turns act on the pane.
  split_->RotationCamera(1);
  EXPECT_EQ(split_->GetView(1)->GetBufferRect(), CRect(0, 0, 60, 80));
}

TEST_F(SplitScreenTest, SavesWithoutAScreenAnswerNoughtAndWriteNothing) {
  // No X server for the screen to be read from, whatever the environment.
  const char* display = std::getenv("DISPLAY");
  const std::string kept = display ? display : "";
  unsetenv("DISPLAY");
  CSplitScreenDC unowned;
  EXPECT_EQ(unowned.SaveJpegFile((dir_ / "x.jpg").string()), 0);
  Open(640, 480);
  const std::string path = (dir_ / "canvas.jpg").string();
  EXPECT_EQ(split_->SaveJpegFile(path), 0);
  EXPECT_EQ(split_->SaveJpegFile0(path), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(std::filesystem::exists(CThumbs::GetThumbPath(path)));
  if (display) setenv("DISPLAY", kept.c_str(), 1);
}

}  // namespace
