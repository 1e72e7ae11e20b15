// Layers on a real X server without a compositing manager: what a screen
// grab shows, and where an XTEST click lands.

#include "platform/window.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/test_app.h"
#include "tests/support/x_session.h"

namespace {

// Paints vertical stripes of distinct colours (or one colour) and counts presses.
class PatternWnd : public CWnd {
 public:
  QColor colour;
  QColor key;  // painted over the left half when valid
  int presses = 0;

 protected:
  bool OnEraseBkgnd(QPainter& p) override {
    if (colour.isValid()) {
      p.fillRect(rect(), colour);
    } else {
      for (int x = 0; x < width(); x += 8) p.fillRect(x, 0, 8, height(), QColor(40 + x % 200, 200 - x % 150, 90));
    }
    if (key.isValid()) p.fillRect(0, 0, width() / 2, height(), key);
    return true;
  }
  bool OnLButtonDown(UINT, CPoint) override {
    ++presses;
    return true;
  }
};

TEST(LayerX, BlendsOverItsHostAndPassesClicksWhereItIsTransparent) {
  TestApp();
  CScreenGrabber grabber;
  ASSERT_TRUE(grabber.Open());
  PatternWnd host;
  host.Create(CWnd::Kind::Popup, "host", CRect(100, 100, 500, 400));
  host.ShowWindow(SW_SHOW);
  const CRect area(200, 200, 360, 300);
  std::vector<unsigned char> before;
  ASSERT_TRUE(WaitUntil([&] {
    before = x_session::GrabArea(grabber, area);
    return x_session::DistinctGreys(before) > 3;
  }));
  PatternWnd layer;
  layer.colour = QColor(30, 60, 250);
  ASSERT_TRUE(layer.Create(CWnd::Kind::Layer, "", area, &host));
  layer.SetLayeredAttributes(120, std::nullopt);
  layer.ShowWindow(SW_SHOW);
  const int blend[3] = {250, 60, 30};  // blue, green, red
  auto blended = [&](const std::vector<unsigned char>& now, bool keyedLeft) {
    if (now.size() != before.size()) return false;
    for (std::size_t i = 0; i < now.size(); ++i) {
      const bool left = (i / 3) % static_cast<std::size_t>(area.Width()) < static_cast<std::size_t>(area.Width() / 2);
      const int expected = keyedLeft && left ? before[i] : (before[i] * 135 + blend[i % 3] * 120) / 255;
      if (std::abs(now[i] - expected) > 2) return false;
    }
    return true;
  };
  std::vector<unsigned char> now;
  EXPECT_TRUE(WaitUntil([&] { return blended(now = x_session::GrabArea(grabber, area), false); }))
      << "constant alpha 120 does not blend over the host";
  layer.key = QColor(255, 0, 255);
  layer.SetLayeredAttributes(120, layer.key);
  EXPECT_TRUE(WaitUntil([&] { return blended(now = x_session::GrabArea(grabber, area), true); }))
      << "the key colour does not leave the host as it is";
  if (const QByteArray out = qgetenv("BREVIO_TEST_OUTPUT"); !out.isEmpty())
    x_session::GrabScreen(grabber).save(QString::fromLocal8Bit(out) + QStringLiteral("/layer_key.png"));

  // A click on a key pixel reaches the host, one on a drawn pixel the layer.
  struct Click {
    CPoint at;
    bool toLayer;
  };
  for (const Click& c : {Click{CPoint(area.left + 20, area.top + 50), false},
                         Click{CPoint(area.right - 20, area.top + 50), true}}) {
    const int hostBefore = host.presses, layerBefore = layer.presses;
    ASSERT_TRUE(x_session::ClickAt(c.at.x, c.at.y));
    EXPECT_TRUE(WaitUntil([&] { return host.presses + layer.presses > hostBefore + layerBefore; }));
    EXPECT_EQ(layer.presses - layerBefore, c.toLayer ? 1 : 0) << c.at.x;
    EXPECT_EQ(host.presses - hostBefore, c.toLayer ? 0 : 1) << c.at.x;
  }
}

}  // namespace
