// The recorder's window on the offscreen platform: what it draws in each
// state, editing the frame, the countdown, and every way it ends without a
// recording. A stand-in start menu ("RozIdez") in this process hears what
// the recorder tells the main program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "contracts/fundara/names.h"
#include "platform/caption.h"
#include "platform/dialogs.h"
#include "recorder/capturo_dlg.h"
#include "tests/fundara/scratch_env.h"
#include "tests/recorder/recorder_fixture.h"
#include "tests/support/test_app.h"
#include "tests/support/wait.h"

namespace {

// Reaches the window's handlers as the window system would.
class CTestCapturoDlg : public CCapturoDlg {
 public:
  using CCapturoDlg::OnLButtonDown;
  using CCapturoDlg::OnLButtonUp;
  using CCapturoDlg::OnMouseMove;
  using CCapturoDlg::OnTimer;
};

QRgb At(const QImage& image, int x, int y) { return image.pixelColor(x, y).rgba(); }
bool Near(QRgb a, QRgb b, int tolerance = 2) {
  return std::abs(qAlpha(a) - qAlpha(b)) <= tolerance && std::abs(qRed(a) - qRed(b)) <= tolerance &&
         std::abs(qGreen(a) - qGreen(b)) <= tolerance && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

class CapturoDlgTest : public fundara_test::ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    // No screen to grab: a recording cannot begin here.
    unsetenv("DISPLAY");
    path = NewFileName((root / "video").string(), "mp4");
    ASSERT_FALSE(path.empty());
  }
  void TearDown() override {
    menu.reset();
    ScratchEnv::TearDown();
  }
  void PublishMenu() {
    menu = std::make_unique<CStandInMenu>();
  }
  void Open(CTestCapturoDlg& dlg, const CRect& area) {
    dlg.SetOutputPath(path);
    dlg.SetCaptureFrame(area);
    ASSERT_TRUE(dlg.Create());
    dlg.ShowWindow(SW_SHOW);
  }
  // Runs the countdown's four seconds at once.
  static void CountDown(CTestCapturoDlg& dlg) {
    for (int i = 0; i < 4 && dlg.GetState() == CCapturoDlg::kCountdown; ++i) dlg.OnTimer(kCountdownTimer);
  }

  std::string path;
  std::unique_ptr<CStandInMenu> menu;
  CDialogScript script;
};

TEST_F(CapturoDlgTest, SelectingDarkensAroundAWhiteFrameWithGreenBorderAndHandles) {
  CTestCapturoDlg dlg;
  Open(dlg, CRect(100, 100, 500, 400));
  const QImage o = dlg.ComposeOverlay();
  ASSERT_EQ(o.size(), QSize(dlg.GetScreen().cx, dlg.GetScreen().cy));
  const struct {
    int x, y;
    QRgb colour;
  } pixels[] = {
      {10, 10, qRgba(0, 0, 0, 150)},        {700, 550, qRgba(0, 0, 0, 150)},     // the backdrop
      {300, 250, qRgba(255, 255, 255, 150)}, {110, 390, qRgba(255, 255, 255, 150)},  // inside the frame
      {99, 250, qRgba(0, 255, 0, 255)},      {500, 250, qRgba(0, 255, 0, 255)},   // the border, outside
      {300, 99, qRgba(0, 255, 0, 255)},      {250, 400, qRgba(0, 255, 0, 255)},
      {101, 101, qRgba(0, 255, 0, 255)},     {501, 251, qRgba(0, 255, 0, 255)},   // handles 1 and 4
      {102, 102, qRgba(255, 255, 255, 150)},
  };
  for (const auto& p : pixels)
    EXPECT_TRUE(Near(At(o, p.x, p.y), p.colour)) << p.x << "," << p.y << " " << std::hex << At(o, p.x, p.y);
  // The tool strip and the six buttons are drawn under the frame; the stop button is not.
  const capturo::CToolbarLayout& l = dlg.GetLayout();
  EXPECT_EQ(l.strip.top, 400);
  EXPECT_FALSE(Near(At(o, l.strip.left + 2, l.strip.top + 20), qRgba(0, 0, 0, 150)));
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(dlg.GetButton(i).isVisibleTo(&dlg));
  EXPECT_FALSE(dlg.GetButton(6).isVisibleTo(&dlg));
}

TEST_F(CapturoDlgTest, FrameFollowsHandlesMovesAndPresets) {
  CTestCapturoDlg dlg;
  Open(dlg, CRect(100, 100, 500, 400));
  const CSize screen = dlg.GetScreen();
  const struct {
    CPoint press, release;
    CRect expected;
  } drags[] = {
      {{500, 400}, {600, 450}, {100, 100, 600, 450}},  // handle 5
      {{300, 300}, {310, 280}, {110, 80, 610, 430}},   // a move
      {{110, 80}, {605, 425}, {600, 420, 610, 430}},   // handle 1 past its opposite corner: 10 × 10
      {{605, 425}, {-295, 425}, {0, 420, 10, 430}},    // moved off the left: stops at the edge
  };
  for (const auto& d : drags) {
    dlg.OnLButtonDown(MK_LBUTTON, d.press);
    dlg.OnMouseMove(MK_LBUTTON, d.release);
    dlg.OnLButtonUp(0, d.release);
    EXPECT_EQ(dlg.GetCaptureFrame(), d.expected);
  }
  SendMessage(&dlg, WM_CAPTURO_PRESET, 3);
  EXPECT_EQ(dlg.GetCaptureFrame(), capturo::PresetFrame(3, screen));
  SendMessage(&dlg, WM_COMMAND, MAKEWPARAM(CAPTURO_FULLSCREEN, BN_CLICKED));
  EXPECT_EQ(dlg.GetCaptureFrame(), CRect(0, 0, screen.cx, screen.cy));
  // The strip and the stop button stay on the screen with a full-screen frame.
  EXPECT_LE(dlg.GetLayout().strip.bottom, screen.cy);
  EXPECT_LE(dlg.GetLayout().stop.bottom, screen.cy);
}

TEST_F(CapturoDlgTest, StartWithoutTheMainProgramDoesNothing) {
  CTestCapturoDlg dlg;
  Open(dlg, CRect(100, 100, 500, 400));
  dlg.Start();
  SendMessage(&dlg, WM_CAPTURO_START);
  EXPECT_EQ(dlg.GetState(), CCapturoDlg::kSelecting);
  // Within its next check the recorder sees nobody there and ends, giving the name back.
  dlg.OnTimer(kLivenessTimer);
  EXPECT_TRUE(dlg.IsEnded());
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(script.Boxes().empty());
}

TEST_F(CapturoDlgTest, CountdownDrawsOnlyBracketsAndTheCountOutsideTheArea) {
  PublishMenu();
  CTestCapturoDlg dlg;
  Open(dlg, CRect(100, 100, 500, 400));
  SendMessage(&dlg, RegisterWindowMessage(kStartRecordMessage));
  ASSERT_EQ(dlg.GetState(), CCapturoDlg::kCountdown);
  EXPECT_EQ(dlg.GetCount(), 3);
  ASSERT_TRUE(WaitUntil([&] { return menu->starts == 1; }));
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(dlg.GetButton(i).isVisibleTo(&dlg));

  const QImage o = dlg.ComposeOverlay();
  const QRgb bracket = qRgba(0, 255, 0, 150), clear = qRgba(0, 0, 0, 0);
  const struct {
    int x, y;
    QRgb colour;
  } pixels[] = {
      {95, 95, bracket},   {99, 99, bracket},   {146, 97, bracket}, {97, 146, bracket},  // top-left
      {147, 97, clear},    {97, 147, clear},    {94, 97, clear},    {100, 120, clear},
      {504, 404, bracket}, {500, 380, bracket}, {499, 380, clear},  {505, 404, clear},   // bottom-right
      {10, 10, clear},     {300, 120, clear},   {300, 399, clear},
  };
  for (const auto& p : pixels)
    EXPECT_TRUE(Near(At(o, p.x, p.y), p.colour)) << p.x << "," << p.y << " " << std::hex << At(o, p.x, p.y);
  // The count is green in the frame's middle; the frame's corners stay clear.
  int green = 0;
  for (int y = 150; y < 350; ++y)
    for (int x = 250; x < 350; ++x) green += Near(At(o, x, y), qRgba(0, 255, 0, 255), 40);
  EXPECT_GT(green, 200);

  dlg.OnTimer(kCountdownTimer);
  dlg.OnTimer(kCountdownTimer);
  dlg.OnTimer(kCountdownTimer);
  EXPECT_EQ(dlg.GetCount(), 0);  // the blank second: nothing but the brackets
  const QImage blank = dlg.ComposeOverlay();
  int drawn = 0;
  for (int y = 100; y < 400; ++y)
    for (int x = 100; x < 500; ++x) drawn += qAlpha(blank.pixel(x, y)) != 0;
  EXPECT_EQ(drawn, 0);
}

TEST_F(CapturoDlgTest, FailedFirstGrabSaysSoTellsTheMainProgramAndGivesTheNameBack) {
  PublishMenu();
  CTestCapturoDlg dlg;
  Open(dlg, CRect(100, 100, 500, 400));
  dlg.Start();
  CountDown(dlg);
  EXPECT_TRUE(dlg.IsEnded());
  EXPECT_EQ(dlg.GetResult(), 0);
  ASSERT_EQ(script.Boxes().size(), 1u);
  EXPECT_EQ(script.Boxes()[0].caption, QStringLiteral("录制失败！"));
  EXPECT_EQ(script.Boxes()[0].text, QString::fromStdString(path));
  EXPECT_TRUE(WaitUntil([&] { return menu->stops == 1; }));
  EXPECT_FALSE(std::filesystem::exists(path));
  // Nothing is drawn any more, and a stop or start is refused.
  const QImage o = dlg.ComposeOverlay();
  EXPECT_EQ(qAlpha(o.pixel(97, 97)), 0);
  dlg.Stop();
  dlg.Start();
  EXPECT_EQ(dlg.GetState(), CCapturoDlg::kStopped);
}

TEST_F(CapturoDlgTest, EndingBeforeARecordingLeavesNoFile) {
  // Close button in state 0, the main program gone during the countdown,
  // a signal during the countdown: no file, no box; "StopRecord" only
  // after a "StartRecord".
  const struct {
    const char* how;
    bool started;
  } cases[] = {{"close", false}, {"gone", true}, {"signal", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    path = NewFileName((root / "video").string(), "flv");
    PublishMenu();
    CTestCapturoDlg dlg;
    Open(dlg, CRect(10, 10, 300, 200));
    EXPECT_EQ(dlg.GetFileType(), 1);
    if (c.started) dlg.Start();
    if (std::string(c.how) == "close") SendMessage(&dlg, WM_COMMAND, MAKEWPARAM(CAPTURO_CLOSE, BN_CLICKED));
    if (std::string(c.how) == "signal") dlg.EndBySignal();
    if (std::string(c.how) == "gone") {
      ASSERT_TRUE(WaitUntil([&] { return menu->starts == 1; }));
      menu.reset();
      dlg.OnTimer(kLivenessTimer);
    }
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(script.Boxes().empty());
    if (menu && c.started) {
      EXPECT_TRUE(WaitUntil([&] { return menu->stops == 1; }));
    }
    if (menu && !c.started) {
      WaitUntil([] { return false; }, 100);
      EXPECT_EQ(menu->stops, 0);
    }
  }
}

}  // namespace
