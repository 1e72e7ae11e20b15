// The rotate dial on a real X server without a compositing manager, with
// the shipped dial: over a host window that paints a pattern, the screen
// shows the pattern unchanged where the dial is black and blended at
// 120/255 under everything else it draws; a drag with the real mouse turns
// it and posts the angle. The screen shot goes to the test output.

#include "overlay/rotate_layers.h"

#include <gtest/gtest.h>

#include "canvas/screengrabber.h"
#include "tests/overlay/layer_host.h"
#include "tests/support/wait.h"
#include "tests/support/x_session.h"

namespace {

using overlay_test::PatternAt;

class RotateLayersOnX : public overlay_test::XLayerHostTest {};

TEST_F(RotateLayersOnX, TheDialBlendsOverThePictureAndTurnsWithTheMouse) {
  CRotateBgLayer bg;
  ASSERT_TRUE(bg.Create(&host));
  bg.SetParentHwnd(&host);
  bg.ShowWindow(SW_SHOW);
  bg.SetRotateAngle(30);
  CRotateBtnLayer& dial = bg.GetBtnLayer();
  ASSERT_EQ(dial.GetImageRect(), CRect(140, 60, 500, 420)) << "the shipped 360 x 360 dial, centred";
  const CRect h = host.GetWindowRect();
  const QImage image = GrabHost("rotate_dial_on_x", 300);
  ASSERT_FALSE(image.isNull());
  const QImage* surface = dial.GetSurface();
  ASSERT_NE(surface, nullptr);
  ASSERT_EQ(surface->size(), image.size());
  int clear = 0, blended = 0;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) {
      const QColor got = image.pixelColor(x, y), under = PatternAt(x, y);
      const QColor dialColour = surface->pixelColor(x, y);
      if ((dialColour.rgb() & 0xFFFFFF) == 0) {
        ASSERT_EQ(got, under) << "clear at " << x << "," << y;
        ++clear;
        continue;
      }
      const auto mix = [](int d, int u) { return (d * 120 + u * 135) / 255; };
      ASSERT_NEAR(got.red(), mix(dialColour.red(), under.red()), 3) << "blended at " << x << "," << y;
      ASSERT_NEAR(got.green(), mix(dialColour.green(), under.green()), 3) << x << "," << y;
      ASSERT_NEAR(got.blue(), mix(dialColour.blue(), under.blue()), 3) << x << "," << y;
      ++blended;
    }
  EXPECT_GT(clear, 40000) << "the picture around and inside the ring";
  EXPECT_GT(blended, 8000) << "the ring, the pointer, the disc and the angle";

  // Down the ring's right side with the real mouse: 30 + 20.
  const CPoint from(h.left + 478, h.top + 230), to(h.left + 478, h.top + 250);
  ASSERT_TRUE(x_session::DragThrough({from, to}));
  ASSERT_TRUE(WaitUntil([&] { return host.Count(WM_ROTATE_ANGLE) == 1; }));
  EXPECT_EQ(static_cast<int>(static_cast<std::intptr_t>(host.messages.back().wParam)), 50);
  EXPECT_EQ(dial.GetRotateAngle(), 50);
  // A press where the dial is black lands on the background layer: nothing turns.
  ASSERT_TRUE(x_session::DragThrough({CPoint(h.left + 320, h.top + 115), CPoint(h.left + 320, h.top + 130)}));
  QTest::qWait(200);
  EXPECT_EQ(host.Count(WM_ROTATE_ANGLE), 1u);
  EXPECT_EQ(dial.GetRotateAngle(), 50);
}

}  // namespace
