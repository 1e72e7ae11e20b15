// The gesture layer and the automatic-photographing indicator on a real X
// server without a compositing manager, with the shipped pictures, over a
// host window that paints a pattern: each state shows its pictures and
// leaves the pattern unchanged elsewhere; the real mouse over the ready
// picture brings the close button, whose click ends the layer; the
// indicator's close button comes with the mouse on its picture and hides
// it. The screen shots go to the test output.

#include "overlay/auto_photograph.h"

#include <gtest/gtest.h>

#include "canvas/screengrabber.h"
#include "tests/overlay/layer_host.h"
#include "tests/overlay/ticked_gesture_layer.h"
#include "tests/support/wait.h"
#include "tests/support/x_session.h"

namespace {

using overlay_test::PatternAt;
using Layer = CGestureRecognitionLayer;

class GestureLayersOnX : public overlay_test::XLayerHostTest {
 protected:
  // The screen shows the pattern exactly where the layer's picture is
  // transparent, and differs from it under most of what the picture draws.
  static void ExpectPictureOverPattern(const QImage& screen, const QImage& picture, const char* name) {
    ASSERT_EQ(screen.size(), picture.size()) << name;
    int drawn = 0, changed = 0;
    for (int y = 0; y < screen.height(); y += 2)
      for (int x = 0; x < screen.width(); x += 2) {
        const int alpha = qAlpha(picture.pixel(x, y));
        if (alpha == 0) {
          ASSERT_EQ(screen.pixelColor(x, y), PatternAt(x, y)) << name << " at " << x << "," << y;
        } else if (alpha == 255) {
          ++drawn;
          changed += screen.pixelColor(x, y) != PatternAt(x, y);
        }
      }
    EXPECT_GT(drawn, 100) << name;
    EXPECT_GT(changed, drawn * 9 / 10) << name;
  }
  CPoint CentreOnScreen(const CRect& r) const { return OnScreen(CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2)); }
};

TEST_F(GestureLayersOnX, EachStateOverThePictureAndTheCloseButtonByTheRealMouse) {
  overlay_test::TickedGestureLayer layer;
  ASSERT_TRUE(layer.Create(&host));
  layer.SetParentHwnd(&host);
  struct Step {
    const char* name;
    std::function<void()> reach;
    int state;
  };
  const std::vector<Step> steps = {
      {"gesture_on_x_warming_up", [&] { layer.GestureRecognition(1); }, Layer::kWarmingUp},
      {"gesture_on_x_ready", [&] { layer.Ticks(Layer::kWarmUpTimer, 2); }, Layer::kReady},
      {"gesture_on_x_count_down", [&] { layer.GestureRecognition(0); layer.GestureRecognition(1); },
       Layer::kCountDown},
      {"gesture_on_x_photograph", [&] { layer.Ticks(Layer::kPhotographTimer, 3); }, Layer::kPhotographRequested},
      {"gesture_on_x_ending",
       [&] { layer.Ticks(Layer::kActivityTimer, layer.GetActivityCount() - 4 + 1); }, Layer::kEnding},
  };
  for (const Step& s : steps) {
    s.reach();
    ASSERT_EQ(layer.GetGestureState(), s.state) << s.name;
    const QImage screen = GrabHost(s.name);
    ASSERT_FALSE(screen.isNull());
    ASSERT_NE(layer.GetSurface(), nullptr);
    ExpectPictureOverPattern(screen, *layer.GetSurface(), s.name);
  }
  EXPECT_EQ(host.Count(WM_AUTO_PHOTOGRAPH), 1u);

  // Ready again, the real mouse over the ready picture shows the close
  // button; its click ends the layer.
  layer.GestureEnd();
  layer.GestureRecognition(0);
  layer.GestureRecognition(1);
  layer.Ticks(Layer::kWarmUpTimer, 2);
  ASSERT_EQ(layer.GetGestureState(), Layer::kReady);
  QTest::qWait(150);
  const CRect ready = layer.GetControlRect(6);
  ASSERT_TRUE(x_session::PlayMouse({{CentreOnScreen(ready).x - 10, CentreOnScreen(ready).y + 10}}));
  ASSERT_TRUE(WaitUntil([&] { return layer.IsCloseShown(); })) << "hover over the ready picture";
  GrabHost("gesture_on_x_close_button");
  const CPoint close = CentreOnScreen(layer.GetControlRect(Layer::kClose));
  ASSERT_TRUE(x_session::ClickAt(close.x, close.y));
  ASSERT_TRUE(WaitUntil([&] { return !layer.IsWindowVisible(); })) << "the close button ends the layer";
  EXPECT_EQ(layer.GetGestureState(), Layer::kIdle);
}

TEST_F(GestureLayersOnX, TheIndicatorWithItsCloseButtonByTheRealMouse) {
  CAutoPhotograph indicator;
  ASSERT_TRUE(indicator.Create(&host));
  indicator.SetParentHwnd(&host);
  indicator.BeginAutoPhotograph();
  QImage screen = GrabHost("indicator_on_x");
  ASSERT_NE(indicator.GetSurface(), nullptr);
  ExpectPictureOverPattern(screen, *indicator.GetSurface(), "indicator");
  const CPoint picture = CentreOnScreen(indicator.GetPictureRect());
  ASSERT_TRUE(x_session::PlayMouse({{picture.x, picture.y}}));
  ASSERT_TRUE(WaitUntil([&] { return indicator.IsHover(); })) << "the mouse on the picture";
  screen = GrabHost("indicator_on_x_hover");
  ExpectPictureOverPattern(screen, *indicator.GetSurface(), "indicator with the close button");
  ASSERT_TRUE(x_session::ClickAt(picture.x, picture.y));
  ASSERT_TRUE(WaitUntil([&] { return !indicator.IsWindowVisible(); })) << "the close button hides it";
  EXPECT_EQ(host.messages.size(), 0u) << "and posts nothing";
}

}  // namespace
