// The crop layers on a real X server without a compositing manager: a
// frame drawn with the real mouse over a host window that paints a
// pattern; the screen shows the pattern darkened outside the frame and
// unchanged inside it. The screen shot goes to the test output.

#include "overlay/cut_layers.h"

#include <QDir>
#include <gtest/gtest.h>

#include "canvas/screengrabber.h"
#include "tests/overlay/layer_host.h"
#include "tests/support/wait.h"
#include "tests/support/x_session.h"

namespace {

using overlay_test::PatternAt;

class CutLayersOnX : public overlay_test::XLayerHostTest {};

TEST_F(CutLayersOnX, TheVeilDarkensThePictureOutsideTheFrameOnly) {
  CCutBgLayer bg;
  ASSERT_TRUE(bg.Create(&host));
  bg.SetParentHwnd(&host);
  bg.ShowBtn(1);
  bg.ShowWindow(SW_SHOW);
  const CRect h = host.GetWindowRect();
  QTest::qWait(300);

  // The frame (150, 100) to (450, 330) in the host, drawn by the mouse.
  const CRect frame(150, 100, 450, 330);
  ASSERT_TRUE(x_session::DragThrough({CPoint(h.left + frame.left, h.top + frame.top),
                                      CPoint(h.left + frame.right, h.top + frame.bottom)}));
  CCutBtnLayer& bar = bg.GetRectLayer().GetBtnLayer();
  ASSERT_TRUE(WaitUntil([&] { return bar.IsWindowVisible(); })) << "the bar after the frame";
  EXPECT_EQ(bg.GetCutRect(), frame);
  QTest::qWait(300);

  CScreenGrabber::Frame shot;
  ASSERT_TRUE(grabber.Grab(h, shot, nullptr, false));
  const QImage image(shot.pixels, shot.width, shot.height, shot.stride, QImage::Format_RGB32);
  overlay_test::SaveShot(image.copy(), "crop_on_x");
  int outside = 0, inside = 0;
  for (int y = 0; y < shot.height; y += 3)
    for (int x = 0; x < shot.width; x += 3) {
      // Leave out the frame with its handles, and the bar.
      CRect ring = frame;
      ring.InflateRect(6, 6);
      CRect core = frame;
      core.DeflateRect(6, 6);
      const CRect barArea(frame.right - 80, frame.bottom, frame.right, frame.bottom + 20);
      const CPoint p(x, y);
      if ((ring.PtInRect(p) && !core.PtInRect(p)) || barArea.PtInRect(p)) continue;
      const QColor got = image.pixelColor(x, y), want = PatternAt(x, y);
      if (core.PtInRect(p)) {
        ASSERT_EQ(got, want) << "inside at " << x << "," << y;
        ++inside;
      } else {
        ASSERT_NEAR(got.red(), want.red() * 135 / 255, 2) << "outside at " << x << "," << y;
        ASSERT_NEAR(got.green(), want.green() * 135 / 255, 2) << x << "," << y;
        ASSERT_NEAR(got.blue(), want.blue() * 135 / 255, 2) << x << "," << y;
        ++outside;
      }
    }
  EXPECT_GT(inside, 5000);
  EXPECT_GT(outside, 20000);
  // A click on the bar's copy button through the real mouse reaches the host.
  CGdiBtnEx* copy = bar.GetButton(CUT_CMD_COPY);
  const CRect c = copy->GetWindowRect();
  ASSERT_TRUE(x_session::ClickAt(c.left + 10, c.top + 10));
  ASSERT_TRUE(WaitUntil([&] { return host.Count(WM_UPDATE_CUTAREA) == 1; }));
  EXPECT_EQ(host.messages.back().wParam, static_cast<WPARAM>(CUT_CMD_COPY));
}

}  // namespace
