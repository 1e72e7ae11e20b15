// Layers and translucent windows on a real X server, with and without a
// compositing manager: what a screen grab shows, and where an XTEST click
// lands.

#include <gtest/gtest.h>

#include <QPainter>

#include <memory>
#include <vector>

#include "platform/compositor.h"
#include "platform/window.h"
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
      for (int x = 0; x < width(); x += 8) p.fillRect(x, 0, 8, height(), QColor(40 + x % 200, 20 + (x * 3) % 180, 90));
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
  })) << "the host does not show: " << x_session::DistinctGreys(before) << " grey levels";
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

// A full-screen translucent window (the kind that draws over the whole
// desktop) is never a black screen: with and without a compositing manager
// the desktop shows where it draws nothing, its drawing shows where it draws,
// half-transparent pixels blend, and a click where it draws nothing reaches
// the window below.
class TranslucentX : public ::testing::TestWithParam<bool> {};

TEST_P(TranslucentX, ShowsTheDesktopWhereItDrawsNothing) {
  TestApp();
  CScreenGrabber grabber;
  ASSERT_TRUE(grabber.Open());
  std::unique_ptr<x_session::CompositingManager> compositor;
  if (GetParam()) {
    compositor = std::make_unique<x_session::CompositingManager>();
    ASSERT_TRUE(compositor->Started()) << "xcompmgr cannot be run";
  }
  ASSERT_TRUE(WaitUntil([&] { return CompositorRunning() == GetParam(); }))
      << "the compositor watch does not see the compositing manager " << (GetParam() ? "start" : "absent");

  PatternWnd desk;
  desk.Create(CWnd::Kind::Popup, "desk", CRect(100, 100, 500, 400));
  desk.ShowWindow(SW_SHOW);
  const CRect clear(120, 120, 240, 220), band(260, 120, 380, 140), half(260, 200, 380, 260);
  std::vector<unsigned char> clearBefore, halfBefore;
  ASSERT_TRUE(WaitUntil([&] {
    clearBefore = x_session::GrabArea(grabber, clear);
    halfBefore = x_session::GrabArea(grabber, half);
    return x_session::DistinctGreys(clearBefore) > 3;
  }));

  const CSize screen = grabber.ScreenSize();
  QImage picture(screen.cx, screen.cy, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  {
    QPainter p(&picture);
    p.fillRect(QRect(band.left, band.top, band.Width(), band.Height()), QColor(220, 20, 20));
    p.fillRect(QRect(half.left, half.top, half.Width(), half.Height()), QColor(0, 0, 255, 128));
  }
  PatternWnd sheet;
  ASSERT_TRUE(sheet.Create(CWnd::Kind::Popup, "sheet", CRect(0, 0, screen.cx, screen.cy)));
  sheet.UpdateLayeredImage(picture);
  sheet.ShowWindow(SW_SHOW);

  auto near = [](const std::vector<unsigned char>& now, auto expected) {
    if (now.empty()) return false;
    for (std::size_t i = 0; i < now.size(); ++i)
      if (std::abs(now[i] - expected(i)) > 3) return false;
    return true;
  };
  const int red[3] = {20, 20, 220};
  EXPECT_TRUE(WaitUntil([&] {
    return near(x_session::GrabArea(grabber, band), [&](std::size_t i) { return red[i % 3]; });
  })) << "the drawing does not show";
  EXPECT_TRUE(near(x_session::GrabArea(grabber, clear), [&](std::size_t i) { return clearBefore[i]; }))
      << "the desktop does not show where nothing is drawn";
  const int blue[3] = {255, 0, 0};
  EXPECT_TRUE(near(x_session::GrabArea(grabber, half), [&](std::size_t i) {
    return (halfBefore[i] * 127 + blue[i % 3] * 128) / 255;
  })) << "half-transparent pixels do not blend over the desktop";
  if (const QByteArray out = qgetenv("BREVIO_TEST_OUTPUT"); !out.isEmpty())
    x_session::GrabScreen(grabber).save(QString::fromLocal8Bit(out) +
                                        (GetParam() ? QStringLiteral("/translucent_composited.png")
                                                    : QStringLiteral("/translucent_plain.png")));

  const int deskBefore = desk.presses, sheetBefore = sheet.presses;
  ASSERT_TRUE(x_session::ClickAt(clear.left + 30, clear.top + 30));
  EXPECT_TRUE(WaitUntil([&] { return desk.presses > deskBefore; })) << "the click does not reach the desktop";
  EXPECT_EQ(sheet.presses, sheetBefore);
}

INSTANTIATE_TEST_SUITE_P(Compositing, TranslucentX, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WithCompositor" : "WithoutCompositor"; });
